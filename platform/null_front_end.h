// A front end that shows nothing and answers every question with yes: the base of the
// command line's front end, and what benchmarks and fuzz targets run the core with.
#pragma once

#include "platform/front_end.h"

namespace vx {

class NullFrontEnd : public FrontEnd {
 public:
  void post(std::function<void()>) override {}
  void append_message(MessageTab, MessageKind, const std::string&) override {}
  void popup(PopupKind, const std::string&, const std::string&) override {}
  bool confirm(const std::string&, const std::string&) override { return true; }
  bool answers_unattended() const override { return true; }
  std::optional<std::string> prompt(const std::string&, const std::string&,
                                    const std::string& initial) override {
    return initial;
  }
  std::optional<std::filesystem::path> select_file(const FileDialogRequest&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> select_directory(const std::string&,
                                                        const std::filesystem::path&) override {
    return std::nullopt;
  }
  void progress_show(const std::string&, const std::string&) override {}
  bool progress_update(int) override { return true; }
  void progress_hide() override {}
  void set_wait_cursor(bool) override {}
  void show_panel(Panel, bool) override {}
  void refresh_panel(Panel) override {}
  void set_window_title(const std::string&) override {}
  void run_state_changed(bool) override {}
  void set_led(Led, bool) override {}
  void set_text(Field, int, const std::string&) override {}
  void set_colour(Field, Rgb) override {}
  void plot_strip_chart(StripChart, double, std::span<const double>) override {}
};

}  // namespace vx
