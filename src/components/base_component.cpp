#include "components/base_component.h"

#include <algorithm>
#include <cctype>

#include "archive/utils.h"
#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/fs.h"

namespace vz {

namespace {

std::string UpperExtension(const std::string& file_name) {
  const size_t slash = LastSeparator(file_name);
  const size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = file_name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

ArchiveType CheckContent(const std::string& file_name, ArchiveType type) {
  try {
    FileStream file(file_name, kFmOpenRead | kFmShareDenyNone);
    switch (type) {
      case atZip:
        return static_cast<ArchiveType>(DetectZip(file));
      case atSelfExtractingZip:
        return static_cast<ArchiveType>(DetectSelfExtractingZip(file));
      default:
        return atUnrecognised;  // tar, gzip and cabinet files are other formats
    }
  } catch (const std::exception&) {
    return atUnrecognised;
  }
}

}  // namespace

ArchiveType DetermineArchiveType(const std::string& file_name, ArchiveType asserted) {
  const std::string ext = UpperExtension(file_name);
  const auto status = platform::StatPath(file_name);
  const bool exists = status.has_value() && !status->is_directory;
  if (asserted != atUnrecognised) {
    if (!exists) return asserted;
    if (asserted == atZip || asserted == atSelfExtractingZip)
      return CheckContent(file_name, asserted);
    return atUnrecognised;
  }
  if (exists && status->size != 0) {
    if (ext == ".EXE") return CheckContent(file_name, atSelfExtractingZip);
    if (ext == ".ZIP" || ext == ".JAR") return CheckContent(file_name, atZip);
    return atUnrecognised;
  }
  if (ext == ".ZIP" || ext == ".JAR") return atZip;
  if (ext == ".TAR") return atTar;
  if (ext == ".GZ") return atGzip;
  if (ext == ".TGZ") return atGzipTar;
  if (ext == ".CAB") return atCabinet;
  return atUnrecognised;
}

ArchiveType ZipTypeByContent(const std::string& file_name) {
  const ArchiveType self_extracting = CheckContent(file_name, atSelfExtractingZip);
  if (self_extracting != atUnrecognised) return self_extracting;
  return CheckContent(file_name, atZip);
}

BaseBrowser::~BaseBrowser() = default;  // the archive is freed without saving

void BaseBrowser::CloseArchive() {
  if (!file_name_.empty()) SetFileName("");
}

void BaseBrowser::DiscardArchive() {
  archive_.reset();
  file_name_.clear();
}

void BaseBrowser::FreeArchive() {
  if (!archive_) return;
  try {
    // Only pending changes are saved: closing or switching never writes over a file otherwise.
    if (archive_->Modified()) archive_->Save();
  } catch (...) {
    // A change of archive never fails on the old one.
  }
  archive_.reset();
}

void BaseBrowser::LoadNewArchive(bool load) {
  try {
    InitArchive();
    if (load) archive_->Load();
  } catch (...) {
    // An archive that failed to open is held but unusable: nothing is ever saved from it.
    archive_->MarkInvalid();
    throw;
  }
}

void RefuseIrregularFile(const std::string& file_name) {
  const auto status = platform::StatPath(file_name);
  if (status && !status->is_regular) {
    throw ArchiveError("Not a regular file (a folder, device or pipe cannot be an archive)");
  }
}

void BaseBrowser::ResetMeters() {
  if (archive_meter_) archive_meter_->Reset();
  if (item_meter_) item_meter_->Reset();
}

void BaseBrowser::DoArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort) {
  abort = false;
  if (item_meter_) item_meter_->DoProgress(progress);
  if (OnArchiveItemProgress) OnArchiveItemProgress(this, item, progress, abort);
}

void BaseBrowser::DoArchiveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (archive_meter_) archive_meter_->DoProgress(progress);
  if (OnArchiveProgress) OnArchiveProgress(this, progress, abort);
}

void BaseBrowser::DoChange() {
  if (OnChange) OnChange(this);
}

void BaseBrowser::DoConfirmProcessItem(ArchiveItem* item, ProcessType type, bool& confirm) {
  confirm = true;
  if (item_meter_) item_meter_->Reset();
  if (OnConfirmProcessItem) OnConfirmProcessItem(this, item, type, confirm);
}

void BaseBrowser::DoLoad() {
  if (OnLoad) OnLoad(this);
}

void BaseBrowser::DoProcessItemFailure(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                                       int32_t error_code) {
  if (OnProcessItemFailure) OnProcessItemFailure(this, item, type, error_class, error_code);
}

void BaseBrowser::InitArchive() {
  ResetMeters();
  if (!archive_) return;
  ApplySettings(*archive_);
  archive_->OnArchiveProgress = [this](void*, uint8_t p, bool& abort) {
    DoArchiveProgress(p, abort);
  };
  archive_->OnArchiveItemProgress = [this](void*, ArchiveItem* item, uint8_t p, bool& abort) {
    DoArchiveItemProgress(item, p, abort);
  };
  archive_->OnConfirmProcessItem = [this](void*, ArchiveItem* item, ProcessType type,
                                          bool& confirm) {
    DoConfirmProcessItem(item, type, confirm);
  };
  archive_->OnLoad = [this](void*) { DoLoad(); };
  archive_->OnItemWarning = [this](void*, ArchiveItem* item, const std::string& warning) {
    if (OnItemWarning) OnItemWarning(this, item, warning);
  };
  archive_->OnProcessItemFailure = [this](void*, ArchiveItem* item, ProcessType type,
                                          ErrorClass error_class, int32_t code) {
    DoProcessItemFailure(item, type, error_class, code);
  };
}

}  // namespace vz
