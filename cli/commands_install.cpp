// vzip install, installed and uninstall: add-ons into FSX where it expects them, through the
// installer.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "components/zip_browser.h"
#include "errors/errors.h"
#include "front/display_text.h"
#include "installer/install.h"
#include "platform/fs.h"
#include "platform/random.h"
#include "platform/terminal.h"

namespace vz::cli {

namespace {

struct InstallOptions {
  std::string archive;
  std::string fsx;
  std::string aircraft;
  std::string inner;
  std::string simobject;
  bool dry_run = false;
  bool yes = false;
  bool replace = false;
  bool keep = false;
};

// The FSX installation the user named with --fsx, else the one the window finds.
std::optional<installer::FsxInstallation> Fsx(const std::string& folder) {
  installer::FsxInstallation fsx =
      folder.empty() ? installer::LocateFsx(installer::FsxSearch::FromEnvironment())
                     : installer::InstallationAt(AbsoluteFileName(folder));
  if (!installer::HoldsFsxExe(fsx.folder)) {
    Error((folder.empty() ? std::string("FSX was not found (") + fsx.folder + ")"
                          : folder + ": no fsx.exe there") +
          "; name its folder with --fsx FOLDER");
    return std::nullopt;
  }
  return fsx;
}

// Reads "--fsx FOLDER" among args; false (after saying why) on a misuse.
bool TakeFsx(const std::string& command, const std::vector<std::string>& args, size_t& i,
             std::string& fsx) {
  if (args[i] != "--fsx") return false;
  if (i + 1 >= args.size()) {
    Error(command + ": --fsx needs a folder");
    return false;
  }
  fsx = args[++i];
  return true;
}

void Print(const std::string& line) {
  std::fputs((Printable(line, true) + "\n").c_str(), stdout);
}

}  // namespace

int InstallCommand(const std::vector<std::string>& args) {
  InstallOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--fsx") {
      if (!TakeFsx("install", args, i, options.fsx)) return kUsage;
    } else if (a == "--aircraft" && i + 1 < args.size()) {
      options.aircraft = args[++i];
    } else if (a == "--inner" && i + 1 < args.size()) {
      options.inner = args[++i];
    } else if (a == "--simobject" && i + 1 < args.size()) {
      options.simobject = args[++i];
    } else if (a == "--dry-run" || a == "-n") {
      options.dry_run = true;
    } else if (a == "--yes" || a == "-y") {
      options.yes = true;
    } else if (a == "--replace") {
      options.replace = true;
    } else if (a == "--keep") {
      options.keep = true;
    } else if (a.size() > 1 && a[0] == '-') {
      Error("install: unknown option '" + a + "' (see 'vzip install --help')");
      return kUsage;
    } else if (options.archive.empty()) {
      options.archive = a;
    } else {
      Error("install: one archive at a time (see 'vzip install --help')");
      return kUsage;
    }
  }
  if (options.archive.empty()) {
    Error("install: no archive given (see 'vzip install --help')");
    return kUsage;
  }
  if (options.replace && options.keep) {
    Error("install: --replace and --keep exclude each other");
    return kUsage;
  }
  const auto fsx = Fsx(options.fsx);
  if (!fsx) return kUsage;
  installer::Installed(*fsx);  // undoes an install that did not end
  // A zip inside the zip is installed from a copy in a folder of its own, which goes afterwards.
  std::string archive = AbsoluteFileName(options.archive);
  struct TempFolder {
    std::string path;
    ~TempFolder() {
      if (path.empty()) return;
      for (const platform::DirEntry& entry : platform::ListFolder(path)) {
        platform::DeleteFile(path + "/" + entry.name);
      }
      platform::RemoveFolder(path);
    }
  } inner_folder;
  if (!options.inner.empty()) {
    uint8_t random[6];
    FillRandomBytes(random);
    std::string name = "/vzip-inner-";
    for (const uint8_t b : random) name += "0123456789abcdef"[b % 16];
    if (platform::MakeFolder(platform::TempFolder() + name) != 0) {
      Error(platform::TempFolder() + ": cannot hold a copy of " + options.inner);
      return kUsage;
    }
    inner_folder.path = platform::TempFolder() + name;
    try {
      archive = installer::ExtractInnerZip(archive, options.inner, inner_folder.path);
    } catch (const std::exception& e) {
      Error(options.archive + ": " + e.what());
      return kUsage;
    }
  }
  installer::InstallPlan plan;
  try {
    std::string aircraft = options.aircraft;
    if (!aircraft.empty() && aircraft.find('/') == std::string::npos) {
      aircraft = installer::FsxRules().airplanes + "/" + aircraft;
    }
    std::string simobject = options.simobject;
    if (!simobject.empty() && simobject.find('/') == std::string::npos) {
      simobject = "SimObjects/" + simobject;
    }
    plan = installer::MakePlan(archive, *fsx, aircraft, simobject);
  } catch (const std::exception& e) {
    Error(options.archive + ": " + ExplainOpenFailure(e));
    return kUsage;
  }
  for (const std::string& line : plan.Lines()) Print(line);
  if (plan.files.empty()) {
    Error(options.archive + ": nothing in it could be placed in FSX" +
          (plan.layout.inner_zips.empty() ? std::string()
                                          : "; install a zip inside it with --inner NAME (" +
                                                plan.layout.inner_zips.front() + ", ...)"));
    return kSomeFailed;
  }
  if (options.dry_run) return kOk;
  const int different = plan.Count(installer::TargetState::kDifferent);
  bool replace = options.replace;
  if (!options.yes) {
    if (!platform::StdinIsTerminal()) {
      Error("install: nothing written; run again with --yes to install as planned");
      return kSomeFailed;
    }
    const auto answer = platform::AskLine("Install " + std::to_string(plan.files.size()) +
                                          " files into " + fsx->folder + "? [y/N] ");
    if (!answer || (*answer != "y" && *answer != "Y" && *answer != "yes")) {
      Error("install: nothing written");
      return kSomeFailed;
    }
    if (different > 0 && !options.replace && !options.keep) {
      const auto choice = platform::AskLine(std::to_string(different) +
                                            " files exist and differ: replace them (their old "
                                            "copies are kept for uninstall)? [y/N] ");
      replace = choice && (*choice == "y" || *choice == "Y" || *choice == "yes");
    }
  }
  try {
    installer::InstallChoices choices;
    choices.replace_different = replace;
    const installer::InstallReport report = installer::Install(plan, choices);
    std::fprintf(stderr, "vzip: installed \"%s\": %zu files written, %zu identical, %zu kept\n",
                 Printable(plan.layout.name).c_str(), report.written.size(),
                 report.identical.size(), report.kept.size());
    for (const std::string& area : report.registered) {
      std::fprintf(stderr, "vzip: scenery area registered: %s\n", Printable(area).c_str());
    }
    if (!report.registration_problem.empty()) {
      Error("scenery not registered: " + report.registration_problem);
      return kSomeFailed;
    }
  } catch (const std::exception& e) {
    Error(options.archive + ": " + e.what() + " (nothing was left installed)");
    return kSomeFailed;
  }
  return kOk;
}

