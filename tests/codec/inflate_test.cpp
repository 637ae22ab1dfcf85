#include "codec/inflate.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "codec/crypt_streams.h"
#include "inflate_support.h"
#include "platform/runtime_errors.h"
#include "test_support.h"
#include "zip_oracle.h"

namespace vz {
namespace {

using testing::BitWriter;
using testing::RunInflate;

constexpr uint32_t kDeflate = 15;
constexpr uint32_t kDeflate64 = 15 | dfoDeflate64;

std::string InflateErrorText(const std::string& internal) {
  return "Inflate error, possibly a corrupted compressed stream. (Internal cause: " + internal +
         ")";
}

// The internal message of the InflateError the stream raises, or "" when it decodes.
std::string FailureOf(const std::vector<uint8_t>& stream, uint32_t options = kDeflate) {
  try {
    RunInflate(stream, options);
  } catch (const InflateError& e) {
    const std::string text = e.what();
    const std::string prefix = InflateErrorText("");
    EXPECT_EQ(text.substr(0, prefix.size() - 1), prefix.substr(0, prefix.size() - 1));
    return text.substr(prefix.size() - 1, text.size() - prefix.size());
  }
  return "";
}

// ---- Conformance with zlib -------------------------------------------------------------------

struct Corpus {
  const char* name;
  std::vector<uint8_t> data;
};

const std::vector<Corpus>& Corpora() {
  static const std::vector<Corpus> corpora = {
      {"text", testing::MakeCorpus(testing::CorpusKind::kText, 300 * 1024)},
      {"binary", testing::MakeCorpus(testing::CorpusKind::kRandom, 200 * 1024)},
      {"compressed", testing::MakeCorpus(testing::CorpusKind::kCompressed, 200 * 1024)},
      {"repetitive", testing::MakeCorpus(testing::CorpusKind::kRuns, 400 * 1024)},
  };
  return corpora;
}

TEST(InflateConformanceTest, ZlibStreamsAtEveryLevelAndStrategy) {
  const struct {
    const char* name;
    int strategy;
  } strategies[] = {{"default", Z_DEFAULT_STRATEGY},
                    {"filtered", Z_FILTERED},
                    {"huffman only", Z_HUFFMAN_ONLY},
                    {"rle", Z_RLE},
                    {"fixed", Z_FIXED}};
  for (const Corpus& corpus : Corpora()) {
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, corpus.data.data(), static_cast<uInt>(corpus.data.size())));
    for (const auto& strategy : strategies) {
      for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE(::testing::Message()
                     << corpus.name << " " << strategy.name << " level " << level);
        auto stream = testing::ZlibDeflateRaw(corpus.data, level, strategy.strategy);
        const size_t size = stream.size();
        stream.insert(stream.end(), {0xDE, 0xAD});  // trailing bytes stay unread
        const auto run = RunInflate(stream);
        ASSERT_EQ(run.output, corpus.data);
        EXPECT_EQ(run.result, crc);
        EXPECT_EQ(run.source_position, static_cast<int64_t>(size));
        EXPECT_EQ(run.compressed_bytes, static_cast<int32_t>(size));
        EXPECT_EQ(run.uncompressed_bytes, static_cast<int32_t>(corpus.data.size()));
      }
    }
  }
}

// A source that hands out a few bytes per read forces the exact path for most symbols; the
// output must not change.
class TrickleStream : public MemoryStream {
 public:
  TrickleStream(std::vector<uint8_t> data, size_t step)
      : MemoryStream(std::move(data)), step_(step) {}
  int64_t Read(std::span<uint8_t> buffer) override {
    return MemoryStream::Read(buffer.first(std::min(buffer.size(), step_)));
  }

 private:
  size_t step_;
};

TEST(InflateConformanceTest, FastAndExactPathsAgree) {
  for (const Corpus& corpus : Corpora()) {
    const std::vector<uint8_t> data(corpus.data.begin(), corpus.data.begin() + 60000);
    const auto stream = testing::ZlibDeflateRaw(data, 6);
    for (const size_t step : {1, 3, 7, 1000}) {
      SCOPED_TRACE(::testing::Message() << corpus.name << " step " << step);
      TrickleStream source(stream, step);
      MemoryStream dest;
      const uint32_t crc = Inflate(&source, &dest);
      EXPECT_EQ(dest.Data(), data);
      EXPECT_EQ(crc, Crc32Of(data));
      EXPECT_EQ(source.Position(), static_cast<int64_t>(stream.size()));
    }
  }
}

