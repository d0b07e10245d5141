// The main graph drawing 16 full channels (10 230 display points each) offscreen, as the
// display does for every shown event.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>

#include "analysis/main_graph.h"
#include "ui/main_graph_view.h"

namespace {

void BM_ReplotSixteenFullChannels(benchmark::State& state) {
  vx::ui::MainGraphView view;
  view.resize(1100, 650);
  vx::GuiParams gui{};
  gui.GraphMode = vx::kGraphWaveforms;
  gui.NbOfPlotPoints = 1024;
  gui.NbOfXDivisions = 16;
  gui.XLabelScale = 16.0 / 1024;
  gui.YAxisMin = -5;
  gui.YAxisMax = 5;
  view.apply_axes(vx::main_graph_axes(gui));
  vx::DisplayFrame frame;
  frame.curves.resize(16);
  int f = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int ch = 0; ch < 16; ++ch) {
      auto& c = frame.curves[ch];
      c.channel = ch;
      c.y.resize(10230);
      for (int i = 0; i < 10230; ++i)
        c.y[i] = static_cast<float>(ch * 0.5 - 4 + 0.3 * std::sin((i + 37 * f) * 0.01) +
                                    0.05 * ((i * 7919) % 13) / 13.0);
    }
    ++f;
    state.ResumeTiming();
    view.show_frame(frame);
    view.replot();
  }
  if (view.plotted_points(15) != 10230) state.SkipWithError("the curves were not all drawn");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplotSixteenFullChannels)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
