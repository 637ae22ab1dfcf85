// The scenery library against files built here, their encodings made by the C library's own
// converter (iconv) so that the decoding is checked against an independent one. Whatever the
// file, every byte that no change touches must come back as it was.
#include "installer/scenery_cfg.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace vz::installer {
namespace {

using vz::testing::ReadFile;
using vz::testing::ScratchDir;

std::string Iconv(std::string in, const char* to, const char* from = "UTF-8") {
  iconv_t cd = ::iconv_open(to, from);
  std::string out(in.size() * 4, '\0');
  char* src = in.data();
  char* dst = out.data();
  size_t src_left = in.size(), dst_left = out.size();
  const size_t r = ::iconv(cd, &src, &src_left, &dst, &dst_left);
  ::iconv_close(cd);
  out.resize(out.size() - dst_left);
  return r == static_cast<size_t>(-1) ? "<iconv failed>" : out;
}

// The file's bytes in one of the encodings, from UTF-8 text.
std::string Encode(const std::string& text, TextEncoding encoding) {
  if (encoding == TextEncoding::kUtf16Le) return "\xFF\xFE" + Iconv(text, "UTF-16LE");
  if (encoding == TextEncoding::kUtf8Bom) return "\xEF\xBB\xBF" + text;
  return encoding == TextEncoding::kUtf8 ? text : Iconv(text, "CP1252");
}

std::string Lines(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + eol;
  return text;
}

// A blank line and an area, as FSX writes them and as AddArea must.
std::string AreaText(int number, const std::string& local, int layer, const std::string& eol) {
  char header[32];
  std::snprintf(header, sizeof header, "[Area.%03d]", number);
  return Lines({"", header, "Title=Area " + std::to_string(number), "Local=" + local,
                "Layer=" + std::to_string(layer), "Active=TRUE", "Required=FALSE"},
               eol);
}

std::string General(const std::string& eol = "\r\n") {
  return Lines({"[General]", "Title=FS9 World Scenery"}, eol);
}

std::string Describe(const SceneryLibrary::Area& a) {
  return std::to_string(a.number) + "|" + a.title + "|" + a.local + "|" + std::to_string(a.layer) +
         "|" + (a.active ? "on" : "off") + (a.required ? "|required" : "");
}

struct Sample {
  const char* name;
  TextEncoding encoding;
  std::string title;  // UTF-8, of the one area
  std::string text;   // UTF-8
};

std::vector<Sample> Samples() {
  const auto sample = [](const char* name, TextEncoding encoding, const std::string& title,
                         const std::string& eol, const std::string& tail = "") {
    return Sample{name, encoding, title,
                  Lines({"[General]", "", "[Area.001]", "Title=" + title, "Local=Scenery\\World",
                         "Layer=1", "Active=TRUE", "Required=TRUE"},
                        eol) +
                      tail};
  };
  std::string cp1252_high;  // every Windows-1252 character beyond ASCII
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D) cp1252_high += char(b);
  }
  return {
      sample("utf16_crlf", TextEncoding::kUtf16Le, "Sc\u00E9nerie \U0001F600", "\r\n"),
      sample("utf8_bom_lf", TextEncoding::kUtf8Bom, "Sc\u00E9nerie \U0001F600", "\n"),
      sample("utf8_crlf", TextEncoding::kUtf8, "Sc\u00E9nerie \u65E5\u672C", "\r\n"),
      sample("ansi_crlf", TextEncoding::kAnsi, Iconv(cp1252_high, "UTF-8", "CP1252"), "\r\n"),
      sample("ansi_lf", TextEncoding::kAnsi, "ASCII only", "\n"),
      sample("ansi_cr", TextEncoding::kAnsi, "Sc\u00E9nerie", "\r"),
      sample("no_final_eol", TextEncoding::kUtf8, "\u00E9", "\r\n", "; last"),
      sample("mixed_eol", TextEncoding::kAnsi, "x", "\n", "\r\n\r[Other]\r\n\r"),
  };
}