TEST(InflateConformanceTest, Adler32Option) {
  const auto& data = Corpora()[0].data;
  const auto run = RunInflate(testing::ZlibDeflateRaw(data), kDeflate | dfoAdler32);
  EXPECT_EQ(run.result, adler32(1, data.data(), static_cast<uInt>(data.size())));
}

TEST(InflateConformanceTest, TestModeWritesNothing) {
  const auto& data = Corpora()[3].data;
  const auto run = RunInflate(testing::ZlibDeflateRaw(data), kDeflate | dfoTestOnly);
  EXPECT_TRUE(run.output.empty());
  EXPECT_EQ(run.result, Crc32Of(data));
  EXPECT_EQ(run.uncompressed_bytes, static_cast<int32_t>(data.size()));
}

TEST(InflateConformanceTest, DefaultsWithoutOptionsAndStartOffsets) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kText, 5000);
  auto stream = testing::ZlibDeflateRaw(data);
  stream.insert(stream.begin(), 17, 0xAA);  // the stream starts at offset 17
  MemoryStream source(stream);
  source.SetPosition(17);
  MemoryStream dest;
  dest.WriteBuffer(std::vector<uint8_t>(5, 1));  // and the output at offset 5
  EXPECT_EQ(Inflate(&source, &dest), Crc32Of(data));
  EXPECT_EQ(source.Position(), static_cast<int64_t>(stream.size()));
  EXPECT_EQ(std::vector<uint8_t>(dest.Data().begin() + 5, dest.Data().end()), data);
  EXPECT_THROW(Inflate(nullptr, &dest), AssertionError);
  EXPECT_THROW(Inflate(&source, nullptr), AssertionError);
}

// ---- Hand-made streams: the edge cases of the format -----------------------------------------

std::vector<uint8_t> FixedBlock(const std::function<void(BitWriter&)>& body) {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  body(w);
  w.PutFixed(256);
  return w.Bytes();
}

