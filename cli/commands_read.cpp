// vzip list, test and extract: the reading side, over the unzipper component.
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "cli/cli_common.h"
#include "codec/aes_crypt.h"
#include "components/unzipper.h"
#include "components/zip_attributes.h"
#include "errors/errors.h"
#include "front/destination.h"
#include "front/display_text.h"
#include "front/failure_list.h"
#include "front/overwrite_answers.h"
#include "platform/terminal.h"

namespace vz::cli {

namespace {

struct ReadOptions {
  std::string archive;
  std::vector<std::string> masks;
  std::vector<std::string> exclusions;
  std::string directory;
  bool junk_paths = false;
  OverwriteAnswers::Policy overwrite = OverwriteAnswers::Policy::kAsk;
  std::optional<std::string> password;

  std::string MaskList() const { return masks.empty() ? std::string("*.*") : JoinMasks(masks); }
  std::string ExclusionList() const { return JoinMasks(exclusions); }
};

// Scans the arguments of a reading command; returns false after printing a usage error.
bool ParseReadOptions(const std::string& command, const std::vector<std::string>& args,
                      bool extract_flags, ReadOptions& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        Error(command + ": " + a + " needs " + what);
        return std::nullopt;
      }
      return args[++i];
    };
    if (extract_flags && a == "-d") {
      auto v = value("a folder");
      if (!v) return false;
      out.directory = *v;
    } else if (extract_flags && a == "-j") {
      out.junk_paths = true;
    } else if (extract_flags && a == "-o") {
      out.overwrite = OverwriteAnswers::Policy::kAlways;
    } else if (extract_flags && a == "-n") {
      out.overwrite = OverwriteAnswers::Policy::kNever;
    } else if (a == "-P" && command != "list") {
      auto v = value("a password");
      if (!v) return false;
      out.password = *v;
    } else if (a == "-x") {
      auto v = value("a mask");
      if (!v) return false;
      out.exclusions.push_back(*v);
    } else if (a.size() > 1 && a[0] == '-') {
      Error(command + ": unknown option '" + a + "' (see 'vzip " + command + " --help')");
      return false;
    } else if (out.archive.empty()) {
      out.archive = a;
    } else {
      out.masks.push_back(a);
    }
  }
  if (out.archive.empty()) {
    Error(command + ": no archive given (see 'vzip " + command + " --help')");
    return false;
  }
  return true;
}

// Opens the archive; prints the reason and returns false when it cannot be opened. What the load
// found damaged in an archive whose items could still be read is printed as a warning, and
// damaged is set: the command then ends with status 1 whatever its items do.
bool Open(CustomUnZipper& unzipper, const std::string& name, bool& damaged) {
  if (!CheckArchiveToRead(name)) return false;
  AssertTypeByContent(unzipper, name);
  unzipper.EditSettings([](ComponentSettings& s) { s.SetNameCharset(NameCharset()); });
  try {
    unzipper.OpenArchive(name);
  } catch (const std::exception& e) {
    Error(name + ": " + ExplainOpenFailure(e));
    return false;
  }
  const auto warnings = unzipper.LoadWarnings();
  for (const std::string& warning : warnings) Error(name + ": warning: " + warning);
  damaged = !warnings.empty();
  return true;
}

// The method's name; an AES item shows its key size and the method inside.
std::string MethodName(const ZipItem& item) {
  const uint16_t method = item.CompressionMethod();
  if (method == kAesMethod) {
    if (const auto data = FindExtraField(item.ExtraField(), kAesExtraFieldId)) {
      try {
        const AesExtraField field = ParseAesExtraField(*data);
        return "AES-" + std::to_string(64 + 64 * static_cast<int>(field.strength)) + " " +
               CompressionMethodName(field.method);
      } catch (const AesError&) {
      }
    }
  }
  return CompressionMethodName(method);
}

std::string DosDateTimeText(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", 1980 + (date >> 9), (date >> 5) & 15,
                date & 31, time >> 11, (time >> 5) & 63);
  return text;
}

