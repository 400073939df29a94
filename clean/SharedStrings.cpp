#include "clean/SharedStrings.h"

const std::string UserName = "SYSDBA";
const std::string Password = "plumtiger";
std::string DBFileName;