int InstalledCommand(const std::vector<std::string>& args) {
  std::string folder;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!TakeFsx("installed", args, i, folder)) {
      Error("installed: unknown argument '" + args[i] + "' (see 'vzip installed --help')");
      return kUsage;
    }
  }
  const auto fsx = Fsx(folder);
  if (!fsx) return kUsage;
  for (const installer::InstallRecord& record : installer::Installed(*fsx)) {
    Print(record.name + "\t" + record.kind + "\t" + record.where);
  }
  return kOk;
}

int UninstallCommand(const std::vector<std::string>& args) {
  std::string folder;
  std::string name;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--fsx") {
      if (!TakeFsx("uninstall", args, i, folder)) return kUsage;
    } else if (name.empty() && !(args[i].size() > 1 && args[i][0] == '-')) {
      name = args[i];
    } else {
      Error("uninstall: unknown argument '" + args[i] + "' (see 'vzip uninstall --help')");
      return kUsage;
    }
  }
  if (name.empty()) {
    Error("uninstall: no add-on named (see 'vzip installed')");
    return kUsage;
  }
  const auto fsx = Fsx(folder);
  if (!fsx) return kUsage;
  installer::Installed(*fsx);
  try {
    const installer::UninstallReport report = installer::Uninstall(*fsx, name);
    std::fprintf(stderr, "vzip: uninstalled \"%s\": %d files removed, %d restored, %d areas\n",
                 Printable(name).c_str(), report.removed, report.restored, report.areas);
    for (const std::string& kept : report.changed) {
      Error(kept + ": changed since it was installed, kept");
    }
    if (!report.problem.empty()) Error(report.problem);
    return report.changed.empty() && report.problem.empty() ? kOk : kSomeFailed;
  } catch (const std::exception& e) {
    Error(e.what());
    return kUsage;
  }
}

}  // namespace vz::cli
