// The dialogs of the add-on install: the plan shown before anything is written, and the list of
// installed add-ons with their uninstall.
#include <string>

#include "app/win32/dialog_template.h"
#include "app/win32/shell_dialogs.h"
#include "app/win32/text.h"

namespace vz::win32 {

namespace {

constexpr WORD kParts = 200, kLines = 201, kAircraft = 202, kSimObject = 203, kReplace = 204,
               kAddons = 205, kNote = 0xFFFF;

std::wstring Lines(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) {
    if (!joined.empty()) joined += "\r\n";
    joined += line;
  }
  return DisplayLines(joined);
}

void FillCombo(HWND combo, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

int ComboChoice(HWND dialog, int id) {
  HWND combo = GetDlgItem(dialog, id);
  return combo != nullptr ? static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)) : -1;
}

}  // namespace

front::InstallPlanAnswer ShowInstallPlanDialog(HWND owner,
                                               const front::InstallPlanRequest& request) {
  constexpr short kWidth = 420, kLineHeight = 8, kMargin = 7;
  std::string heading =
      request.update ? "It was installed before: the old install is removed first.\n\n" : "";
  heading += "Each part goes where FSX expects it:";
  for (const std::string& part : request.parts) heading += "\n" + part;
  const std::wstring parts = DisplayLines(heading);
  short lines = 1;
  for (const wchar_t c : parts) lines = static_cast<short>(lines + (c == L'\n'));

  // Laid out from the top; the dialog's height is where the buttons end.
  struct Item {
    DialogClass kind;
    std::wstring text;
    DWORD style;
    short y, height;
    WORD id;
  };
  std::vector<Item> items;
  short y = kMargin;
  auto add = [&](DialogClass kind, std::wstring text, DWORD style, short height, WORD id,
                 short advance) {
    items.push_back({kind, std::move(text), style, y, height, id});
    y = static_cast<short>(y + advance);
  };
  add(DialogClass::kStatic, parts, SS_LEFT | SS_NOPREFIX, static_cast<short>(lines * kLineHeight),
      kParts, static_cast<short>(lines * kLineHeight + 4));
  add(DialogClass::kEdit, L"",
      ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL |
          WS_BORDER | WS_TABSTOP,
      130, kLines, 134);
  auto choice = [&](const wchar_t* label, const std::vector<std::string>& entries, WORD id) {
    if (entries.empty()) return;
    add(DialogClass::kStatic, label, SS_LEFT, kLineHeight, kNote, kLineHeight + 2);
    // A drop-down list's height in a template is that of the list dropped down.
    items.push_back(
        {DialogClass::kComboBox, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, y, 120, id});
    y = static_cast<short>(y + 17);
  };
  choice(L"The installed aircraft that gets the livery:", request.aircraft, kAircraft);
  choice(L"Where the sim object goes:", request.simobject_folders, kSimObject);
  if (request.different > 0) {
    add(DialogClass::kButton,
        L"&Replace the " + std::to_wstring(request.different) +
            L" file(s) that exist and differ (their old copies are kept for uninstall)",
        BS_AUTOCHECKBOX | WS_TABSTOP, 10, kReplace, 14);
  }
  if (request.identical > 0) {
    add(DialogClass::kStatic,
        std::to_wstring(request.identical) + L" file(s) are there already, the same: skipped.",
        SS_LEFT, kLineHeight, kNote, kLineHeight + 4);
  }
  const short buttons_at = static_cast<short>(y + 3);
  DialogTemplate dialog(Wide(request.title), kWidth, static_cast<short>(buttons_at + 14 + kMargin));
  for (const Item& item : items) {
    dialog.Add(item.kind, item.text, item.style, kMargin, item.y, kWidth - 2 * kMargin, item.height,
               item.id);
  }
  dialog.Add(DialogClass::kButton, L"&Install", BS_DEFPUSHBUTTON | WS_TABSTOP, kWidth - 112,
             buttons_at, 50, 14, IDOK);
  dialog.Add(DialogClass::kButton, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, kWidth - 57, buttons_at,
             50, 14, IDCANCEL);

  front::InstallPlanAnswer answer;
  dialog.Run(owner, [&](HWND box, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
      SetDlgItemTextW(box, kLines, Lines(request.lines).c_str());
      if (!request.aircraft.empty()) FillCombo(GetDlgItem(box, kAircraft), request.aircraft);
      if (!request.simobject_folders.empty()) {
        FillCombo(GetDlgItem(box, kSimObject), request.simobject_folders);
      }
      SetFocus(GetDlgItem(box, IDOK));
      return INT_PTR{FALSE};
    }
    if (message != WM_COMMAND) return INT_PTR{FALSE};
    const int id = LOWORD(wparam);
    if (id != IDOK && id != IDCANCEL) return INT_PTR{FALSE};
    answer.install = id == IDOK;
    answer.replace_different = IsDlgButtonChecked(box, kReplace) == BST_CHECKED;
    answer.aircraft = request.aircraft.empty() ? -1 : ComboChoice(box, kAircraft);
    answer.simobject_folder = request.simobject_folders.empty() ? -1 : ComboChoice(box, kSimObject);
    EndDialog(box, id);
    return INT_PTR{TRUE};
  });
  return answer;
}

std::optional<int> ShowInstalledAddonsDialog(HWND owner, const std::vector<std::string>& entries) {
  constexpr short kWidth = 340, kMargin = 7;
  DialogTemplate dialog(L"Installed Add-ons", kWidth, 200);
  dialog.Add(DialogClass::kStatic,
             entries.empty() ? L"No add-ons have been installed with Veldrin Zip."
                             : L"Add-ons installed with Veldrin Zip (name - kind - folder):",
             SS_LEFT | SS_NOPREFIX, kMargin, kMargin, kWidth - 2 * kMargin, 8, kNote);
  dialog.Add(DialogClass::kListBox, L"",
             LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_BORDER | WS_TABSTOP,
             kMargin, 18, kWidth - 2 * kMargin, 154, kAddons);
  dialog.Add(DialogClass::kButton, L"&Uninstall", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED,
             kWidth - 112, 179, 50, 14, IDOK);
  dialog.Add(DialogClass::kButton, L"Close", BS_PUSHBUTTON | WS_TABSTOP, kWidth - 57, 179, 50, 14,
             IDCANCEL);
  int chosen = -1;
  const INT_PTR answer = dialog.Run(owner, [&](HWND box, UINT message, WPARAM wparam, LPARAM) {
    HWND list = GetDlgItem(box, kAddons);
    if (message == WM_INITDIALOG) {
      for (const std::string& entry : entries) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
      }
      return INT_PTR{TRUE};
    }
    if (message != WM_COMMAND) return INT_PTR{FALSE};
    const int id = LOWORD(wparam);
    if (id == kAddons && HIWORD(wparam) == LBN_SELCHANGE) {
      EnableWindow(GetDlgItem(box, IDOK), SendMessageW(list, LB_GETCURSEL, 0, 0) != LB_ERR);
      return INT_PTR{TRUE};
    }
    if (id == IDOK && !IsWindowEnabled(GetDlgItem(box, IDOK))) return INT_PTR{TRUE};
    if (id != IDOK && id != IDCANCEL) return INT_PTR{FALSE};
    chosen = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    EndDialog(box, id);
    return INT_PTR{TRUE};
  });
  if (answer != IDOK || chosen < 0) return std::nullopt;
  return chosen;
}

}  // namespace vz::win32