TEST(InflateEdgeTest, DecodedStreams) {
  struct Case {
    const char* name;
    std::vector<uint8_t> stream;
    uint32_t options;
    std::vector<uint8_t> expected;
  };
  BitWriter empty_stored;
  empty_stored.PutStored(true, {});
  BitWriter two_stored;
  two_stored.PutStored(false, {1, 2, 3});
  two_stored.PutStored(true, {4});
  const std::vector<uint8_t> big = testing::MakeCorpus(testing::CorpusKind::kRandom, 40000);
  std::vector<uint8_t> big_then_match = big;
  big_then_match.insert(big_then_match.end(), big.begin(), big.begin() + 3);
  BitWriter far;  // a stored block of 40000 bytes, then a match at distance 40000
  far.PutStored(false, big);
  far.Put(1, 1);
  far.Put(1, 2);
  far.PutFixed(257);         // length 3
  far.PutFixedDistance(30);  // 32769 + 14 extra bits
  far.Put(40000 - 32769, 14);
  far.PutFixed(256);

  const Case cases[] = {
      {"empty stored block", empty_stored.Bytes(), kDeflate, {}},
      {"two stored blocks", two_stored.Bytes(), kDeflate, {1, 2, 3, 4}},
      {"length 258 at distance 1", FixedBlock([](BitWriter& w) {
         w.PutFixed('x');
         w.PutFixed(285);
         w.PutFixedDistance(0);
       }),
       kDeflate, std::vector<uint8_t>(259, 'x')},
      {"symbol 285 with 16 extra bits 0 in Deflate64", FixedBlock([](BitWriter& w) {
         w.PutFixed('y');
         w.PutFixed(285);
         w.Put(0, 16);
         w.PutFixedDistance(0);
       }),
       kDeflate64, std::vector<uint8_t>(4, 'y')},
      {"symbol 285 with 16 extra bits 65535 in Deflate64", FixedBlock([](BitWriter& w) {
         w.PutFixed('z');
         w.PutFixed(285);
         w.Put(65535, 16);
         w.PutFixedDistance(0);
       }),
       kDeflate64, std::vector<uint8_t>(65539, 'z')},
      {"overlapping match repeats a pattern",
       FixedBlock([](BitWriter& w) {
         w.PutFixed('a');
         w.PutFixed('b');
         w.PutFixed('c');
         w.PutFixed(260);        // length 6
         w.PutFixedDistance(2);  // distance 3
       }),
       kDeflate,
       {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c'}},
      {"distance symbol 30 in Deflate64", far.Bytes(), kDeflate64, big_then_match},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto run = RunInflate(c.stream, c.options);
    EXPECT_EQ(run.output, c.expected);
    EXPECT_EQ(run.result, Crc32Of(c.expected));
    EXPECT_EQ(run.source_position, static_cast<int64_t>(c.stream.size()));
  }
}

// A dynamic block with 31 distance codes: literals 0-255 have 9-bit codes, end of block 1 bit,
// distances 5 bits each. It decodes one 'A'.
std::vector<uint8_t> DynamicBlockWith31DistanceCodes() {
  std::vector<int32_t> cl_lengths(19, 0);
  cl_lengths[1] = 2;
  cl_lengths[5] = 2;
  cl_lengths[9] = 2;
  DfDecodeHuffmanTree cl(19, 7, trEncode);
  const std::vector<uint8_t> no_extra(1, 0);
  cl.Build(cl_lengths, 0, 19, no_extra, 65535);
  std::vector<int32_t> lit_lengths(257, 9);
  lit_lengths[256] = 1;
  DfDecodeHuffmanTree lit(257, 15, trEncode);
  lit.Build(lit_lengths, 0, 257, no_extra, 65535);

  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(0, 5);   // HLIT 257
  w.Put(30, 5);  // HDIST 31
  w.Put(15, 4);  // HCLEN 19
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (const int symbol : order) w.Put(static_cast<uint32_t>(cl_lengths[symbol]), 3);
  for (int i = 0; i < 256; ++i) w.PutCode(cl, 9);
  w.PutCode(cl, 1);
  for (int i = 0; i < 31; ++i) w.PutCode(cl, 5);
  w.PutCode(lit, 'A');
  w.PutCode(lit, 256);
  return w.Bytes();
}

// A dynamic block header (257 literal/length and 1 distance code) whose code-length code gives
// length 1 to symbols a and b, followed by the given code-length symbols with their extra bits.
std::vector<uint8_t> DynamicHeader(int a, int b,
                                   const std::vector<std::pair<int, uint32_t>>& symbols) {
  std::vector<int32_t> cl_lengths(19, 0);
  cl_lengths[a] = 1;
  cl_lengths[b] = 1;
  DfDecodeHuffmanTree cl(19, 7, trEncode);
  const std::vector<uint8_t> no_extra(1, 0);
  cl.Build(cl_lengths, 0, 19, no_extra, 65535);
  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(0, 5);
  w.Put(0, 5);
  w.Put(15, 4);
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (const int symbol : order) w.Put(static_cast<uint32_t>(cl_lengths[symbol]), 3);
  for (const auto& [symbol, extra] : symbols) {
    w.PutCode(cl, symbol);
    if (symbol >= 16) w.Put(extra, symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
  }
  return w.Bytes();
}

TEST(InflateEdgeTest, MalformedStreams) {
  struct Case {
    const char* name;
    std::vector<uint8_t> stream;
    uint32_t options;
    const char* internal;
    std::vector<uint8_t> output_before;  // what the destination holds afterwards
  };
  BitWriter bad_stored;
  bad_stored.Put(1, 1);
  bad_stored.Put(0, 2);
  bad_stored.PutBytes({5, 0, 0xFA, 0xFE});
  BitWriter type3;
  type3.Put(1, 1);
  type3.Put(3, 2);
  BitWriter too_many_lit;
  too_many_lit.Put(1, 1);
  too_many_lit.Put(2, 2);
  too_many_lit.Put(30, 5);  // HLIT 287

  const Case cases[] = {
      {"stored length mismatch",
       bad_stored.Bytes(),
       kDeflate,
       "invalid stored block (length and NOT length do not match) [InflateStoredBlock]",
       {}},
      {"block type 3",
       type3.Bytes(),
       kDeflate,
       "starting new block, but invalid block type [Inflate]",
       {}},
      {"287 literal codes",
       too_many_lit.Bytes(),
       kDeflate,
       "count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]",
       {}},
      {"31 distance codes",
       DynamicBlockWith31DistanceCodes(),
       kDeflate,
       "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]",
       {}},
      {"length symbol 286",
       FixedBlock([](BitWriter& w) {
         w.PutFixed('q');
         w.PutFixed(286);
       }),
       kDeflate,
       "decoded an invalid length symbol: greater than 285 [DecodeData]",
       {'q'}},
      {"distance symbol 30 without Deflate64",
       FixedBlock([](BitWriter& w) {
         w.PutFixed('q');
         w.PutFixed(257);
         w.PutFixedDistance(30);
       }),
       kDeflate,
       "decoded an invalid distance symbol: greater than 29 [DecodeData]",
       {'q'}},
      {"distance before the first byte",
       FixedBlock([](BitWriter& w) {
         w.PutFixed('q');
         w.PutFixed(257);
         w.PutFixedDistance(1);  // distance 2 after one byte
       }),
       kDeflate,
       "invalid distance: too far back",
       {'q'}},
      {"match as the first symbol",
       FixedBlock([](BitWriter& w) {
         w.PutFixed(257);
         w.PutFixedDistance(0);
       }),
       kDeflate64,
       "invalid distance: too far back",
       {}},
      {"repeat before the first code length",
       DynamicHeader(0, 16, {{16, 0}}),
       kDeflate,
       "repeat of a previous code length before the first one {ReadLitDistCodeLengths}",
       {}},
      {"zeros past the count of codes",
       DynamicHeader(0, 18, {{18, 127}, {18, 127}}),
       kDeflate,
       "repeated code lengths run past the count of codes {ReadLitDistCodeLengths}",
       {}},
      {"empty input",
       {},
       kDeflate,
       "no more compressed data in stream [DfInBitStream.ReadBit]",
       {}},
      {"no final block",
       [] {
         BitWriter w;
         w.PutStored(false, {7, 7});
         return w.Bytes();
       }(),
       kDeflate,
       "no more compressed data in stream [DfInBitStream.ReadBit]",
       {7, 7}},
      {"stored data cut short",
       [] {
         BitWriter w;
         w.PutStored(true, {1, 2, 3, 4, 5});
         auto bytes = w.Bytes();
         bytes.pop_back();
         return bytes;
       }(),
       kDeflate,
       "no more compressed data in stream [DfInBitStream.ReadBuffer]",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream source(c.stream);
    MemoryStream dest;
    DeflateHelper helper;
    helper.SetOptions(c.options);
    try {
      Inflate(&source, &dest, &helper);
      ADD_FAILURE() << "decoded";
    } catch (const InflateError& e) {
      EXPECT_EQ(e.what(), InflateErrorText(c.internal));
    }
    EXPECT_EQ(dest.Data(), c.output_before);
    EXPECT_EQ(helper.CompressedBytes(), 0);  // results untouched after a failure
  }
  // The dynamic block with 31 distance codes is fine in Deflate64.
  EXPECT_EQ(RunInflate(DynamicBlockWith31DistanceCodes(), kDeflate64).output,
            std::vector<uint8_t>{'A'});
}

TEST(InflateEdgeTest, TruncatedStreamsFailAndKeepTheirOutput) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kText, 100000);
  const auto stream = testing::ZlibDeflateRaw(data);
  int exhausted = 0;
  for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 16) {
    SCOPED_TRACE(cut);
    const std::vector<uint8_t> part(stream.begin(), stream.begin() + static_cast<long>(cut));
    MemoryStream source(part);
    MemoryStream dest;
    try {
      Inflate(&source, &dest);
      ADD_FAILURE() << "decoded";
    } catch (const InflateError& e) {
      // Past the end the decoder sees zero bits until the input (padded to whole words) runs
      // out, so a cut may also surface as another fault found in those bits.
      exhausted += std::string(e.what()).find("no more compressed data") != std::string::npos;
    }
    // Nothing after the end was used (the zero bytes that complete its last word aside), not
    // even bytes the buffer held before.
    EXPECT_LE(source.Position(), static_cast<int64_t>((cut + 3) / 4 * 4));
    // Those few zero bits decode to at most a few symbols; everything before them is right.
    const size_t trusted = dest.Data().size() > 24 * 258 ? dest.Data().size() - 24 * 258 : 0;
    ASSERT_LE(trusted, data.size());
    EXPECT_TRUE(std::equal(dest.Data().begin(), dest.Data().begin() + static_cast<long>(trusted),
                           data.begin()));
  }
  EXPECT_GT(exhausted, 0);
}

// Matches at every short distance (each distance's own copy method) and every length, beside
// runs of literals, against zlib; then every output limit over the first stretch, where the fast
// loop stops after the first, second or third literal of a round or within a match, against the
// exact path (a source handing out one byte per read): same output, same bits used.
TEST(InflateConformanceTest, FastPathBoundaries) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data;
  for (int distance = 1; distance <= 40; ++distance) {
    for (int length : {3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 48, 100, 258}) {
      for (int i = 0; i < 1 + distance % 5; ++i) data.push_back(static_cast<uint8_t>(rng()));
      const size_t from = data.size() - static_cast<size_t>(std::min<int>(distance, data.size()));
      for (int i = 0; i < distance + length; ++i) data.push_back(data[from + i % distance]);
    }
  }
  const auto stream = testing::ZlibDeflateRaw(data, 9);
  ASSERT_EQ(RunInflate(stream).output, data);
  for (int32_t limit = 1; limit <= 3000; ++limit) {
    SCOPED_TRACE(::testing::Message() << "limit " << limit);
    const auto fast = RunInflate(stream, kDeflate, limit);
    TrickleStream source(stream, 1);
    MemoryStream dest;
    DeflateHelper helper;
    helper.SetOutputLimit(limit);
    EXPECT_EQ(Inflate(&source, &dest, &helper), 0u);
    ASSERT_EQ(fast.output, dest.Data());
    ASSERT_EQ(fast.compressed_bytes, helper.CompressedBytes());
  }
}

