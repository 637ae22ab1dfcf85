// Modal dialogs laid out in code: a dialog template built in memory (in dialog units of the
// window's font, Tahoma 8 point) and run by the system's dialog manager, which brings Tab, the
// access keys, Enter for the default button and Escape for IDCANCEL. A dialog's behaviour is one
// function over its messages.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vz::win32 {

// The system's control classes a template names by number.
enum class DialogClass : WORD {
  kButton = 0x80,
  kEdit = 0x81,
  kStatic = 0x82,
  kListBox = 0x83,
  kComboBox = 0x85,
};

class DialogTemplate {
 public:
  // A dialog of width by height dialog units, with a caption and a close box, centred on its owner.
  DialogTemplate(std::wstring_view title, short width, short height);

  // Adds a visible child control; style adds to WS_CHILD | WS_VISIBLE.
  void Add(DialogClass kind, std::wstring_view text, DWORD style, short x, short y, short width,
           short height, WORD id);

  // What the dialog does with a message: the result a dialog procedure returns (TRUE when it was
  // handled). WM_INITDIALOG comes first, as usual.
  using Behaviour = std::function<INT_PTR(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)>;
  // Runs the dialog modally over owner and returns what EndDialog was given (-1 when it could
  // not be shown).
  INT_PTR Run(HWND owner, Behaviour behaviour) const;

 private:
  void Word(WORD value);
  void Text(std::wstring_view text);
  void Align();

  std::vector<WORD> data_;
  size_t count_at_ = 0;  // where the template keeps the number of its controls
};

// The text of a window, and of a dialog's control, as UTF-16.
std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);

}  // namespace vz::win32
