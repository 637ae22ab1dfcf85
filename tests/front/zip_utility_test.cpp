// The window's logic driven through a scripted view and shell, with the real engine and real
// files: start-up and the FSX folders from hand-written Wine prefixes, extraction, creation
// (Python's zipfile reads what was written), and one operation at a time.
#include "front/zip_utility.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "front/window_script.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz::front {
namespace {

namespace fs = std::filesystem;
using script::ScriptedShell;
using script::ScriptedView;
using vz::testing::ReadFile;
using vz::testing::ScratchDir;
using vz::testing::ZipBuilder;

std::string Read(const std::string& path) {
  const auto bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

void Put(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  vz::testing::WriteFile(path, text);
}

std::vector<uint8_t> ZipOf(const std::vector<std::pair<std::string, std::string>>& items) {
  ZipBuilder b;
  for (const auto& [name, text] : items) {
    b.entries.push_back({});
    b.entries.back().name = name;
    b.entries.back().data = vz::testing::Bytes(text);
  }
  return b.Build();
}

// Everything below a folder, as "name=content" (files) or "name/" (folders).
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(folder)) return tree;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(e.path(), folder).string();
    if (e.is_directory()) continue;
    tree[name] = Read(e.path().string());
  }
  return tree;
}

// What Python's zipfile reads from a zip: the comment, "name size" per item, and "ok" when every
// item passes its CRC test.
std::string Listing(const std::string& zip) {
  const std::string command =
      "python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); print(z.comment.decode()); "
      "[print(i.filename, i.file_size) for i in z.infolist()]; "
      "print('ok' if z.testzip() is None else 'bad')\" '" +
      zip + "' 2>&1";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

struct Window {
  ScratchDir dir;
  ScriptedView view;
  ScriptedShell shell;
  ZipUtilityWindow window;

  explicit Window(FsxSearch fsx = {}) : window(view, shell, {std::move(fsx), dir / "program"}) {
    shell.window = &window;
    window.FormCreate();
  }
  std::string operator/(const std::string& name) const { return dir / name; }
  void Drop(const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(dir / name);
    window.WMDropFiles(paths);
  }
};

// ---- start-up and the FSX folders ------------------------------------------------------------

std::string Warning(const std::string& location) {
  return "Please note: This utility has performed a check and found that the FSX.exe\r"
         "file is not found at the following location as reported by the registry:\r\r" +
         location +
         "\r\rWe recommend you correct this situation using our freeware Marrowline\r"
         "which can be downloaded from our main website (https://veldrin.example) otherwise\r"
         "some features (e.g. 'Extract to Specific FSX Folder') may not function correctly.";
}

// A hand-written Wine prefix: hives with one string value each, drive C: linked to drive_c.
void MakePrefix(const std::string& prefix, const std::map<std::string, std::string>& user,
                const std::map<std::string, std::string>& machine) {
  auto hive = [](const std::map<std::string, std::string>& values) {
    std::string text = "WINE REGISTRY Version 2\n\n";
    for (const auto& [key_value, data] : values) {
      const size_t at = key_value.rfind('|');
      auto escaped = [](std::string s) {
        for (size_t i = s.find('\\'); i != std::string::npos; i = s.find('\\', i + 2)) {
          s.insert(i, "\\");
        }
        return s;
      };
      text += "[" + escaped(key_value.substr(0, at)) + "]\n\"" + key_value.substr(at + 1) +
              "\"=\"" + escaped(data) + "\"\n\n";
    }
    return text;
  };
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(prefix + "/drive_c");
  fs::create_directory_symlink("../drive_c", prefix + "/dosdevices/c:");
  Put(prefix + "/user.reg", hive(user));
  Put(prefix + "/system.reg", hive(machine));
}

constexpr const char* kRetail = R"(Software\Microsoft\Microsoft Games\Flight Simulator\10.0|)";
constexpr const char* kSteam =
    R"(Software\Microsoft\Microsoft Games\Flight Simulator - Steam Edition\10.0|AppPath)";
constexpr const char* kPersonal =
    R"(Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders|Personal)";

TEST(ZipUtilityTest, StartUpChecksFsxAndTheListFillsTheDestination) {
  const struct {
    const char* name;
    std::function<FsxSearch(const std::string& home)> install;
    std::string fsx;  // below home; empty: FSX is missing
    std::string warned;
  } cases[] = {
      {"AppPath with a trailing separator",
       [](const std::string& home) {
         MakePrefix(home + "/pfx",
                    {{std::string(kRetail) + "AppPath", R"(C:\FSX\)"},
                     {kPersonal, R"(C:\users\pilot\Documents)"}},
                    {});
         Put(home + "/pfx/drive_c/FSX/FSX.EXE", "");
         return FsxSearch{home + "/pfx", home};
       },
       "/pfx/drive_c/FSX", ""},
      {"AppPath without fsx.exe: SetupPath is named",
       [](const std::string& home) {
         MakePrefix(home + "/.wine", {{std::string(kRetail) + "AppPath", R"(C:\Old)"}},
                    {{std::string(kRetail) + "SetupPath", R"(C:\Games\FSX\)"}});
         return FsxSearch{"", home};
       },
       "", "/.wine/drive_c/Games/FSX"},
      {"Steam Edition in Proton's prefix, from libraryfolders.vdf",
       [](const std::string& home) {
         Put(home + "/.steam/steam/steamapps/libraryfolders.vdf",
             "\"libraryfolders\" { \"1\" { \"path\" \"" + home + "/lib\" } }");
         const std::string pfx = home + "/lib/steamapps/compatdata/314160/pfx";
         MakePrefix(pfx, {{kSteam, R"(C:\FSX SE\)"}, {kPersonal, R"(C:\users\steamuser\Docs)"}},
                    {});
         Put(pfx + "/drive_c/FSX SE/fsx.exe", "");
         return FsxSearch{"", home};
       },
       "/lib/steamapps/compatdata/314160/pfx/drive_c/FSX SE", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir home;
    Window w(c.install(home.path().string()));
    const std::string fsx = c.fsx.empty() ? "" : home / c.fsx.substr(1);
    w.window.FormShow();
    w.window.FormShow();  // only the first showing checks
    EXPECT_TRUE(w.shell.drops);
    EXPECT_EQ(w.view.Text(Control::Label4), "0 file(s)");
    EXPECT_EQ(w.view.Text(Control::FilesLabel), "0 file(s) - 0 Kb");
    std::vector<std::string> warnings;
    if (fsx.empty()) warnings.push_back(Warning(home / c.warned.substr(1)));
    EXPECT_EQ(w.shell.Texts(), warnings);
    if (fsx.empty()) {
      EXPECT_FALSE(w.shell.boxes[0].origin) << "centred on the screen";
    }

    // Ticking the box: the list gives the folders, or the warning comes again and the mode is off.
    w.view.SetChecked(Control::cbUseFSXFolder, true);
    w.window.cbUseFSXFolderClick();
    EXPECT_EQ(w.view.Checked(Control::cbUseFSXFolder), !fsx.empty());
    EXPECT_EQ(w.view.Enabled(Control::cbxFSXFolder), !fsx.empty());
    EXPECT_EQ(w.view.Enabled(Control::btnUnZipFolder), fsx.empty());
    EXPECT_EQ(w.shell.boxes.size(), fsx.empty() ? 2u : 0u);
    if (fsx.empty()) continue;
    w.view.fsx_index = 2;
    w.window.cbxFSXFolderChange();
    EXPECT_EQ(w.view.Text(Control::edFolderPath), fsx + "/SimObjects/Airplanes");
    w.view.fsx_index = 12;
    w.window.cbxFSXFolderChange();
    const std::string documents = w.view.Text(Control::edFolderPath);
    EXPECT_TRUE(documents.ends_with(
        "/drive_c/users/" + std::string(c.fsx[1] == 'p' ? "pilot/Documents" : "steamuser/Docs") +
        "/Flight Simulator X Files"))
        << documents;
    // Unticking keeps the destination.
    w.view.SetChecked(Control::cbUseFSXFolder, false);
    w.window.cbUseFSXFolderClick();
    EXPECT_EQ(w.view.Text(Control::edFolderPath), documents);
    EXPECT_EQ(w.view.fsx_index, -1);
    EXPECT_FALSE(w.view.Enabled(Control::cbxFSXFolder));
  }
}

TEST(ZipUtilityTest, ClosingHintsAndTheBanner) {
  Window w;
  EXPECT_FALSE(w.window.FormKeyDown(13));
  EXPECT_FALSE(w.shell.closed);
  EXPECT_TRUE(w.window.FormKeyDown(kVkEscape));
  EXPECT_TRUE(w.shell.closed);

  Window exit;
  vz::testing::WriteFile(exit / "a.zip", ZipOf({{"a", "1"}}));
  exit.Drop({"a.zip"});
  exit.view.SetText(Control::edFolderPath, exit / "out");
  exit.window.btnExitClick();
  EXPECT_EQ(exit.view.outline.FileName(), "");
  EXPECT_EQ(exit.view.Text(Control::edFolderPath), "");
  EXPECT_TRUE(exit.shell.closed);

  for (const char* name : {"c", "a", "b"}) Put(exit / name, "x");
  exit.view.page = Page::tabZip;
  exit.Drop({"c", "a", "b"});
  EXPECT_EQ(exit.window.ShowHint(1, 1, 13), (ListHint{exit / "b", 0, 0}));
  EXPECT_EQ(exit.window.ShowHint(2, 0, 13), (ListHint{exit / "c", 0, 26}));
  EXPECT_EQ(exit.window.ShowHint(3, 0, 13), std::nullopt);
  EXPECT_EQ(exit.window.ShowHint(-1, 0, 13), std::nullopt);
  exit.window.imgBanClick();
  EXPECT_EQ(exit.shell.pages, std::vector<std::string>{"https://veldrin.example/?=VeldrinZip"});
}

// ---- extraction ------------------------------------------------------------------------------

std::string Question(const std::string& path) {
  return "This file already exists in the destination location. \r\n\r\n" + path +
         "\r\n\r\nWould you like to overwrite?";
}
const std::string kLocation = "Zip contents extracted to this location:\r\n\r\n";
const std::string kCancelled = "UnZip Complete. One or more extractions cancelled!";
const std::string kFailed = "UnZip Complete. One or more files could not be extracted:\r\n\r\n";
const std::string kPasswordNotice =
    "Please note: One or more files in this Zip archive are encrypted.\r"
    "Password-protected Zip file support has not yet been implemented.\r\r"
    "The Zip Utility will now attempt to extract any non-encrypted files,\r"
    "please check the destination folder for any output.";

TEST(ZipUtilityTest, ExtractionTellsWhatHappened) {
  using Files = std::map<std::string, std::string>;
  const Files old_files = {{"a.txt", "old a"}, {"b.txt", "old b"}};
  struct Case {
    const char* name;
    std::function<void(Window&, const std::string& out)> act;
    std::function<std::vector<std::string>(Window&, const std::string& out)> boxes;
    Files after;  // the destination afterwards
  };
  const Case cases[] = {
      {"FILE.ZIP dropped (the first of two), items land flat",
       [](Window& w, const std::string&) {
         w.Drop({"FILE.ZIP", "x.zip"});
         EXPECT_EQ(w.view.Text(Control::Label4), "2 file(s)");
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) { return std::vector{kLocation + out}; },
       {{"a.txt", "new a"}, {"b.txt", "new b"}}},
      {"folders kept",
       [](Window& w, const std::string&) {
         w.view.SetChecked(Control::cdExtractPaths, true);
         w.Drop({"FILE.ZIP"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) { return std::vector{kLocation + out}; },
       {{"a.txt", "new a"}, {"sub/b.txt", "new b"}}},
      {"not a zip, and no zip chosen",
       [](Window& w, const std::string&) {
         Put(w / "a.txt", "");
         w.Drop({"a.txt"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string&) {
         return std::vector<std::string>{"Sorry, this is not a Zip File!",
                                         "Please open a Zip zile!"};
       },
       {}},
      {"a damaged zip is refused and left alone",
       [](Window& w, const std::string&) {
         Put(w / "bad.zip", "PK\5\6 not really");
         w.Drop({"FILE.ZIP"});
         w.Drop({"bad.zip"});
         EXPECT_EQ(w.window.CurrentZipFile(), w / "FILE.ZIP");
         EXPECT_EQ(Read(w / "bad.zip"), "PK\5\6 not really");
       },
       [](Window&, const std::string&) {
         return std::vector<std::string>{"Sorry, this is not a Zip File!"};
       },
       {}},
      {"a folder named folder.zip becomes the zip, which is not found",
       [](Window& w, const std::string&) {
         fs::create_directory(w / "folder.zip");
         w.Drop({"folder.zip"});
         w.window.btnUnZipClick();
         EXPECT_EQ(w.shell.boxes.back().kind, MessageKind::kError);
       },
       [](Window&, const std::string&) { return std::vector<std::string>{"File not found."}; },
       {}},
      {"opened by the dialog, destination browsed, then cancelled",
       [](Window& w, const std::string&) {
         w.shell.chosen = {w / "FILE.ZIP", std::nullopt};
         w.window.btnOpenZipClick();
         w.view.SetText(Control::edFolderPath, "");
         w.window.btnUnZipClick();
         const FileDialogRequest& open = w.shell.dialogs.at(0);
         EXPECT_EQ(open.title + "|" + open.filter_name + "|" + open.filter_pattern + "|" +
                       open.initial_folder,
                   "Select a Zip file|Zip files (*.zip)|*.zip|" + w / "program");
         EXPECT_EQ(w.shell.dialogs.at(1).title, "Select the destination folder...");
       },
       [](Window&, const std::string&) { return std::vector<std::string>{}; },
       {}},
      {"destination browsed",
       [](Window& w, const std::string& out) {
         w.shell.chosen = {w / "FILE.ZIP", out};
         w.window.btnOpenZipClick();
         w.view.SetText(Control::edFolderPath, "");
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) { return std::vector{kLocation + out}; },
       {{"a.txt", "new a"}, {"b.txt", "new b"}}},
      {"a destination that does not exist",
       [](Window& w, const std::string&) {
         w.Drop({"FILE.ZIP"});
         w.view.SetText(Control::edFolderPath, w / "gone");
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string&) {
         return std::vector<std::string>{"Directory does not exist."};
       },
       {}},
      {"overwrite: No, then Yes",
       [&](Window& w, const std::string& out) {
         for (const auto& [name, text] : old_files) Put(out + "/" + name, text);
         w.shell.answers = {mbNo, mbYes};
         w.Drop({"FILE.ZIP"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) {
         return std::vector{Question(out + "/a.txt"), Question(out + "/b.txt"), kCancelled};
       },
       {{"a.txt", "old a"}, {"b.txt", "new b"}}},
      {"overwrite: All",
       [&](Window& w, const std::string& out) {
         for (const auto& [name, text] : old_files) Put(out + "/" + name, text);
         w.shell.answers = {mbAll};
         w.Drop({"FILE.ZIP"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) {
         return std::vector{Question(out + "/a.txt"), kLocation + out};
       },
       {{"a.txt", "new a"}, {"b.txt", "new b"}}},
      {"overwrite: the question closed keeps the file",
       [&](Window& w, const std::string& out) {
         for (const auto& [name, text] : old_files) Put(out + "/" + name, text);
         w.shell.answers = {mbNone, mbYes};
         w.Drop({"FILE.ZIP"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) {
         return std::vector{Question(out + "/a.txt"), Question(out + "/b.txt"), kCancelled};
       },
       {{"a.txt", "old a"}, {"b.txt", "new b"}}},
      {"one name in two folders, flat: the second asks",
       [](Window& w, const std::string&) {
         vz::testing::WriteFile(w / "two.zip", ZipOf({{"x/a.txt", "1"}, {"y/a.txt", "2"}}));
         w.Drop({"two.zip"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) {
         return std::vector{Question(out + "/a.txt"), kLocation + out};
       },
       {{"a.txt", "2"}}},
      {"a damaged item is listed, the others extracted",
       [](Window& w, const std::string&) {
         ZipBuilder b;
         b.entries.resize(2);
         b.entries[0].name = "bad.txt";
         b.entries[0].data = vz::testing::Bytes("data");
         b.entries[0].crc = 1234;
         b.entries[1].name = "good.txt";
         b.entries[1].data = vz::testing::Bytes("good");
         vz::testing::WriteFile(w / "damaged.zip", b.Build());
         w.Drop({"damaged.zip"});
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string&) {
         return std::vector{kFailed + "bad.txt - Failed CRC Check"};
       },
       {{"good.txt", "good"}}},
      {"encrypted items: one notice per command, and the list",
       [](Window& w, const std::string&) {
         Zipper zipper;
         zipper.SetAutoSave(true);
         zipper.SetBaseDirectory(w.dir.path().string());
         zipper.SetFileName(w / "locked.zip");
         zipper.SetPassword("secret");
         for (const char* name : {"e1.txt", "e2.txt"}) {
           Put(w / name, name);
           zipper.AddFiles(name, 0);
         }
         zipper.SetPassword("");
         Put(w / "plain.txt", "plain");
         zipper.AddFiles("plain.txt", 0);
         zipper.CloseArchive();
         w.Drop({"locked.zip"});
         w.window.btnUnZipClick();
         // Each command shows the notice once.
         w.window.btnUnZipClick();
       },
       [](Window&, const std::string& out) {
         const std::string failed = kFailed +
                                    "e1.txt - Cannot extract file - invalid password\r\n" +
                                    "e2.txt - Cannot extract file - invalid password";
         return std::vector{kPasswordNotice, failed, kPasswordNotice, Question(out + "/plain.txt"),
                            failed};
       },
       {{"plain.txt", "plain"}}},
      {"a destination deleted after an extraction does not stop the next one",
       [](Window& w, const std::string& out) {
         w.Drop({"FILE.ZIP"});
         w.window.btnUnZipClick();
         fs::remove_all(out);
         fs::create_directory(w / "out2");
         w.view.SetText(Control::edFolderPath, w / "out2");
         w.window.btnUnZipClick();
         EXPECT_EQ(Tree(w / "out2").size(), 2u);
       },
       [](Window& w, const std::string& out) {
         return std::vector{kLocation + out, kLocation + w / "out2"};
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    vz::testing::WriteFile(w / "FILE.ZIP", ZipOf({{"a.txt", "new a"}, {"sub/b.txt", "new b"}}));
    vz::testing::WriteFile(w / "x.zip", ZipOf({{"x", "x"}}));
    const std::string out = w / "out";
    fs::create_directory(out);
    w.view.SetText(Control::edFolderPath, out);
    c.act(w, out);
    EXPECT_EQ(w.shell.Texts(), c.boxes(w, out));
    for (const auto& box : w.shell.boxes) {
      if (box.kind != MessageKind::kError) {
        EXPECT_EQ(box.origin, (BoxOrigin{300, 267})) << "centred on the window";
      }
    }
    EXPECT_EQ(Tree(out), c.after);
    // At rest again, whatever happened.
    EXPECT_EQ(w.view.Text(Control::Label6) + w.view.Text(Control::Label7), "FileZip");
    EXPECT_EQ(w.view.Text(Control::StatusText), "");
    EXPECT_EQ(w.view.meters[0].Position() + w.view.meters[1].Position(), 0);
    EXPECT_TRUE(w.view.Enabled(Control::btnUnZip));
  }
}

// ---- creation --------------------------------------------------------------------------------

std::string Saved(const std::string& zip) {
  return "Zip file saved as:\r\n\r\n" + zip;
}
const std::string kDefaultComment = "Created with Veldrin ZIP (Freeware) - https://veldrin.example";
const std::string kExists =
    "This Zip filename exists. Add files to this Zip?\r\n\r\n(Any existing files in the Zip will "
    "be replaced)";

// Typing into the comment: each key is seen before it changes the text.
void Type(Window& w, const std::string& character) {
  w.window.edZipCommentKeyPress();
  w.view.SetText(Control::edZipComment, w.view.Text(Control::edZipComment) + character);
}

TEST(ZipUtilityTest, CreationListsSummarisesAndSaves) {
  if (!vz::testing::HaveTool("python3")) GTEST_SKIP() << "python3 reads the zips written";
  struct Case {
    const char* name;
    std::function<void(Window&)> act;
    std::function<std::vector<std::string>(Window&)> boxes;
    std::string summary;  // FilesLabel afterwards
    std::string zip;      // the zip written, and what Python reads in it
    std::string listing;
  };
  const auto in = [](Window& w, const char* name) { return w / (std::string("in/") + name); };
  const Case cases[] = {
      {"a file dropped twice: one entry, the notice, 1500 bytes add 1 KB each",
       [](Window& w) {
         w.Drop({"in/a.txt", "in/b.txt"});
         w.Drop({"in/a.txt"});
       },
       [](Window&) {
         return std::vector<std::string>{
             "Please Note: [ 1 ] of the files you just dropped are already in the list."};
       },
       "2 file(s) - 2 Kb", "", ""},
      {"letter case tells entries apart; small files add nothing; long paths stay whole",
       [](Window& w) {
         const std::string deep = "in/" + std::string(100, 'd') + "/" + std::string(100, 'e') +
                                  "/" + std::string(100, 'f') + ".txt";
         Put(w / deep, "x");
         w.Drop({"in/c.txt", "in/C.TXT", deep});
         EXPECT_EQ(w.view.list.back(), w / deep);
       },
       [](Window&) { return std::vector<std::string>{}; }, "3 file(s) - 0 Kb", "", ""},
      {"folders and vanished paths are left out, each with a word",
       [](Window& w) {
         w.Drop({"in/sub", "in/a.txt", "in/none.txt", "in/b.txt"});
       },
       [](Window&) {
         return std::vector<std::string>{
             "Please note: [1] of the items dropped were folders.\r\n\r\nThis utility currently "
             "only accepts actual filenames.\r\n\r\nTo add the contents of a folder open it in "
             "the explorer\r\nand 'Drag & Drop' the files, the folder structure will\r\nbe "
             "preserved if you select that option.",
             "One of the files you attempted to drop is in use and will not be added."};
       },
       "2 file(s) - 2 Kb", "", ""},
      {"Delete, the popup menu and Clear",
       [](Window& w) {
         w.Drop({"in/a.txt", "in/b.txt", "in/c.txt"});
         w.view.selection = {2, 0};
         EXPECT_FALSE(w.window.ZipFileListKeyDown(13));
         EXPECT_TRUE(w.window.ZipFileListKeyDown(kVkDelete));
         EXPECT_EQ(w.view.list, std::vector<std::string>{w / "in/b.txt"});
         w.Drop({"in/c.txt"});
         w.view.selection = {1};
         w.window.vDelSelectedItmClick();
         EXPECT_EQ(w.view.list, std::vector<std::string>{w / "in/b.txt"});
         w.shell.answers = {mbCancel, mbOK};
         w.window.btnClearListClick();
         EXPECT_EQ(w.view.list.size(), 1u);
         w.window.btnClearListClick();
         w.window.btnClearListClick();  // empty: no question
         w.window.btnZipClick();
       },
       [](Window&) {
         return std::vector<std::string>{"Clear the list of files?", "Clear the list of files?",
                                         "Please add some files to this Zip!"};
       },
       "0 file(s) - 0 Kb", "", ""},
      {"a one-character comment does not tick the box; backup.txt becomes backup.txt.zip",
       [](Window& w) {
         Type(w, "x");
         EXPECT_FALSE(w.view.Checked(Control::cbAddComments));
         w.Drop({"in/a.txt", "in/read-only.txt", "in/.hidden"});
         w.shell.chosen = {w / "backup.txt"};
         w.window.btnZipClick();
         const FileDialogRequest& save = w.shell.dialogs.at(0);
         EXPECT_EQ(save.title + "|" + save.filter_name + "|" + save.filter_pattern + "|" +
                       save.default_extension,
                   "Save your zip file|Zip file (*.zip)|*.zip|.zip");
       },
       [](Window& w) { return std::vector{Saved(w / "backup.txt.zip")}; }, "3 file(s) - 3 Kb",
       "backup.txt.zip", kDefaultComment + "\n.hidden 5\na.txt 1500\nread-only.txt 2048\nok\n"},
      {"a second character ticks the box; backup.ZIP keeps its name; paths kept",
       [](Window& w) {
         Type(w, "\xc3\xa9");  // one character, two bytes
         EXPECT_FALSE(w.view.Checked(Control::cbAddComments));
         Type(w, "t");
         EXPECT_TRUE(w.view.Checked(Control::cbAddComments));
         w.view.SetChecked(Control::cbIncludePaths, true);
         w.Drop({"in/sub/a.txt"});
         w.shell.chosen = {w / "backup.ZIP"};
         w.window.btnZipClick();
       },
       [](Window& w) { return std::vector{Saved(w / "backup.ZIP")}; }, "1 file(s) - 0 Kb",
       "backup.ZIP", "\xc3\xa9t\n{in}sub/a.txt 10\nok\n"},
      {"an existing zip: Cancel leaves it, Yes adds and freshens",
       [](Window& w) {
         vz::testing::WriteFile(w / "old.zip", ZipOf({{"a.txt", "old"}, {"z.txt", "zz"}}));
         w.Drop({"in/a.txt", "in/b.txt"});
         w.shell.answers = {mbCancel};
         w.shell.chosen = {w / "old.zip"};
         w.window.btnZipClick();
         EXPECT_EQ(Read(w / "old.zip").size(), ZipOf({{"a.txt", "old"}, {"z.txt", "zz"}}).size());
         w.shell.answers = {mbYes};
         w.shell.chosen = {w / "old.zip"};
         w.window.btnZipClick();
       },
       [](Window& w) {
         return std::vector{kExists, kExists, Saved(w / "old.zip")};
       },
       "2 file(s) - 2 Kb", "old.zip", kDefaultComment + "\na.txt 1500\nz.txt 2\nb.txt 1500\nok\n"},
      {"nothing listed is lost without a word: one stored name twice, a file gone",
       [](Window& w) {
         w.Drop({"in/a.txt", "in/sub/a.txt", "in/c.txt"});
         fs::remove(w / "in/c.txt");
         w.shell.chosen = {w / "f22"};
         w.window.btnZipClick();
       },
       [](Window& w) {
         return std::vector{Saved(w / "f22.zip") + "\r\n\r\nThese files could not be added:\r\n" +
                            w / "in/c.txt" + " - File not found\r\n" + w / "in/sub/a.txt" +
                            " - Cannot insert file - duplicates stored name"};
       },
       "3 file(s) - 1 Kb", "f22.zip", kDefaultComment + "\na.txt 1500\nok\n"},
      {"a failed save does not block the next one",
       [](Window& w) {
         Put(w / "not-a.zip", "text");
         w.Drop({"in/a.txt"});
         w.shell.chosen = {w / "not-a.zip", w / "later/new.zip", w / "later/new.zip"};
         w.window.btnZipClick();
         // The folder of a new zip goes while the files are added: its save fails.
         w.shell.on_messages = [&w] { fs::remove_all(w / "later"); };
         fs::create_directory(w / "later");
         w.window.btnZipClick();
         w.shell.on_messages = nullptr;
         EXPECT_EQ(w.shell.boxes.back().kind, MessageKind::kError);
         fs::create_directory(w / "later");
         w.window.btnZipClick();
         EXPECT_EQ(Read(w / "not-a.zip"), "text");
       },
       [](Window& w) {
         auto boxes =
             std::vector<std::string>{kExists, "Unhandled Archive Type.", w.shell.boxes.at(2).text,
                                      Saved(w / "later/new.zip")};
         return boxes;
       },
       "1 file(s) - 1 Kb", "later/new.zip", kDefaultComment + "\na.txt 1500\nok\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.view.page = Page::tabZip;
    w.window.FormShow();
    w.shell.boxes.clear();  // FSX is not installed here
    for (const char* name : {"a.txt", "b.txt"}) Put(in(w, name), std::string(1500, 'a'));
    for (const char* name : {"c.txt", "C.TXT", "sub/a.txt"}) Put(in(w, name), "0123456789");
    Put(in(w, ".hidden"), "dot-x");
    Put(in(w, "read-only.txt"), std::string(2048, 'r'));
    fs::permissions(in(w, "read-only.txt"), fs::perms::owner_read | fs::perms::group_read);
    c.act(w);
    EXPECT_EQ(w.shell.Texts(), c.boxes(w));
    EXPECT_EQ(w.view.Text(Control::FilesLabel), c.summary);
    EXPECT_EQ(w.view.page, Page::tabZip);
    if (c.zip.empty()) continue;
    std::string listing = c.listing;
    if (const size_t at = listing.find("{in}"); at != std::string::npos) {
      listing.replace(at, 4, (w / "in/").substr(1));
    }
    EXPECT_EQ(Listing(w / c.zip), listing);
    EXPECT_EQ(w.view.Text(Control::Label2) + w.view.Text(Control::Label3), "FileZip");
    EXPECT_EQ(w.view.meters[2].Position() + w.view.meters[3].Position(), 0);
  }
}

// ---- one operation at a time -----------------------------------------------------------------

// While an extraction or a save runs, these would start other work, open another zip, change the
// file list or change the destination.
constexpr Control kGreyedDuringWork[] = {
    Control::btnOpenZip,     Control::btnUnZip,     Control::btnUnZipFolder,
    Control::cbUseFSXFolder, Control::cbxFSXFolder, Control::edFolderPath,
    Control::ZipFileList,    Control::btnZip,       Control::btnClearList};

// Every command that must wait, tried at once (as clicks and drops arriving during work would be).
void TryEverything(Window& w) {
  for (const Control c : kGreyedDuringWork) EXPECT_FALSE(w.view.Enabled(c)) << int(c);
  w.view.SetChecked(Control::cbUseFSXFolder, true);
  w.window.cbUseFSXFolderClick();
  w.view.fsx_index = 1;
  w.window.cbxFSXFolderChange();
  w.shell.chosen = {w / "x.zip", w / "x.zip", w / "x.zip"};
  w.window.btnOpenZipClick();
  w.window.btnUnZipFolderClick();
  w.window.btnUnZipClick();
  w.window.btnZipClick();
  w.window.btnClearListClick();
  w.view.selection = {0};
  w.window.ZipFileListKeyDown(kVkDelete);
  w.window.vDelSelectedItmClick();
  for (const Page page : {Page::tabUnZip, Page::tabZip}) {
    w.view.page = page;
    w.Drop({"x.zip", "in/b.txt"});
  }
}

TEST(ZipUtilityTest, OneOperationAtATime) {
  const std::string big(8 << 20, '\0');
  struct Case {
    const char* name;
    bool save;
    int close_at;      // close the window at this call of ProcessMessages (0: never)
    bool close_asked;  // close the window while the overwrite question is open
    std::function<std::vector<std::string>(Window&)> boxes;
    std::map<std::string, std::string> out;  // the destination afterwards
  };
  const Case cases[] = {
      {"an extraction refuses the rest",
       false,
       0,
       false,
       [](Window& w) { return std::vector{kLocation + w / "out"}; },
       {{"big.bin", "random"}, {"small.txt", "small"}}},
      {"a save refuses the rest",
       true,
       0,
       false,
       [](Window& w) { return std::vector{Saved(w / "new.zip")}; },
       {}},
      {"closing during an extraction aborts it",
       false,
       3,
       false,
       [](Window&) { return std::vector<std::string>{}; },
       {}},
      {"closing while the question is open",
       false,
       0,
       true,
       [](Window& w) { return std::vector{Question(w / "out/big.bin")}; },
       {{"big.bin", "old"}}},
      {"closing during a save aborts it",
       true,
       1,
       false,
       [](Window&) { return std::vector<std::string>{}; },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    const auto random = vz::testing::RandomBytes(big.size(), 5);
    ZipBuilder b;
    b.entries.resize(2);
    b.entries[0].name = "big.bin";
    b.entries[0].data = random;
    b.entries[1].name = "small.txt";
    b.entries[1].data = vz::testing::Bytes("small");
    vz::testing::WriteFile(w / "big.zip", b.Build());
    vz::testing::WriteFile(w / "x.zip", ZipOf({{"x", "x"}}));
    Put(w / "in/a.txt", "a");
    Put(w / "in/b.txt", "b");
    vz::testing::WriteFile(w / "in/big.bin", random);
    fs::create_directory(w / "out");
    if (c.close_asked) Put(w / "out/big.bin", "old");
    w.view.SetText(Control::edFolderPath, w / "out");
    w.view.page = Page::tabZip;
    w.Drop({"in/a.txt", "in/big.bin"});
    w.view.page = Page::tabUnZip;
    w.Drop({"big.zip"});

    int calls = 0;
    w.shell.on_messages = [&] {
      if (++calls == 1) TryEverything(w);
      if (calls == c.close_at) w.shell.CloseWindow();
    };
    if (c.close_asked) w.shell.on_box = [&] { w.shell.CloseWindow(); };
    w.shell.answers = {mbYes};
    if (c.save) {
      w.shell.chosen = {w / "new.zip"};
      w.window.btnZipClick();
    } else {
      w.window.btnUnZipClick();
    }
    w.shell.on_messages = nullptr;

    EXPECT_EQ(w.shell.Texts(), c.boxes(w));
    EXPECT_EQ(w.shell.dialogs.size(), c.save ? 1u : 0u);  // the save's own dialog
    EXPECT_EQ(w.window.CurrentZipFile(), w / "big.zip");
    EXPECT_EQ(w.view.list, (std::vector<std::string>{w / "in/a.txt", w / "in/big.bin"}));
    EXPECT_EQ(w.view.Text(Control::edFolderPath), w / "out");
    EXPECT_FALSE(w.view.Checked(Control::cbUseFSXFolder));
    for (const Control control : kGreyedDuringWork) {
      EXPECT_EQ(w.view.Enabled(control), control != Control::cbxFSXFolder) << int(control);
    }
    const bool closing = c.close_at > 0 || c.close_asked;
    EXPECT_EQ(w.shell.closed, closing);
    // Nothing half-done stays behind: no work file, no partial file, no new zip.
    auto out = Tree(w / "out");
    if (out.contains("big.bin") && out["big.bin"].size() == big.size()) {
      EXPECT_EQ(out["big.bin"], std::string(random.begin(), random.end()));
      out["big.bin"] = "random";
    }
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(fs::exists(w / "new.zip"), c.save && !closing);
    // The window heard of the work at least once per MB.
    EXPECT_TRUE(closing || calls >= 8) << calls;
  }
}

}  // namespace
}  // namespace vz::front
