// CF time coordinates as GrADS sees them: "UNIT since DATE" units in the spellings the CF
// conventions (through UDUNITS) allow, the calendars GrADS can count in, and a time axis turned
// into a GrADS "tdef" start and step. Written once for every tool that writes or reads GrADS
// time axes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace d2g::cftime {

// Why a time coordinate cannot be used; the caller adds the file and the variable.
class CfTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The calendars GrADS can express: its default, the Gregorian calendar, and through
// "options 365_day_calendar" a year of 365 days. The CF standard calendar is Julian before
// 1582-10-15: an epoch there is counted so, but times there are refused (GrADS knows no Julian).
enum class Calendar { kStandard, kProlepticGregorian, kNoLeap };

// From a calendar attribute ("" means standard; gregorian is standard). noleap and 365_day are
// kNoLeap; anything else (360_day, all_leap, 366_day, julian, ...) is refused.
Calendar parse_calendar(std::string_view text);

// Whether a product in `calendar` needs "options 365_day_calendar".
inline bool needs_365_day_option(Calendar calendar) { return calendar == Calendar::kNoLeap; }

// A moment in UTC. Years from 1 on.
struct CivilTime {
  int64_t year = 1;
  int month = 1;  // 1 ... 12
  int day = 1;    // 1 ... 31
  int hour = 0;
  int minute = 0;
  double second = 0;
  bool operator==(const CivilTime& other) const {
    return year == other.year && month == other.month && day == other.day && hour == other.hour &&
           minute == other.minute && second == other.second;
  }
};

// "days since 1970-01-01 00:00:00": the length of a unit and the epoch, converted to UTC.
struct TimeUnits {
  double unit_seconds = 86400;  // 1 for seconds, 60, 3600, 86400 for days
  CivilTime epoch;
};

// Parses "UNIT since DATE" (also "after" and "from" for "since"): UNIT one of seconds, minutes,
// hours, days in their UDUNITS spellings (s, sec, secs, second, seconds, min, mins, minute(s),
// h, hr, hrs, hour(s), d, day(s)); DATE "Y-M-D" with an optional time "h:m:s" or "h:m" after a
// blank or a "T", then an optional "Z", "UTC" or zone offset ("+01:00", "-0500", "+1").
// Months and years are refused: UDUNITS takes them as fixed lengths, not calendar months.
TimeUnits parse_time_units(std::string_view text);

// Days from 0001-01-01 (Gregorian, 0 for that day) to the date in `calendar`; a standard-calendar
// date before 1582-10-15 is a Julian one.
int64_t day_number(int64_t year, int month, int day, Calendar calendar);
// The date of day number `days` (Gregorian for the standard calendar).
CivilTime date_of_day(int64_t days, Calendar calendar);

// `epoch` plus `seconds` in `calendar`, to the nearest millisecond.
CivilTime add_seconds(const CivilTime& epoch, double seconds, Calendar calendar);

// Seconds from 0001-01-01 00:00 (day number 0) to `time` in `calendar`.
long double absolute_seconds(const CivilTime& time, Calendar calendar);
// The moment `seconds` from day number 0, to the nearest millisecond.
CivilTime civil_time(long double seconds, Calendar calendar);

// A time as a GrADS tdef line gives it: "[hh[:mm]Z][dd]mmmyyyy" ("00Z01jan1991", "jan2000",
// "6:30Z5MAR1990"); a two-digit year is 1950 ... 2049. Anything else is refused.
CivilTime parse_grads_time(std::string_view text);

// GrADS's form of a time: "00Z01jan1991", "06:30Z15mar2000".
std::string grads_time(const CivilTime& time);

// A time axis as a GrADS "tdef" says it: "tdef COUNT linear START STEP".
struct GradsAxis {
  int64_t count = 0;
  CivilTime start;
  std::string step;  // "30mn", "6hr", "1dy", "1mo", "1yr": the largest whole unit
};

// The axis of `values` (in `units`, `calendar`): evenly spaced in minutes, hours, days, calendar
// months or calendar years, each time on a whole minute, from year 1 on. Anything else is refused
// with the reason. One value gets a step of one day.
GradsAxis grads_axis(const std::vector<double>& values, const TimeUnits& units, Calendar calendar);

}  // namespace d2g::cftime
