// Time groups for observations at any times: GrADS station data hold reports in time groups
// evenly spaced in minutes or calendar months, each report with an offset from its group's time.
// Here the grid is found (the greatest common step of the times, or a step the user gives) and
// each observation placed in its nearest group.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "cftime/cf_time.h"

namespace d2g::cftime {

// A GrADS time step: whole calendar months or whole minutes (exactly one of them positive).
struct Step {
  int64_t months = 0;
  int64_t minutes = 0;
  bool operator==(const Step& other) const {
    return months == other.months && minutes == other.minutes;
  }
};

// "30mn", "12hr", "1dy", "1mo", "1yr" (a positive whole number and a unit); anything else is
// refused with the reason.
Step parse_step(std::string_view text);
// The step as GrADS writes it, in the largest unit that holds it whole: "90mn", "6hr", "1dy",
// "3mo", "1yr".
std::string step_text(const Step& step);

// Collects observation times (absolute seconds, see absolute_seconds) and finds their greatest
// common step: calendar months when every time falls on the same day of the month (at most the
// 28th) and time of day as the first and months apart, else whole minutes.
class StepFinder {
 public:
  // With `find_step` false (a step given), only the earliest time is kept: times between whole
  // minutes are then offsets from their groups, not a step finer than GrADS's.
  explicit StepFinder(Calendar calendar, bool find_step = true)
      : calendar_(calendar), find_step_(find_step) {}
  void add(double seconds);
  bool empty() const { return count_ == 0; }
  double earliest() const { return earliest_; }
  // The step; one time alone gets one day.
  Step step() const;

 private:
  Calendar calendar_;
  bool find_step_;
  int64_t count_ = 0;
  double anchor_ = 0;
  double earliest_ = 0;
  CivilTime anchor_time_;
  int64_t minute_gcd_ = 0;
  int64_t month_gcd_ = 0;
  bool monthly_ = true;
};

// Groups at start, start + step, ...: GrADS's "tdef N linear START STEP".
class TimeGrid {
 public:
  // `start` is cut to its whole minute.
  TimeGrid(long double start, Step step, Calendar calendar);
  CivilTime start() const { return start_time_; }
  // The time of group `group` in absolute seconds.
  long double group_time(int64_t group) const;
  // The nearest group to `seconds` (at exactly half a step, the earlier one) and the offset
  // from it in steps, within -0.5 ... 0.5.
  std::pair<int64_t, double> place(double seconds) const;

 private:
  Step step_;
  Calendar calendar_;
  long double start_;
  CivilTime start_time_;
};

}  // namespace d2g::cftime
