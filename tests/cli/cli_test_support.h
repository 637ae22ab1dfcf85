// Running vzip and other zip tools from tests.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.h"

namespace vz::testing {

struct RunResult {
  int status = -1;     // exit status, or -1 when the command did not exit normally
  std::string output;  // standard output and standard error together
};

// Runs a shell command, capturing its output.
inline RunResult Shell(const std::string& command) {
  RunResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

// A path quoted for the shell.
inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

inline std::string Vzip(const std::string& args) {
  return std::string(VZIP_PATH) + " " + args;
}

}  // namespace vz::testing
