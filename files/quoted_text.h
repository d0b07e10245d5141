// Text taken from a file and shown in a message: control bytes, bytes beyond ASCII and
// the backslash escaped, so that a damaged file cannot garble the log or cut a line short.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vx {

// The text with \t, \r, \n, \\ and \xNN escapes, cut after max_chars characters of the
// original (followed by "..." when cut). Printable ASCII comes out as it is.
std::string Escaped_FileText(std::string_view text, std::size_t max_chars = 80);

}  // namespace vx
