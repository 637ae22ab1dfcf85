// The archive file stream: plain files, sets cut at a threshold, and sets read back part by part
// through the image request hook.
#include "archive/span_stream.h"

#include <gtest/gtest.h>

#include <map>

#include "errors/errors.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::RandomBytes;
using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

struct Request {
  int image_number;
  std::string proposed;
};

// A hook that accepts every proposed name and records the requests.
RequestImageEvent Accepting(std::vector<Request>& log) {
  return [&log](void*, int number, std::string& name, bool&) { log.push_back({number, name}); };
}

template <typename Error>
void ExpectError(const std::function<void()>& action, const std::string& message, int code) {
  try {
    action();
    FAIL() << "expected " << message;
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), message);
    EXPECT_EQ(e.ErrorCode(), code);
  }
}

TEST(SpanStreamTest, RefusesRelativeNames) {
  // A drive is a relative name on Linux; on Windows a root without a drive is.
  const char* rooted = platform::kWindowsPaths ? "\\dir\\set.zip" : "C:\\dir\\set.zip";
  for (const char* name : {"set.zip", "dir/set.zip", rooted}) {
    ExpectError<ArchiveError>([&] { SpanStream s(name, 0, MediaKind::kLocal, kFmCreate); },
                              "Full Path Required", 0);
  }
}

