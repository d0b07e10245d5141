// Time-stamped messages written through the state's message log (app/message_sink.h).
// Callable from any thread.
#pragma once

#include <string>

#include "app/state.h"
#include "platform/format_text.h"

namespace vx {

inline void Write_InfoMessage(MessageLog& log, const std::string& text, int kind) {
  log.write(text, kind);
}
inline void Write_InfoMessage(FrontEndLinks& st, const std::string& text, int kind) {
  st.log.write(text, kind);
}
// The same with the text printf-formatted.
template <typename... Args>
void Write_InfoMessage(MessageLog& log, int kind, const char* format, Args... args) {
  log.write(format_text(format, args...), kind);
}
template <typename... Args>
void Write_InfoMessage(FrontEndLinks& st, int kind, const char* format, Args... args) {
  Write_InfoMessage(st.log, kind, format, args...);
}

// The help message panel: its text replaced by text, moved to the mouse position and
// shown. Callable from any thread.
void Write_HelpMessage(FrontEndLinks& st, const std::string& text);

// The "%dh:%dmin:%ds: " prefix of a message written at the given wall-clock time.
std::string message_prefix(int hour, int minute, int second);

}  // namespace vx
