// Everything the user sees or answers goes through this interface. The Qt application,
// the command line and the tests each provide one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/clock.h"

namespace vx {

enum class MessageTab { Infos, Warnings, Errors };
enum class MessageKind { Information = 0, Warning = 1, Error = 2 };
enum class PopupKind { Information, Warning, Error };

// Panels the core asks to show, hide or refresh.
enum class Panel {
  Main,
  Connection,
  Information,
  TcpServer,
  SlowControl,
  RateVsThreshold,
  TimeHistogram,
  ChargeHistogram,
  Noise,
  Rates,
  Debug,
  Eeprom,
  InlCalibration,
  Sync,
  AllValues,  // every control of every panel shows its parameter again
};

// TxData: run data are going out to the remote client.
enum class Led { Connection, RateScanRunning, Run, TxData };

// Text and numeric displays the core writes to.
enum class Field {
  ConnectionLabel,
  RunElapsedTime,
  EventRate,
  EventNumber,
  EventTimeChain,
  ChannelRate,      // index = channel
  ChannelRateUnit,  // index = channel
  ChannelNoise,     // index = channel
};

enum class StripChart { Rate, Noise };

struct Rgb {
  std::uint8_t r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A next step a message points the user to. Each front end words it its own way (the desktop
// application names its menu, the command line its option), or leaves it out where it has
// nothing to offer.
enum class Hint {
  SavePedestals,     // the pedestal table just measured is not stored yet
  RetryRunDirectory  // a run was not started, to keep the run directory that exists
};

struct FileDialogRequest {
  std::string title;
  std::filesystem::path initial_directory;
  std::string default_name;
  std::string filter;  // e.g. "*.bin;*.dat"
  bool save = false;
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Runs fn later on the user-interface thread. Safe from any thread.
  virtual void post(std::function<void()> fn) = 0;

  // Appends a time-stamped message to one of the three message tabs; kind lets a front
  // end style the line (every message also lands on the Infos tab).
  virtual void append_message(MessageTab tab, MessageKind kind, const std::string& text) = 0;
  // Modal popup. On a worker thread a warning or error blocks until acknowledged.
  virtual void popup(PopupKind kind, const std::string& title, const std::string& text) = 0;
  virtual bool confirm(const std::string& title, const std::string& text) = 0;
  // A confirmation whose yes replaces saved data; a front end that answers prompts on
  // its own may demand more than its general yes.
  virtual bool confirm_replace(const std::string& title, const std::string& text) {
    return confirm(title, text);
  }
  virtual std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                            const std::string& initial) = 0;
  virtual std::optional<std::filesystem::path> select_file(const FileDialogRequest& request) = 0;
  virtual std::optional<std::filesystem::path> select_directory(
      const std::string& title, const std::filesystem::path& initial) = 0;

  // The text appended to a message for hint, with its leading space; the default is the
  // desktop application's wording.
  virtual std::string hint(Hint h) const {
    switch (h) {
      case Hint::SavePedestals:
        return " (Configuration > Save Pedestals to FLASH)";
      case Hint::RetryRunDirectory:
        return " Try again.";
    }
    return {};
  }
  // Whether the front end draws events as they come: only then is switching the display off
  // for a saving run worth telling.
  virtual bool shows_events() const { return true; }

  // Whether a question is answered without anyone at the screen (from command-line flags,
  // from a script): only then may a remote client's start ask one.
  virtual bool answers_unattended() const { return false; }
  // While held (counted, on the user-interface thread), a popup raised on that thread is
  // shown once the current handler has returned: a settings change that holds a run
  // stopped shows its popups after the run has gone on again.
  virtual void hold_popups(bool hold) { (void)hold; }

  // A worker that drives the board holds the parameter records (true) or has given them
  // back (false), on the user-interface thread: meanwhile the front end lets no control
  // change them and shows the copy published when they were lent.
  virtual void records_lent(bool lent) { (void)lent; }

  // Whether the user-interface thread is inside a nested event loop (a dialog, a wait, a
  // settings restart) rather than at the top of its own: what must not run in the middle of
  // another handler (the remote client's requests) waits for the top.
  virtual bool in_nested_loop() const { return false; }

  // Waits until done() holds. A front end with an event loop keeps it going on its own
  // thread meanwhile: what is waited for may need it (a worker's popup, say).
  virtual void wait_until(const std::function<bool()>& done) { wait_for_flag(done); }

  // Modal progress dialog; progress_update returns false once the user cancelled.
  virtual void progress_show(const std::string& title, const std::string& label) = 0;
  virtual bool progress_update(int percent) = 0;
  virtual void progress_hide() = 0;
  virtual void set_wait_cursor(bool on) = 0;

  virtual void show_panel(Panel panel, bool visible) = 0;
  virtual void refresh_panel(Panel panel) = 0;
  virtual void set_window_title(const std::string& title) = 0;
  // A run starts or ends: the front end dims or undims what must not be used meanwhile.
  virtual void run_state_changed(bool running) = 0;
  virtual void set_led(Led led, bool on) = 0;
  // The help message panel: text shown at the mouse position (a front end without one
  // ignores it).
  virtual void show_help_message(const std::string& text) { (void)text; }
  virtual void set_text(Field field, int index, const std::string& text) = 0;
  virtual void set_colour(Field field, Rgb colour) = 0;
  // One new point per trace, taken `seconds` after the run started; traces are channels (all
  // of them, or one).
  virtual void plot_strip_chart(StripChart chart, double seconds,
                                std::span<const double> points) = 0;
};

}  // namespace vx
