// The library-backed methods against other tools: Python's bz2 and zipfile, the xz and zstd
// programs, 7-Zip, both as sources of data we must read and as readers of what we write.
#include "codec/method_codecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// Python's bz2 module and zipfile's own LZMA form (version, properties size, properties, raw
// LZMA with end marker).
constexpr const char* kPythonCodec = R"(import sys, bz2, zipfile
mode, method, src, dst = sys.argv[1:5]
data = open(src, 'rb').read()
if method == 'bzip2':
    out = bz2.compress(data) if mode == 'c' else bz2.decompress(data)
elif mode == 'c':
    c = zipfile.LZMACompressor()
    out = c.compress(data) + c.flush()
else:
    out = zipfile.LZMADecompressor().decompress(data)
open(dst, 'wb').write(out)
)";

struct OracleTool {
  LibMethod method;
  const char* tool;
  std::string compress;    // {in} and {out} are replaced
  std::string decompress;  // the same
};

std::vector<OracleTool> OracleTools(const ScratchDir& dir) {
  const std::string py = "python3 " + Quote(dir / "codec.py");
  return {
      {LibMethod::kBzip2, "python3", py + " c bzip2 {in} {out}", py + " d bzip2 {in} {out}"},
      {LibMethod::kLzma, "python3", py + " c lzma {in} {out}", py + " d lzma {in} {out}"},
      {LibMethod::kXz, "xz", "xz -c -T1 {in} > {out}", "xz -dc {in} > {out}"},
      {LibMethod::kZstd, "zstd", "zstd -q -c {in} > {out}", "zstd -q -dc {in} > {out}"},
  };
}

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
      {}, {'x'}, testing::TextCorpus(200000), testing::BinaryCorpus(70000)};
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
    const auto text = testing::TextCorpus(50000);
    TrickleStream source(Encode(method, text));
    MemoryStream dest;
    DecodeMethod(method, source, dest, {});
    EXPECT_EQ(dest.Data(), text) << LibMethodName(method);
  }
}

