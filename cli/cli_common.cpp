#include "cli/cli_common.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "components/zip_browser.h"
#include "errors/errors.h"
#include "front/display_text.h"
#include "platform/fs.h"
#include "platform/temp_files.h"
#include "platform/terminal.h"

namespace vz::cli {

std::string JoinMasks(const std::vector<std::string>& masks) {
  std::string list;
  for (const std::string& mask : masks) {
    if (!list.empty()) list += ';';
    list += mask;
  }
  return list;
}

bool CheckArchiveToRead(const std::string& name) {
  const auto status = platform::StatPath(name);
  if (!status) {
    Error(name + ": " + MessageText(FileNotFoundError::kCode));
    return false;
  }
  if (status->is_directory) {
    Error(name + ": is a folder, not a zip archive");
    return false;
  }
  if (!status->is_regular) {
    Error(name + ": is a " + status->kind + ", not a zip archive (only regular files are read)");
    return false;
  }
  if (status->size == 0) {
    Error(name + ": is empty (0 bytes), not a zip archive");
    return false;
  }
  return true;
}

void AssertTypeByContent(CustomZipBrowser& browser, const std::string& name) {
  if (DetermineArchiveType(name) != atUnrecognised) return;  // the name decides
  const ArchiveType by_content = ZipTypeByContent(name);
  if (by_content != atUnrecognised) browser.SetAssertedType(by_content);
}

std::string ExplainOpenFailure(const std::exception& failure) {
  std::string text = failure.what();
  if (dynamic_cast<const UnhandledTypeError*>(&failure) != nullptr) {
    text += ": no zip directory found (not a zip archive, or a truncated or damaged one)";
  }
  return text;
}

namespace {
int job_count = 0;
}  // namespace

namespace {
std::string name_charset;
}  // namespace

const std::string& NameCharset() {
  return name_charset;
}

void SetNameCharset(const std::string& charset) {
  name_charset = charset;
}

int JobCount() {
  return job_count;
}

void SetJobCount(int count) {
  job_count = count;
}

void EndIfOutputClosed() {
  if (!std::ferror(stdout)) return;
  if (std::fflush(stdout) == 0 || errno != EPIPE) return;
  platform::EndAsByClosedPipe();
}

void Error(const std::string& message) {
  // The engine joins a failure and its cause with a line break; one line reads better here.
  std::string line = message;
  for (size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, ": ");
  // Names in it (the archive's own too) may hold any bytes: none of them drives the terminal.
  std::fprintf(stderr, "vzip: %s\n", Printable(line).c_str());
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
  line += Printable(name);  // the archive's own name may hold any bytes
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