// Collects item failures and prints each as it happens. An encrypted item that could not be
// asked about says why.
void WatchFailures(FailureList& failures, CustomUnZipper& unzipper, ProgressLine& progress,
                   bool no_password_source) {
  failures.Watch(unzipper, [&progress, no_password_source](const ItemFailure& failure) {
    progress.Clear();
    std::string reason = failure.reason;
    if (no_password_source && reason == MessageText(ZipInvalidPasswordError::kCode)) {
      reason += " (the item is encrypted and no password was given: use -P)";
    }
    Error(Printable(failure.name) + ": " + reason);
  });
}

// Prints each warning as it happens; returns the count through warnings.
void WatchWarnings(CustomUnZipper& unzipper, ProgressLine& progress, int& warnings) {
  unzipper.OnItemWarning = [&progress, &warnings](void*, ArchiveItem* item,
                                                  const std::string& warning) {
    ++warnings;
    progress.Clear();
    Error(Printable(item != nullptr ? item->StoredName() : std::string()) +
          ": warning: " + Printable(warning));
  };
}

void AttachPasswordPrompt(CustomUnZipper& unzipper, bool may_ask) {
  if (!may_ask) return;
  unzipper.OnNeedPassword = [](void*, std::string& answer) {
    auto typed = platform::AskSecret("Password: ");
    answer = typed ? *typed : std::string();
  };
}

void AttachProgress(CustomUnZipper& unzipper, ProgressLine& progress, const char* verb) {
  unzipper.OnArchiveItemProgress = [&progress, verb](void*, ArchiveItem* item, uint8_t percent,
                                                     bool&) {
    if (item != nullptr) progress.Show(verb, Printable(item->StoredName()), percent);
  };
}

// Says so when the masks matched nothing (as unzip does); returns whether they matched.
bool ReportNoMatch(const CustomUnZipper& unzipper, const ReadOptions& options) {
  if (unzipper.ItemCount() == 0 ||
      !unzipper.MatchingItems(options.MaskList(), options.ExclusionList()).empty()) {
    return true;
  }
  Error(options.archive + ": no item matches " + Printable(options.MaskList()));
  return false;
}

}  // namespace

int ListCommand(const std::vector<std::string>& args) {
  ReadOptions options;
  if (!ParseReadOptions("list", args, false, options)) return kUsage;
  UnZipper unzipper;
  bool damaged = false;
  if (!Open(unzipper, options.archive, damaged)) return kUsage;
  const std::string comment = unzipper.ZipComment();
  if (!comment.empty()) std::printf("%s\n\n", Printable(comment, true).c_str());
  std::printf(
      "    Size  Compressed  Method              Ratio  CRC-32    Date       Time   Name\n");
  std::printf(
      "--------  ----------  ------------------  -----  --------  ---------- -----  ----\n");
  int64_t total_size = 0;
  int64_t total_compressed = 0;
  const std::vector<int> shown =
      unzipper.MatchingItems(options.MaskList(), options.ExclusionList());
  for (int i : shown) {
    const ZipItem* item = unzipper.GetItem(i);
    total_size += item->UncompressedSize();
    total_compressed += item->CompressedSize();
    std::printf("%8lld  %10lld  %-18s  %4.0f%%  %08x  %s  %s\n",
                static_cast<long long>(item->UncompressedSize()),
                static_cast<long long>(item->CompressedSize()), MethodName(*item).c_str(),
                item->CompressionRatio(), item->CRC32(),
                DosDateTimeText(item->FileDate(), item->FileTime()).c_str(),
                Printable(item->StoredName()).c_str());
    EndIfOutputClosed();
  }
  const double ratio =
      total_size > 0
          ? (1.0 - static_cast<double>(total_compressed) / static_cast<double>(total_size)) * 100.0
          : 0.0;
  const auto count = static_cast<int>(shown.size());
  std::printf(
      "--------  ----------                      -----                                ----\n");
  std::printf(
      "%8lld  %10lld                      %4.0f%%                                %d item%s\n",
      static_cast<long long>(total_size), static_cast<long long>(total_compressed), ratio, count,
      count == 1 ? "" : "s");
  return ReportNoMatch(unzipper, options) && !damaged ? kOk : kSomeFailed;
}

