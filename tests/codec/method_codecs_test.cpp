// The library-backed methods against other tools: Python's bz2 and zipfile, the xz and zstd
// programs, 7-Zip, both as sources of data we must read and as readers of what we write.
#include "codec/method_codecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codec/deflate_base.h"
#include "inflate_support.h"
#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zip_oracle.h"

namespace vz {
namespace {

using testing::HaveTool;
using testing::ReadFile;
using testing::RunQuiet;
using testing::ScratchDir;
using testing::WriteFile;

constexpr LibMethod kAllMethods[] = {LibMethod::kBzip2, LibMethod::kLzma, LibMethod::kXz,
                                     LibMethod::kZstd};

// Hands out at most a few bytes per read, so every refill path runs.
class TrickleStream : public MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  int64_t Read(std::span<uint8_t> buffer) override {
    step_ = step_ % 7 + 1;
    return MemoryStream::Read(buffer.first(std::min<size_t>(buffer.size(), step_)));
  }

 private:
  size_t step_ = 0;
};

std::vector<uint8_t> Encode(LibMethod method, const std::vector<uint8_t>& data,
                            MethodLevel level = MethodLevel::kNormal) {
  MemoryStream source(data);
  MemoryStream dest;
  MethodEncodeOptions options;
  options.level = level;
  options.source_size = static_cast<int64_t>(data.size());
  const MethodResult result = EncodeMethod(method, source, dest, options);
  EXPECT_EQ(result.crc32, Crc32Of(data));
  EXPECT_EQ(result.uncompressed_bytes, static_cast<int64_t>(data.size()));
  EXPECT_EQ(result.compressed_bytes, dest.Size());
  return dest.Data();
}

struct Decoded {
  std::vector<uint8_t> data;
  MethodResult result;
};

// Decodes compressed bytes that stand alone in their source; the limit is the expected size.
Decoded Decode(LibMethod method, const std::vector<uint8_t>& compressed, int64_t limit,
               bool end_marker = true) {
  MemoryStream source(compressed);
  MemoryStream dest;
  MethodDecodeOptions options;
  options.compressed_size = static_cast<int64_t>(compressed.size());
  options.output_limit = limit;
  options.lzma_end_marker = end_marker;
  Decoded out;
  out.result = DecodeMethod(method, source, dest, options);
  out.data = dest.Data();
  EXPECT_EQ(source.Position(), static_cast<int64_t>(compressed.size()));
  return out;
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

// The xz and zstd programs; Python's bz2 and lzma modules are the oracles of the zip item tests,
// through zipfile.
struct OracleTool {
  LibMethod method;
  std::string compress;    // {in} and {out} are replaced
  std::string decompress;  // the same
};

const OracleTool kOracleTools[] = {
    {LibMethod::kXz, "xz -c -T1 {in} > {out}", "xz -dc {in} > {out}"},
    {LibMethod::kZstd, "zstd -q -c {in} > {out}", "zstd -q -dc {in} > {out}"},
};

// Runs a command whose own redirections must survive RunQuiet's.
int RunGrouped(const std::string& command) {
  return RunQuiet("(" + command + ")");
}

int RunWith(std::string command, const std::string& in, const std::string& out) {
  command.replace(command.find("{in}"), 4, Quote(in));
  command.replace(command.find("{out}"), 5, Quote(out));
  return RunGrouped(command);
}

TEST(MethodCodecsTest, RoundTripsEveryMethodLevelAndSize) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      {'x'},
      testing::MakeCorpus(testing::CorpusKind::kText, 200000),
      testing::MakeCorpus(testing::CorpusKind::kRandom, 70000)};
  for (const LibMethod method : kAllMethods) {
    for (const MethodLevel level : {MethodLevel::kSuperFast, MethodLevel::kFast,
                                    MethodLevel::kNormal, MethodLevel::kMaximum}) {
      for (const auto& input : inputs) {
        SCOPED_TRACE(std::string(LibMethodName(method)) + " level " +
                     std::to_string(static_cast<int>(level)) + " size " +
                     std::to_string(input.size()));
        const auto compressed = Encode(method, input, level);
        const Decoded back = Decode(method, compressed, static_cast<int64_t>(input.size()));
        EXPECT_EQ(back.data, input);
        EXPECT_EQ(back.result.crc32, Crc32Of(input));
        EXPECT_EQ(back.result.compressed_bytes, static_cast<int64_t>(compressed.size()));
      }
    }
    // A source that hands out a few bytes at a time, and a size left to the source's end.
    const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 50000);
    TrickleStream source(Encode(method, text));
    MemoryStream dest;
    DecodeMethod(method, source, dest, {});
    EXPECT_EQ(dest.Data(), text) << LibMethodName(method);
  }
}

