// Pages are kept in a vector sorted by stream offset and found by binary search; the page last used
// is cached so that runs of consecutive bytes need no search at all. Use stamps come from one
// counter and mark recency for eviction.
#include "archive/vm_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/utils.h"
#include "errors/errors.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"

namespace vz {
namespace {

constexpr uint32_t kStampLimit = 0x7FFFFFFF;

}  // namespace

VirtualMemoryStream::VirtualMemoryStream() {
  auto first = std::make_unique<Page>();
  first->stamp = NextStamp();
  cache_ = first.get();
  pages_.push_back(std::move(first));
}

VirtualMemoryStream::~VirtualMemoryStream() {
  DeleteSwapFile();
}

void VirtualMemoryStream::DeleteSwapFile() noexcept {
  swap_ = nullptr;
  swap_file_.reset();  // removes the file
  swap_name_.clear();
  swap_size_ = 0;
}

uint32_t VirtualMemoryStream::NextStamp() {
  if (use_counter_ >= kStampLimit) {
    use_counter_ = 0;
    for (auto& page : pages_) page->stamp = 0;
  }
  return ++use_counter_;
}

void VirtualMemoryStream::OpenSwapFile() {
  const std::string folder =
      platform::IsDirectory(swap_folder_) ? swap_folder_ : platform::TempFolder();
  // A work file: an interrupted program removes it (platform/temp_files.h).
  try {
    platform::Folder where;
    if (const int error = platform::Folder::Open(folder, where)) {
      throw InOutError::FromErrno(folder, error);
    }
    swap_file_ = std::make_unique<platform::WorkFile>(where, "VMS");
  } catch (const InOutError& e) {
    throw VMSErrorOpenSwapError("in " + folder + " (" + SystemErrorText(e.OsCode()) + ")");
  } catch (const std::exception& e) {
    throw VMSErrorOpenSwapError("in " + folder + " (" + e.what() + ")");
  }
  swap_ = &swap_file_->Stream();
  swap_name_ = swap_file_->Path();
  swap_size_ = 0;
}

void VirtualMemoryStream::WritePage(const Page& page) {
  if (!swap_) OpenSwapFile();
  if (swap_->Seek(page.offset, kSeekBegin) != page.offset) throw VMSSeekFailError(swap_name_);
  if (swap_->Write(page.data) != kPageSize) {
    throw VMSWriteFailError(static_cast<int>(kPageSize), swap_name_);
  }
  swap_size_ = std::max(swap_size_, page.offset + kPageSize);
}

void VirtualMemoryStream::ReadPage(Page& page) {
  if (!swap_ || page.offset >= swap_size_) {
    page.data.fill(0);
    return;
  }
  if (swap_->Seek(page.offset, kSeekBegin) != page.offset) throw VMSSeekFailError(swap_name_);
  if (swap_->Read(page.data) != kPageSize) {
    throw VMSReadFailError(static_cast<int>(kPageSize), swap_name_);
  }
}

std::unique_ptr<VirtualMemoryStream::Page> VirtualMemoryStream::EvictOldest() {
  auto oldest = std::min_element(pages_.begin(), pages_.end(),
                                 [](const auto& a, const auto& b) { return a->stamp < b->stamp; });
  // Written out before it leaves the list: a failing write loses nothing.
  if ((*oldest)->dirty) WritePage(**oldest);
  std::unique_ptr<Page> page = std::move(*oldest);
  pages_.erase(oldest);
  if (cache_ == page.get()) cache_ = nullptr;
  return page;
}

VirtualMemoryStream::Page& VirtualMemoryStream::FetchPage(int64_t offset) {
  if (cache_ != nullptr && cache_->offset == offset) return *cache_;
  auto it = std::lower_bound(pages_.begin(), pages_.end(), offset,
                             [](const auto& page, int64_t value) { return page->offset < value; });
  if (it != pages_.end() && (*it)->offset == offset) {
    (*it)->stamp = NextStamp();
    cache_ = it->get();
    return *cache_;
  }
  std::unique_ptr<Page> page =
      static_cast<int64_t>(pages_.size()) < page_limit_ ? std::make_unique<Page>() : EvictOldest();
  page->offset = offset;
  page->dirty = false;
  ReadPage(*page);
  page->stamp = NextStamp();
  it = std::lower_bound(pages_.begin(), pages_.end(), offset,
                        [](const auto& p, int64_t value) { return p->offset < value; });
  cache_ = page.get();
  pages_.insert(it, std::move(page));
  return *cache_;
}

int64_t VirtualMemoryStream::Read(std::span<uint8_t> buffer) {
  if (position_ < 0) return 0;
  const int64_t count =
      std::clamp<int64_t>(size_ - position_, 0, static_cast<int64_t>(buffer.size()));
  int64_t done = 0;
  while (done < count) {
    const int64_t in_page = position_ % kPageSize;
    const int64_t n = std::min(count - done, kPageSize - in_page);
    const Page& page = FetchPage(position_ - in_page);
    std::memcpy(buffer.data() + done, page.data.data() + in_page, static_cast<size_t>(n));
    done += n;
    position_ += n;
  }
  return done;
}

int64_t VirtualMemoryStream::Write(std::span<const uint8_t> buffer) {
  const auto count = static_cast<int64_t>(buffer.size());
  if (position_ < 0 || position_ > INT64_MAX - count - kPageSize) return 0;
  int64_t done = 0;
  while (done < count) {
    const int64_t in_page = position_ % kPageSize;
    const int64_t n = std::min(count - done, kPageSize - in_page);
    Page& page = FetchPage(position_ - in_page);
    std::memcpy(page.data.data() + in_page, buffer.data() + done, static_cast<size_t>(n));
    page.dirty = true;
    done += n;
    position_ += n;
    size_ = std::max(size_, position_);
  }
  return done;
}

int64_t VirtualMemoryStream::Seek(int64_t offset, int origin) {
  int64_t base = 0;
  switch (origin) {
    case kSeekBegin:
      break;
    case kSeekCurrent:
      base = position_;
      break;
    case kSeekEnd:
      base = size_;
      break;
    default:
      throw VMSInvalidOriginError(origin);
  }
  // Saturates instead of wrapping around; such positions hold nothing and take nothing.
  if (__builtin_add_overflow(base, offset, &position_)) {
    position_ = offset < 0 ? INT64_MIN : INT64_MAX;
  }
  return position_;
}

void VirtualMemoryStream::SetSize(int64_t new_size) {
  new_size = std::max<int64_t>(new_size, 0);
  if (new_size < size_) {
    const int64_t kept_end = (new_size + kPageSize - 1) / kPageSize * kPageSize;
    std::erase_if(pages_, [&](const auto& page) {
      const bool drop = page->offset >= kept_end;
      if (drop && cache_ == page.get()) cache_ = nullptr;
      return drop;
    });
    // Cut the swap file too: pages written past the cut must not come back when the stream grows
    // again and a later page moves the recorded end beyond them.
    if (swap_ && swap_size_ > kept_end) {
      swap_size_ = kept_end;
      swap_->SetSize(kept_end);
    }
    // Clear the cut-off tail of the last page, so that growing again shows zero bytes there.
    if (const int64_t in_page = new_size % kPageSize; in_page != 0) {
      Page& page = FetchPage(new_size - in_page);
      std::fill(page.data.begin() + in_page, page.data.end(), 0);
      page.dirty = true;
    }
  }
  size_ = new_size;
  position_ = std::min(position_, size_);
}

void VirtualMemoryStream::SetMemoryLimit(int64_t bytes) {
  const int64_t pages = (std::max<int64_t>(bytes, 0) + kPageSize - 1) / kPageSize;
  page_limit_ = std::clamp<int64_t>(pages, 1, kMaxPages);
  while (static_cast<int64_t>(pages_.size()) > page_limit_) EvictOldest();
}

}  // namespace vz
