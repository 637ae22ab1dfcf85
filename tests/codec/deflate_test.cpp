#include "codec/deflate.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "codec/scratch.h"
#include "corpus.h"
#include "platform/memory_stream.h"
#include "platform/runtime_errors.h"

namespace vz {
namespace {

using testing::CorpusKind;
using testing::MakeCorpus;

struct Compressed {
  std::vector<uint8_t> bytes;
  uint32_t checksum = 0;
  int32_t compressed_bytes = 0;
  int32_t uncompressed_bytes = 0;
};

Compressed Compress(const std::vector<uint8_t>& data, DeflateHelper* helper) {
  MemoryStream source(data);
  MemoryStream dest;
  Compressed c;
  c.checksum = Deflate(&source, &dest, helper);
  c.bytes = dest.Data();
  if (helper != nullptr) {
    c.compressed_bytes = helper->CompressedBytes();
    c.uncompressed_bytes = helper->UncompressedBytes();
  }
  return c;
}

// The settings under test: the presets as item compression applies them ('0' first, then the
// option's code) and the defaults of a fresh options object.
struct Setting {
  const char* name;
  char preset;  // 0 = a fresh options object
  uint32_t options;
  int32_t sufficient, chain, lazy;
};
const Setting kSettings[] = {
    {"defaults", 0, 15, 8, 32, 16},  {"stored", '0', 1, 8, 32, 16},
    {"normal", 'n', 15, 16, 32, 24}, {"maximum", 'x', 15, 64, 4096, 258},
    {"fast", 'f', 7, 4, 32, 6},      {"superfast", 's', 7, 4, 4, 4},
};

DeflateHelper MakeHelper(const Setting& s) {
  DeflateHelper h;
  if (s.preset != 0) {
    h.SetPresetCode('0');
    h.SetPresetCode(s.preset);
  }
  return h;
}

void ExpectZlibRoundTrip(const std::vector<uint8_t>& data, const Compressed& c,
                         const std::string& what) {
  bool ok = false;
  const auto back = testing::ZlibInflateRaw(c.bytes, ok);
  ASSERT_TRUE(ok) << what;
  ASSERT_EQ(back.size(), data.size()) << what;
  EXPECT_TRUE(back == data) << what;
  EXPECT_EQ(c.checksum, Crc32Of(data)) << what;
  EXPECT_EQ(c.compressed_bytes, static_cast<int32_t>(c.bytes.size())) << what;
  EXPECT_EQ(c.uncompressed_bytes, static_cast<int32_t>(data.size())) << what;
}

// Each option has a row of its own that sets what the preset route ('0', then the option's code)
// set, so the pinned outputs still hold; and the options order by size as their names promise.
TEST(DeflateTest, DeflationOptionsTakeTheirRowsAndOrderBySize) {
  const ZipDeflationOption options[] = {doMaximum, doNormal, doFast, doSuperFast};
  std::set<char> codes;
  for (ZipDeflationOption option : options) {
    const DeflationSettings& row = DeflationSettingsOf(option);
    EXPECT_EQ(row.option, option);
    codes.insert(row.preset_code);
    DeflateHelper by_option;
    by_option.UseDeflationOption(option);
    DeflateHelper by_preset;
    by_preset.SetPresetCode('0');
    by_preset.SetPresetCode(row.preset_code);
    EXPECT_EQ(by_option.Options(), by_preset.Options()) << row.preset_code;
    EXPECT_EQ(by_option.SufficientLength(), by_preset.SufficientLength()) << row.preset_code;
    EXPECT_EQ(by_option.ChainLimit(), by_preset.ChainLimit()) << row.preset_code;
    EXPECT_EQ(by_option.LazyLimit(), by_preset.LazyLimit()) << row.preset_code;
    EXPECT_EQ(by_option.PresetCode(), row.preset_code);
  }
  EXPECT_EQ(codes.size(), std::size(options));
  EXPECT_EQ(DeflationSettingsOf(static_cast<ZipDeflationOption>(9)).preset_code, '0');

  for (CorpusKind kind : {CorpusKind::kText, CorpusKind::kBinary}) {
    const auto data = MakeCorpus(kind, 200000);
    size_t previous = 0;
    for (ZipDeflationOption option : options) {
      DeflateHelper h;
      h.UseDeflationOption(option);
      const size_t size = Compress(data, &h).bytes.size();
      EXPECT_GE(size, previous) << testing::CorpusName(kind) << " option " << int{option};
      previous = size;
    }
  }
}

TEST(DeflateTest, PresetsRoundTripThroughZlibOnEveryKindOfData) {
  const CorpusKind kinds[] = {CorpusKind::kText, CorpusKind::kBinary, CorpusKind::kRandom,
                              CorpusKind::kRepetitive, CorpusKind::kPattern};
  for (const Setting& s : kSettings) {
    DeflateHelper probe = MakeHelper(s);
    ASSERT_EQ(probe.Options(), s.options) << s.name;
    ASSERT_EQ(probe.SufficientLength(), s.sufficient) << s.name;
    ASSERT_EQ(probe.ChainLimit(), s.chain) << s.name;
    ASSERT_EQ(probe.LazyLimit(), s.lazy) << s.name;
    for (CorpusKind kind : kinds) {
      const auto data = MakeCorpus(kind, 70000);
      DeflateHelper h = MakeHelper(s);
      ExpectZlibRoundTrip(data, Compress(data, &h),
                          std::string(s.name) + "/" + testing::CorpusName(kind));
    }
    for (size_t size : {0u, 1u, 2u, 3u}) {
      const auto data = MakeCorpus(CorpusKind::kText, size);
      DeflateHelper h = MakeHelper(s);
      ExpectZlibRoundTrip(data, Compress(data, &h), std::string(s.name) + "/tiny");
    }
  }
}

TEST(DeflateTest, EveryBlockTypeCombinationRoundTrips) {
  for (uint32_t options = 1; options < 16; ++options) {
    if ((options & 7) == 0) continue;
    for (CorpusKind kind : {CorpusKind::kText, CorpusKind::kRandom, CorpusKind::kBinary}) {
      const auto data = MakeCorpus(kind, 40000, options);
      DeflateHelper h;
      h.SetOptions(options);
      ExpectZlibRoundTrip(data, Compress(data, &h),
                          "options " + std::to_string(options) + "/" + testing::CorpusName(kind));
    }
  }
}

// Sizes around every buffer of the encoder: the 16 KiB slide step and bit buffer, the 32 KiB
// window, the window buffer (window + 16384 + 258), the 65,535-byte stored piece and several
// slides.
TEST(DeflateTest, InputsCrossingEveryBufferSizeRoundTrip) {
  const size_t sizes[] = {257,   258,   259,   1023,  1024,  1025,   16383,
                          16384, 16385, 32767, 32768, 32769, 49409,  49410,
                          49411, 65535, 65536, 65537, 98304, 131073, 300000};
  for (size_t size : sizes) {
    for (CorpusKind kind : {CorpusKind::kText, CorpusKind::kPattern, CorpusKind::kRandom}) {
      for (char preset : {'n', '0', 's'}) {
        const auto data = MakeCorpus(kind, size, static_cast<uint32_t>(size));
        DeflateHelper h;
        h.SetPresetCode('0');
        h.SetPresetCode(preset);
        ExpectZlibRoundTrip(
            data, Compress(data, &h),
            std::to_string(size) + "/" + testing::CorpusName(kind) + "/" + std::string(1, preset));
      }
    }
  }
}

TEST(DeflateTest, WithoutOptionsTheDefaultsApply) {
  const auto data = MakeCorpus(CorpusKind::kText, 5000);
  DeflateHelper h;
  const Compressed with = Compress(data, &h);
  const Compressed without = Compress(data, nullptr);
  EXPECT_EQ(with.bytes, without.bytes);
  EXPECT_EQ(with.checksum, without.checksum);
}

// Outputs pinned byte for byte: the encoder's output is part of its contract.
TEST(DeflateTest, SmallOutputsArePinned) {
  struct Case {
    const char* name;
    std::vector<uint8_t> input;
    uint32_t options;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      // One final fixed-code block holding only the end-of-block code.
      {"empty", {}, 15, {0x03, 0x00}},
      // A literal 'a', then length 9 at distance 1 (fixed codes 263 and 0), then end of block.
      {"ten equal bytes", std::vector<uint8_t>(10, 'a'), 15, {0x4B, 0x84, 0x03, 0x00}},
      // A single byte: literal 'A' (fixed code 0x71) and end of block.
      {"one byte", {'A'}, 15, {0x73, 0x04, 0x00}},
      // The stored-only encoder closes an empty input with an empty final stored block.
      {"empty stored", {}, 1, {0x01, 0x00, 0x00, 0xFF, 0xFF}},
      {"two bytes stored", {'h', 'i'}, 1, {0x01, 0x02, 0x00, 0xFD, 0xFF, 'h', 'i'}},
  };
  for (const Case& c : cases) {
    DeflateHelper h;
    h.SetOptions(c.options);
    const Compressed out = Compress(c.input, &h);
    EXPECT_EQ(out.bytes, c.expected) << c.name;
  }
}

TEST(DeflateTest, StoredOnlySplitsIntoPiecesOf65535) {
  const auto data = MakeCorpus(CorpusKind::kRandom, 100000);
  DeflateHelper h;
  h.SetOptions(dfoStored);
  const Compressed c = Compress(data, &h);
  ASSERT_EQ(c.bytes.size(), 100000u + 10u);
  const uint8_t first[5] = {0, 0xFF, 0xFF, 0x00, 0x00};
  EXPECT_TRUE(std::equal(first, first + 5, c.bytes.begin()));
  const uint8_t* second = c.bytes.data() + 5 + 65535;
  EXPECT_EQ(second[0], 1);
  EXPECT_EQ(second[1] | (second[2] << 8), 34465);
  EXPECT_EQ((second[3] | (second[4] << 8)) ^ 0xFFFF, 34465);
  ExpectZlibRoundTrip(data, c, "stored 100000");
}

// A source that ends before the size it claims still gives a complete stream.
TEST(DeflateTest, StoredOnlyStopsAtAShortSource) {
  const auto data = MakeCorpus(CorpusKind::kText, 1000);
  DeflateHelper h;
  h.SetOptions(dfoStored);
  h.SetSourceSize(5000);
  int calls = 0;
  h.SetOnPercentDone([&calls](int32_t) { ++calls; });
  const Compressed c = Compress(data, &h);
  EXPECT_EQ(calls, 1);
  ExpectZlibRoundTrip(data, c, "short source");
}

TEST(DeflateTest, OnlyTheSourceFromItsPositionIsCompressed) {
  const auto data = MakeCorpus(CorpusKind::kText, 3000);
  for (uint32_t options : {1u, 15u}) {
    MemoryStream source(data);
    source.SetPosition(100);
    MemoryStream dest;
    dest.WriteBuffer(std::vector<uint8_t>(7, 0xEE));
    DeflateHelper h;
    h.SetOptions(options);
    const uint32_t crc = Deflate(&source, &dest, &h);
    const std::vector<uint8_t> tail(data.begin() + 100, data.end());
    EXPECT_EQ(crc, Crc32Of(tail));
    EXPECT_EQ(h.UncompressedBytes(), 2900);
    EXPECT_EQ(h.CompressedBytes(), static_cast<int32_t>(dest.Data().size()) - 7);
    bool ok = false;
    const auto back = testing::ZlibInflateRaw(
        std::vector<uint8_t>(dest.Data().begin() + 7, dest.Data().end()), ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(back, tail);
  }
}

TEST(DeflateTest, Adler32ReplacesCrc32OnRequest) {
  const auto data = MakeCorpus(CorpusKind::kBinary, 20000);
  for (uint32_t options : {1u | dfoAdler32, 15u | dfoAdler32}) {
    DeflateHelper h;
    h.SetOptions(options);
    EXPECT_EQ(Compress(data, &h).checksum, adler32(1, data.data(), 20000)) << options;
  }
}

// Bits of the header byte: BFINAL in bit 0, the block type in bits 1-2.
int FirstBlockType(const std::vector<uint8_t>& bytes) {
  return (bytes[0] >> 1) & 3;
}

TEST(DeflateTest, BlockTypeFollowsTheOptions) {
  const auto text = MakeCorpus(CorpusKind::kText, 20000);
  const auto random = MakeCorpus(CorpusKind::kRandom, 20000);
  struct Case {
    uint32_t options;
    const std::vector<uint8_t>* data;
    int block_type;
  };
  const Case cases[] = {
      {2, &random, 1},  // fixed codes only, even where stored would be smaller
      {4, &random, 2},  // dynamic only
      {7, &random, 0},  // free choice: stored wins on random data
      {7, &text, 2},    // free choice: dynamic wins on text
      {3, &text, 2},    // any combination of two kinds chooses freely among all three
  };
  for (const Case& c : cases) {
    DeflateHelper h;
    h.SetOptions(c.options);
    EXPECT_EQ(FirstBlockType(Compress(*c.data, &h).bytes), c.block_type) << c.options;
  }
}

TEST(DeflateTest, CallerOptionsChangeOnlyInTheirResults) {
  const auto data = MakeCorpus(CorpusKind::kText, 5000);
  DeflateHelper h;  // preset 'n' with 8/32/16: the tuning step doubles the private copy
  h.SetOptions(dfoStored | dfoStatic | dfoDynamic);  // lazy off: the private copy lowers LazyLimit
  h.SetChainLimit(-1);
  Compress(data, &h);
  EXPECT_EQ(h.LazyLimit(), 16);
  EXPECT_EQ(h.ChainLimit(), -1);
  EXPECT_EQ(h.SufficientLength(), 8);
  EXPECT_EQ(h.Options(), 7u);
}

TEST(DeflateTest, ArchivingMustBeEnabled) {
  MemoryStream source;
  MemoryStream dest;
  DeflateHelper h;
  h.SetOptions(dfoLazy);
  try {
    Deflate(&source, &dest, &h);
    FAIL();
  } catch (const AssertionError& e) {
    EXPECT_STREQ(e.what(), "Deflate: aHelper.Options must enable some kind of archiving");
  }
  EXPECT_THROW(Deflate(nullptr, &dest, nullptr), AssertionError);
  EXPECT_THROW(Deflate(&source, nullptr, nullptr), AssertionError);
}

// A destination that takes only part of what it is offered.
class RefusingStream : public MemoryStream {
 public:
  explicit RefusingStream(int64_t room) : room_(room) {}
  int64_t Write(std::span<const uint8_t> buffer) override {
    const int64_t n = std::min<int64_t>(room_, static_cast<int64_t>(buffer.size()));
    room_ -= n;
    return MemoryStream::Write(buffer.first(static_cast<size_t>(n)));
  }

 private:
  int64_t room_;
};

TEST(DeflateTest, ARefusingDestinationRaisesDeflateError) {
  const auto data = MakeCorpus(CorpusKind::kRandom, 100000);
  for (int64_t room : {0, 100, 40000}) {
    MemoryStream source(data);
    RefusingStream dest(room);
    DeflateHelper h;
    try {
      Deflate(&source, &dest, &h);
      FAIL() << room;
    } catch (const DeflateError& e) {
      EXPECT_STREQ(e.what(),
                   "Deflate error. (Internal cause: could not write to the output stream "
                   "[DfInBitStream.obsEmptyBuffer])");
    }
    EXPECT_EQ(h.CompressedBytes(), 0);  // results are not written on failure
  }
  // The stored-only encoder writes straight to the destination: its stream error passes.
  MemoryStream source(data);
  RefusingStream dest(100);
  DeflateHelper stored;
  stored.SetOptions(dfoStored);
  EXPECT_THROW(Deflate(&source, &dest, &stored), StreamWriteError);
}

TEST(DeflateTest, ProgressReachesTheCallback) {
  const auto data = MakeCorpus(CorpusKind::kText, 50000);
  for (uint32_t options : {1u, 15u}) {
    DeflateHelper h;
    h.SetOptions(options);
    h.SetSourceSize(-1);
    std::vector<int32_t> seen;
    h.SetOnPercentDone([&seen](int32_t p) { seen.push_back(p); });
    Compress(data, &h);
    ASSERT_FALSE(seen.empty()) << options;
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_LE(seen.back(), 100);
  }
}

TEST(DeflateTest, LogFileHoldsTheTwoLines) {
  testing::ScratchDir dir;
  const auto data = MakeCorpus(CorpusKind::kText, 100);
  DeflateHelper h;
  h.SetLogFileName(dir / "deflate.log");
  Compress(data, &h);
  const auto log = testing::ReadFile(dir / "deflate.log");
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "DEFLATING STREAM...\r\nNeed to recompile the app with UseLogging turned on\r\n");
}

}  // namespace
}  // namespace vz

