// The registry of a Wine prefix, read from the text files that Wine rewrites whole:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to REGISTRY\\Machine
//   #arch=win64
//
//   [Software\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0] 1796849256
//   #time=1dd881e85c1c4fa
//   "SetupPath"="C:\\Flugsimulator \xdc\x65e5\x672c\\"
//   @="the default value"
//   "Expand"=str(2):"%USERPROFILE%\\x"
//   "Blob"=hex:00,01,02,03
//
// Long binary data goes on over indented lines, each but the last ending in a backslash.
//
// Key names and strings share one escaping: "\\" and "\"", the C letters \a \b \e \f \n \r \t \v,
// octal \0 to \377 for other control characters, and \x with up to four hex digits for each UTF-16
// code unit outside ASCII (Wine writes all four when a hex digit follows, as in "\x00e9a"). Strings
// come out as UTF-8, surrogate pairs joined. A string written in binary form (hex(1):, hex(2):) is
// UTF-16LE; every other type (dword:, hex:, str(7): ...) is not a string and reads as absent.
//
// Anything else is skipped line by line, so a damaged file loses only the lines it damaged; a file
// without the header line is not a registry, as it is not for Wine either.
#include "platform/wine_registry.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/codepage.h"
#include "platform/fs.h"

namespace vz::platform {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// Real hives are a few MiB; a larger file is not read into memory.
constexpr int64_t kMaxHiveSize = int64_t{256} << 20;

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names compare without regard to ASCII case, as the registry compares them.
bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// The components of a key path; empty ones (a leading, trailing or doubled "\") do not count.
std::vector<std::string_view> KeyParts(std::string_view key) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= key.size()) {
    const size_t end = std::min(key.find('\\', start), key.size());
    if (end > start) parts.push_back(key.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool SameKey(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameName);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// UTF-8 text made of raw bytes (passed through) and UTF-16 code units; a surrogate that has no
// partner becomes U+FFFD.
class TextBuilder {
 public:
  void Byte(char c) {
    DropHighSurrogate();
    text_ += c;
  }
  void Unit(char16_t unit) {
    if (unit >= 0xD800 && unit < 0xDC00) {
      DropHighSurrogate();
      high_ = unit;
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      const bool paired = high_ != 0;
      AppendUtf8(text_, paired ? 0x10000 + ((char32_t{high_} - 0xD800) << 10) + (unit - 0xDC00)
                               : char32_t{0xFFFD});
      high_ = 0;
    } else {
      DropHighSurrogate();
      AppendUtf8(text_, unit);
    }
  }
  std::string Take() {
    DropHighSurrogate();
    return std::move(text_);
  }

 private:
  void DropHighSurrogate() {
    if (high_ != 0) AppendUtf8(text_, 0xFFFD);
    high_ = 0;
  }
  std::string text_;
  char16_t high_ = 0;
};

// The escaped text of line from pos up to the unescaped terminator; pos is left after the
// terminator. Nothing when the line ends first.
std::optional<std::string> Unescape(std::string_view line, size_t& pos, char terminator) {
  TextBuilder text;
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == terminator) return text.Take();
    if (c != '\\') {
      text.Byte(c);
      continue;
    }
    if (pos == line.size()) break;
    const char e = line[pos++];
    switch (e) {
      case 'a':
        text.Unit(u'\a');
        break;
      case 'b':
        text.Unit(u'\b');
        break;
      case 'e':
        text.Unit(0x1B);
        break;
      case 'f':
        text.Unit(u'\f');
        break;
      case 'n':
        text.Unit(u'\n');
        break;
      case 'r':
        text.Unit(u'\r');
        break;
      case 't':
        text.Unit(u'\t');
        break;
      case 'v':
        text.Unit(u'\v');
        break;
      case 'x': {
        unsigned value = 0;
        int digits = 0;
        for (; digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0; ++digits) {
          value = value * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
        }
        if (digits == 0) {
          text.Byte('x');
        } else {
          text.Unit(static_cast<char16_t>(value));
        }
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned value = static_cast<unsigned>(e - '0');
          for (int digits = 1;
               digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits) {
            value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
          }
          text.Unit(static_cast<char16_t>(value));
        } else {
          text.Byte(e);  // "\\", "\"", "\]" and anything unknown stand for themselves
        }
    }
  }
  return std::nullopt;
}

// The lines of a file, without their line ends (LF or CR LF).
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const size_t end = std::min(text_.find('\n', pos_), text_.size());
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// The bytes of a hex list ("41,00,42,00"); nothing when it holds anything else.
std::optional<std::string> HexBytes(std::string_view list) {
  std::string bytes;
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
  };
  for (;;) {
    skip_blanks();
    if (i == list.size()) return bytes;
    int value = 0;
    int digits = 0;
    for (; digits < 2 && i < list.size() && HexDigit(list[i]) >= 0; ++digits) {
      value = value * 16 + HexDigit(list[i++]);
    }
    if (digits == 0) return std::nullopt;
    bytes += static_cast<char>(value);
    skip_blanks();
    if (i == list.size()) return bytes;
    if (list[i++] != ',') return std::nullopt;
  }
}

