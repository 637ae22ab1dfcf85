// FSX's scenery library, scenery.cfg: the list of scenery areas the simulator loads.
//
//   [General]
//   Title=FS9 World Scenery
//   Clean_on_Exit=TRUE
//
//   [Area.001]
//   Title=Default Terrain
//   Local=Scenery\World
//   Layer=1
//   Active=TRUE
//   Required=TRUE
//
// An installer adds one area for an add-on's scenery and its uninstaller takes that area out
// again. The file belongs to the user and to other tools as much as to us, so it is edited in
// place: every line that is not added or removed is written back byte for byte, in the encoding
// and line endings it came in, and other areas are never renumbered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vz::installer {

// How a scenery.cfg is stored. kUtf16Le always has its byte order mark; kAnsi is Windows-1252.
enum class TextEncoding : uint8_t { kUtf16Le, kUtf8Bom, kUtf8, kAnsi };

// One scenery.cfg as read, with the changes made to it since.
class SceneryLibrary {
 public:
  // One [Area.NNN] section. Text is UTF-8, whatever the file's encoding.
  struct Area {
    int number = 0;         // NNN of the section name; unrelated to the layer
    std::string title;      // Title=, empty when missing
    std::string local;      // Local= as written: a Windows path, absolute or below the FSX folder
    int layer = 0;          // Layer=, 0 when missing
    bool active = false;    // Active=TRUE (any case)
    bool required = false;  // Required=TRUE (any case)
  };

  // Reads a whole file: UTF-16 LE with its byte order mark, UTF-8 with or without one, or
  // Windows-1252. Nothing, with the reason in *error, for a file above 16 MiB, an odd byte count
  // in UTF-16, a file without any [General] or [Area.N] section, an area whose number is not
  // digits, an area without Local= and a Layer= that is not a number.
  static std::optional<SceneryLibrary> Parse(std::string_view bytes, std::string* error = nullptr);

  // The bytes to write back: the file as read, in its encoding and line endings, with the changes.
  std::string Serialize() const;
  TextEncoding Encoding() const { return encoding_; }
  // The areas in the order of the file.
  std::vector<Area> Areas() const;

  // True when an area lists local already. Paths compare without regard to ASCII case, "/" or
  // "\" and one trailing separator; given the FSX folder ("C:\FSX"), a path relative to it also
  // matches the same path written absolute.
  bool Lists(const std::string& local, const std::string& fsx_folder_windows = "") const;

  // Appends the section [Area.NNN] (Title=title, Local=local as given, Layer=, Active=TRUE,
  // Required=FALSE) after one blank line at the end of the file, NNN and its layer each one above
  // the highest in use. Returns NNN; nothing and no change when Lists(local, fsx_folder_windows),
  // when local is empty, when title or local holds a line break, or when NNN or the layer would
  // pass 999999999.
  std::optional<int> AddArea(const std::string& title, const std::string& local,
                             const std::string& fsx_folder_windows = "");

  // Takes out the section [Area.number] whose Local is local (compared as by Lists), with the one
  // blank line before it: after AddArea, the file is back to its bytes before. Blank lines after
  // the section stay; other areas keep their numbers. True when a section was removed.
  bool RemoveArea(int number, const std::string& local);

 private:
  // Where an area's lines lie in text_.
  struct Section {
    Area area;
    size_t begin = 0;         // start of the header line
    size_t end = 0;           // just after the last line that is not blank, with its line ending
    size_t blank_before = 0;  // start of the blank line just before the header, or begin
  };

  // Finds the sections of text_ anew; false with the reason in *error when the text is damaged
  // (or, with need_section, has no section at all).
  bool Index(std::string* error, bool need_section);

  TextEncoding encoding_ = TextEncoding::kAnsi;
  std::string text_;  // the whole file as UTF-8, without a byte order mark
  std::string eol_;   // the first line ending of the file, used for new lines
  std::vector<Section> sections_;
};

// Writes bytes to path through a new file beside it that is then renamed over it, so that path
// always holds either the old or the new whole file. When backup_path is not empty and path
// exists, path is first copied to backup_path. Returns an empty string on success, else the
// reason.
std::string ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                                  const std::string& backup_path);

}  // namespace vz::installer
