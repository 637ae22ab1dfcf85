// ZIP64, the library methods, WinZip AES, Unicode names and exact times between vzip and other
// zip tools: archives those tools make in the test are read by vzip, what vzip writes is read by
// them, and damaged or lying records fail with a clear message and nothing placed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "cli_test_support.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

namespace fs = std::filesystem;
using testing::HaveTool;
using testing::Quote;
using testing::Shell;
using testing::Vzip;

// 2024-03-15 10:20:31 UTC: an odd second, which a DOS time cannot hold.
constexpr int64_t kOddSecond = 1710498031;

// Files with compressible text, random bytes and a non-ASCII name, all dated kOddSecond.
struct Tree {
  testing::ScratchDir dir;
  std::string root = dir / "src";
  std::map<std::string, std::vector<uint8_t>> files;

  Tree() {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "Runway " + std::to_string(i * 7919 % 1000) + " lit\n";
    files["notes.txt"] = {text.begin(), text.end()};
    files["data/random.bin"] = testing::RandomBytes(40000, 3);
    files["\xE2\x82\xACuro.txt"] = testing::Bytes("euro");
    for (const auto& [name, data] : files) {
      const std::string path = root + "/" + name;
      fs::create_directories(fs::path(path).parent_path());
      testing::WriteFile(path, data);
      SetTime(path, kOddSecond);
    }
  }
  static void SetTime(const std::string& path, int64_t seconds) {
    fs::last_write_time(
        path, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(seconds)));
  }
  std::string Names() const {
    std::string list;
    for (const auto& [name, data] : files) list += " " + Quote(name);
    return list;
  }
  // Runs command in the source folder; OUT in it stands for the archive's path.
  int Make(std::string command, const std::string& archive) const {
    for (size_t at; (at = command.find("OUT")) != std::string::npos;) {
      command.replace(at, 3, Quote(archive));
    }
    const auto r = Shell("cd " + Quote(root) + " && " + command);
    if (r.status != 0) std::printf("%s\n", r.output.c_str());
    return r.status;
  }
};

// The regular files below a folder with their bytes.
std::map<std::string, std::vector<uint8_t>> FilesBelow(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> found;
  if (!fs::exists(folder)) return found;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) {
      found[fs::relative(e.path(), folder).string()] = testing::ReadFile(e.path().string());
    }
  }
  return found;
}

int64_t TimeOf(const std::string& path) {
  return std::chrono::duration_cast<std::chrono::seconds>(
             fs::file_time_type::clock::to_sys(fs::last_write_time(path)).time_since_epoch())
      .count();
}

// A Python script that zips the named files of the current folder: python3 -c SCRIPT OUT
// COMPRESSION FORCE_ZIP64 NAME...
constexpr const char* kPythonZip =
    "import sys, zipfile\n"
    "out, method, force = sys.argv[1], getattr(zipfile, sys.argv[2]), sys.argv[3] == '1'\n"
    "with zipfile.ZipFile(out, 'w', method) as z:\n"
    "    for n in sys.argv[4:]:\n"
    "        with open(n, 'rb') as f, z.open(n, 'w', force_zip64=force) as o:\n"
    "            o.write(f.read())\n";

std::string PythonZip(const std::string& method, bool force_zip64, const std::string& names) {
  return "python3 -c " + Quote(kPythonZip) + " OUT " + method + (force_zip64 ? " 1" : " 0") + names;
}

