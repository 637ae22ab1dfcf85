#include "installer/install_record.h"

#include <algorithm>
#include <cstdio>

#include "archive/utils.h"
#include "codec/deflate_base.h"
#include "installer/scenery_cfg.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vz::installer {

namespace {

constexpr const char* kHeader = "veldrin-zip install record 1";
constexpr const char* kExtension = ".install";
constexpr int64_t kMaxRecordSize = 256 << 20;

std::string Escape(const std::string& field) {
  std::string out;
  for (const char c : field) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char e = field[++i];
    out += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
  }
  return out;
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        Unescape(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return fields;
}

std::string Line(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += '\t';
    line += Escape(field);
  }
  return line + "\n";
}

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

}  // namespace

std::string RecordsFolder(const FsxInstallation& fsx) {
  std::string data = platform::EnvironmentVariable("XDG_DATA_HOME");
  if (data.empty() || data.front() != '/') {
    data = platform::EnvironmentVariable("HOME") + "/.local/share";
  }
  const std::string& folder = fsx.folder;
  const uint32_t key = Crc32Of({reinterpret_cast<const uint8_t*>(folder.data()), folder.size()});
  return data + "/veldrin-zip/fsx-" + Hex(key);
}

std::string RecordPath(const std::string& records, const std::string& name) {
  return records + "/" + name + kExtension;
}

std::string BackupFolder(const std::string& records, const std::string& name) {
  return records + "/" + name + ".backup";
}

std::string SaveRecord(const std::string& records, const InstallRecord& record) {
  try {
    ForceFolders(records);
  } catch (const std::exception& e) {
    return e.what();
  }
  std::string text = std::string(kHeader) + "\n";
  text += Line({"name", record.name});
  text += Line({"kind", record.kind});
  text += Line({"where", record.where});
  text += Line({"archive", record.archive});
  text += Line({"state", record.complete ? "installed" : "installing"});
  for (const std::string& folder : record.folders) text += Line({"folder", folder});
  for (const auto& file : record.files) {
    text += Line({"file", file.path, std::to_string(file.size), Hex(file.crc32)});
  }
  for (const auto& replaced : record.replaced) {
    text += Line({"replaced", replaced.path, replaced.backup});
  }
  for (const auto& area : record.areas) {
    text += Line({"area", area.library, std::to_string(area.number), area.local, area.backup});
  }
  for (const auto& fltsim : record.fltsims) text += Line({"fltsim", fltsim.cfg, fltsim.text});
  return ReplaceFileAtomically(RecordPath(records, record.name), text, "");
}

std::optional<InstallRecord> LoadRecord(const std::string& records, const std::string& name) {
  const auto text = platform::ReadSmallFile(RecordPath(records, name), kMaxRecordSize);
  if (!text || !text->starts_with(std::string(kHeader) + "\n")) return std::nullopt;
  InstallRecord record;
  size_t start = 0;
  while (start < text->size()) {
    size_t end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    const std::vector<std::string> f = Fields(std::string_view(*text).substr(start, end - start));
    start = end + 1;
    const std::string& what = f[0];
    try {
      if (what == "name" && f.size() == 2) {
        record.name = f[1];
      } else if (what == "kind" && f.size() == 2) {
        record.kind = f[1];
      } else if (what == "where" && f.size() == 2) {
        record.where = f[1];
      } else if (what == "archive" && f.size() == 2) {
        record.archive = f[1];
      } else if (what == "state" && f.size() == 2) {
        record.complete = f[1] == "installed";
      } else if (what == "folder" && f.size() == 2) {
        record.folders.push_back(f[1]);
      } else if (what == "file" && f.size() == 4) {
        record.files.push_back(
            {f[1], std::stoll(f[2]), static_cast<uint32_t>(std::stoul(f[3], nullptr, 16))});
      } else if (what == "replaced" && f.size() == 3) {
        record.replaced.push_back({f[1], f[2]});
      } else if (what == "area" && f.size() == 5) {
        record.areas.push_back({f[1], std::stoi(f[2]), f[3], f[4]});
      } else if (what == "fltsim" && f.size() == 3) {
        record.fltsims.push_back({f[1], f[2]});
      }
    } catch (const std::exception&) {
      return std::nullopt;  // a damaged number
    }
  }
  if (record.name != name) return std::nullopt;
  return record;
}

std::vector<std::string> RecordNames(const std::string& records) {
  std::vector<std::string> names;
  const std::string extension = kExtension;
  for (const platform::DirEntry& entry : platform::ListFolder(records)) {
    if (entry.name.size() > extension.size() && entry.name.ends_with(extension) && entry.status &&
        entry.status->is_regular) {
      names.push_back(entry.name.substr(0, entry.name.size() - extension.size()));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vz::installer
