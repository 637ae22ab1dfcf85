// vzip: the command-line face of the Veldrin Zip engine, for scripts and terminal users.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/temp_files.h"

namespace {

constexpr const char* kUsageText =
    "Usage: vzip [-j N] [-O CHARSET] COMMAND [OPTIONS] ARCHIVE ...\n"
    "\n"
    "Veldrin Zip packs and unpacks zip archives of flight-simulator add-ons.\n"
    "\n"
    "Commands:\n"
    "  list      list the items of an archive\n"
    "  test      check the items of an archive\n"
    "  extract   extract the items of an archive\n"
    "  add       add files to an archive, creating it when missing\n"
    "  delete    remove items from an archive\n"
    "  install   install an add-on into FSX where FSX expects each part\n"
    "  installed list the add-ons installed into FSX\n"
    "  uninstall remove an installed add-on, as it was before\n"
    "\n"
    "Before the command:\n"
    "  -j N      compress or extract with N threads (default: one per processor core;\n"
    "            1 works on one thread). Output and messages are the same for every N.\n"
    "  -O CHARSET  read item names that do not say they are UTF-8 in CHARSET (as iconv\n"
    "            names it: CP866, KOI8-R, CP1251, CP932, CP1252, ...). Without it such names\n"
    "            are code page 437 when made on DOS or Windows, and kept as their bytes\n"
    "            otherwise.\n"
    "\n"
    "Run 'vzip COMMAND --help' for the options of a command.\n"
    "Archives are read by their content whatever their names (.xps, .docx, .apk, .jar, a\n"
    "self-extracting program).\n"
    "Exit status: 0 success, 1 some items failed, 2 usage error or unreadable archive.\n";

#define VZ_MASK_HELP                                                                        \
  "MASK selects items by stored name with * and ? (as \"*.cfg\" or \"texture/*\"; a mask\n" \
  "without a folder part also matches in every folder); several masks add up.\n"

constexpr const char* kListHelp =
    "Usage: vzip list ARCHIVE [MASK...] [-x MASK]...\n"
    "\n"
    "Lists the archive's comment (if any), then one line per item: size, compressed size,\n"
    "method, compression ratio, CRC-32, date and time, and stored name; then the totals.\n"
    "Control characters in names and comments are shown escaped (^[ and the like).\n"
    "Damage found in the archive's end records is reported, and the status is then 1.\n"
    "\n" VZ_MASK_HELP "  -x MASK      leave out the items that match MASK\n";

constexpr const char* kTestHelp =
    "Usage: vzip test ARCHIVE [MASK...] [-x MASK]... [-P PASSWORD]\n"
    "\n"
    "Decodes every item (or those matching the masks) without writing it and checks its\n"
    "CRC-32 (or AES authentication code) and local header. Each failure is printed with its\n"
    "reason; damage found in the archive's end records makes the status 1 as well.\n"
    "\n" VZ_MASK_HELP
    "  -x MASK      leave out the items that match MASK\n"
    "  -P PASSWORD  password of encrypted items (asked on a terminal when not given)\n";

constexpr const char* kExtractHelp =
    "Usage: vzip extract ARCHIVE [MASK...] [-x MASK]... [-d DIR] [-j] [-o | -n] [-P PASSWORD]\n"
    "\n"
    "Extracts every item (or those matching the masks) into DIR (default: the current\n"
    "folder), keeping stored folders. Names that would land outside DIR are refused, and\n"
    "nothing is written through a symbolic link found inside DIR.\n"
    "\n" VZ_MASK_HELP
    "  -x MASK      leave out the items that match MASK\n"
    "  -d DIR       destination folder (created when missing, once the archive could be read)\n"
    "  -j           junk paths: put every file directly into DIR\n"
    "  -o           overwrite existing files without asking\n"
    "  -n           never overwrite existing files\n"
    "  -P PASSWORD  password of encrypted items (asked on a terminal when not given)\n"
    "\n"
    "Without -o or -n you are asked about each existing file on a terminal; when standard\n"
    "input is not a terminal, existing files are kept.\n";

constexpr const char* kAddHelp =
    "Usage: vzip add ARCHIVE FILE... [-r] [-L] [-j] [-m METHOD] [-l LEVEL] [-c COMMENT]\n"
    "                [-P PASSWORD [--aes]] [-s BYTES]\n"
    "\n"
    "Adds files to ARCHIVE, creating it when it does not exist (a new archive appears only\n"
    "when at least one file is stored). Stored names keep the path as given (below a named\n"
    "folder with -r). A file whose stored name was already in the archive is freshened:\n"
    "replaced when its size or time differs. Two files of one command with the same stored\n"
    "name are an error: the second is reported and left out. Everything is written by one\n"
    "save at the end; when that fails the archive stays as it was. Files and folders that\n"
    "cannot be read are reported and left out. Another vzip adding to the same archive is\n"
    "waited for.\n"
    "\n"
    "  -r           descend into folders and add every file below them\n"
    "  -L           with -r, also descend into linked folders (never into a loop)\n"
    "  -j           junk paths: store file names alone\n"
    "  -p           accepted for older scripts; paths are kept by default\n"
    "  -m METHOD    store, deflate, or best: deflate unless storing is smaller (default);\n"
    "               or bzip2, lzma, xz or zstd (files they would make larger are stored;\n"
    "               older unzip programs cannot read them)\n"
    "  -l LEVEL     normal (default), maximum, fast or superfast, for every method\n"
    "  -c COMMENT   set the archive comment (an empty COMMENT removes it; at most 65,535\n"
    "               bytes)\n"
    "  -P PASSWORD  encrypt new items with the traditional zip cipher (weak protection)\n"
    "  --aes        with -P, encrypt with WinZip AES-256 instead (strong; read by 7-Zip,\n"
    "               WinZip and Python's pyzipper, not by Info-ZIP unzip)\n"
    "  -s BYTES     write a spanned set of parts of at most BYTES each (suffix k, m or g;\n"
    "               at least 64k); for set.zip the parts are set.z01, set.z02, ... and\n"
    "               set.zip itself last. A spanned set cannot be updated afterwards.\n";

constexpr const char* kDeleteHelp =
    "Usage: vzip delete ARCHIVE MASK... [-x MASK]...\n"
    "\n"
    "Removes the items that match the masks, with one save at the end; when that fails\n"
    "the archive stays as it was.\n"
    "\n" VZ_MASK_HELP "  -x MASK      keep the items that match MASK\n";

constexpr const char* kInstallHelp =
    "Usage: vzip install ARCHIVE [--fsx FOLDER] [--dry-run] [--yes] [--replace | --keep]\n"
    "                    [--aircraft NAME] [--simobject FOLDER] [--inner ZIP]\n"
    "\n"
    "Installs an add-on into FSX: each part (aircraft, scenery, gauges, effects, missions,\n"
    "modules, liveries, ...) goes where FSX expects it, and scenery areas are registered in\n"
    "FSX's scenery library. The plan is shown first, one line a file: STORED NAME -> PATH below\n"
    "the FSX folder; then what is registered, what cannot be placed and what needs a choice.\n"
    "Each install is recorded, so that 'vzip uninstall NAME' puts everything back; one that\n"
    "fails or is interrupted undoes itself. Installing an add-on again replaces it (update).\n"
    "\n"
    "  --fsx FOLDER   the FSX folder (default: found as the window finds it, in the Wine\n"
    "                 prefix $WINEPREFIX or ~/.wine, also the Steam Edition and Proton)\n"
    "  --dry-run, -n  show the plan and write nothing\n"
    "  --yes, -y      install without asking (without a terminal and without --yes, vzip\n"
    "                 shows the plan, writes nothing and exits 1)\n"
    "  --replace      replace files that exist and differ (their old copies are kept for\n"
    "                 uninstall); --keep keeps them (the default with --yes)\n"
    "  --aircraft NAME  for a livery: the installed aircraft (its folder below\n"
    "                 SimObjects/Airplanes) that gets it and its [fltsim.N] section\n"
    "  --simobject FOLDER  for a sim object of a category FSX folders do not tell: Boats,\n"
    "                 GroundVehicles or Animals (below SimObjects)\n"
    "  --inner ZIP    install the zip stored as ZIP inside ARCHIVE (the plan names the zips\n"
    "                 inside and what each holds)\n";

constexpr const char* kInstalledHelp =
    "Usage: vzip installed [--fsx FOLDER]\n"
    "\n"
    "Lists the add-ons installed with 'vzip install' (or the window), one a line: its name (what\n"
    "'vzip uninstall' takes), a tab, its kind, a tab, where it went below the FSX folder.\n";

constexpr const char* kUninstallHelp =
    "Usage: vzip uninstall NAME [--fsx FOLDER]\n"
    "\n"
    "Removes the add-on NAME as it was installed: its files (those changed since are kept and\n"
    "named), the files it replaced are put back, its scenery areas and [fltsim.N] sections are\n"
    "removed, and the folders it made are removed when empty.\n";

struct Command {
  int (*run)(const std::vector<std::string>&);
  const char* help;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace vz::cli;
  vz::platform::KeepFreedMemoryForReuse();
  // Work files of an extraction or a save do not outlive an interrupted run.
  vz::platform::RemoveTempFilesOnSignals();
  const std::map<std::string, Command> commands = {
      {"list", {ListCommand, kListHelp}},
      {"test", {TestCommand, kTestHelp}},
      {"extract", {ExtractCommand, kExtractHelp}},
      {"add", {AddCommand, kAddHelp}},
      {"delete", {DeleteCommand, kDeleteHelp}},
      {"install", {InstallCommand, kInstallHelp}},
      {"installed", {InstalledCommand, kInstalledHelp}},
      {"uninstall", {UninstallCommand, kUninstallHelp}},
  };
  if (argc < 2) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  // Options before the command.
  int at = 1;
  while (at < argc &&
         (std::strncmp(argv[at], "-j", 2) == 0 || std::strncmp(argv[at], "-O", 2) == 0)) {
    const bool threads = argv[at][1] == 'j';
    const char* value = argv[at][2] != '\0' ? argv[at] + 2 : at + 1 < argc ? argv[at + 1] : nullptr;
    at += argv[at][2] != '\0' ? 1 : 2;
    if (!threads) {
      if (value == nullptr || !vz::platform::KnownCharset(value)) {
        Error(std::string("-O: unknown character set '") + (value != nullptr ? value : "") +
              "' (iconv names them: CP866, KOI8-R, CP1251, CP932, CP1252, ...)");
        return kUsage;
      }
      SetNameCharset(value);
      continue;
    }
    char* end = nullptr;
    const long count = value != nullptr ? std::strtol(value, &end, 10) : 0;
    if (value == nullptr || *value == '\0' || *end != '\0' || count < 1 || count > 256) {
      Error("-j takes a number of threads from 1 to 256 (see 'vzip --help')");
      return kUsage;
    }
    SetJobCount(static_cast<int>(count));
  }
  if (at >= argc) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  const std::string first = argv[at];
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
  std::vector<std::string> args(argv + at + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(command->second.help, stdout);
      return kOk;
    }
  }
  const int status = command->second.run(args);
  if (std::fflush(stdout) != 0) EndIfOutputClosed();
  return status;
}
