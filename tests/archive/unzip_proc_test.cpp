// Item extraction at the engine's level: the output bound holds for items of any declared size.
#include "archive/unzip_proc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/zip_archive.h"
#include "platform/memory_stream.h"
#include "zip_builder.h"

namespace vz {
namespace {

// Counts what is written to it and keeps nothing.
class CountingSink : public Stream {
 public:
  int64_t Read(std::span<uint8_t>) override { return 0; }
  int64_t Write(std::span<const uint8_t> buffer) override {
    count += static_cast<int64_t>(buffer.size());
    return static_cast<int64_t>(buffer.size());
  }
  int64_t Seek(int64_t, int) override { return count; }
  int64_t count = 0;
};

// Raw Deflate of mebibytes MiB of zeros in a few megabytes: one chunk ended by a full flush
// refers to nothing before it and ends on a byte boundary, so copies of it can follow each other;
// an empty fixed block marked last ends the stream.
std::vector<uint8_t> ZerosDeflated(int mebibytes) {
  const std::vector<uint8_t> zeros(1 << 20, 0);
  std::vector<uint8_t> chunk(1 << 16);
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  z.next_in = const_cast<Bytef*>(zeros.data());
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = chunk.data();
  z.avail_out = static_cast<uInt>(chunk.size());
  deflate(&z, Z_FULL_FLUSH);
  chunk.resize(chunk.size() - z.avail_out);
  deflateEnd(&z);
  std::vector<uint8_t> out;
  for (int i = 0; i < mebibytes; ++i) out.insert(out.end(), chunk.begin(), chunk.end());
  out.push_back(0x03);
  out.push_back(0x00);
  return out;
}

TEST(ExtractionBoundTest, ItemsDeclaringTwoGibibytesOrMoreStopJustAboveTheirSize) {
  // The size field is 32-bit and the bound is the declared size + 1: at 2 GiB that once wrapped
  // to "no bound" and the item expanded for as long as its data lasted.
  constexpr int64_t kDeclared = int64_t{1} << 31;
  testing::ZipEntry bomb;
  bomb.name = "bomb.bin";
  bomb.method = 8;
  bomb.data = ZerosDeflated(2048 + 256);
  bomb.uncompressed_size = kDeclared;
  bomb.crc = 0x12345678;
  testing::ZipBuilder b;
  b.entries = {bomb};
  MemoryStream stream(b.Build());
  auto zip = ZipArchive::CreateOnStream(stream, "bomb.zip");
  InstallExtractionProcs(*zip);
  zip->Load();
  CountingSink sink;
  EXPECT_THROW(zip->ExtractItemToStream(0, sink), ZipBadCRCError);
  // A match that reaches the bound is let through whole (at most 258 bytes).
  EXPECT_GT(sink.count, kDeclared);
  EXPECT_LE(sink.count, kDeclared + 1 + 258);
}

}  // namespace
}  // namespace vz
