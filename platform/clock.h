// Time sources: a monotonic timer in seconds, the wall clock and a delay. Tests use a
// fake clock so that time-driven behaviour is exact and instant.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

namespace vx {

struct WallTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  double millisecond = 0.0;
  int weekday = 0;     // 0 = Sunday
  double epoch = 0.0;  // seconds since 1970-01-01 00:00 UTC
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() = 0;  // monotonic seconds
  virtual WallTime wall() = 0;
  virtual void delay(double seconds) = 0;
};

class SystemClock final : public Clock {
 public:
  double now() override;
  WallTime wall() override;
  void delay(double seconds) override;
};

// Polls pred with a short sleep until it holds (the cross-thread waits of the system).
// Returns false if the optional timeout (seconds) expires first.
bool wait_for_flag(const std::function<bool()>& pred, double timeout_seconds = -1.0);

}  // namespace vx
