#include "components/unzipper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "archive/utils.h"
#include "codec/crypt_streams.h"
#include "components/zipper.h"
#include "platform/memory_stream.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

using testing::Bytes;
using testing::ScratchDir;
using testing::ZipBuilder;
using testing::ZipEntry;

ZipEntry Stored(const std::string& name, const std::string& text) {
  ZipEntry e;
  e.name = name;
  e.data = Bytes(text);
  return e;
}

ZipEntry Deflated(const std::string& name, const std::vector<uint8_t>& data) {
  ZipEntry e;
  e.name = name;
  e.method = 8;
  e.data = testing::RawDeflate(data);
  e.uncompressed_size = static_cast<int64_t>(data.size());
  e.crc = Crc32Of(data);
  return e;
}

// Encrypts an entry's stored bytes with the traditional cipher, as zip -P does.
ZipEntry Encrypted(ZipEntry e, const std::string& password, uint32_t crc) {
  MemoryStream out;
  DfEncryptStream encrypt(out, crc, password, SeededRandomBytes(7));
  encrypt.WriteBuffer(e.data);
  e.data = out.Data();
  e.flag |= 1;
  return e;
}

struct Failure {
  std::string name;
  ErrorClass error_class;
  int32_t code;
};

// An unzipper with its failures collected, extracting into a scratch folder.
struct Fixture {
  ScratchDir dir;
  std::string dest = dir / "out";
  UnZipper unzipper;
  std::vector<Failure> failures;

  Fixture() {
    std::filesystem::create_directory(dest);
    unzipper.EditSettings([&](ComponentSettings& s) {
      s.SetExtractOptions(eoCreateDirs | eoRestorePath);
      s.SetBaseDirectory(dest);
    });
    unzipper.OnProcessItemFailure = [this](void* sender, ArchiveItem* item, ProcessType,
                                           ErrorClass error_class, int32_t code) {
      EXPECT_EQ(sender, &unzipper);
      failures.push_back({item->StoredName(), error_class, code});
    };
  }
  std::string Write(const ZipBuilder& b, const std::string& name = "test.zip") {
    const std::string path = dir / name;
    testing::WriteFile(path, b.Build());
    return path;
  }
  void Extract(const ZipBuilder& b) {
    unzipper.OpenArchive(Write(b));
    unzipper.ExtractFiles("*.*");
  }
  std::string Read(const std::string& name) {
    const auto bytes = testing::ReadFile(dest + "/" + name);
    return {bytes.begin(), bytes.end()};
  }
};

TEST(UnZipperTest, ExtractsStoredAndDeflatedItemsWithTheirTimes) {
  Fixture f;
  ZipBuilder b;
  const auto big = testing::RandomBytes(100000, 3);
  std::vector<uint8_t> text;
  for (int i = 0; i < 5000; ++i) {
    const std::string line = "line " + std::to_string(i) + " of an add-on readme\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  b.entries = {Stored("a.txt", "alpha"), Stored("empty.txt", ""),
               Deflated("sub/dir/text.txt", text), Deflated("random.bin", big),
               Stored("folder/", "")};
  f.Extract(b);
  EXPECT_TRUE(f.failures.empty());
  EXPECT_EQ(f.Read("a.txt"), "alpha");
  EXPECT_EQ(f.Read("empty.txt"), "");
  EXPECT_EQ(testing::ReadFile(f.dest + "/sub/dir/text.txt"), text);
  EXPECT_EQ(testing::ReadFile(f.dest + "/random.bin"), big);
  EXPECT_TRUE(FolderExists(f.dest + "/folder"));
  // 2025-01-01 12:00:00, local time.
  EXPECT_EQ(FileDosTime(f.dest + "/a.txt"), 0x5A216000u);
  // No work files are left behind.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(f.dest)) {
    EXPECT_EQ(entry.path().filename().string().rfind("VMS", 0), std::string::npos) << entry.path();
  }
}

