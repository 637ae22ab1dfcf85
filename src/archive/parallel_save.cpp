#include "archive/parallel_save.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "archive/zip_proc.h"
#include "codec/deflate_base.h"
#include "codec/scratch.h"
#include "platform/file_stream.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"
#include "platform/temp_files.h"

namespace vz {

bool AheadBudget::Take(int64_t bytes) {
  int64_t left = left_.load();
  while (left >= bytes) {
    if (left_.compare_exchange_weak(left, left - bytes)) return true;
  }
  return false;
}

AheadBuffer::~AheadBuffer() {
  budget_->Give(granted_);
}

int64_t AheadBuffer::Read(std::span<uint8_t> buffer) {
  const int64_t end = std::min(size_, position_ + static_cast<int64_t>(buffer.size()));
  int64_t done = 0;
  while (position_ < end) {
    const int64_t n = end - position_;
    if (position_ < limit_) {
      const int64_t part = std::min(n, limit_ - position_);
      std::memcpy(buffer.data() + done, memory_.data() + position_, static_cast<size_t>(part));
      done += part;
      position_ += part;
      continue;
    }
    const int64_t got = file_->Stream().ReadAt(
        position_ - limit_, buffer.subspan(static_cast<size_t>(done), static_cast<size_t>(n)));
    if (got <= 0) break;
    done += got;
    position_ += got;
  }
  return done;
}

int64_t AheadBuffer::Write(std::span<const uint8_t> buffer) {
  if (position_ < 0) return 0;
  const auto total = static_cast<int64_t>(buffer.size());
  Grow(position_ + total);
  int64_t done = 0;
  if (position_ < limit_) {
    const int64_t part = std::min(total, limit_ - position_);
    if (static_cast<int64_t>(memory_.size()) < position_ + part) {
      memory_.resize(static_cast<size_t>(position_ + part));
    }
    std::memcpy(memory_.data() + position_, buffer.data(), static_cast<size_t>(part));
    done = part;
  }
  if (done < total) {
    // Everything before the file's part is in memory, a gap as zero bytes.
    if (static_cast<int64_t>(memory_.size()) < limit_) memory_.resize(static_cast<size_t>(limit_));
    FileStream& file = File();
    file.SetPosition(position_ + done - limit_);
    done += file.Write(buffer.subspan(static_cast<size_t>(done)));
  }
  position_ += done;
  size_ = std::max(size_, position_);
  return done;
}

int64_t AheadBuffer::Seek(int64_t offset, int origin) {
  switch (origin) {
    case kSeekBegin:
      position_ = offset;
      break;
    case kSeekCurrent:
      position_ += offset;
      break;
    default:
      position_ = size_ + offset;
      break;
  }
  return position_;
}

void AheadBuffer::SetSize(int64_t new_size) {
  new_size = std::max<int64_t>(new_size, 0);
  if (new_size > size_) {
    // Zero bytes up to the new size.
    const int64_t keep = position_;
    position_ = size_;
    const std::vector<uint8_t> zeros(static_cast<size_t>(new_size - size_), 0);
    WriteBuffer(zeros);
    position_ = keep;
    return;
  }
  size_ = new_size;
  if (static_cast<int64_t>(memory_.size()) > size_) memory_.resize(static_cast<size_t>(size_));
  if (file_ != nullptr) file_->Stream().SetSize(std::max<int64_t>(size_ - limit_, 0));
  position_ = std::min(position_, size_);
}

void AheadBuffer::Grow(int64_t end) {
  while (!spilling_ && limit_ < end) {
    if (!budget_->Take(AheadBudget::kPiece)) {
      spilling_ = true;
      break;
    }
    granted_ += AheadBudget::kPiece;
    limit_ = granted_;
  }
}

FileStream& AheadBuffer::File() {
  if (file_ == nullptr) {
    const std::string where = platform::IsDirectory(folder_) ? folder_ : platform::TempFolder();
    platform::Folder folder;
    if (const int error = platform::Folder::Open(where, folder)) {
      throw InOutError::FromErrno(where, error);
    }
    file_ = std::make_unique<platform::WorkFile>(folder, "VMS");
  }
  return file_->Stream();
}

namespace {

// Records what a compression reports; once the save stops, a report ends the compression.
class RecordedProgress : public CompressProgress {
 public:
  RecordedProgress(std::vector<ItemAhead::Report>& reports, bool reports_storing,
                   const std::atomic<bool>& cancelled)
      : reports_(reports), reports_storing_(reports_storing), cancelled_(cancelled) {}

  void Codec(int32_t percent) override {
    if (cancelled_) throw AbortProgressError();
    reports_.push_back({ItemAhead::Report::kCodec, percent});
  }
  bool ReportsStoring() const override { return reports_storing_; }
  void Store(uint8_t percent, bool& abort, bool last) override {
    reports_.push_back({last ? ItemAhead::Report::kStoreLast : ItemAhead::Report::kStore, percent});
    abort = cancelled_;
  }

