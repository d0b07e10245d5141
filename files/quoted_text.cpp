#include "files/quoted_text.h"

#include <cstdio>

namespace vx {

std::string Escaped_FileText(std::string_view text, std::size_t max_chars) {
  std::string out;
  const std::size_t shown = text.size() < max_chars ? text.size() : max_chars;
  out.reserve(shown + 8);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        }
    }
  }
  if (shown < text.size()) out += "...";
  return out;
}

}  // namespace vx
