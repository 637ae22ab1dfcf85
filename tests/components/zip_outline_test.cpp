#include "components/zip_outline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

using testing::ScratchDir;
using testing::ZipBuilder;
using testing::ZipEntry;

ZipEntry Entry(const std::string& name, size_t size = 10) {
  ZipEntry e;
  e.name = name;
  e.data = testing::RandomBytes(size, static_cast<uint32_t>(name.size()));
  return e;
}

ZipBuilder ZipOf(const std::vector<std::string>& names) {
  ZipBuilder zip;
  for (const std::string& name : names) zip.entries.push_back(Entry(name));
  return zip;
}

// The tree as text: "name" for a file, "name{children}" for a folder, siblings separated by ",".
std::string Shape(const OutlineNode& node) {
  std::string out;
  for (int i = 0; i < node.ChildCount(); ++i) {
    const OutlineNode& child = node.Child(i);
    if (!out.empty()) out += ',';
    out += child.Text();
    if (child.GetKind() == OutlineNode::kFolder) out += '{' + Shape(child) + '}';
  }
  return out;
}

TEST(ZipOutlineTest, TreeShapes) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    bool hierarchy;
    std::string shape;
  };
  const Case cases[] = {
      {"folders below files",
       {"readme.txt", "docs/", "docs/a.txt", "docs/b.txt", "docs/img/c.png"},
       true,
       "readme.txt,docs{a.txt,b.txt,img{c.png}}"},
      {"only folder entries", {"a/", "a/b/", "c/"}, true, ""},
      {"names differing in case", {"A/x.txt", "a/y.txt"}, true, "A{x.txt},a{y.txt}"},
      {"a folder met again later",
       {"x/1.txt", "y/2.txt", "x/3.txt"},
       true,
       "x{1.txt,3.txt},y{2.txt}"},
      {"DOS separators and empty parts",
       {"win\\sub\\f.txt", "win//g.txt"},
       true,
       "win{sub{f.txt},g.txt}"},
      {"a file and a folder of one name", {"docs", "docs/a.txt"}, true, "docs,docs{a.txt}"},
      {"flat list",
       {"readme.txt", "docs/", "docs\\img\\c.png"},
       false,
       "readme.txt,docs/,docs/img/c.png"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteFile(dir / "t.zip", ZipOf(c.names).Build());
    ZipOutline outline;
    outline.SetHierarchy(c.hierarchy);
    outline.SetFileName(dir / "t.zip");
    EXPECT_EQ(Shape(outline.Root()), c.shape);
    EXPECT_EQ(outline.Count(), static_cast<int>(c.names.size()));
    outline.SetFileName("");
  }
}

TEST(ZipOutlineTest, FileNodesHoldTheirItemAndTheDefaultEightLines) {
  ScratchDir dir;
  testing::WriteFile(dir / "t.zip", ZipOf({"readme.txt", "docs/a.txt"}).Build());
  ZipOutline outline;
  outline.SetFileName(dir / "t.zip");
  const OutlineNode& a = outline.Root().Child(1).Child(0);
  ASSERT_EQ(a.Text(), "a.txt");
  EXPECT_EQ(a.Item(), outline.GetArchive()->ZipItems(1));
  EXPECT_EQ(a.Parent()->Text(), "docs");
  EXPECT_EQ(a.Parent()->Picture(), OutlinePicture::kFolder);
  EXPECT_EQ(a.SelectedPicture(), OutlinePicture::kFileSelected);
  std::vector<std::string> lines;
  for (int i = 0; i < a.ChildCount(); ++i) {
    EXPECT_EQ(a.Child(i).Picture(), OutlinePicture::kAttribute);
    lines.push_back(a.Child(i).Text().substr(0, a.Child(i).Text().find(':')));
  }
  EXPECT_EQ(lines,
            (std::vector<std::string>{"Compressed Size", "Uncompressed Size", "Compression Method",
                                      "Compression Ratio", "CRC", "External File Attributes",
                                      "Encryption", "Time Stamp"}));
  outline.SetAttributes(1 << zaCRC | 1 << zaComment);
  EXPECT_EQ(outline.Root().Child(0).ChildCount(), 2);
}

