// vzip add: the writing side, over the zipper component. The files named on the command line
// (and with -r everything below named folders) are added to the archive, created when missing;
// names already stored are freshened when the file differs. All additions are written by one
// save at the end, so a failing save leaves the archive as it was.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "components/zipper.h"
#include "errors/errors.h"
#include "front/display_text.h"
#include "front/failure_list.h"
#include "front/file_gathering.h"
#include "platform/fs.h"

namespace vz::cli {

namespace {

constexpr int64_t kMinPartSize = 64 * 1024;
constexpr size_t kMaxComment = 65535;

struct AddOptions {
  std::string archive;
  std::vector<std::string> files;
  bool recurse = false;
  bool junk_paths = false;
  bool follow_links = false;
  ZipSupportedMethod method = smBestMethod;
  ZipDeflationOption level = doNormal;
  bool aes = false;
  std::optional<std::string> comment;
  std::string password;
  int32_t part_size = 0;
};

// BYTES with an optional k, m or g suffix (powers of 1024); nothing when malformed.
std::optional<int64_t> ParseSize(const std::string& text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
  size_t used = 0;
  int64_t value = 0;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  const std::string suffix = text.substr(used);
  int shift = 0;
  if (suffix == "k" || suffix == "K") {
    shift = 10;
  } else if (suffix == "m" || suffix == "M") {
    shift = 20;
  } else if (suffix == "g" || suffix == "G") {
    shift = 30;
  } else if (!suffix.empty()) {
    return std::nullopt;
  }
  if (value > (INT64_MAX >> 31)) return std::nullopt;
  return value << shift;
}

bool ParseAddOptions(const std::vector<std::string>& args, AddOptions& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        Error("add: " + a + " needs " + what);
        return std::nullopt;
      }
      return args[++i];
    };
    if (a == "-r") {
      out.recurse = true;
    } else if (a == "-p") {
      // Paths are kept by default; -p stays accepted for scripts written when they were not.
    } else if (a == "-j") {
      out.junk_paths = true;
    } else if (a == "-L") {
      out.follow_links = true;
    } else if (a == "-m") {
      static constexpr const char* kMethods = "store, deflate, best, bzip2, lzma, xz or zstd";
      auto v = value(kMethods);
      if (!v) return false;
      static const std::pair<const char*, ZipSupportedMethod> kNames[] = {
          {"store", smStored}, {"deflate", smDeflated}, {"best", smBestMethod},
          {"bzip2", smBzip2},  {"lzma", smLzma},        {"xz", smXz},
          {"zstd", smZstd},
      };
      const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                       [&](const auto& row) { return *v == row.first; });
      if (found == std::end(kNames)) {
        Error("add: unknown method '" + *v + "' (" + kMethods + ")");
        return false;
      }
      out.method = found->second;
    } else if (a == "-l") {
      auto v = value("a level (normal, maximum, fast or superfast)");
      if (!v) return false;
      if (*v == "normal") {
        out.level = doNormal;
      } else if (*v == "maximum") {
        out.level = doMaximum;
      } else if (*v == "fast") {
        out.level = doFast;
      } else if (*v == "superfast") {
        out.level = doSuperFast;
      } else {
        Error("add: unknown level '" + *v + "' (normal, maximum, fast or superfast)");
        return false;
      }
    } else if (a == "-c") {
      auto v = value("a comment");
      if (!v) return false;
      if (v->size() > kMaxComment) {
        Error("add: the comment is " + std::to_string(v->size()) +
              " bytes long; a zip comment holds at most 65,535");
        return false;
      }
      out.comment = *v;
    } else if (a == "-P") {
      auto v = value("a password");
      if (!v) return false;
      if (v->empty()) {
        Error("add: the password must not be empty");
        return false;
      }
      out.password = *v;
    } else if (a == "--aes") {
      out.aes = true;
    } else if (a == "-s") {
      auto v = value("a part size in bytes");
      if (!v) return false;
      const auto size = ParseSize(*v);
      if (!size || *size < kMinPartSize || *size > 0x7FFFFFFF) {
        Error("add: part size '" + *v + "' must be between 64k and 2047m bytes");
        return false;
      }
      out.part_size = static_cast<int32_t>(*size);
    } else if (a.size() > 1 && a[0] == '-') {
      Error("add: unknown option '" + a + "' (see 'vzip add --help')");
      return false;
    } else if (out.archive.empty()) {
      out.archive = a;
    } else {
      out.files.push_back(a);
    }
  }
  if (out.archive.empty()) {
    Error("add: no archive given (see 'vzip add --help')");
    return false;
  }
  if (out.files.empty()) {
    Error("add: no files given (see 'vzip add --help')");
    return false;
  }
  if (out.aes && out.password.empty()) {
    Error("add: --aes needs a password (-P PASSWORD)");
    return false;
  }
  return true;
}

}  // namespace

