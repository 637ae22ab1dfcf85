// The Wine registry reader against hives that Wine itself writes (a prefix made by wine, with
// values set by its reg command) and hand-written hives for what Wine does not write: other types,
// binary strings, damaged files. Drive paths are mapped through real drive links.
#include "platform/wine_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/fs.h"
#include "test_support.h"

namespace vz::platform {
namespace {

using vz::testing::RandomBytes;
using vz::testing::ScratchDir;
using vz::testing::WriteFile;

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr auto kMachine = RegistryRoot::kLocalMachine;

void WriteHive(const std::string& path, const std::string& body) {
  WriteFile(path,
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n" + body);
}

struct Lookup {
  const char* name;
  RegistryRoot root;
  const char* key;
  const char* value;
  std::optional<std::string> expected;
};

void ExpectLookups(const std::string& prefix, std::initializer_list<Lookup> lookups) {
  for (const Lookup& c : lookups) {
    EXPECT_EQ(ReadRegistryString(prefix, c.root, c.key, c.value), c.expected) << c.name;
  }
}

constexpr const char* kUserHive = R"(#arch=win64

[Software\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0] 1796849256
#time=1dd881e8589b8a8
"AppPath"="C:\\FSX\\"
"Plain"=str(1):"plain"
"Blob"=hex:41,00,42,00,\
  43,00
"Wide"=hex(2):43,00,3a,00,5c,00,e9,00,3d,d8,00,de,\
  00,00,41,00
"After"="still read"

[Software\\Escapes] 1796849256
"Quotes"="say \"hi\" \\ back"
"Controls"="a\tb\nc\rd\ae\0f"
"Octal"="\1\37x\101"
"Pair"="a\xd83d\xde00b"
"Lone"="\xd83dz\xde00"
"Raw"="Flugsimulator Ü"
"Unterminated"="abc
"Trailing"="abc\
"Spaces"  =  "hand-made"
"Name with \"quotes\""="named"

[Software\\Wow6432Node\\UserOnly] 1
"Where"="user's 32-bit view"
)";

constexpr const char* kMachineHive =
    "[Software\\\\Wow6432Node\\\\Microsoft\\\\Microsoft Games\\\\Flight Simulator\\\\10.0] 1\r\n"
    "\"SetupPath\"=\"D:\\\\Games\\\\FSX\\\\\"\r\n"
    "\r\n"
    "[Software\\\\Both] 1\n\"Where\"=\"native\"\n"
    "[Software\\\\Wow6432Node\\\\Both] 1\n\"Where\"=\"32-bit\"\n"
    "[Software\\\\KeyOnly] 1\n"
    "[Software\\\\Wow6432Node\\\\KeyOnly] 1\n\"Where\"=\"32-bit\"\n";

TEST(WineRegistryTest, ReadsStringsAsWineWritesThem) {
  ScratchDir dir;
  const std::string prefix = dir / "prefix";
  MakeFolder(prefix);
  WriteHive(prefix + "/user.reg", kUserHive);
  WriteHive(prefix + "/system.reg", kMachineHive);
  MakeFolder(dir / "headless");
  WriteFile(dir / "headless/user.reg", "[Software\\\\Escapes] 1\n@=\"x\"\n");

  const char* fsx = "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0\\";
  const char* escapes = "Software\\Escapes";
  ExpectLookups(
      prefix,
      {
          {"trailing backslash kept", kUser, fsx, "AppPath", "C:\\FSX\\"},
          {"names ignore case", kUser,
           "software\\MICROSOFT\\microsoft games\\FLIGHT SIMULATOR\\10.0", "appPATH", "C:\\FSX\\"},
          {"doubled separators", kUser, "\\Software\\\\Escapes\\", "Quotes", "say \"hi\" \\ back"},
          {"typed plain string", kUser, fsx, "Plain", "plain"},
          {"binary string over two lines", kUser, fsx, "Wide", "C:\\\u00e9\U0001F600"},
          {"value after continued lines", kUser, fsx, "After", "still read"},
          {"missing key", kUser, "Software\\Nothing", "AppPath", std::nullopt},
          {"controls, cut at zero", kUser, escapes, "Controls", "a\tb\nc\rd\ae"},
          {"octal", kUser, escapes, "Octal", "\x01\x1fxA"},
          {"lone surrogates", kUser, escapes, "Lone", "\uFFFDz\uFFFD"},
          {"raw UTF-8", kUser, escapes, "Raw", "Flugsimulator \u00dc"},
          {"unterminated", kUser, escapes, "Unterminated", std::nullopt},
          {"escape at line end", kUser, escapes, "Trailing", std::nullopt},
          {"blanks around =", kUser, escapes, "Spaces", "hand-made"},
          {"escaped value name", kUser, escapes, "Name with \"quotes\"", "named"},
          {"no 32-bit view for the user", kUser, "Software\\UserOnly", "Where", std::nullopt},
          {"32-bit view, CR LF lines", kMachine, fsx, "SetupPath", "D:\\Games\\FSX\\"},
          {"native view first", kMachine, "Software\\Both", "Where", "native"},
          {"32-bit view only for missing keys", kMachine, "Software\\KeyOnly", "Where",
           std::nullopt},
      });
  ExpectLookups(dir / "headless", {{"no header", kUser, "Software\\Escapes", "", std::nullopt}});
  ExpectLookups(dir / "none", {{"no prefix folder", kUser, fsx, "AppPath", std::nullopt}});
  ExpectLookups("", {{"no prefix", kUser, fsx, "AppPath", std::nullopt}});
}

// Writes path anew: rewriting a file in place on ext4 waits for its old data to reach the disk.
void Rewrite(const std::string& path, const std::string& text) {
  DeleteFile(path);
  WriteFile(path, text);
}

// Cut short anywhere, a hive gives either the stored value or nothing; after garbage (binary bytes,
// lines cut short) a key is still read. The sanitizer build checks that no read leaves the buffers.
TEST(WineRegistryTest, DamagedHivesGiveValuesOrNothing) {
  ScratchDir dir;
  const std::string prefix = dir / "prefix";
  MakeFolder(prefix);
  const std::string path = prefix + "/user.reg";
  const std::string good = std::string("WINE REGISTRY Version 2\n") + kUserHive;
  const char* fsx = "Software\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0";
  const Lookup lookups[] = {
      {"", kUser, fsx, "AppPath", "C:\\FSX\\"},
      {"", kUser, fsx, "Wide", std::nullopt},  // a binary string cut short is another string
      {"", kUser, "Software\\Escapes", "Pair", "a\U0001F600b"},
      {"", kUser, "Software\\Escapes", "Octal", "\x01\x1fxA"},
  };
  for (size_t size = 0; size <= good.size(); ++size) {
    Rewrite(path, good.substr(0, size));
    for (const Lookup& c : lookups) {
      const auto value = ReadRegistryString(prefix, c.root, c.key, c.value);
      if (c.expected && (value || size == good.size())) {
        EXPECT_EQ(value, c.expected) << "cut at " << size;
      }
    }
  }

  const auto garbage = RandomBytes(20000, 7);
  Rewrite(path, "WINE REGISTRY Version 2\n[Software\\\\Escapes]\n\"Raw\"=hex(1):4" +
                    std::string(garbage.begin(), garbage.end()) + "\n[\\\n\"\\\n" + kUserHive);
  ReadRegistryString(prefix, kUser, "Software\\Escapes", "Raw");
  EXPECT_EQ(ReadRegistryString(prefix, kUser, fsx, "AppPath"), "C:\\FSX\\");
}

TEST(WineRegistryTest, MapsDrivePathsThroughDriveLinks) {
  ScratchDir dir;
  const std::string prefix = dir / "prefix";
  namespace fs = std::filesystem;
  fs::create_directories(prefix + "/dosdevices/e:");
  fs::create_symlink("../drive_c", prefix + "/dosdevices/c:");
  fs::create_symlink(dir / "elsewhere", prefix + "/dosdevices/D:");
  fs::create_symlink("/", prefix + "/dosdevices/z:");

  const struct {
    std::string windows;
    std::string mapped;
  } cases[] = {
      {"C:\\FSX\\", prefix + "/drive_c/FSX/"},
      {"c:\\FSX", prefix + "/drive_c/FSX"},
      {"C:\\", prefix + "/drive_c/"},
      {"C:/FSX/Sound", prefix + "/drive_c/FSX/Sound"},
      {"d:\\Games\\FSX", dir / "elsewhere/Games/FSX"},
      {"E:\\FSX", prefix + "/dosdevices/e:/FSX"},
      {"Z:\\home\\pilot\\FSX\\", "/home/pilot/FSX/"},
      {"Q:\\FSX\\", "Q:\\FSX\\"},
      {"C:FSX", "C:FSX"},
      {"\\\\server\\share\\FSX", "\\\\server\\share\\FSX"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MapWindowsPath(prefix, c.windows), c.mapped) << c.windows;
  EXPECT_EQ(MapWindowsPath("", "C:\\FSX"), "C:\\FSX") << "no prefix";
}

// A prefix made by Wine, once for all its checks: wineboot, then values set with Wine's reg
// command. Ten to thirty seconds.
class WineWrittenRegistry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::system("command -v wine >/dev/null && command -v xvfb-run >/dev/null") != 0) {
      missing_ = "wine and xvfb-run are not installed (scripts/deps.sh test installs them)";
      return;
    }
    dir_ = std::make_unique<ScratchDir>();
    WriteFile(*dir_ / "values.sh", R"(set -e
add() { wine reg add "$@" /f; }
T='HKCU\Software\Veldrin Test'
wine wineboot -i
add 'HKCU\Software\Microsoft\Microsoft Games\Flight Simulator\10.0' /v AppPath /d 'C:\FSX\'
add 'HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\10.0' /v SetupPath /d 'C:\Program Files (x86)\Flugsimulator Ü 日本\'
add "$T" /v Quotes /d 'say "hi" \ back'
add "$T" /v Accents /d 'éa1Ü'
add "$T" /v Emoji /d 'a😀b'
add "$T" /v Expand /t REG_EXPAND_SZ /d '%USERPROFILE%\FSX'
add "$T" /v Number /t REG_DWORD /d 5
add "$T" /v Multi /t REG_MULTI_SZ /d 'a\0b'
add "$T" /v Blob /t REG_BINARY /d 414243
add "$T" /ve /d 'the default'
add 'HKLM\Software\Veldrin 32' /v Where /d 'C:\x86' /reg:32
wineserver -w
)");
    const std::string home = *dir_ / "home";
    const std::string command =
        "cd '" + dir_->path().string() + "' && mkdir home && HOME='" + home +
        "' XDG_CONFIG_HOME='" + home + "/.config' WINEPREFIX='" + (*dir_ / "prefix") +
        "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' "
        "LANG=C.UTF-8 LC_ALL=C.UTF-8 timeout 300 xvfb-run -a sh values.sh >wine.log 2>&1";
    if (std::system(command.c_str()) != 0 || !IsRegularFile(*dir_ / "prefix/user.reg")) {
      const auto log = vz::testing::ReadFile(*dir_ / "wine.log");
      failed_ = "Wine could not make a prefix:\n" + std::string(log.begin(), log.end());
    }
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override {
    if (!missing_.empty() && std::getenv("CI") == nullptr) GTEST_SKIP() << missing_;
    ASSERT_TRUE(missing_.empty() && failed_.empty()) << missing_ << failed_;
  }

