#include "archive/parallel_extract.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "archive/span_stream.h"
#include "archive/unzip_proc.h"
#include "platform/folder.h"
#include "platform/memory_stream.h"
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
    for (size_t i = 0; i < indices.size(); ++i) {
      slots_[i].index = indices[i];
      slots_[i].small = archive.ZipItems(indices[i])->UncompressedSize() < minimum_;
    }
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
    if ((!slot.ahead.work && !slot.ahead.in_memory) || use_name != item.StoredName() ||
        (item.Encrypted() && slot.ahead.decoding.password != archive_.Password())) {
      ExtractItemToTarget(archive_, item, target, nullptr);
      return;
    }
    archive_.ClaimItemExtent(item, slot.ahead.decoding.extent_end);
    EventReplay replay;
    for (const ItemEvent& event : slot.ahead.decoding.events) {
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
    if (!replay.aborted && (slot.ahead.in_memory ? PlaceDecodedItem(item, target, slot.ahead.data)
                                                 : Place(slot, target))) {
      return;
    }
    // The user's abort, or a work file that cannot go where the target is: the item is done over
    // on this thread, the events fired so far answered as they were.
    slot.ahead.work.reset();
    ExtractItemToTarget(archive_, item, target, &replay);
  }

 private:
  enum class State { kQueued, kWorking, kDone };
  // What a worker made of an item.
  struct Decoded {
    std::unique_ptr<platform::WorkFile> work;  // set when the item decoded ahead to a file
    bool in_memory = false;                    // set when it decoded ahead into data
    std::vector<uint8_t> data;
    AheadDecoding decoding;
  };
  struct Slot {
    int index = 0;
    bool small = false;  // decoded into memory rather than into a work file
    State state = State::kQueued;
    Decoded ahead;
  };

  // Whether a worker may begin the slot at next_: within two items per worker of the calling
  // thread, or, for small items while what waits in memory stays small, within kItemsAhead
  // (small files would otherwise keep the workers waking and sleeping for each one).
  bool MayStart() const {
    if (next_ < turn_ + window_) return true;
    return next_ < turn_ + kItemsAhead && slots_[next_].small && held_bytes_ < kBytesAhead;
  }

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
    const auto bytes = static_cast<int64_t>(slot.ahead.data.size());
    slot.ahead = Decoded();
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      turn_ = static_cast<size_t>(&slot - slots_.data()) + 1;
      held_bytes_ -= bytes;
      // Workers that wait are woken once there is room for several items, not for each one.
      wake = idle_workers_ > 0 &&
             (next_ < turn_ + window_ || next_ + kItemsAhead / 2 <= turn_ + kItemsAhead);
    }
    if (wake) room_.notify_all();
  }

  bool Place(Slot& slot, const ExtractTarget& target) {
    try {
      // A file that replaces another reaches the disk before the rename, as in a serial run.
      slot.ahead.work->Close(target.replaces);
    } catch (const std::exception&) {
      return false;
    }
    return slot.ahead.work->PlaceIn(*target.folder, target.file_name) == 0;
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
    for (Slot& slot : slots_) slot.ahead.work.reset();
  }

  // Claims [start, end) for a worker; false when it overlaps an extent claimed before.
  bool ClaimAhead(int64_t start, int64_t end) {
    std::lock_guard lock(mutex_);
    return extents_.Add(0, start, end) == ExtentSet::Outcome::kAdded;
  }

  void Work() {
    platform::BlockTerminatingSignals();
    PositionedReader reader(file_, file_size_);
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_workers_;
      room_.wait(lock, [&] { return stop_ || next_ >= slots_.size() || MayStart(); });
      --idle_workers_;
      if (stop_ || next_ >= slots_.size()) return;
      Slot& slot = slots_[next_++];
      if (slot.state != State::kQueued) continue;
      slot.state = State::kWorking;
      lock.unlock();
      Decoded decoded;
      Decode(*archive_.ZipItems(slot.index), slot.small, reader, decoded);
      lock.lock();
      held_bytes_ += static_cast<int64_t>(decoded.data.size());
      slot.ahead = std::move(decoded);
      slot.state = State::kDone;
      ready_.notify_all();
    }
  }

  // Decodes one item into a work file, or a small one into memory; leaves both empty when the
  // calling thread is to do it.
  void Decode(ZipItem& item, bool small, PositionedReader& reader, Decoded& decoded) {
    if (!IsPlainFileItem(item) || (item.Encrypted() && password_.empty())) return;
    AheadDecoding& decoding = decoded.decoding;
    decoding.source = &reader;
    decoding.password = password_;
    decoding.stop = &stopping_;
    const auto may_decode = [this](int64_t start, int64_t end) { return ClaimAhead(start, end); };
    try {
      if (small) {
        MemoryStream memory;
        memory.Data().reserve(static_cast<size_t>(item.UncompressedSize()));
        DecodeItemAhead(archive_, item, decoding, may_decode, static_cast<Stream&>(memory));
        decoded.data = std::move(memory.Data());
        decoded.in_memory = true;
      } else {
        decoded.work = std::make_unique<platform::WorkFile>(
            destination_, "VMS", platform::WorkFileName::kUnnamedWherePossible);
        DecodeItemAhead(archive_, item, decoding, may_decode, decoded.work->Stream());
      }
    } catch (...) {
      decoded.work.reset();
      decoded.in_memory = false;
      decoded.data.clear();
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
  static constexpr size_t kItemsAhead = 64;
  static constexpr int64_t kBytesAhead = int64_t{8} << 20;

  std::mutex mutex_;
  std::condition_variable ready_;  // a slot is done
  std::condition_variable room_;   // the calling thread moved on, or the run stops
  std::vector<Slot> slots_;
  size_t next_ = 0;         // the next slot a worker takes
  size_t turn_ = 0;         // the slot the calling thread is at
  int64_t held_bytes_ = 0;  // the data of small items decoded and not yet placed
  int idle_workers_ = 0;
  bool stop_ = false;
  std::atomic<bool> stopping_{false};
  ExtentSet extents_;
  std::vector<std::thread> workers_;
};

// The fewest small items, and their least average size, for which starting workers pays.
constexpr int64_t kSmallRun = 16;
constexpr int64_t kSmallAverage = 1024;

}  // namespace

