// Item extraction at the engine's level: the output bound holds for items of any declared size.
#include "archive/unzip_proc.h"
#include "archive/item_procedures.h"

#include <gtest/gtest.h>

#include "archive/zip_archive.h"
#include "platform/memory_stream.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

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

TEST(ExtractionBoundTest, ItemsDeclaringTwoGibibytesOrMoreStopJustAboveTheirSize) {
  // The size field is 32-bit and the bound is the declared size + 1: at 2 GiB that once wrapped
  // to "no bound" and the item expanded for as long as its data lasted.
  constexpr int64_t kDeclared = int64_t{1} << 31;
  testing::ZipEntry bomb;
  bomb.name = "bomb.bin";
  bomb.method = 8;
  bomb.data = testing::ZerosDeflated(2048 + 256);
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
