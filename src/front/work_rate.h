// How far a long piece of work has come in bytes, and about how long the rest will take: the
// status bar shows it beside the item in progress once the work has run for two seconds (shorter
// work would only flicker). Time is passed in, so the figures are tested without waiting.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vz::front {

// "0 bytes", "999 bytes", "1.5 KB", "12 MB", "1.0 GB": three figures at most, units of 1,024.
std::string ByteCount(uint64_t bytes);

class WorkRate {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kQuiet = std::chrono::seconds(2);

  void Start(uint64_t total_bytes, Clock::time_point now);
  // The item in progress and how far it has come; a new item counts the one before as done.
  void Progress(const void* item, uint64_t item_bytes, uint8_t percent);
  // "312 MB of 1.0 GB, about 5 s left", or "" while the work is younger than kQuiet.
  std::string Text(Clock::time_point now) const;

 private:
  Clock::time_point start_{};
  uint64_t total_ = 0, finished_ = 0, current_ = 0, current_size_ = 0;
  const void* item_ = nullptr;
};

}  // namespace vz::front
