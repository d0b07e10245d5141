// The INL file parser on arbitrary text: every input is either refused with a line inside
// the text, or accepted as 1024 finite values within the allowed range, which written out
// again and parsed give back the same values to the printed precision.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/inl_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vx::InlFileParse r = vx::Parse_INLFile(text);
  if (r.empty) {
    if (!text.empty()) std::abort();
    return 0;
  }
  if (r.error_line != 0) {
    if (r.error_line < 1 || r.error.empty()) std::abort();
    return 0;
  }
  for (double v : r.values)
    if (!std::isfinite(v) || std::fabs(v) > vx::kInlFileMaxAbsPs) std::abort();
  const vx::InlFileParse again = vx::Parse_INLFile(vx::Format_INLFile(r.values));
  if (again.error_line != 0) std::abort();
  for (int i = 0; i < vx::kMaxSamples; ++i)
    if (std::fabs(again.values[i] - r.values[i]) > 0.0005 + 1e-9 * std::fabs(r.values[i]))
      std::abort();
  return 0;
}
