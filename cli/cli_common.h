// Shared pieces of the vzip commands: argument scanning, messages, the progress line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vz::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsage = 2;

// Prints "vzip: message" on standard error.
void Error(const std::string& message);

// One progress line on standard error, redrawn in place; silent when standard error is not a
// terminal.
class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine() { Clear(); }
  void Show(const std::string& verb, const std::string& name, int percent);
  // Removes the line (before other output).
  void Clear();

 private:
  bool enabled_;
  bool shown_ = false;
  int width_;
};

// The commands; args are those after the command's name.
int ListCommand(const std::vector<std::string>& args);
int TestCommand(const std::vector<std::string>& args);
int ExtractCommand(const std::vector<std::string>& args);

}  // namespace vz::cli
