// The scenery library is held as one UTF-8 text, decoded from the file's encoding so that encoding
// it again gives the same bytes: Windows-1252 maps each of its 256 bytes to a distinct character
// (the five bytes it leaves undefined to the C1 controls of the same value), and UTF-16 code units
// that are lone surrogates are kept as the three-byte forms UTF-8 would give them (as WTF-8 does),
// so that even a damaged UTF-16 file comes back as it was. UTF-8 files are taken as they are.
//
// Lines end at CR LF, LF or CR, and each line keeps its own ending inside the text. The sections
// are found anew after every change, by the same scan that checked the file when it was read.
#include "installer/scenery_cfg.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <span>

#include "archive/utils.h"
#include "platform/codepage.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"
#include "platform/temp_files.h"

namespace vz::installer {
namespace {

// Real scenery libraries are a few hundred KiB.
constexpr size_t kMaxFileSize = size_t{16} << 20;
// Area numbers and layers have up to nine digits, so one more always fits an int.
constexpr size_t kMaxDigits = 9;
constexpr int kMaxNumber = 999'999'999;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";

// Windows-1252 bytes 80 to 9F hex; the five it leaves undefined stand for themselves.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint8_t Byte(std::string_view text, size_t i) {
  return static_cast<uint8_t>(text[i]);
}

// Length of the character at text[i] and its code point in *c: valid UTF-8, or the three-byte
// form of a surrogate. 0 when neither starts there.
size_t NextCodePoint(std::string_view text, size_t i, char32_t* c) {
  size_t length = platform::Utf8SequenceLength(text, i);
  if (length == 0 && Byte(text, i) == 0xED && i + 2 < text.size() &&
      (Byte(text, i + 1) & 0xE0) == 0xA0 && (Byte(text, i + 2) & 0xC0) == 0x80) {
    length = 3;
  }
  if (length == 0) return 0;
  static constexpr std::array<uint8_t, 5> kLeadMask = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t value = Byte(text, i) & kLeadMask[length];
  for (size_t k = 1; k < length; ++k) value = (value << 6) | (Byte(text, i + k) & 0x3Fu);
  *c = value;
  return length;
}

std::string DecodeAnsi(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = Byte(bytes, i);
    platform::AppendUtf8(text, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b});
  }
  return text;
}

std::string EncodeAnsi(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const size_t length = NextCodePoint(text, i, &c);
    i += std::max<size_t>(length, 1);
    if (length == 0) {
      bytes += '?';
    } else if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      bytes += static_cast<char>(c);
    } else {
      const auto* at = std::find(kCp1252High.begin(), kCp1252High.end(), c);
      bytes += at == kCp1252High.end() ? '?' : static_cast<char>(0x80 + (at - kCp1252High.begin()));
    }
  }
  return bytes;
}

// UTF-16 LE without its byte order mark (an even count of bytes) to UTF-8; pairs of surrogates
// join, lone ones keep their own three bytes.
std::string DecodeUtf16(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  const auto unit = [&](size_t k) {
    return char32_t(Byte(bytes, 2 * k) | Byte(bytes, 2 * k + 1) << 8);
  };
  const size_t units = bytes.size() / 2;
  for (size_t k = 0; k < units; ++k) {
    char32_t c = unit(k);
    if (c >= 0xD800 && c < 0xDC00 && k + 1 < units && unit(k + 1) >= 0xDC00 &&
        unit(k + 1) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    }
    platform::AppendUtf8(text, c);
  }
  return text;
}

std::string EncodeUtf16(std::string_view text) {
  std::string bytes;
  bytes.reserve(2 * text.size());
  const auto put = [&](char32_t u) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  };
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0xFFFD;
    i += std::max<size_t>(NextCodePoint(text, i, &c), 1);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return bytes;
}

// Valid UTF-8 that is not plain ASCII.
bool IsUtf8BeyondAscii(std::string_view bytes) {
  bool beyond_ascii = false;
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = platform::Utf8SequenceLength(bytes, i);
    if (length == 0) return false;
    beyond_ascii |= length > 1;
    i += length;
  }
  return beyond_ascii;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A number of one to nine digits, with a sign when signed is allowed.