TEST(UnZipperTest, JunkPathsPutsFilesFlat) {
  Fixture f;
  f.unzipper.EditSettings([&](ComponentSettings& s) { s.SetExtractOptions(eoCreateDirs); });
  ZipBuilder b;
  b.entries = {Stored("deep/er/x.txt", "x"), Stored("folder/", "")};
  f.Extract(b);
  EXPECT_TRUE(f.failures.empty());
  EXPECT_EQ(f.Read("x.txt"), "x");
  EXPECT_FALSE(FolderExists(f.dest + "/deep"));
}

ZipBuilder Archive(std::vector<ZipEntry> entries) {
  ZipBuilder b;
  b.entries = std::move(entries);
  return b;
}

// Everything below folder, links not followed: relative path -> contents ("->target" for links,
// "/" for folders).
std::map<std::string, std::string> TreeOf(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (auto it = std::filesystem::recursive_directory_iterator(folder);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().lexically_relative(folder).string();
    if (it->is_symlink()) {
      tree[name] = "->" + std::filesystem::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[name] = "/";
    } else {
      const auto bytes = testing::ReadFile(it->path().string());
      tree[name] = {bytes.begin(), bytes.end()};
    }
  }
  return tree;
}

// Hostile archives and hostile destinations. Whatever the case, the folder "outside" next to the
// destination keeps its one precious file, nothing appears beside the destination, and no work
// file is left.
TEST(UnZipperTest, HostileArchivesAndDestinationsWriteNothingOutside) {
  using Tree = std::map<std::string, std::string>;
  auto link = [](Fixture& f, const std::string& from, const std::string& to) {
    std::filesystem::create_symlink(to, f.dest + "/" + from);
  };
  auto outside = [](Fixture& f) { return f.dir / "outside"; };
  ZipBuilder aliasing;
  for (int i = 0; i < 50; ++i) {
    aliasing.entries.push_back(Stored("a" + std::to_string(i), "x"));
    aliasing.entries.back().local_offset_override = 0;  // every entry at the first local header
  }
  struct Case {
    const char* label;
    ZipBuilder archive;
    std::function<void(Fixture&)> arrange;
    std::vector<int32_t> codes;  // the failures, in order
    Tree dest;                   // the destination afterwards
  };
  std::vector<Case> cases = {
      {"names that climb out",
       Archive({Stored("../escape.txt", "x"), Stored("/tmp/vz-absolute.txt", "x"),
                Stored("C:\\evil.txt", "x"), Stored("a/../../escape2.txt", "x"),
                Stored("..\\escape3.txt", "x"), Stored("fine.txt", "ok")}),
       {},
       {45, 45, 45, 45, 45},
       {{"fine.txt", "ok"}}},
      {"a link to a folder outside, over an existing file",
       Archive({Stored("d/file", "new")}),
       [&](Fixture& f) { link(f, "d", outside(f)); },
       {45},
       {{"d", "->OUTSIDE"}}},
      {"a link to a folder outside, new files and folders",
       Archive({Stored("d/new", "new"), Stored("d/sub/new", "new"), Stored("d/sub2/", "")}),
       [&](Fixture& f) { link(f, "d", outside(f)); },
       {45, 45, 45},
       {{"d", "->OUTSIDE"}}},
      {"a link deeper down",
       Archive({Stored("real/deep/file", "new")}),
       [&](Fixture& f) {
         std::filesystem::create_directory(f.dest + "/real");
         link(f, "real/deep", outside(f));
       },
       {45},
       {{"real", "/"}, {"real/deep", "->OUTSIDE"}}},
      {"a link in place of the file is replaced, not followed",
       Archive({Stored("file", "new")}),
       [&](Fixture& f) { link(f, "file", outside(f) + "/file"); },
       {},
       {{"file", "new"}}},
      {"a link put in place of the folder while the item is extracted",
       Archive({Stored("s/f", "new"), Stored("s/g", "new")}),
       [&](Fixture& f) {
         std::filesystem::create_directory(f.dest + "/s");
         testing::WriteFile(f.dest + "/s/f", "old");
         // Asked about s/f after its folder was found: the folder moves away, a link takes its
         // place. The item still lands in the folder that was found; the next one meets the link.
         f.unzipper.OnConfirmOverwrite = [&f, &link, &outside](std::string&, bool& confirm) {
           std::filesystem::rename(f.dest + "/s", f.dest + "/moved");
           link(f, "s", outside(f));
           confirm = true;
         };
       },
       {45},
       {{"moved", "/"}, {"moved/f", "new"}, {"s", "->OUTSIDE"}}},
      {"fifty entries at one local header",
       aliasing,
       {},
       std::vector<int32_t>(49, 28),
       {{"a0", "x"}}},
  };
  for (Case& c : cases) {
    if (testing::kOnWindows && c.arrange) continue;  // each arranges a link, which Wine makes not
    Fixture f;
    std::filesystem::create_directory(outside(f));
    testing::WriteFile(outside(f) + "/file", "precious");
    if (c.arrange) c.arrange(f);
    f.Extract(c.archive);
    std::vector<int32_t> codes;
    for (const Failure& failure : f.failures) codes.push_back(failure.code);
    EXPECT_EQ(codes, c.codes) << c.label;
    for (auto& [name, contents] : c.dest) {
      if (contents == "->OUTSIDE") contents = "->" + outside(f);
    }
    EXPECT_EQ(TreeOf(f.dest), c.dest) << c.label;
    EXPECT_EQ(TreeOf(outside(f)), (Tree{{"file", "precious"}})) << c.label;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.path()), {}), 3) << c.label;
    EXPECT_FALSE(std::filesystem::exists("/tmp/vz-absolute.txt"));
  }
}

