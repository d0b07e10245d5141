// printf-style formatting into a string as long as the text needs.
#pragma once

#include <cstdio>
#include <string>

namespace vx {

template <typename... Args>
std::string format_text(const char* fmt, Args... args) {
  const int length = std::snprintf(nullptr, 0, fmt, args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, fmt, args...);
  return text;
}

}  // namespace vx