TEST(FormatsInteropTest, ArchivesOfOtherToolsTestAndExtract) {
  Tree tree;
  struct Case {
    const char* label;
    const char* tool;
    std::string command;
    const char* password;
    bool optional;  // the tool may not offer this (bsdtar's zip methods depend on its version)
  };
  const Case cases[] = {
      {"zip -fz", "zip", "zip -q -fz OUT" + tree.Names(), nullptr, false},
      {"7zz BZip2", "7zz", "7zz a -tzip -bd -bso0 -mm=BZip2 OUT" + tree.Names(), nullptr, false},
      {"7zz LZMA", "7zz", "7zz a -tzip -bd -bso0 -mm=LZMA OUT" + tree.Names(), nullptr, false},
      {"7zz Deflate64 AES-256", "7zz",
       "7zz a -tzip -bd -bso0 -mm=Deflate64 -mem=AES256 -p'p w' OUT" + tree.Names(), "p w", false},
      {"7zz AES-128 stored", "7zz",
       "7zz a -tzip -bd -bso0 -mm=Copy -mem=AES128 -p'p w' OUT" + tree.Names(), "p w", false},
      {"python bzip2", "python3", PythonZip("ZIP_BZIP2", false, tree.Names()), nullptr, false},
      {"python lzma zip64", "python3", PythonZip("ZIP_LZMA", true, tree.Names()), nullptr, false},
      {"python stored zip64", "python3", PythonZip("ZIP_STORED", true, tree.Names()), nullptr,
       false},
      {"bsdtar xz", "bsdtar",
       "bsdtar --format zip --options zip:compression=xz -cf OUT" + tree.Names(), nullptr, true},
      {"bsdtar zstd", "bsdtar",
       "bsdtar --format zip --options zip:compression=zstd -cf OUT" + tree.Names(), nullptr, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (!HaveTool(c.tool)) continue;
    const std::string archive = tree.dir / ("a" + std::to_string(++n) + ".zip");
    if (tree.Make(c.command, archive) != 0) {
      if (c.optional) continue;  // this bsdtar writes no such zip
      ADD_FAILURE() << "the oracle could not make the archive";
      continue;
    }
    const std::string password = c.password ? " -P " + Quote(c.password) : "";
    const auto test = Shell(Vzip("test " + Quote(archive) + password));
    EXPECT_EQ(test.status, 0) << test.output;
    const std::string out = tree.dir / ("out" + std::to_string(n));
    const auto extract = Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(out) + password));
    EXPECT_EQ(extract.status, 0) << extract.output;
    EXPECT_EQ(FilesBelow(out), tree.files);
  }
}

