#pragma once

#include <string>
#include <vector>

// Parameter blocks of the client library, built from "name=value" lines the
// way the connection objects keep them. Unknown names throw fb::Error.

// Attach block: isc_dpb_version1, then each line as item code, length, value.
std::string AttachParameterBlock(const std::vector<std::string>& lines);
// Transaction block: isc_tpb_version3, then one code per line.
std::string TransactionParameterBlock(const std::vector<std::string>& lines);
// A statement as the client library receives it: the text, CR LF, a zero byte.
std::string StatementBytes(const std::string& text);
