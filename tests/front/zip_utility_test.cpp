// The window's logic driven through a scripted view and shell, with the real engine and real
// files: start-up and the FSX folders from hand-written Wine prefixes, the two workflows as scripts
// of user steps (Python's zipfile reads the zips written), and one operation at a time.
#include "front/zip_utility.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

#include "front/window_script.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz::front {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string Read(const std::string& path) {
  const auto bytes = vz::testing::ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

void Put(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  vz::testing::WriteFile(path, text);
}

// A zip of stored items; a wrong CRC for the item named "bad.txt".
std::vector<uint8_t> ZipOf(const Files& items) {
  vz::testing::ZipBuilder b;
  for (const auto& [name, text] : items) {
    b.entries.push_back({});
    b.entries.back().name = name;
    b.entries.back().data = vz::testing::Bytes(text);
    if (name == "bad.txt") b.entries.back().crc = 1234;
  }
  return b.Build();
}

// The files below a folder, with their contents.
Files Tree(const std::string& folder) {
  Files tree;
  if (!fs::exists(folder)) return tree;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_directory())
      tree[fs::relative(e.path(), folder).generic_string()] = Read(e.path().string());
  }
  return tree;
}

// What Python's zipfile reads in a zip: the comment, "name size" per item, "ok" when every CRC
// checks.
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
  vz::testing::ScratchDir dir;
  script::ScriptedView view;
  script::ScriptedShell shell;
  ZipUtilityWindow window;
  std::string vanishing;

  explicit Window(FsxSearch fsx = {}) : window(view, shell, {std::move(fsx), dir / "program"}) {
    shell.window = &window;
    window.FormCreate();
  }
  std::string operator/(const std::string& name) const { return dir / name; }
  // "{d}" stands for the scratch folder.
  std::string Expand(const std::string& text) const { return Replace(text, "{d}", dir / ""); }

  // Runs the user's steps, separated by ";"; paths are below the scratch folder.
  //   drop P... | unzip | open | zip [P] | clear | delete I... | popup I... | page zip|unzip
  //   answer yes|no|all|ok|cancel|closed... (the boxes' answers in turn) | choose P|-... (dialogs)
  //   dest [P] | tick C | type T (one key per character) | put P [T] | rm P | mkdir P
  //   vanish P (removed while the next command handles messages)
  void Run(const std::string& script);
  // The boxes shown, "*" in expected matching any text.
  void ExpectBoxes(std::vector<std::string> expected) const {
    std::vector<std::string> shown = shell.Texts();
    // The counts an extraction ends with are looked at where they are the point.
    static const std::regex counts(
        "\r\n\r\n[0-9]+ file\\(s\\) written, [0-9]+ skipped, [0-9]+ failed\\.$");
    for (std::string& text : shown) text = std::regex_replace(text, counts, "");
    // Paths are compared whichever separators they were written with (Windows shows "\\").
    const auto slashes = [](std::string text) {
      if (testing::kOnWindows) std::replace(text.begin(), text.end(), '\\', '/');
      return text;
    };
    for (std::string& text : shown) text = slashes(text);
    // A "*" in an expected text stands for any text there.
    for (size_t i = 0; i < expected.size(); ++i) {
      expected[i] = slashes(Expand(expected[i]));
      const size_t star = expected[i].find('*');
      if (star == std::string::npos || i >= shown.size()) continue;
      const std::string head = expected[i].substr(0, star);
      const std::string tail = expected[i].substr(star + 1);
      if (shown[i].size() >= head.size() + tail.size() && shown[i].starts_with(head) &&
          shown[i].ends_with(tail)) {
        shown[i] = expected[i];
      }
    }
    EXPECT_EQ(shown, expected);
  }
};

