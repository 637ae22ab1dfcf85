// The unzipper: opens a zip file and extracts its items by file mask into its base folder, asking
// the overwrite question and the password request through its events.
#pragma once

#include "components/zip_browser.h"

namespace vz {

class CustomUnZipper : public CustomZipBrowser {
 public:
  CustomUnZipper() = default;

  // Refuses a missing file (FileNotFoundError) and an empty or unreadable one (BadStreamError),
  // leaving the open archive as it was; an empty name closes.
  void SetFileName(const std::string& value) override;

  // Extracts every item matching the mask (";"-separated masks allowed). Item failures are
  // reported through OnProcessItemFailure; an abort raises UserAbortError.
  // Items matching exclusion_mask are left out.
  void ExtractFiles(const std::string& file_mask, const std::string& exclusion_mask = "");
  // Tests every item matching the mask; failures are reported like extraction failures.
  void TestFiles(const std::string& file_mask, const std::string& exclusion_mask = "");

  ConfirmOverwriteEvent OnConfirmOverwrite;
  NeedPasswordEvent OnNeedPassword;

 protected:
  void InitArchive() override;
  virtual void DoConfirmOverwrite(std::string& name, bool& confirm);
  virtual void DoNeedPassword(std::string& new_password);
};

class UnZipper : public CustomUnZipper {};

}  // namespace vz
