#include "components/unzipper.h"

#include "archive/item_procedures.h"
#include "archive/utils.h"
#include "codec/percent.h"
#include "platform/file_stream.h"
#include "platform/fs.h"

namespace vz {

void CustomUnZipper::SetFileName(const std::string& value) {
  const std::string name = AbsoluteFileName(value);
  if (!name.empty()) {
    const auto status = platform::StatPath(name);
    if (!status || status->is_directory) throw FileNotFoundError();
    RefuseIrregularFile(name);
    if (status->size == 0) throw BadStreamError();
    try {
      FileStream probe(name, kFmOpenRead | kFmShareDenyNone);
    } catch (const std::exception&) {
      throw BadStreamError();
    }
  }
  CustomZipBrowser::SetFileName(name);
}

void CustomUnZipper::InitArchive() {
  CustomZipBrowser::InitArchive();
  Archive* archive = GetArchive();
  if (archive == nullptr) return;
  archive->OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
    DoConfirmOverwrite(name, confirm);
  };
  ZipArchive* zip = GetZipArchive();
  if (zip == nullptr) return;
  zip->OnNeedPassword = [this](void*, std::string& answer) { DoNeedPassword(answer); };
  InstallExtractionProcs(*zip);
}

void CustomUnZipper::DoConfirmOverwrite(std::string& name, bool& confirm) {
  confirm = true;
  if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
}

void CustomUnZipper::DoNeedPassword(std::string& new_password) {
  if (!OnNeedPassword) return;
  OnNeedPassword(this, new_password);
  EditSettings([&](ComponentSettings& settings) { settings.SetPassword(new_password); });
}

void CustomUnZipper::ExtractFiles(const std::string& file_mask, const std::string& exclusion_mask) {
  if (GetArchive() == nullptr) throw NoArchiveError();
  GetArchive()->ExtractMatchingEx(file_mask, exclusion_mask);
}

void CustomUnZipper::TestFiles(const std::string& file_mask, const std::string& exclusion_mask) {
  Archive* archive = GetArchive();
  if (archive == nullptr) throw NoArchiveError();
  archive->BeginRun();
  const int count = archive->ItemCount();
  for (int i = 0; i < count; ++i) {
    if (!MatchesMaskList(*archive->Items(i), file_mask) ||
        MatchesMaskList(*archive->Items(i), exclusion_mask)) {
      continue;
    }
    bool confirm = true;
    DoConfirmProcessItem(archive->Items(i), ptExtract, confirm);
    if (confirm) archive->TestItem(i);
    if (archive->State() == stInvalid) throw UserAbortError();
    bool abort = false;
    DoArchiveProgress(Percentage(i + 1, count), abort);
    if (abort) throw UserAbortError();
  }
}

}  // namespace vz