TEST(FormatsInteropTest, WhatWeWriteOtherToolsTest) {
  Tree tree;
  // What each reader runs on an archive (PW: the password) and which methods it knows.
  const std::map<std::string, std::string> readers = {
      {"unzip", "unzip -tq OUT"},
      {"7zz", "7zz t -bd -bso0 -pPW OUT"},
      {"python3",
       "python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not "
       "None)' OUT"},
  };
  struct Case {
    const char* options;
    const char* method;  // as 7-Zip names it
    std::set<std::string> readers;
  };
  const Case cases[] = {
      {"-m bzip2", "BZip2", {"unzip", "7zz", "python3"}},
      {"-m lzma", "LZMA", {"7zz", "python3"}},
      {"-m xz", "xz", {"7zz"}},
      {"-m zstd", "zstd", {"7zz"}},
      {"-P PW --aes", "AES-256 Deflate", {"7zz"}},
      {"-m bzip2 -P PW --aes", "AES-256 BZip2", {"7zz"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::string options = c.options;
    if (const auto at = options.find("PW"); at != std::string::npos) options.replace(at, 2, "pw9");
    const std::string archive = tree.dir / ("w" + std::to_string(++n) + ".zip");
    ASSERT_EQ(tree.Make(Vzip("add OUT " + options + tree.Names()), archive), 0);
    for (const auto& reader : c.readers) {
      if (!HaveTool(reader)) continue;
      std::string command = readers.at(reader);
      command.replace(command.find("OUT"), 3, Quote(archive));
      if (const auto at = command.find("PW"); at != std::string::npos)
        command.replace(at, 2, "pw9");
      const auto r = Shell(command);
      EXPECT_EQ(r.status, 0) << reader << "\n" << r.output;
    }
    if (HaveTool("7zz")) {
      const auto listing = Shell("7zz l -slt -ppw9 " + Quote(archive));
      EXPECT_NE(listing.output.find(std::string("Method = ") + c.method), std::string::npos)
          << listing.output;
    }
  }
}

// Info-ZIP's Unicode Path field (0x7075): version 1, the CRC-32 of the header's name, the name
// in UTF-8.
std::vector<uint8_t> UnicodePathField(const std::string& header_name, const std::string& utf8) {
  std::vector<uint8_t> field;
  testing::Put16(field, 0x7075);
  testing::Put16(field, static_cast<uint32_t>(5 + utf8.size()));
  field.push_back(1);
  testing::Put32(field, Crc32Of(testing::Bytes(header_name)));
  field.insert(field.end(), utf8.begin(), utf8.end());
  return field;
}

// The extended timestamp field (0x5455) with a modification time.
std::vector<uint8_t> TimestampField(int64_t seconds) {
  std::vector<uint8_t> field;
  testing::Put16(field, 0x5455);
  testing::Put16(field, 5);
  field.push_back(1);
  testing::Put32(field, static_cast<uint32_t>(seconds));
  return field;
}

TEST(FormatsInteropTest, UnicodeNamesAndExactTimesAgreeWithUnzip) {
  if (!HaveTool("unzip")) GTEST_SKIP() << "unzip is not installed";
  Tree tree;
  // Info-ZIP's own archive (times in 0x5455), and one whose names are code page 437 bytes with
  // the Unicode Path field beside them, and whose times are in 0x5455 only.
  std::vector<std::string> archives;
  if (HaveTool("zip")) {
    archives.push_back(tree.dir / "infozip.zip");
    ASSERT_EQ(tree.Make("zip -q OUT" + tree.Names(), archives.back()), 0);
  }
  testing::ZipBuilder built;
  for (const auto& [header, utf8, when] :
       {std::tuple<std::string, std::string, int64_t>{"\x80uro.txt", "\xE2\x82\xACuro.txt",
                                                      kOddSecond},
        {"na\x8Fve.txt", "na\xC3\xAFve.txt", kOddSecond + 86400 * 200 + 3},
        {"plain.txt", "plain.txt", kOddSecond - 1}}) {
    testing::ZipEntry e;
    e.name = header;
    e.data = testing::Bytes(utf8);
    // Both headers carry both fields, as Info-ZIP writes them.
    e.local_extra = UnicodePathField(header, utf8);
    const auto stamp = TimestampField(when);
    e.local_extra.insert(e.local_extra.end(), stamp.begin(), stamp.end());
    e.central_extra = e.local_extra;
    built.entries.push_back(e);
  }
  archives.push_back(tree.dir / "unicode.zip");
  testing::WriteFile(archives.back(), built.Build());

  int n = 0;
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive);
    const std::string ours = tree.dir / ("ours" + std::to_string(n));
    const std::string theirs = tree.dir / ("theirs" + std::to_string(n++));
    ASSERT_EQ(Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(ours))).status, 0);
    ASSERT_EQ(Shell("LC_ALL=C.UTF-8 unzip -q " + Quote(archive) + " -d " + Quote(theirs)).status,
              0);
    const auto a = FilesBelow(ours);
    EXPECT_EQ(a, FilesBelow(theirs));
    EXPECT_EQ(a.size(), 3u);
    for (const auto& [name, data] : a) {
      EXPECT_EQ(TimeOf(ours + "/" + name), TimeOf(theirs + "/" + name)) << name;
    }
  }
}

// Offset of the last occurrence of a four-byte signature, or npos.
size_t FindLast(const std::vector<uint8_t>& bytes, uint32_t signature) {
  for (size_t i = bytes.size() >= 4 ? bytes.size() - 4 : 0; i-- > 0;) {
    if (bytes[i] == (signature & 0xFF) && bytes[i + 1] == ((signature >> 8) & 0xFF) &&
        bytes[i + 2] == ((signature >> 16) & 0xFF) && bytes[i + 3] == (signature >> 24)) {
      return i;
    }
  }
  return std::string::npos;
}