std::unique_ptr<ExtractAhead> StartParallelExtraction(ZipArchive& archive,
                                                      const std::vector<int>& indices) {
  const int threads = archive.EffectiveThreadCount();
  if (threads < 2 || indices.size() < 2 || archive.Spanned()) {
    return nullptr;
  }
  if (dynamic_cast<SpanStream*>(archive.ArchiveStream()) == nullptr) return nullptr;
  for (int i = 0; i < archive.ItemCount(); ++i) {
    if (archive.Items(i)->PendingAction() != iaNone) return nullptr;
  }
  // Workers only for a run worth their start: a large item, or enough small ones with something
  // to decode (for items of a few bytes the handing over costs more than the decoding).
  const int64_t minimum = archive.ExtractAheadMinimum();
  int64_t total = 0;
  bool large = false;
  for (int i : indices) {
    const int64_t size = archive.Items(i)->UncompressedSize();
    large = large || size >= minimum;
    total += std::min(size, minimum);
  }
  const auto count = static_cast<int64_t>(indices.size());
  if (!large && (count < kSmallRun || total < count * kSmallAverage)) return nullptr;
  auto destination = std::make_shared<platform::Folder>();
  const std::string& base = archive.BaseDirectory();
  if (platform::Folder::Open(base.empty() ? "." : base, *destination) != 0) return nullptr;
  // The mode of new files is read (through the umask, set and set back) before any worker runs.
  platform::DefaultFileMode();
  const int workers = std::min<int>(threads, static_cast<int>(indices.size()));
  return std::make_unique<ParallelExtraction>(archive, indices, workers, std::move(destination));
}

}  // namespace vz