// Every line of one item, with all twelve attributes on.
TEST(ZipOutlineTest, AttributeLinesAndTheirFormats) {
  struct Case {
    const char* what;
    ZipEntry entry;
    std::vector<std::string> lines;
  };
  ZipEntry deflated = Entry("d.bin", 430);
  deflated.method = 8;
  deflated.uncompressed_size = 1000;
  deflated.crc = 0x0ABCDEF1;
  deflated.external_attributes = 0x27;  // read-only, hidden, system, archive
  deflated.internal_attributes = 1;
  deflated.version_made = 0x031E;  // Unix, 3.0
  deflated.version_needed = 20;
  deflated.comment = "made by hand";
  ZipEntry encrypted = deflated;  // the same data behind a 12-byte encryption header
  encrypted.data.resize(442);
  encrypted.flag = 1;
  encrypted.external_attributes = 0;  // (the folder bit would make it a folder, not shown)
  encrypted.internal_attributes = 0;
  encrypted.date = 0;
  encrypted.time = 0;
  encrypted.comment.clear();
  ZipEntry unix_made = deflated;  // a Unix mode and no DOS bits; a little larger than its data
  unix_made.external_attributes = 0100644u << 16;
  unix_made.data.resize(1003);
  unix_made.comment.clear();
  ZipEntry odd = Entry("odd", 0);
  odd.method = 200;           // not a method anyone names
  odd.date = 0x5A21 + 0x1A0;  // month 13
  const Case cases[] = {
      {"deflated",
       deflated,
       {"Compressed Size: 430", "Uncompressed Size: 1000", "Compression Method: Deflated",
        "Compression Ratio: 57%", "CRC: ABCDEF1", "External File Attributes: rhsa",
        "File Type: Text", "Encryption: Not Encrypted", "Time Stamp: 01/01/25 12:00:00",
        "Made by Version: 3.00", "Version Needed to Extract: 2.00", "Comment: made by hand"}},
      {"encrypted (the ratio of the sizes shown)",
       encrypted,
       {"Compressed Size: 442", "Uncompressed Size: 1000", "Compression Method: Deflated",
        "Compression Ratio: 56%", "CRC: ABCDEF1", "External File Attributes: ", "File Type: Binary",
        "Encryption: Encrypted", "Time Stamp: Unknown", "Made by Version: 3.00",
        "Version Needed to Extract: 2.00", "Comment: "}},
      {"made on Unix, no saving",
       unix_made,
       {"Compressed Size: 1003", "Uncompressed Size: 1000", "Compression Method: Deflated",
        "Compression Ratio:  0%", "CRC: ABCDEF1", "External File Attributes: -rw-r--r--",
        "File Type: Text", "Encryption: Not Encrypted", "Time Stamp: 01/01/25 12:00:00",
        "Made by Version: 3.00", "Version Needed to Extract: 2.00", "Comment: "}},
      {"empty, unknown method, impossible date",
       odd,
       {"Compressed Size: 0", "Uncompressed Size: 0", "Compression Method: Method 200",
        "Compression Ratio:  0%", "CRC: 0", "External File Attributes: a", "File Type: Binary",
        "Encryption: Not Encrypted", "Time Stamp: Unknown", "Made by Version: 2.00",
        "Version Needed to Extract: 2.00", "Comment: "}},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipBuilder zip;
    zip.entries.push_back(c.entry);
    testing::WriteFile(dir / "t.zip", zip.Build());
    ZipOutline outline;
    outline.SetAttributes(0x0FFF);
    outline.SetFileName(dir / "t.zip");
    const OutlineNode& file = outline.Root().Child(0);
    std::vector<std::string> lines;
    for (int i = 0; i < file.ChildCount(); ++i) lines.push_back(file.Child(i).Text());
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(ZipOutlineTest, MethodNamesUseTheLowByteModulo128) {
  const std::pair<uint16_t, const char*> cases[] = {{0, "Stored"},
                                                    {1, "Shrunk"},
                                                    {5, "Reduced"},
                                                    {6, "Imploded"},
                                                    {9, "Enhanced Deflation"},
                                                    {11, "Best Method"},
                                                    {136, "Deflated"},
                                                    {0x0108, "Deflated"},
                                                    {12, "BZip2"},
                                                    {93, "Zstandard"},
                                                    {99, "AES"}};
  for (const auto& [method, name] : cases) EXPECT_EQ(CompressionMethodName(method), name);
}

struct Events {
  int changes = 0;
  std::string hooks;
  void Watch(ZipOutline& outline) {
    outline.OnChange = [this](void*) { ++changes; };
    outline.view.before_rebuild = [this] { hooks += '['; };
    outline.view.after_rebuild = [this] { hooks += ']'; };
    outline.view.full_expand = [this] { hooks += 'e'; };
  }
};

// A missing name becomes an empty zip that other tools open; a missing folder fails and raises
// no OnChange; a file that is not a zip fails to load, shows nothing, and is never written.
TEST(ZipOutlineTest, OpeningCreatesMissingZipsAndNeverWritesOverExistingFiles) {
  ScratchDir dir;
  ZipOutline outline;
  Events events;
  events.Watch(outline);

  outline.SetFileName(dir / "new.zip");
  EXPECT_EQ(events.changes, 1);
  EXPECT_EQ(events.hooks, "[]");  // rebuilt, empty, not expanded
  const auto bytes = testing::ReadFile(dir / "new.zip");
  ASSERT_EQ(bytes.size(), 22u);
  EXPECT_EQ(bytes[0], 0x50);
  EXPECT_EQ(bytes[3], 0x06);
  if (testing::HaveTool("unzip")) {
    EXPECT_EQ(std::system(("unzip -tqq " + (dir / "new.zip") + " >/dev/null 2>&1").c_str()) >> 8, 1)
        << "unzip calls an empty zip a warning (1), not an error";
  }

  EXPECT_THROW(outline.SetFileName(dir / "no/such/folder.zip"), std::exception);
  EXPECT_EQ(events.changes, 1);

  // Opening and closing valid zips, empty or not, and a damaged one rewrites none of them.
  testing::WriteFile(dir / "t.zip", ZipOf({"x/1.txt"}).Build());
  testing::WriteFile(dir / "bad.zip", std::string(300, 'z'));
  // A file written again, or replaced, has a new time (to the nanosecond) or a new size.
  const std::string names[3] = {dir / "new.zip", dir / "t.zip", dir / "bad.zip"};
  auto identity = [](const std::string& name) {
    return std::make_pair(std::filesystem::last_write_time(name), std::filesystem::file_size(name));
  };
  decltype(identity(names[0])) before[3];
  for (int i = 0; i < 3; ++i) before[i] = identity(names[i]);
  outline.SetFileName(names[0]);
  outline.SetFileName(names[1]);
  EXPECT_EQ(events.changes, 3);
  events.hooks.clear();
  EXPECT_THROW(outline.SetFileName(names[2]), ZipInvalidError);
  EXPECT_EQ(events.changes, 3);
  EXPECT_EQ(events.hooks, "[]");  // emptied with the old archive, never rebuilt
  EXPECT_EQ(outline.Root().ChildCount(), 0);
  outline.SetHierarchy(false);  // a rebuild shows nothing of the failed archive
  EXPECT_EQ(outline.Root().ChildCount(), 0);
  outline.SetFileName(names[1]);
  outline.SetFileName("");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(identity(names[i]) == before[i]) << names[i];
}

TEST(ZipOutlineTest, ANewFileNameWhileTheArchiveIsBusyIsRefused) {
  ScratchDir dir;
  testing::WriteFile(dir / "a.zip", ZipOf({"1", "2", "3"}).Build());
  testing::WriteFile(dir / "b.zip", ZipOf({"4"}).Build());
  ZipOutline outline;
  int refused = 0;
  outline.OnArchiveProgress = [&](void* sender, uint8_t, bool&) {
    EXPECT_EQ(sender, &outline);
    try {
      outline.SetFileName(dir / "b.zip");
    } catch (const ArchiveBusyError&) {
      ++refused;
    }
  };
  outline.SetFileName(dir / "a.zip");
  EXPECT_GT(refused, 0);
  EXPECT_EQ(outline.FileName(), dir / "a.zip");
  EXPECT_EQ(Shape(outline.Root()), "1,2,3");
}

// The outline's archive can do all an archive does: its extraction and insertion procedures
// are installed, and pending changes are saved when the file changes.
TEST(ZipOutlineTest, ExtractsAddsAndSavesPendingChangesWithMetersDrivenDirectly) {
  ScratchDir dir;
  ZipBuilder zip = ZipOf({"docs/a.txt", "b.txt"});
  zip.entries[0].data = testing::RandomBytes(300000);
  testing::WriteFile(dir / "t.zip", zip.Build());
  std::filesystem::create_directory(dir / "out");
  testing::WriteFile(dir / "new.txt", "a new file");

  ZipOutline outline;
  auto item_meter = std::make_unique<Meter>();
  Meter archive_meter;
  int item_moves = 0, archive_moves = 0;
  item_meter->OnRepaint = [&] { ++item_moves; };
  archive_meter.OnRepaint = [&] { ++archive_moves; };
  outline.SetItemProgressMeter(item_meter.get());
  outline.SetArchiveProgressMeter(&archive_meter);
  outline.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(dir / "out"); });
  outline.SetFileName(dir / "t.zip");
  EXPECT_EQ(outline.Settings().BaseDirectory(), dir / "out");

  outline.GetArchive()->ExtractMatching("*.*");
  EXPECT_EQ(testing::ReadFile(dir / "out/a.txt"), zip.entries[0].data);  // flat by default
  EXPECT_GT(item_moves, 0);
  EXPECT_GT(archive_moves, 0);
  item_meter.reset();
  EXPECT_EQ(outline.ItemProgressMeter(), nullptr);

  outline.EditSettings(
      [&](ComponentSettings& s) { s.SetStoreOptions(soStripDrive | soStripPath); });
  ZipArchive& archive = *outline.GetArchive();
  archive.Add(archive.NewItem(dir / "new.txt"));
  outline.SetFileName("");
  outline.SetFileName(dir / "t.zip");
  EXPECT_EQ(outline.Count(), 3);
  outline.GetArchive()->ExtractMatching("new.txt");
  EXPECT_EQ(testing::ReadFile(dir / "out/new.txt"), testing::Bytes("a new file"));
}

}  // namespace
}  // namespace vz