// ---- Output limit, progress, password, log ---------------------------------------------------

TEST(InflateOptionsTest, OutputLimit) {
  const auto literals = FixedBlock([](BitWriter& w) {
    for (int i = 0; i < 1000; ++i) w.PutFixed('a' + i % 26);
  });
  auto run = RunInflate(literals, kDeflate, 10);
  EXPECT_EQ(run.result, 0u);
  EXPECT_EQ(run.output.size(), 10u);
  EXPECT_EQ(run.output[9], 'j');
  EXPECT_EQ(run.uncompressed_bytes, 10);
  // The literal that reaches the limit is not counted as read: 3 + 9 * 8 bits are used.
  EXPECT_EQ(run.compressed_bytes, 10);
  // Stored data is not held to the limit, but the next symbol is.
  testing::BitWriter stored_first;
  stored_first.PutStored(false, std::vector<uint8_t>(20, 's'));
  stored_first.Put(1, 1);
  stored_first.Put(1, 2);
  for (int i = 0; i < 1000; ++i) stored_first.PutFixed('a');
  stored_first.PutFixed(256);
  run = RunInflate(stored_first.Bytes(), kDeflate, 10);
  EXPECT_EQ(run.result, 0u);
  EXPECT_EQ(run.output.size(), 21u);
  EXPECT_EQ(run.output[20], 'a');
  EXPECT_EQ(run.compressed_bytes, 26);  // the stored block and the new block's 3 header bits
  // A limit reached by a match lets the whole match through.
  const auto match = FixedBlock([](BitWriter& w) {
    w.PutFixed('m');
    w.PutFixed(285);
    w.PutFixedDistance(0);
  });
  run = RunInflate(match, kDeflate, 10);
  EXPECT_EQ(run.result, 0u);
  EXPECT_EQ(run.output.size(), 259u);
  // Limits far beyond the window still hold exactly; a limit above the size changes nothing.
  const auto& data = Corpora()[0].data;
  const auto stream = testing::ZlibDeflateRaw(data);
  run = RunInflate(stream, kDeflate, 200000);
  EXPECT_EQ(run.result, 0u);
  EXPECT_GE(run.output.size(), 200000u);
  EXPECT_LE(run.output.size(), 200000u + 257);
  EXPECT_TRUE(std::equal(run.output.begin(), run.output.end(), data.begin()));
  run = RunInflate(stream, kDeflate, static_cast<int32_t>(data.size()) + 1);
  EXPECT_EQ(run.result, Crc32Of(data));
}

