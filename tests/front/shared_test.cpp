#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

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

TEST(FileGatheringTest, FilesBelowAFolderComeInOrderWithoutDotPrefixes) {
  testing::ScratchDir dir;
  std::filesystem::create_directories(dir.path() / "d/sub");
  for (const char* name : {"d/b", "d/.hidden", "d/sub/a", "d/a"})
    testing::WriteFile(dir / name, "x");
  const std::vector<std::string> found = FilesBelow(dir / "d");
  std::vector<std::string> relative;
  for (const std::string& f : found) relative.push_back(f.substr(dir.path().string().size() + 1));
  EXPECT_EQ(relative, (std::vector<std::string>{"d/.hidden", "d/a", "d/b", "d/sub/a"}));
  EXPECT_EQ(WithoutDotPrefix(".//./a/b"), "a/b");
  EXPECT_EQ(WithoutDotPrefix("./"), "./");
}

}  // namespace
}  // namespace vz