TEST(MethodCodecsTest, XzAndZstdProgramsReadOursAndWeReadTheirs) {
  if (testing::kOnWindows) GTEST_SKIP() << "the xz and zstd programs are run on Linux";
  ScratchDir dir;
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 300000, 5);
  WriteFile(dir / "plain", text);
  for (const OracleTool& tool : kOracleTools) {
    SCOPED_TRACE(LibMethodName(tool.method));
    ASSERT_TRUE(HaveTool(LibMethodName(tool.method))) << "scripts/deps.sh test installs it";
    ASSERT_EQ(RunWith(tool.compress, dir / "plain", dir / "theirs"), 0);
    EXPECT_EQ(Decode(tool.method, ReadFile(dir / "theirs"), 300000).data, text);

    WriteFile(dir / "ours", Encode(tool.method, text, MethodLevel::kFast));
    ASSERT_EQ(RunWith(tool.decompress, dir / "ours", dir / "back"), 0);
    EXPECT_EQ(ReadFile(dir / "back"), text);
  }
}

// Decodes the first item of a zip made by another tool, reading from the whole archive so that
// the central directory follows the data as it does in real use.
void ExpectItemDecodes(const std::vector<uint8_t>& zip, const std::vector<uint8_t>& expected) {
  const auto item = testing::FirstZipItem(zip);
  const auto method = LibMethodFromZip(item.method);
  ASSERT_TRUE(method.has_value()) << "method " << item.method;
  MemoryStream source(zip);
  source.SetPosition(static_cast<int64_t>(item.data_offset));
  MemoryStream dest;
  MethodDecodeOptions options;
  options.compressed_size = item.compressed_size;
  options.output_limit = item.uncompressed_size;
  options.lzma_end_marker = (item.flags & kFlagLzmaEndMarker) != 0;
  const MethodResult result = DecodeMethod(*method, source, dest, options);
  EXPECT_EQ(result.crc32, item.crc);
  EXPECT_EQ(dest.Data(), expected);
  EXPECT_EQ(source.Position(), static_cast<int64_t>(item.data_offset + item.compressed_size));
}

TEST(MethodCodecsTest, DecodesZipItemsOfSevenZipAndPython) {
  if (!HaveTool("7zz") || !HaveTool("python3")) GTEST_SKIP() << "needs 7zz and python3";
  ScratchDir dir;
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 150000, 9);
  WriteFile(dir / "a.txt", text);
  WriteFile(dir / "make.py",
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w', compression=int(sys.argv[3])) as z:\n"
            "    z.write(sys.argv[2], 'a.txt')\n");
  const std::string in_dir = "cd " + Quote(dir.path().string()) + " && ";
  const struct {
    const char* name;
    std::string command;
  } makers[] = {
      {"7-Zip bzip2", "7zz a -tzip -mm=BZip2 z.zip a.txt"},
      {"7-Zip LZMA", "7zz a -tzip -mm=LZMA z.zip a.txt"},
      {"7-Zip LZMA without end marker", "7zz a -tzip -mm=LZMA:eos=off z.zip a.txt"},
      {"7-Zip xz", "7zz a -tzip -mm=XZ z.zip a.txt"},
      {"zipfile bzip2", "python3 make.py z.zip a.txt 12"},
      {"zipfile LZMA", "python3 make.py z.zip a.txt 14"},
  };
  for (const auto& maker : makers) {
    SCOPED_TRACE(maker.name);
    std::filesystem::remove(dir / "z.zip");
    ASSERT_EQ(RunQuiet(in_dir + maker.command), 0);
    ExpectItemDecodes(ReadFile(dir / "z.zip"), text);
  }
}

TEST(MethodCodecsTest, OurItemsAreReadBySevenZipAndPython) {
  if (!HaveTool("7zz") || !HaveTool("python3")) GTEST_SKIP() << "needs 7zz and python3";
  ScratchDir dir;
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 120000, 4);
  WriteFile(dir / "a.txt", text);
  for (const LibMethod method : kAllMethods) {
    SCOPED_TRACE(LibMethodName(method));
    testing::ZipEntry entry;
    entry.name = "a.txt";
    entry.data = Encode(method, text);
    entry.method = static_cast<uint16_t>(method);
    entry.version_needed = LibMethodVersionNeeded(method);
    if (method == LibMethod::kLzma) entry.flag = kFlagLzmaEndMarker;
    entry.crc = Crc32Of(text);
    entry.uncompressed_size = static_cast<int64_t>(text.size());
    testing::ZipBuilder zip;
    zip.entries.push_back(entry);
    WriteFile(dir / "ours.zip", zip.Build());
    std::filesystem::remove(dir / "out.txt");
    ASSERT_EQ(RunGrouped("7zz x -so " + Quote(dir / "ours.zip") + " > " + Quote(dir / "out.txt")),
              0);
    EXPECT_EQ(ReadFile(dir / "out.txt"), text);
    // Python's zipfile reads only these two of the four.
    if (method == LibMethod::kBzip2 || method == LibMethod::kLzma) {
      EXPECT_EQ(RunQuiet("python3 -c \"import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1])"
                         ".read('a.txt') != open(sys.argv[2], 'rb').read())\" " +
                         Quote(dir / "ours.zip") + " " + Quote(dir / "a.txt")),
                0);
    }
  }
}