namespace vz {
namespace {

// An encoder takes over the buffers that the previous one on its thread left, whatever their
// window size and content: each output must equal that of an encoder on a fresh thread.
TEST(DeflateTest, EncodersOneAfterAnotherOnAThreadMatchFreshOnes) {
  struct Job {
    char preset;
    bool deflate64;
    int32_t window;  // 0: the default
    CorpusKind kind;
    size_t size;
  };
  const Job jobs[] = {
      {'x', true, 0, CorpusKind::kRepetitive, 300000}, {'n', false, 0, CorpusKind::kText, 900},
      {'n', false, 256, CorpusKind::kPattern, 70000},  {'x', false, 0, CorpusKind::kBinary, 5},
      {'f', true, 0, CorpusKind::kText, 200000},       {'n', false, 0, CorpusKind::kText, 150000},
      {'s', false, 4096, CorpusKind::kRuns, 20000},    {'n', false, 0, CorpusKind::kRandom, 3000},
  };
  auto run = [](const Job& j) {
    DeflateHelper h;
    h.SetPresetCode('0');
    h.SetPresetCode(j.preset);
    if (j.deflate64) h.SetOptions(h.Options() | dfoDeflate64);
    if (j.window != 0) h.SetSlidingWindowSize(j.window);
    return Compress(MakeCorpus(j.kind, j.size, static_cast<uint32_t>(j.size)), &h).bytes;
  };
  std::vector<std::vector<uint8_t>> fresh;
  for (const Job& j : jobs) {
    std::thread([&] {
      fresh.push_back(run(j));
      ReleaseThreadScratch();  // a thread that ends gives its blocks back
    }).join();
  }
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < std::size(jobs); ++i) EXPECT_EQ(run(jobs[i]), fresh[i]) << i;
  }
}