TEST(UnZipperTest, BadDataNeverReplacesAnExistingFile) {
  Fixture f;
  testing::WriteFile(f.dest + "/crc.txt", "precious");
  testing::WriteFile(f.dest + "/corrupt.bin", "precious");
  ZipBuilder b;
  ZipEntry crc = Stored("crc.txt", "new content");
  crc.crc = 12345;
  ZipEntry corrupt = Deflated("corrupt.bin", testing::RandomBytes(5000));
  corrupt.data[corrupt.data.size() / 2] ^= 0x55;
  corrupt.data.erase(corrupt.data.end() - 40, corrupt.data.end());
  b.entries = {crc, corrupt, Stored("after.txt", "still extracted")};
  f.Extract(b);
  ASSERT_EQ(f.failures.size(), 2u);
  EXPECT_EQ(f.failures[0].code, 23);
  EXPECT_EQ(f.Read("crc.txt"), "precious");
  EXPECT_EQ(f.Read("corrupt.bin"), "precious");
  EXPECT_EQ(f.Read("after.txt"), "still extracted");
}

TEST(UnZipperTest, DecompressionStopsAtTheDeclaredSize) {
  Fixture f;
  // 10 MiB of zeros that claim to be 100 bytes.
  ZipEntry bomb = Deflated("bomb.bin", std::vector<uint8_t>(10 << 20, 0));
  bomb.uncompressed_size = 100;
  bomb.crc = Crc32Of(std::vector<uint8_t>(100, 0));
  ZipBuilder b;
  b.entries = {bomb};
  f.Extract(b);
  ASSERT_EQ(f.failures.size(), 1u);
  EXPECT_EQ(f.failures[0].code, 23);
  EXPECT_FALSE(std::filesystem::exists(f.dest + "/bomb.bin"));
}

