// What vzip says about odd input: nothing passed over without a word, causes a person can act on,
// and the habits of other zip tools (paths kept, masks, archives read by content).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "cli_test_support.h"
#include "test_support.h"
#include "zip_builder.h"
#include "zlib_helpers.h"

namespace vz {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ReadFile;
using testing::WriteFile;

const std::string kVzip = VZIP_PATH;

testing::ZipEntry Stored(const std::string& name, const std::string& text) {
  testing::ZipEntry e;
  e.name = name;
  e.data = Bytes(text);
  return e;
}

void WriteZip(const fs::path& path, std::vector<testing::ZipEntry> entries,
              const std::vector<uint8_t>& prefix = {}) {
  testing::ZipBuilder b;
  b.entries = std::move(entries);
  b.prefix = prefix;
  WriteFile(path.string(), b.Build());
}

struct Case {
  const char* label;
  std::function<void(const fs::path&)> arrange;  // in the scratch folder
  const char* command;                           // run there with stdin not a terminal
  int status;
  const char* message;  // a fragment of the output; null: none expected
  std::function<void(const fs::path&)> check;
};

TEST(CliWordsTest, EveryOddCaseIsNamedWithItsCause) {
  const Case cases[] = {
      // ---- silent before ----
      {"a file whose name is a folder already made by the archive",
       [](const fs::path& d) {
         WriteZip(d / "a.zip", {Stored("x/y", "y"), Stored("x", "x")});
       },
       "vzip extract a.zip -d out", 1,
       "x: ", [](const fs::path& d) { EXPECT_TRUE(fs::is_directory(d / "out/x")); }},
      {"entries without a name that hold data",
       [](const fs::path& d) {
         WriteZip(d / "a.zip", {Stored("", "data"), Stored("//", "data"), Stored("ok", "k")});
       },
       "vzip extract a.zip -d out", 1, "the name is empty",
       [](const fs::path& d) { EXPECT_EQ(ReadFile((d / "out/ok").string()), Bytes("k")); }},
      {"a linked folder is reported, and followed with -L",
       [](const fs::path& d) {
         fs::create_directories(d / "other");
         WriteFile((d / "other/o.txt").string(), "o");
         fs::create_directories(d / "tree");
         WriteFile((d / "tree/t.txt").string(), "t");
         fs::create_directory_symlink(d / "other", d / "tree/link");
       },
       "vzip add a.zip tree -r; echo status $?; vzip add b.zip tree -r -L && vzip list b.zip", 0,
       "tree/link: is a linked folder, not followed (use -L",
       [](const fs::path& d) {
         const std::string listing =
             testing::Shell(kVzip + " list " + (d / "b.zip").string()).output;
         EXPECT_NE(listing.find("tree/link/o.txt"), std::string::npos) << listing;
       }},
      {"a comment longer than a zip holds", nullptr,
       "vzip add a.zip a.zip -c \"$(head -c 70000 /dev/zero | tr '\\0' c)\"", 2,
       "a zip comment holds at most 65,535",
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "a.zip")); }},
      {"a local header that names the item differently",
       [](const fs::path& d) {
         testing::ZipEntry e = Stored("central.txt", "c");
         e.local_name = "local.txt";
         WriteZip(d / "a.zip", {e});
       },
       "vzip test a.zip; echo test $?; vzip extract a.zip -d out", 1,
       "central.txt: warning: the local header names it \"local.txt\"",
       [](const fs::path& d) {
         EXPECT_EQ(ReadFile((d / "out/central.txt").string()), Bytes("c"));
       }},
      // ---- unclear before ----
      {"a write that stops short names the file and the cause",
       [](const fs::path& d) {
         testing::ZipEntry e = Stored("big.bin", std::string(300000, 'b'));
         WriteZip(d / "a.zip", {e});
       },
       "sh -c \"trap '' XFSZ; ulimit -f 100; exec vzip extract a.zip -d out\"", 1,
       "Stream write error: File too large (\"", nullptr},
      {"a save that stops short says so on one line",
       [](const fs::path& d) { WriteFile((d / "big.bin").string(), testing::RandomBytes(300000)); },
       "sh -c \"trap '' XFSZ; ulimit -f 100; exec vzip add m.zip big.bin -m store\"", 1,
       "m.zip: Invalid Stream: Cannot write the new archive \"", nullptr},
      {"an encrypted item without -P and without a terminal",
       [](const fs::path& d) {
         testing::ZipEntry e = Stored("secret.txt", std::string(20, 's'));
         e.flag = 1;
         WriteZip(d / "a.zip", {e});
       },
       "vzip test a.zip", 1, "no password was given: use -P", nullptr},
      {"a folder given as the archive",
       [](const fs::path& d) { fs::create_directory(d / "f.zip"); }, "vzip list f.zip", 2,
       "f.zip: is a folder, not a zip archive", nullptr},
      {"an empty file given as the archive",
       [](const fs::path& d) { WriteFile((d / "e.zip").string(), ""); }, "vzip list e.zip", 2,
       "e.zip: is empty (0 bytes)", nullptr},
      {"a truncated zip",
       [](const fs::path& d) {
         testing::ZipBuilder b;
         b.entries = {Stored("a.txt", "a")};
         const auto whole = b.Build();
         WriteFile((d / "t.zip").string(), std::vector<uint8_t>(whole.begin(), whole.end() - 30));
       },
       "vzip list t.zip", 2, "no zip directory found (not a zip archive, or a truncated", nullptr},
      {"a FIFO given to add",
       [](const fs::path& d) {
         ASSERT_EQ(::mkfifo((d / "p.zip").c_str(), 0600), 0);
         WriteFile((d / "h.txt").string(), "h");
       },
       "timeout 20 vzip add p.zip h.txt", 2, "p.zip: is a FIFO, not a zip archive", nullptr},
      {"a name too long for the file system",
       [](const fs::path& d) { WriteZip(d / "a.zip", {Stored(std::string(300, 'n'), "n")}); },
       "vzip extract a.zip -d out", 1, "File name too long", nullptr},
      {"Deflate data that runs past the declared size",
       [](const fs::path& d) {
         testing::ZipEntry e;
         e.name = "long.txt";
         e.method = 8;
         const std::vector<uint8_t> text(5000, 'L');
         e.data = testing::RawDeflate(text);
         e.uncompressed_size = 1000;
         WriteZip(d / "a.zip", {e});
       },
       "vzip extract a.zip -d out", 1, "longer than its header declares",
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "out/long.txt")); }},
      {"\".\" components are dropped, \"..\" is named",
       [](const fs::path& d) {
         WriteZip(d / "a.zip", {Stored("a/./b/c", "c"), Stored("a/./b/../c", "x")});
       },
       "vzip extract a.zip -d out", 1, "\"..\" in \"a/./b/..\"",
       [](const fs::path& d) { EXPECT_EQ(ReadFile((d / "out/a/b/c").string()), Bytes("c")); }},
      {"no destination folder for an archive that cannot be read",
       [](const fs::path& d) { WriteFile((d / "j.zip").string(), std::string(100, 'j')); },
       "vzip extract j.zip -d newdir", 2, "Unhandled Archive Type",
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "newdir")); }},
      {"control characters in names and comments are escaped",
       [](const fs::path& d) {
         testing::ZipBuilder b;
         b.entries = {Stored("\x1b]0;pwned\x07\x1b[2J", "p")};
         b.comment = "\x1b[31mred";
         WriteFile((d / "a.zip").string(), b.Build());
       },
       "vzip list a.zip | tr '\\033\\007' '##' | grep -c '#' ; vzip list a.zip", 0,
       "^[]0;pwned^G^[[2J", nullptr},
      // ---- as other tools do ----
      {"zip content under any name, a program stub in front",
       [](const fs::path& d) {
         WriteZip(d / "doc.xps", {Stored("[Content_Types].xml", "x")});
         std::vector<uint8_t> stub = Bytes("MZ");
         stub.resize(4096, 0);
         WriteZip(d / "setup", {Stored("inside.txt", "i")}, stub);
       },
       "vzip list doc.xps && vzip test setup && vzip extract setup -d out", 0,
       "[Content_Types].xml",
       [](const fs::path& d) { EXPECT_EQ(ReadFile((d / "out/inside.txt").string()), Bytes("i")); }},
      {"masks and -x choose items; delete removes them",
       [](const fs::path& d) {
         WriteZip(d / "a.zip", {Stored("x.cfg", "1"), Stored("texture/t.bmp", "2"),
                                Stored("texture/skip.bmp", "3"), Stored("readme.txt", "4")});
       },
       "vzip extract a.zip '*.cfg' 'texture/*' -x 'texture/skip*' -d out && "
       "vzip delete a.zip '*.txt' && vzip list a.zip '*.zzz'",
       1, "no item matches *.zzz",
       [](const fs::path& d) {
         std::vector<std::string> got;
         for (const auto& e : fs::recursive_directory_iterator(d / "out")) {
           if (e.is_regular_file()) got.push_back(fs::relative(e.path(), d / "out").string());
         }
         std::sort(got.begin(), got.end());
         EXPECT_EQ(got, (std::vector<std::string>{"texture/t.bmp", "x.cfg"}));
         const std::string listing =
             testing::Shell(kVzip + " list " + (d / "a.zip").string()).output;
         EXPECT_NE(listing.find("3 items"), std::string::npos) << listing;
         EXPECT_EQ(listing.find("readme.txt"), std::string::npos) << listing;
       }},
  };
  for (const Case& c : cases) {
    testing::ScratchDir dir;
    const fs::path d = dir.path();
    if (c.arrange) c.arrange(d);
    std::string command = c.command;
    for (size_t at = 0; (at = command.find("vzip ", at)) != std::string::npos;) {
      command.replace(at, 4, kVzip);
      at += kVzip.size();
    }
    const auto result =
        testing::Shell("cd " + testing::Quote(d.string()) + " && { " + command + "; } </dev/null");
    EXPECT_EQ(result.status, c.status) << c.label << "\n" << result.output;
    if (c.message != nullptr) {
      EXPECT_NE(result.output.find(c.message), std::string::npos) << c.label << "\n"
                                                                  << result.output;
    }
    if (c.check) c.check(d);
  }
}

}  // namespace
}  // namespace vz
