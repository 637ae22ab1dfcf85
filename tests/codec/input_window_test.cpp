#include "codec/input_window.h"

#include <gtest/gtest.h>

#include "codec/deflate_base.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"

namespace vz {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

TEST(InputWindowTest, ShortSources) {
  struct Case {
    std::string data;
    bool use_crc;
    int32_t look_ahead;
    uint32_t checksum;
  };
  const Case cases[] = {
      {"", true, 0, 0},
      {"", false, 0, 1},
      {"ab", true, 2, Crc32Of(Bytes("ab"))},
      {"abcd", true, 3, Crc32Of(Bytes("abcd"))},
  };
  for (const Case& c : cases) {
    MemoryStream source(Bytes(c.data));
    DfInputWindow w(source, 0, 32768, 32, false, c.use_crc);
    EXPECT_FALSE(w.MoreInput());
    EXPECT_EQ(w.LookAheadCount(), c.look_ahead) << c.data;
    EXPECT_EQ(w.DataChecksum(), c.checksum) << c.data;
  }
}

TEST(InputWindowTest, RunOfEqualBytesMatchesAtDistanceOne) {
  MemoryStream source(std::vector<uint8_t>(300, 'q'));
  DfInputWindow w(source, 0, 32768, 32, false, true);
  DfMatch m;
  EXPECT_FALSE(w.SearchMatch(258, m, 0));
  EXPECT_EQ(m.FirstByte, 'q');
  w.StepOne();
  ASSERT_TRUE(w.SearchMatch(258, m, 0));
  EXPECT_EQ(m.Length, 258);
  EXPECT_EQ(m.Distance, 1);
}

// "abcdefgh" at 0, then at 100 and 200 with varying tails: the candidates of position 300 are
// 200, 100 and 0, newest first.
std::vector<uint8_t> ThreeCopies(int len0, int len1, int len2) {
  std::vector<uint8_t> d(400, 0);
  for (int i = 0; i < 400; ++i) d[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + 13);
  const std::string probe = "abcdefghij";
  auto place = [&](int at, int len) {
    for (int i = 0; i < len; ++i) d[static_cast<size_t>(at + i)] = static_cast<uint8_t>(probe[i]);
  };
  place(0, len0);
  place(100, len1);
  place(200, len2);
  place(300, 10);
  return d;
}

TEST(InputWindowTest, SearchRules) {
  struct Case {
    const char* name;
    int len0, len1, len2;
    int32_t sufficient, chain, pending;
    bool found;
    int32_t length, distance;
  };
  const Case cases[] = {
      {"longest wins", 5, 7, 4, 258, 32, 0, true, 7, 200},
      {"nearest wins a tie", 6, 6, 6, 258, 32, 0, true, 6, 100},
      {"three bytes are a match", 3, 3, 3, 258, 32, 0, true, 3, 100},
      {"sufficient length stops the walk", 9, 8, 5, 5, 32, 0, true, 5, 100},
      {"pending of equal length is not beaten", 5, 5, 5, 258, 32, 5, false, 0, 0},
      {"pending is beaten by a longer match", 5, 6, 5, 258, 32, 5, true, 6, 200},
      // Chain limit 4 with the pending length at the sufficient one: one candidate only.
      {"quarter chain", 9, 9, 4, 4, 4, 4, false, 0, 0},
      {"full chain", 9, 9, 4, 5, 4, 4, true, 9, 200},
  };
  for (const Case& c : cases) {
    MemoryStream source(ThreeCopies(c.len0, c.len1, c.len2));
    DfInputWindow w(source, 0, 32768, c.chain, false, true);
    w.Advance(300, 300);
    DfMatch m;
    EXPECT_EQ(w.SearchMatch(c.sufficient, m, c.pending), c.found) << c.name;
    EXPECT_EQ(m.Length, c.length) << c.name;
    if (c.found) {
      EXPECT_EQ(m.Distance, c.distance) << c.name;
    }
    EXPECT_EQ(m.FirstByte, 'a') << c.name;
  }
}

TEST(InputWindowTest, CandidatesOutsideTheWindowAreNotFollowed) {
  // A 1 KiB window: the copy 2000 bytes back is out of reach, the one 1000 bytes back is not.
  auto data = testing::MakeCorpus(testing::CorpusKind::kRandom, 5000);
  std::copy(data.begin() + 100, data.begin() + 120, data.begin() + 4100);
  std::copy(data.begin() + 3100, data.begin() + 3110, data.begin() + 4100);
  MemoryStream source(data);
  DfInputWindow w(source, 0, 1024, 4096, false, true);
  w.Advance(4100, 4100);
  DfMatch m;
  ASSERT_TRUE(w.SearchMatch(258, m, 0));
  EXPECT_EQ(m.Distance, 1000);
  EXPECT_EQ(m.Length, 10);
}

// The candidate exactly one window back shares its chain slot with the position being searched.
// With no effective chain limit the walk must still end once the window's candidates are seen.
TEST(InputWindowTest, WalkEndsAtTheOldestCandidate) {
  auto data = testing::MakeCorpus(testing::CorpusKind::kRandom, 600);
  std::copy(data.begin(), data.begin() + 256, data.begin() + 256);
  data[266] ^= 0xFF;  // the copy one window back matches 10 bytes
  MemoryStream source(data);
  DfInputWindow w(source, 0, 256, 1 << 24, false, true);
  w.Advance(256, 256);
  DfMatch m;
  ASSERT_TRUE(w.SearchMatch(258, m, 0));
  EXPECT_EQ(m.Length, 10);
  EXPECT_EQ(m.Distance, 256);
  EXPECT_LE(w.LastWalkSteps(), 256);
}

TEST(InputWindowTest, AdvanceGuardsItsArguments) {
  MemoryStream source(std::vector<uint8_t>(10, 1));
  DfInputWindow w(source, 0, 32768, 32, false, true);
  EXPECT_THROW(w.Advance(11, 11), AssertionError);
  EXPECT_THROW(w.Advance(5, 3), AssertionError);
  w.Advance(8, 8);
  EXPECT_EQ(w.LookAheadCount(), 2);
  EXPECT_EQ(w.TakeByte(), 1);
  EXPECT_EQ(w.InputPosition(), 9);
}

TEST(InputWindowTest, ProgressLandsOnMultiplesOf4096) {
  MemoryStream source(std::vector<uint8_t>(10000, 5));
  std::vector<int32_t> seen;
  DfInputWindow stepping(source, 10000, 32768, 32, false, true);
  stepping.SetOnPercentDone([&seen](int32_t p) { seen.push_back(p); });
  for (int i = 0; i < 4096; ++i) stepping.StepOne();
  EXPECT_EQ(seen, std::vector<int32_t>{41});  // 40.96 rounded
  seen.clear();
  source.SetPosition(0);
  DfInputWindow jumping(source, 10000, 32768, 32, false, true);
  jumping.SetOnPercentDone([&seen](int32_t p) { seen.push_back(p); });
  for (int i = 0; i < 4090; ++i) jumping.StepOne();
  jumping.Advance(10, 10);  // 4090 -> 4100 steps over 4096: no call
  EXPECT_TRUE(seen.empty());
}

// A source read in many refills (and, with a low rebase threshold, with rebased tables): the
// checksum covers every byte and the matches found are real.
TEST(InputWindowTest, LongSourcesAreReadWholeAndMatchesStayTrue) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kText, 300000);
  for (int32_t threshold : {1 << 30, 70000}) {
    DfInputWindow::SetRebaseThresholdForTesting(threshold);
    MemoryStream source(data);
    DfInputWindow w(source, 0, 32768, 64, false, true);
    DfMatch m;
    int64_t matches = 0;
    while (w.LookAheadCount() == 3) {
      const int64_t p = w.InputPosition();
      if (w.SearchMatch(32, m, 0)) {
        ++matches;
        ASSERT_LE(m.Distance, 32768);
        ASSERT_TRUE(std::equal(data.begin() + p, data.begin() + p + m.Length,
                               data.begin() + (p - m.Distance)))
            << p;
        w.Advance(m.Length, m.Length - 1);
      } else {
        w.StepOne();
      }
    }
    EXPECT_GT(matches, 10000);
    EXPECT_EQ(w.DataChecksum(), Crc32Of(data));
  }
  DfInputWindow::SetRebaseThresholdForTesting(1 << 30);
}

TEST(InputWindowTest, SourceBytesAreReadFromTheRunsStart) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kRandom, 1000);
  MemoryStream source(data);
  source.SetPosition(100);
  DfInputWindow w(source, 0, 32768, 32, false, true);
  const int64_t after = source.Position();
  uint8_t buf[10];
  w.ReadSourceBytes(buf, 10, 0);
  EXPECT_TRUE(std::equal(buf, buf + 10, data.begin() + 100));
  EXPECT_EQ(source.Position(), after);
  EXPECT_THROW(w.ReadSourceBytes(buf, 10, 895), StreamReadError);
}

}  // namespace
}  // namespace vz