int TestCommand(const std::vector<std::string>& args) {
  ReadOptions options;
  if (!ParseReadOptions("test", args, false, options)) return kUsage;
  UnZipper unzipper;
  unzipper.EditSettings([&](ComponentSettings& s) {
    s.SetThreadCount(JobCount());
    if (options.password) s.SetPassword(*options.password);
  });
  bool damaged = false;
  if (!Open(unzipper, options.archive, damaged)) return kUsage;
  ProgressLine progress;
  FailureList failures;
  const bool may_ask = !options.password && platform::StdinIsTerminal();
  WatchFailures(failures, unzipper, progress, !options.password && !may_ask);
  int warnings = 0;
  WatchWarnings(unzipper, progress, warnings);
  AttachPasswordPrompt(unzipper, may_ask);
  AttachProgress(unzipper, progress, "testing");
  try {
    unzipper.TestFiles(options.MaskList(), options.ExclusionList());
  } catch (const std::exception& e) {
    progress.Clear();
    Error(options.archive + ": " + e.what());
    return kSomeFailed;
  }
  progress.Clear();
  if (!ReportNoMatch(unzipper, options)) return kSomeFailed;
  const auto count =
      static_cast<int>(unzipper.MatchingItems(options.MaskList(), options.ExclusionList()).size());
  if (failures.Empty() && damaged) {
    std::printf("The %d item%s of %s tested without errors, but the archive is damaged.\n", count,
                count == 1 ? "" : "s", Printable(options.archive).c_str());
    return kSomeFailed;
  }
  if (failures.Empty()) {
    std::printf("No errors detected in %s (%d item%s).\n", Printable(options.archive).c_str(),
                count, count == 1 ? "" : "s");
    return kOk;
  }
  std::printf("%zu of %d item%s failed in %s.\n", failures.Count(), count, count == 1 ? "" : "s",
              Printable(options.archive).c_str());
  return kSomeFailed;
}

int ExtractCommand(const std::vector<std::string>& args) {
  ReadOptions options;
  if (!ParseReadOptions("extract", args, true, options)) return kUsage;
  UnZipper unzipper;
  unzipper.EditSettings([&](ComponentSettings& s) {
    s.SetThreadCount(JobCount());
    s.SetExtractOptions(options.junk_paths ? eoCreateDirs : eoCreateDirs | eoRestorePath);
    if (options.password) s.SetPassword(*options.password);
  });
  bool damaged = false;
  if (!Open(unzipper, options.archive, damaged)) return kUsage;
  if (!ReportNoMatch(unzipper, options)) return kSomeFailed;

  // The destination is made only now that the archive could be read, and removed again when
  // nothing was put in it.
  Destination destination(AbsoluteFileName(options.directory.empty() ? "." : options.directory));
  try {
    destination.Create();
    unzipper.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(destination.Path()); });
  } catch (const std::exception& e) {
    Error(options.directory + ": " + e.what());
    return kUsage;
  }
  ProgressLine progress;
  FailureList failures;
  const bool interactive = platform::StdinIsTerminal();
  const bool may_ask = !options.password && interactive;
  WatchFailures(failures, unzipper, progress, !options.password && !may_ask);
  int warnings = 0;
  WatchWarnings(unzipper, progress, warnings);
  AttachPasswordPrompt(unzipper, may_ask);
  AttachProgress(unzipper, progress, "extracting");

  OverwriteAnswers answers(options.overwrite);
  OverwriteAnswers::Asker ask;
  if (interactive) {
    ask = [&progress](const std::string& name) -> std::optional<OverwriteAnswer> {
      progress.Clear();
      while (true) {
        auto answer =
            platform::AskLine("replace " + Printable(name) + "? [y]es, [n]o, [A]ll, [N]one: ");
        if (!answer || *answer == "N") return OverwriteAnswer::kNone;
        if (*answer == "A") return OverwriteAnswer::kAll;
        if (*answer == "y" || *answer == "Y") return OverwriteAnswer::kYes;
        if (*answer == "n") return OverwriteAnswer::kNo;
      }
    };
  }
  unzipper.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    confirm = answers.Decide(name, ask);
  };
  try {
    unzipper.ExtractFiles(options.MaskList(), options.ExclusionList());
  } catch (const std::exception& e) {
    progress.Clear();
    Error(options.archive + ": " + e.what());
    return kSomeFailed;
  }
  progress.Clear();
  // As unzip does, warnings (the item's or the end records') make the status 1 even though every
  // item was written.
  return failures.Empty() && warnings == 0 && !damaged ? kOk : kSomeFailed;
}

}  // namespace vz::cli
