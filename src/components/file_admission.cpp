#include "components/file_admission.h"

#include <algorithm>

#include "archive/utils.h"
#include "errors/errors.h"

namespace vz {

FileAdmission::FileAdmission(Archive& archive) : archive_(archive) {
  if (archive.HasOwnFile()) own_ = platform::IdentityOf(archive.ArchiveFileName());
  saves_ = archive.SaveCount();
}

Refusal FileAdmission::Admit(const std::string& path,
                             const std::optional<platform::FileStatus>& known, bool check_names,
                             const std::string& name_spec) {
  if (archive_.SaveCount() != saves_) {
    // A save put a new file in the archive's place: what listings saw before may be the old one.
    if (archive_.HasOwnFile()) own_ = platform::IdentityOf(archive_.ArchiveFileName());
    saves_ = archive_.SaveCount();
    listings_stale_ = true;
  }
  // Relative names are taken where the archive takes them.
  const std::string& base = archive_.BaseDirectory();
  const std::optional<platform::FileStatus> status =
      known && !listings_stale_ ? known
                                : platform::StatPath(PathKindOf(path) == pkAbsolute || base.empty()
                                                         ? path
                                                         : AppendBackslash(base) + path);
  kind_ = status ? status->kind : "file";
  size_ =
      status && status->is_regular ? static_cast<uint64_t>(std::max<int64_t>(status->size, 0)) : 0;
  if (!status) return Refusal::kMissing;
  if (!status->is_regular) return Refusal::kNotRegular;
  if (own_ && *own_ == platform::FileIdentity{status->device, status->inode}) {
    return Refusal::kTheArchive;
  }
  const std::string& spec = name_spec.empty() ? path : name_spec;
  if (check_names && !names_.insert(FoldedName(archive_.MakeStoredName(spec))).second) {
    return Refusal::kNameTaken;
  }
  return Refusal::kNone;
}

std::string FileAdmission::Reason(Refusal refusal) const {
  switch (refusal) {
    case Refusal::kNone:
      return {};
    case Refusal::kMissing:
      return MessageText(FileNotFoundError::kCode);
    case Refusal::kNotRegular:
      return std::string("is a ") + kind_ + ", not a file";
    case Refusal::kTheArchive:
      return "is the zip file being saved";
    case Refusal::kNameTaken:
      return MessageText(DuplicateNameError::kCode);
  }
  return {};
}

}  // namespace vz