// Each sample reads back as the oracle decodes it, is written back byte for byte, and is so again
// after areas are added and removed.
TEST(SceneryLibraryTest, KeepsEveryEncodingAndLineEndingByteForByte) {
  for (const Sample& sample : Samples()) {
    SCOPED_TRACE(sample.name);
    const std::string bytes = Encode(sample.text, sample.encoding);
    std::string error;
    auto library = SceneryLibrary::Parse(bytes, &error);
    ASSERT_TRUE(library) << error;
    EXPECT_EQ(library->Encoding(), sample.encoding);
    EXPECT_EQ(library->Serialize(), bytes);
    ASSERT_EQ(library->Areas().size(), 1u);
    EXPECT_EQ(Describe(library->Areas()[0]), "1|" + sample.title + "|Scenery\\World|1|on|required");

    const std::optional<int> first = library->AddArea("Caf\u00E9", "Addon Scenery\\Cafe");
    const std::string one_added = library->Serialize();
    const auto written = SceneryLibrary::Parse(one_added);
    ASSERT_TRUE(first && written);
    EXPECT_EQ(written->Encoding(), sample.encoding);
    EXPECT_EQ(Describe(written->Areas().back()), "2|Caf\u00E9|Addon Scenery\\Cafe|2|on");
    const std::optional<int> second = library->AddArea("Second", "Addon Scenery\\Second");
    const std::string two_added = library->Serialize();
    EXPECT_FALSE(library->RemoveArea(*first, "Addon Scenery\\Second"));
    EXPECT_TRUE(library->RemoveArea(*first, "addon scenery/cafe/"));
    // The second area stays as it was written (unless a lone CR ends the file and new lines end
    // in LF: then its blank line becomes a CR, as if it had been added alone).
    if (two_added.starts_with(one_added) && std::string_view(sample.name) != "mixed_eol") {
      EXPECT_EQ(library->Serialize(), bytes + two_added.substr(one_added.size()));
    }
    EXPECT_TRUE(library->RemoveArea(*second, "Addon Scenery\\Second"));
    EXPECT_EQ(library->Serialize(), bytes);
  }
}

TEST(SceneryLibraryTest, NewAreaTakesTheNextNumberAndLayerWhateverTheGaps) {
  struct Case {
    std::vector<std::pair<int, int>> areas;  // number and layer of each
    std::string eol;
    int number, layer;  // of the new area
  };
  std::vector<std::pair<int, int>> gappy;  // up to 190 with holes, layers ahead of the numbers
  for (int n = 1; n <= 190; ++n) {
    if (n % 7 != 3) gappy.push_back({n, n == 50 ? 260 : n + 12});
  }
  const Case cases[] = {{gappy, "\r\n", 191, 261},
                        {{{7, 3}, {2, 9}}, "\n", 8, 10},
                        {{{998, 1}, {1000, 2}}, "\r\n", 1001, 3}};
  for (const Case& c : cases) {
    std::string text = General(c.eol);
    for (const auto& [number, layer] : c.areas) text += AreaText(number, "A", layer, c.eol);
    auto library = SceneryLibrary::Parse(text);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->AddArea("Area " + std::to_string(c.number), "New"), c.number);
    EXPECT_EQ(library->Serialize(), text + AreaText(c.number, "New", c.layer, c.eol));
  }
}

TEST(SceneryLibraryTest, ALocalWrittenDifferentlyIsListedAlready) {
  const std::string text = General() + AreaText(1, "Addon Scenery\\My Place", 1, "\r\n") +
                           AreaText(2, "C:\\FSX\\Addon Scenery\\Abs", 2, "\r\n");
  struct Case {
    const char* local;
    const char* fsx;  // the FSX folder
    bool listed;
  };
  const Case cases[] = {
      {"ADDON SCENERY/my place\\", "", true},
      {"c:/fsx/addon scenery/my place/", "C:\\FSX\\", true},
      {"c:/fsx/addon scenery/abs/", "", true},
      {"Addon Scenery\\Abs", "C:\\FSX", true},
      {"Addon Scenery\\Abs", "", false},
      {"C:\\FSX\\Addon Scenery\\My Place", "", false},
      {"C:\\FSX2\\Addon Scenery\\My Place", "C:\\FSX", false},
      {"Addon Scenery\\My Place\\\\", "", false},
  };
  for (const Case& c : cases) {
    auto library = SceneryLibrary::Parse(text);
    EXPECT_EQ(library->Lists(c.local, c.fsx), c.listed) << c.local;
    EXPECT_EQ(library->AddArea("T", c.local, c.fsx).has_value(), !c.listed) << c.local;
  }
  // Nor is a line break that would make lines of its own, or no path at all.
  auto library = SceneryLibrary::Parse(text);
  EXPECT_FALSE(library->AddArea("T", ""));
  EXPECT_FALSE(library->AddArea("T\r\n[Area.9]", "X"));
  EXPECT_EQ(library->Serialize(), text);
}

