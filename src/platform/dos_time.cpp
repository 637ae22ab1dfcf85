// DOS timestamps through the C library's local-time conversion (localtime_r and mktime, which
// follow TZ and its daylight-saving rules).
//
// mktime reads the zone's rules anew on every call (the zone file is opened and read each time),
// which costs more than extracting a small file. Its results are therefore kept per minute of local
// time: zones change their offset only on whole minutes, so a minute's instant plus the seconds is
// what mktime would give. The cache is per thread and starts over when TZ changes.
#include "platform/dos_time.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

#ifdef _WIN32
// Windows's C runtime has the reentrant conversion as localtime_s, its arguments swapped.
static std::tm* localtime_r(const std::time_t* t, std::tm* local) {
  return localtime_s(local, t) == 0 ? local : nullptr;
}
#endif

namespace vz::platform {
namespace {

constexpr uint32_t kFirstDos = (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
constexpr uint32_t kLastDos =
    (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// mktime of a local minute (seconds 0), or -1.
std::time_t LocalMinute(int year, int month, int day, int hour, int minute) {
  struct tm local {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;  // let the zone's rules decide
  // mktime reads the zone anew (TZ) each time and replaces what it read before: threads that
  // extract at once take turns.
  static std::mutex zone;
  const std::lock_guard lock(zone);
  return std::mktime(&local);
}

// Kept per thread, so it holds nothing that needs destroying: the Windows runtime may free a
// thread's storage before it runs the destructors of its thread_local objects.
class MinuteCache {
 public:
  std::time_t Get(uint32_t dos, int year, int month, int day, int hour, int minute) {
    const char* tz = std::getenv("TZ");
    const size_t tz_length = tz != nullptr ? std::strlen(tz) : 0;
    // A zone name too long to keep is not cached at all.
    if (tz_length >= sizeof tz_) return LocalMinute(year, month, day, hour, minute);
    if ((tz == nullptr) != !tz_set_ ||
        (tz != nullptr && std::string_view(tz, tz_length) != std::string_view(tz_))) {
      tz_set_ = tz != nullptr;
      std::memcpy(tz_, tz != nullptr ? tz : "", tz_length + 1);
      entries_.fill(Entry{});
    }
    const uint32_t key = dos >> 5;
    Entry& entry = entries_[(key ^ (key >> 8)) % entries_.size()];
    if (entry.key != key) entry = {key, LocalMinute(year, month, day, hour, minute)};
    return entry.minute;
  }

 private:
  struct Entry {
    uint32_t key = UINT32_MAX;  // no DOS value shifted by 5 is this large
    std::time_t minute = -1;
  };
  bool tz_set_ = false;
  char tz_[256] = {};
  std::array<Entry, 256> entries_{};
};
static_assert(std::is_trivially_destructible_v<MinuteCache>);

}  // namespace

uint32_t UnixTimeToDosDateTime(std::time_t t) {
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return kFirstDos;
  const int year = local.tm_year + 1900;
  if (year < 1980) return kFirstDos;
  if (year > 2107) return kLastDos;
  const auto date =
      static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  // A leap second (tm_sec 60) is kept inside the field's range.
  const int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
  const auto time =
      static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (seconds / 2));
  return (date << 16) | time;
}

std::optional<std::time_t> DosDateTimeToUnixTime(uint32_t dos) {
  const int year = static_cast<int>((dos >> 25) & 0x7F) + 1980;
  const int month = static_cast<int>((dos >> 21) & 0x0F);
  const int day = static_cast<int>((dos >> 16) & 0x1F);
  const int hour = static_cast<int>((dos >> 11) & 0x1F);
  const int minute = static_cast<int>((dos >> 5) & 0x3F);
  const int second = static_cast<int>(dos & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  thread_local MinuteCache cache;
  const std::time_t t = cache.Get(dos, year, month, day, hour, minute);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;  // no DOS date is that early
  return t + second;
}

}  // namespace vz::platform
