#include "components/zip_browser.h"

#include "archive/utils.h"
#include "platform/fs.h"

namespace vz {

std::string CustomZipBrowser::ZipComment() const {
  const ZipArchive* zip = GetZipArchive();
  return zip != nullptr ? zip->ZipComment() : std::string();
}

bool CustomZipBrowser::Spanned() const {
  const ZipArchive* zip = GetZipArchive();
  return zip != nullptr && zip->Spanned();
}

std::vector<std::string> CustomZipBrowser::LoadWarnings() const {
  const ZipArchive* zip = GetZipArchive();
  return zip != nullptr ? zip->LoadWarnings() : std::vector<std::string>();
}

std::vector<int> CustomZipBrowser::MatchingItems(const std::string& file_mask,
                                                 const std::string& exclusion_mask) const {
  std::vector<int> found;
  const Archive* archive = GetArchive();
  if (archive == nullptr) return found;
  for (int i = 0; i < archive->ItemCount(); ++i) {
    const ArchiveItem& item = *archive->Items(i);
    if (MatchesMaskList(item, file_mask) && !MatchesMaskList(item, exclusion_mask)) {
      found.push_back(i);
    }
  }
  return found;
}

std::string AbsoluteFileName(const std::string& file_name) {
  if (file_name.empty() || PathKindOf(file_name) == pkAbsolute) return file_name;
  return AppendBackslash(platform::CurrentFolder()) + file_name;
}

std::unique_ptr<ZipArchive> CustomZipBrowser::CreateArchive(const std::string& file_name) {
  return std::make_unique<ZipArchive>(file_name, kFmOpenRead | kFmShareDenyNone);
}

void CustomZipBrowser::SetFileName(const std::string& value) {
  const std::string name = AbsoluteFileName(value);
  StoreFileName(name);
  FreeArchive();
  if (!name.empty()) RefuseIrregularFile(name);
  if (!name.empty() && platform::IsRegularFile(name)) {
    const ArchiveType type = DetermineArchiveType(name, asserted_type_);
    if (type != atZip && type != atSpannedZip && type != atSelfExtractingZip) {
      throw UnhandledTypeError();
    }
    SetArchive(CreateArchive(name));
    LoadNewArchive(true);
    SetArchiveType(type);
  }
  DoChange();
}

ZipItem* CustomZipBrowser::GetItem(int index) const {
  if (GetArchive() == nullptr) throw NoArchiveError();
  if (index < 0 || index >= GetArchive()->ItemCount()) throw ArchiveError(MessageText(30));
  return static_cast<ZipItem*>(GetArchive()->Items(index));
}

}  // namespace vz