// The CRC-32 and size of whole outputs, pinned: any change to matching, block splitting or code
// construction shows here, and a speed-up must leave these alone.
TEST(DeflateTest, OutputsOfEveryPresetArePinned) {
  struct Case {
    const char* name;
    char preset;
    CorpusKind kind;
    uint32_t crc;
    size_t size;
  };
  const Case cases[] = {
      {"normal/text", 'n', CorpusKind::kText, 0x47C96FEA, 43407},
      {"normal/binary", 'n', CorpusKind::kBinary, 0x58FD9576, 43043},
      {"maximum/text", 'x', CorpusKind::kText, 0x57DF6E07, 39003},
      {"maximum/pattern", 'x', CorpusKind::kPattern, 0xD8628DAC, 565},
      {"fast/text", 'f', CorpusKind::kText, 0xE787A02F, 48258},
      {"superfast/binary", 's', CorpusKind::kBinary, 0xE6D02950, 48850},
      {"defaults/random", '?', CorpusKind::kRandom, 0xF290BDB3, 150025},
  };
  for (const Case& c : cases) {
    DeflateHelper h;
    if (c.preset != '?') {
      h.SetPresetCode('0');
      h.SetPresetCode(c.preset);
    }
    const Compressed out = Compress(MakeCorpus(c.kind, 150000, 21), &h);
    EXPECT_EQ(Crc32Of(out.bytes), c.crc) << c.name;
    EXPECT_EQ(out.bytes.size(), c.size) << c.name;
  }
}

}  // namespace
}  // namespace vz
