// The Windows window as the logic drives it, under Wine or on Windows: every control the logic
// names is a real common control that shows what the logic set (texts, ticks, enabled states,
// lists, the page, the meters and the outline), and no change through the view reaches a handler.
// The window is made hidden and is never shown, so no box of the logic opens.
//
// A build's test run under Wine has no X server, and without one Wine makes no window at all; the
// tests then run again in a process of their own on a desktop that Wine draws nowhere (its "null"
// graphics driver). See main at the end.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/win32/main_window.h"
#include "app/win32/pictures.h"
#include "app/win32/text.h"
#include "components/zip_outline.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz::win32 {
namespace {

using front::Control;

class Win32Face : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
  }
  void SetUp() override {
    ASSERT_NE(window.Handle(), nullptr)
        << "no window could be made (error " << GetLastError() << ")";
  }
  MainWindow window{front::WindowSettings{}};
};

std::wstring ClassOf(HWND control) {
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  std::wstring lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
  return lower;
}

std::string CaptionOf(HWND control) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

// A window shown within its parent (the test's window itself stays hidden).
bool Shown(HWND window) {
  return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// How the logic works a control, and what Windows control shows it.
enum Role { kLabel, kEdit, kButton, kCheck, kDropDown, kList, kMeter, kStatus };
struct Named {
  Control control;
  Role role;
  const wchar_t* window_class;
};
constexpr Named kNamed[] = {
    {Control::Label4, kLabel, L"static"},
    {Control::edFolderPath, kEdit, L"edit"},
    {Control::btnUnZipFolder, kButton, L"button"},
    {Control::cdExtractPaths, kCheck, L"button"},
    {Control::cbUseFSXFolder, kCheck, L"button"},
    {Control::cbxFSXFolder, kDropDown, L"combobox"},
    {Control::btnOpenZip, kButton, L"button"},
    {Control::btnUnZip, kButton, L"button"},
    {Control::Label6, kLabel, L"static"},
    {Control::Label7, kLabel, L"static"},
    {Control::zipItemMeter, kMeter, L"veldrinmeter"},
    {Control::zipFileMeter, kMeter, L"veldrinmeter"},
    {Control::FilesLabel, kLabel, L"static"},
    {Control::ZipFileList, kList, L"listbox"},
    {Control::edZipComment, kEdit, L"edit"},
    {Control::cbAddComments, kCheck, L"button"},
    {Control::cbIncludePaths, kCheck, L"button"},
    {Control::cbEncryptAes, kCheck, L"button"},
    {Control::btnZip, kButton, L"button"},
    {Control::btnClearList, kButton, L"button"},
    {Control::Label2, kLabel, L"static"},
    {Control::Label3, kLabel, L"static"},
    {Control::FileZippingMeter, kMeter, L"veldrinmeter"},
    {Control::ArchiveZippingMeter, kMeter, L"veldrinmeter"},
    {Control::StatusText, kStatus, L"msctls_statusbar32"},
    {Control::btnExit, kButton, L"button"},
};

TEST_F(Win32Face, EveryNamedControlShowsWhatTheLogicSets) {
  // Every control the logic names is here once, as the design names them.
  std::set<Control> listed;
  for (const Named& named : kNamed) EXPECT_TRUE(listed.insert(named.control).second);
  ASSERT_EQ(listed.size(), static_cast<size_t>(Control::btnExit) + 1);
  ASSERT_EQ(kControlNames.size(), std::size(kNamed));
  front::WindowView& view = window;
  // Texts with what Windows could get wrong: non-ASCII letters, an "&" that is no access key.
  const std::string text = "Größe & 日本語 1.zip";
  for (const Named& named : kNamed) {
    SCOPED_TRACE(static_cast<int>(named.control));
    HWND control = window.ControlHandle(named.control);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(ClassOf(control), named.window_class);
    view.SetEnabled(named.control, false);
    EXPECT_FALSE(IsWindowEnabled(control));
    EXPECT_FALSE(view.Enabled(named.control));
    view.SetEnabled(named.control, true);
    EXPECT_TRUE(IsWindowEnabled(control));
    switch (named.role) {
      case kLabel:
      case kEdit:
        view.SetText(named.control, text);
        EXPECT_EQ(CaptionOf(control), text);
        EXPECT_EQ(view.Text(named.control), text);
        break;
      case kButton:
        // The caption keeps an access key (where the button has one) and shows "&" as itself.
        view.SetText(named.control, "Stop & go");
        EXPECT_NE(CaptionOf(control).find("&&"), std::string::npos) << CaptionOf(control);
        EXPECT_EQ(Narrow(WithoutAccessKey(Wide(CaptionOf(control)))), "Stop & go");
        EXPECT_EQ(view.Text(named.control), "Stop & go");
        break;
      case kCheck:
        for (const bool on : {true, false}) {
          view.SetChecked(named.control, on);
          EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0), on ? BST_CHECKED : BST_UNCHECKED);
          EXPECT_EQ(view.Checked(named.control), on);
        }
        break;
      case kDropDown: {
        view.SetListEntries(named.control, {"first", text});
        EXPECT_EQ(SendMessageW(control, CB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(view.ItemIndex(named.control), -1);
        view.SetItemIndex(named.control, 1);
        EXPECT_EQ(SendMessageW(control, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(CaptionOf(control), text);
        break;
      }
      case kList: {
        view.SetListEntries(named.control, {"a.txt", text, "c.txt"});
        ASSERT_EQ(SendMessageW(control, LB_GETCOUNT, 0, 0), 3);
        wchar_t entry[64] = {};
        SendMessageW(control, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(entry));
        EXPECT_EQ(Narrow(entry), text);
        SendMessageW(control, LB_SETSEL, TRUE, 0);
        SendMessageW(control, LB_SETSEL, TRUE, 2);
        std::vector<int> selected = view.SelectedEntries(named.control);
        std::sort(selected.begin(), selected.end());
        EXPECT_EQ(selected, (std::vector<int>{0, 2}));
        view.SetListEntries(named.control, {"d.txt"});
        EXPECT_TRUE(view.SelectedEntries(named.control).empty());
        break;
      }
      case kMeter: {
        // The model the logic drives is the one this window paints, told of the window's size.
        Meter& meter = view.MeterOf(named.control);
        RECT client;
        GetClientRect(control, &client);
        EXPECT_EQ(meter.Orientation(), moVertical);
        EXPECT_EQ(meter.Width(), client.right);
        EXPECT_EQ(meter.Height(), client.bottom);
        EXPECT_GT(client.bottom, client.right);
        break;
      }
      case kStatus: {
        view.SetText(named.control, "Extracting: " + text);
        wchar_t panel[128] = {};
        SendMessageW(control, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(panel));
        EXPECT_EQ(Narrow(panel), "Extracting: " + text);
        EXPECT_EQ(view.Text(named.control), "Extracting: " + text);
        break;
      }
    }
  }
}

TEST_F(Win32Face, StartsAsTheLogicSetsItAndChangesNeverCallBack) {
  front::WindowView& view = window;
  window.Logic().UpdateFilesLabel();
  EXPECT_EQ(view.Text(Control::Label4), "0 file(s)");
  EXPECT_EQ(CaptionOf(window.ControlHandle(Control::FilesLabel)), "0 file(s) - 0 Kb");
  EXPECT_EQ(view.VisiblePage(), front::Page::tabUnZip);
  EXPECT_FALSE(view.Enabled(Control::cbxFSXFolder));
  EXPECT_EQ(view.ItemIndex(Control::cbxFSXFolder), -1);
  // Ticking the FSX box through the view runs no handler: its list stays greyed.
  view.SetChecked(Control::cbUseFSXFolder, true);
  EXPECT_FALSE(view.Enabled(Control::cbxFSXFolder));
  // The page shown is the one whose controls are visible.
  for (const front::Page page : {front::Page::tabZip, front::Page::tabUnZip}) {
    view.ShowPage(page);
    EXPECT_EQ(view.VisiblePage(), page);
    const bool create = page == front::Page::tabZip;
    EXPECT_EQ(Shown(GetParent(window.ControlHandle(Control::ZipFileList))), create);
    EXPECT_EQ(Shown(GetParent(window.ControlHandle(Control::btnUnZip))), !create);
  }
}

// Where a control lies in the window's client area.
RECT PlaceInWindow(HWND window, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TEST_F(Win32Face, ControlsKeepTheirAnchorsAsTheWindowGrows) {
  // How each edge moves when the client area grows by dx, dy: 0 stays, 1 follows.
  struct Follows {
    const char* name;
    int left, top, right, bottom;
  };
  constexpr Follows kFollows[] = {
      {"imgBan", 0, 0, 1, 0},         {"imgWeb", 1, 0, 1, 0},       {"pcZip", 0, 0, 1, 1},
      {"btnExit", 1, 1, 1, 1},        {"ZipViewer", 0, 0, 1, 1},    {"btnOpenZip", 1, 0, 1, 0},
      {"zipItemMeter", 1, 0, 1, 0},   {"Label7", 1, 0, 1, 0},       {"edFolderPath", 0, 1, 1, 1},
      {"btnUnZipFolder", 1, 1, 1, 1}, {"cbxFSXFolder", 1, 1, 1, 1}, {"ZipFileList", 0, 0, 1, 1},
      {"cbEncryptAes", 0, 1, 1, 1},   {"Label1", 0, 0, 0, 0},
  };
  HWND frame = window.Handle();
  std::vector<RECT> before;
  for (const Follows& f : kFollows) before.push_back(PlaceInWindow(frame, window.Find(f.name)));
  constexpr int dx = 120, dy = 70;
  RECT outer;
  GetWindowRect(frame, &outer);
  SetWindowPos(frame, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (size_t i = 0; i < std::size(kFollows); ++i) {
    const Follows& f = kFollows[i];
    SCOPED_TRACE(f.name);
    const RECT after = PlaceInWindow(frame, window.Find(f.name));
    EXPECT_EQ(after.left - before[i].left, f.left * dx);
    EXPECT_EQ(after.top - before[i].top, f.top * dy);
    EXPECT_EQ(after.right - before[i].right, f.right * dx);
    // A drop-down list's window reaches below its field; only its top is placed.
    if (std::string_view(f.name) != "cbxFSXFolder") {
      EXPECT_EQ(after.bottom - before[i].bottom, f.bottom * dy);
    }
  }
}

// The outline's items walked against the outline's own nodes, the oracle: the same texts, in the
// same order, as deep as the tree view has inserted them.
void ExpectSameTree(HWND tree, HTREEITEM first, const OutlineNode& parent, int* items) {
  HTREEITEM item = first;
  for (int row = 0; row < parent.ChildCount(); ++row, item = TreeView_GetNextSibling(tree, item)) {
    ASSERT_NE(item, nullptr) << parent.Text() << " row " << row;
    wchar_t text[260] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 260;
    TreeView_GetItem(tree, &data);
    const OutlineNode& node = parent.Child(row);
    EXPECT_EQ(Narrow(text), node.Text());
    ++*items;
    if (HTREEITEM child = TreeView_GetChild(tree, item)) ExpectSameTree(tree, child, node, items);
  }
  EXPECT_EQ(item, nullptr) << "more items than nodes under " << parent.Text();
}

TEST_F(Win32Face, OutlineShowsTheZipsTreeAsItIsExpanded) {
  vz::testing::ScratchDir dir;
  vz::testing::ZipBuilder zip;
  for (const char* name : {"Aircraft/Beaver/aircraft.cfg", "Aircraft/Beaver/model/beaver.mdl",
                           "Aircraft/readme.txt", "Effects/fx_smoke.fx", "install.txt"}) {
    vz::testing::ZipEntry entry;
    entry.name = name;
    entry.data = vz::testing::Bytes(name);
    zip.entries.push_back(entry);
  }
  const std::string path = dir / "addon.zip";
  vz::testing::WriteFile(path, zip.Build());
  front::WindowView& view = window;
  ZipOutline& outline = view.ZipViewer();
  outline.SetFileName(path);
  EXPECT_EQ(view.Text(Control::Label4), "5 file(s)");  // the logic heard the change
  HWND tree =
      window.ControlHandle(Control::edFolderPath) != nullptr ? window.Find("ZipViewer") : nullptr;
  ASSERT_NE(tree, nullptr);
  // The expansion asked for on opening happens once the messages are handled.
  window.ProcessMessages();
  int items = 0;
  ExpectSameTree(tree, TreeView_GetRoot(tree), outline.Root(), &items);
  EXPECT_GT(items, 8);  // folders, files and their attribute lines
  // Collapsed, only the top level remains; an expansion cancelled by a collapse never happens.
  outline.FullExpand();
  outline.FullCollapse();
  window.ProcessMessages();
  for (HTREEITEM top = TreeView_GetRoot(tree); top != nullptr;
       top = TreeView_GetNextSibling(tree, top)) {
    EXPECT_EQ(TreeView_GetItemState(tree, top, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    EXPECT_EQ(TreeView_GetChild(tree, top), nullptr);
  }
  items = 0;
  ExpectSameTree(tree, TreeView_GetRoot(tree), outline.Root(), &items);
  EXPECT_EQ(items, outline.Root().ChildCount());
  outline.SetFileName("");
  EXPECT_EQ(TreeView_GetCount(tree), 0u);
}

TEST(Win32Text, AccessKeysAndLines) {
  struct Case {
    const wchar_t* text;
    wchar_t key;
    const wchar_t* marked;
  };
  constexpr Case kCases[] = {
      {L"UnZip", L'U', L"&UnZip"}, {L"Stop", L'U', L"&Stop"},    {L"Open", L'O', L"&Open"},
      {L"Stop", L'O', L"St&op"},   {L"A & B", L'B', L"A && &B"}, {L"1 & 2", L'Z', L"1 && 2"},
      {L"Exit", 0, L"Exit"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(WithAccessKey(c.text, c.key), c.marked) << Narrow(c.text);
    EXPECT_EQ(WithoutAccessKey(c.marked), c.text) << Narrow(c.marked);
  }
  EXPECT_EQ(AccessKeyOf(L"Extract && &Preserve"), L'P');
  EXPECT_EQ(DisplayLines("a\r\nb\rc\nd"), L"a\r\nb\r\nc\r\nd");
  EXPECT_EQ(Narrow(Wide("Größe 日本")), "Größe 日本");
}

// Every picture is drawn (some pixels cover it, none outside the picture's square), and a
// selected picture of the outline differs from its plain one.
TEST(Win32Pictures, AreDrawnAtEverySize) {
  auto covered = [](const std::vector<uint32_t>& pixels) {
    return std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; });
  };
  for (const int size : {16, 24, 32}) {
    SCOPED_TRACE(size);
    const size_t area = static_cast<size_t>(size) * static_cast<size_t>(size);
    for (int i = 0; i < 6; i += 2) {
      const auto plain = OutlinePicturePixels(static_cast<OutlinePicture>(i), size);
      const auto selected = OutlinePicturePixels(static_cast<OutlinePicture>(i + 1), size);
      ASSERT_EQ(plain.size(), area);
      EXPECT_GT(covered(plain), size);
      EXPECT_NE(plain, selected);
    }
    for (int i = 0; i <= static_cast<int>(ButtonPicture::kExit); ++i) {
      EXPECT_GT(covered(ButtonPicturePixels(static_cast<ButtonPicture>(i), size)), size);
    }
    EXPECT_GT(covered(ProgramIconPixels(size)), static_cast<long>(area / 2));
    HICON icon = IconOfPixels(ProgramIconPixels(size), size);
    EXPECT_NE(icon, nullptr);
    DestroyIcon(icon);
  }
}

// The icon in the programs' resources (veldrin-zip.ico beside the sources) is the window's own
// drawing, at every size the file holds. With VZ_WRITE_ICON naming a file, the drawing is written
// there instead: app/win32/write-icon.sh makes the icon file again after the drawing changed.
TEST(Win32Pictures, TheIconFileIsTheDrawnIcon) {
  if (const char* target = std::getenv("VZ_WRITE_ICON")) {
    const std::vector<uint8_t> file = ProgramIconFile();
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    ASSERT_TRUE(out.flush()) << target;
    GTEST_SKIP() << "written to " << target;
  }
  HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  // The group: a count, then 14 bytes per image, its width first and its resource number last.
  const auto* directory = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, group)));
  const int count = directory[4] | directory[5] << 8;
  ASSERT_EQ(count, static_cast<int>(std::size(kProgramIconSizes)));
  for (int entry = 0; entry < count; ++entry) {
    const uint8_t* at = directory + 6 + 14 * entry;
    const int size = kProgramIconSizes[entry];
    SCOPED_TRACE(size);
    ASSERT_EQ(at[0], size);
    HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(at[12] | at[13] << 8), RT_ICON);
    ASSERT_NE(image, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, image)));
    const size_t pixel_count = static_cast<size_t>(size) * static_cast<size_t>(size);
    ASSERT_GE(SizeofResource(nullptr, image), 40 + 4 * pixel_count);
    ASSERT_EQ(bytes[4] | bytes[5] << 8, size);
    // The file's rows run bottom up. Another Windows may smooth the edges a little differently.
    const std::vector<uint32_t> drawn = StraightAlpha(ProgramIconPixels(size));
    int worst = 0;
    for (size_t i = 0; i < pixel_count; ++i) {
      const size_t row = static_cast<size_t>(size) - 1 - i / static_cast<size_t>(size);
      const uint8_t* stored = bytes + 40 + 4 * (row * static_cast<size_t>(size) + i % size);
      for (int c = 0; c < 4; ++c) {
        worst =
            std::max(worst, std::abs(stored[c] - static_cast<int>((drawn[i] >> (8 * c)) & 0xFF)));
      }
    }
    EXPECT_LE(worst, 24) << "the icon file is not the drawn icon: run app/win32/write-icon.sh";
  }
}

