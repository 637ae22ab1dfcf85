// The window's add-on install: the FSX list's detected entry, the plan, the install with the
// meters running, its report, and the installed add-ons with their uninstall.
#include <string>
#include <vector>

#include "errors/errors.h"
#include "front/zip_utility.h"
#include "installer/install.h"

namespace vz::front {

namespace {

std::string DetectedEntry(const installer::AddonLayout& layout) {
  const installer::AddonPart* main = layout.MainPart();
  return "Add-on's own folders (detected: " + std::string(installer::KindName(main->kind)) + " \"" +
         main->name + "\")";
}

// "aircraft "Veldrin 172": SimObjects/Airplanes/Veldrin 172", a line per part that is written.
std::vector<std::string> PartLines(const installer::AddonLayout& layout) {
  std::vector<std::string> lines;
  for (const installer::AddonPart& part : layout.parts) {
    if (!part.installable || part.files.empty()) continue;
    lines.push_back(std::string(installer::KindName(part.kind)) + " \"" + part.name +
                    "\": " + part.destination);
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
  return text;
}

}  // namespace

void ZipUtilityWindow::ShowFsxList() {
  std::vector<std::string> entries;
  if (detected_) entries.push_back(DetectedEntry(*detected_));
  for (const std::string_view item : kFsxFolderItems) entries.emplace_back(item);
  view_.SetListEntries(Control::cbxFSXFolder, entries);
}

void ZipUtilityWindow::DetectAddon() {
  const bool had = detected_.has_value();
  const bool chosen = InstallChosen();
  detected_.reset();
  const std::string fsx = GetFSXPath(settings_.fsx);
  if (!current_zip_file_.empty() && HoldsFsxExe(fsx)) {
    try {
      installer::AddonLayout layout = installer::AnalyseArchive(current_zip_file_);
      if (layout.Recognised()) detected_ = std::move(layout);
    } catch (const std::exception&) {
      // Not an add-on we can read: the list keeps its folders.
    }
  }
  if (!had && !detected_) return;
  ShowFsxList();
  if (detected_) {
    // The add-on's own folders, chosen: UnZip installs it.
    FsxControls controls = ReadFsxControls();
    controls.use_fsx_folder = true;
    ApplyFsxTick(controls);
    controls.folder_list_index = 0;
    controls.folder_path = fsx;
    ShowFsxControls(controls);
  } else if (chosen) {
    view_.SetItemIndex(Control::cbxFSXFolder, -1);
    view_.SetText(Control::edFolderPath, "");
  }
}

bool ZipUtilityWindow::InstallChosen() const {
  return detected_ && view_.Checked(Control::cbUseFSXFolder) &&
         view_.ItemIndex(Control::cbxFSXFolder) == 0;
}

void ZipUtilityWindow::InstallTheAddon() {
  const installer::FsxInstallation fsx = installer::LocateFsx(settings_.fsx);
  installer::Installed(fsx);  // undoes an install that did not end
  installer::InstallPlan plan = installer::MakePlan(current_zip_file_, fsx);
  InstallPlanRequest request;
  for (const installer::AddonPart& part : plan.layout.parts) {
    if (!part.awaits_choice) continue;
    if (part.kind == installer::PartKind::kLivery)
      request.aircraft = installer::InstalledAircraft(fsx);
    if (part.kind == installer::PartKind::kSimObject) {
      request.simobject_folders = installer::SimObjectFolders();
    }
  }
  request.title = "Install \"" + plan.layout.name + "\" into FSX";
  request.parts = PartLines(plan.layout);
  request.lines = plan.Lines();
  request.different = plan.Count(installer::TargetState::kDifferent);
  request.identical = plan.Count(installer::TargetState::kIdentical);
  request.update = plan.update;
  const InstallPlanAnswer answer = shell_.ShowInstallPlan(request);
  if (!answer.install) return;
  const auto chosen = [](const std::vector<std::string>& list, int index) {
    return index >= 0 && static_cast<size_t>(index) < list.size() ? list[static_cast<size_t>(index)]
                                                                  : std::string();
  };
  const std::string aircraft = chosen(request.aircraft, answer.aircraft);
  const std::string folder = chosen(request.simobject_folders, answer.simobject_folder);
  if (!aircraft.empty() || !folder.empty()) {
    plan = installer::MakePlan(current_zip_file_, fsx, aircraft, folder);
  }

  installer::InstallChoices choices;
  choices.replace_different = answer.replace_different;
  choices.progress = [this](const std::string& target, int done, int total) {
    view_.SetText(Control::StatusText, "Installing: " + target);
    const auto percent = static_cast<uint8_t>(total > 0 ? done * 100 / total : 100);
    view_.MeterOf(Control::zipFileMeter).SetPosition(percent);
    view_.SetText(Control::Label7, ProgressText(percent, "Zip"));
    shell_.ProcessMessages();
    return !AbortWanted();
  };
  choices.item_progress = [this](uint8_t percent) {
    view_.MeterOf(Control::zipItemMeter).SetPosition(percent);
    view_.SetText(Control::Label6, ProgressText(percent, "File"));
    shell_.ProcessMessages();
    return !AbortWanted();
  };
  installer::InstallReport report;
  std::string failure;
  {
    WorkScope work(*this, Control::btnUnZip);
    try {
      report = installer::Install(plan, choices);
    } catch (const UserAbortError&) {
      failure = "the install was stopped";
    } catch (const std::exception& e) {
      failure = e.what();
    }
    view_.MeterOf(Control::zipItemMeter).Reset();
    view_.MeterOf(Control::zipFileMeter).Reset();
    view_.SetText(Control::Label6, "File");
    view_.SetText(Control::Label7, "Zip");
    view_.SetText(Control::StatusText, "");
  }
  if (abort_requested_) throw UserAbortError();
  if (!failure.empty()) {
    ShowMessageCentered("The add-on could not be installed:\r\n\r\n" + failure +
                            "\r\n\r\nNothing of it was left in the FSX folder.",
                        MessageKind::kError, mbOK);
    return;
  }
  std::string text =
      "Add-on installed: \"" + plan.layout.name + "\"\r\n\r\n" + Joined(PartLines(plan.layout));
  if (!report.registered.empty()) {
    text += "\r\n\r\nScenery registered in FSX's scenery library: " + Joined(report.registered);
  }
  if (!report.kept.empty()) {
    text += "\r\n\r\n" + std::to_string(report.kept.size()) +
            " file(s) that differ were kept as they were.";
  }
  if (!report.registration_problem.empty()) {
    text += "\r\n\r\nThe scenery could not be registered: " + report.registration_problem;
  }
  ShowMessageCentered(
      text, report.registration_problem.empty() ? MessageKind::kInformation : MessageKind::kError,
      mbOK);
}

void ZipUtilityWindow::mnuInstalledAddonsClick() {
  Command(true, [&] {
    const installer::FsxInstallation fsx = installer::LocateFsx(settings_.fsx);
    if (!HoldsFsxExe(fsx.folder)) {
      ShowMessageCentered("FSX was not found, so no add-ons are listed.", MessageKind::kInformation,
                          mbOK);
      return;
    }
    const std::vector<installer::InstallRecord> installed = installer::Installed(fsx);
    std::vector<std::string> entries;
    for (const installer::InstallRecord& record : installed) {
      entries.push_back(record.name + " - " + record.kind + " - " + record.where);
    }
    const auto chosen = shell_.ShowInstalledAddons(entries);
    if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= installed.size()) return;
    const std::string& name = installed[static_cast<size_t>(*chosen)].name;
    const installer::UninstallReport report = installer::Uninstall(fsx, name);
    std::string text = "Add-on uninstalled: \"" + name + "\"\r\n\r\n" +
                       std::to_string(report.removed) + " file(s) removed, " +
                       std::to_string(report.restored) + " put back as they were";
    if (report.areas > 0) text += ", scenery unregistered";
    text += ".";
    if (!report.changed.empty()) {
      text += "\r\n\r\nChanged since the install, so kept:\r\n" + Joined(report.changed);
    }
    if (!report.problem.empty()) text += "\r\n\r\n" + report.problem;
    ShowMessageCentered(
        text, report.problem.empty() ? MessageKind::kInformation : MessageKind::kError, mbOK);
  });
}

}  // namespace vz::front
