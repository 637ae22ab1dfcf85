#include "front/work_rate.h"

#include <algorithm>
#include <cstdio>

namespace vz::front {

std::string ByteCount(uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " bytes";
  static constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (value >= 999.5 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 9.95 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

void WorkRate::Start(uint64_t total_bytes, Clock::time_point now) {
  *this = {};
  total_ = total_bytes;
  start_ = now;
}

void WorkRate::Progress(const void* item, uint64_t item_bytes, uint8_t percent) {
  if (item != item_) {
    finished_ += current_size_;
    item_ = item;
    current_size_ = item_bytes;
  }
  current_ = item_bytes / 100 * std::min<uint8_t>(percent, 100) +
             item_bytes % 100 * std::min<uint8_t>(percent, 100) / 100;
}

std::string WorkRate::Text(Clock::time_point now) const {
  const auto elapsed = now - start_;
  if (elapsed < kQuiet || total_ == 0) return "";
  const uint64_t done = std::min(total_, finished_ + current_);
  std::string text = ByteCount(done) + " of " + ByteCount(total_);
  if (done == 0) return text;
  const double seconds = std::chrono::duration<double>(elapsed).count() *
                         static_cast<double>(total_ - done) / static_cast<double>(done);
  const auto left = static_cast<uint64_t>(seconds + 0.5);
  if (left < 60) return text + ", about " + std::to_string(std::max<uint64_t>(left, 1)) + " s left";
  if (left < 3600) return text + ", about " + std::to_string((left + 30) / 60) + " min left";
  return text + ", about " + std::to_string((left + 1800) / 3600) + " h left";
}

}  // namespace vz::front