TEST(MethodCodecsTest, ReadsWhatOtherToolsWriteAndTheyReadOurs) {
  ScratchDir dir;
  WriteFile(dir / "codec.py", kPythonCodec);
  const auto text = testing::TextCorpus(300000, 5);
  WriteFile(dir / "plain", text);
  for (const OracleTool& tool : OracleTools(dir)) {
    SCOPED_TRACE(LibMethodName(tool.method));
    if (!HaveTool(tool.tool)) {
      ADD_FAILURE() << tool.tool << " is not installed (scripts/deps.sh test installs it)";
      continue;
    }
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
  const auto text = testing::TextCorpus(150000, 9);
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
  const auto text = testing::TextCorpus(120000, 4);
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

TEST(MethodCodecsTest, OutputStopsAtTheLimitWithAnOverrunError) {
  const auto text = testing::TextCorpus(100000, 3);
  for (const LibMethod method : kAllMethods) {
    for (const int64_t limit : {int64_t{0}, int64_t{40000}, int64_t{99999}}) {
      SCOPED_TRACE(std::string(LibMethodName(method)) + " limit " + std::to_string(limit));
      const auto compressed = Encode(method, text);
      MemoryStream source(compressed);
      MemoryStream dest;
      MethodDecodeOptions options;
      options.output_limit = limit;
      options.lzma_end_marker = true;
      EXPECT_THROW(DecodeMethod(method, source, dest, options), MethodOverrunError);
      EXPECT_EQ(dest.Size(), limit);
      EXPECT_TRUE(std::equal(dest.Data().begin(), dest.Data().end(), text.begin()));
    }
  }
}

// What damage does to each method: an error that names the method, or (for damage the format
// cannot see, such as a flipped bit in raw LZMA) output whose CRC-32 differs. Never a crash, never
// more output than the limit.
TEST(MethodCodecsTest, DamagedDataFailsWithAMessageNamingTheMethod) {
  using Bytes = std::vector<uint8_t>;
  struct Damage {
    const char* name;
    std::function<void(Bytes& data, int64_t& compressed_size)> apply;
    bool must_fail;
    const char* message;  // expected in the error, when not empty
  };
  const Damage damages[] = {
      {"no data", [](Bytes& d, int64_t& n) { d.clear(), n = 0; }, true, ""},
      {"cut to 3 bytes", [](Bytes& d, int64_t& n) { d.resize(3), n = 3; }, true, ""},
      {"cut in half",
       [](Bytes& d, int64_t& n) {
         d.resize(d.size() / 2);
         n = static_cast<int64_t>(d.size());
       },
       true, ""},
      {"last byte missing",
       [](Bytes& d, int64_t& n) {
         d.pop_back();
         n = static_cast<int64_t>(d.size());
       },
       true, ""},
      {"compressed size claims 20 bytes more",
       [](Bytes& d, int64_t& n) {
         n = static_cast<int64_t>(d.size()) + 20;
         d.insert(d.end(), 20, 'P');
       },
       true, ""},
      // The signature (for LZMA the properties size; its first two bytes say nothing).
      {"first bytes garbled",
       [](Bytes& d, int64_t&) {
         for (size_t i = 0; i < 3; ++i) d[i] ^= 0x55;
       },
       true, ""},
      {"bit flipped at 12", [](Bytes& d, int64_t&) { d[12] ^= 0x10; }, false, ""},
      {"bit flipped in the middle", [](Bytes& d, int64_t&) { d[d.size() / 2] ^= 0x01; }, false, ""},
      {"bit flipped near the end", [](Bytes& d, int64_t&) { d[d.size() - 6] ^= 0x80; }, false, ""},
  };
  const auto text = testing::TextCorpus(30000, 8);
  for (const LibMethod method : kAllMethods) {
    const auto good = Encode(method, text);
    for (const Damage& damage : damages) {
      SCOPED_TRACE(std::string(LibMethodName(method)) + ": " + damage.name);
      Bytes data = good;
      int64_t compressed_size = static_cast<int64_t>(data.size());
      damage.apply(data, compressed_size);
      MemoryStream source(data);
      MemoryStream dest;
      MethodDecodeOptions options;
      options.compressed_size = compressed_size;
      options.output_limit = static_cast<int64_t>(text.size());
      options.lzma_end_marker = true;
      try {
        const MethodResult result = DecodeMethod(method, source, dest, options);
        EXPECT_FALSE(damage.must_fail) << "decoded without error";
        EXPECT_NE(result.crc32, Crc32Of(text));
      } catch (const MethodError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(LibMethodName(method), 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find(damage.message), std::string::npos) << e.what();
      }
      EXPECT_LE(dest.Size(), static_cast<int64_t>(text.size()));
    }
  }
}

TEST(MethodCodecsTest, CutAndTrailingDataSayWhatIsWrong) {
  const auto text = testing::TextCorpus(20000, 2);
  for (const LibMethod method : kAllMethods) {
    SCOPED_TRACE(LibMethodName(method));
    auto data = Encode(method, text);
    data.pop_back();
    try {
      Decode(method, data, static_cast<int64_t>(text.size()));
      ADD_FAILURE() << "a cut stream decoded";
    } catch (const MethodError& e) {
      EXPECT_NE(std::string(e.what()).find("ends before the end of the stream"), std::string::npos)
          << e.what();
    }
    // Bytes after a complete stream: bzip2 and LZMA see them as such; the xz and zstd formats
    // allow more streams or frames to follow and reject these as a bad one.
    data = Encode(method, text);
    data.insert(data.end(), {0x50, 0x4B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0});
    try {
      Decode(method, data, static_cast<int64_t>(text.size()));
      ADD_FAILURE() << "trailing bytes were accepted";
    } catch (const MethodError& e) {
      if (method == LibMethod::kBzip2 || method == LibMethod::kLzma) {
        EXPECT_NE(std::string(e.what()).find("unexpected bytes after the end of the data"),
                  std::string::npos)
            << e.what();
      }
    }
  }
}

TEST(MethodCodecsTest, LzmaHeadersAreCheckedAndLyingDictionariesCostNothing) {
  const auto text = testing::TextCorpus(10000, 6);
  const auto good = Encode(LibMethod::kLzma, text);
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> edit;
    int64_t limit;
    const char* message;  // empty: decodes
  };
  const Case cases[] = {
      {"properties size 4", [](auto& d) { d[2] = 4; }, 10000, "gives 4 properties bytes"},
      {"properties byte 225", [](auto& d) { d[4] = 225; }, 10000, "invalid properties byte 225"},
      {"lc 4 and lp 4", [](auto& d) { d[4] = 4 * 9 + 4; }, 10000, "unsupported properties lc=4"},
      {"4 GiB dictionary, size known", [](auto& d) { std::fill_n(d.begin() + 5, 4, 0xFF); }, 10000,
       ""},
      {"4 GiB dictionary, no size", [](auto& d) { std::fill_n(d.begin() + 5, 4, 0xFF); }, -1,
       "more than the 1024 MiB allowed"},
      {"header cut short", [](auto& d) { d.resize(7); }, 10000, "the header is cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto data = good;
    c.edit(data);
    if (*c.message == '\0') {
      EXPECT_EQ(Decode(LibMethod::kLzma, data, c.limit).data, text);
      continue;
    }
    try {
      Decode(LibMethod::kLzma, data, c.limit);
      ADD_FAILURE() << "decoded";
    } catch (const MethodError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(MethodCodecsTest, StreamsAndFramesBackToBackDecodeAsOne) {
  const auto first = testing::TextCorpus(30000, 1);
  const auto second = testing::BinaryCorpus(5000, 2);
  auto whole = first;
  whole.insert(whole.end(), second.begin(), second.end());
  for (const LibMethod method : {LibMethod::kBzip2, LibMethod::kXz, LibMethod::kZstd}) {
    SCOPED_TRACE(LibMethodName(method));
    auto data = Encode(method, first);
    const auto more = Encode(method, second);
    data.insert(data.end(), more.begin(), more.end());
    EXPECT_EQ(Decode(method, data, static_cast<int64_t>(whole.size())).data, whole);
  }
}

TEST(MethodCodecsTest, ProgressRisesToHundredAndAnAbortPassesThrough) {
  const auto data = testing::BinaryCorpus(300000, 4);
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

TEST(MethodCodecsTest, NamesAndNumbersFindTheirMethod) {
  for (const LibMethod method : kAllMethods) {
    EXPECT_EQ(LibMethodFromZip(static_cast<uint16_t>(method)), method);
    EXPECT_EQ(LibMethodFromName(LibMethodName(method)), method);
  }
  EXPECT_EQ(LibMethodFromName("ZSTD"), LibMethod::kZstd);
  EXPECT_FALSE(LibMethodFromZip(8).has_value());
  EXPECT_FALSE(LibMethodFromName("deflate").has_value());
}

}  // namespace
}  // namespace vz
