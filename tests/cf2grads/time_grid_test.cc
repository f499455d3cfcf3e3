// Time groups for observations at any times: the greatest common step, and each time's group
// and offset.
#include "cftime/time_grid.h"

#include <gtest/gtest.h>

#include <vector>

namespace d2g::cftime {
namespace {

long double at(int64_t year, int month, int day, int hour = 0, int minute = 0,
               Calendar calendar = Calendar::kStandard) {
  return absolute_seconds({year, month, day, hour, minute, 0}, calendar);
}

TEST(TimeGrid, TheStepIsTheGreatestCommonStepInTheLargestWholeUnit) {
  struct Case {
    std::vector<long double> times;
    std::string step;
  };
  const std::vector<Case> cases = {
      {{at(2000, 1, 1), at(2000, 1, 2), at(2000, 1, 4)}, "1dy"},
      {{at(2000, 1, 1), at(2000, 1, 1, 12), at(2000, 1, 3)}, "12hr"},
      {{at(2000, 1, 1, 0, 30), at(2000, 1, 1, 2)}, "90mn"},
      // Calendar months and years, whatever the lengths of the months between.
      {{at(2000, 1, 15), at(2000, 2, 15), at(2000, 4, 15)}, "1mo"},
      {{at(1990, 3, 1), at(1993, 3, 1), at(1991, 3, 1)}, "1yr"},
      {{at(2000, 1, 1), at(2000, 7, 1)}, "6mo"},
      // Days past the 28th cannot step by months: the days between decide.
      {{at(2000, 1, 31), at(2000, 3, 31)}, "60dy"},
      // One time alone.
      {{at(2000, 1, 1)}, "1dy"},
  };
  for (const Case& c : cases) {
    StepFinder finder(Calendar::kStandard);
    for (long double t : c.times) finder.add(t);
    EXPECT_EQ(step_text(finder.step()), c.step);
  }
}

TEST(TimeGrid, TimesOffWholeMinutesAreRefused) {
  StepFinder finder(Calendar::kStandard);
  finder.add(at(2000, 1, 1));
  EXPECT_THROW(finder.add(at(2000, 1, 1) + 30), CfTimeError);
}

TEST(TimeGrid, EachTimeGoesToItsNearestGroupAndTiesToTheEarlierOne) {
  const TimeGrid grid(at(2000, 1, 1), Step{0, 12 * 60}, Calendar::kStandard);
  struct Case {
    long double time;
    int64_t group;
    double offset;
  };
  const std::vector<Case> cases = {
      {at(2000, 1, 1), 0, 0.0},      {at(2000, 1, 1, 3), 0, 0.25}, {at(2000, 1, 1, 6), 0, 0.5},
      {at(2000, 1, 1, 9), 1, -0.25}, {at(2000, 1, 3, 18), 5, 0.5}, {at(2000, 1, 4), 6, 0.0},
  };
  for (const Case& c : cases) {
    const auto [group, offset] = grid.place(c.time);
    EXPECT_EQ(group, c.group);
    EXPECT_DOUBLE_EQ(offset, c.offset);
  }
}

TEST(TimeGrid, MonthlyGroupsFollowTheCalendar) {
  const TimeGrid grid(at(2000, 1, 1), Step{1, 0}, Calendar::kStandard);
  EXPECT_EQ(grid.group_time(2), at(2000, 3, 1));
  EXPECT_EQ(grid.group_time(14), at(2001, 3, 1));
  // Mid-February 2000 (29 days): the 15th 12:00 is just past half of the month.
  EXPECT_EQ(grid.place(at(2000, 2, 15, 12)).first, 1);
  EXPECT_EQ(grid.place(at(2000, 2, 15, 13)).first, 2);
  const TimeGrid noleap(at(2001, 2, 28, 0, 0, Calendar::kNoLeap), Step{0, 1440}, Calendar::kNoLeap);
  EXPECT_EQ(civil_time(noleap.group_time(1), Calendar::kNoLeap).month, 3);
  // From the 31st, as GrADS's "q time" says: a day the month lacks runs on into the next one.
  const TimeGrid late(at(2000, 1, 31, 12), Step{1, 0}, Calendar::kStandard);
  EXPECT_EQ(late.group_time(1), at(2000, 3, 2, 12));
  EXPECT_EQ(late.group_time(2), at(2000, 3, 31, 12));
  EXPECT_EQ(late.group_time(3), at(2000, 5, 1, 12));
  const TimeGrid late_noleap(at(2001, 1, 30, 0, 0, Calendar::kNoLeap), Step{1, 0},
                             Calendar::kNoLeap);
  EXPECT_EQ(late_noleap.group_time(1), at(2001, 3, 2, 0, 0, Calendar::kNoLeap));
}

TEST(TimeGrid, StepsAreReadAsGradsWritesThem) {
  EXPECT_EQ(parse_step("12hr"), (Step{0, 720}));
  EXPECT_EQ(parse_step("1dy"), (Step{0, 1440}));
  EXPECT_EQ(parse_step("30mn"), (Step{0, 30}));
  EXPECT_EQ(parse_step("1mo"), (Step{1, 0}));
  EXPECT_EQ(parse_step("2yr"), (Step{24, 0}));
  for (const char* bad : {"", "hr", "0dy", "1.5dy", "1wk", "-1dy"}) {
    EXPECT_THROW(parse_step(bad), CfTimeError) << bad;
  }
}

}  // namespace
}  // namespace d2g::cftime
