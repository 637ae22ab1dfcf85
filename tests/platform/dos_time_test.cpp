// DOS timestamps against known local times, in two zones, including both daylight-saving changes.
#include "platform/dos_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vz::platform {
namespace {

constexpr uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
  return (static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16) |
         static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
}

// Runs a test in one time zone and restores the previous one.
class DosTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) old_tz_ = tz;
  }
  void TearDown() override {
    if (old_tz_) {
      ::setenv("TZ", old_tz_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  static void UseZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }

 private:
  std::optional<std::string> old_tz_;
};

TEST_F(DosTimeTest, KnownInstantsInUtc) {
  UseZone("UTC");
  struct Case {
    std::time_t t;
    uint32_t dos;
  } cases[] = {
      {315532800, Dos(1980, 1, 1, 0, 0, 0)},        // first representable value
      {1000000000, Dos(2001, 9, 9, 1, 46, 40)},     // 2001-09-09 01:46:40
      {951782399, Dos(2000, 2, 28, 23, 59, 58)},    // odd second rounds down
      {951782400, Dos(2000, 2, 29, 0, 0, 0)},       // leap day
      {4354819198, Dos(2107, 12, 31, 23, 59, 58)},  // last representable value
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnixTimeToDosDateTime(c.t), c.dos) << c.t;
    EXPECT_EQ(DosDateTimeToUnixTime(c.dos), c.t & ~std::time_t{1}) << c.t;
  }
}

TEST_F(DosTimeTest, OutOfRangeTimesAreClampedAndBadFieldsRefused) {
  UseZone("UTC");
  EXPECT_EQ(UnixTimeToDosDateTime(0), Dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(UnixTimeToDosDateTime(-86400), Dos(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(UnixTimeToDosDateTime(5000000000), Dos(2107, 12, 31, 23, 59, 58));
  const uint32_t bad[] = {
      Dos(2020, 0, 1, 0, 0, 0),  Dos(2020, 13, 1, 0, 0, 0),     Dos(2020, 1, 0, 0, 0, 0),
      Dos(2021, 2, 29, 0, 0, 0), Dos(2020, 4, 31, 0, 0, 0),     Dos(2020, 1, 1, 24, 0, 0),
      Dos(2020, 1, 1, 0, 60, 0), Dos(2020, 1, 1, 0, 0, 0) | 30,  // 60 seconds
  };
  for (const uint32_t dos : bad) EXPECT_FALSE(DosDateTimeToUnixTime(dos).has_value()) << dos;
  EXPECT_TRUE(DosDateTimeToUnixTime(Dos(2020, 2, 29, 0, 0, 0)).has_value());
}

// Berlin: clocks go from 02:00 CET to 03:00 CEST on 2026-03-29 (01:00 UTC) and from 03:00 CEST
// back to 02:00 CET on 2026-10-25 (01:00 UTC).
TEST_F(DosTimeTest, LocalTimeFollowsDaylightSavingChanges) {
  UseZone("Europe/Berlin");
  constexpr std::time_t kSpringChange = 1774746000;  // 2026-03-29 01:00:00 UTC
  constexpr std::time_t kAutumnChange = 1792890000;  // 2026-10-25 01:00:00 UTC
  struct Case {
    std::time_t t;
    uint32_t dos;
  } cases[] = {
      {kSpringChange - 2, Dos(2026, 3, 29, 1, 59, 58)},  // CET, UTC+1
      {kSpringChange, Dos(2026, 3, 29, 3, 0, 0)},        // CEST, UTC+2
      {kSpringChange + 7200, Dos(2026, 3, 29, 5, 0, 0)},
      {kAutumnChange - 3602, Dos(2026, 10, 25, 1, 59, 58)},  // CEST
      {kAutumnChange + 3600, Dos(2026, 10, 25, 3, 0, 0)},    // CET again
      {1767225600, Dos(2026, 1, 1, 1, 0, 0)},                // winter: UTC+1
      {1782864000, Dos(2026, 7, 1, 2, 0, 0)},                // summer: UTC+2
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnixTimeToDosDateTime(c.t), c.dos) << c.t;
    // Unambiguous local times come back to the same instant.
    EXPECT_EQ(DosDateTimeToUnixTime(c.dos), c.t) << c.t;
  }
  // A local time that happens twice still reads as one of its two instants.
  const auto twice = DosDateTimeToUnixTime(Dos(2026, 10, 25, 2, 30, 0));
  ASSERT_TRUE(twice.has_value());
  EXPECT_TRUE(*twice == kAutumnChange - 1800 || *twice == kAutumnChange + 1800) << *twice;
}

TEST_F(DosTimeTest, SameDosValueIsADifferentInstantInAnotherZone) {
  const uint32_t noon = Dos(2026, 7, 1, 12, 0, 0);
  UseZone("UTC");
  const auto utc = DosDateTimeToUnixTime(noon);
  UseZone("America/New_York");
  const auto new_york = DosDateTimeToUnixTime(noon);
  ASSERT_TRUE(utc && new_york);
  EXPECT_EQ(*new_york - *utc, 4 * 3600);  // EDT is UTC-4
}

}  // namespace
}  // namespace vz::platform
