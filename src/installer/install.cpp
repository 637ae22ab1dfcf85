#include "installer/install.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "archive/item_procedures.h"
#include "archive/utils.h"
#include "codec/deflate_base.h"
#include "components/unzipper.h"
#include "errors/errors.h"
#include "installer/ini_text.h"
#include "installer/scenery_cfg.h"
#include "platform/file_stream.h"
#include "platform/fs.h"
#include "platform/memory_stream.h"

namespace vz::installer {

namespace {

constexpr int64_t kMaxCfgSize = 4 << 20;
constexpr size_t kMaxInnerZips = 16;
constexpr size_t kMaxInnerZipSize = size_t{256} << 20;

// Raised by the stream below when a read for the analysis has what it asked for.
struct Enough {};

// Keeps the first max bytes written to it, then stops the decoding.
class PrefixStream : public MemoryStream {
 public:
  explicit PrefixStream(size_t max) : max_(max) {}
  int64_t Write(std::span<const uint8_t> buffer) override {
    const auto room =
        static_cast<size_t>(std::max<int64_t>(0, static_cast<int64_t>(max_) - Size()));
    MemoryStream::Write(buffer.first(std::min(room, buffer.size())));
    if (Size() >= static_cast<int64_t>(max_)) throw Enough{};
    return static_cast<int64_t>(buffer.size());
  }

