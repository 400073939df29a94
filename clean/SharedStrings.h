#pragma once

#include <string>

// The account the tool uses for the database and for gbak; built in.
extern const std::string UserName;
extern const std::string Password;
// The database the operator chose last; empty until a file is confirmed.
extern std::string DBFileName;
