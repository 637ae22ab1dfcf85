#include "archive/parallel_extract.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "archive/span_stream.h"
#include "archive/unzip_proc.h"
#include "platform/folder.h"
#include "platform/process.h"
#include "platform/temp_files.h"

namespace vz {

namespace {

// Reads the archive's file through positioned reads, with a position and a buffer of its own, so
// that workers read at once without disturbing the archive's stream.
class PositionedReader : public Stream {
 public:
  PositionedReader(const SpanStream& file, int64_t size) : file_(file), size_(size) {}

  int64_t Read(std::span<uint8_t> buffer) override {
    size_t done = 0;
    while (done < buffer.size() && position_ < size_) {
      if (position_ >= buffer_start_ && position_ < buffer_start_ + buffer_length_) {
        const auto offset = static_cast<size_t>(position_ - buffer_start_);
        const size_t n =
            std::min(buffer.size() - done, static_cast<size_t>(buffer_length_) - offset);
        std::memcpy(buffer.data() + done, buffer_.data() + offset, n);
        done += n;
        position_ += static_cast<int64_t>(n);
        continue;
      }
      const size_t rest = buffer.size() - done;
      if (rest >= kBufferSize) {
        const int64_t n = file_.ReadAt(position_, buffer.subspan(done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        position_ += n;
        continue;
      }
      buffer_.resize(kBufferSize);
      buffer_start_ = position_;
      buffer_length_ = std::max<int64_t>(file_.ReadAt(position_, buffer_), 0);
      if (buffer_length_ == 0) break;
    }
    return static_cast<int64_t>(done);
  }
  int64_t Write(std::span<const uint8_t>) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override {
    const int64_t base = origin == kSeekEnd ? size_ : origin == kSeekCurrent ? position_ : 0;
    position_ = std::max<int64_t>(base + offset, 0);
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  static constexpr size_t kBufferSize = 64 * 1024;

  const SpanStream& file_;
  int64_t size_;
  int64_t position_ = 0;
  std::vector<uint8_t> buffer_;
  int64_t buffer_start_ = 0;
  int64_t buffer_length_ = 0;
};

class ParallelExtraction : public ExtractAhead {
 public:
  ParallelExtraction(ZipArchive& archive, const std::vector<int>& indices, int threads,
                     std::shared_ptr<const platform::Folder> destination)
      : archive_(archive),
        file_(*dynamic_cast<SpanStream*>(archive.ArchiveStream())),
        file_size_(archive.ArchiveStream()->Size()),
        password_(archive.Password()),
        minimum_(archive.ExtractAheadMinimum()),
        destination_(std::move(destination)),
        window_(2 * static_cast<size_t>(threads)),
        slots_(indices.size()) {
    for (size_t i = 0; i < indices.size(); ++i) slots_[i].index = indices[i];
    workers_.reserve(static_cast<size_t>(threads));
    try {
      for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    } catch (...) {
      Stop();
      throw;
    }
  }

  ~ParallelExtraction() override { Stop(); }

  void Skip(int index) override {
    Slot& slot = Take(index);
    Done(slot);
  }

  void Extract(int index, const std::string& use_name) override {
    Slot& slot = Take(index);
    struct Advance {
      ParallelExtraction& self;
      Slot& slot;
      ~Advance() { self.Done(slot); }
    } advance{*this, slot};
    ZipItem& item = *archive_.ZipItems(index);
    ExtractTarget target;
    if (!ResolveItemTarget(archive_, item, use_name, target)) return;
    if (!slot.work || use_name != item.StoredName() ||
        (item.Encrypted() && slot.decoding.password != archive_.Password())) {
      ExtractItemToTarget(archive_, item, target, nullptr);
      return;
    }
    archive_.ClaimItemExtent(item, item.DiskNumberStart(), slot.decoding.extent_start,
                             slot.decoding.extent_end);
    EventReplay replay;
    for (const ItemEvent& event : slot.decoding.events) {
      bool abort = false;
      switch (event.kind) {
        case ItemEventKind::kItemProgress:
          archive_.ItemProgressProc(event.progress, abort);
          break;
        case ItemEventKind::kCodecProgress:
          archive_.FireItemProgress(event.progress, abort);
          break;
        case ItemEventKind::kWarning:
          archive_.FireItemWarning(&item, event.warning);
          break;
      }
      ++replay.delivered;
      if (abort) {
        replay.aborted = true;
        break;
      }
    }
    if (!replay.aborted && Place(slot, target)) return;
    // The user's abort, or a work file that cannot go where the target is: the item is done over
    // on this thread, the events fired so far answered as they were.
    slot.work.reset();
    ExtractItemToTarget(archive_, item, target, &replay);
  }

 private:
  enum class State { kQueued, kWorking, kDone };
  struct Slot {
    int index = 0;
    State state = State::kQueued;
    std::unique_ptr<platform::WorkFile> work;  // set when the item decoded ahead
    AheadDecoding decoding;
  };

  // Waits for the item's slot (the calling thread takes an item that no worker took yet).
  Slot& Take(int index) {
    std::unique_lock lock(mutex_);
    while (turn_ < slots_.size() && slots_[turn_].index != index) ++turn_;
    Slot& slot = slots_.at(turn_);
    if (slot.state == State::kQueued) slot.state = State::kDone;
    ready_.wait(lock, [&] { return slot.state == State::kDone; });
    return slot;
  }

  // The item is handled: its work file, when not placed, is removed, and a worker may go ahead.
  void Done(Slot& slot) {
    slot.work.reset();
    slot.decoding = AheadDecoding();
    {
      std::lock_guard lock(mutex_);
      turn_ = static_cast<size_t>(&slot - slots_.data()) + 1;
    }
    room_.notify_all();
  }

  bool Place(Slot& slot, const ExtractTarget& target) {
    try {
      // A file that replaces another reaches the disk before the rename, as in a serial run.
      slot.work->Close(target.replaces);
    } catch (const std::exception&) {
      return false;
    }
    return slot.work->PlaceIn(*target.folder, target.file_name) == 0;
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    stopping_.store(true);
    room_.notify_all();
    for (auto& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
    workers_.clear();
    for (Slot& slot : slots_) slot.work.reset();
  }

  // Claims [start, end) for a worker; false when it overlaps an extent claimed before.
  bool ClaimAhead(int64_t start, int64_t end) {
    std::lock_guard lock(mutex_);
    auto next = extents_.lower_bound(start);
    if (next != extents_.end() && next->first < end) return false;
    if (next != extents_.begin() && std::prev(next)->second > start) return false;
    extents_.emplace(start, end);
    return true;
  }

  void Work() {
    platform::BlockTerminatingSignals();
    PositionedReader reader(file_, file_size_);
    std::unique_lock lock(mutex_);
    for (;;) {
      room_.wait(lock, [&] { return stop_ || next_ >= slots_.size() || next_ < turn_ + window_; });
      if (stop_ || next_ >= slots_.size()) return;
      Slot& slot = slots_[next_++];
      if (slot.state != State::kQueued) continue;
      slot.state = State::kWorking;
      lock.unlock();
      std::unique_ptr<platform::WorkFile> work;
      AheadDecoding decoding;
      Decode(*archive_.ZipItems(slot.index), reader, work, decoding);
      lock.lock();
      slot.work = std::move(work);
      slot.decoding = std::move(decoding);
      slot.state = State::kDone;
      ready_.notify_all();
    }
  }

  // Decodes one item into a work file; leaves work empty when the calling thread is to do it.
  void Decode(ZipItem& item, PositionedReader& reader, std::unique_ptr<platform::WorkFile>& work,
              AheadDecoding& decoding) {
    if (!IsPlainFileItem(item) || (item.Encrypted() && password_.empty())) return;
    if (item.UncompressedSize() < minimum_) return;
    decoding.source = &reader;
    decoding.password = password_;
    decoding.stop = &stopping_;
    try {
      work = std::make_unique<platform::WorkFile>(destination_, "VMS");
      DecodeItemAhead(
          archive_, item, decoding,
          [this](int64_t start, int64_t end) { return ClaimAhead(start, end); }, work->Stream());
    } catch (...) {
      work.reset();
    }
    decoding.source = nullptr;
  }

  ZipArchive& archive_;
  const SpanStream& file_;
  const int64_t file_size_;
  const std::string password_;
  const int64_t minimum_;
  const std::shared_ptr<const platform::Folder> destination_;  // shared by the work files
  const size_t window_;

  std::mutex mutex_;
  std::condition_variable ready_;  // a slot is done
  std::condition_variable room_;   // the calling thread moved on, or the run stops
  std::vector<Slot> slots_;
  size_t next_ = 0;  // the next slot a worker takes
  size_t turn_ = 0;  // the slot the calling thread is at
  bool stop_ = false;
  std::atomic<bool> stopping_{false};
  std::map<int64_t, int64_t> extents_;
  std::vector<std::thread> workers_;
};

bool HasBuiltInExtraction(const ZipArchive& archive) {
  using Procedure = void (*)(ZipArchive&, ZipItem&, const std::string&);
  const auto* procedure = archive.ExtractProc.target<Procedure>();
  return procedure != nullptr && *procedure == &ExtractItemToFile;
}

}  // namespace

std::unique_ptr<ExtractAhead> StartParallelExtraction(ZipArchive& archive,
                                                      const std::vector<int>& indices) {
  const int threads = archive.EffectiveThreadCount();
  if (threads < 2 || indices.size() < 2 || archive.Spanned() || !HasBuiltInExtraction(archive)) {
    return nullptr;
  }
  if (dynamic_cast<SpanStream*>(archive.ArchiveStream()) == nullptr) return nullptr;
  for (int i = 0; i < archive.ItemCount(); ++i) {
    if (archive.Items(i)->PendingAction() != iaNone) return nullptr;
  }
  // Workers only for a run with items worth their while.
  const int64_t minimum = archive.ExtractAheadMinimum();
  if (std::none_of(indices.begin(), indices.end(),
                   [&](int i) { return archive.Items(i)->UncompressedSize() >= minimum; })) {
    return nullptr;
  }
  auto destination = std::make_shared<platform::Folder>();
  const std::string& base = archive.BaseDirectory();
  if (platform::Folder::Open(base.empty() ? "." : base, *destination) != 0) return nullptr;
  // The mode of new files is read (through the umask, set and set back) before any worker runs.
  platform::DefaultFileMode();
  const int workers = std::min<int>(threads, static_cast<int>(indices.size()));
  return std::make_unique<ParallelExtraction>(archive, indices, workers, std::move(destination));
}

}  // namespace vz
