// The zip layer of the components: picks the archive class from the file.
#pragma once

#include "archive/zip_archive.h"
#include "components/base_component.h"

namespace vz {

class CustomZipBrowser : public BaseBrowser {
 public:
  // Closes the open archive (saving pending changes, failures ignored) and opens the named file
  // when it exists. A relative name is taken against the current folder. A file that fails to open
  // or load stays held but unusable: nothing is ever written over it.
  void SetFileName(const std::string& value) override;

  ZipItem* GetItem(int index) const;
  ZipArchive* GetZipArchive() const { return dynamic_cast<ZipArchive*>(GetArchive()); }
  // The open archive's comment; empty when none is open.
  std::string ZipComment() const;
  virtual void SetZipComment(const std::string&) {}
  // Whether the open archive is a spanned set.
  bool Spanned() const;
  // What loading the open archive found damaged while its items could still be read (see
  // ZipArchive::LoadWarnings); empty when none is open.
  std::vector<std::string> LoadWarnings() const;
  // Indexes of the items whose names match file_mask and not exclusion_mask (";"-separated
  // masks, the archive's mask rules).
  std::vector<int> MatchingItems(const std::string& file_mask,
                                 const std::string& exclusion_mask = "") const;
  // The type a file is opened as when its extension gives none; atUnrecognised (the default)
  // keeps the extension rules.
  ArchiveType AssertedType() const { return asserted_type_; }
  void SetAssertedType(ArchiveType value) { asserted_type_ = value; }

 protected:
  // Opens the archive file in the mode a browser reads it.
  virtual std::unique_ptr<ZipArchive> CreateArchive(const std::string& file_name);

 private:
  ArchiveType asserted_type_ = atUnrecognised;
};

// A file name made absolute against the current folder.
std::string AbsoluteFileName(const std::string& file_name);

}  // namespace vz
