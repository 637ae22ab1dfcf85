// Compressing a save's new items ahead of its writer, on worker threads.
//
// The writer (archive/zip_writer) still writes every item itself, strictly in order: for an item
// compressed ahead it fires the progress reports the compression recorded, in their order and with
// its own caller's answers, and then copies the data behind the local header, so the archive's
// bytes and the events are those of a save on one thread. A worker touches only its own copy of
// the item, its own buffer and the archive's settings, which nothing changes during a save; it
// fires no event.
//
// What is held ahead is bounded: at most two items per worker beyond the one being written, and at
// most kMemoryAhead bytes of their data in memory all together; an item's data beyond its share
// goes to a registered work file in the archive's TempDirectory. An item no worker has begun when
// the writer reaches it is left to the writer, which compresses it in place as a save on one
// thread would.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/stream.h"
#include "platform/temp_files.h"

namespace vz {

// The memory that the buffers of items ahead may hold all together, granted in pieces.
class AheadBudget {
 public:
  static constexpr int64_t kPiece = int64_t{1} << 20;

  explicit AheadBudget(int64_t bytes) : left_(bytes) {}
  // Takes bytes when that many are left.
  bool Take(int64_t bytes);
  void Give(int64_t bytes) { left_ += bytes; }
  int64_t Left() const { return left_; }

 private:
  std::atomic<int64_t> left_;
};

// An item's data while it waits for the writer: its first bytes in memory, as far as the budget
// grants them, and the rest in a work file in folder (made when first needed; the system's
// temporary folder when folder is none).
class AheadBuffer : public Stream {
 public:
  AheadBuffer(std::shared_ptr<AheadBudget> budget, std::string folder)
      : budget_(std::move(budget)), folder_(std::move(folder)) {}
  ~AheadBuffer() override;

  int64_t Read(std::span<uint8_t> buffer) override;
  int64_t Write(std::span<const uint8_t> buffer) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }
  // Extends with zero bytes or cuts (the position then goes back to the new end).
  void SetSize(int64_t new_size) override;

 private:
  // Takes memory for the bytes up to end while the budget grants it; from the first refusal on,
  // what lies beyond goes to the file.
  void Grow(int64_t end);
  FileStream& File();

  std::shared_ptr<AheadBudget> budget_;
  std::string folder_;
  std::vector<uint8_t> memory_;
  int64_t granted_ = 0;
  int64_t limit_ = 0;  // bytes before this offset are in memory, the rest in the file
  bool spilling_ = false;
  int64_t size_ = 0;
  int64_t position_ = 0;
  std::unique_ptr<platform::WorkFile> file_;
};

// One item compressed ahead: what its compression reported, in order, then its data and fields,
// or its failure.
struct ItemAhead {
  struct Report {
    enum Kind : uint8_t { kCodec, kStore, kStoreLast };  // as CompressProgress's calls
    Kind kind;
    int32_t percent;
  };
  const ZipItem* original = nullptr;  // the archive's item this is a copy of
  ZipItem item;                       // the copy, with the fields the compression set
  int64_t source_size = -1;           // the file's size when the compression opened it
  std::vector<Report> reports;
  std::unique_ptr<Stream> data;  // the item's data, from position 0 to its end
  std::exception_ptr failure;    // what the compression raised (its data is then null)
};

class SaveAhead {
 public:
  static constexpr int64_t kMemoryAhead = int64_t{64} << 20;
  static constexpr size_t kItemsAhead = 64;
  static constexpr int64_t kBytesAhead = int64_t{8} << 20;
  // The workers' copies of the items are made this many at a time, on the writer's thread.
  static constexpr size_t kPrepareBatch = 128;

  // Starts threads workers on items, which must be items of archive to insert from files, in the
  // order the writer will take them. archive must not change its settings until Stop.
  SaveAhead(const ZipArchive& archive, const std::vector<ZipItem*>& items, int threads);
  ~SaveAhead();
  SaveAhead(const SaveAhead&) = delete;
  SaveAhead& operator=(const SaveAhead&) = delete;

  // The next item in order: null when no worker had begun it (it is then the caller's to
  // compress), else its result once it is ready. While it is not, the caller compresses later
  // items ahead as a worker would.
  std::unique_ptr<ItemAhead> Take();
  // Stops the workers (one in the middle of an item stops at its next progress report), waits for
  // them and frees whatever they made, work files included.
  void Stop();

 private:
  enum class State : uint8_t { kWaiting, kRunning, kDone, kTaken };
  struct Job {
    State state = State::kWaiting;
    int64_t bytes = 0;  // the data made, once done
    std::unique_ptr<ItemAhead> result;
  };

  void Work();
  // Begins the job at next_ when it is still waiting and compresses it, without the lock.
  void RunNext(std::unique_lock<std::mutex>& lock);
  void Compress(ItemAhead& ahead);
  // Whether a worker may begin the job at next_: within two items per worker of the writer, or,
  // while what is done and waiting stays small, within kItemsAhead (small files would otherwise
  // keep the workers waking and sleeping for each one).
  bool MayStart() const;
  // Makes the workers' copies of the items before end (the writer's thread only).
  void PrepareUpTo(size_t end);

  const ZipArchive& archive_;
  const std::vector<ZipItem*> items_;
  const bool reports_storing_;
  const size_t window_;
  std::shared_ptr<AheadBudget> budget_;
  std::mutex mutex_;
  std::condition_variable work_;  // to the workers: the writer moved on, or stop
  std::condition_variable done_;  // to the writer: a job is done
  std::vector<Job> jobs_;
  size_t prepared_ = 0;     // the jobs that have their copy of the item
  size_t next_ = 0;         // the next job a worker looks at
  size_t taken_ = 0;        // the next job the writer takes
  int64_t held_bytes_ = 0;  // the data of the jobs done and not yet taken
  int idle_workers_ = 0;
  bool writer_waiting_ = false;
  bool stopping_ = false;
  std::atomic<bool> cancelled_{false};  // read by the workers' progress reports
  std::vector<std::thread> workers_;
};

}  // namespace vz