TEST(SpanStreamTest, WithoutThresholdItIsAPlainFile) {
  ScratchDir dir;
  const auto data = RandomBytes(100'000);
  {
    SpanStream s(dir / "plain.zip", 0, MediaKind::kLocal, kFmCreate);
    s.OnRequestImage = [](void*, int, std::string&, bool&) { FAIL() << "no part was needed"; };
    s.WriteBuffer(data);
    EXPECT_TRUE(s.Writing());
    EXPECT_EQ(s.Size(), 100'000);
    EXPECT_EQ(s.Seek(0, kSeekBegin), 100'000);  // writing: seeks keep the position
  }
  EXPECT_EQ(ReadFile(dir / "plain.zip"), data);
  SpanStream r(dir / "plain.zip", 0, MediaKind::kLocal, kFmOpenRead | kFmShareDenyWrite);
  EXPECT_FALSE(r.Writing());
  std::vector<uint8_t> back(data.size());
  r.ReadBuffer(back);
  EXPECT_EQ(back, data);
  EXPECT_EQ(r.Write(data), 0);  // reading: writes take nothing
  EXPECT_THROW(SpanStream(dir / "missing.zip", 0, MediaKind::kLocal, kFmOpenRead), FileOpenError);
}

// Writes data to a set at threshold 1000 in chunks of chunk bytes; returns the hook's requests.
std::vector<Request> WriteSet(const ScratchDir& dir, const std::vector<uint8_t>& data,
                              size_t chunk) {
  std::vector<Request> log;
  SpanStream s(dir / "set.zip", 1000, MediaKind::kLocal, kFmCreate);
  s.OnRequestImage = Accepting(log);
  for (size_t at = 0; at < data.size(); at += chunk) {
    s.WriteBuffer({data.data() + at, std::min(chunk, data.size() - at)});
  }
  EXPECT_EQ(s.SpanNumber(), 2);
  EXPECT_EQ(s.ImageName(), dir / "set.z03");
  EXPECT_EQ(s.BytesWritten(), 500);
  return log;
}

TEST(SpanStreamTest, ThresholdCutsTheSetIntoParts) {
  const auto data = RandomBytes(2500);
  for (const size_t chunk : {size_t{2500}, size_t{7}, size_t{1000}}) {
    ScratchDir dir;
    const auto log = WriteSet(dir, data, chunk);
    ASSERT_EQ(log.size(), 2u) << chunk;
    EXPECT_EQ(log[0].image_number, 1);
    EXPECT_EQ(log[0].proposed, dir / "set.z02");
    EXPECT_EQ(log[1].image_number, 2);
    EXPECT_EQ(log[1].proposed, dir / "set.z03");
    const auto a = ReadFile(dir / "set.zip");
    const auto b = ReadFile(dir / "set.z02");
    const auto c = ReadFile(dir / "set.z03");
    ASSERT_EQ(a.size(), 1000u) << chunk;
    ASSERT_EQ(b.size(), 1000u) << chunk;
    ASSERT_EQ(c.size(), 500u) << chunk;
    std::vector<uint8_t> joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    joined.insert(joined.end(), c.begin(), c.end());
    EXPECT_EQ(joined, data) << chunk;
  }
}

TEST(SpanStreamTest, RemovableMediaProposeTheSameNameWithTheNextDiskNumber) {
  ScratchDir dir;
  std::vector<Request> log;
  int disk = 1;
  SpanStream s(dir / "a.zip", 1000, MediaKind::kRemovable, kFmCreate);
  s.OnRequestImage = [&](void*, int number, std::string& name, bool&) {
    log.push_back({number, name});
    name = dir / ("disk" + std::to_string(++disk) + ".zip");
  };
  s.WriteBuffer(RandomBytes(2500));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].image_number, 2);
  EXPECT_EQ(log[0].proposed, dir / "a.zip");
  EXPECT_EQ(log[1].image_number, 3);
  EXPECT_EQ(log[1].proposed, dir / "disk2.zip");
  EXPECT_EQ(ReadFile(dir / "a.zip").size(), 1000u);
  EXPECT_EQ(ReadFile(dir / "disk2.zip").size(), 1000u);
  EXPECT_EQ(ReadFile(dir / "disk3.zip").size(), 500u);
}

TEST(SpanStreamTest, PartRequestsThatFailWhileWriting) {
  ScratchDir dir;
  const auto data = RandomBytes(1500);
  {
    SpanStream s(dir / "nohook.zip", 1000, MediaKind::kLocal, kFmCreate);
    ExpectError<ZipStreamFullError>([&] { s.Write(data); }, "Stream write error", 18);
  }
  {
    SpanStream s(dir / "abort.zip", 1000, MediaKind::kLocal, kFmCreate);
    s.OnRequestImage = [](void*, int, std::string&, bool& abort) { abort = true; };
    ExpectError<UserAbortError>([&] { s.Write(data); }, MessageText(9), 9);
    EXPECT_TRUE(s.Cancelled());
    EXPECT_EQ(s.Write(data), 0);  // no part is open any more
  }
  {
    // A name already used by the set is asked again rather than overwritten.
    std::vector<std::string> answers = {dir / "reuse.zip", dir / "reuse.zip", dir / "reuse.2"};
    size_t asked = 0;
    SpanStream s(dir / "reuse.zip", 1000, MediaKind::kLocal, kFmCreate);
    s.OnRequestImage = [&](void*, int, std::string& name, bool&) { name = answers[asked++]; };
    s.WriteBuffer(data);
    EXPECT_EQ(asked, 3u);
    EXPECT_EQ(ReadFile(dir / "reuse.zip"), std::vector<uint8_t>(data.begin(), data.begin() + 1000));
    EXPECT_EQ(ReadFile(dir / "reuse.2").size(), 500u);
  }
  {
    // A hook that never gives a usable name does not hang the save.
    SpanStream s(dir / "stuck.zip", 1000, MediaKind::kLocal, kFmCreate);
    int asked = 0;
    s.OnRequestImage = [&](void*, int, std::string& name, bool&) {
      ++asked;
      name.clear();
    };
    EXPECT_THROW(s.Write(data), ZipStreamFullError);
    EXPECT_EQ(asked, 100);
  }
}

TEST(SpanStreamTest, WriteProgressAndItsAbort) {
  ScratchDir dir;
  SpanStream s(dir / "p.zip", 0, MediaKind::kLocal, kFmCreate);
  s.SetTotalSize(4000);
  std::vector<int> seen;
  bool stop = false;
  s.OnWriteProgress = [&](uint8_t progress, bool& abort) {
    seen.push_back(progress);
    abort = stop;
  };
  const auto data = RandomBytes(1000);
  for (int i = 0; i < 4; ++i) s.WriteBuffer(data);
  EXPECT_EQ(seen, (std::vector<int>{25, 50, 75, 100}));
  stop = true;
  EXPECT_THROW(s.WriteBuffer(data), StreamWriteError);
  EXPECT_EQ(s.TotalWritten(), 5000);
}

// A set of three parts on disk, read back through the hook.
class SpanReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = RandomBytes(2500, 3);
    WriteSet(dir_, data_, 2500);
    parts_ = {{0, dir_ / "set.zip"}, {1, dir_ / "set.z02"}, {2, dir_ / "set.z03"}};
  }
  std::unique_ptr<SpanStream> Open() {
    auto s = std::make_unique<SpanStream>(dir_ / "set.zip", 0, MediaKind::kLocal,
                                          kFmOpenRead | kFmShareDenyWrite);
    s->OnRequestImage = [this](void*, int number, std::string& name, bool&) {
      requests_.push_back(number);
      name = parts_.count(number) != 0 ? parts_[number] : dir_ / "set.missing";
    };
    return s;
  }
  std::vector<uint8_t> Take(SpanStream& s, size_t n) {
    std::vector<uint8_t> out(n);
    out.resize(static_cast<size_t>(s.Read(out)));
    return out;
  }
  std::vector<uint8_t> Slice(size_t at, size_t n) {
    return {data_.begin() + static_cast<ptrdiff_t>(at),
            data_.begin() + static_cast<ptrdiff_t>(at + n)};
  }

  ScratchDir dir_;
  std::vector<uint8_t> data_;
  std::map<int, std::string> parts_;
  std::vector<int> requests_;
};

