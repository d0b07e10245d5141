// A fresh core state with scripted doubles around it, thrown away after each test.
#pragma once

#include <filesystem>
#include <memory>

#include "app/state.h"
#include "support/scripted_front_end.h"

namespace vx::test {

struct TestCore {
  // Messages are logged somewhere harmless unless a test gives the log a place.
  TestCore() { state.FileForSavingLogFile = "/dev/null"; }
  ScriptedFrontEnd ui;
  FakeClock clock;
  ThreadPool pool;
  State state{ui, clock, pool};
};

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

}  // namespace vx::test