void Window::Run(const std::string& script) {
  std::istringstream steps(script);
  for (std::string step; std::getline(steps, step, ';');) {
    std::istringstream words(step);
    std::string verb;
    std::vector<std::string> args;
    std::vector<std::string> paths;
    words >> verb;
    for (std::string word; words >> word; paths.push_back(dir / word)) args.push_back(word);
    if (verb == "drop") {
      window.WMDropFiles(paths);
    } else if (verb == "unzip") {
      window.btnUnZipClick();
    } else if (verb == "open") {
      window.btnOpenZipClick();
    } else if (verb == "zip") {
      shell.chosen.insert(shell.chosen.end(), paths.begin(), paths.end());
      window.btnZipClick();
    } else if (verb == "clear") {
      window.btnClearListClick();
    } else if (verb == "delete" || verb == "popup") {
      for (const std::string& arg : args) view.selection.push_back(std::stoi(arg));
      if (verb == "delete") window.ZipFileListKeyDown(kVkDelete);
      if (verb == "popup") window.vDelSelectedItmClick();
    } else if (verb == "page") {
      view.page = args.at(0) == "zip" ? Page::tabZip : Page::tabUnZip;
    } else if (verb == "answer") {
      const std::map<std::string, MessageButton> buttons = {
          {"yes", mbYes}, {"no", mbNo},         {"all", mbAll},     {"notoall", mbNoToAll},
          {"ok", mbOK},   {"cancel", mbCancel}, {"closed", mbNone}, {"openfolder", mbOpenFolder}};
      for (const std::string& arg : args) shell.answers.push_back(buttons.at(arg));
    } else if (verb == "choose") {
      for (size_t i = 0; i < args.size(); ++i) {
        shell.chosen.push_back(args[i] == "-" ? std::nullopt : std::optional(paths[i]));
      }
    } else if (verb == "dest") {
      view.SetText(Control::edFolderPath, args.empty() ? "" : paths[0]);
    } else if (verb == "tick") {
      view.SetChecked(args.at(0) == "paths" ? Control::cbIncludePaths : Control::cdExtractPaths,
                      true);
    } else if (verb == "type") {
      for (size_t i = 0, n = 1; i < args.at(0).size(); i += n, n = 1) {
        while (i + n < args[0].size() && (args[0][i + n] & 0xC0) == 0x80) ++n;
        window.edZipCommentKeyPress();  // before the key changes the text
        view.texts[Control::edZipComment] += args[0].substr(i, n);
      }
    } else if (verb == "put") {
      Put(paths.at(0), args.size() > 1 ? args[1] : "");
    } else if (verb == "protect") {
      fs::permissions(paths.at(0), fs::perms(0444));
    } else if (verb == "rm" || verb == "mkdir") {
      verb == "rm" ? fs::remove_all(paths.at(0)) : fs::create_directories(paths.at(0));
    } else if (verb == "vanish") {
      vanishing = paths.at(0);
      shell.on_messages = [this] {
        std::error_code ignored;
        fs::remove_all(std::exchange(vanishing, ""), ignored);
      };
    } else {
      ADD_FAILURE() << "unknown step '" << verb << "'";
    }
  }
}

// ---- start-up and the FSX folders ------------------------------------------------------------

TEST(ZipUtilityTest, StartUpChecksFsxAndTheListFillsTheDestination) {
  if (vz::testing::kOnWindows) GTEST_SKIP() << "FSX is looked for in Wine prefixes on Linux";
  // FSX Steam Edition in the prefix that Proton made for it, in a library libraryfolders.vdf names.
  vz::testing::ScratchDir home;
  const std::string h = home.path().string();
  const std::string pfx = h + "/lib/steamapps/compatdata/314160/pfx";
  Put(h + "/.steam/steam/steamapps/libraryfolders.vdf",
      "\"libraryfolders\" { \"1\" { \"path\" \"" + h + "/lib\" } }");
  Put(pfx + "/user.reg", R"(WINE REGISTRY Version 2

[Software\\Microsoft\\Microsoft Games\\Flight Simulator - Steam Edition\\10.0] 1
"AppPath"="C:\\FSX SE\\"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1
"Personal"="C:\\users\\steamuser\\Docs"
)");
  Put(pfx + "/drive_c/FSX SE/FSX.EXE", "");
  fs::create_directories(pfx + "/dosdevices");
  fs::create_directory_symlink("../drive_c", pfx + "/dosdevices/c:");
  for (const bool found : {true, false}) {
    SCOPED_TRACE(found ? "found" : "missing");
    Window w(found ? FsxSearch{"", h} : FsxSearch{});
    w.window.FormShow();
    w.window.FormShow();  // only the first showing checks
    EXPECT_TRUE(w.shell.drops);
    EXPECT_EQ(w.view.Text(Control::Label4) + " " + w.view.Text(Control::FilesLabel),
              "0 file(s) 0 file(s) - 0 Kb");
    const std::string warning =
        "Please note: This utility has performed a check and found that the FSX.exe\rfile is "
        "not found at the following location as reported by the registry:\r\r[FSX.exe not "
        "found]\r\rWe recommend you correct this situation using our freeware Marrowline\rwhich "
        "can be downloaded from our main website (https://veldrin.example) otherwise\rsome "
        "features (e.g. 'Extract to Specific FSX Folder') may not function correctly.";
    EXPECT_EQ(w.shell.Texts(), found ? std::vector<std::string>{} : std::vector{warning});
    EXPECT_TRUE(found || !w.shell.boxes[0].origin) << "centred on the screen";

    // Ticking the box: the list gives the folders, or the warning comes again and the mode is off.
    w.view.SetChecked(Control::cbUseFSXFolder, true);
    w.window.cbUseFSXFolderClick();
    EXPECT_EQ(w.view.Checked(Control::cbUseFSXFolder), found);
    EXPECT_EQ(w.view.Enabled(Control::cbxFSXFolder), found);
    EXPECT_EQ(w.view.Enabled(Control::btnUnZipFolder), !found);
    EXPECT_EQ(w.shell.boxes.size(), found ? 0u : 2u);
    if (!found) continue;
    w.view.fsx_index = 2;
    w.window.cbxFSXFolderChange();
    EXPECT_EQ(w.view.Text(Control::edFolderPath), pfx + "/drive_c/FSX SE/SimObjects/Airplanes");
    w.view.fsx_index = 12;
    w.window.cbxFSXFolderChange();
    const std::string documents = pfx + "/drive_c/users/steamuser/Docs/Flight Simulator X Files";
    EXPECT_EQ(w.view.Text(Control::edFolderPath), documents);
    w.view.SetChecked(Control::cbUseFSXFolder, false);
    w.window.cbUseFSXFolderClick();
    EXPECT_EQ(w.view.Text(Control::edFolderPath), documents) << "unticking keeps the folder";
    EXPECT_EQ(w.view.fsx_index, -1);
  }
}