TEST_F(SpanReadTest, ReadsTheWholeSetPartByPart) {
  auto s = Open();
  std::vector<uint8_t> all;
  std::vector<uint8_t> chunk(300);
  // The reader knows how much it wants: the set's 2500 bytes, in reads of at most 300.
  while (all.size() < data_.size()) {
    const int64_t n = s->Read(chunk);
    ASSERT_GT(n, 0) << all.size();
    EXPECT_LE(n, 300);
    all.insert(all.end(), chunk.begin(), chunk.begin() + n);
  }
  EXPECT_EQ(all, data_);
  EXPECT_TRUE(s->SwitchedWhileReading());
  EXPECT_EQ(s->SpanNumber(), 2);
  EXPECT_EQ(requests_, (std::vector<int>{1, 2}));
  // Reading on asks for a fourth part, which does not exist.
  EXPECT_THROW(s->Read(chunk), FileNotFoundError);
}

TEST_F(SpanReadTest, OneReadNeverCrossesIntoTheNextPart) {
  auto s = Open();
  EXPECT_EQ(Take(*s, 1500), Slice(0, 1000));
  EXPECT_FALSE(s->SwitchedWhileReading());
  EXPECT_EQ(Take(*s, 1500), Slice(1000, 1000));
  EXPECT_TRUE(s->SwitchedWhileReading());
  EXPECT_EQ(s->ImageName(), dir_ / "set.z02");
  EXPECT_EQ(requests_, (std::vector<int>{1}));
}

TEST_F(SpanReadTest, SuspendedSwitchingStaysInThePart) {
  auto s = Open();
  s->SetSwitchingSuspended(true);
  s->Seek(900, kSeekBegin);
  EXPECT_EQ(Take(*s, 500), Slice(900, 100));
  EXPECT_EQ(Take(*s, 500).size(), 0u);
  EXPECT_EQ(s->Seek(5000, kSeekBegin), 1000);  // limited to the part
  EXPECT_EQ(s->Seek(-5000, kSeekCurrent), 0);
  EXPECT_TRUE(requests_.empty());
  EXPECT_FALSE(s->SwitchedWhileReading());
}

TEST_F(SpanReadTest, MissingPartIsFileNotFound) {
  parts_.erase(2);
  auto s = Open();
  Take(*s, 1000);
  Take(*s, 1000);
  ExpectError<FileNotFoundError>([&] { Take(*s, 1000); },
                                 "File not found: the set's part \"set.missing\"", 25);
  EXPECT_EQ(Take(*s, 10).size(), 0u);  // no part open; never a crash
  EXPECT_EQ(s->Seek(0, kSeekBegin), 0);
}

TEST_F(SpanReadTest, AbortedPartRequestIsUserAbort) {
  auto s = Open();
  s->OnRequestImage = [](void*, int, std::string&, bool& abort) { abort = true; };
  Take(*s, 1000);
  EXPECT_THROW(Take(*s, 1), UserAbortError);
  EXPECT_TRUE(s->Cancelled());
}

