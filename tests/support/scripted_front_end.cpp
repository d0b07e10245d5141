#include "support/scripted_front_end.h"

namespace vx::test {

namespace {

// The next scripted answer, or `otherwise` when the script has run out.
template <typename T, typename U>
T take_front(std::deque<T>& answers, U otherwise) {
  if (answers.empty()) return otherwise;
  T answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

template <typename Map, typename Key>
std::optional<typename Map::mapped_type> find_in(const Map& map, const Key& key) {
  const auto it = map.find(key);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

}  // namespace

void ScriptedFrontEnd::append_message(MessageTab tab, MessageKind kind, const std::string& text) {
  std::lock_guard lock(mutex_);
  messages_.push_back({tab, kind, text});
}

void ScriptedFrontEnd::popup(PopupKind kind, const std::string& title, const std::string& text) {
  std::lock_guard lock(mutex_);
  popups_.push_back({kind, title, text});
}

bool ScriptedFrontEnd::confirm(const std::string&, const std::string&) {
  std::lock_guard lock(mutex_);
  return take_front(confirm_answers, default_confirm);
}

std::optional<std::string> ScriptedFrontEnd::prompt(const std::string&, const std::string&,
                                                    const std::string&) {
  std::lock_guard lock(mutex_);
  return take_front(prompt_answers, std::nullopt);
}

std::optional<std::filesystem::path> ScriptedFrontEnd::select_file(const FileDialogRequest& r) {
  std::lock_guard lock(mutex_);
  file_requests.push_back(r);
  return take_front(file_answers, std::nullopt);
}

std::optional<std::filesystem::path> ScriptedFrontEnd::select_directory(
    const std::string&, const std::filesystem::path&) {
  std::lock_guard lock(mutex_);
  return take_front(directory_answers, std::nullopt);
}

bool ScriptedFrontEnd::progress_update(int percent) {
  std::lock_guard lock(mutex_);
  progress_.push_back(percent);
  return cancel_progress_at < 0 || percent < cancel_progress_at;
}

void ScriptedFrontEnd::show_panel(Panel panel, bool visible) {
  std::lock_guard lock(mutex_);
  panel_visibility_.emplace_back(panel, visible);
}

void ScriptedFrontEnd::refresh_panel(Panel panel) {
  std::lock_guard lock(mutex_);
  ++refreshes_[panel];
}

void ScriptedFrontEnd::set_window_title(const std::string& title) {
  std::lock_guard lock(mutex_);
  titles_.push_back(title);
}

void ScriptedFrontEnd::set_led(Led led, bool on) {
  std::lock_guard lock(mutex_);
  leds_[led] = on;
}

void ScriptedFrontEnd::set_text(Field field, int index, const std::string& text) {
  std::lock_guard lock(mutex_);
  texts_[{field, index}] = text;
}

void ScriptedFrontEnd::set_colour(Field field, Rgb colour) {
  std::lock_guard lock(mutex_);
  colours_[field] = colour;
}

void ScriptedFrontEnd::plot_strip_chart(StripChart chart, std::span<const double> points) {
  std::lock_guard lock(mutex_);
  strip_charts_[chart].emplace_back(points.begin(), points.end());
}

std::vector<ScriptedFrontEnd::Message> ScriptedFrontEnd::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<ScriptedFrontEnd::Popup> ScriptedFrontEnd::popups() const {
  std::lock_guard lock(mutex_);
  return popups_;
}

std::vector<std::string> ScriptedFrontEnd::tab_texts(MessageTab tab) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& m : messages_)
    if (m.tab == tab) out.push_back(m.text);
  return out;
}

bool ScriptedFrontEnd::has_message(MessageTab tab, const std::string& needle) const {
  for (const auto& t : tab_texts(tab))
    if (t.find(needle) != std::string::npos) return true;
  return false;
}

std::optional<bool> ScriptedFrontEnd::led(Led led) const {
  std::lock_guard lock(mutex_);
  return find_in(leds_, led);
}

std::optional<std::string> ScriptedFrontEnd::text(Field field, int index) const {
  std::lock_guard lock(mutex_);
  return find_in(texts_, std::make_pair(field, index));
}

std::optional<Rgb> ScriptedFrontEnd::colour(Field field) const {
  std::lock_guard lock(mutex_);
  return find_in(colours_, field);
}

std::vector<std::vector<double>> ScriptedFrontEnd::strip_chart(StripChart chart) const {
  std::lock_guard lock(mutex_);
  return find_in(strip_charts_, chart).value_or(std::vector<std::vector<double>>{});
}

std::vector<std::string> ScriptedFrontEnd::titles() const {
  std::lock_guard lock(mutex_);
  return titles_;
}

std::vector<std::pair<Panel, bool>> ScriptedFrontEnd::panel_visibility() const {
  std::lock_guard lock(mutex_);
  return panel_visibility_;
}

int ScriptedFrontEnd::refresh_count(Panel panel) const {
  std::lock_guard lock(mutex_);
  return find_in(refreshes_, panel).value_or(0);
}

std::vector<int> ScriptedFrontEnd::progress_values() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

void ScriptedFrontEnd::clear() {
  std::lock_guard lock(mutex_);
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
}

double FakeClock::now() {
  std::lock_guard lock(mutex_);
  return now_;
}

WallTime FakeClock::wall() {
  std::lock_guard lock(mutex_);
  return wall_;
}

void FakeClock::advance(double seconds) {
  std::lock_guard lock(mutex_);
  now_ += seconds;
}

void FakeClock::set(double seconds) {
  std::lock_guard lock(mutex_);
  now_ = seconds;
}

void FakeClock::set_wall(const WallTime& w) {
  std::lock_guard lock(mutex_);
  wall_ = w;
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
