// Shrunk, reduced and imploded items end to end: built with the test encoders, extracted and
// tested through the unzipper, and for shrink and implode compared with 7-Zip and Info-ZIP unzip,
// which read those two methods (no tool reads reduce; the engine tests pin it by hand).
#include <gtest/gtest.h>

#include <filesystem>

#include "codec/crypt_streams.h"
#include "codec/zip_oracle.h"
#include "components/unzipper.h"
#include "legacy_encoders.h"
#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

using testing::ScratchDir;
using testing::ZipBuilder;
using testing::ZipEntry;

std::vector<uint8_t> Text(size_t n, uint32_t seed = 3) {
  static const std::string words[] = {"ILS ",   "approach ", "VOR ",    "taxiway ", "apron ",
                                      "hangar", "\x90\x90",  "beacon ", "\r\n",     "tower "};
  std::vector<uint8_t> out;
  while (out.size() < n) {
    seed = seed * 1103515245u + 12345u;
    const std::string& w = words[(seed >> 16) % 10];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(n);
  return out;
}

std::vector<uint8_t> Repeated(size_t period, size_t n) {
  const auto block = testing::RandomBytes(period, 12);
  std::vector<uint8_t> out;
  while (out.size() < n) out.insert(out.end(), block.begin(), block.end());
  out.resize(n);
  return out;
}

// Runs a command whose standard output is redirected by the caller; diagnostics are dropped.
int RunTool(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str());
}

struct LegacyCase {
  std::string name;
  uint16_t method;
  uint16_t flag;  // implode: bit 1 = 8 KB dictionary, bit 2 = three trees
  std::vector<uint8_t> data;
  int clear_every = 0;  // shrink only
};

ZipEntry MakeEntry(const LegacyCase& c) {
  ZipEntry e;
  e.name = c.name;
  e.method = c.method;
  e.flag = c.flag;
  e.version_needed = 10;
  if (c.method == 1) {
    e.data = testing::Shrink(c.data, c.clear_every);
  } else if (c.method == 6) {
    e.data = testing::Implode(c.data, (c.flag & 2) != 0, (c.flag & 4) != 0);
  } else {
    e.data = testing::Reduce(c.data, c.method - 1);
  }
  e.uncompressed_size = static_cast<int64_t>(c.data.size());
  e.crc = Crc32Of(c.data);
  return e;
}

std::vector<LegacyCase> ShrinkAndImplodeCases() {
  return {
      {"shrunk-text.txt", 1, 0, Text(50000)},
      // Fills the code table several times: 13-bit codes and partial clears.
      {"shrunk-large.txt", 1, 0, Text(300000)},
      {"shrunk-zeros.bin", 1, 0, std::vector<uint8_t>(70000, 0)},
      {"shrunk-clears.txt", 1, 0, Text(80000, 9), 500},
      {"shrunk-random.bin", 1, 0, testing::RandomBytes(20000, 4)},
      {"imploded-4k-2.bin", 6, 0, Repeated(4000, 60000)},
      {"imploded-8k-2.bin", 6, 2, Repeated(8000, 60000)},
      {"imploded-4k-3.txt", 6, 4, Text(90000)},
      {"imploded-8k-3.bin", 6, 6, Repeated(7000, 60000)},
      {"imploded-zeros.bin", 6, 6, std::vector<uint8_t>(30000, 0)},
      {"imploded-zeros-2.bin", 6, 0, std::vector<uint8_t>(30000, 0)},
  };
}

std::vector<LegacyCase> ReduceCases() {
  std::vector<LegacyCase> cases;
  for (uint16_t method = 2; method <= 5; ++method) {
    const std::string factor = std::to_string(method - 1);
    cases.push_back({"reduced-" + factor + ".txt", method, 0, Text(60000, method)});
    cases.push_back({"reduced-far-" + factor + ".bin", method, 0, Repeated(250u << method, 50000)});
  }
  return cases;
}

struct Fixture {
  ScratchDir dir;
  std::string dest = dir / "out";
  UnZipper unzipper;
  std::vector<std::pair<std::string, int32_t>> failures;

  Fixture() {
    std::filesystem::create_directory(dest);
    unzipper.EditSettings([&](ComponentSettings& s) {
      s.SetExtractOptions(eoCreateDirs);
      s.SetBaseDirectory(dest);
    });
    unzipper.OnProcessItemFailure = [this](void*, ArchiveItem* item, ProcessType, ErrorClass,
                                           int32_t code) {
      failures.emplace_back(item->StoredName(), code);
    };
  }
  std::string Write(const ZipBuilder& b) {
    const std::string path = dir / "legacy.zip";
    testing::WriteFile(path, b.Build());
    return path;
  }
};