int AddCommand(const std::vector<std::string>& args) {
  AddOptions options;
  if (!ParseAddOptions(args, options)) return kUsage;

  Zipper zipper;
  zipper.EditSettings([&](ComponentSettings& s) {
    s.SetThreadCount(JobCount());
    s.SetCompressionMethodToUse(options.method);
    s.SetDeflationOption(options.level);
    s.SetPassword(options.password);
    s.SetEncryption(options.aes ? zeAes256 : zeTraditional);
    s.SetSpanningThreshold(options.part_size);
    StoreOptions store = soStripDrive | soRemoveDots | soFreshen;
    if (options.junk_paths) store |= soStripPath;
    s.SetStoreOptions(store);
  });

  ProgressLine progress;
  FailureList failures;
  auto report = [&progress](const ItemFailure& failure) {
    progress.Clear();
    Error(Printable(failure.name) + ": " + failure.reason);
  };
  failures.Watch(zipper, report);
  auto fail = [&](const std::string& name, const std::string& reason) {
    failures.Add(name, reason);
    report(failures.Items().back());
  };
  zipper.OnArchiveItemProgress = [&](void*, ArchiveItem* item, uint8_t percent, bool&) {
    if (item != nullptr) progress.Show("adding", Printable(item->StoredName()), percent);
  };
  zipper.OnArchiveSaveProgress = [&](void*, uint8_t percent, bool&) {
    progress.Show("writing", options.archive, percent);
  };
  zipper.OnWaitForArchive = [&](void*, bool first, bool&) {
    if (first) Error(options.archive + ": waiting for another vzip to finish with it");
  };

  if (const auto status = platform::StatPath(options.archive); status && !status->is_regular) {
    Error(options.archive + ": is a " + status->kind + ", not a zip archive");
    return kUsage;
  }
  AssertTypeByContent(zipper, options.archive);
  try {
    zipper.SetFileName(options.archive);
  } catch (const std::exception& e) {
    Error(options.archive + ": " + e.what());
    return kUsage;
  }
  if (zipper.GetArchive() == nullptr || zipper.Spanned()) {
    Error(options.archive + ": " + MessageText(ZipSpanOverwriteError::kCode));
    return kUsage;
  }

  try {
    if (options.comment) zipper.SetZipComment(*options.comment);
    for (const std::string& given : options.files) {
      const std::string file = WithoutDotPrefix(given);
      const auto status = platform::StatPath(file);
      if (!status) {
        fail(given, MessageText(FileNotFoundError::kCode));
        continue;
      }
      if (!status->is_directory) {
        zipper.AddFiles(file, kEveryFile);
        continue;
      }
      if (!options.recurse) {
        fail(given, "is a folder (use -r to add the files below it)");
        continue;
      }
      // The files are known already: they go to the archive directly rather than through a
      // mask search of their folder each.
      GatheredFiles below = FilesBelow(file, options.follow_links);
      for (const ItemFailure& skipped : below.skipped) fail(skipped.name, skipped.reason);
      zipper.AddFileList(below.files, &below.statuses);
    }
    zipper.Save();
  } catch (const std::exception& e) {
    progress.Clear();
    Error(options.archive + ": " + e.what());
    return kSomeFailed;
  }
  progress.Clear();
  return failures.Empty() ? kOk : kSomeFailed;
}

int DeleteCommand(const std::vector<std::string>& args) {
  std::string archive;
  std::vector<std::string> masks;
  std::vector<std::string> exclusions;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-x") {
      if (i + 1 >= args.size()) {
        Error("delete: -x needs a mask");
        return kUsage;
      }
      exclusions.push_back(args[++i]);
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      Error("delete: unknown option '" + args[i] + "' (see 'vzip delete --help')");
      return kUsage;
    } else if (archive.empty()) {
      archive = args[i];
    } else {
      masks.push_back(args[i]);
    }
  }
  if (archive.empty() || masks.empty()) {
    Error(std::string("delete: no ") + (archive.empty() ? "archive" : "mask") +
          " given (see 'vzip delete --help')");
    return kUsage;
  }
  if (!CheckArchiveToRead(archive)) return kUsage;
  Zipper zipper;
  AssertTypeByContent(zipper, archive);
  ProgressLine progress;
  zipper.OnArchiveSaveProgress = [&](void*, uint8_t percent, bool&) {
    progress.Show("writing", archive, percent);
  };
  try {
    zipper.SetFileName(archive);
  } catch (const std::exception& e) {
    Error(archive + ": " + ExplainOpenFailure(e));
    return kUsage;
  }
  if (zipper.Spanned()) {
    Error(archive + ": " + MessageText(ZipSpanOverwriteError::kCode));
    return kUsage;
  }
  try {
    const int deleted = zipper.DeleteFiles(JoinMasks(masks), JoinMasks(exclusions));
    if (deleted == 0) {
      Error(archive + ": no item matches " + Printable(JoinMasks(masks)));
      return kSomeFailed;
    }
    zipper.Save();
    progress.Clear();
    std::printf("Deleted %d item%s from %s.\n", deleted, deleted == 1 ? "" : "s",
                Printable(archive).c_str());
  } catch (const std::exception& e) {
    progress.Clear();
    Error(archive + ": " + e.what());
    return kSomeFailed;
  }
  return kOk;
}

}  // namespace vz::cli