// Whether this process can make a window: a process keeps the graphics driver it loaded first, so
// one that has none (Wine without a display) never will.
bool WindowsCanBeMade() {
  HWND probe = CreateWindowExW(0, L"static", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

// Runs this program again, the same command line, on a desktop of Wine's null driver that Wine's
// explorer serves for as long as the run lasts; its exit code, or nothing when Wine cannot.
std::optional<int> RunOnNullDesktop() {
  constexpr const wchar_t* kMarker = L"VZ_FACE_TESTS_DESKTOP";
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (GetEnvironmentVariableW(kMarker, nullptr, 0) != 0 || ntdll == nullptr ||
      GetProcAddress(ntdll, "wine_get_version") == nullptr) {
    return std::nullopt;
  }
  std::wstring desktop = L"vz-face-tests-" + std::to_wstring(GetCurrentProcessId());
  std::wstring command = L"explorer.exe /desktop=" + desktop + L",1024x768,null";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION explorer{};
  // The explorer inherits no handle: it holds none of the caller's pipes open.
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &explorer)) {
    return std::nullopt;
  }
  CloseHandle(explorer.hThread);
  // Idle once the desktop's window waits for messages; a window made earlier would start an
  // explorer with the prefix's own driver instead.
  WaitForInputIdle(explorer.hProcess, 30000);
  std::optional<int> result;
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring arguments = GetCommandLineW();
  SetEnvironmentVariableW(kMarker, desktop.c_str());
  startup.lpDesktop = desktop.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION tests{};
  if (CreateProcessW(program, arguments.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &tests)) {
    CloseHandle(tests.hThread);
    WaitForSingleObject(tests.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(tests.hProcess, &code);
    CloseHandle(tests.hProcess);
    result = static_cast<int>(code);
  }
  // The desktop's window closes its explorer.
  if (HDESK opened = OpenDesktopW(desktop.c_str(), 0, FALSE, GENERIC_ALL)) {
    struct Found {
      static BOOL CALLBACK Each(HWND window, LPARAM) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
      }
    };
    EnumDesktopWindows(opened, &Found::Each, 0);
    CloseDesktop(opened);
  }
  if (WaitForSingleObject(explorer.hProcess, 5000) != WAIT_OBJECT_0) {
    TerminateProcess(explorer.hProcess, 1);
  }
  CloseHandle(explorer.hProcess);
  return result;
}

}  // namespace
}  // namespace vz::win32

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!vz::win32::WindowsCanBeMade()) {
    if (const std::optional<int> code = vz::win32::RunOnNullDesktop()) return *code;
  }
  return RUN_ALL_TESTS();
}
