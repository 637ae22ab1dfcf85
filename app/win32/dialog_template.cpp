#include "app/win32/dialog_template.h"

namespace vz::win32 {

namespace {

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lparam);
  auto* behaviour =
      reinterpret_cast<const DialogTemplate::Behaviour*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (behaviour == nullptr) return FALSE;
  return (*behaviour)(dialog, message, wparam, lparam);
}

}  // namespace

DialogTemplate::DialogTemplate(std::wstring_view title, short width, short height) {
  const DWORD style =
      DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_3DLOOK;
  Word(LOWORD(style));
  Word(HIWORD(style));
  Word(0);  // extended style
  Word(0);
  count_at_ = data_.size();
  Word(0);  // controls, counted as they are added
  for (const short value : {short{0}, short{0}, width, height}) Word(static_cast<WORD>(value));
  Word(0);  // no menu
  Word(0);  // the dialog class
  Text(title);
  Word(8);  // point size of the font
  Text(L"Tahoma");
}

void DialogTemplate::Word(WORD value) {
  data_.push_back(value);
}

void DialogTemplate::Text(std::wstring_view text) {
  for (const wchar_t c : text) Word(static_cast<WORD>(c));
  Word(0);
}

void DialogTemplate::Align() {
  if (data_.size() % 2 != 0) Word(0);  // items start on a DWORD boundary
}

void DialogTemplate::Add(DialogClass kind, std::wstring_view text, DWORD style, short x, short y,
                         short width, short height, WORD id) {
  Align();
  style |= WS_CHILD | WS_VISIBLE;
  Word(LOWORD(style));
  Word(HIWORD(style));
  Word(0);  // extended style
  Word(0);
  for (const short value : {x, y, width, height}) Word(static_cast<WORD>(value));
  Word(id);
  Word(0xFFFF);
  Word(static_cast<WORD>(kind));
  Text(text);
  Word(0);  // no creation data
  ++data_[count_at_];
}

INT_PTR DialogTemplate::Run(HWND owner, Behaviour behaviour) const {
  std::vector<WORD> copy = data_;  // the dialog manager reads from a DWORD-aligned block
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                 reinterpret_cast<const DLGTEMPLATE*>(copy.data()), owner,
                                 &DialogProcedure, reinterpret_cast<LPARAM>(&behaviour));
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ControlText(HWND dialog, int id) {
  return WindowText(GetDlgItem(dialog, id));
}

}  // namespace vz::win32