TEST(InflateOptionsTest, ProgressAndAbort) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kRandom, 100000);
  BitWriter w;  // stored: the compressed size is known exactly
  for (size_t at = 0; at < data.size(); at += 50000) {
    w.PutStored(at + 50000 >= data.size(),
                std::vector<uint8_t>(data.begin() + static_cast<long>(at),
                                     data.begin() + static_cast<long>(at + 50000)));
  }
  const auto& stream = w.Bytes();
  std::vector<int32_t> reports;
  DeflateHelper helper;
  helper.SetSourceSize(-1);
  helper.SetOnPercentDone([&](int32_t percent) { reports.push_back(percent); });
  MemoryStream source(stream);
  MemoryStream dest;
  EXPECT_EQ(Inflate(&source, &dest, &helper), Crc32Of(data));
  // One report per 16 KiB read: 100010 bytes take 7 reads.
  const std::vector<int32_t> expected = {16, 33, 49, 66, 82, 98, 100};
  EXPECT_EQ(reports, expected);

  // An abort from the callback ends decoding quietly with what was decoded.
  helper.SetOnPercentDone([&](int32_t percent) {
    if (percent > 50) throw AbortProgressError();
  });
  MemoryStream source2(stream);
  MemoryStream dest2;
  EXPECT_EQ(Inflate(&source2, &dest2, &helper), 0u);
  // Stored data moves in 16 KiB pieces; the read that reports 66% happens inside the third piece
  // of the first block, which is then not output.
  EXPECT_EQ(dest2.Data().size(), 32768u);
}