TEST(SceneryLibraryTest, ParsesWhatFsxWritesAndRefusesDamage) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> areas;  // Describe() of each; empty when the file is refused
    const char* reason = "";
  };
  const std::string area = "[Area.001]\r\nLocal=X\r\n";
  const Case cases[] = {
      {"loose_syntax",
       "[general]\n[ area.12 ]\n title = T \nLOCAL= Addon Scenery\\A\nlayer =4\nactive=true\n",
       {"12|T|Addon Scenery\\A|4|on"}},
      {"same_local_twice",
       General() + AreaText(1, "Scenery\\X", 1, "\r\n") + AreaText(2, "Scenery\\X", 2, "\r\n"),
       {"1|Area 1|Scenery\\X|1|on", "2|Area 2|Scenery\\X|2|on"}},
      {"odd_utf16", std::string("\xFF\xFE[\0G\0]", 7), {}, "odd"},
      {"garbage", std::string(300, '\x9C') + "\x01\x02junk", {}, "no [General]"},
      {"empty", "", {}, "no [General]"},
      {"letters_in_number", General() + "[Area.x1]\r\nLocal=X\r\n", {}, "[Area.x1]"},
      {"number_too_long", "[Area.1234567890]\r\nLocal=X\r\n", {}, "number"},
      {"no_local", General() + "[Area.001]\r\nTitle=T\r\n" + area, {}, "no Local="},
      {"layer_not_numeric", area + "Layer=top\r\n", {}, "Layer=top"},
      {"too_large", area + std::string(16 << 20, ' '), {}, "16 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto library = SceneryLibrary::Parse(c.bytes, &error);
    ASSERT_EQ(library.has_value(), !c.areas.empty()) << error;
    if (!library) {
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
      continue;
    }
    std::vector<std::string> areas;
    for (const auto& a : library->Areas()) areas.push_back(Describe(a));
    EXPECT_EQ(areas, c.areas);
  }
}

// Damaged copies of each sample (about three in four still read): when one is read at all, it is
// written back as it was, and two areas added and removed again leave it so.
TEST(SceneryLibraryTest, AnyFileItAcceptsComesBackUnchanged) {
  std::mt19937 rng(7);
  const std::string structure = "\r\n\r\n[]= ";  // what lines and sections are made of
  for (const Sample& sample : Samples()) {
    const std::string bytes = Encode(sample.text, sample.encoding);
    for (int round = 0; round < 300; ++round) {
      std::string damaged = bytes.substr(0, bytes.size() - rng() % 4);
      for (int k = rng() % 4; k >= 0; --k) {
        const uint32_t r = rng();
        damaged[r % damaged.size()] =
            r & 0x10000 ? structure[(r >> 17) % structure.size()] : char(r >> 24);
      }
      auto library = SceneryLibrary::Parse(damaged);
      if (!library) continue;
      ASSERT_EQ(library->Serialize(), damaged) << sample.name << " round " << round;
      const std::optional<int> first = library->AddArea("New", "Z:\\New");
      const std::optional<int> second = library->AddArea("New", "Z:\\Newer");
      ASSERT_TRUE(first && second);
      ASSERT_TRUE(library->RemoveArea(*first, "Z:\\New"));
      ASSERT_TRUE(library->RemoveArea(*second, "Z:\\Newer"));
      ASSERT_EQ(library->Serialize(), damaged) << sample.name << " round " << round;
    }
  }
}

TEST(SceneryLibraryTest, ReplaceFileAtomicallyKeepsTheBackupAndWritesTheNewFile) {
  ScratchDir dir;
  const std::string cfg = dir / "scenery.cfg";
  const std::string backup = dir / "scenery.cfg.bak";
  const auto read = [](const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(ReplaceFileAtomically(cfg, "first", backup), "");  // nothing there to back up
  EXPECT_FALSE(std::filesystem::exists(backup));
  EXPECT_EQ(ReplaceFileAtomically(cfg, "second", backup), "");
  EXPECT_EQ(read(cfg) + "," + read(backup), "second,first");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
  // A missing folder, for the file or for its backup: a reason, and the file unchanged.
  EXPECT_NE(ReplaceFileAtomically(dir / "missing/scenery.cfg", "x", ""), "");
  EXPECT_NE(ReplaceFileAtomically(cfg, "x", dir / "missing/backup"), "");
  EXPECT_EQ(read(cfg), "second");
}

}  // namespace
}  // namespace vz::installer
