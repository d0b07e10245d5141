// The acquisition options that save the next runs, as the tests of saved runs set them.
#pragma once

#include <filesystem>

#include "app/state.h"

namespace vx::test {

// Runs saved under data_dir without asking for a name, in data files of `type` (0 ASCII,
// 1 binary) split every `per_file` events (0: one file per run).
inline void save_runs(State& st, const std::filesystem::path& data_dir, int type,
                      int per_file = 0) {
  st.acq.PopupForFileName = 0;
  set_text(st.acq.DataDirectory, data_dir.c_str());
  st.acq.SaveDataInFile = 1;
  st.acq.DataFileType = type;
  st.acq.SplitFileToSaveData = per_file > 0 ? 1 : 0;
  if (per_file > 0) st.acq.NbOfEventsPerFile = per_file;
}

}  // namespace vx::test
