#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "front/destination.h"
#include "front/display_text.h"
#include "front/failure_list.h"
#include "front/file_gathering.h"
#include "front/overwrite_answers.h"
#include "front/work_rate.h"
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
  VZ_SKIP_ON_WINDOWS("pipes and links");
  std::filesystem::create_symlink(d / "a", d / "c-link");
  std::filesystem::create_directory_symlink(dir.path() / "other", d / "linked");
  std::filesystem::create_directory_symlink(d, d / "sub" / "loop");
  ASSERT_TRUE(testing::portable::MakeFifo((d / "fifo").string()));

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
      // What changes how the text around it reads is shown, not obeyed.
      {"invoice\xe2\x80\xaegpj.exe", "invoice<U+202E>gpj.exe"},
      {"a\xe2\x81\xa6"
       "b\xe2\x81\xa9\xe2\x80\x8b\xe2\x80\x8f\xef\xbb\xbf",
       "a<U+2066>b<U+2069><U+200B><U+200F><U+FEFF>"},
      {"\xe2\x80\x90 \xe2\x80\xaf", "\xe2\x80\x90 \xe2\x80\xaf"},  // a hyphen, a narrow space
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.out;
  EXPECT_EQ(Printable("a\r\nb\nc", true), "a\r\nb\nc");
  EXPECT_EQ(Printable("done\rfake", true), "done^Mfake");  // a CR alone is no line break
}

// Folders made for an extraction go again when nothing was put in them.
// Bytes done and time left: silent for two seconds, then the figures of the work so far.
TEST(WorkRateTest, SaysBytesDoneAndTimeLeftOnceTheWorkRunsAWhile) {
  using std::chrono::milliseconds;
  const front::WorkRate::Clock::time_point t0{};
  const int a = 0, b = 0;
  struct Case {
    uint64_t total;
    std::vector<std::pair<const int*, uint8_t>> steps;  // item (each 1 MiB) and its percent
    int ms;
    std::string expected;
  } cases[] = {
      {4 << 20, {{&a, 50}}, 1999, ""},
      {4 << 20, {{&a, 50}}, 2000, "512 KB of 4.0 MB, about 14 s left"},
      {4 << 20, {{&a, 100}, {&b, 0}}, 3000, "1.0 MB of 4.0 MB, about 9 s left"},
      {4 << 20, {{&a, 0}}, 5000, "0 bytes of 4.0 MB"},
      {uint64_t{1} << 30, {{&a, 100}}, 4000, "1.0 MB of 1.0 GB, about 1 h left"},
      {3 << 20, {{&a, 100}, {&b, 100}}, 120000, "2.0 MB of 3.0 MB, about 1 min left"},
      {0, {{&a, 100}}, 9000, ""},
  };
  for (const Case& c : cases) {
    front::WorkRate rate;
    rate.Start(c.total, t0);
    for (const auto& [item, percent] : c.steps) rate.Progress(item, 1 << 20, percent);
    EXPECT_EQ(rate.Text(t0 + milliseconds(c.ms)), c.expected) << c.total << " " << c.ms;
  }
  for (const auto& [bytes, text] :
       std::vector<std::pair<uint64_t, std::string>>{{999, "999 bytes"},
                                                     {1000, "1.0 KB"},
                                                     {10188, "9.9 KB"},
                                                     {10189, "10 KB"},
                                                     {1023487, "999 KB"},
                                                     {1023488, "1.0 MB"},
                                                     {~uint64_t{0}, "16 EB"}}) {
    EXPECT_EQ(front::ByteCount(bytes), text) << bytes;
  }
}

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
