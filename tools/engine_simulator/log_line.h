#pragma once
// The line format of "engine-requests.log": one record per line, fields split by
// tabs, each field's bytes escaped so that no tab or line break is left in it.
//
//   START\t<command line, UTF-8>\t<working folder, UTF-8>
//   READY\t<address served>
//   REQUEST\t<method>\t<target>\t<version>\t<header lines joined by CR LF>\t<body>
//   REFUSED\t<connection number>
//   MALFORMED\t<reason>\t<bytes received>
//   STATE\t<problem with engine-state.txt>
//   ERROR\t<what failed>
//   EXIT\t<reason>\t<exit code>
//
// Escapes: \\ \t \r \n, and \xHH (two capital hex digits) for every other byte
// below 0x20 and from 0x7F up, so the file is plain ASCII.
#include <string>
#include <string_view>
#include <vector>

namespace engine_log {

std::string EscapeField(std::string_view bytes);

// The bytes an escaped field stands for; false on a malformed escape.
bool UnescapeField(std::string_view field, std::string* bytes);

// Fields joined by tabs, each escaped, ending in a line feed.
std::string FormatLine(const std::vector<std::string_view>& fields);

// A line (without its line feed) split into unescaped fields; false when an
// escape in it is malformed.
bool ParseLine(std::string_view line, std::vector<std::string>* fields);

}  // namespace engine_log