std::optional<int> ParseNumber(std::string_view s, bool allow_sign) {
  bool negative = false;
  if (allow_sign && !s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > kMaxDigits) return std::nullopt;
  int value = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

// A Windows path in the form paths compare in: lower-case ASCII, "\" only, no trailing "\".
std::string Normalized(std::string_view path) {
  std::string out(path);
  for (char& c : out) c = c == '/' ? '\\' : AsciiLower(c);
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

// A normalized path relative to the current drive's folder: no drive letter, no leading "\".
bool IsRelative(std::string_view normalized) {
  const bool drive = normalized.size() >= 2 && normalized[1] == ':' &&
                     AsciiLower(normalized[0]) >= 'a' && AsciiLower(normalized[0]) <= 'z';
  return !drive && (normalized.empty() || normalized.front() != '\\');
}

bool SameLocal(std::string_view a, std::string_view b, const std::string& fsx_folder) {
  std::string na = Normalized(a);
  std::string nb = Normalized(b);
  if (na == nb) return true;
  const std::string folder = Normalized(fsx_folder);
  if (folder.empty()) return false;
  if (IsRelative(na)) na = folder + "\\" + na;
  if (IsRelative(nb)) nb = folder + "\\" + nb;
  return na == nb;
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// Length of the line ending that ends just before text[end] (0 when none does).
size_t EndingBefore(std::string_view text, size_t end) {
  if (end == 0) return 0;
  if (text[end - 1] == '\n') return end >= 2 && text[end - 2] == '\r' ? 2 : 1;
  return text[end - 1] == '\r' ? 1 : 0;
}

}  // namespace

std::optional<SceneryLibrary> SceneryLibrary::Parse(std::string_view bytes, std::string* error) {
  std::string ignored;
  std::string& reason = error != nullptr ? *error : ignored;
  if (bytes.size() > kMaxFileSize) {
    reason = "the file is larger than 16 MiB";
    return std::nullopt;
  }
  SceneryLibrary library;
  if (bytes.starts_with(kUtf16Bom)) {
    if (bytes.size() % 2 != 0) {
      reason = "the file is UTF-16 with an odd number of bytes";
      return std::nullopt;
    }
    library.encoding_ = TextEncoding::kUtf16Le;
    library.text_ = DecodeUtf16(bytes.substr(kUtf16Bom.size()));
  } else if (bytes.starts_with(kUtf8Bom)) {
    library.encoding_ = TextEncoding::kUtf8Bom;
    library.text_ = bytes.substr(kUtf8Bom.size());
  } else if (IsUtf8BeyondAscii(bytes)) {
    library.encoding_ = TextEncoding::kUtf8;
    library.text_ = bytes;
  } else {
    library.encoding_ = TextEncoding::kAnsi;
    library.text_ = DecodeAnsi(bytes);
  }
  library.eol_ = "\r\n";
  const size_t first_break = library.text_.find_first_of("\r\n");
  if (first_break != std::string::npos) {
    const bool crlf = library.text_.compare(first_break, 2, "\r\n") == 0;
    library.eol_ = library.text_.substr(first_break, crlf ? 2 : 1);
  }
  if (!library.Index(&reason, true)) return std::nullopt;
  return library;
}

bool SceneryLibrary::Index(std::string* error, bool need_section) {
  std::vector<Section> sections;
  bool any_section = false;
  bool in_area = false;  // the lines belong to sections.back()
  std::string_view area_name;
  size_t area_line = 0;
  // The keys the current area has had: as for Windows, the first of each counts.
  enum : unsigned { kTitle = 1, kLocal = 2, kLayer = 4, kActive = 8, kRequired = 16 };
  unsigned seen = 0;
  size_t line_number = 0;
  size_t previous_line = 0;  // start of the line before, when it is blank
  bool previous_blank = false;

  const auto fail = [&](size_t line, const std::string& what) {
    *error = "line " + std::to_string(line) + ": " + what;
    return false;
  };
  const auto end_area = [&]() {
    return !in_area || (seen & kLocal) != 0 ||
           fail(area_line, "[" + std::string(area_name) + "] has no Local=");
  };

  const std::string_view text = text_;
  for (size_t begin = 0; begin < text.size();) {
    ++line_number;
    const size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    const size_t next = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : end < text.size() ? 1 : 0);
    const std::string_view line = Trim(text.substr(begin, end - begin));

    if (line.starts_with('[')) {
      if (!end_area()) return false;
      in_area = false;
      const size_t close = line.find(']');
      const std::string_view name = Trim(line.substr(1, close == line.npos ? close : close - 1));
      any_section |= SameIgnoringCase(name, "General");
      constexpr std::string_view kArea = "area.";
      if (name.size() >= kArea.size() && SameIgnoringCase(name.substr(0, kArea.size()), kArea)) {
        const std::optional<int> number = ParseNumber(Trim(name.substr(kArea.size())), false);
        if (!number) return fail(line_number, "[" + std::string(name) + "] has no area number");
        Section section;
        section.area.number = *number;
        section.begin = begin;
        section.blank_before = previous_blank ? previous_line : begin;
        sections.push_back(std::move(section));
        any_section = in_area = true;
        area_name = name;
        area_line = line_number;
        seen = 0;
      }
    } else if (const size_t equals = line.find('='); in_area && equals != line.npos) {
      Area& area = sections.back().area;
      const std::string_view key = Trim(line.substr(0, equals));
      const std::string_view value = Trim(line.substr(equals + 1));
      // Whether the line is the area's first of the key name.
      const auto first = [&](std::string_view name, unsigned bit) {
        if ((seen & bit) != 0 || !SameIgnoringCase(key, name)) return false;
        seen |= bit;
        return true;
      };
      if (first("Title", kTitle)) {
        area.title = value;
      } else if (first("Local", kLocal)) {
        area.local = value;
      } else if (first("Layer", kLayer)) {
        const std::optional<int> layer = ParseNumber(value, true);
        if (!layer) return fail(line_number, "Layer=" + std::string(value) + " is not a number");
        area.layer = *layer;
      } else if (first("Active", kActive)) {
        area.active = SameIgnoringCase(value, "TRUE");
      } else if (first("Required", kRequired)) {
        area.required = SameIgnoringCase(value, "TRUE");
      }
    }
    if (in_area && !line.empty()) sections.back().end = next;
    previous_blank = line.empty();
    previous_line = begin;
    begin = next;
  }
  if (!end_area()) return false;
  if (need_section && !any_section) {
    *error = "no [General] or [Area.N] section: this is no scenery library";
    return false;
  }
  sections_ = std::move(sections);
  return true;
}

std::string SceneryLibrary::Serialize() const {
  switch (encoding_) {
    case TextEncoding::kUtf16Le:
      return std::string(kUtf16Bom) + EncodeUtf16(text_);
    case TextEncoding::kUtf8Bom:
      return std::string(kUtf8Bom) + text_;
    case TextEncoding::kUtf8:
      return text_;
    case TextEncoding::kAnsi:
      break;
  }
  return EncodeAnsi(text_);
}

std::vector<SceneryLibrary::Area> SceneryLibrary::Areas() const {
  std::vector<Area> areas;
  areas.reserve(sections_.size());
  for (const Section& section : sections_) areas.push_back(section.area);
  return areas;
}

bool SceneryLibrary::Lists(const std::string& local, const std::string& fsx_folder_windows) const {
  return std::any_of(sections_.begin(), sections_.end(), [&](const Section& section) {
    return SameLocal(section.area.local, local, fsx_folder_windows);
  });
}

std::optional<int> SceneryLibrary::AddArea(const std::string& title, const std::string& local,
                                           const std::string& fsx_folder_windows) {
  if (local.empty() || HasLineBreak(title) || HasLineBreak(local) ||
      Lists(local, fsx_folder_windows)) {
    return std::nullopt;
  }
  int number = 0;
  int layer = 0;
  for (const Section& section : sections_) {
    number = std::max(number, section.area.number);
    layer = std::max(layer, section.area.layer);
  }
  if (number >= kMaxNumber || layer >= kMaxNumber) return std::nullopt;
  ++number;
  ++layer;
  char header[32];
  std::snprintf(header, sizeof header, "[Area.%03d]", number);

  // A file that does not end in a line break gets one before the new lines, and then does not end
  // in one after them either.
  const bool ends_open = !text_.empty() && EndingBefore(text_, text_.size()) == 0;
  std::string added = ends_open ? eol_ : "";
  // The blank line: an LF right after the CR that ends the file would make that CR LF instead.
  added += text_.ends_with('\r') && eol_ == "\n" ? "\r" : eol_;
  for (const std::string& line :
       {std::string(header), "Title=" + title, "Local=" + local, "Layer=" + std::to_string(layer),
        std::string("Active=TRUE"), std::string("Required=FALSE")}) {
    added += line + eol_;
  }
  if (ends_open) added.resize(added.size() - eol_.size());

  const size_t old_size = text_.size();
  text_ += added;
  std::string error;
  if (!Index(&error, false)) {  // cannot happen: the new lines are a complete area
    text_.resize(old_size);
    Index(&error, false);
    return std::nullopt;
  }
  return number;
}

bool SceneryLibrary::RemoveArea(int number, const std::string& local) {
  const auto found = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) {
    return s.area.number == number && SameLocal(s.area.local, local, "");
  });
  if (found == sections_.end()) return false;
  size_t begin = found->blank_before;
  size_t end = found->end;
  if (end == text_.size() && EndingBefore(text_, end) == 0) {
    // The area closed a file that does not end in a line break: the line before it is the last one
    // now, and it loses the line break that AddArea gave it.
    begin -= EndingBefore(text_, begin);
  } else if (begin < found->begin && text_[begin - 1] == '\r' && end < text_.size() &&
             text_[end] == '\n') {
    // The blank line after the area is an LF that would join the lone CR ending the line before
    // the blank line in front: that blank line stays and the one after goes instead, as AddArea
    // would have written the next area's blank line there.
    begin = found->begin;
    ++end;
  }
  const std::string old_text = text_;
  text_.erase(begin, end - begin);
  std::string error;
  // Taking a whole area out leaves the others complete; should it not, nothing changes.
  if (!Index(&error, false)) {
    text_ = old_text;
    Index(&error, false);
    return false;
  }
  return true;
}

