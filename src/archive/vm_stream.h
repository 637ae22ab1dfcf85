// A work stream in memory pages with a swap file behind them: a save builds in one what cannot go
// straight to its file (the new items of a spanned set, an archive over a caller's stream).
//
// The stream is cut into 4096-byte pages. At most a fixed number of pages (25 by default, never
// more than 256) live in memory; when another one is needed, the page used least recently is
// evicted, written to a swap file first when it holds unsaved changes. So a save of any size needs
// a bounded amount of memory and the rest in disk space. The swap file is a "VMS" work file made on
// the first eviction of a changed page and deleted with the stream (or by the signal handler of
// platform/temp_files.h when the program is interrupted).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "platform/stream.h"
#include "platform/temp_files.h"

namespace vz {

class VirtualMemoryStream : public Stream {
 public:
  static constexpr int64_t kPageSize = 4096;
  static constexpr int64_t kDefaultMemoryLimit = 25 * kPageSize;
  static constexpr int64_t kMaxPages = 256;

  VirtualMemoryStream();
  ~VirtualMemoryStream() override;

  // Reads up to the stream's size; nothing at or beyond it (or at a negative position).
  int64_t Read(std::span<uint8_t> buffer) override;
  // Writes at the position, growing the stream; a gap before the position reads as zero bytes. At
  // a negative position nothing is written.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Origin 0, 1 or 2; any other raises VMSInvalidOriginError. The position may lie beyond the size.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }
  // Truncates or extends (with zero bytes); the position is pulled back to the new size.
  void SetSize(int64_t new_size) override;

  // Memory for pages, rounded up to whole pages, between 1 and 256 pages. Lowering it evicts pages.
  int64_t MemoryLimit() const { return page_limit_ * kPageSize; }
  void SetMemoryLimit(int64_t bytes);
  // Folder for the swap file; when it is not an existing folder the system's temporary folder.
  const std::string& SwapFolder() const { return swap_folder_; }
  void SetSwapFolder(const std::string& folder) { swap_folder_ = folder; }
  // Name of the swap file; empty until one is made.
  const std::string& SwapFileName() const { return swap_name_; }
  int64_t PagesInMemory() const { return static_cast<int64_t>(pages_.size()); }

 private:
  struct Page {
    int64_t offset = 0;
    uint32_t stamp = 0;
    bool dirty = false;
    std::array<uint8_t, kPageSize> data{};
  };

  Page& FetchPage(int64_t offset);
  uint32_t NextStamp();
  // Removes the least recently used page (writing it out when dirty) and returns it for reuse.
  std::unique_ptr<Page> EvictOldest();
  void WritePage(const Page& page);
  void ReadPage(Page& page);
  void OpenSwapFile();
  void DeleteSwapFile() noexcept;

  std::vector<std::unique_ptr<Page>> pages_;  // in offset order
  Page* cache_ = nullptr;
  uint32_t use_counter_ = 0;
  int64_t page_limit_ = kDefaultMemoryLimit / kPageSize;
  int64_t size_ = 0;
  int64_t position_ = 0;
  std::string swap_folder_;
  std::string swap_name_;
  std::unique_ptr<platform::WorkFile> swap_file_;
  FileStream* swap_ = nullptr;  // the swap file's stream
  int64_t swap_size_ = 0;
};

}  // namespace vz