TEST(UnZipperTest, OverlappingItemsAreRefused) {
  Fixture f;
  // The outer item's data holds a complete local header and data of the inner item, and the
  // inner item's central entry points there: the classic shape of overlapping-item bombs.
  std::vector<uint8_t> inner_local;
  testing::Put32(inner_local, 0x04034B50);
  testing::Put16(inner_local, 20);
  testing::Put16(inner_local, 0);
  testing::Put16(inner_local, 0);
  testing::Put16(inner_local, 0x6000);
  testing::Put16(inner_local, 0x5A21);
  testing::Put32(inner_local, Crc32Of(Bytes("x")));
  testing::Put32(inner_local, 1);
  testing::Put32(inner_local, 1);
  testing::Put16(inner_local, 9);
  testing::Put16(inner_local, 0);
  for (char c : std::string("inner.bin")) inner_local.push_back(static_cast<uint8_t>(c));
  inner_local.push_back('x');
  ZipEntry outer;
  outer.name = "outer.bin";
  outer.data = std::vector<uint8_t>(10, 'o');
  outer.data.insert(outer.data.end(), inner_local.begin(), inner_local.end());
  ZipEntry inner = Stored("inner.bin", "x");
  inner.local_offset_override = 30 + 9 + 10;
  ZipBuilder b;
  b.entries = {outer, inner};
  f.Extract(b);
  ASSERT_EQ(f.failures.size(), 1u);
  EXPECT_EQ(f.failures[0].name, "inner.bin");
  EXPECT_EQ(f.failures[0].code, 28);
  EXPECT_FALSE(std::filesystem::exists(f.dest + "/inner.bin"));
  // Either item alone is fine.
  Fixture g;
  g.unzipper.OpenArchive(g.Write(b));
  g.unzipper.ExtractFiles("inner.bin");
  EXPECT_TRUE(g.failures.empty());
  EXPECT_EQ(g.Read("inner.bin"), "x");
}

TEST(UnZipperTest, UnsupportedMethodsAndVersionsFailAndExtractionGoesOn) {
  Fixture f;
  ZipEntry ppmd = Stored("m98.bin", "data");
  ppmd.method = 98;
  ZipEntry newer = Stored("v64.bin", "data");
  newer.version_needed = 64;  // above 6.3, the newest version whose features are read
  ZipBuilder b;
  b.entries = {ppmd, newer, Stored("ok.txt", "ok")};
  f.Extract(b);
  ASSERT_EQ(f.failures.size(), 2u);
  EXPECT_EQ(f.failures[0].code, 2);
  EXPECT_EQ(f.failures[1].code, 1);
  EXPECT_EQ(f.Read("ok.txt"), "ok");
}

TEST(UnZipperTest, OverwriteQuestionAndConfirmationVeto) {
  Fixture f;
  testing::WriteFile(f.dest + "/keep.txt", "old");
  testing::WriteFile(f.dest + "/replace.txt", "old");
  std::vector<std::string> asked;
  f.unzipper.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    asked.push_back(name);
    confirm = name.find("replace") != std::string::npos;
  };
  f.unzipper.OnConfirmProcessItem = [](void*, ArchiveItem* item, ProcessType type, bool& confirm) {
    EXPECT_EQ(type, ptExtract);
    confirm = item->StoredName() != "vetoed.txt";
  };
  ZipBuilder b;
  b.entries = {Stored("keep.txt", "new"), Stored("replace.txt", "new"), Stored("vetoed.txt", "new"),
               Stored("fresh.txt", "new")};
  f.Extract(b);
  EXPECT_TRUE(f.failures.empty());
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], f.dest + testing::portable::Native("/keep.txt"));
  EXPECT_EQ(f.Read("keep.txt"), "old");
  EXPECT_EQ(f.Read("replace.txt"), "new");
  EXPECT_FALSE(std::filesystem::exists(f.dest + "/vetoed.txt"));
  EXPECT_EQ(f.Read("fresh.txt"), "new");
}

