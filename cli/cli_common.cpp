#include "cli/cli_common.h"

#include <algorithm>

#include "platform/terminal.h"

namespace vz::cli {

void Error(const std::string& message) {
  std::fprintf(stderr, "vzip: %s\n", message.c_str());
}

ProgressLine::ProgressLine()
    : enabled_(platform::StderrIsTerminal()), width_(platform::TerminalWidth()) {}

void ProgressLine::Show(const std::string& verb, const std::string& name, int percent) {
  if (!enabled_) return;
  char head[16];
  std::snprintf(head, sizeof head, "[%3d%%] ", percent);
  std::string line = head;
  line += verb;
  line += ' ';
  line += name;
  const auto limit = static_cast<size_t>(std::max(width_ - 1, 20));
  if (line.size() > limit) line = line.substr(0, limit);
  std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::Clear() {
  if (!shown_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace vz::cli