TEST(LegacyMethodsTest, EveryMethodExtractsAndTests) {
  Fixture f;
  ZipBuilder b;
  std::vector<LegacyCase> cases = ShrinkAndImplodeCases();
  for (auto& c : ReduceCases()) cases.push_back(c);
  for (const LegacyCase& c : cases) b.entries.push_back(MakeEntry(c));
  f.unzipper.OpenArchive(f.Write(b));
  f.unzipper.ExtractFiles("*.*");
  f.unzipper.TestFiles("*.*");
  EXPECT_TRUE(f.failures.empty()) << f.failures.front().first;
  for (const LegacyCase& c : cases) {
    EXPECT_EQ(testing::ReadFile(f.dest + "/" + c.name), c.data) << c.name;
  }
}

TEST(LegacyMethodsTest, ShrinkAndImplodeAgreeWithOtherTools) {
  const bool have_7z = testing::HaveTool("7zz");
  const bool have_unzip = testing::HaveTool("unzip");
  if (!have_7z && !have_unzip) GTEST_SKIP() << "neither 7zz nor unzip is installed";
  Fixture f;
  ZipBuilder b;
  const auto cases = ShrinkAndImplodeCases();
  for (const LegacyCase& c : cases) b.entries.push_back(MakeEntry(c));
  const std::string zip = f.Write(b);
  f.unzipper.OpenArchive(zip);
  f.unzipper.ExtractFiles("*.*");
  EXPECT_TRUE(f.failures.empty());
  const std::string other = f.dir / "other";
  for (const LegacyCase& c : cases) {
    const auto ours = testing::ReadFile(f.dest + "/" + c.name);
    EXPECT_EQ(ours, c.data) << c.name;
    if (have_7z) {
      ASSERT_EQ(RunTool("7zz e -so '" + zip + "' '" + c.name + "' > '" + other + "'"), 0) << c.name;
      EXPECT_EQ(testing::ReadFile(other), ours) << "7zz " << c.name;
    }
    // Info-ZIP refuses some streams with partial clears sent before the code table is full (a code
    // whose only child the clear removed, sent right after it), which 7-Zip and this decoder read
    // alike; PKZIP clears only a full table, so only such streams go to unzip.
    if (have_unzip && c.clear_every == 0) {
      ASSERT_EQ(RunTool("unzip -p '" + zip + "' '" + c.name + "' > '" + other + "'"), 0) << c.name;
      EXPECT_EQ(testing::ReadFile(other), ours) << "unzip " << c.name;
    }
  }
}

TEST(LegacyMethodsTest, DamagedDataFailsTheItemAndNothingIsPlaced) {
  Fixture f;
  testing::WriteFile(f.dest + "/shrunk-text.txt", "precious");
  ZipEntry shrunk = MakeEntry({"shrunk-text.txt", 1, 0, Text(20000)});
  shrunk.data[shrunk.data.size() / 2] ^= 0x21;
  // A reduced item whose data decodes to more than it declares: cut at the declared size, which
  // then fails the CRC test.
  ZipEntry reduced = MakeEntry({"reduced.txt", 3, 0, Text(20000)});
  reduced.uncompressed_size = 100;
  ZipEntry truncated = MakeEntry({"imploded.txt", 6, 6, Text(20000)});
  truncated.data.resize(truncated.data.size() / 3);
  ZipBuilder b;
  b.entries = {shrunk, reduced, truncated};
  f.unzipper.OpenArchive(f.Write(b));
  f.unzipper.ExtractFiles("*.*");
  ASSERT_EQ(f.failures.size(), 3u);
  EXPECT_EQ(f.failures[0].second, 23);
  EXPECT_EQ(f.failures[1].second, 23);
  EXPECT_EQ(f.failures[2].second, 23);
  EXPECT_EQ(testing::ReadFile(f.dest + "/shrunk-text.txt"), testing::Bytes("precious"));
  EXPECT_FALSE(std::filesystem::exists(f.dest + "/reduced.txt"));
  EXPECT_FALSE(std::filesystem::exists(f.dest + "/imploded.txt"));
}

TEST(LegacyMethodsTest, AnItemRunsOnIntoTheNextPartOfASpannedSet) {
  // set.z01 holds the spanning signature, the local header and the first part of the data; set.zip
  // the rest of the data, the central directory and the end record (disk 1).
  Fixture f;
  const auto data = Text(40000, 17);
  for (uint16_t method : {1, 3, 6}) {
    ZipBuilder b;
    b.prefix = {0x50, 0x4B, 0x07, 0x08};
    b.entries = {MakeEntry({"spanned.txt", method, 6, data})};
    const size_t compressed = b.entries[0].data.size();
    std::vector<uint8_t> whole = b.Build();
    const size_t split = 4 + 30 + 11 + compressed / 2;
    const size_t end_record = whole.size() - 22;
    const uint32_t directory = testing::Le32(whole, end_record + 16);
    whole[end_record + 4] = 1;  // this disk
    whole[end_record + 6] = 1;  // disk of the central directory
    const uint32_t moved = directory - static_cast<uint32_t>(split);
    for (int i = 0; i < 4; ++i) whole[end_record + 16 + i] = static_cast<uint8_t>(moved >> (8 * i));
    testing::WriteFile(f.dir / "set.z01",
                       std::vector<uint8_t>(whole.begin(), whole.begin() + split));
    testing::WriteFile(f.dir / "set.zip", std::vector<uint8_t>(whole.begin() + split, whole.end()));
    std::filesystem::remove(f.dest + "/spanned.txt");
    f.unzipper.OpenArchive(f.dir / "set.zip");
    f.unzipper.ExtractFiles("*.*");
    f.unzipper.CloseArchive();
    EXPECT_TRUE(f.failures.empty()) << "method " << method;
    EXPECT_EQ(testing::ReadFile(f.dest + "/spanned.txt"), data) << "method " << method;
  }
}

