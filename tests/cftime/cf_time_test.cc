// CF time units, calendars and GrADS time axes, as tables.
#include "cftime/cf_time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace d2g::cftime {
namespace {

using ::testing::HasSubstr;

CivilTime at(int64_t year, int month, int day, int hour = 0, int minute = 0, double second = 0) {
  return {year, month, day, hour, minute, second};
}

TEST(CfTime, UnitsInTheirSpellings) {
  const struct {
    const char* units;
    double unit_seconds;
    CivilTime epoch;  // in UTC
  } cases[] = {
      {"days since 1970-01-01 00:00:00", 86400, at(1970, 1, 1)},
      {"seconds since 1970-01-01T00:00:00Z", 1, at(1970, 1, 1)},
      {"hours since 1900-1-1", 3600, at(1900, 1, 1)},
      {"minutes since 2000-01-01 12:30", 60, at(2000, 1, 1, 12, 30)},
      {"Days Since 1991-01-01T00:00:00+01:00", 86400, at(1990, 12, 31, 23)},
      {"hours since 2000-03-01 00:00:00 -0500", 3600, at(2000, 3, 1, 5)},
      {"hours since 2000-03-01 -5", 3600, at(2000, 3, 1, 5)},
      {"d since 2000-1-1 6:00:00.5 UTC", 86400, at(2000, 1, 1, 6, 0, 0.5)},
      {"secs after 2004-02-29 23:59:59", 1, at(2004, 2, 29, 23, 59, 59)},
      {"hours since 1-1-1 00:00:0.0", 3600, at(1, 1, 1)},
      // An offset without a sign is east of UTC, as ARM's files write "0:00".
      {"seconds since 1970-1-1 0:00:00 0:00", 1, at(1970, 1, 1)},
      {"hours since 2000-03-01 06:00 5:30", 3600, at(2000, 3, 1, 0, 30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.units);
    const TimeUnits units = parse_time_units(c.units);
    EXPECT_EQ(units.unit_seconds, c.unit_seconds);
    EXPECT_EQ(units.epoch, c.epoch);
  }
}

TEST(CfTime, UnitsAndCalendarsGradsCannotUseAreRefusedWithTheReason) {
  const struct {
    const char* units;
    const char* reason;
  } units[] = {
      {"months since 2000-01-01", "months and years are fixed lengths in UDUNITS"},
      {"years since 2000-01-01", "months and years are fixed lengths in UDUNITS"},
      {"furlongs since 2000-01-01", "is not seconds, minutes, hours or days"},
      {"days", "not of the form UNIT since DATE"},
      {"days since 2000-13-01", "the date is not YEAR-MONTH-DAY"},
      {"days since 2001-02-29", "no such day"},
      {"days since 0000-01-01", "a date before year 1"},
      {"days since 2000-01-01 junk", "\"junk\" after the date"},
  };
  for (const auto& c : units) {
    SCOPED_TRACE(c.units);
    try {
      parse_time_units(c.units);
      ADD_FAILURE() << "accepted";
    } catch (const CfTimeError& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.reason));
    }
  }
  EXPECT_EQ(parse_calendar(""), Calendar::kStandard);
  EXPECT_EQ(parse_calendar("Gregorian"), Calendar::kStandard);
  EXPECT_EQ(parse_calendar("proleptic_gregorian"), Calendar::kProlepticGregorian);
  EXPECT_EQ(parse_calendar("365_day"), Calendar::kNoLeap);
  EXPECT_EQ(parse_calendar("noleap"), Calendar::kNoLeap);
  for (const char* name : {"360_day", "all_leap", "366_day", "julian", "none"}) {
    EXPECT_THROW(parse_calendar(name), CfTimeError) << name;
  }
}

TEST(CfTime, CalendarArithmetic) {
  EXPECT_EQ(day_number(1970, 1, 1, Calendar::kProlepticGregorian), 719162);
  // The standard calendar is Julian before 1582-10-15: its 1-1-1 is two days before Gregorian's.
  EXPECT_EQ(day_number(1, 1, 1, Calendar::kStandard), -2);
  EXPECT_EQ(day_number(1582, 10, 4, Calendar::kStandard) + 1,
            day_number(1582, 10, 15, Calendar::kStandard));
  for (const Calendar calendar : {Calendar::kProlepticGregorian, Calendar::kNoLeap}) {
    for (int64_t day = 0; day < 800000; day += 997) {
      const CivilTime date = date_of_day(day, calendar);
      ASSERT_EQ(day_number(date.year, date.month, date.day, calendar), day);
    }
  }
  const Calendar gregorian = Calendar::kProlepticGregorian;
  EXPECT_EQ(add_seconds(at(2000, 2, 28), 86400, gregorian), at(2000, 2, 29));
  EXPECT_EQ(add_seconds(at(1900, 2, 28), 86400, gregorian), at(1900, 3, 1));
  EXPECT_EQ(add_seconds(at(2004, 2, 28), 86400, Calendar::kNoLeap), at(2004, 3, 1));
  EXPECT_EQ(add_seconds(at(1999, 12, 31, 23, 59, 30), 45.25, gregorian),
            at(2000, 1, 1, 0, 0, 15.25));
  EXPECT_EQ(grads_time(at(1991, 1, 1)), "00Z01jan1991");
  EXPECT_EQ(grads_time(at(2000, 3, 15, 6, 30)), "06:30Z15mar2000");
}