TEST_F(SpanReadTest, SeeksBeyondAPartMoveToItsNeighbours) {
  auto s = Open();
  EXPECT_EQ(s->Seek(1500, kSeekBegin), 500);  // into the second part
  EXPECT_EQ(s->ImageName(), dir_ / "set.z02");
  EXPECT_EQ(Take(*s, 10), Slice(1500, 10));
  EXPECT_EQ(s->Seek(-600, kSeekCurrent), 910);  // back into the first part
  EXPECT_EQ(s->SpanNumber(), 0);
  EXPECT_EQ(Take(*s, 10), Slice(910, 10));
  EXPECT_EQ(s->Seek(1200, kSeekCurrent), 120);  // two parts on
  EXPECT_EQ(s->SpanNumber(), 2);
  EXPECT_EQ(Take(*s, 10), Slice(2120, 10));
  EXPECT_EQ(s->Seek(-3000, kSeekCurrent), 0);  // before the set's start: its first byte
  EXPECT_EQ(s->SpanNumber(), 0);
  EXPECT_EQ(s->Seek(-1, kSeekBegin), 0);  // already in the first part: the position stays
  EXPECT_EQ(requests_, (std::vector<int>{1, 0, 1, 2, 1, 0}));

  s->OnRequestImage = nullptr;
  s->Seek(100, kSeekBegin);
  EXPECT_EQ(s->Seek(5000, kSeekBegin), 100);  // without a hook the position stays
}

TEST_F(SpanReadTest, SetSizeZeroTruncatesThePart) {
  SpanStream s(dir_ / "set.z03", 0, MediaKind::kLocal, kFmOpenReadWrite);
  s.SetSize(200);
  EXPECT_EQ(s.Size(), 200);
  s.SetSize(0);
  EXPECT_EQ(s.Size(), 0);
}

// Parts larger than the stream's read buffer: reads and seeks back and forth, within the buffer,
// across its refills and across parts, give the set's bytes at the expected places.
TEST(SpanStreamTest, BufferedReadsFollowSeeksAcrossPartsAndRefills) {
  ScratchDir dir;
  const auto data = RandomBytes(280'000);
  const int64_t starts[] = {0, 100'000, 250'000, 280'000};
  const std::map<int, std::string> parts = {
      {0, dir / "set.zip"}, {1, dir / "set.z02"}, {2, dir / "set.z03"}};
  for (const auto& [number, name] : parts) {
    WriteFile(name, std::vector<uint8_t>(data.begin() + starts[number],
                                         data.begin() + starts[number + 1]));
  }
  SpanStream s(dir / "set.zip", 0, MediaKind::kLocal, kFmOpenRead | kFmShareDenyWrite);
  s.OnRequestImage = [&](void*, int number, std::string& name, bool&) { name = parts.at(number); };
  struct Step {
    int origin;
    int64_t offset;
    int64_t position;  // what the seek returns
    size_t read;
    int part;      // the part read from
    int64_t from;  // where in it
    size_t got;
  };
  const Step steps[] = {
      {kSeekBegin, 0, 0, 10, 0, 0, 10},
      {kSeekCurrent, 5, 15, 100, 0, 15, 100},            // inside the buffer
      {kSeekBegin, 99'990, 99'990, 100, 0, 99'990, 10},  // a read stops at the part's end
      {kSeekCurrent, 0, 100'000, 70'000, 1, 0, 70'000},  // at the end: the next part, one read
      {kSeekCurrent, -70'010, 99'990, 5, 0, 99'990, 5},  // back into the first part
      {kSeekBegin, 1'000, 1'000, 3'000, 0, 1'000, 3'000},
      {kSeekCurrent, 150'000, 54'000, 100, 1, 54'000, 100},  // on into the second part
      {kSeekCurrent, 100'000, 4'100, 30'000, 2, 4'100, 25'900},
      {kSeekEnd, -10, 29'990, 100, 2, 29'990, 10},
      {kSeekBegin, -1, 149'999, 1, 1, 149'999, 1},  // before the part: the previous one's end
      {kSeekBegin, 1'000, 1'000, 10, 1, 1'000, 10},
      {kSeekCurrent, 65'520, 66'530, 20, 1, 66'530, 20},  // across the buffer's refill
      {kSeekCurrent, -40, 66'510, 10, 1, 66'510, 10},
      {kSeekBegin, 0, 0, 200'000, 1, 0, 150'000},
  };
  for (const Step& step : steps) {
    const std::string label = std::to_string(step.offset) + " from " + std::to_string(step.origin);
    EXPECT_EQ(s.Seek(step.offset, step.origin), step.position) << label;
    std::vector<uint8_t> got(step.read);
    got.resize(static_cast<size_t>(s.Read(got)));
    EXPECT_EQ(s.SpanNumber(), step.part) << label;
    const auto at = data.begin() + starts[step.part] + step.from;
    EXPECT_EQ(got, std::vector<uint8_t>(at, at + static_cast<ptrdiff_t>(step.got))) << label;
  }
}

}  // namespace
}  // namespace vz