TEST(UnZipperTest, PasswordRetriesFollowTheTable) {
  const std::string secret = "s3cret";
  const auto plain = testing::RandomBytes(3000, 11);
  ZipEntry stored;
  stored.name = "stored.bin";
  stored.data = plain;
  stored = Encrypted(stored, secret, Crc32Of(plain));
  stored.crc = Crc32Of(plain);
  stored.uncompressed_size = static_cast<int64_t>(plain.size());
  ZipEntry deflated = Deflated("deflated.bin", plain);
  deflated = Encrypted(deflated, secret, Crc32Of(plain));

  struct Case {
    ZipEntry entry;
    std::string preset;
    std::vector<std::string> answers;  // handler answers in order
    int expected_requests;
    int32_t expected_code;  // 0: extracted
  };
  const Case cases[] = {
      {stored, secret, {}, 0, 0},
      {stored, "wrong", {"bad1", secret}, 2, 0},
      {stored, "", {secret}, 1, 0},
      {stored, "wrong", {"a", "b", "c"}, 3, 4},
      {stored, "wrong", {"a", ""}, 2, 9},
      {deflated, secret, {}, 0, 0},
      {deflated, "wrong", {"x", secret}, 2, 0},
      // A wrong preset: three requests, two answers tried, then the item fails.
      {deflated, "wrong", {"x", "y", "z"}, 3, 4},
      {deflated, "", {}, 0, 4},
  };
  for (const Case& c : cases) {
    Fixture f;
    ZipBuilder b;
    b.entries = {c.entry};
    f.unzipper.EditSettings([&](ComponentSettings& s) { s.SetPassword(c.preset); });
    size_t next = 0;
    int requests = 0;
    if (!c.answers.empty()) {
      f.unzipper.OnNeedPassword = [&](void*, std::string& answer) {
        ++requests;
        answer = next < c.answers.size() ? c.answers[next++] : std::string();
      };
    }
    // Giving up at the password prompt ends the whole run after the item is reported.
    bool aborted = false;
    try {
      f.Extract(b);
    } catch (const UserAbortError&) {
      aborted = true;
    }
    EXPECT_EQ(aborted, c.expected_code == 9);
    EXPECT_EQ(requests, c.expected_requests) << c.entry.name << " preset '" << c.preset << "'";
    if (c.expected_code == 0) {
      EXPECT_TRUE(f.failures.empty()) << c.entry.name;
      EXPECT_EQ(testing::ReadFile(f.dest + "/" + c.entry.name), plain);
    } else {
      ASSERT_EQ(f.failures.size(), 1u) << c.entry.name;
      EXPECT_EQ(f.failures[0].code, c.expected_code)
          << c.entry.name << " preset '" << c.preset << "'";
      EXPECT_FALSE(std::filesystem::exists(f.dest + "/" + c.entry.name));
    }
  }
}

TEST(UnZipperTest, FileNameChecks) {
  Fixture f;
  ZipBuilder b;
  b.entries = {Stored("a.txt", "a")};
  const std::string good = f.Write(b, "X.ZIP");
  f.unzipper.OpenArchive(good);
  EXPECT_EQ(f.unzipper.ItemCount(), 1);
  // A missing file is refused and the open archive stays usable.
  EXPECT_THROW(f.unzipper.OpenArchive(f.dir / "missing.zip"), FileNotFoundError);
  EXPECT_EQ(f.unzipper.FileName(), good);
  f.unzipper.ExtractFiles("*.*");
  EXPECT_EQ(f.Read("a.txt"), "a");
  // An empty file is refused by the unzipper.
  testing::WriteFile(f.dir / "empty.zip", "");
  EXPECT_THROW(f.unzipper.OpenArchive(f.dir / "empty.zip"), BadStreamError);
  // A zip under another extension is an unhandled type; the case of the extension is ignored.
  const std::string dat = f.Write(b, "x.dat");
  EXPECT_THROW(f.unzipper.OpenArchive(dat), UnhandledTypeError);
  EXPECT_EQ(f.unzipper.GetArchive(), nullptr);
  f.unzipper.OpenArchive(f.Write(b, "x.Zip"));
  EXPECT_EQ(f.unzipper.ItemCount(), 1);
  int changes = 0;
  f.unzipper.OnChange = [&](void*) { ++changes; };
  f.unzipper.CloseArchive();
  f.unzipper.CloseArchive();
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(f.unzipper.ExtractFiles("*.*"), NoArchiveError);
}

