#include "front/fsx_folders.h"

#include "archive/utils.h"
#include "front/product.h"

namespace vz::front {
namespace {

// Below the FSX folder, by the list's index (the last item does not depend on FSX).
constexpr std::array<std::string_view, 12> kSubPaths = {"",
                                                        "/SimObjects",
                                                        "/SimObjects/Airplanes",
                                                        "/SimObjects/Rotorcraft",
                                                        "/Scenery",
                                                        "/Addon Scenery",
                                                        "/Modules",
                                                        "/Sound",
                                                        "/Texture",
                                                        "/Missions",
                                                        "/Gauges",
                                                        "/Effects"};

static_assert(kSubPaths.size() + 1 == kFsxFolderItems.size());

}  // namespace

std::optional<std::string> FsxFolderOf(const FsxSearch& search, int index) {
  if (index >= 0 && index < static_cast<int>(kSubPaths.size())) {
    // Joined with the native separator: Windows shows "C:\\FSX\\SimObjects".
    const std::string_view sub = kSubPaths[static_cast<size_t>(index)];
    return GetFSXPath(search) + (platform::kWindowsPaths ? ToBackslashes(sub) : std::string(sub));
  }
  if (index == static_cast<int>(kSubPaths.size())) return GetFSXFilesFolder(search);
  return std::nullopt;
}

std::optional<std::string> FsxMissingWarning(const FsxSearch& search) {
  const std::string folder = GetFSXPath(search);
  if (HoldsFsxExe(folder)) return std::nullopt;
  return "Please note: This utility has performed a check and found that the FSX.exe\r"
         "file is not found at the following location as reported by the registry:\r\r" +
         folder + "\r\r" + "We recommend you correct this situation using our freeware Marrowline" +
         "\r" + "which can be downloaded from our main website (" + std::string(kMakerWebAddress) +
         ") otherwise" + "\r" +
         "some features (e.g. 'Extract to Specific FSX Folder') may not function correctly.";
}

void ApplyFsxTick(FsxControls& controls) {
  controls.folder_button_enabled = !controls.use_fsx_folder;
  controls.folder_list_enabled = controls.use_fsx_folder;
  if (controls.use_fsx_folder) {
    controls.folder_path.clear();
  } else {
    controls.folder_list_index = -1;
  }
}

void ApplyFsxModeOff(FsxControls& controls) {
  controls.folder_path.clear();
  controls.use_fsx_folder = false;
  controls.folder_list_enabled = false;
  controls.folder_button_enabled = true;
}

}  // namespace vz::front
