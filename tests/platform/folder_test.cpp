// Folders held open: names below them are opened without following links.
#include "platform/folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/runtime_errors.h"
#include "test_support.h"

namespace vz::platform {
namespace {

using vz::testing::ScratchDir;

TEST(FolderTest, ChildrenAreOpenedOrMadeButNeverThroughALink) {
  VZ_SKIP_ON_WINDOWS("symbolic links, which Wine makes not");
  ScratchDir dir;
  std::filesystem::create_directory(dir / "real");
  std::filesystem::create_directory(dir / "elsewhere");
  vz::testing::WriteFile(dir / "file", "x");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "folder-link");
  std::filesystem::create_symlink(dir / "file", dir / "file-link");
  std::filesystem::create_symlink(dir / "elsewhere/new", dir / "dangling");
  Folder folder;
  ASSERT_EQ(Folder::Open(dir.path().string(), folder), 0);
  struct Case {
    const char* name;
    bool create;
    int error;
    EntryKind kind_after;
  };
  const Case cases[] = {
      {"real", false, 0, EntryKind::kFolder},          {"missing", false, ENOENT, EntryKind::kNone},
      {"made", true, 0, EntryKind::kFolder},           {"file", true, ENOTDIR, EntryKind::kFile},
      {"folder-link", false, ELOOP, EntryKind::kLink}, {"file-link", true, ELOOP, EntryKind::kLink},
      {"dangling", true, ELOOP, EntryKind::kLink},
  };
  for (const Case& c : cases) {
    Folder child;
    EXPECT_EQ(folder.OpenChild(c.name, c.create, child), c.error) << c.name;
    EXPECT_EQ(child.IsOpen(), c.error == 0) << c.name;
    EXPECT_EQ(folder.KindOf(c.name), c.kind_after) << c.name;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
}

// A work file that cannot be made names the folder, never a name that was not made.
TEST(FolderTest, AWorkFileThatCannotBeMadeNamesTheFolder) {
  VZ_SKIP_ON_WINDOWS("Windows keeps a folder that is held open");
  ScratchDir dir;
  std::filesystem::create_directory(dir / "gone");
  Folder folder;
  ASSERT_EQ(Folder::Open(dir / "gone", folder), 0);
  std::filesystem::remove(dir / "gone");  // a removed folder takes no new file
  try {
    folder.CreateUniqueFile("VMS", nullptr);
    FAIL() << "a file was made in a removed folder";
  } catch (const InOutError& e) {
    EXPECT_EQ(std::string(e.what()),
              "cannot create a work file in " + (dir / "gone") + ": " + SystemErrorText(ENOENT));
  }
}

}  // namespace
}  // namespace vz::platform