std::string ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                                  const std::string& backup_path) {
  // A link in place of the file stays a link: the file it leads to is replaced.
  const std::string target = platform::FinalLinkTarget(path);
  const bool exists = platform::IsRegularFile(target);
  if (!backup_path.empty() && exists) {
    if (const int error = platform::CopyFile(target, backup_path, false)) {
      return "cannot copy " + target + " to " + backup_path + ": " + SystemErrorText(error);
    }
  }
  const size_t slash = LastSeparator(target);
  const std::string folder_path = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  platform::Folder folder;
  if (const int error = platform::Folder::Open(folder_path, folder)) {
    return "cannot open the folder " + folder_path + ": " + SystemErrorText(error);
  }
  try {
    platform::WorkFile work(folder, "VMS");
    FileStream& stream = work.Stream();
    try {
      stream.WriteBuffer(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    } catch (const std::exception&) {
      const int error = stream.LastError();
      return "cannot write " + work.Path() + ": " +
             (error != 0 ? SystemErrorText(error) : std::string("short write"));
    }
    const std::optional<uint32_t> mode = exists ? platform::PermissionsOf(target) : std::nullopt;
    stream.SetPermissions(mode.value_or(0644));
    work.Close(true);
    if (const int error = work.PlaceAs(name)) {
      return "cannot rename " + work.Path() + " to " + target + ": " + SystemErrorText(error);
    }
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace vz::installer
