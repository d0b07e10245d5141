#include "platform/clock.h"

#include <cmath>

namespace vx {

double SystemClock::now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

WallTime SystemClock::wall() {
  using namespace std::chrono;
  const auto tp = system_clock::now();
  const double epoch = duration<double>(tp.time_since_epoch()).count();
  const std::time_t secs = system_clock::to_time_t(tp);
  std::tm local{};
  localtime_r(&secs, &local);
  WallTime w;
  w.year = local.tm_year + 1900;
  w.month = local.tm_mon + 1;
  w.day = local.tm_mday;
  w.hour = local.tm_hour;
  w.minute = local.tm_min;
  w.second = local.tm_sec;
  w.millisecond = (epoch - std::floor(epoch)) * 1000.0;
  w.weekday = local.tm_wday;
  w.epoch = epoch;
  return w;
}

void SystemClock::delay(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool wait_for_flag(const std::function<bool()>& pred, double timeout_seconds) {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  while (!pred()) {
    if (timeout_seconds >= 0 &&
        duration<double>(steady_clock::now() - start).count() > timeout_seconds) {
      return false;
    }
    std::this_thread::sleep_for(microseconds(200));
  }
  return true;
}

}  // namespace vx
