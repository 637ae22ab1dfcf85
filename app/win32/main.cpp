// veldrin-zip.exe: the Veldrin Zip window on Windows. With one zip file named it opens that zip on
// the "Extract Zip" page; with other files or folders it lists them on the "Create Zip" page (what
// Explorer's "Open with" and a drop on the program's icon pass).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/win32/main_window.h"
#include "app/win32/text.h"
#include "front/product.h"
#include "platform/process.h"
#include "platform/temp_files.h"

// The version as a wide string literal.
#define VZ_WIDEN2(text) L##text
#define VZ_WIDEN(text) VZ_WIDEN2(text)
#define VZ_VERSION_WIDE VZ_WIDEN(VZ_VERSION)

namespace {

constexpr const wchar_t* kUsage =
    L"Usage: veldrin-zip [ZIPFILE | FILE...]\r\n"
    L"\r\n"
    L"The Veldrin Zip window, for zip archives of Flight Simulator X add-ons.\r\n"
    L"  ZIPFILE   a zip file to open on the \"Extract Zip\" page\r\n"
    L"  FILE...   files (and the files below folders) to list on the \"Create Zip\" page\r\n"
    L"\r\n"
    L"  --help     show this text\r\n"
    L"  --version  show the version\r\n";

// Says text on the console the program was started from, or in a box when there is none (a
// window program has no console of its own).
void Tell(const std::wstring& text, bool error) {
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
      CloseHandle(console);
      return;
    }
  }
  MessageBoxW(nullptr, text.c_str(), vz::win32::Wide(vz::front::kApplicationTitle).c_str(),
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

std::vector<std::wstring> Arguments() {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(words[i]);
  LocalFree(words);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show_command) {
  std::vector<std::string> paths;
  for (const std::wstring& argument : Arguments()) {
    if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
      Tell(kUsage, false);
      return 0;
    }
    if (argument == L"--version") {
      Tell(L"veldrin-zip (Veldrin Zip) " VZ_VERSION_WIDE L"\r\n", false);
      return 0;
    }
    // Anything else that starts with "-" is a mistake, not a file name that was not found.
    if (argument.size() > 1 && argument[0] == L'-') {
      Tell(L"veldrin-zip: unknown option '" + argument + L"'\r\n\r\n" + kUsage, true);
      return 2;
    }
    paths.push_back(vz::win32::Narrow(argument));
  }
  // The codecs allocate their tables per item; freed memory is kept for the next one.
  vz::platform::KeepFreedMemoryForReuse();
  // A session that ends or a console that closes leaves no work file behind.
  vz::platform::RemoveTempFilesOnSignals();
  // The file dialogs are COM objects of the shell, in this thread's apartment.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const INITCOMMONCONTROLSEX controls{
      sizeof(INITCOMMONCONTROLSEX),
      ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  vz::front::WindowSettings settings = vz::front::WindowSettings::FromEnvironment();
  // The open dialog starts where the program was started (the program's own folder holds no
  // zips).
  std::wstring current(MAX_PATH, L'\0');
  current.resize(GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
  if (!current.empty()) settings.program_folder = vz::win32::Narrow(current);
  int result = 0;
  {
    vz::win32::MainWindow window(std::move(settings),
                                 vz::win32::MainWindow::RememberedSettingsFile());
    window.OpenAtStart(std::move(paths));
    window.QuitWhenClosed();
    window.Show(show_command);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window.PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    result = static_cast<int>(message.wParam);
  }
  vz::platform::RemoveRegisteredTempFiles();
  CoUninitialize();
  return result;
}