// The string held by a value's data (the text after "="); nothing for other types and damaged data.
// Binary data may go on over following lines, each but the last ending in "\".
std::optional<std::string> StringData(std::string_view data, Lines& lines) {
  size_t pos = 0;
  if (data.starts_with("\"")) {
    pos = 1;
    return Unescape(data, pos, '"');
  }
  if (data.starts_with("str(1):\"") || data.starts_with("str(2):\"")) {
    pos = 8;
    return Unescape(data, pos, '"');
  }
  if (!data.starts_with("hex(1):") && !data.starts_with("hex(2):")) return std::nullopt;
  std::string list(data.substr(7));
  std::string_view more;
  while (!list.empty() && list.back() == '\\' && lines.Next(more)) {
    list.pop_back();
    list += TrimLeft(more);
  }
  const auto bytes = HexBytes(list);
  if (!bytes) return std::nullopt;
  TextBuilder text;
  for (size_t i = 0; i + 1 < bytes->size(); i += 2) {
    text.Unit(static_cast<char16_t>(static_cast<uint8_t>((*bytes)[i]) |
                                    static_cast<uint8_t>((*bytes)[i + 1]) << 8));
  }
  return text.Take();
}

struct Lookup {
  bool key_found = false;
  std::optional<std::string> value;
};

Lookup FindValue(std::string_view hive, const std::vector<std::string_view>& key,
                 std::string_view value) {
  Lookup found;
  Lines lines(hive);
  std::string_view line;
  bool in_key = false;
  while (lines.Next(line)) {
    line = TrimLeft(line);
    if (line.empty()) continue;
    size_t pos = 1;
    if (line[0] == '[') {
      const auto name = Unescape(line, pos, ']');
      in_key = name && SameKey(KeyParts(*name), key);
      found.key_found = found.key_found || in_key;
      continue;
    }
    // Comments, timestamps, the continuation lines of binary data and garbage.
    if (!in_key || (line[0] != '"' && line[0] != '@')) continue;
    const auto name = line[0] == '@' ? std::optional<std::string>("") : Unescape(line, pos, '"');
    if (!name || !SameName(*name, value)) continue;
    const std::string_view rest = TrimLeft(line.substr(pos));
    if (!rest.starts_with('=')) continue;
    found.value = StringData(TrimLeft(rest.substr(1)), lines);
    return found;
  }
  return found;
}

// The link (or folder) of a drive in the prefix, resolved to the folder it names.
std::optional<std::string> DriveRoot(const std::string& prefix, char letter) {
  namespace fs = std::filesystem;
  const fs::path devices = fs::path(prefix) / "dosdevices";
  const char lower = AsciiLower(letter);
  for (const char name : {lower, static_cast<char>(lower - 'a' + 'A')}) {
    const fs::path link = devices / std::string{name, ':'};
    std::error_code error;
    const fs::file_status status = fs::symlink_status(link, error);
    if (error || !fs::exists(status)) continue;
    fs::path root = link;
    if (fs::is_symlink(status)) {
      fs::path target = fs::read_symlink(link, error);
      if (error) continue;
      root = target.is_relative() ? devices / target : target;
    }
    std::string text = root.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadRegistryString(const std::string& prefix, RegistryRoot root,
                                              std::string_view key, std::string_view value) {
  if (prefix.empty()) return std::nullopt;
  const auto hive = ReadSmallFile(
      prefix + (root == RegistryRoot::kCurrentUser ? "/user.reg" : "/system.reg"), kMaxHiveSize);
  if (!hive || !std::string_view(*hive).starts_with(kHeader)) return std::nullopt;

  std::vector<std::string_view> parts = KeyParts(key);
  Lookup found = FindValue(*hive, parts, value);
  if (!found.key_found && root == RegistryRoot::kLocalMachine && !parts.empty() &&
      SameName(parts[0], "Software") && !(parts.size() > 1 && SameName(parts[1], "Wow6432Node"))) {
    parts.insert(parts.begin() + 1, "Wow6432Node");
    found = FindValue(*hive, parts, value);
  }
  if (!found.value) return std::nullopt;
  // Registry strings end at their first zero, as every reader of the Windows API sees them.
  std::string text = std::move(*found.value);
  text.resize(std::min(text.find('\0'), text.size()));
  return text;
}

std::string MapWindowsPath(const std::string& prefix, std::string_view windows_path) {
  std::string as_read(windows_path);
  if (prefix.empty() || windows_path.size() < 2 || windows_path[1] != ':') return as_read;
  const char letter = AsciiLower(windows_path[0]);
  if (letter < 'a' || letter > 'z') return as_read;
  const std::string_view rest = windows_path.substr(2);
  // "C:FSX" is relative to the drive's current folder, which only a running program knows.
  if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') return as_read;
  const auto root = DriveRoot(prefix, letter);
  if (!root) return as_read;
  std::string path = *root == "/" && !rest.empty() ? std::string() : *root;
  for (const char c : rest) path += c == '\\' ? '/' : c;
  return path;
}

}  // namespace vz::platform
