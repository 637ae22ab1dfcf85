// vzip: the command-line face of the Veldrin Zip engine, for scripts and terminal users.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_common.h"

namespace {

constexpr const char* kUsageText =
    "Usage: vzip COMMAND [OPTIONS] ARCHIVE ...\n"
    "\n"
    "Veldrin Zip packs and unpacks zip archives of flight-simulator add-ons.\n"
    "\n"
    "Commands:\n"
    "  list      list the items of an archive\n"
    "  test      check every item of an archive\n"
    "  extract   extract every item of an archive\n"
    "\n"
    "Run 'vzip COMMAND --help' for the options of a command.\n"
    "Exit status: 0 success, 1 some items failed, 2 usage error or unreadable archive.\n";

constexpr const char* kListHelp =
    "Usage: vzip list ARCHIVE\n"
    "\n"
    "Lists the archive's comment (if any), then one line per item: size, compressed size,\n"
    "method, compression ratio, CRC-32, date and time, and stored name; then the totals.\n";

constexpr const char* kTestHelp =
    "Usage: vzip test ARCHIVE [-P PASSWORD]\n"
    "\n"
    "Decodes every item without writing it and checks its CRC-32 and local header.\n"
    "Each failure is printed with its reason.\n"
    "\n"
    "  -P PASSWORD  password of encrypted items (asked on a terminal when not given)\n";

constexpr const char* kExtractHelp =
    "Usage: vzip extract ARCHIVE [-d DIR] [-j] [-o | -n] [-P PASSWORD]\n"
    "\n"
    "Extracts every item into DIR (default: the current folder), keeping stored folders.\n"
    "Names that would land outside DIR are refused.\n"
    "\n"
    "  -d DIR       destination folder (created when missing)\n"
    "  -j           junk paths: put every file directly into DIR\n"
    "  -o           overwrite existing files without asking\n"
    "  -n           never overwrite existing files\n"
    "  -P PASSWORD  password of encrypted items (asked on a terminal when not given)\n"
    "\n"
    "Without -o or -n you are asked about each existing file on a terminal; when standard\n"
    "input is not a terminal, existing files are kept.\n";

struct Command {
  int (*run)(const std::vector<std::string>&);
  const char* help;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace vz::cli;
  const std::map<std::string, Command> commands = {
      {"list", {ListCommand, kListHelp}},
      {"test", {TestCommand, kTestHelp}},
      {"extract", {ExtractCommand, kExtractHelp}},
  };
  if (argc < 2) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    std::fputs(kUsageText, stdout);
    return kOk;
  }
  if (first == "--version") {
    std::puts("vzip (Veldrin Zip) 0.1.0");
    return kOk;
  }
  const auto command = commands.find(first);
  if (command == commands.end()) {
    Error("unknown command '" + first + "' (see 'vzip --help')");
    return kUsage;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(command->second.help, stdout);
      return kOk;
    }
  }
  return command->second.run(args);
}
