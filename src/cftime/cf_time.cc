#include "cftime/cf_time.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace d2g::cftime {

namespace {

constexpr const char* kMonthNames[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr int kNoLeapDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

std::string lower_trimmed(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t first = out.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(" \t") - first + 1);
}

bool is_leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int64_t year, int month, Calendar calendar) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && calendar != Calendar::kNoLeap && is_leap(year)) return 29;
  return kDays[month - 1];
}

// A small cursor over the date text.
class Cursor {
 public:
  explicit Cursor(std::string text) : text_(std::move(text)) {}
  bool done() const { return at_ >= text_.size(); }
  char peek() const { return done() ? '\0' : text_[at_]; }
  bool take(char c) {
    if (peek() != c) return false;
    ++at_;
    return true;
  }
  bool take(std::string_view word) {
    if (text_.compare(at_, word.size(), word) != 0) return false;
    at_ += word.size();
    return true;
  }
  void blanks() {
    while (peek() == ' ' || peek() == '\t') ++at_;
  }
  // Digits (at most `most`), or -1 when there are none.
  int64_t number(std::size_t most = 18) {
    int64_t value = 0;
    std::size_t count = 0;
    while (count < most && std::isdigit(static_cast<unsigned char>(peek()))) {
      value = value * 10 + (peek() - '0');
      ++at_;
      ++count;
    }
    return count == 0 ? -1 : value;
  }
  double fraction() {
    double value = 0, scale = 0.1;
    while (std::isdigit(static_cast<unsigned char>(peek()))) {
      value += scale * (peek() - '0');
      scale /= 10;
      ++at_;
    }
    return value;
  }
  std::string rest() const { return text_.substr(at_); }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

double unit_seconds(const std::string& unit) {
  static const struct {
    const char* names[6];
    double seconds;
  } kUnits[] = {
      {{"s", "sec", "secs", "second", "seconds", nullptr}, 1},
      {{"min", "mins", "minute", "minutes", nullptr}, 60},
      {{"h", "hr", "hrs", "hour", "hours", nullptr}, 3600},
      {{"d", "day", "days", nullptr}, 86400},
  };
  for (const auto& entry : kUnits) {
    for (const char* const* name = entry.names; *name != nullptr; ++name) {
      if (unit == *name) return entry.seconds;
    }
  }
  if (unit == "month" || unit == "months" || unit == "year" || unit == "years" || unit == "yr" ||
      unit == "common_year" || unit == "common_years") {
    throw CfTimeError("time unit \"" + unit +
                      "\": months and years are fixed lengths in UDUNITS, not calendar months and "
                      "years; use days");
  }
  throw CfTimeError("time unit \"" + unit + "\" is not seconds, minutes, hours or days");
}

long double total_seconds(const CivilTime& time, Calendar calendar) {
  return static_cast<long double>(day_number(time.year, time.month, time.day, calendar)) * 86400 +
         time.hour * 3600.0L + time.minute * 60.0L + time.second;
}

}  // namespace

Calendar parse_calendar(std::string_view text) {
  const std::string name = lower_trimmed(text);
  if (name.empty() || name == "standard" || name == "gregorian") return Calendar::kStandard;
  if (name == "proleptic_gregorian") return Calendar::kProlepticGregorian;
  if (name == "noleap" || name == "365_day") return Calendar::kNoLeap;
  throw CfTimeError("calendar \"" + std::string(text) +
                    "\" cannot be expressed in GrADS, which counts in the Gregorian calendar or, "
                    "with options 365_day_calendar, in years of 365 days");
}