 private:
  size_t max_;
};

std::string Text(MemoryStream& stream) {
  std::string text(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  stream.ReadBuffer({reinterpret_cast<uint8_t*>(text.data()), text.size()});
  return text;
}

std::optional<std::pair<int64_t, uint32_t>> SizeAndCrc(const std::string& path) {
  try {
    FileStream file(path, kFmOpenRead | kFmShareDenyWrite);
    uint32_t crc = 0xFFFFFFFFu;
    std::vector<uint8_t> buffer(1 << 16);
    int64_t size = 0;
    for (;;) {
      const int64_t n = file.Read(buffer);
      if (n <= 0) break;
      UpdateCrc32(crc, buffer.data(), n);
      size += n;
    }
    return std::make_pair(size, ~crc);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Relative(const std::string& fsx, const std::string& absolute) {
  return absolute.substr(std::min(absolute.size(), fsx.size() + 1));
}

// The Windows form of a path below the FSX folder, as the scenery library lists it.
std::string WindowsLocal(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Opens the archive for reading through the unzipper, as every face does.
void OpenArchive(UnZipper& unzipper, const std::string& archive) {
  unzipper.EditSettings([](ComponentSettings& s) { s.SetThreadCount(1); });
  unzipper.SetFileName(archive);
  if (unzipper.GetZipArchive() == nullptr) throw FileNotFoundError();
}

// The [fltsim.N] section a livery adds: its readme's block, else a copy of [fltsim.0]; numbered
// N, its texture= the livery's folder, its title= one no other section uses.
std::string FltsimSection(const std::string& cfg, const std::string& block, const std::string& name,
                          int number) {
  std::set<std::string> titles;
  std::string source = block;
  {
    std::string current;
    size_t start = 0;
    std::string first;
    while (start < cfg.size()) {
      size_t end = cfg.find('\n', start);
      if (end == std::string::npos) end = cfg.size();
      std::string line = cfg.substr(start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string lower = LowerAscii(line);
      if (lower.starts_with("[")) current = lower;
      if (lower.starts_with("title")) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) titles.insert(line.substr(eq + 1));
      }
      if (current == "[fltsim.0]" && !lower.starts_with("[")) first += line + "\n";
    }
    if (source.empty()) source = first;
  }
  // The block's own title when it has one, else the livery's name; never one another section uses.
  const auto block_title = IniValue(block, "", "title");
  const std::string wanted = block_title && !block_title->empty() ? *block_title : name;
  std::string title = wanted;
  for (int n = 2; titles.count(title) > 0; ++n) title = wanted + " (" + std::to_string(n) + ")";
  std::string out = "[fltsim." + std::to_string(number) + "]\n";
  size_t start = 0;
  while (start < source.size()) {
    size_t end = source.find('\n', start);
    if (end == std::string::npos) end = source.size();
    const std::string line = source.substr(start, end - start);
    start = end + 1;
    const std::string lower = LowerAscii(line);
    if (line.empty() || lower.starts_with("[") || lower.starts_with("title") ||
        lower.starts_with("texture")) {
      continue;
    }
    out += line + "\n";
  }
  out += "title=" + title + "\ntexture=" + name + "\n";
  return out;
}

int NextFltsimNumber(const std::string& cfg) {
  const std::string lower = LowerAscii(cfg);
  int next = 0;
  for (size_t at = lower.find("[fltsim."); at != std::string::npos;
       at = lower.find("[fltsim.", at + 1)) {
    size_t i = at + 8;
    int n = 0;
    bool digits = false;
    while (i < lower.size() && lower[i] >= '0' && lower[i] <= '9' && n < 100000) {
      n = n * 10 + (lower[i++] - '0');
      digits = true;
    }
    if (digits) next = std::max(next, n + 1);
  }
  return next;
}

// Puts text in place of the file at path (a new file beside it, renamed over it).
std::string WriteWhole(const std::string& path, const std::string& text) {
  return ReplaceFileAtomically(path, text, "");
}

// Undoes what the record says; what cannot be undone is said in the report.
UninstallReport Undo(const FsxInstallation& fsx, const std::string& records,
                     const InstallRecord& record) {
  UninstallReport report;
  CaseMatcher matcher(fsx.folder);
  for (const auto& fltsim : record.fltsims) {
    const std::string path = MatchCase(fsx.folder, fltsim.cfg);
    const auto cfg = platform::ReadSmallFile(path, kMaxCfgSize);
    const size_t at = cfg ? cfg->rfind(fltsim.text) : std::string::npos;
    if (at == std::string::npos) {
      report.problem += path + ": the section it added is no longer there as it was added.\n";
      continue;
    }
    const std::string error =
        WriteWhole(path, cfg->substr(0, at) + cfg->substr(at + fltsim.text.size()));
    if (!error.empty()) report.problem += path + ": " + error + "\n";
  }
  for (const auto& area : record.areas) {
    const auto bytes = platform::ReadSmallFile(area.library, 16 << 20);
    std::string error;
    auto library = bytes ? SceneryLibrary::Parse(*bytes, &error) : std::nullopt;
    if (library && library->RemoveArea(area.number, area.local)) {
      error = ReplaceFileAtomically(area.library, library->Serialize(), "");
      if (error.empty()) {
        ++report.areas;
        if (!area.backup.empty()) platform::DeleteFile(area.backup);
        continue;
      }
    }
    report.problem += area.library + ": [Area." + std::to_string(area.number) + "] (" + area.local +
                      ") could not be removed" + (error.empty() ? "" : ": " + error) + "\n";
  }
  std::set<std::string> replaced;
  for (const auto& r : record.replaced) replaced.insert(r.path);
  for (const auto& file : record.files) {
    const std::string path = matcher.Match(file.path);
    const auto now = SizeAndCrc(path);
    if (!now) continue;  // not written (an install that did not end), or removed since
    if (now->first != file.size || now->second != file.crc32) {
      if (replaced.count(file.path) == 0) report.changed.push_back(file.path);
      continue;
    }
    if (platform::DeleteFile(path) == 0) ++report.removed;
  }
  for (const auto& r : record.replaced) {
    const std::string path = matcher.Match(r.path);
    if (platform::PathExists(path) && !SizeAndCrc(path)) continue;
    const auto now = SizeAndCrc(path);
    // The old file still there (an install cut short before it got to this one): nothing to do.
    if (now && now == SizeAndCrc(r.backup)) continue;
    const bool ours = std::any_of(record.files.begin(), record.files.end(), [&](const auto& f) {
      return f.path == r.path && (!now || (now->first == f.size && now->second == f.crc32));
    });
    if (!ours && now) {
      report.changed.push_back(r.path);  // changed since: its old copy stays in the backup
      continue;
    }
    if (platform::CopyFile(r.backup, path, false) == 0) {
      ++report.restored;
    } else {
      report.problem += path + ": could not be restored from " + r.backup + "\n";
    }
  }
  // Folders it made, inner first, when nothing is left in them.
  for (auto folder = record.folders.rbegin(); folder != record.folders.rend(); ++folder) {
    platform::RemoveFolder(matcher.Match(*folder));
  }
  if (report.changed.empty() && report.problem.empty()) {
    const std::string backups = BackupFolder(records, record.name);
    for (const auto& r : record.replaced) platform::DeleteFile(r.backup);
    // The backup folder's own folders, inner first.
    std::vector<std::string> folders;
    for (const auto& r : record.replaced) {
      for (std::string f = FolderOf(r.backup); f.size() > backups.size(); f = FolderOf(f)) {
        folders.push_back(f);
      }
    }
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& f : folders) platform::RemoveFolder(f);
    platform::RemoveFolder(backups);
  }
  platform::DeleteFile(RecordPath(records, record.name));
  return report;
}

}  // namespace

int InstallPlan::Count(TargetState state) const {
  return static_cast<int>(std::count_if(files.begin(), files.end(),
                                        [&](const TargetFile& f) { return f.state == state; }));
}

std::vector<std::string> InstallPlan::Lines() const {
  std::vector<std::string> lines;
  for (const TargetFile& file : files) {
    std::string line = file.stored_name + " -> " + file.target;
    if (file.state == TargetState::kIdentical) line += " (identical, skipped)";
    if (file.state == TargetState::kDifferent) line += " (exists, different)";
    lines.push_back(line);
  }
  for (const std::string& line : PlanLines(layout)) {
    if (line.find(" -> ") == std::string::npos) lines.push_back(line);
  }
  if (update) {
    lines.push_back("update: the add-on \"" + layout.name + "\" installed before is removed first");
  }
  return lines;
}

namespace {

// An archive open for reading, with its names and its layout.
struct Analysed {
  UnZipper unzipper;
  std::unordered_map<std::string, int> index_of;
  AddonLayout layout;
};

std::string InnerContents(Analysed& analysed, const std::string& inner);

// The items by stored name, made the first time it is needed (a look at an archive often needs
// no item's data).
void IndexNames(Analysed& analysed) {
  if (!analysed.index_of.empty()) return;
  const ZipArchive& zip = *analysed.unzipper.GetZipArchive();
  analysed.index_of.reserve(static_cast<size_t>(zip.ItemCount()));
  for (int i = 0; i < zip.ItemCount(); ++i)
    analysed.index_of.emplace(zip.Items(i)->StoredName(), i);
}

void Analyse(const std::string& archive, Analysed& analysed) {
  OpenArchive(analysed.unzipper, archive);
  ZipArchive& zip = *analysed.unzipper.GetZipArchive();
  ArchiveView view;
  view.names.reserve(static_cast<size_t>(zip.ItemCount()));
  for (int i = 0; i < zip.ItemCount(); ++i) view.names.push_back(zip.Items(i)->StoredName());
  view.read = [&](const std::string& name, size_t max) -> std::optional<std::string> {
    IndexNames(analysed);
    const auto found = analysed.index_of.find(name);
    if (found == analysed.index_of.end()) return std::nullopt;
    PrefixStream out(max);
    try {
      zip.ExtractItemToStream(found->second, out);
    } catch (const Enough&) {
    } catch (const std::exception&) {
      return std::nullopt;
    }
    return Text(out);
  };
  const size_t slash = LastSeparator(archive);
  analysed.layout =
      AnalyseLayout(view, slash == std::string::npos ? archive : archive.substr(slash + 1));
  // Inner zips, one level deep: what each holds, from its directory.
  AddonLayout& layout = analysed.layout;
  for (size_t i = 0; i < layout.inner_zips.size() && i < kMaxInnerZips; ++i) {
    layout.inner_contents.push_back(InnerContents(analysed, layout.inner_zips[i]));
  }
}

// The bytes of the inner zip stored as name, read whole into memory (up to kMaxInnerZipSize).
std::optional<std::string> InnerBytes(Analysed& analysed, const std::string& name) {
  IndexNames(analysed);
  const auto found = analysed.index_of.find(name);
  if (found == analysed.index_of.end()) return std::nullopt;
  PrefixStream out(kMaxInnerZipSize + 1);
  try {
    analysed.unzipper.GetZipArchive()->ExtractItemToStream(found->second, out);
  } catch (const Enough&) {
    return std::nullopt;  // too large to look into
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return Text(out);
}

std::string InnerContents(Analysed& analysed, const std::string& inner) {
  const std::optional<std::string> bytes = InnerBytes(analysed, inner);
  if (!bytes) return "cannot be read, or too large to look into";
  try {
    MemoryStream stream(std::vector<uint8_t>(bytes->begin(), bytes->end()));
    const auto zip = ZipArchive::CreateOnStream(stream, inner);
    zip->Load();
    InstallExtractionProcs(*zip);
    ArchiveView view;
    for (int i = 0; i < zip->ItemCount(); ++i) view.names.push_back(zip->Items(i)->StoredName());
    view.read = [&](const std::string& name, size_t max) -> std::optional<std::string> {
      for (int i = 0; i < zip->ItemCount(); ++i) {
        if (zip->Items(i)->StoredName() != name) continue;
        PrefixStream out(max);
        try {
          zip->ExtractItemToStream(i, out);
        } catch (const Enough&) {
        } catch (const std::exception&) {
          return std::nullopt;
        }
        return Text(out);
      }
      return std::nullopt;
    };
    const AddonLayout layout = AnalyseLayout(view, inner);
    const AddonPart* main = layout.MainPart();
    if (main == nullptr) return "no add-on recognised in it";
    return std::string(KindName(main->kind)) + " \"" + main->name + "\"";
  } catch (const std::exception&) {
    return "not a zip that can be read";
  }
}

}  // namespace

std::string ExtractInnerZip(const std::string& archive, const std::string& inner,
                            const std::string& folder) {
  Analysed analysed;
  OpenArchive(analysed.unzipper, archive);
  const std::optional<std::string> bytes = InnerBytes(analysed, inner);
  if (!bytes) throw ArchiveError(inner + ": no such zip in " + archive + ", or it cannot be read");
  const size_t slash = inner.find_last_of("/\\");
  const std::string path =
      folder + "/" + (slash == std::string::npos ? inner : inner.substr(slash + 1));
  const std::string error = ReplaceFileAtomically(path, *bytes, "");
  if (!error.empty()) throw ArchiveError(path + ": " + error);
  return path;
}

AddonLayout AnalyseArchive(const std::string& archive) {
  Analysed analysed;
  Analyse(archive, analysed);
  return std::move(analysed.layout);
}

std::vector<std::string> InstalledAircraft(const FsxInstallation& fsx) {
  std::vector<std::string> aircraft;
  CaseMatcher matcher(fsx.folder);
  for (const std::string& kind : {FsxRules().airplanes, FsxRules().rotorcraft}) {
    const std::string folder = matcher.Match(kind);
    for (const platform::DirEntry& entry : platform::ListFolder(folder)) {
      if (entry.status && entry.status->is_directory &&
          platform::IsRegularFile(MatchCase(folder + "/" + entry.name, "aircraft.cfg"))) {
        aircraft.push_back(Relative(fsx.folder, folder) + "/" + entry.name);
      }
    }
  }
  std::sort(aircraft.begin(), aircraft.end());
  return aircraft;
}

std::vector<std::string> SimObjectFolders() {
  return {FsxRules().boats, FsxRules().ground_vehicles, FsxRules().animals};
}

InstallPlan MakePlan(const std::string& archive, const FsxInstallation& fsx,
                     const std::string& livery_aircraft, const std::string& simobject_folder) {
  const std::vector<std::string> folders = SimObjectFolders();
  if (!simobject_folder.empty() &&
      std::find(folders.begin(), folders.end(), simobject_folder) == folders.end()) {
    throw ArchiveError(simobject_folder + ": not a folder for sim objects");
  }
  // The livery's aircraft is a folder below the FSX folder, and nowhere else.
  if (!livery_aircraft.empty()) {
    const std::string padded = "/" + livery_aircraft + "/";
    if (livery_aircraft.front() == '/' || padded.find("/../") != std::string::npos ||
        padded.find("/./") != std::string::npos ||
        livery_aircraft.find('\\') != std::string::npos) {
      throw ArchiveError(livery_aircraft + ": not a folder below the FSX folder");
    }
    if (!platform::IsRegularFile(MatchCase(fsx.folder, livery_aircraft + "/aircraft.cfg"))) {
      throw ArchiveError(livery_aircraft + ": no installed aircraft there (no aircraft.cfg)");
    }
  }
  InstallPlan plan;
  plan.archive = archive;
  plan.fsx = fsx;
  plan.records = RecordsFolder(fsx);
  plan.livery_aircraft = livery_aircraft;
  plan.simobject_folder = simobject_folder;
  Analysed analysed;
  Analyse(archive, analysed);
  ZipArchive& zip = *analysed.unzipper.GetZipArchive();
  IndexNames(analysed);
  const std::unordered_map<std::string, int>& index_of = analysed.index_of;
  plan.layout = std::move(analysed.layout);
  // A livery goes into the aircraft the user chose, a sim object into the folder chosen.
  for (AddonPart& part : plan.layout.parts) {
    if (!part.awaits_choice) continue;
    if (part.kind == PartKind::kLivery && !livery_aircraft.empty()) {
      part.destination = livery_aircraft + "/texture." + part.name;
    } else if (part.kind == PartKind::kSimObject && !simobject_folder.empty()) {
      part.destination = simobject_folder + "/" + part.name;
    } else {
      continue;
    }
    for (PlannedFile& file : part.files) file.target = part.destination + "/" + file.target;
    part.installable = true;
    part.awaits_choice = false;
    part.note.clear();
  }
  plan.update = platform::IsRegularFile(RecordPath(plan.records, plan.layout.name));
  plan.scenery_library = SceneryLibraryFile(fsx);
  CaseMatcher matcher(fsx.folder);
  for (const AddonPart& part : plan.layout.parts) {
    if (!part.installable) continue;
    for (const PlannedFile& file : part.files) {
      TargetFile target;
      target.stored_name = file.stored_name;
      target.item_index = index_of.at(file.stored_name);
      const ZipItem& item = *zip.ZipItems(target.item_index);
      target.size = item.UncompressedSize();
      target.crc32 = item.CRC32();
      bool exists = false;
      const std::string path = matcher.Match(file.target, &exists);
      target.target = Relative(fsx.folder, path);
      if (!exists) {
        // Nothing of that name: a new file.
      } else if (const auto existing = SizeAndCrc(path)) {
        target.state = existing->first == target.size && existing->second == target.crc32
                           ? TargetState::kIdentical
                           : TargetState::kDifferent;
      } else if (platform::PathExists(path)) {
        target.state = TargetState::kDifferent;  // a folder or unreadable file stands there
      }
      plan.files.push_back(std::move(target));
    }
  }
  return plan;
}

InstallReport Install(const InstallPlan& plan, const InstallChoices& choices) {
  const FsxInstallation& fsx = plan.fsx;
  if (!HoldsFsxExe(fsx.folder) && !platform::IsDirectory(fsx.folder)) {
    throw ArchiveError(fsx.folder + ": no FSX folder there");
  }
  const std::string& records = plan.records;
  const std::string& name = plan.layout.name;
  if (plan.update) {
    // The old install goes first; what the FSX folder then holds decides the files anew.
    Uninstall(fsx, name);
    InstallPlan fresh = MakePlan(plan.archive, fsx, plan.livery_aircraft, plan.simobject_folder);
    fresh.update = false;
    return Install(fresh, choices);
  }

  InstallReport report;
  InstallRecord record;
  record.name = name;
  const AddonPart* main = plan.layout.MainPart();
  record.kind = main != nullptr ? std::string(KindName(main->kind)) : "files";
  record.where = main != nullptr ? main->destination : std::string();
  record.archive = plan.archive;
  // What will be written, before anything is: an install cut short is undone from it.
  std::set<std::string> folders;
  std::vector<const TargetFile*> to_write;
  for (const TargetFile& file : plan.files) {
    if (file.state == TargetState::kIdentical) {
      report.identical.push_back(file.target);
      continue;
    }
    if (file.state == TargetState::kDifferent && !choices.replace_different) {
      report.kept.push_back(file.target);
      continue;
    }
    to_write.push_back(&file);
    record.files.push_back({file.target, file.size, file.crc32});
    for (std::string f = FolderOf(file.target); !f.empty(); f = FolderOf(f)) {
      if (!platform::IsDirectory(fsx.folder + "/" + f)) folders.insert(f);
    }
  }
  record.folders.assign(folders.begin(), folders.end());  // outer first: shorter sorts first
  std::sort(record.folders.begin(), record.folders.end(),
            [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
  const std::string backups = BackupFolder(records, name);
  for (const TargetFile* file : to_write) {
    if (file->state != TargetState::kDifferent) continue;
    const std::string backup = backups + "/" + file->target;
    ForceFolders(FolderOf(backup));
    if (platform::CopyFile(fsx.folder + "/" + file->target, backup, false) != 0) {
      throw ArchiveError(file->target + ": could not be backed up to " + backup);
    }
    record.replaced.push_back({file->target, backup});
  }
  if (const std::string error = SaveRecord(records, record); !error.empty()) {
    throw ArchiveError(RecordPath(records, name) + ": " + error);
  }

  try {
    UnZipper unzipper;
    OpenArchive(unzipper, plan.archive);
    unzipper.EditSettings([&](ComponentSettings& s) {
      s.SetBaseDirectory(fsx.folder);
      s.SetExtractOptions(eoCreateDirs | eoRestorePath);
    });
    std::string failure;
    unzipper.OnProcessItemFailure = [&](void*, ArchiveItem* item, ProcessType, ErrorClass,
                                        int32_t code) {
      std::string reason = unzipper.FailureMessage();
      if (reason.empty()) reason = MessageText(code);
      failure = item->StoredName() + ": " + reason;
    };
    unzipper.OnArchiveItemProgress = [&](void*, ArchiveItem*, uint8_t percent, bool& abort) {
      if (choices.item_progress && !choices.item_progress(percent)) abort = true;
    };
    ZipArchive& zip = *unzipper.GetZipArchive();
    int done = 0;
    for (const TargetFile* file : to_write) {
      if (choices.progress &&
          !choices.progress(file->target, done, static_cast<int>(to_write.size()))) {
        throw UserAbortError();
      }
      zip.ExtractItem(file->item_index, file->target);
      if (!failure.empty()) throw ArchiveError(failure);
      if (zip.State() == stInvalid) throw UserAbortError();
      report.written.push_back(file->target);
      ++done;
    }
    // A livery's section in its aircraft's aircraft.cfg.
    for (const AddonPart& part : plan.layout.parts) {
      if (part.kind != PartKind::kLivery || !part.installable) continue;
      const std::string cfg_path = MatchCase(fsx.folder, plan.livery_aircraft + "/aircraft.cfg");
      const auto cfg = platform::ReadSmallFile(cfg_path, kMaxCfgSize);
      if (!cfg) throw ArchiveError(cfg_path + ": cannot be read");
      const bool crlf = cfg->find("\r\n") != std::string::npos;
      std::string text = FltsimSection(*cfg, part.fltsim, part.name, NextFltsimNumber(*cfg));
      if (crlf) {
        std::string with_cr;
        for (const char c : text) with_cr += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = with_cr;
      }
      const std::string eol = crlf ? "\r\n" : "\n";
      text = (cfg->empty() || cfg->ends_with("\n") ? eol : eol + eol) + text;
      if (const std::string error = WriteWhole(cfg_path, *cfg + text); !error.empty()) {
        throw ArchiveError(cfg_path + ": " + error);
      }
      record.fltsims.push_back({Relative(fsx.folder, cfg_path), text});
      SaveRecord(records, record);
    }
    // Scenery areas, in the scenery library.
    for (const AddonPart& part : plan.layout.parts) {
      if (!part.registers || !part.installable) continue;
      const std::string local =
          WindowsLocal(Relative(fsx.folder, MatchCase(fsx.folder, part.destination)));
      const std::string by_hand = "[Area.NNN] Title=" + part.name + " Local=" + local +
                                  " Layer=NNN Active=TRUE Required=FALSE";
      std::string error;
      const auto bytes = plan.scenery_library.empty()
                             ? std::nullopt
                             : platform::ReadSmallFile(plan.scenery_library, 16 << 20);
      auto library = bytes ? SceneryLibrary::Parse(*bytes, &error) : std::nullopt;
      if (!library) {
        report.registration_problem +=
            (plan.scenery_library.empty()
                 ? std::string("no scenery library file was found")
                 : plan.scenery_library + ": " + (error.empty() ? "cannot be read" : error)) +
            "; add by hand: " + by_hand + "\n";
        continue;
      }
      const auto number = library->AddArea(part.name, local);
      if (!number) {
        report.registered.push_back(part.name + " (listed already)");
        continue;
      }
      const std::string backup = plan.scenery_library + ".veldrin-zip.bak";
      error = ReplaceFileAtomically(plan.scenery_library, library->Serialize(), backup);
      if (!error.empty()) {
        report.registration_problem +=
            plan.scenery_library + ": " + error + "; add by hand: " + by_hand + "\n";
        continue;
      }
      record.areas.push_back({plan.scenery_library, *number, local, backup});
      SaveRecord(records, record);
      char area[16];
      std::snprintf(area, sizeof area, "Area.%03d", *number);
      report.registered.push_back(part.name + " (" + area + ")");
    }
    record.complete = true;
    if (const std::string error = SaveRecord(records, record); !error.empty()) {
      throw ArchiveError(RecordPath(records, name) + ": " + error);
    }
  } catch (...) {
    Undo(fsx, records, record);
    throw;
  }
  return report;
}

UninstallReport Uninstall(const FsxInstallation& fsx, const std::string& name) {
  const std::string records = RecordsFolder(fsx);
  const auto record = LoadRecord(records, name);
  if (!record) throw ArchiveError(name + ": no add-on of that name is installed");
  return Undo(fsx, records, *record);
}

std::vector<InstallRecord> Installed(const FsxInstallation& fsx) {
  const std::string records = RecordsFolder(fsx);
  std::vector<InstallRecord> installed;
  for (const std::string& name : RecordNames(records)) {
    auto record = LoadRecord(records, name);
    if (!record) continue;
    if (!record->complete) {
      Undo(fsx, records, *record);
      continue;
    }
    installed.push_back(std::move(*record));
  }
  return installed;
}

}  // namespace vz::installer