TEST(ZipUtilityTest, EscapeExitHintsAndTheBanner) {
  Window w;
  EXPECT_FALSE(w.window.FormKeyDown(13));
  EXPECT_FALSE(w.shell.closed);
  EXPECT_TRUE(w.window.FormKeyDown(kVkEscape));
  EXPECT_TRUE(w.shell.closed);

  Window exit;
  vz::testing::WriteFile(exit / "a.zip", ZipOf({{"a", "1"}}));
  exit.Run("drop a.zip; dest out; put c; put a; put b; page zip; drop c a b");
  EXPECT_EQ(exit.window.ShowHint(1, 1, 13), (ListHint{exit / "b", 0, 0}));
  EXPECT_EQ(exit.window.ShowHint(2, 0, 13), (ListHint{exit / "c", 0, 26}));
  EXPECT_EQ(exit.window.ShowHint(3, 0, 13), std::nullopt);
  EXPECT_EQ(exit.window.ShowHint(-1, 0, 13), std::nullopt);
  exit.window.imgBanClick();
  EXPECT_EQ(exit.shell.pages, std::vector<std::string>{"https://veldrin.example/?=VeldrinZip"});
  exit.window.btnExitClick();
  EXPECT_EQ(exit.view.outline.FileName() + exit.view.Text(Control::edFolderPath), "");
  EXPECT_TRUE(exit.shell.closed);

  // Boxes follow a window partly off-screen; halves truncate toward zero.
  EXPECT_EQ(CenteredOn({-700, -40, 600, 535}, 250, 121), (BoxOrigin{-525, 167}));
  EXPECT_EQ(CenteredOn({-5, -5, -3, 7}, 3, 0), (BoxOrigin{-7, -2}));
  EXPECT_EQ(EscapeButton(mbYes | mbNo | mbAll), mbNo);
  EXPECT_EQ(EscapeButton(mbOK | mbCancel), mbCancel);
  EXPECT_EQ(DefaultButton(mbYes | mbCancel), mbYes);
  EXPECT_EQ(FailureReportText("Done!") + FailureReportText("caf\xc3\xa9"), "Done!caf\xc3\xa9.");
}