namespace {

// Julian day numbers (Fliegel and Van Flandern), valid from 4713 BC on.
int64_t gregorian_jdn(int64_t year, int month, int day) {
  const int64_t a = (14 - month) / 12;
  const int64_t y = year + 4800 - a;
  const int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

int64_t julian_jdn(int64_t year, int month, int day) {
  const int64_t a = (14 - month) / 12;
  const int64_t y = year + 4800 - a;
  const int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - 32083;
}

const int64_t kJdnOfYearOne = gregorian_jdn(1, 1, 1);

bool before_gregorian_reform(int64_t year, int month, int day) {
  return year < 1582 || (year == 1582 && (month < 10 || (month == 10 && day < 15)));
}

}  // namespace

int64_t day_number(int64_t year, int month, int day, Calendar calendar) {
  if (calendar == Calendar::kNoLeap) {
    return (year - 1) * 365 + kNoLeapDaysBefore[month - 1] + day - 1;
  }
  if (calendar == Calendar::kStandard && before_gregorian_reform(year, month, day)) {
    return julian_jdn(year, month, day) - kJdnOfYearOne;
  }
  return gregorian_jdn(year, month, day) - kJdnOfYearOne;
}

CivilTime date_of_day(int64_t days, Calendar calendar) {
  CivilTime date;
  if (calendar == Calendar::kNoLeap) {
    const int64_t year_index = days >= 0 ? days / 365 : (days - 364) / 365;
    const int rest = static_cast<int>(days - year_index * 365);
    date.year = year_index + 1;
    date.month = 12;
    while (kNoLeapDaysBefore[date.month - 1] > rest) --date.month;
    date.day = rest - kNoLeapDaysBefore[date.month - 1] + 1;
    return date;
  }
  const int64_t a = days + kJdnOfYearOne + 32044;
  const int64_t b = (4 * a + 3) / 146097;
  const int64_t c = a - 146097 * b / 4;
  const int64_t d = (4 * c + 3) / 1461;
  const int64_t e = c - 1461 * d / 4;
  const int64_t m = (5 * e + 2) / 153;
  date.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  date.month = static_cast<int>(m + 3 - 12 * (m / 10));
  date.year = 100 * b + d - 4800 + m / 10;
  return date;
}

TimeUnits parse_time_units(std::string_view text) {
  const std::string units = lower_trimmed(text);
  std::size_t cut = std::string::npos, word = 0;
  for (const char* since : {" since ", " after ", " from "}) {
    cut = units.find(since);
    if (cut != std::string::npos) {
      word = std::string(since).size();
      break;
    }
  }
  if (cut == std::string::npos) {
    throw CfTimeError("units \"" + std::string(text) + "\" are not of the form UNIT since DATE");
  }
  TimeUnits result;
  result.unit_seconds = unit_seconds(lower_trimmed(units.substr(0, cut)));
  Cursor in(lower_trimmed(units.substr(cut + word)));
  auto bad = [&](const std::string& why) {
    return CfTimeError("units \"" + std::string(text) + "\": " + why);
  };
  CivilTime& epoch = result.epoch;
  const int64_t year = in.number();
  if (year < 0 || !in.take('-')) throw bad("the date is not YEAR-MONTH-DAY");
  const int64_t month = in.number(2);
  if (month < 1 || month > 12 || !in.take('-')) throw bad("the date is not YEAR-MONTH-DAY");
  const int64_t day = in.number(2);
  if (year < 1) throw bad("a date before year 1");
  epoch.year = year;
  epoch.month = static_cast<int>(month);
  if (day < 1 || day > days_in_month(year, epoch.month, Calendar::kProlepticGregorian)) {
    throw bad("no such day");
  }
  epoch.day = static_cast<int>(day);
  if (in.take('t') || in.peek() == ' ') {
    in.blanks();
    if (std::isdigit(static_cast<unsigned char>(in.peek()))) {
      const int64_t hour = in.number(2);
      if (hour > 24 || !in.take(':')) throw bad("the time is not HOUR:MINUTE[:SECOND]");
      const int64_t minute = in.number(2);
      if (minute < 0 || minute > 59) throw bad("the time is not HOUR:MINUTE[:SECOND]");
      epoch.hour = static_cast<int>(hour);
      epoch.minute = static_cast<int>(minute);
      if (in.take(':')) {
        const int64_t second = in.number(2);
        if (second < 0 || second > 60) throw bad("the time is not HOUR:MINUTE[:SECOND]");
        epoch.second = static_cast<double>(second);
        if (in.take('.')) epoch.second += in.fraction();
      }
    }
  }
  in.blanks();
  // The zone: UTC, or an offset to take away.
  int offset_minutes = 0;
  if (in.take("utc") || in.take("gmt") || in.take('z')) {
  } else if (in.peek() == '+' || in.peek() == '-' ||
             std::isdigit(static_cast<unsigned char>(in.peek()))) {
    // UDUNITS takes an offset without a sign as east of UTC: "... 00:00:00 0:00", "5:30".
    const int sign = in.take('-') ? -1 : (in.take('+'), 1);
    const std::size_t before = in.rest().size();
    int64_t hours = in.number(4);
    int64_t minutes = 0;
    const std::size_t digits = before - in.rest().size();
    if (hours < 0) throw bad("the time zone offset is not +HH:MM");
    if (digits > 2) {  // +0530
      minutes = hours % 100;
      hours /= 100;
    } else if (in.take(':')) {
      minutes = in.number(2);
    }
    if (hours > 14 || minutes < 0 || minutes > 59) throw bad("the time zone offset is not +HH:MM");
    offset_minutes = sign * static_cast<int>(hours * 60 + minutes);
  }
  in.blanks();
  if (!in.done()) throw bad("\"" + in.rest() + "\" after the date");
  if (offset_minutes != 0) {
    result.epoch = add_seconds(result.epoch, -60.0 * offset_minutes, Calendar::kProlepticGregorian);
  }
  return result;
}

CivilTime add_seconds(const CivilTime& epoch, double seconds, Calendar calendar) {
  const long double total = total_seconds(epoch, calendar) + static_cast<long double>(seconds);
  const long double millis = std::round(total * 1000);
  const long double day_millis = 86400000.0L;
  const int64_t days = static_cast<int64_t>(std::floor(millis / day_millis));
  const long double in_day = millis - static_cast<long double>(days) * day_millis;
  CivilTime time = date_of_day(days, calendar);
  const int64_t ms = static_cast<int64_t>(in_day);
  time.hour = static_cast<int>(ms / 3600000);
  time.minute = static_cast<int>(ms / 60000 % 60);
  time.second = static_cast<double>(ms % 60000) / 1000.0;
  return time;
}

long double absolute_seconds(const CivilTime& time, Calendar calendar) {
  return total_seconds(time, calendar);
}

CivilTime civil_time(long double seconds, Calendar calendar) {
  const CivilTime day_zero = date_of_day(0, calendar);
  return add_seconds(day_zero, static_cast<double>(seconds - total_seconds(day_zero, calendar)),
                     calendar);
}

CivilTime parse_grads_time(std::string_view text) {
  const std::string t = lower_trimmed(text);
  auto bad = [&]() {
    return CfTimeError("\"" + std::string(text) + "\" is not a GrADS time ([hh[:mm]Z][dd]mmmyyyy)");
  };
  std::size_t at = 0;
  auto digits = [&](std::size_t most) {
    const std::size_t from = at;
    while (at < t.size() && at - from < most && std::isdigit(static_cast<unsigned char>(t[at])))
      ++at;
    if (at == from) return -1L;
    return std::stol(t.substr(from, at - from));
  };
  CivilTime result;
  if (const std::size_t z = t.find('z'); z != std::string::npos) {
    const long hour = digits(2);
    long minute = 0;
    if (at < t.size() && t[at] == ':') {
      ++at;
      minute = digits(2);
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || at != z) throw bad();
    result.hour = static_cast<int>(hour);
    result.minute = static_cast<int>(minute);
    at = z + 1;
  }
  if (at < t.size() && std::isdigit(static_cast<unsigned char>(t[at]))) {
    const long day = digits(2);
    if (day < 1 || day > 31) throw bad();
    result.day = static_cast<int>(day);
  }
  if (at + 3 > t.size()) throw bad();
  const std::string month = t.substr(at, 3);
  at += 3;
  int found = 0;
  for (int m = 0; m < 12; ++m) {
    if (month == kMonthNames[m]) found = m + 1;
  }
  const std::size_t year_from = at;
  const long year = digits(4);
  if (found == 0 || year < 0 || at != t.size()) throw bad();
  result.month = found;
  result.year = at - year_from <= 2 ? (year < 50 ? 2000 + year : 1900 + year) : year;
  if (result.day > days_in_month(result.year, result.month, Calendar::kProlepticGregorian)) {
    throw bad();
  }
  return result;
}

std::string grads_time(const CivilTime& time) {
  const std::string clock = time.minute == 0
                                ? fmt::format("{:02d}Z", time.hour)
                                : fmt::format("{:02d}:{:02d}Z", time.hour, time.minute);
  return fmt::format("{}{:02d}{}{}", clock, time.day, kMonthNames[time.month - 1], time.year);
}

GradsAxis grads_axis(const std::vector<double>& values, const TimeUnits& units, Calendar calendar) {
  if (values.empty()) throw CfTimeError("the time axis is empty");
  const long double epoch = total_seconds(units.epoch, calendar);
  std::vector<int64_t> minutes;
  std::vector<CivilTime> times;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i])) {
      throw CfTimeError(fmt::format("time {} is not a number", i + 1));
    }
    const long double seconds = epoch + static_cast<long double>(values[i]) * units.unit_seconds;
    const long double whole = std::round(seconds / 60);
    if (std::fabs(seconds - whole * 60) > 1e-3L) {
      throw CfTimeError(
          fmt::format("time {} ({}) is not on a whole minute, the finest step GrADS "
                      "has",
                      i + 1, values[i]));
    }
    if (whole < 0)
      throw CfTimeError(fmt::format("time {} ({}) is before year 1", i + 1, values[i]));
    minutes.push_back(static_cast<int64_t>(whole));
    // Minutes since day 0 (0001-01-01 Gregorian, whatever the epoch's calendar).
    const int64_t total = static_cast<int64_t>(whole);
    CivilTime time = date_of_day(total / 1440, calendar);
    time.hour = static_cast<int>(total % 1440 / 60);
    time.minute = static_cast<int>(total % 60);
    times.push_back(time);
    const CivilTime& t = times.back();
    if (calendar == Calendar::kStandard && before_gregorian_reform(t.year, t.month, t.day)) {
      throw CfTimeError(
          fmt::format("time {} ({}) is before 1582-10-15, where the standard calendar "
                      "is Julian, which GrADS cannot express",
                      i + 1, values[i]));
    }
  }
  GradsAxis axis;
  axis.count = static_cast<int64_t>(values.size());
  axis.start = times.front();
  if (values.size() == 1) {
    axis.step = "1dy";
    return axis;
  }
  auto month_index = [](const CivilTime& t) { return t.year * 12 + t.month - 1; };
  // Calendar months or years: every time on the same day and hour of its month.
  bool monthly = true;
  const int64_t month_step = month_index(times[1]) - month_index(times[0]);
  for (std::size_t i = 1; i < times.size() && monthly; ++i) {
    monthly = times[i].day == times[0].day && times[i].hour == times[0].hour &&
              times[i].minute == times[0].minute &&
              month_index(times[i]) - month_index(times[i - 1]) == month_step && month_step > 0;
  }
  if (monthly) {
    if (times[0].day > 28) {
      throw CfTimeError(
          fmt::format("the times fall on day {} of their months, from which GrADS "
                      "cannot step by months",
                      times[0].day));
    }
    axis.step = month_step % 12 == 0 ? fmt::format("{}yr", month_step / 12)
                                     : fmt::format("{}mo", month_step);
    return axis;
  }
  const int64_t step = minutes[1] - minutes[0];
  for (std::size_t i = 1; i < minutes.size(); ++i) {
    const int64_t here = minutes[i] - minutes[i - 1];
    if (here <= 0) {
      throw CfTimeError(fmt::format("the times do not increase (times {} and {})", i, i + 1));
    }
    if (here != step) {
      throw CfTimeError(fmt::format(
          "the times are not evenly spaced in minutes, hours, days, months or years (times {} "
          "to {} are {} minutes apart, times 1 to 2 {})",
          i, i + 1, here, step));
    }
  }
  axis.step = step % 1440 == 0 ? fmt::format("{}dy", step / 1440)
              : step % 60 == 0 ? fmt::format("{}hr", step / 60)
                               : fmt::format("{}mn", step);
  return axis;
}

}  // namespace d2g::cftime
