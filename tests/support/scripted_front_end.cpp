#include "support/scripted_front_end.h"

namespace vx::test {

bool ScriptedFrontEnd::confirm(const std::string&, const std::string&) {
  if (nested_loop) nested_loop({});
  return locked([&] { return take_front(confirm_answers, default_confirm); });
}

std::optional<std::string> ScriptedFrontEnd::prompt(const std::string&, const std::string&,
                                                    const std::string&) {
  if (nested_loop) nested_loop({});
  return locked([&] { return take_front(prompt_answers, std::nullopt); });
}

std::optional<std::filesystem::path> ScriptedFrontEnd::select_file(const FileDialogRequest& r) {
  if (nested_loop) nested_loop({});
  return locked([&] {
    file_requests.push_back(r);
    return take_front(file_answers, std::nullopt);
  });
}

std::optional<std::filesystem::path> ScriptedFrontEnd::select_directory(
    const std::string&, const std::filesystem::path&) {
  if (nested_loop) nested_loop({});
  return locked([&] { return take_front(directory_answers, std::nullopt); });
}

void ScriptedFrontEnd::wait_until(const std::function<bool()>& done) {
  if (nested_loop) {
    nested_loop(done);
  } else {
    FrontEnd::wait_until(done);
  }
}

bool ScriptedFrontEnd::progress_update(int percent) {
  return locked([&] {
    progress_.push_back(percent);
    return cancel_progress_at < 0 || percent < cancel_progress_at;
  });
}

std::vector<std::string> ScriptedFrontEnd::tab_texts(MessageTab tab) const {
  return locked([&] {
    std::vector<std::string> out;
    for (const auto& m : messages_)
      if (m.tab == tab) out.push_back(m.text);
    return out;
  });
}

int ScriptedFrontEnd::message_count(MessageTab tab, const std::string& needle) const {
  int n = 0;
  for (const auto& t : tab_texts(tab)) n += t.find(needle) != std::string::npos ? 1 : 0;
  return n;
}

void ScriptedFrontEnd::clear() {
  locked([&] {
    messages_.clear();
    popups_.clear();
    leds_.clear();
    texts_.clear();
    colours_.clear();
    strip_charts_.clear();
    titles_.clear();
    panel_visibility_.clear();
    refreshes_.clear();
    progress_.clear();
  });
}

}  // namespace vx::test

#include <random>

#include "support/test_state.h"

namespace vx::test {

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("veltrix-test-" + std::to_string(rd()) + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace vx::test
