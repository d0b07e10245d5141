// Exporting a saved 16-channel binary run (1024 samples per channel) to HDF5, compressed
// and not, against reading the same run through the run reader alone. Events per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "files/data_file_reader.h"
#include "files/hdf5_export.h"
#include "platform/null_front_end.h"
#include "tests/support/synthetic_run.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEvents = 2000;

struct BenchCore {
  vx::NullFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool{1};
  vx::State st{ui, clock, pool};
};

// One run file for every benchmark of the process, removed at exit.
struct RunOnDisk {
  RunOnDisk() {
    dir = fs::temp_directory_path() / ("veltrix_bench_hdf5_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    run = dir / "bench_Binary.bin";
    auto core = std::make_unique<BenchCore>();
    core->st.log.file = "/dev/null";
    if (!vx::test::write_binary_run(core->st, run, kEvents, 16)) std::abort();
  }
  ~RunOnDisk() { fs::remove_all(dir); }
  fs::path dir, run;
};

const RunOnDisk& run_on_disk() {
  static RunOnDisk r;
  return r;
}

// Argument: the deflate level (0: no compression). The output is removed before each
// export, as a first export finds no file to replace.
void BM_ExportBinaryRunToHdf5(benchmark::State& state) {
  const RunOnDisk& r = run_on_disk();
  vx::ExportRequest request;
  request.run_file = r.run;
  request.output = r.dir / "bench.h5";
  request.deflate_level = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(request.output);
    state.ResumeTiming();
    const vx::ExportResult result = vx::Export_RunToHdf5(request);
    if (!result.ok || result.events != kEvents) state.SkipWithError(result.error.c_str());
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
  state.counters["MB in"] = static_cast<double>(fs::file_size(r.run)) / 1e6;
  state.counters["MB out"] = static_cast<double>(fs::file_size(request.output)) / 1e6;
}
BENCHMARK(BM_ExportBinaryRunToHdf5)
    ->Arg(vx::kDefaultExportDeflateLevel)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReadBinaryRunWithTheReader(benchmark::State& state) {
  const RunOnDisk& r = run_on_disk();
  auto core = std::make_unique<BenchCore>();
  vx::State& st = core->st;
  st.log.file = "/dev/null";
  for (auto _ : state) {
    int events = 0;
    if (vx::Open_DataFileForLoading(st, r.run) != 1) state.SkipWithError("open failed");
    while (vx::Read_EventsFromFile(st) == 1) ++events;
    vx::Close_FileForLoadingData(st, st);
    if (events != kEvents) state.SkipWithError("short read");
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_ReadBinaryRunWithTheReader)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