TEST(InflateOptionsTest, EncryptedStreams) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kText, 70000);
  const auto plain_stream = testing::ZlibDeflateRaw(data);
  MemoryStream encrypted;
  {
    DfEncryptStream encrypt(encrypted, 0x5A000000, "pw");
    encrypt.WriteBuffer(plain_stream);
  }
  encrypted.WriteBuffer(std::vector<uint8_t>{1, 2, 3});  // trailing bytes
  const auto cipher = encrypted.Data();

  DeflateHelper helper;
  helper.SetCryptPassword("pw");
  helper.SetCryptCheck(0x5A000000);
  MemoryStream source(cipher);
  MemoryStream dest;
  EXPECT_EQ(Inflate(&source, &dest, &helper), Crc32Of(data));
  EXPECT_EQ(dest.Data(), data);
  EXPECT_EQ(source.Position(), static_cast<int64_t>(plain_stream.size() + 12));
  EXPECT_EQ(helper.CompressedBytes(), static_cast<int32_t>(plain_stream.size() + 12));

  // A wrong password (rejected by the header check) leaves everything where it was.
  helper.SetCryptPassword("wrong password");
  MemoryStream source2(cipher);
  source2.SetPosition(0);
  MemoryStream dest2;
  try {
    Inflate(&source2, &dest2, &helper);
    ADD_FAILURE() << "accepted";
  } catch (const InflatePasswordError& e) {
    EXPECT_STREQ(e.what(), "Inflate: stream is encrypted but passphrase is wrong");
  }
  EXPECT_EQ(source2.Position(), 0);
  EXPECT_TRUE(dest2.Data().empty());
}

TEST(InflateOptionsTest, LogFile) {
  testing::ScratchDir dir;
  DeflateHelper helper;
  helper.SetLogFileName(dir / "inflate.log");
  MemoryStream source(std::vector<uint8_t>{0xFF});  // final block of type 3
  MemoryStream dest;
  EXPECT_THROW(Inflate(&source, &dest, &helper), InflateError);
  const auto log = testing::ReadFile(dir / "inflate.log");
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "INFLATING STREAM...\r\nNeed to recompile the app with UseLogging turned on\r\n"
            "Internal exception raised: starting new block, but invalid block type [Inflate]\r\n");
}

// ---- Robustness ------------------------------------------------------------------------------

