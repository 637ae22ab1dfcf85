#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "front/destination.h"
#include "front/display_text.h"
#include "front/failure_list.h"
#include "front/file_gathering.h"
#include "front/overwrite_answers.h"
#include "test_support.h"

namespace vz {
namespace {

TEST(FailureListTest, ReportListsTenAndCountsTheRest) {
  FailureList list;
  EXPECT_EQ(list.Report(), "");
  for (int i = 1; i <= 12; ++i) list.Add("f" + std::to_string(i), "Failed CRC Check");
  const std::string report = list.Report();
  EXPECT_EQ(report.substr(0, 41), "f1 - Failed CRC Check\r\nf2 - Failed CRC Ch");
  EXPECT_NE(report.find("\r\nf10 - Failed CRC Check\r\n... and 2 more"), std::string::npos);
  EXPECT_EQ(report.find("f11"), std::string::npos);
}

// Each script is the answers given in turn; the result is what each of five files gets.
TEST(OverwriteAnswersTest, AllAndNoneStickForTheRestOfTheRun) {
  using A = OverwriteAnswer;
  using P = OverwriteAnswers::Policy;
  struct Case {
    P policy;
    std::vector<std::optional<A>> script;
    std::string expected;  // y = replaced, n = kept, per file
    int asked;
  } cases[] = {
      {P::kAsk, {A::kYes, A::kNo, A::kAll}, "ynyyy", 3},
      {P::kAsk, {A::kNo, A::kNone}, "nnnnn", 2},
      {P::kAsk, {std::nullopt}, "nnnnn", 1},  // nobody to ask: keep everything
      {P::kAlways, {}, "yyyyy", 0},
      {P::kNever, {}, "nnnnn", 0},
  };
  for (const Case& c : cases) {
    OverwriteAnswers answers(c.policy);
    size_t next = 0;
    int asked = 0;
    std::string got;
    for (int file = 0; file < 5; ++file) {
      const bool replace = answers.Decide("f", [&](const std::string&) {
        ++asked;
        return next < c.script.size() ? c.script[next++] : std::nullopt;
      });
      got += replace ? 'y' : 'n';
    }
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(asked, c.asked);
  }
}

// A tree with hidden files, a linked file, a linked folder, a link back up (a loop) and a FIFO:
// what is gathered with and without following links, and what is reported.
TEST(FileGatheringTest, FilesBelowComeInOrderAndEverySkipIsReported) {
  testing::ScratchDir dir;
  const std::filesystem::path d = dir.path() / "d";
  std::filesystem::create_directories(d / "sub");
  std::filesystem::create_directories(dir.path() / "other");
  for (const char* name : {"d/b", "d/.hidden", "d/sub/a", "d/a", "other/o"}) {
    testing::WriteFile(dir / name, "x");
  }
  std::filesystem::create_symlink(d / "a", d / "c-link");
  std::filesystem::create_directory_symlink(dir.path() / "other", d / "linked");
  std::filesystem::create_directory_symlink(d, d / "sub" / "loop");
  ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);

  auto relative = [&](const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const std::string& p : paths) out.push_back(p.substr(d.string().size() + 1));
    return out;
  };
  auto reasons = [&](const GatheredFiles& g) {
    std::vector<std::string> out;
    for (const ItemFailure& f : g.skipped) {
      out.push_back(f.name.substr(d.string().size() + 1) + ": " + f.reason.substr(0, 20));
    }
    return out;
  };
  const GatheredFiles plain = FilesBelow(d.string());
  EXPECT_EQ(relative(plain.files),
            (std::vector<std::string>{".hidden", "a", "b", "c-link", "sub/a"}));
  EXPECT_EQ(reasons(plain),
            (std::vector<std::string>{"fifo: is a FIFO, not a reg", "linked: is a linked folder, ",
                                      "sub/loop: is a linked folder, "}));
  const GatheredFiles followed = FilesBelow(d.string(), true);
  EXPECT_EQ(relative(followed.files),
            (std::vector<std::string>{".hidden", "a", "b", "c-link", "linked/o", "sub/a"}));
  EXPECT_EQ(reasons(followed), (std::vector<std::string>{"fifo: is a FIFO, not a reg",
                                                         "sub/loop: is a linked folder t"}));
  EXPECT_EQ(WithoutDotPrefix(".//./a/b"), "a/b");
  EXPECT_EQ(WithoutDotPrefix("./"), "./");
}

TEST(DisplayTextTest, ControlsAndBrokenUtf8AreEscaped) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"\x1b]0;pwned\x07\x1b[2J", "^[]0;pwned^G^[[2J"},
      {"tab\there\x7f", "tab\there^?"},
      {"line\r\nbreak", "line^M^Jbreak"},
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
      {"csi\xc2\x9b"
       "31m",
       "csiM-^[31m"},
      {"bad\x9b\xff\xc3", "bad\\x9B\\xFF\\xC3"},
      {"over\xc0\xaf\xed\xa0\x80", "over\\xC0\\xAF\\xED\\xA0\\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.out;
  EXPECT_EQ(Printable("a\r\nb", true), "a\r\nb");
}

// Folders made for an extraction go again when nothing was put in them.
TEST(DestinationTest, CreatedFoldersAreRemovedWhenLeftEmpty) {
  testing::ScratchDir dir;
  {
    Destination unused(dir / "x/y/z");
    unused.Create();
    EXPECT_TRUE(std::filesystem::is_directory(dir / "x/y/z"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));
  {
    Destination used(dir / "x/y");
    used.Create();
    testing::WriteFile(dir / "x/y/f", "data");
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "x/y/f"));
}

}  // namespace
}  // namespace vz