// Every way bad data or lying sizes must fail. message: nullptr accepts an error or output with
// a wrong CRC-32 (damage raw LZMA cannot see); "" means the data still decodes; anything else
// must appear in the error. Whatever happens, nothing beyond the declared size is written.
TEST(MethodCodecsTest, DamageAndLyingSizesFailWithAMessageNamingTheMethod) {
  using Bytes = std::vector<uint8_t>;
  struct Damage {
    const char* name;
    std::optional<LibMethod> only;
    std::function<void(Bytes&, MethodDecodeOptions&)> apply;
    const char* message;
  };
  const auto lzma = LibMethod::kLzma;
  const auto dictionary = [](Bytes& d, MethodDecodeOptions&) { std::fill_n(&d[5], 4, 0xFF); };
  const auto next_record = [](Bytes& d, MethodDecodeOptions& o) {
    d.insert(d.end(), {'P', 'K', 1, 2}), o.compressed_size += 4;
  };
  const char* const kTrailing = "unexpected bytes after the end of the data";
  const Damage damages[] = {
      {"no data", {}, [](Bytes& d, auto& o) { d.clear(), o.compressed_size = 0; }, "data error"},
      {"cut to 3 bytes",
       {},
       [](Bytes& d, auto& o) { d.resize(3), o.compressed_size = 3; },
       "data error"},
      {"last byte missing",
       {},
       [](Bytes& d, auto& o) { o.compressed_size = static_cast<int64_t>(d.size()) - 1; },
       "the data ends before the end of the stream"},
      {"signature garbled (for LZMA the properties size)",
       {},
       [](Bytes& d, auto&) { d[0] ^= 0x55, d[1] ^= 0x55, d[2] ^= 0x55; },
       "data error"},
      {"compressed size reaches into the next record", {}, next_record, "data error"},
      // zstd reads them as another frame instead ("Unknown frame descriptor").
      {"bytes after a bzip2 stream", LibMethod::kBzip2, next_record, kTrailing},
      {"bytes after an LZMA stream", lzma, next_record, kTrailing},
      {"bytes after an xz stream", LibMethod::kXz, next_record, kTrailing},
      {"xz stream padding", LibMethod::kXz,
       [](Bytes& d, auto& o) { d.insert(d.end(), 4, 0), o.compressed_size += 4; }, kTrailing},
      {"bit flipped at 12", {}, [](Bytes& d, auto&) { d[12] ^= 0x10; }, nullptr},
      {"bit flipped in the middle", {}, [](Bytes& d, auto&) { d[d.size() / 2] ^= 1; }, nullptr},
      {"bit flipped near the end", {}, [](Bytes& d, auto&) { d[d.size() - 6] ^= 0x80; }, nullptr},
      {"declared size 0",
       {},
       [](Bytes&, auto& o) { o.output_limit = 0; },
       "data error: the data decodes to more than the declared size of 0 bytes"},
      {"declared size one short",
       {},
       [](Bytes&, auto& o) { o.output_limit = 29999; },
       "data error: the data decodes to more than the declared size of 29999 bytes"},
      {"LZMA properties size 4", lzma, [](Bytes& d, auto&) { d[2] = 4; },
       "gives 4 properties bytes"},
      {"LZMA properties byte 225", lzma, [](Bytes& d, auto&) { d[4] = 225; },
       "invalid properties byte 225"},
      {"LZMA lc 4 and lp 4", lzma, [](Bytes& d, auto&) { d[4] = 4 * 9 + 4; },
       "unsupported properties lc=4 lp=4 pb=0"},
      {"LZMA header cut short", lzma, [](Bytes& d, auto& o) { d.resize(7), o.compressed_size = 7; },
       "the header is cut short"},
      {"LZMA 4 GiB dictionary, size known", lzma, dictionary, ""},
      {"LZMA 4 GiB dictionary, no size", lzma,
       [&](Bytes& d, auto& o) { dictionary(d, o), o.output_limit = -1; },
       "LZMA: the data needs 4097 MiB of memory, more than the 1024 MiB allowed"},
      // A frame whose window is 2 GiB: magic, header byte, window byte, an empty last block.
      {"zstd window of 2 GiB", LibMethod::kZstd,
       [](Bytes& d, auto& o) {
         d = {0x28, 0xB5, 0x2F, 0xFD, 0x00, (31 - 10) << 3, 0x01, 0x00, 0x00};
         o.compressed_size = 9;
       },
       "zstd: the data needs more memory than the 1024 MiB allowed"},
  };
  const auto text = testing::MakeCorpus(testing::CorpusKind::kText, 30000, 8);
  for (const LibMethod method : kAllMethods) {
    const auto good = Encode(method, text);
    for (const Damage& damage : damages) {
      if (damage.only && *damage.only != method) continue;
      SCOPED_TRACE(std::string(LibMethodName(method)) + ": " + damage.name);
      Bytes data = good;
      MethodDecodeOptions options;
      options.compressed_size = static_cast<int64_t>(data.size());
      options.output_limit = static_cast<int64_t>(text.size());
      options.lzma_end_marker = true;
      damage.apply(data, options);
      MemoryStream source(data);
      MemoryStream dest;
      try {
        const MethodResult result = DecodeMethod(method, source, dest, options);
        if (damage.message == nullptr) {
          EXPECT_NE(result.crc32, Crc32Of(text));
        } else {
          EXPECT_STREQ(damage.message, "") << "decoded without error";
          EXPECT_EQ(dest.Data(), text);
        }
      } catch (const MethodError& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind(LibMethodName(method), 0), 0u) << what;
        if (damage.message != nullptr) {
          EXPECT_NE(what.find(damage.message), std::string::npos) << what;
          EXPECT_STRNE(damage.message, "") << what;
        }
        if (dynamic_cast<const MethodOverrunError*>(&e) != nullptr) {
          EXPECT_EQ(dest.Size(), options.output_limit);
        }
      }
      EXPECT_LE(dest.Size(), options.output_limit < 0 ? INT64_MAX : options.output_limit);
    }
  }
}

