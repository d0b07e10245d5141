// The main window: menu bar and toolbars, the main graph with its legends, the MAIN page
// (display and run groups) and the three message tabs.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMap>
#include <array>
#include <atomic>
#include <mutex>

#include "analysis/main_graph.h"
#include "app/state.h"
#include "ui/menu_actions.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QTabWidget;
class QTimer;

namespace vx::ui {

// The display's pace: at most one frame per interval, whatever the run's rate and modulo.
inline constexpr double kFrameIntervalSeconds = 0.040;

class AccessPanel;
class AlignmentPanel;
class ChargeHistoPanel;
class ChargePanel;
class NoisePanel;
class CalibrationMenu;
class Dialogs;
class EepromPanel;
class FileMenuPanel;
class HelpPanel;
class HorizontalPage;
class InlPanel;
class RatePanel;
class RateScanPanel;
class InfoPanel;
class Led;
class MainGraphView;
class SettingsPanel;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  MainWindow(State& st, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Sizes the window for a screen whose free area is `available`: as large as is useful,
  // never larger than that area (with room for the window's frame).
  void fit_to_screen(const QRect& available);

  // A menu item or toolbar action.
  QAction* action(MenuAction a) const { return actions_[static_cast<std::size_t>(a)]; }
  QList<QToolBar*> toolbars() const;
  MainGraphView* graph() const { return graph_; }
  AccessPanel* access_panel() const { return access_; }
  CalibrationMenu* calibration_menu() const { return calibration_menu_; }
  InfoPanel* info_panel() const { return info_; }
  EepromPanel* eeprom_panel() const { return eeprom_; }
  InlPanel* inl_panel() const { return inl_; }
  RatePanel* rate_panel() const { return rates_; }
  RateScanPanel* rate_scan_panel() const { return rate_scan_; }
  ChargePanel* charge_panel() const { return charge_; }
  ChargeHistoPanel* charge_histo_panel() const { return charge_histo_; }
  NoisePanel* noise_panel() const { return noise_; }
  AlignmentPanel* alignment_panel() const { return alignment_; }
  FileMenuPanel* file_menu_panel() const { return file_menu_; }
  HelpPanel* help_panel() const { return help_; }
  void show_help_message(const QString& text);

  // The refresh family: controls copied from the parameter records.
  void refresh_all();
  // The three settings pages and the expert panels.
  void refresh_settings_panels();
  void refresh_main_tab();
  void refresh_menu_values();
  void refresh_channel_leds();
  void refresh_graph_scaling();
  // The main graph's computed values from the records, and the copy of the display settings
  // that frames are computed from; callable from any thread.
  void recompute_graph_parameters();
  void refresh_annotations();
  void refresh_cursor_readout();
  // The trigger position of the displayed event, when one was found (alignment on).
  void refresh_trigger_annotation();

  void append_message(MessageTab tab, MessageKind kind, const QString& text);
  void run_state_changed(bool running);
  void set_led(vx::Led led, bool on);
  void set_text(Field field, int index, const QString& text);
  void set_colour(Field field, Rgb colour);

  // Called on the acquisition thread.
  void compute_display(const RunConfig& cfg, const DecodedEvent& event);
  void show_event();
  // Takes the latest computed frame and draws it (user-interface thread).
  void redraw_now();

  // Asks a running loop to stop and waits, keeping the event loop alive so that a
  // popup raised by the loop can still be answered.
  void stop_and_wait();
  // The board and the event loop end: used by Exit and by closing the window.
  void exit_program();

  // Named widgets for the tests and the screenshots.
  QCheckBox* display_switch() const { return display_on_; }
  QCheckBox* all_channels() const { return all_channels_; }
  Led* channel_led(int ch) const { return ch_leds_[ch]; }
  QCheckBox* fft_switch() const { return fft_; }
  QCheckBox* persistence_switch() const { return persist_; }
  QComboBox* data_mode() const { return data_mode_; }
  QComboBox* run_type() const { return run_type_; }
  QSpinBox* events_required() const { return events_required_; }
  QLineEdit* event_number() const { return event_number_; }
  QLineEdit* event_rate() const { return rate_; }
  QPlainTextEdit* message_box(MessageTab tab) const { return messages_[static_cast<int>(tab)]; }
  QLabel* legend(int ch) const { return legends_[ch]; }
  Led* running_led() const { return running_led_; }
  Led* tx_led() const { return tx_led_; }
  int redraw_count() const { return redraw_count_; }

 signals:
  void connection_panel_requested();
  void tcp_panel_requested();
  void web_panel_requested();
  void quit_requested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build_settings_panels();
  void build_charge_noise_panels();
  void build_menus();
  void build_toolbars();
  QWidget* build_main_page();
  QWidget* build_display_group();
  QWidget* build_run_group();
  QWidget* build_graph_area();
  QWidget* build_messages();
  void connect_controls();
  void on_channel_led(int ch, bool on);
  void on_all_channels(int state);
  void on_run_type(int type);
  void on_duration();
  void start_run();
  void on_run_from_file();
  void on_save_waveforms();
  void on_save_waveforms_and_measurements();
  void on_save_measurements();
  template <typename F>
  void with_restart(F change);
  void update_run_dependent_dimming();
  double zoom_label_factor() const;
  // A calibration's pedestal view stays on screen after the records are restored, with
  // its own axes, until a run or another display mode replaces it.
  bool view_held() const;
  void held_view_scaling(GraphAxes& axes, GraphTitles& titles, bool& has_titles);
  // Applies a display-parameter change while the acquisition thread may be computing a frame
  // (from the settings handed over before it).
  template <typename F>
  void change_display(F change);

  State& st_;
  Dialogs& dialogs_;
  std::array<QAction*, kMenuActionCount> actions_{};
  QList<QAction*> dimmed_while_running_;
  MainGraphView* graph_ = nullptr;
  std::array<QLabel*, kMaxChannels> legends_{};
  AccessPanel* access_ = nullptr;
  CalibrationMenu* calibration_menu_ = nullptr;
  InfoPanel* info_ = nullptr;
  EepromPanel* eeprom_ = nullptr;
  InlPanel* inl_ = nullptr;
  RatePanel* rates_ = nullptr;
  RateScanPanel* rate_scan_ = nullptr;
  ChargePanel* charge_ = nullptr;
  ChargeHistoPanel* charge_histo_ = nullptr;
  NoisePanel* noise_ = nullptr;
  AlignmentPanel* alignment_ = nullptr;
  FileMenuPanel* file_menu_ = nullptr;
  HorizontalPage* horizontal_ = nullptr;
  HelpPanel* help_ = nullptr;
  Led* running_led_ = nullptr;
  Led* tx_led_ = nullptr;
  std::array<QPlainTextEdit*, 3> messages_{};
  QTabWidget* general_tab_ = nullptr;
  QList<SettingsPanel*> settings_panels_;

  QCheckBox* display_on_ = nullptr;
  std::array<Led*, kMaxChannels> ch_leds_{};
  std::array<QLabel*, kMaxChannels> ch_labels_{};
  QCheckBox* all_channels_ = nullptr;
  QCheckBox* persist_ = nullptr;
  QCheckBox* averaging_ = nullptr;
  QCheckBox* fft_ = nullptr;
  QComboBox* data_mode_ = nullptr;
  QSpinBox* modulo_ = nullptr;
  QSpinBox* max_events_blt_ = nullptr;
  QLineEdit* event_time_ = nullptr;
  QComboBox* run_type_ = nullptr;
  QSpinBox* events_required_ = nullptr;
  std::array<QSpinBox*, 4> duration_{};
  std::array<QLineEdit*, 4> elapsed_{};
  QLineEdit* event_number_ = nullptr;
  QLineEdit* rate_ = nullptr;

  // Display hand-over to the acquisition thread: a frame is computed from a copy of the
  // display settings (display_params_), published after every change by
  // recompute_graph_parameters(); params_mutex_ guards the copy and the graph's computed
  // values, frame_mutex_ the frames. Nothing outside the window is called with either held.
  std::mutex params_mutex_;
  GuiParams display_params_{};
  std::mutex frame_mutex_;
  DisplayFrame back_, latest_, front_;
  bool fresh_frame_ = false;
  bool trigger_found_ = false;  // in the frame on screen
  int shown_mode_ = -1;         // display mode of the curves on screen, -1 none
  int shown_event_number_ = 0;
  QString shown_event_time_;
  std::atomic<bool> redraw_posted_{false};
  std::atomic<bool> event_posted_{false};
  QTimer* redraw_timer_ = nullptr;
  QElapsedTimer since_replot_;
  int redraw_count_ = 0;
  bool running_ = false;
  bool saving_dimmed_by_replay_ = false;
};

}  // namespace vx::ui
