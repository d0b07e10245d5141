// A fresh core state with scripted doubles around it, thrown away after each test.
#pragma once

#include <filesystem>

#include "app/state.h"
#include "support/scripted_front_end.h"

namespace vx::test {

// A temporary directory removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The log file and user directory start in a private temporary folder.
struct TestCore {
  TestCore() {
    state.UserPath = home.path();
    state.log.file = home.path() / "logfile.txt";
  }
  TempDir home;
  ScriptedFrontEnd ui;
  FakeClock clock;
  ThreadPool pool;
  State state{ui, clock, pool};
};

}  // namespace vx::test
