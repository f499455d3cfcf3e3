#include "cftime/time_grid.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <numeric>

namespace d2g::cftime {

namespace {

// Times within this much of a whole minute are on it: times stored in floating point carry
// rounding errors of that order.
constexpr double kMinuteTolerance = 0.6;

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

CivilTime civil(long double seconds, Calendar calendar) { return civil_time(seconds, calendar); }

}  // namespace

Step parse_step(std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  std::string unit(text.substr(digits));
  for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (digits == 0 || digits > 9 || unit.empty()) {
    throw CfTimeError(
        fmt::format("\"{}\" is not a GrADS time step: a whole number and one of mn, "
                    "hr, dy, mo, yr, as in 30mn, 12hr, 1dy, 1mo",
                    text));
  }
  const int64_t count = std::stoll(std::string(text.substr(0, digits)));
  if (count < 1) throw CfTimeError(fmt::format("the time step \"{}\" is not positive", text));
  if (unit == "mn") return {0, count};
  if (unit == "hr") return {0, count * 60};
  if (unit == "dy") return {0, count * 1440};
  if (unit == "mo") return {count, 0};
  if (unit == "yr") return {count * 12, 0};
  throw CfTimeError(
      fmt::format("the time step \"{}\" has unit \"{}\": GrADS steps in mn, hr, dy, "
                  "mo or yr",
                  text, unit));
}

std::string step_text(const Step& step) {
  if (step.months > 0) {
    return step.months % 12 == 0 ? fmt::format("{}yr", step.months / 12)
                                 : fmt::format("{}mo", step.months);
  }
  if (step.minutes % 1440 == 0) return fmt::format("{}dy", step.minutes / 1440);
  if (step.minutes % 60 == 0) return fmt::format("{}hr", step.minutes / 60);
  return fmt::format("{}mn", step.minutes);
}

void StepFinder::add(double seconds) {
  if (count_++ == 0) {
    anchor_ = earliest_ = seconds;
    anchor_time_ = civil(seconds, calendar_);
    return;
  }
  if (seconds < earliest_) earliest_ = seconds;
  if (!find_step_) return;
  const double minutes = (seconds - static_cast<double>(anchor_)) / 60;
  const double whole = std::nearbyint(minutes);
  if (std::fabs(minutes - whole) * 60 > kMinuteTolerance) {
    const CivilTime t = civil(seconds, calendar_);
    throw CfTimeError(
        fmt::format("the time {}-{:02d}-{:02d} {:02d}:{:02d}:{:06.3f} is not a whole "
                    "number of minutes from the others: GrADS cannot step by less "
                    "than a minute",
                    t.year, t.month, t.day, t.hour, t.minute, t.second));
  }
  // Most times are whole steps apart already: one division tells.
  const int64_t apart = std::llabs(static_cast<int64_t>(whole));
  if (minute_gcd_ == 0 || apart % minute_gcd_ != 0) minute_gcd_ = std::gcd(minute_gcd_, apart);
  if (monthly_) {
    const CivilTime t = civil(seconds, calendar_);
    monthly_ = t.day == anchor_time_.day && t.hour == anchor_time_.hour &&
               t.minute == anchor_time_.minute && anchor_time_.day <= 28;
    const int64_t months = (t.year - anchor_time_.year) * 12 + (t.month - anchor_time_.month);
    month_gcd_ = std::gcd(month_gcd_, static_cast<int64_t>(std::llabs(months)));
  }
}

Step StepFinder::step() const {
  if (monthly_ && month_gcd_ > 0) return {month_gcd_, 0};
  if (minute_gcd_ > 0) return {0, minute_gcd_};
  return {0, 1440};
}

TimeGrid::TimeGrid(long double start, Step step, Calendar calendar)
    : step_(step), calendar_(calendar) {
  start_time_ = civil(start, calendar);
  start_time_.second = 0;
  start_ = absolute_seconds(start_time_, calendar);
}

long double TimeGrid::group_time(int64_t group) const {
  if (step_.months == 0) return start_ + static_cast<long double>(group) * step_.minutes * 60;
  const int64_t month = start_time_.month - 1 + group * step_.months;
  CivilTime t = start_time_;
  t.year = start_time_.year + floor_div(month, 12);
  t.month = static_cast<int>(month - floor_div(month, 12) * 12) + 1;
  // As GrADS adds months: a day the month does not have runs on into the next one (31 January
  // and a month is 2 March in a leap year), never cut back to the month's last day.
  t.day = 1;
  return absolute_seconds(t, calendar_) + (start_time_.day - 1) * 86400.0L;
}

std::pair<int64_t, double> TimeGrid::place(double seconds) const {
  int64_t low;
  if (step_.months == 0) {
    // Evenly spaced groups: the place follows from one division.
    const double steps = (seconds - static_cast<double>(start_)) / (step_.minutes * 60.0);
    low = static_cast<int64_t>(std::floor(steps));
    double fraction = steps - static_cast<double>(low);
    if (fraction < 1e-6) fraction = 0;
    if (fraction > 1 - 1e-6) return {low + 1, 0.0};
    if (fraction > 0.5) return {low + 1, fraction - 1};
    return {low, fraction};
  } else {
    const CivilTime t = civil(seconds, calendar_);
    const int64_t months = (t.year - start_time_.year) * 12 + (t.month - start_time_.month);
    low = floor_div(months, step_.months);
  }
  while (group_time(low) > seconds) --low;
  while (group_time(low + 1) <= seconds) ++low;
  const long double from = group_time(low);
  const long double to = group_time(low + 1);
  double fraction = static_cast<double>((seconds - from) / (to - from));
  // Rounding noise of times stored in floating point is not an offset.
  if (fraction < 1e-6) fraction = 0;
  if (fraction > 1 - 1e-6) return {low + 1, 0.0};
  if (fraction > 0.5) return {low + 1, fraction - 1};
  return {low, fraction};
}

}  // namespace d2g::cftime