// Whatever a component does after a zip failed to open (opening another file, closing), the
// file stays as it was: same bytes, same inode (a save would have renamed a new file over it).
TEST(UnZipperTest, AZipThatFailedToOpenIsNeverWritten) {
  ScratchDir dir;
  ZipBuilder b;
  b.entries = {Stored("a.txt", "a")};
  const std::vector<uint8_t> good = b.Build();
  std::vector<uint8_t> damaged = good;
  // The end record is found, the central directory it points at is not.
  for (size_t i = 0; i + 4 <= damaged.size(); ++i) {
    if (damaged[i] == 'P' && damaged[i + 1] == 'K' && damaged[i + 2] == 1) damaged[i + 2] = 9;
  }
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool base_gone;   // the component's base folder was deleted after it was set
    bool zipper_too;  // a zipper saves an unchanged empty zip on purpose (a new file's end record)
  } cases[] = {
      {"damaged directory", damaged, false, true},
      {"base folder deleted", good, true, true},
      {"empty zip, unchanged", ZipBuilder().Build(), false, false},
  };
  testing::WriteFile(dir / "other.zip", good);
  for (const auto& c : cases) {
    for (const bool zipper : {false, true}) {
      if (zipper && !c.zipper_too) continue;
      SCOPED_TRACE(std::string(c.name) + (zipper ? ", zipper" : ", unzipper"));
      const std::string file = dir / "victim.zip";
      testing::WriteFile(file, c.bytes);
      struct stat before {};
      ASSERT_EQ(::stat(file.c_str(), &before), 0);
      std::filesystem::create_directory(dir / "base");
      UnZipper unzipper;
      Zipper zipper_component;
      BaseBrowser& component = zipper ? static_cast<BaseBrowser&>(zipper_component) : unzipper;
      component.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(dir / "base"); });
      if (c.base_gone) std::filesystem::remove(dir / "base");
      try {
        component.SetFileName(file);
      } catch (const std::exception&) {
      }
      if (c.base_gone) component.EditSettings([](ComponentSettings& s) { s.SetBaseDirectory(""); });
      component.SetFileName(dir / "other.zip");
      component.CloseArchive();
      struct stat after {};
      ASSERT_EQ(::stat(file.c_str(), &after), 0);
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(testing::ReadFile(file), c.bytes);
      std::filesystem::remove(dir / "base");
    }
  }
}

class RecordingMeter : public MeterLink {
 public:
  void DoProgress(uint8_t progress) override { values.push_back(progress); }
  void Reset() override { ++resets; }
  std::vector<int> values;
  int resets = 0;
};

TEST(UnZipperTest, MetersAndEventsBothReceiveProgress) {
  Fixture f;
  RecordingMeter item_meter, archive_meter;
  f.unzipper.SetItemProgressMeter(&item_meter);
  f.unzipper.SetArchiveProgressMeter(&archive_meter);
  std::vector<int> archive_events;
  f.unzipper.OnArchiveProgress = [&](void*, uint8_t p, bool&) { archive_events.push_back(p); };
  ZipBuilder b;
  b.entries = {Stored("a.txt", std::string(5000, 'a')), Stored("b.txt", "")};
  f.Extract(b);
  EXPECT_EQ(archive_meter.values.back(), 100);
  EXPECT_EQ(archive_events.back(), 100);
  EXPECT_EQ(item_meter.values.back(), 100);
  EXPECT_GE(item_meter.resets, 2);  // before each item
  // A mask that matches nothing still reports progress for every item, then 100.
  archive_events.clear();
  f.unzipper.ExtractFiles("*.none");
  EXPECT_EQ(archive_events, (std::vector<int>{50, 100, 100}));
}

}  // namespace
}  // namespace vz