// The program's arguments: one zip opens for extraction, anything else is listed for creation
// (a folder by the files below it), and names that do not exist are told.
TEST(ZipUtilityTest, TheCommandLineOpensAZipOrListsFiles) {
  struct Case {
    std::vector<std::string> args;
    Page page;
    std::string zip;
    std::vector<std::string> list;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {{"Addon.ZIP"}, Page::tabUnZip, "Addon.ZIP", {}, {}},
      {{"Addon.ZIP", "a.txt"}, Page::tabZip, "", {"a.txt", "Addon.ZIP"}, {}},
      {{"Addon.ZIP", "b.zip"},
       Page::tabUnZip,
       "Addon.ZIP",
       {},
       {"One zip is opened at a time. These were not opened:\r\n\r\n{d}b.zip"}},
      {{"tree"}, Page::tabZip, "", {"tree/b.txt", "tree/sub/c.txt"}, {}},
      {{"gone.zip", "a.txt"},
       Page::tabZip,
       "",
       {"a.txt"},
       {"These files were not found:\r\n\r\n{d}gone.zip"}},
      {{"gone.zip"}, Page::tabUnZip, "", {}, {"These files were not found:\r\n\r\n{d}gone.zip"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    Window w;
    vz::testing::WriteFile(w / "Addon.ZIP", ZipOf({{"a", "1"}}));
    vz::testing::WriteFile(w / "b.zip", ZipOf({{"b", "2"}}));
    w.Run("put a.txt; put tree/b.txt; put tree/sub/c.txt");
    std::vector<std::string> paths;
    for (const std::string& arg : c.args) paths.push_back(w / arg);
    w.window.OpenCommandLine(paths);
    EXPECT_EQ(w.view.page, c.page);
    EXPECT_EQ(w.window.CurrentZipFile(), c.zip.empty() ? "" : w / c.zip);
    EXPECT_EQ(w.shell.title, c.zip.empty() ? "Veldrin - ZIP" : "Veldrin - ZIP - " + c.zip);
    std::vector<std::string> listed;
    for (const std::string& entry : c.list) listed.push_back(w / entry);
    EXPECT_EQ(w.window.FileList(), listed);
    w.ExpectBoxes(c.boxes);
    EXPECT_FALSE(fs::exists(w / "gone.zip"));  // never created by opening it
  }
  // With folders kept, a folder named stores its files below its own name and a file beside it
  // under its name alone: never under the folders above them.
  Window w;
  w.Run("put a.txt; put tree/b.txt; put tree/sub/c.txt");
  w.window.OpenCommandLine({w / "tree", w / "a.txt"});
  w.Run("tick paths; zip kept.zip");
  if (vz::testing::HaveTool("python3")) {
    EXPECT_TRUE(
        Listing(w / "kept.zip").ends_with("\na.txt 0\ntree/b.txt 0\ntree/sub/c.txt 0\nok\n"))
        << Listing(w / "kept.zip");
  }
}

// ---- extraction ------------------------------------------------------------------------------

// locked.zip: e1.txt and e2.txt encrypted with "secret", plain.txt not.
void MakeLockedZip(const Window& w) {
  Zipper zipper;
  zipper.EditSettings([&](ComponentSettings& s) {
    s.SetAutoSave(true);
    s.SetBaseDirectory(w.dir.path().string());
  });
  zipper.SetFileName(w / "locked.zip");
  for (const char* name : {"e1.txt", "e2.txt", "plain.txt"}) {
    zipper.EditSettings(
        [&](ComponentSettings& s) { s.SetPassword(name[0] == 'e' ? "secret" : ""); });
    Put(w / name, "plain");
    zipper.AddFiles(name, 0);
  }
}

std::string Question(const std::string& path) {
  // What is there now and what the zip holds, each size and date, come between.
  return "This file already exists in the destination location. \r\n\r\n{d}" + path +
         "\r\n\r\nThere now: *\r\n\r\nWould you like to overwrite?";
}
const std::string kDone = "Zip contents extracted to this location:\r\n\r\n{d}out";
const std::string kCancelled = "UnZip Complete. One or more extractions cancelled!";
const std::string kFailed = "UnZip Complete. One or more files could not be extracted:\r\n\r\n";
const std::string kPasswordNotice =
    "Please note: One or more files in this Zip archive are encrypted.\rPassword-protected Zip "
    "file support has not yet been implemented.\r\rThe Zip Utility will now attempt to extract "
    "any non-encrypted files,\rplease check the destination folder for any output.";
const std::string kNotAZip = "Sorry, this is not a Zip File!";

TEST(ZipUtilityTest, ExtractionTellsWhatHappened) {
  const Files flat = {{"a.txt", "new a"}, {"b.txt", "new b"}};
  const std::string old = "put out/a.txt old; put out/b.txt old; drop FILE.ZIP; answer ";
  const std::string locked =
      "e1.txt - Cannot extract file - invalid password\r\ne2.txt - "
      "Cannot extract file - invalid password";
  const struct {
    std::string script;
    std::vector<std::string> boxes;
    Files out;  // the destination afterwards
  } cases[] = {
      {"drop FILE.ZIP x.zip; unzip", {kDone}, flat},  // the first dropped path only
      {"tick folders; drop FILE.ZIP; unzip", {kDone}, {{"a.txt", "new a"}, {"sub/b.txt", "new b"}}},
      {"put a.txt; drop a.txt; unzip", {kNotAZip, "Please open a Zip file!"}, {}},
      // A zip that fails to load is refused and never written, and the page is left empty.
      {"put bad.zip damaged; drop FILE.ZIP; drop bad.zip; unzip",
       {kNotAZip, "Please open a Zip file!"},
       {}},
      {"mkdir folder.zip; drop folder.zip; unzip",
       {"{d}folder.zip: is a folder, not a zip archive", "Please open a Zip file!"},
       {}},
      // Opening never makes a zip; a download cut short says so.
      {"drop none.zip; unzip",
       {"This Zip file was not found:\r\n\r\n{d}none.zip", "Please open a Zip file!"},
       {}},
      {"put cut.zip PK\x03\x04"
       "cut; drop cut.zip; unzip",
       {"{d}cut.zip: this zip is cut short (an incomplete download?): the directory at its end is "
        "missing.",
        "Please open a Zip file!"},
       {}},
      {"choose FILE.ZIP out; open; dest; unzip", {kDone}, flat},
      {"drop FILE.ZIP; dest gone; unzip", {"Directory does not exist."}, {}},
      {old + "no yes; unzip",
       {Question("out/a.txt"), Question("out/b.txt"), kCancelled},
       {{"a.txt", "old"}, {"b.txt", "new b"}}},
      {old + "all; unzip", {Question("out/a.txt"), kDone}, flat},
      {old + "notoall; unzip",
       {Question("out/a.txt"), kCancelled},
       {{"a.txt", "old"}, {"b.txt", "old"}}},
      {old + "cancel; unzip",
       {Question("out/a.txt"),
        "UnZip stopped. What was extracted before stays in this location:\r\n\r\n{d}out"},
       {{"a.txt", "old"}, {"b.txt", "old"}}},
      {old + "closed yes; unzip",
       {Question("out/a.txt"), Question("out/b.txt"), kCancelled},
       {{"a.txt", "old"}, {"b.txt", "new b"}}},
      // Items of one name without their folders: the first is extracted, the next is listed, and
      // only a file there before the run is asked about.
      {"drop two.zip; unzip",
       {kFailed + "y/a.txt - same name as x/a.txt in this archive"},
       {{"a.txt", "1"}}},
      {"put out/a.txt old; drop two.zip; answer no; unzip",
       {Question("out/a.txt"), kFailed + "y/a.txt - same name as x/a.txt in this archive"},
       {{"a.txt", "old"}}},
      {"drop crc.zip; unzip", {kFailed + "bad.txt - Failed CRC Check"}, {{"good.txt", "good"}}},
      {"drop lying.zip; unzip",
       {kFailed + "lying.zip - damaged archive: the end record counts 65535 items, the central "
                  "directory holds 1"},
       {{"good.txt", "good"}}},
      {"drop locked.zip; unzip; rm out/plain.txt; unzip",
       {kPasswordNotice, kFailed + locked, kPasswordNotice, kFailed + locked},
       {{"plain.txt", "plain"}}},
      // A destination deleted after an extraction does not stop the next one.
      {"drop FILE.ZIP; unzip; rm out; mkdir out2; dest out2; unzip",
       {kDone, "Zip contents extracted to this location:\r\n\r\n{d}out2"},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Window w;
    vz::testing::WriteFile(w / "FILE.ZIP", ZipOf({{"a.txt", "new a"}, {"sub/b.txt", "new b"}}));
    vz::testing::WriteFile(w / "x.zip", ZipOf({{"x", "x"}}));
    vz::testing::WriteFile(w / "two.zip", ZipOf({{"x/a.txt", "1"}, {"y/a.txt", "2"}}));
    vz::testing::WriteFile(w / "crc.zip", ZipOf({{"bad.txt", "data"}, {"good.txt", "good"}}));
    auto lying = ZipOf({{"good.txt", "good"}});  // its end record counts 65,535 items
    std::fill_n(lying.end() - 14, 4, 0xFF);
    vz::testing::WriteFile(w / "lying.zip", lying);
    if (c.script.find("locked") != std::string::npos) MakeLockedZip(w);
    w.Run("mkdir out; dest out; " + c.script);
    w.ExpectBoxes(c.boxes);
    for (const auto& box : w.shell.boxes) {
      EXPECT_TRUE(box.kind == MessageKind::kError || box.origin == BoxOrigin({300, 267}));
    }
    EXPECT_EQ(Tree(w / "out"), c.out);
    EXPECT_TRUE(!fs::exists(w / "bad.zip") || Read(w / "bad.zip") == "damaged");
    // At rest again, whatever happened.
    EXPECT_EQ(w.view.Text(Control::Label6) + w.view.Text(Control::Label7) +
                  w.view.Text(Control::StatusText),
              "FileZip");
    EXPECT_EQ(w.view.meters[0].Position() + w.view.meters[1].Position(), 0);
  }
  {
    // An encrypted zip asks for its password, with the item's name: right at once, or wrong and
    // then right; each command asks anew.
    const std::vector<std::pair<std::deque<std::optional<std::string>>, std::vector<std::string>>>
        answers = {{{"secret"}, {"e1.txt"}}, {{"wrong", "secret"}, {"e1.txt", "e1.txt (again)"}}};
    for (const auto& [given, asked] : answers) {
      Window w;
      MakeLockedZip(w);
      w.shell.passwords = given;
      w.Run("mkdir out; dest out; drop locked.zip; unzip");
      EXPECT_EQ(w.shell.password_questions, asked);
      w.ExpectBoxes({"Zip contents extracted to this location:\r\n\r\n{d}out"});
      EXPECT_EQ(Tree(w / "out"),
                (Files{{"e1.txt", "plain"}, {"e2.txt", "plain"}, {"plain.txt", "plain"}}));
    }
  }
  {
    // The ending counts the files written, kept and failed, and opens the folder when asked.
    Window w;
    vz::testing::WriteFile(w / "FILE.ZIP",
                           ZipOf({{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "c"}}));
    w.Run("mkdir out; dest out; put out/b.txt old; drop FILE.ZIP; answer no openfolder; unzip");
    EXPECT_EQ(
        w.shell.Texts().back(),
        Replace(kCancelled + "\r\n\r\n2 file(s) written, 1 skipped, 0 failed.", "{d}", w / ""));
    EXPECT_EQ(w.shell.boxes.back().buttons, mbOK | mbOpenFolder);
    EXPECT_EQ(w.shell.folders, (std::vector<std::string>{w / "out"}));
  }
  {
    // While the overwrite question is open, the status bar names the item it is about.
    Window w;
    vz::testing::WriteFile(w / "FILE.ZIP", ZipOf({{"a.txt", "new a"}, {"b.txt", "new b"}}));
    std::vector<std::string> status;
    w.shell.on_box = [&] { status.push_back(w.view.Text(Control::StatusText)); };
    w.Run("mkdir out; dest out; put out/b.txt old; drop FILE.ZIP; answer no; unzip");
    EXPECT_EQ(status, (std::vector<std::string>{"Extracting: b.txt", ""}));
  }
  {
    // Stop: during the work the UnZip button says "Stop"; pressed, the work ends at its next
    // progress report, what was extracted stays and the item in progress is gone.
    Window w;
    Files big;
    for (int i = 0; i < 6; ++i) big["f" + std::to_string(i) + ".txt"] = std::string(100, 'x');
    vz::testing::WriteFile(w / "FILE.ZIP", ZipOf(big));
    std::string caption;
    w.shell.on_messages = [&] {
      if (!caption.empty()) return;
      caption = w.view.Text(Control::btnUnZip);
      w.window.btnUnZipClick();
    };
    w.Run("mkdir out; dest out; drop FILE.ZIP; unzip");
    EXPECT_EQ(caption, "Stop");
    w.ExpectBoxes(
        {"UnZip stopped. What was extracted before stays in this location:\r\n\r\n{d}out"});
    EXPECT_LT(Tree(w / "out").size(), big.size());
    EXPECT_EQ(w.view.Text(Control::btnUnZip), "UnZip");
    EXPECT_FALSE(w.window.Working());
    // ... and the same for a save: the zip is left as it was.
    w.shell.boxes.clear();
    caption.clear();
    w.shell.on_messages = [&] {
      if (!caption.empty()) return;
      caption = w.view.Text(Control::btnZip);
      w.window.btnZipClick();
    };
    w.Run("page zip; put in/a.txt aaa; put in/b.txt bbb; drop in/a.txt in/b.txt; zip made.zip");
    EXPECT_EQ(caption, "Stop");
    w.ExpectBoxes({"Zip stopped. The zip was left as it was:\r\n\r\n{d}made.zip"});
    EXPECT_FALSE(fs::exists(w / "made.zip"));
    EXPECT_EQ(w.view.Text(Control::btnZip), "Zip");
  }
  Window w;  // a zip opened by the dialog; the folder browser cancelled
  vz::testing::WriteFile(w / "FILE.ZIP", ZipOf({{"a", "1"}}));
  w.Run("choose FILE.ZIP -; open; dest; unzip");
  EXPECT_TRUE(w.shell.boxes.empty());
  EXPECT_EQ(w.shell.dialogs,
            (std::vector<std::string>{"Select a Zip file|Zip files (*.zip)|*.zip||" + w / "program",
                                      "Select the destination folder..."}));
}

// ---- creation --------------------------------------------------------------------------------

const std::string kDefaultComment = "Created with Veldrin ZIP (Freeware) - https://veldrin.example";
const std::string kExists =
    "This Zip filename exists. Add files to this Zip?\r\n\r\n(Any existing files in the Zip will "
    "be replaced)";

// "Add Files..." and "Add Folder..." fill the list as drops do, a folder's files keeping its name
// when folders are kept; Ctrl+O on the Create page adds files.
TEST(ZipUtilityTest, AddFilesAndAddFolder) {
  if (!vz::testing::HaveTool("python3")) GTEST_SKIP() << "python3 reads the zip written";
  Window w;
  w.Run("page zip; put a.txt x; put tree/b.txt y; put tree/sub/c.txt z");
  w.shell.chosen_many.push_back({w / "a.txt"});
  w.window.mnuAddFilesClick();
  w.shell.chosen.push_back(w / "tree");
  w.window.mnuAddFolderClick();
  EXPECT_EQ(w.window.FileList(),
            (std::vector<std::string>{w / "a.txt", w / "tree/b.txt", w / "tree/sub/c.txt"}));
  w.Run("tick paths; zip added.zip");
  EXPECT_TRUE(Listing(w / "added.zip").ends_with("\na.txt 1\ntree/b.txt 1\ntree/sub/c.txt 1\nok\n"))
      << Listing(w / "added.zip");
  w.window.OpenShortcut();
  EXPECT_EQ(w.shell.dialogs.back(), "Add files to the list|All files (*)|*||");
  EXPECT_EQ(w.window.FileList().size(), 3u);  // cancelled: nothing changes
}

TEST(ZipUtilityTest, CreationListsSummarisesAndSaves) {
  if (!vz::testing::HaveTool("python3")) GTEST_SKIP() << "python3 reads the zips written";
  const std::string deep = "in/" + std::string(100, 'd') + "/" + std::string(100, 'e') + "/" +
                           std::string(100, 'f');  // whole, though longer than 254 characters
  const struct {
    std::string script;
    std::vector<std::string> boxes;
    std::string summary;   // FilesLabel afterwards
    std::string zip = "";  // the zip written, and what Python reads in it
    std::string listing = "";
  } cases[] = {
      {"drop in/a.txt in/b.txt; drop in/a.txt",
       {"Please Note: [ 1 ] of the files you just dropped are already in the list."},
       "2 file(s) - 3 Kb"},  // 3,000 bytes, in KB rounded up
      {"put " + deep + "; drop in/c.txt in/C.TXT " + deep, {}, "3 file(s) - 1 Kb"},
      {"drop in/sub in/a.txt in/none.txt in/b.txt",
       {"Please note: [1] of the items dropped were folders.\r\n\r\nThis utility currently only "
        "accepts actual filenames.\r\n\r\nTo add the contents of a folder open it in the "
        "explorer\r\nand 'Drag & Drop' the files, the folder structure will\r\nbe preserved if "
        "you select that option.",
        "One of the files you attempted to drop is in use and will not be added."},
       "2 file(s) - 3 Kb"},
      {"drop in/a.txt in/b.txt in/c.txt; delete 2 0; drop in/c.txt; popup 1; answer cancel ok; "
       "clear; clear; clear; zip",
       {"Clear the list of files?", "Clear the list of files?",
        "Please add some files to this Zip!"},
       "0 file(s) - 0 Kb"},
      // One character typed into the comment leaves the box unticked.
      {"type x; drop in/a.txt in/read-only.txt in/.hidden; zip backup.txt",
       {"Zip file saved as:\r\n\r\n{d}backup.txt.zip"},
       "3 file(s) - 4 Kb",
       "backup.txt.zip",
       kDefaultComment + "\n.hidden 5\na.txt 1500\nread-only.txt 2048\nok\n"},
      {"type \xc3\xa9t; tick paths; drop in/sub/a.txt; zip backup.ZIP",
       {"Zip file saved as:\r\n\r\n{d}backup.ZIP"},
       "1 file(s) - 1 Kb",  // 10 bytes
       "backup.ZIP",
       "\xc3\xa9t\na.txt 10\nok\n"},  // a dropped file under its name alone
      {"drop in/a.txt; answer cancel; zip old.zip",
       {kExists},
       "1 file(s) - 2 Kb",
       "old.zip",
       "\na.txt 3\nz.txt 2\nok\n"},
      {"drop in/a.txt in/b.txt; answer yes; zip old.zip",
       {kExists, "Zip file saved as:\r\n\r\n{d}old.zip"},
       "2 file(s) - 3 Kb",
       "old.zip",
       kDefaultComment + "\na.txt 1500\nz.txt 2\nb.txt 1500\nok\n"},
      // A zip its owner protected is not replaced.
      {"put ro.zip kept; protect ro.zip; drop in/a.txt; zip ro.zip",
       {"{d}ro.zip: is write-protected"},
       "1 file(s) - 2 Kb"},
      // Nothing listed is lost without a word.
      {"drop in/a.txt in/sub/a.txt in/c.txt; rm in/c.txt; zip twice",
       {"Zip file saved as:\r\n\r\n{d}twice.zip\r\n\r\nThese files could not be added:\r\n{d}in/"
        "c.txt - File not found\r\n{d}in/sub/a.txt - Cannot insert file - duplicates stored name"},
       "3 file(s) - 2 Kb",
       "twice.zip",
       kDefaultComment + "\na.txt 1500\nok\n"},
      // A failed save does not block the next one.
      {"put not-a.zip text; drop in/a.txt; answer yes; zip not-a.zip; mkdir later; vanish later; "
       "zip later/new.zip; mkdir later; zip later/new.zip",
       {kExists, "Unhandled Archive Type.", "*", "Zip file saved as:\r\n\r\n{d}later/new.zip"},
       "1 file(s) - 2 Kb",
       "later/new.zip",
       kDefaultComment + "\na.txt 1500\nok\n"},
      // Every file failed: nothing is said to be saved, and no zip is left (checked below).
      {"drop in/c.txt; rm in/c.txt; zip none",
       {"No file could be added to the zip {d}none.zip:\r\n{d}in/c.txt - File not found"},
       "1 file(s) - 1 Kb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Window w;
    w.Run("page zip");
    for (const char* name : {"in/a.txt", "in/b.txt"}) Put(w / name, std::string(1500, 'a'));
    for (const char* name : {"in/c.txt", "in/C.TXT", "in/sub/a.txt"}) Put(w / name, "0123456789");
    Put(w / "in/.hidden", "dot-x");
    Put(w / "in/read-only.txt", std::string(2048, 'r'));
    fs::permissions(w / "in/read-only.txt", fs::perms::owner_read);
    vz::testing::WriteFile(w / "old.zip", ZipOf({{"a.txt", "old"}, {"z.txt", "zz"}}));
    w.Run(c.script);
    w.ExpectBoxes(c.boxes);
    EXPECT_EQ(w.view.Text(Control::FilesLabel), c.summary);
    EXPECT_FALSE(fs::exists(w / "none.zip"));
    if (c.zip.empty()) continue;
    // Stored names with folders have no leading "/".
    EXPECT_EQ(Listing(w / c.zip), Replace(c.listing, "{d}", (w / "").substr(1)));
    EXPECT_EQ(w.view.Text(Control::Label2) + w.view.Text(Control::Label3), "FileZip");
    EXPECT_EQ(w.view.meters[2].Position() + w.view.meters[3].Position(), 0);
  }
  Window w;
  w.Run("page zip; put a; drop a; zip");
  EXPECT_EQ(w.shell.dialogs,
            std::vector<std::string>{"Save your zip file|Zip file (*.zip)|*.zip|.zip|"});
}

// ---- one operation at a time -----------------------------------------------------------------

// While an extraction or a save runs, these would start other work, open another zip, change the
// file list or change the destination: greyed, and refused when tried all the same.
constexpr Control kGreyedDuringWork[] = {
    Control::btnOpenZip,     Control::btnUnZip,     Control::btnUnZipFolder,
    Control::cbUseFSXFolder, Control::cbxFSXFolder, Control::edFolderPath,
    Control::ZipFileList,    Control::btnZip,       Control::btnClearList};

const std::string kCloseQuestion =
    "Work is in progress. Stop it and close the window?\r\n\r\nWhat was finished stays; the file "
    "in progress is removed.";

TEST(ZipUtilityTest, OneOperationAtATime) {
  const auto random = vz::testing::RandomBytes(8 << 20, 5);
  const struct {
    std::string work;
    int close_at;  // close the window at this handling of messages; -1: while the question is open
    std::vector<std::string> boxes;
    Files out;  // the destination afterwards
  } cases[] = {
      {"unzip", 0, {kDone}, {{"big.bin", "random"}, {"small.txt", "small"}}},
      {"zip new.zip", 0, {"Zip file saved as:\r\n\r\n{d}new.zip"}, {}},
      {"unzip", 3, {kCloseQuestion}, {}},
      {"put out/big.bin old; unzip",
       -1,
       {Question("out/big.bin"), kCloseQuestion},
       {{"big.bin", "old"}}},
      {"zip new.zip", 1, {kCloseQuestion}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.work + ", closing at " + std::to_string(c.close_at));
    Window w;
    vz::testing::ZipBuilder b;
    b.entries = {{}, {}};
    b.entries[0].name = "big.bin";
    b.entries[0].data = random;
    b.entries[1].name = "small.txt";
    b.entries[1].data = vz::testing::Bytes("small");
    vz::testing::WriteFile(w / "big.zip", b.Build());
    fs::create_directory(w / "in");
    vz::testing::WriteFile(w / "in/big.bin", random);
    w.Run(
        "put x.zip; put in/a.txt a; put in/b.txt; mkdir out; dest out; page zip; "
        "drop in/a.txt in/big.bin; page unzip; drop big.zip");
    int calls = 0;
    w.shell.on_messages = [&] {
      if (++calls == c.close_at) w.shell.CloseWindow();
      if (calls > 1) return;
      // Greyed, but for the running work's own button, which stops it.
      const bool saving = c.work.starts_with("zip");
      const Control stop = saving ? Control::btnZip : Control::btnUnZip;
      for (const Control control : kGreyedDuringWork) {
        EXPECT_EQ(w.view.Enabled(control), control == stop);
      }
      w.view.SetChecked(Control::cbUseFSXFolder, true);
      w.window.cbUseFSXFolderClick();
      w.view.fsx_index = 1;
      w.window.cbxFSXFolderChange();
      w.Run(std::string("choose x.zip x.zip x.zip; open; ") + (saving ? "unzip" : "zip") +
            "; clear; delete 0; popup 0; drop x.zip; page zip; drop in/b.txt; page unzip");
    };
    if (c.close_at < 0) w.shell.on_box = [&] { w.shell.CloseWindow(); };
    w.Run("answer yes; " + c.work);
    w.shell.on_messages = nullptr;

    w.ExpectBoxes(c.boxes);
    EXPECT_EQ(w.shell.dialogs.size(), c.work.starts_with("zip") ? 1u : 0u);  // its own
    EXPECT_EQ(w.window.CurrentZipFile(), w / "big.zip");
    EXPECT_EQ(w.view.list, (std::vector<std::string>{w / "in/a.txt", w / "in/big.bin"}));
    EXPECT_FALSE(w.view.Checked(Control::cbUseFSXFolder));
    for (const Control control : kGreyedDuringWork) {
      EXPECT_EQ(w.view.Enabled(control), control != Control::cbxFSXFolder);
    }
    const bool closing = c.close_at != 0;
    EXPECT_EQ(w.shell.closed, closing);
    // Nothing half-done stays behind: no work file, no partial file, no new zip.
    Files out = Tree(w / "out");
    if (out["big.bin"] == std::string(random.begin(), random.end())) out["big.bin"] = "random";
    if (out["big.bin"].empty()) out.erase("big.bin");
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(fs::exists(w / "new.zip"), c.work.starts_with("zip") && !closing);
    EXPECT_TRUE(closing || calls >= 8) << "the window hears of the work at least once per MB";
  }
  // Asked before closing during work, the user may go on: the work ends as it would have.
  Window w;
  vz::testing::WriteFile(w / "FILE.ZIP", ZipOf({{"a.txt", std::string(300000, 'a')}}));
  int calls = 0;
  w.shell.on_messages = [&] {
    if (++calls == 2) w.shell.CloseWindow();
  };
  w.Run("mkdir out; dest out; drop FILE.ZIP; answer no; unzip");
  w.ExpectBoxes({kCloseQuestion, kDone});
  EXPECT_FALSE(w.shell.closed);
  EXPECT_EQ(Tree(w / "out").size(), 1u);
}

}  // namespace
}  // namespace vz::front
