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

}  // namespace
}  // namespace vz::platform
