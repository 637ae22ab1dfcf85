#include "components/file_admission.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "components/zipper.h"
#include "test_support.h"

namespace vz {
namespace {

using testing::ScratchDir;
using testing::WriteFile;

// Each reason a file is refused, decided from one look at it or from what a listing saw; the
// archive's own file is known by identity whatever name leads to it.
TEST(FileAdmissionTest, EachRefusalAndItsWords) {
  ScratchDir dir;
  Zipper zipper;
  zipper.EditSettings([](ComponentSettings& s) { s.SetStoreOptions(soStripDrive | soStripPath); });
  zipper.SetFileName(dir / "new.zip");  // a new archive: no file yet
  WriteFile(dir / "a.txt", "a");
  std::filesystem::create_directories(dir / "sub");
  WriteFile(dir / "sub/a.txt", "b");
  WriteFile(dir / "sub/A.TXT", "b");
  WriteFile(dir / "b.txt", "b");
  VZ_SKIP_ON_WINDOWS("pipes and links");
  ASSERT_TRUE(testing::portable::MakeFifo(dir / "fifo"));
  std::filesystem::create_symlink(dir / "a.txt", dir / "link-to-a");

  // A zip that exists: its own file is refused by every name that leads to it.
  Zipper existing;
  existing.SetFileName(dir / "z.zip");
  existing.AddFiles(dir / "b.txt", 0);
  existing.Save();
  std::filesystem::create_symlink(dir / "z.zip", dir / "link-to-zip");
  std::filesystem::create_hard_link(dir / "z.zip", dir / "hard-zip");
  const auto zip_status = platform::StatPath(dir / "z.zip");
  ASSERT_TRUE(zip_status);

  struct Case {
    Zipper& zipper;
    std::string path;
    std::optional<platform::FileStatus> known;
    Refusal refusal;
    const char* words;
  };
  platform::FileStatus listed_regular;  // what a listing says of a file it saw as regular
  listed_regular.is_regular = true;
  listed_regular.kind = "regular file";
  const Case cases[] = {
      {zipper, dir / "a.txt", {}, Refusal::kNone, ""},
      {zipper, dir / "missing.txt", {}, Refusal::kMissing, "File not found"},
      {zipper, dir / "sub", {}, Refusal::kNotRegular, "is a folder, not a file"},
      {zipper, dir / "fifo", {}, Refusal::kNotRegular, "is a FIFO, not a file"},
      {zipper, dir / "sub/a.txt", {}, Refusal::kNameTaken, "duplicates stored name"},
      // Another spelling is another name where file names keep letter case.
      {zipper,
       dir / "sub/A.TXT",
       {},
       platform::kFileNamesIgnoreCase ? Refusal::kNameTaken : Refusal::kNone,
       platform::kFileNamesIgnoreCase ? "duplicates stored name" : ""},
      {zipper, dir / "link-to-a", {}, Refusal::kNone, ""},
      {zipper, dir / "b.txt", listed_regular, Refusal::kNone, ""},
      {existing, dir / "z.zip", {}, Refusal::kTheArchive, "is the zip file being saved"},
      {existing, dir / "link-to-zip", {}, Refusal::kTheArchive, "is the zip file being saved"},
      {existing, dir / "hard-zip", {}, Refusal::kTheArchive, "is the zip file being saved"},
      // What the listing saw is taken as it is: the file is not looked at again.
      {existing, dir / "gone.txt", zip_status, Refusal::kTheArchive, "is the zip file being saved"},
      {existing, dir / "gone.txt", listed_regular, Refusal::kNone, ""},
  };
  FileAdmission fresh(*zipper.GetArchive());
  FileAdmission of_existing(*existing.GetArchive());
  for (const Case& c : cases) {
    FileAdmission& admission = &c.zipper == &zipper ? fresh : of_existing;
    const Refusal refusal = admission.Admit(c.path, c.known);
    EXPECT_EQ(refusal, c.refusal) << c.path;
    EXPECT_NE(admission.Reason(refusal).find(c.words), std::string::npos)
        << c.path << ": " << admission.Reason(refusal);
  }

  // Once the archive was saved (a new file in its place), what listings saw before is not
  // trusted: the file is looked at again.
  existing.AddFiles(dir / "a.txt", 0);
  existing.Save();
  EXPECT_EQ(of_existing.Admit(dir / "gone.txt", listed_regular, false), Refusal::kMissing);
  EXPECT_EQ(of_existing.Admit(dir / "z.zip", listed_regular, false), Refusal::kTheArchive);
}

}  // namespace
}  // namespace vz
