// The console on Windows: whether a stream is one, its width, and questions answered on it.
#include <io.h>

#include <cstdio>
#include <iostream>

#include "platform/terminal.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

bool StdinIsTerminal() {
  return ::_isatty(::_fileno(stdin)) != 0;
}

bool StderrIsTerminal() {
  return ::_isatty(::_fileno(stderr)) != 0;
}

int TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    if (width > 0) return width;
  }
  return 80;
}

namespace {

std::optional<std::string> ReadAnswer(const std::string& prompt, bool echo) {
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(input, &mode) != 0;
  if (console) {
    // Typed text read as UTF-16 from the console, whatever its code page.
    if (!echo) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring line;
    wchar_t c = 0;
    DWORD got = 0;
    bool any = false;
    while (::ReadConsoleW(input, &c, 1, &got, nullptr) && got == 1) {
      any = true;
      if (c == L'\n') break;
      if (c != L'\r') line += c;
    }
    if (!echo) {
      ::SetConsoleMode(input, mode);
      std::fputs("\n", stderr);
    }
    if (!any) return std::nullopt;
    return win32::Utf8(line);
  }
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::optional<std::string> AskLine(const std::string& prompt) {
  return ReadAnswer(prompt, true);
}

std::optional<std::string> AskSecret(const std::string& prompt) {
  return ReadAnswer(prompt, false);
}

}  // namespace vz::platform
