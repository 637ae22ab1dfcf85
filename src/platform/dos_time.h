// DOS date and time, the timestamp format of zip headers, converted to and from the system clock.
//
// A DOS timestamp is one 32-bit value: the date in the high 16 bits ((year - 1980) x 512 + month x
// 32 + day) and the time in the low 16 bits (hours x 2048 + minutes x 32 + seconds / 2). It has no
// time zone: it is read and written as local time, so conversions go through the C library's
// local-time rules (TZ), which also decide the daylight-saving offset of each date.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace vz::platform {

// DOS timestamp of a point in time, in local time. Odd seconds round down to even. Times before
// 1980-01-01 00:00:00 give that first representable value; times after 2107-12-31 23:59:58 the
// last.
uint32_t UnixTimeToDosDateTime(std::time_t t);

// Point in time of a DOS timestamp read as local time; nothing when the fields are out of range
// (month 0 or above 12, day 0 or past the month's end, hour above 23, minute above 59, second
// above 59). A local time that occurs twice when clocks go back, or never when they go forward, is
// resolved by the C library's rules.
std::optional<std::time_t> DosDateTimeToUnixTime(uint32_t dos);

}  // namespace vz::platform