// Random and damaged input ends in InflateError or decodes; whenever zlib decodes a stream, we
// decode it to the same bytes.
TEST(InflateRobustnessTest, RandomAndCorruptedInput) {
  std::mt19937 rng(99);
  const auto data = testing::MakeCorpus(testing::CorpusKind::kText, 20000);
  const auto good = testing::ZlibDeflateRaw(data);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> stream;
    if (i % 2 == 0) {
      stream = testing::MakeCorpus(testing::CorpusKind::kRandom, 1 + rng() % 2000,
                                   static_cast<uint32_t>(i));
    } else {
      stream = good;
      for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; --flips) {
        stream[rng() % stream.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      }
    }
    const uint32_t options = (i % 3 == 0) ? kDeflate64 : kDeflate;
    std::optional<testing::InflateRun> run;
    try {
      run = RunInflate(stream, options, 1 << 22);
    } catch (const InflateError&) {
    }
    if (options == kDeflate) {
      const auto reference = testing::ZlibInflateRaw(stream, 1 << 22);
      if (reference && reference->size() < (1u << 22)) {
        ASSERT_TRUE(run.has_value()) << i;
        EXPECT_EQ(run->output, *reference) << i;
      }
    }
  }
}

// ---- Oracles: Deflate64 from 7-Zip, encrypted Deflate from Info-ZIP ---------------------------

TEST(InflateOracleTest, SevenZipDeflate64) {
  if (!testing::HaveTool("7zz")) GTEST_SKIP() << "7-Zip (7zz) is not installed";
  // Long stretches repeated at distances above 32 KiB, and runs long enough for length 285.
  std::vector<uint8_t> data = testing::MakeCorpus(testing::CorpusKind::kRandom, 50000, 5);
  const std::vector<uint8_t> first(data);
  data.insert(data.end(), first.begin(), first.end());
  data.insert(data.end(), 150000, 'r');
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 120000, 6);
  data.insert(data.end(), text.begin(), text.end());
  data.insert(data.end(), first.begin(), first.begin() + 40000);
  data.insert(data.end(), text.begin(), text.end());

  testing::ScratchDir dir;
  testing::WriteFile(dir / "data.bin", data);
  ASSERT_EQ(testing::RunQuiet("cd '" + dir.path().string() +
                              "' && 7zz a -tzip -mm=Deflate64 -mx=9 out.zip data.bin"),
            0);
  const auto zip = testing::ReadFile(dir / "out.zip");
  const auto item = testing::FirstZipItem(zip);
  ASSERT_EQ(item.method, 9);
  const std::vector<uint8_t> stream(
      zip.begin() + static_cast<long>(item.data_offset),
      zip.begin() + static_cast<long>(item.data_offset + item.compressed_size));
  const auto run = RunInflate(stream, kDeflate64);
  EXPECT_EQ(run.output, data);
  EXPECT_EQ(run.result, item.crc);
  EXPECT_EQ(run.source_position, static_cast<int64_t>(stream.size()));
  // The same stream is not plain Deflate: it uses what only Deflate64 has.
  EXPECT_NE(FailureOf(stream, kDeflate), "");
}

TEST(InflateOracleTest, InfoZipEncryptedDeflate) {
  if (!testing::HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const auto data = testing::MakeCorpus(testing::CorpusKind::kText, 150000, 8);
  testing::ScratchDir dir;
  testing::WriteFile(dir / "plain.txt", data);
  ASSERT_EQ(testing::RunQuiet("cd '" + dir.path().string() +
                              "' && zip -q -9 -P secret out.zip plain.txt"),
            0);
  const auto zip = testing::ReadFile(dir / "out.zip");
  const auto item = testing::FirstZipItem(zip);
  ASSERT_EQ(item.method, 8);
  ASSERT_TRUE(item.flags & 1);
  MemoryStream source(zip);
  source.SetPosition(static_cast<int64_t>(item.data_offset));
  MemoryStream dest;
  DeflateHelper helper;
  helper.SetCryptPassword("secret");
  helper.SetCryptCheck(
      static_cast<int32_t>((item.flags & 8) ? uint32_t{item.dos_time} << 16 : item.crc));
  EXPECT_EQ(Inflate(&source, &dest, &helper), item.crc);
  EXPECT_EQ(dest.Data(), data);
  EXPECT_EQ(helper.CompressedBytes(), static_cast<int32_t>(item.compressed_size));
}

}  // namespace
}  // namespace vz
