// Work files are removed when a terminating signal ends the program; other files stay.
#include "platform/temp_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "test_support.h"

namespace vz::platform {
namespace {

using vz::testing::ScratchDir;

std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// A signal raised inside a critical section ends the program only when the section ends.
TEST(WorkFileTest, ATerminatingSignalRemovesWorkFilesOnlyAndEndsTheProgramByItself) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
    for (bool held : {false, true}) {
      ScratchDir dir;
      vz::testing::WriteFile(dir / "before", "old");
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        ::signal(signal_number, SIG_DFL);  // whatever the test runner ignores
        RemoveTempFilesOnSignals();
        Folder folder;
        Folder::Open(dir.path().string(), folder);
        WorkFile pending(folder, "VMS");
        pending.Stream().WriteBuffer(std::vector<uint8_t>(1000, 1));
        WorkFile placed(folder, "VMS");
        placed.Close(true);
        placed.PlaceAs("placed");
        if (held) {
          SignalsHeld section;
          ::raise(signal_number);
          vz::testing::WriteFile(dir / "after", "still running");
        } else {
          ::raise(signal_number);
        }
        ::_exit(0);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
      std::set<std::string> expected{"before", "placed"};
      if (held) expected.insert("after");
      EXPECT_EQ(NamesIn(dir.path().string()), expected) << signal_number << " " << held;
    }
  // A face that ends its work another way removes them itself.
  ScratchDir dir;
  Folder folder;
  ASSERT_EQ(Folder::Open(dir.path().string(), folder), 0);
  WorkFile pending(folder, "VMS");
  EXPECT_EQ(NamesIn(dir.path().string()).size(), 1u);
  RemoveRegisteredTempFiles();
  EXPECT_TRUE(NamesIn(dir.path().string()).empty());
}

// A work file for a new file has no name until it is placed, and however it ends, it is either
// its target, whole, or nothing; an existing target is replaced as by a named work file, or left.
TEST(WorkFileTest, AnUnnamedWorkFileIsItsTargetOrNothing) {
  struct Case {
    const char* label;
    bool existing;    // the target exists before
    bool no_replace;  // placed without replacing
    bool elsewhere;   // placed into another folder
    bool placed;      // placed at all, or destroyed before
    int error;        // what placing returns
  };
  const Case cases[] = {
      {"new name", false, false, false, true, 0},
      {"into another folder", false, false, true, true, 0},
      {"over an existing file", true, false, false, true, 0},
      {"over an existing file in another folder", true, false, true, true, 0},
      {"an existing file left alone", true, true, false, true, EEXIST},
      {"never placed", false, false, false, false, 0},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::filesystem::create_directory(dir / "other");
    const std::string target_folder = c.elsewhere ? dir / "other" : dir.path().string();
    if (c.existing) vz::testing::WriteFile(target_folder + "/target", "old");
    Folder folder, other;
    ASSERT_EQ(Folder::Open(dir.path().string(), folder), 0);
    ASSERT_EQ(Folder::Open(dir / "other", other), 0);
    {
      WorkFile work(folder, "VMS", WorkFileName::kUnnamedWherePossible);
      EXPECT_TRUE(work.IsUnnamed()) << c.label;
      work.Stream().WriteBuffer(std::vector<uint8_t>{'n', 'e', 'w'});
      std::set<std::string> before{"other"};
      if (c.existing && !c.elsewhere) before.insert("target");
      EXPECT_EQ(NamesIn(dir.path().string()), before) << c.label;  // nothing new to be seen
      work.Close(c.existing);
      if (c.placed) {
        EXPECT_EQ(
            c.elsewhere ? work.PlaceIn(other, "target") : work.PlaceAs("target", c.no_replace),
            c.error)
            << c.label;
      }
    }
    const bool new_bytes = c.placed && c.error == 0;
    std::set<std::string> expected{"other"};
    if (!c.elsewhere && (c.existing || new_bytes)) expected.insert("target");
    EXPECT_EQ(NamesIn(dir.path().string()), expected) << c.label;
    EXPECT_EQ(NamesIn(dir / "other").size(), c.elsewhere && (c.existing || new_bytes) ? 1u : 0u)
        << c.label;
    if (c.existing || new_bytes) {
      const std::string text = new_bytes ? "new" : "old";
      EXPECT_EQ(vz::testing::ReadFile(target_folder + "/target"),
                std::vector<uint8_t>(text.begin(), text.end()))
          << c.label;
    }
    EXPECT_EQ(RegisteredTempFileCount(), 0) << c.label;
  }
}

}  // namespace
}  // namespace vz::platform