// Encrypts an entry's data as zip -P does, checked against the CRC-32 of the plain data.
ZipEntry Encrypted(ZipEntry e, const std::string& password) {
  MemoryStream out;
  DfEncryptStream encrypt(out, static_cast<uint32_t>(e.crc), password, SeededRandomBytes(7));
  encrypt.WriteBuffer(e.data);
  e.data = out.Data();
  e.flag |= 1;
  return e;
}

TEST(LegacyMethodsTest, EncryptedItemsFollowThePasswordTable) {
  const std::string secret = "s3cret";
  const auto plain = Text(12000, 21);
  const LegacyCase kinds[] = {
      {"shrunk.txt", 1, 0, plain}, {"reduced.txt", 5, 0, plain}, {"imploded.txt", 6, 4, plain}};
  struct Case {
    std::string preset;
    std::vector<std::string> answers;  // handler answers in order; none: no handler
    int expected_requests;
    int32_t expected_code;  // 0: extracted
  };
  // Three attempts in all, the first with the archive's password; after the last failed attempt
  // one more answer is asked for and not tried. Without a handler the first failure ends it.
  const Case cases[] = {
      {secret, {}, 0, 0},
      {"wrong", {"bad", secret}, 2, 0},
      {"", {secret}, 1, 0},
      {"wrong", {"a", "b", secret}, 3, 4},
      {"wrong", {}, 0, 4},
      {"", {}, 0, 4},
      // An empty answer is tried like any other.
      {"wrong", {"", secret}, 2, 0},
  };
  for (const LegacyCase& kind : kinds) {
    for (const Case& c : cases) {
      Fixture f;
      ZipBuilder b;
      b.entries = {Encrypted(MakeEntry(kind), secret), MakeEntry({"after.txt", 1, 0, plain})};
      f.unzipper.EditSettings([&](ComponentSettings& s) { s.SetPassword(c.preset); });
      size_t next = 0;
      int requests = 0;
      if (!c.answers.empty()) {
        f.unzipper.OnNeedPassword = [&](void*, std::string& answer) {
          ++requests;
          answer = next < c.answers.size() ? c.answers[next++] : std::string();
        };
      }
      f.unzipper.OpenArchive(f.Write(b));
      f.unzipper.ExtractFiles("*.*");
      const std::string label = kind.name + " preset '" + c.preset + "'";
      EXPECT_EQ(requests, c.expected_requests) << label;
      EXPECT_EQ(testing::ReadFile(f.dest + "/after.txt"), plain) << label;
      if (c.expected_code == 0) {
        EXPECT_TRUE(f.failures.empty()) << label;
        EXPECT_EQ(testing::ReadFile(f.dest + "/" + kind.name), plain) << label;
      } else {
        ASSERT_EQ(f.failures.size(), 1u) << label;
        EXPECT_EQ(f.failures[0].second, c.expected_code) << label;
        EXPECT_FALSE(std::filesystem::exists(f.dest + "/" + kind.name)) << label;
      }
    }
  }
}

TEST(LegacyMethodsTest, EncryptedImplodedItemAgreesWithUnzip) {
  if (!testing::HaveTool("unzip")) GTEST_SKIP() << "unzip is not installed";
  Fixture f;
  const auto plain = Text(30000, 5);
  ZipBuilder b;
  b.entries = {Encrypted(MakeEntry({"secret.txt", 6, 6, plain}), "pw")};
  const std::string zip = f.Write(b);
  const std::string other = f.dir / "other";
  ASSERT_EQ(RunTool("unzip -P pw -p '" + zip + "' secret.txt > '" + other + "'"), 0);
  EXPECT_EQ(testing::ReadFile(other), plain);
  f.unzipper.EditSettings([&](ComponentSettings& s) { s.SetPassword("pw"); });
  f.unzipper.OpenArchive(zip);
  f.unzipper.ExtractFiles("*.*");
  EXPECT_TRUE(f.failures.empty());
  EXPECT_EQ(testing::ReadFile(f.dest + "/secret.txt"), plain);
}

}  // namespace
}  // namespace vz