std::vector<double> days_of_year_starts(int first, int count, Calendar calendar) {
  std::vector<double> values;
  for (int y = first; y < first + count; ++y) {
    values.push_back(
        static_cast<double>(day_number(y, 1, 1, calendar) - day_number(first, 1, 1, calendar)));
  }
  return values;
}

TEST(CfTime, TimeAxesAsGradsWritesThem) {
  std::vector<double> month_starts;
  for (int m = 1; m <= 14; ++m) {
    const int64_t y = 2000 + (m - 1) / 12;
    month_starts.push_back(
        static_cast<double>(day_number(y, (m - 1) % 12 + 1, 1, Calendar::kStandard) -
                            day_number(2000, 1, 1, Calendar::kStandard)));
  }
  std::vector<double> quarters;
  for (std::size_t i = 0; i < month_starts.size(); i += 3) quarters.push_back(month_starts[i]);
  const struct {
    const char* what;
    const char* units;
    Calendar calendar;
    std::vector<double> values;
    const char* tdef;  // "COUNT START STEP"
  } cases[] = {
      {"30 yearly times", "days since 1991-01-01", Calendar::kStandard,
       days_of_year_starts(1991, 30, Calendar::kStandard), "30 00Z01jan1991 1yr"},
      {"yearly in a 365-day calendar",
       "days since 2000-01-01",
       Calendar::kNoLeap,
       {0, 365, 730},
       "3 00Z01jan2000 1yr"},
      {"monthly, leap year included", "days since 2000-01-01", Calendar::kStandard, month_starts,
       "14 00Z01jan2000 1mo"},
      {"quarterly", "days since 2000-01-01", Calendar::kStandard, quarters, "5 00Z01jan2000 3mo"},
      {"monthly on the 15th at noon",
       "days since 2000-01-01",
       Calendar::kStandard,
       {14.5, 45.5, 74.5},
       "3 12Z15jan2000 1mo"},
      {"6-hourly",
       "hours since 2000-01-01",
       Calendar::kStandard,
       {0, 6, 12, 18},
       "4 00Z01jan2000 6hr"},
      {"daily in hours: the largest whole unit",
       "hours since 2000-01-01",
       Calendar::kStandard,
       {0, 24, 48},
       "3 00Z01jan2000 1dy"},
      {"daily in seconds since 1970, zone Z",
       "seconds since 1970-01-01T00:00:00Z",
       Calendar::kProlepticGregorian,
       {86400 * 10957.0, 86400 * 10958.0},
       "2 00Z01jan2000 1dy"},
      {"half-hourly",
       "minutes since 2000-01-01 12:00",
       Calendar::kStandard,
       {0, 30, 60},
       "3 12Z01jan2000 30mn"},
      {"an offset converted to UTC",
       "hours since 2000-01-01 00:00:00+01:00",
       Calendar::kStandard,
       {0, 1},
       "2 23Z31dec1999 1hr"},
      {"NCEP's hours since 1-1-1 (a Julian epoch)",
       "hours since 1-1-1 00:00:0.0",
       Calendar::kStandard,
       {17067072, 17067078},
       "2 00Z01jan1948 6hr"},
      {"one time", "days since 2010-06-01", Calendar::kStandard, {0}, "1 00Z01jun2010 1dy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const GradsAxis axis = grads_axis(c.values, parse_time_units(c.units), c.calendar);
    EXPECT_EQ(std::to_string(axis.count) + " " + grads_time(axis.start) + " " + axis.step, c.tdef);
  }
}

TEST(CfTime, AxesGradsCannotExpressAreRefused) {
  const struct {
    const char* what;
    const char* units;
    Calendar calendar;
    std::vector<double> values;
    const char* reason;
  } cases[] = {
      {"uneven days", "days since 2000-01-01", Calendar::kStandard, {0, 1, 3}, "not evenly spaced"},
      {"mid-month times",
       "days since 2000-01-01",
       Calendar::kStandard,
       {15.5, 45, 75.5},
       "not evenly spaced"},
      {"a time between minutes",
       "seconds since 2000-01-01",
       Calendar::kStandard,
       {0, 90.5},
       "not on a whole minute"},
      {"mid-month at varying hours",
       "days since 2000-01-01",
       Calendar::kStandard,
       {14.5, 45, 74.5},
       "not evenly spaced"},
      {"month ends",
       "days since 2000-01-31",
       Calendar::kStandard,
       {0, 29, 60},
       "not evenly spaced"},
      {"decreasing", "days since 2000-01-01", Calendar::kStandard, {2, 1}, "do not increase"},
      {"before year 1",
       "days since 0001-01-01",
       Calendar::kProlepticGregorian,
       {-1},
       "before year 1"},
      {"Julian times of the standard calendar",
       "days since 1500-01-01",
       Calendar::kStandard,
       {0, 1},
       "before 1582-10-15"},
      {"no times", "days since 2000-01-01", Calendar::kStandard, {}, "empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      grads_axis(c.values, parse_time_units(c.units), c.calendar);
      ADD_FAILURE() << "accepted";
    } catch (const CfTimeError& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.reason));
    }
  }
  // Every two months on day 31 (31 jan, 31 mar 2000): GrADS would step into months without one.
  try {
    grads_axis({0, 60}, parse_time_units("days since 2000-01-31"), Calendar::kStandard);
    ADD_FAILURE() << "accepted";
  } catch (const CfTimeError& error) {
    EXPECT_THAT(error.what(), HasSubstr("day 31 of their months"));
  }
}

}  // namespace
}  // namespace d2g::cftime