 private:
  std::vector<ItemAhead::Report>& reports_;
  bool reports_storing_;
  const std::atomic<bool>& cancelled_;
};

}  // namespace

SaveAhead::SaveAhead(const ZipArchive& archive, const std::vector<ZipItem*>& items, int threads)
    : archive_(archive),
      items_(items),
      reports_storing_(static_cast<bool>(archive.ItemProgressProc)),
      window_(static_cast<size_t>(std::max(threads, 1)) * 2),
      budget_(std::make_shared<AheadBudget>(kMemoryAhead)) {
  jobs_.resize(items.size());
  PrepareUpTo(std::min(items.size(), kPrepareBatch));
  try {
    // As many workers as threads: the writer compresses too while it waits (see Take), but a
    // worker per thread lets a long item start at once instead of behind the ones before it.
    for (int i = 0; i < std::max(threads, 1); ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

SaveAhead::~SaveAhead() {
  Stop();
}

void SaveAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    cancelled_ = true;
  }
  work_.notify_all();
  done_.notify_all();
  for (auto& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
  jobs_.clear();
}

bool SaveAhead::MayStart() const {
  return next_ < prepared_ &&
         (next_ < taken_ + window_ || (next_ < taken_ + kItemsAhead && held_bytes_ < kBytesAhead));
}

void SaveAhead::PrepareUpTo(size_t end) {
  // Only the writer's thread makes copies and moves prepared_, so it reads prepared_ unlocked;
  // the items from there on are the writer's alone until they are published.
  const size_t from = prepared_;
  if (end <= from) return;
  for (size_t i = from; i < end; ++i) {
    auto ahead = std::make_unique<ItemAhead>();
    ahead->original = items_[i];
    ahead->item.Header() = items_[i]->Header();
    ahead->item.SetDiskPath(items_[i]->DiskPath());
    ahead->item.SetPendingAction(items_[i]->PendingAction());
    jobs_[i].result = std::move(ahead);
  }
  std::lock_guard lock(mutex_);
  prepared_ = end;
  if (idle_workers_ > 0) work_.notify_all();
}

std::unique_ptr<ItemAhead> SaveAhead::Take() {
  // Copies are made a batch at a time, before the workers may reach them.
  const size_t reach = taken_ + std::max(window_, kItemsAhead) + 1;
  if (prepared_ < jobs_.size() && prepared_ < reach) {
    PrepareUpTo(std::min(jobs_.size(), reach + kPrepareBatch));
  }
  std::unique_lock lock(mutex_);
  Check(taken_ < jobs_.size(), "SaveAhead: more items taken than given");
  Job& job = jobs_[taken_++];
  if (job.state == State::kWaiting) {
    job.state = State::kTaken;
    if (idle_workers_ > 0) work_.notify_all();  // the window moved on
    return nullptr;
  }
  // While a worker finishes it, the writer does a worker's part: a job begun is one less to wait
  // for later.
  while (job.state != State::kDone) {
    if (!stopping_ && next_ < jobs_.size() && MayStart()) {
      RunNext(lock);
      continue;
    }
    writer_waiting_ = true;
    done_.wait(lock, [&job] { return job.state == State::kDone; });
    writer_waiting_ = false;
  }
  job.state = State::kTaken;
  held_bytes_ -= job.bytes;
  if (idle_workers_ > 0) work_.notify_all();
  return std::move(job.result);
}

void SaveAhead::Work() {
  platform::BlockTerminatingSignals();
  {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_workers_;
      work_.wait(lock, [this] { return stopping_ || next_ >= jobs_.size() || MayStart(); });
      --idle_workers_;
      if (stopping_ || next_ >= jobs_.size()) break;
      RunNext(lock);
    }
  }
  ReleaseThreadScratch();  // the encoders' blocks this thread kept
}

void SaveAhead::RunNext(std::unique_lock<std::mutex>& lock) {
  Job& job = jobs_[next_++];
  if (job.state != State::kWaiting) return;
  job.state = State::kRunning;
  ItemAhead& ahead = *job.result;
  lock.unlock();
  Compress(ahead);
  const int64_t bytes = ahead.data != nullptr ? ahead.data->Size() : 0;
  lock.lock();
  job.state = State::kDone;
  job.bytes = bytes;
  held_bytes_ += bytes;
  if (writer_waiting_) done_.notify_one();
}

void SaveAhead::Compress(ItemAhead& ahead) {
  try {
    auto buffer = std::make_unique<AheadBuffer>(budget_, archive_.TempDirectory());
    RecordedProgress progress(ahead.reports, reports_storing_, cancelled_);
    // The size the writer decides the header by is the one the file had when it was opened.
    CompressItemFile(archive_, ahead.item, *buffer, progress, &ahead.source_size);
    ahead.data = std::move(buffer);
  } catch (...) {
    ahead.failure = std::current_exception();
  }
}

}  // namespace vz
