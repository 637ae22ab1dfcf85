#include "front/window_design.h"

#include <algorithm>
#include <cstring>

namespace vz::front {

namespace {

constexpr Anchors kLT = kAnchorLeft | kAnchorTop;
constexpr Anchors kTR = kAnchorTop | kAnchorRight;
constexpr Anchors kRB = kAnchorRight | kAnchorBottom;
constexpr Anchors kLB = kAnchorLeft | kAnchorBottom;
constexpr Anchors kLRB = kAnchorLeft | kAnchorRight | kAnchorBottom;
constexpr Anchors kLTR = kAnchorLeft | kAnchorTop | kAnchorRight;
constexpr int kItemColour = 15118749, kArchiveColour = 8421631;
constexpr const char* kBannerHint = "Visit Veldrin Website";

const ControlDef kControlTable[] = {
    {"imgBan", "frmZipUtility", ControlKind::kBanner, {0, 0, 592, 50}, kLTR, "", kBannerHint},
    {"imgWeb", "imgBan", ControlKind::kWebIcon, {550, 8, 32, 32}, kAnchorRight, "", kBannerHint},
    {"pcZip", "frmZipUtility", ControlKind::kPages, {7, 56, 578, 389}, kAnchorAll, "", ""},
    {"tabUnZip", "pcZip", ControlKind::kPage, {}, 0, "Extract Zip", ""},
    {"tabZip", "pcZip", ControlKind::kPage, {}, 0, "Create Zip", ""},
    {"btnExit",
     "frmZipUtility",
     ControlKind::kButton,
     {489, 448, 95, 26},
     kRB,
     "&Exit",
     "",
     static_cast<int>(ButtonPicture::kExit)},
    {"StatusBar", "frmZipUtility", ControlKind::kStatusBar, {0, 479, 592, 22}, kLRB, "", ""},
    // The "Extract Zip" page.
    {"Label1", "tabUnZip", ControlKind::kLabel, {18, 8, 0, 0}, kLT, "Zip File Contents:", ""},
    {"Label4", "tabUnZip", ControlKind::kLabel, {109, 8, 0, 0}, kLT, "", "", 50},
    {"Label5", "tabUnZip", ControlKind::kLabel, {324, 8, 0, 0}, kTR, "Drag & Drop Enabled", ""},
    {"pnlZipViewer", "tabUnZip", ControlKind::kPanel, {18, 25, 405, 255}, kAnchorAll, "", ""},
    {"ZipViewer",
     "pnlZipViewer",
     ControlKind::kOutline,
     {0, 0, 405, 255},
     kAnchorAll,
     "",
     "This box displays the Zip contents including any folder path structure (if present)"},
    {"btnOpenZip",
     "tabUnZip",
     ControlKind::kButton,
     {441, 23, 110, 26},
     kTR,
     "&Open",
     "Open Zip File",
     static_cast<int>(ButtonPicture::kOpen)},
    {"btnUnZip",
     "tabUnZip",
     ControlKind::kButton,
     {441, 59, 110, 26},
     kTR,
     "&UnZip",
     "Unzip the files",
     static_cast<int>(ButtonPicture::kUnZip)},
    {"GroupBox1", "tabUnZip", ControlKind::kGroupBox, {440, 99, 113, 179}, kTR, "Progress:", ""},
    {"zipItemMeter",
     "GroupBox1",
     ControlKind::kMeter,
     {29, 24, 14, 125},
     kLT,
     "",
     "Current progress of the file being extracted from the Zip",
     kItemColour},
    {"zipFileMeter",
     "GroupBox1",
     ControlKind::kMeter,
     {71, 24, 14, 125},
     kLT,
     "",
     "Current progress of the extraction of the Zip archive as a whole",
     kArchiveColour},
    {"Label6", "GroupBox1", ControlKind::kLabel, {29, 151, 0, 0}, kLT, "File", ""},
    {"Label7", "GroupBox1", ControlKind::kLabel, {70, 151, 0, 0}, kLT, "Zip", ""},
    {"edFolderPathLabel",
     "tabUnZip",
     ControlKind::kLabel,
     {18, 284, 0, 0},
     kLB,
     "Unzip To Folder:",
     ""},
    {"edFolderPath",
     "tabUnZip",
     ControlKind::kEdit,
     {18, 300, 503, 21},
     kLRB,
     "",
     "This is the folder you have selected to unzip the files to",
     1},
    {"btnUnZipFolder",
     "tabUnZip",
     ControlKind::kButton,
     {526, 299, 26, 22},
     kRB,
     "",
     "Select the destination folder for the Zipped files",
     static_cast<int>(ButtonPicture::kFolder)},
    {"cdExtractPaths",
     "tabUnZip",
     ControlKind::kCheckBox,
     {18, 334, 194, 17},
     kRB,
     "Extract && &Preserve Folder Structure",
     "Select this option to unzip while preserving the folder structure if present"},
    {"cbUseFSXFolder",
     "tabUnZip",
     ControlKind::kCheckBox,
     {221, 334, 167, 17},
     kRB,
     "Extract to Specific FS&X Folder:",
     "Select this option to unzip to a specified FSX folder (select from list)"},
    {"cbxFSXFolder",
     "tabUnZip",
     ControlKind::kComboBox,
     {389, 331, 163, 21},
     kRB,
     "",
     "Select the folder to which you want to extract this Zip"},
    // The "Create Zip" page.
    {"lbSubject", "tabZip", ControlKind::kLabel, {18, 8, 0, 0}, kLT, "Drag & Drop Files here:", ""},
    {"FilesLabel", "tabZip", ControlKind::kLabel, {138, 8, 0, 0}, kLT, "", "", 50},
    {"ZipFileList", "tabZip", ControlKind::kList, {18, 25, 405, 255}, kAnchorAll, "", ""},
    {"btnZip",
     "tabZip",
     ControlKind::kButton,
     {441, 23, 110, 26},
     kTR,
     "&Zip",
     "Create the Zip file",
     static_cast<int>(ButtonPicture::kZip)},
    {"btnClearList",
     "tabZip",
     ControlKind::kButton,
     {441, 59, 110, 26},
     kTR,
     "&Clear",
     "Clear all the files from the list ",
     static_cast<int>(ButtonPicture::kClear)},
    {"GroupBox2", "tabZip", ControlKind::kGroupBox, {440, 99, 113, 179}, kTR, "Progress:", ""},
    {"FileZippingMeter",
     "GroupBox2",
     ControlKind::kMeter,
     {29, 24, 14, 125},
     kLT,
     "",
     "Current progress of the file being added to the Zip",
     kItemColour},
    {"ArchiveZippingMeter",
     "GroupBox2",
     ControlKind::kMeter,
     {71, 24, 14, 125},
     kLT,
     "",
     "Current progress of the archive creation as a whole",
     kArchiveColour},
    {"Label2", "GroupBox2", ControlKind::kLabel, {29, 151, 0, 0}, kLT, "File", ""},
    {"Label3", "GroupBox2", ControlKind::kLabel, {70, 151, 0, 0}, kLT, "Zip", ""},
    {"edZipCommentLabel", "tabZip", ControlKind::kLabel, {18, 284, 0, 0}, kLB, "Zip Comments:", ""},
    {"edZipComment",
     "tabZip",
     ControlKind::kEdit,
     {18, 300, 535, 21},
     kLRB,
     "",
     "Text entered here will be added to the comments field of the Zip archive"},
    {"cbAddComments",
     "tabZip",
     ControlKind::kCheckBox,
     {18, 334, 124, 17},
     kLRB,
     "&Add Comments to Zip",
     "Select this item to add the above comments to the Zip file"},
    {"cbIncludePaths",
     "tabZip",
     ControlKind::kCheckBox,
     {147, 334, 162, 17},
     kLRB,
     "&Include Relative Folder Paths",
     "Select this option to preserve the folder structure of the added files"},
    {"cbEncryptAes",
     "tabZip",
     ControlKind::kCheckBox,
     {318, 334, 140, 17},
     kLRB,
     "E&ncrypt with AES-256",
     "Select this option to protect the Zip with a password (AES-256 encryption)"},
};

const std::pair<Control, const char*> kControlNameTable[] = {
    {Control::Label4, "Label4"},
    {Control::edFolderPath, "edFolderPath"},
    {Control::btnUnZipFolder, "btnUnZipFolder"},
    {Control::cdExtractPaths, "cdExtractPaths"},
    {Control::cbUseFSXFolder, "cbUseFSXFolder"},
    {Control::cbxFSXFolder, "cbxFSXFolder"},
    {Control::btnOpenZip, "btnOpenZip"},
    {Control::btnUnZip, "btnUnZip"},
    {Control::Label6, "Label6"},
    {Control::Label7, "Label7"},
    {Control::zipItemMeter, "zipItemMeter"},
    {Control::zipFileMeter, "zipFileMeter"},
    {Control::FilesLabel, "FilesLabel"},
    {Control::ZipFileList, "ZipFileList"},
    {Control::edZipComment, "edZipComment"},
    {Control::cbAddComments, "cbAddComments"},
    {Control::cbIncludePaths, "cbIncludePaths"},
    {Control::cbEncryptAes, "cbEncryptAes"},
    {Control::btnZip, "btnZip"},
    {Control::btnClearList, "btnClearList"},
    {Control::Label2, "Label2"},
    {Control::Label3, "Label3"},
    {Control::FileZippingMeter, "FileZippingMeter"},
    {Control::ArchiveZippingMeter, "ArchiveZippingMeter"},
    {Control::StatusText, "StatusText"},
    {Control::btnExit, "btnExit"},
};

const char* const kTabOrderTable[] = {
    "pcZip",         "cdExtractPaths", "cbxFSXFolder", "cbUseFSXFolder", "edFolderPath",
    "ZipViewer",     "btnOpenZip",     "btnUnZip",     "btnUnZipFolder", "edZipComment",
    "cbAddComments", "cbIncludePaths", "cbEncryptAes", "ZipFileList",    "btnZip",
    "btnClearList",  "btnExit",
};

}  // namespace

const std::span<const ControlDef> kControls(kControlTable);
const std::span<const std::pair<Control, const char*>> kControlNames(kControlNameTable);
const std::span<const char* const> kTabOrder(kTabOrderTable);

const ControlDef* FindControl(const char* name) {
  for (const ControlDef& def : kControls) {
    if (std::strcmp(def.name, name) == 0) return &def;
  }
  return nullptr;
}

namespace {

// One axis: start and extent for a parent that grew by delta.
void Follow(int& start, int& extent, bool near, bool far, int delta) {
  if (near && far) {
    extent += delta;
  } else if (far) {
    start += delta;
  } else if (!near) {
    start += delta / 2;
  }
}

}  // namespace

DesignRect PlaceByAnchors(const DesignRect& rect, Anchors anchors, DesignSize reference,
                          DesignSize size) {
  DesignRect placed = rect;
  Follow(placed.x, placed.width, anchors & kAnchorLeft, anchors & kAnchorRight,
         size.width - reference.width);
  Follow(placed.y, placed.height, anchors & kAnchorTop, anchors & kAnchorBottom,
         size.height - reference.height);
  placed.width = std::max(placed.width, 0);
  placed.height = std::max(placed.height, 0);
  return placed;
}

}  // namespace vz::front