TEST(MethodCodecsTest, Bzip2StreamsAndZstdFramesBackToBackDecodeAsOne) {
  const auto first = testing::MakeCorpus(testing::CorpusKind::kText, 30000, 1);
  const auto second = testing::MakeCorpus(testing::CorpusKind::kRandom, 5000, 2);
  auto whole = first;
  whole.insert(whole.end(), second.begin(), second.end());
  for (const LibMethod method : {LibMethod::kBzip2, LibMethod::kZstd}) {
    SCOPED_TRACE(LibMethodName(method));
    auto data = Encode(method, first);
    const auto more = Encode(method, second);
    data.insert(data.end(), more.begin(), more.end());
    EXPECT_EQ(Decode(method, data, static_cast<int64_t>(whole.size())).data, whole);
  }
}

TEST(MethodCodecsTest, ProgressRisesToHundredAndAnAbortPassesThrough) {
  const auto data = testing::MakeCorpus(testing::CorpusKind::kRandom, 300000, 4);
  for (const LibMethod method : kAllMethods) {
    SCOPED_TRACE(LibMethodName(method));
    std::vector<int32_t> encode_reports;
    MemoryStream plain(data);
    MemoryStream compressed;
    MethodEncodeOptions encode;
    encode.level = MethodLevel::kSuperFast;
    encode.source_size = static_cast<int64_t>(data.size());
    encode.on_percent_done = [&](int32_t p) { encode_reports.push_back(p); };
    EncodeMethod(method, plain, compressed, encode);

    std::vector<int32_t> decode_reports;
    compressed.SetPosition(0);
    MemoryStream dest;
    MethodDecodeOptions decode;
    decode.compressed_size = compressed.Size();
    decode.lzma_end_marker = true;
    decode.on_percent_done = [&](int32_t p) { decode_reports.push_back(p); };
    DecodeMethod(method, compressed, dest, decode);

    for (const auto* reports : {&encode_reports, &decode_reports}) {
      ASSERT_GE(reports->size(), 2u);
      EXPECT_TRUE(std::is_sorted(reports->begin(), reports->end()));
      EXPECT_EQ(std::adjacent_find(reports->begin(), reports->end()), reports->end());
      EXPECT_EQ(reports->back(), 100);
    }

    compressed.SetPosition(0);
    decode.on_percent_done = [](int32_t) { throw AbortProgressError(); };
    EXPECT_THROW(DecodeMethod(method, compressed, dest, decode), AbortProgressError);
  }
}

}  // namespace
}  // namespace vz
