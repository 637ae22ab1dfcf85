// Shared pieces of the vzip commands: argument scanning, messages, the progress line.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace vz {
class CustomZipBrowser;
}

namespace vz::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsage = 2;

// Threads a command may use (vzip -j N); 0 means one per core.
int JobCount();
void SetJobCount(int count);
// The character set of `-O` for names that do not say they are UTF-8; "" when not given.
const std::string& NameCharset();
void SetNameCharset(const std::string& charset);

// Prints "vzip: message" on standard error.
void Error(const std::string& message);
// Ends the run quietly when standard output was cut short (a reader such as `head` closed the pipe
// while SIGPIPE is ignored), as the pipe's signal would have, leaving no work file behind. Cheap
// enough to call after every line.
void EndIfOutputClosed();

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

// Masks given one per argument, as the engine takes a list of them (";"-separated).
std::string JoinMasks(const std::vector<std::string>& masks);

// Checks that name can be read as an archive: it exists and is a non-empty regular file. Prints
// what the file is and why it cannot be used, and returns false, otherwise.
bool CheckArchiveToRead(const std::string& name);
// A file whose name gives no archive type (.xps, .docx, .apk, a self-extracting file without an
// extension) is opened as the zip type its content shows.
void AssertTypeByContent(CustomZipBrowser& browser, const std::string& name);
// The message of a failure to open an archive, with what it means for a person where the engine's
// own text is too short.
std::string ExplainOpenFailure(const std::exception& failure);

// The commands; args are those after the command's name.
int ListCommand(const std::vector<std::string>& args);
int TestCommand(const std::vector<std::string>& args);
int ExtractCommand(const std::vector<std::string>& args);
int AddCommand(const std::vector<std::string>& args);
int DeleteCommand(const std::vector<std::string>& args);
int InstallCommand(const std::vector<std::string>& args);
int InstalledCommand(const std::vector<std::string>& args);
int UninstallCommand(const std::vector<std::string>& args);

}  // namespace vz::cli