void Put64At(std::vector<uint8_t>& bytes, size_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t Get16At(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

// Offset of the data of an extra field with this id in the record at record_at (a local header
// when local, else a central one).
size_t ExtraFieldData(const std::vector<uint8_t>& bytes, size_t record_at, bool local,
                      uint16_t id) {
  const size_t name = local ? 26 : 28;
  const size_t fixed = local ? 30 : 46;
  size_t at = record_at + fixed + Get16At(bytes, record_at + name);
  const size_t end = at + Get16At(bytes, record_at + name + 2);
  while (at + 4 <= end) {
    if (Get16At(bytes, at) == id) return at + 4;
    at += 4 + Get16At(bytes, at + 2);
  }
  ADD_FAILURE() << "no extra field " << id;
  return 0;
}

// Flips bytes in the middle of the first item's data.
void DamageFirstItemData(std::vector<uint8_t>& bytes) {
  const size_t data = 30 + Get16At(bytes, 26) + Get16At(bytes, 28);
  const size_t central = FindLast(bytes, 0x02014B50);
  const size_t middle = (data + central) / 2;
  for (size_t i = middle; i < middle + 16 && i < central; ++i) bytes[i] ^= 0xA5;
}

TEST(FormatsInteropTest, DamagedRecordsAndStreamsFailWithNothingPlaced) {
  Tree tree;
  // One item per archive, so that nothing at all may be placed.
  struct Base {
    const char* tool;
    std::string command;
  };
  const std::map<std::string, Base> bases = {
      {"zip64", {"zip", "zip -q -fz OUT notes.txt"}},
      {"aes", {"7zz", "7zz a -tzip -bd -bso0 -mem=AES256 -ppw9 OUT notes.txt"}},
      {"bzip2", {"7zz", "7zz a -tzip -bd -bso0 -mm=BZip2 OUT notes.txt"}},
      {"lzma", {"python3", PythonZip("ZIP_LZMA", false, " notes.txt")}},
      {"xz", {"", Vzip("add OUT -m xz notes.txt")}},
      {"zstd", {"", Vzip("add OUT -m zstd notes.txt")}},
  };
  using Damage = std::function<void(std::vector<uint8_t>&)>;
  const auto zip64_end = [](std::vector<uint8_t>& b) { return FindLast(b, 0x06064B50); };
  struct Case {
    const char* label;
    const char* base;
    Damage damage;
    const char* password;
    const char* message;
  };
  const Case cases[] = {
      {"ZIP64 end record: directory past the end", "zip64",
       [&](auto& b) { Put64At(b, zip64_end(b) + 48, 1u << 30); }, nullptr,
       "the central directory is said to start after the end record"},
      {"ZIP64 locator missing behind marked fields", "zip64",
       [](auto& b) { b.at(FindLast(b, 0x07064B50)) = 0; }, nullptr,
       "ZIP64 end record that is missing or damaged"},
      {"ZIP64 field: impossible size", "zip64",
       [](auto& b) {
         Put64At(b, ExtraFieldData(b, FindLast(b, 0x02014B50), false, 0x0001), uint64_t{1} << 63);
       },
       nullptr, "impossible size or offset"},
      {"ZIP64 field: size that lies", "zip64",
       [](auto& b) {
         Put64At(b, ExtraFieldData(b, FindLast(b, 0x02014B50), false, 0x0001), uint64_t{1} << 40);
       },
       nullptr, "shorter than its header declares"},
      {"AES: wrong password", "aes", [](auto&) {}, "nope",
       "Cannot extract file - invalid password"},
      {"AES: unknown key strength", "aes",
       [](auto& b) {
         b.at(ExtraFieldData(b, 0, true, 0x9901) + 4) = 7;
         b.at(ExtraFieldData(b, FindLast(b, 0x02014B50), false, 0x9901) + 4) = 7;
       },
       "pw9", "key strength 7"},
      {"AES: damaged data", "aes", DamageFirstItemData, "pw9", "AES authentication failed"},
      {"bzip2 stream", "bzip2", DamageFirstItemData, nullptr, "bzip2 data error"},
      {"LZMA stream", "lzma", DamageFirstItemData, nullptr, "LZMA data error"},
      {"xz stream", "xz", DamageFirstItemData, nullptr, "data error"},
      {"Zstandard stream", "zstd", DamageFirstItemData, nullptr, "data error"},
  };
  std::map<std::string, std::vector<uint8_t>> made;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Base& base = bases.at(c.base);
    if (*base.tool != '\0' && !HaveTool(base.tool)) continue;
    if (!made.count(c.base)) {
      const std::string path = tree.dir / (std::string(c.base) + ".zip");
      ASSERT_EQ(tree.Make(base.command, path), 0);
      made[c.base] = testing::ReadFile(path);
    }
    std::vector<uint8_t> bytes = made[c.base];
    c.damage(bytes);
    const std::string archive = tree.dir / ("d" + std::to_string(++n) + ".zip");
    testing::WriteFile(archive, bytes);
    const std::string out = tree.dir / ("out" + std::to_string(n));
    const std::string password = c.password ? std::string(" -P ") + c.password : "";
    const auto r =
        Shell(Vzip("extract " + Quote(archive) + " -d " + Quote(out) + password + " </dev/null"));
    EXPECT_NE(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_TRUE(FilesBelow(out).empty()) << r.output;
  }
}

// An end record that counts more items than the directory holds (here 65,535, the mark of a
// ZIP64 archive, with no ZIP64 record) is damage: every command says so and ends with status 1.
TEST(FormatsInteropTest, EndRecordCountingItemsTheDirectoryLacksIsDamage) {
  Tree tree;
  testing::ZipBuilder zip;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    testing::ZipEntry e;
    e.name = name;
    e.data = testing::Bytes(name);
    zip.entries.push_back(e);
  }
  std::vector<uint8_t> bytes = zip.Build();
  const size_t end = FindLast(bytes, 0x06054B50);
  for (size_t at : {end + 8, end + 10}) bytes[at] = bytes[at + 1] = 0xFF;
  const std::string archive = tree.dir / "lying.zip";
  testing::WriteFile(archive, bytes);
  for (const std::string command : {"list", "test", "extract"}) {
    SCOPED_TRACE(command);
    const auto r = Shell(Vzip(command + " " + Quote(archive) +
                              (command == "extract" ? " -d " + tree.dir / "o" : "")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("damaged archive: the end record counts 65535 items, the central "
                            "directory holds 3"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("No errors"), std::string::npos) << r.output;
  }
}

#ifndef VZ_SANITIZED
// A stream of more than 4 GiB zipped by Info-ZIP through a pipe: sizes in a ZIP64 field, a data
// descriptor with 8-byte sizes. About half a minute, most of it zip's own compression.
TEST(FormatsInteropTest, StreamOverFourGibibytesFromInfoZip) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  testing::ScratchDir dir;
  const std::string archive = dir / "big.zip";
  const int64_t size = (int64_t{17} << 28);  // 4.25 GiB
  ASSERT_EQ(
      Shell("head -c " + std::to_string(size) + " /dev/zero | zip -q -1 - - >" + Quote(archive))
          .status,
      0);
  const auto test = Shell(Vzip("test " + Quote(archive)));
  EXPECT_EQ(test.status, 0) << test.output;
  const auto list = Shell(Vzip("list " + Quote(archive)));
  EXPECT_NE(list.output.find(std::to_string(size)), std::string::npos) << list.output;
}
#endif

}  // namespace
}  // namespace vz
