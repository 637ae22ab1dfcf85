// Round trips of the encoder through our own decoder: the only check for Deflate64 output, which
// zlib cannot read, and for encrypted output end to end.
#include <gtest/gtest.h>

#include <string>

#include "codec/deflate.h"
#include "codec/inflate.h"
#include "corpus.h"
#include "platform/memory_stream.h"

namespace vz {
namespace {

using testing::CorpusKind;
using testing::MakeCorpus;

struct RoundTrip {
  bool ok = false;
  std::vector<uint8_t> compressed;
};

// Compresses with the given options and inflates with the same Deflate64, checksum and password
// settings; checks the results of both runs.
void ExpectRoundTrip(const std::vector<uint8_t>& data, DeflateHelper options,
                     const std::string& what) {
  MemoryStream source(data);
  MemoryStream packed;
  const uint32_t crc = Deflate(&source, &packed, &options);
  EXPECT_EQ(crc, Crc32Of(data)) << what;
  EXPECT_EQ(options.UncompressedBytes(), static_cast<int32_t>(data.size())) << what;
  ASSERT_EQ(options.CompressedBytes(), static_cast<int32_t>(packed.Data().size())) << what;

  DeflateHelper inflate_options;
  inflate_options.SetOptions(options.Options() & (dfoDeflate64 | dfoAdler32));
  inflate_options.SetCryptPassword(options.CryptPassword());
  inflate_options.SetCryptCheck(options.CryptCheck());
  packed.SetPosition(0);
  MemoryStream unpacked;
  const uint32_t back_crc = Inflate(&packed, &unpacked, &inflate_options);
  EXPECT_EQ(back_crc, crc) << what;
  ASSERT_EQ(unpacked.Data().size(), data.size()) << what;
  EXPECT_TRUE(unpacked.Data() == data) << what;
  EXPECT_EQ(inflate_options.CompressedBytes(), options.CompressedBytes()) << what;
}

struct Setting {
  const char* name;
  char preset;
};
const Setting kSettings[] = {{"stored", '0'}, {"normal", 'n'},    {"maximum", 'x'},
                             {"fast", 'f'},   {"superfast", 's'}, {"defaults", 0}};

TEST(DeflateInflateTest, PresetsWithAndWithoutDeflate64AndPassword) {
  const CorpusKind kinds[] = {CorpusKind::kText, CorpusKind::kBinary, CorpusKind::kRandom,
                              CorpusKind::kRepetitive, CorpusKind::kPattern};
  for (const Setting& s : kSettings) {
    for (bool deflate64 : {false, true}) {
      for (bool password : {false, true}) {
        for (CorpusKind kind : kinds) {
          for (size_t size : {0u, 1u, 70000u}) {
            DeflateHelper h;
            if (s.preset != 0) {
              h.SetPresetCode('0');
              h.SetPresetCode(s.preset);
            }
            if (deflate64) h.SetOptions(h.Options() | dfoDeflate64);
            const auto data = MakeCorpus(kind, size);
            if (password) {
              h.SetCryptPassword("secret");
              h.SetCryptCheck(static_cast<int32_t>(Crc32Of(data)));
            }
            ExpectRoundTrip(data, h,
                            std::string(s.name) + (deflate64 ? "/64" : "") +
                                (password ? "/password/" : "/") + testing::CorpusName(kind) + "/" +
                                std::to_string(size));
          }
        }
      }
    }
  }
}

TEST(DeflateInflateTest, EveryBlockTypeCombinationInDeflate64) {
  for (uint32_t options = 1; options < 16; ++options) {
    if ((options & 7) == 0) continue;
    for (CorpusKind kind : {CorpusKind::kText, CorpusKind::kRandom, CorpusKind::kRepetitive}) {
      DeflateHelper h;
      h.SetOptions(options | dfoDeflate64);
      ExpectRoundTrip(MakeCorpus(kind, 100000, options), h,
                      "options " + std::to_string(options) + "/" + testing::CorpusName(kind));
    }
  }
}

// Deflate64's long matches (up to 65,536 bytes, coded with 16 extra bits) and its 64 KiB window,
// on inputs that cross the window buffer (65536 + 16384 + 65536 bytes) several times.
TEST(DeflateInflateTest, Deflate64LongMatchesAndWideWindow) {
  auto wide = MakeCorpus(CorpusKind::kRandom, 60000, 3);
  const auto tail = MakeCorpus(CorpusKind::kText, 200000, 4);
  wide.insert(wide.end(), wide.begin(), wide.begin() + 50000);  // a match 60,000 bytes back
  wide.insert(wide.end(), tail.begin(), tail.end());
  const struct {
    const char* name;
    std::vector<uint8_t> data;
  } cases[] = {
      {"one long run", std::vector<uint8_t>(400000, 'r')},
      {"wide window", wide},
      {"run sizes", MakeCorpus(CorpusKind::kRepetitive, 147457)},
      {"pattern", MakeCorpus(CorpusKind::kPattern, 300000)},
  };
  for (const auto& c : cases) {
    for (char preset : {'n', 'x'}) {
      DeflateHelper h;
      h.SetPresetCode(preset);
      h.SetOptions(h.Options() | dfoDeflate64);
      h.SetSlidingWindowSize(65536);
      h.SetSufficientLength(-1);
      h.SetLazyLimit(-1);
      ExpectRoundTrip(c.data, h, std::string(c.name) + "/" + preset);
    }
  }
  // Matches of up to 65,536 bytes: a long run takes a handful of tokens.
  DeflateHelper runs;
  runs.SetOptions(15 | dfoDeflate64);
  runs.SetSufficientLength(-1);
  MemoryStream run_source(std::vector<uint8_t>(400000, 'r')), run_out;
  Deflate(&run_source, &run_out, &runs);
  EXPECT_LT(run_out.Data().size(), 40u);
  // The wide window finds the copy 60,000 bytes back; a 32 KiB window cannot.
  DeflateHelper wide64;
  wide64.SetOptions(15 | dfoDeflate64);
  wide64.SetSlidingWindowSize(65536);
  DeflateHelper narrow;
  narrow.SetOptions(15 | dfoDeflate64);
  const std::vector<uint8_t> head(wide.begin(), wide.begin() + 110000);
  MemoryStream a(head), b(head), out_a, out_b;
  Deflate(&a, &out_a, &wide64);
  Deflate(&b, &out_b, &narrow);
  EXPECT_LT(out_a.Data().size() + 40000, out_b.Data().size());
}

}  // namespace
}  // namespace vz