  static inline std::unique_ptr<ScratchDir> dir_;
  static inline std::string missing_;
  static inline std::string failed_;
};

TEST_F(WineWrittenRegistry, ReadsWhatWineWrote) {
  const std::string prefix = *dir_ / "prefix";
  const char* fsx = "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0\\";
  const char* test = "software\\veldrin test";
  ExpectLookups(
      prefix,
      {
          {"path", kUser, fsx, "apppath", "C:\\FSX\\"},
          {"non-ASCII path", kMachine, fsx, "SetupPath",
           "C:\\Program Files (x86)\\Flugsimulator \u00dc \u65e5\u672c\\"},
          {"quotes and backslash", kUser, test, "Quotes", "say \"hi\" \\ back"},
          {"hex escape before a hex digit", kUser, test, "Accents", "\u00e9a1\u00dc"},
          {"surrogate pair", kUser, test, "Emoji", "a\U0001F600b"},
          {"expandable string as stored", kUser, test, "Expand", "%USERPROFILE%\\FSX"},
          {"dword", kUser, test, "Number", std::nullopt},
          {"multi-string", kUser, test, "Multi", std::nullopt},
          {"binary", kUser, test, "Blob", std::nullopt},
          {"default value", kUser, test, "", "the default"},
          {"32-bit key of a 64-bit prefix", kMachine, "Software\\Veldrin 32", "Where", "C:\\x86"},
      });
  EXPECT_EQ(MapWindowsPath(prefix, "C:\\FSX\\"), prefix + "/drive_c/FSX/");
  // wineboot made the user's folders; the documents folder it registered exists once mapped.
  const auto documents = ReadRegistryString(
      prefix, kUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "Personal");
  ASSERT_TRUE(documents.has_value());
  EXPECT_TRUE(IsDirectory(MapWindowsPath(prefix, *documents))) << *documents;
}

}  // namespace
}  // namespace vz::platform
