// The runtime's own failures: what the operating system and the byte streams report. The archive
// engine's errors (ArchiveError and its family) build on top of these in errors/errors.h and
// classify them for the per-item failure event.
#pragma once

#include <stdexcept>
#include <string>

namespace vz {

// A file-system operation failed; carries the operating system's error number (errno here).
class InOutError : public std::runtime_error {
 public:
  InOutError(const std::string& message, int os_code)
      : std::runtime_error(message), os_code_(os_code) {}
  // Builds the message from the error number: "<what>: <system text>".
  static InOutError FromErrno(const std::string& what, int os_code);
  int OsCode() const { return os_code_; }

 private:
  int os_code_;
};

// A stream transferred fewer bytes than a whole-buffer read or write asked for.
class FilerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class StreamReadError : public FilerError {
 public:
  StreamReadError() : FilerError("Stream read error") {}
};
class StreamWriteError : public FilerError {
 public:
  StreamWriteError() : FilerError("Stream write error") {}
};

// Opening an existing file failed.
class FileOpenError : public std::runtime_error {
 public:
  FileOpenError(const std::string& path, int os_code);
  int OsCode() const { return os_code_; }

 private:
  int os_code_;
};

// Creating a file failed.
class FileCreateError : public std::runtime_error {
 public:
  FileCreateError(const std::string& path, int os_code);
  int OsCode() const { return os_code_; }

 private:
  int os_code_;
};

// A condition that only a programming error can break; carries the quoted text of the check.
class AssertionError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Raises AssertionError with message when condition is false.
inline void Check(bool condition, const char* message) {
  if (!condition) throw AssertionError(message);
}

// Text of an operating-system error number.
std::string SystemErrorText(int os_code);

}  // namespace vz
