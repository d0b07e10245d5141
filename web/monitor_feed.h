// The copies the web monitor serves, and its answers made from them. The threads that own
// the data publish copies (a few times a second); the server's threads ask for answers.
// Each answer is made once per copy, outside the lock the publishers take, so that a viewer
// never holds up the thread publishing.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "web/monitor_copies.h"

namespace vx {

class MessageLog;

// The answers' format; a field is only ever added within one.
inline constexpr int kMonitorApiVersion = 1;

enum class MonitorAnswer { Status, Board, Event, Rates, Histograms };
inline constexpr int kMonitorAnswers = 5;

// A channel's rate history: one point a second, the last ten minutes.
inline constexpr std::size_t kRateHistoryPoints = 600;

class MonitorFeed {
 public:
  // The user-interface thread's copy. board: null leaves the board as it was (a worker holds
  // it now). now: seconds since 1970.
  void publish_status(const StatusCopy& status, const BoardCopy* board, const ChannelValues& values,
                      double now);
  // The acquisition thread's copy of an event and the run's histograms.
  void publish_event(EventCopy event, double now);

  // The JSON answer, made from the latest copies.
  std::shared_ptr<const std::string> answer(MonitorAnswer which);
  // The messages after seq since, as JSON (made for each request: they are few).
  std::string messages(const MessageLog& log, std::uint64_t since);

  // Whether the acquisition should copy an event now: at most every interval seconds.
  bool event_due(double now, double interval);

 private:
  struct Published {
    std::uint64_t snapshot = 0;
    double time = 0.0;
  };
  struct Cached {
    std::uint64_t snapshot = 0;
    std::shared_ptr<const std::string> text;
  };
  struct History {
    std::deque<double> times;
    std::array<std::deque<std::optional<double>>, kMaxChannels> rates;
  };
  // What one answer is made from, taken under the lock.
  struct Sources {
    std::uint64_t snapshot = 0;
    std::shared_ptr<const StatusCopy> status;
    std::shared_ptr<const BoardCopy> board;
    std::shared_ptr<const ChannelValues> values;
    std::shared_ptr<const EventCopy> event;
    std::shared_ptr<const History> history;
    Published status_at, event_at;
  };
  // The copy an answer goes by (mutex_ held).
  std::uint64_t source_snapshot(MonitorAnswer which) const;
  static std::string make(MonitorAnswer which, const Sources& src);

  std::mutex mutex_;  // guards everything below but the answers being made
  std::uint64_t snapshots_ = 0;
  std::shared_ptr<const StatusCopy> status_ = std::make_shared<StatusCopy>();
  std::shared_ptr<const BoardCopy> board_ = std::make_shared<BoardCopy>();
  std::shared_ptr<const ChannelValues> values_ = std::make_shared<ChannelValues>();
  std::shared_ptr<const EventCopy> event_;
  std::shared_ptr<const History> history_ = std::make_shared<History>();
  Published status_at_, event_at_;
  double last_elapsed_ = 0.0;
  double next_event_due_ = 0.0;
  std::array<Cached, kMonitorAnswers> cache_;
  std::array<std::mutex, kMonitorAnswers> making_;  // one thread makes each answer
};

}  // namespace vx
