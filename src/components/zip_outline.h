// The outline of one zip file: the logic behind a tree view of its contents. It owns its own zip
// archive (independent of any unzipper), copies its settings, events and both sets of item
// procedures into each archive it opens, so the archive can extract, add and save, and rebuilds its
// tree after every change of file.
//
// It never writes over an existing file as a side effect: closing or switching files saves only
// pending changes, and an archive that failed to open is marked unusable and never saved. A name
// that does not exist becomes a new, empty zip file.
//
// A toolkit's tree view shows Root() and hears about rebuilds, and about full expansion and
// collapse, through the view hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/zip_archive.h"
#include "components/base_component.h"
#include "components/meter.h"
#include "components/outline_tree.h"
#include "components/removal_notice.h"
#include "components/zip_attributes.h"

namespace vz {

class ZipOutline : public Removable, public SettingsHolder {
 public:
  ZipOutline();
  // Frees the archive without saving it.
  ~ZipOutline();
  ZipOutline(const ZipOutline&) = delete;
  ZipOutline& operator=(const ZipOutline&) = delete;

  // Opens a zip: refuses while the archive is busy (ArchiveBusyError, nothing changes); closes the
  // open archive (saving only pending changes, failures ignored); opens the named file for
  // reading and writing, or for reading only when writing is not allowed, or creates an empty zip
  // when it does not exist; then rebuilds the tree and raises OnChange. A failure to load
  // propagates: the tree is then empty and OnChange is not raised. An empty name closes. A
  // relative name is taken against the current folder.
  void SetFileName(const std::string& value);
  const std::string& FileName() const { return file_name_; }
  // Items of the open archive, folder entries and items to be deleted included; 0 without one.
  int Count() const;
  ZipArchive* GetArchive() const { return archive_.get(); }
  // The tree shown. Its file nodes refer to the open archive's items.
  const OutlineNode& Root() const { return *root_; }

  // Asks the view to expand or collapse every node at every level.
  void FullExpand();
  void FullCollapse();
  // Raises OnChange as after opening a file; a window calls it once, when it is set up.
  void Loaded() { DoChange(); }

  ZipAttributes Attributes() const { return attributes_; }
  void SetAttributes(ZipAttributes value);  // rebuilds the tree
  bool Hierarchy() const { return hierarchy_; }
  void SetHierarchy(bool value);  // rebuilds the tree

  // Settings(), SetSettings(): with an archive open the archive normalises the base folder and
  // refuses one that does not exist (NoSuchDirectoryError; nothing changes).
  std::string Version() const { return "1.0"; }

  // Meters driven directly, without links; destroying a meter clears the reference.
  Meter* ArchiveProgressMeter() const { return archive_meter_.get(); }
  void SetArchiveProgressMeter(Meter* meter) { archive_meter_ = meter; }
  Meter* ItemProgressMeter() const { return item_meter_.get(); }
  void SetItemProgressMeter(Meter* meter) { item_meter_ = meter; }

  // Events, raised with the outline as sender.
  ArchiveItemFailureEvent OnProcessItemFailure;
  ArchiveItemProgressEvent OnArchiveItemProgress;
  ArchiveProgressEvent OnArchiveProgress;
  NotifyEvent OnChange;
  ArchiveItemConfirmEvent OnConfirmProcessItem;
  ConfirmOverwriteEvent OnConfirmOverwrite;
  ArchiveConfirmEvent OnConfirmSave;
  ArchiveEvent OnLoad;
  ArchiveEvent OnSave;
  NeedPasswordEvent OnNeedPassword;

  // What the view hears. before_rebuild: the nodes are about to be freed; after_rebuild: new
  // nodes are in place (both come also when the tree is only emptied).
  struct ViewHooks {
    std::function<void()> before_rebuild;
    std::function<void()> after_rebuild;
    std::function<void()> full_expand;
    std::function<void()> full_collapse;
  };
  ViewHooks view;

 protected:
  virtual void DoProcessItemFailure(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                                    int32_t error_code);
  virtual void DoArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort);
  virtual void DoArchiveProgress(uint8_t progress, bool& abort);
  // Rebuilds the tree, then raises OnChange.
  virtual void DoChange();
  virtual void DoConfirmProcessItem(ArchiveItem* item, ProcessType type, bool& confirm);
  virtual void DoConfirmOverwrite(std::string& name, bool& confirm);
  virtual void DoConfirmSave(bool& confirm);
  virtual void DoLoad();
  virtual void DoNeedPassword(std::string& new_password);
  virtual void DoSave();
  // Copies the settings, events and item procedures into a newly created archive.
  virtual void InitArchive();
  Archive* SettingsTarget() const override { return archive_.get(); }

 private:
  void Rebuild();
  void SetTree(std::unique_ptr<OutlineNode> root);
  // Empties the tree, saves pending changes (failures ignored) and frees the archive.
  void CloseArchive();
  // Opens (or creates) the archive and loads it; a failure marks it unusable and propagates.
  void OpenArchive(const std::string& name);

  std::unique_ptr<ZipArchive> archive_;
  bool loaded_ = false;  // the archive opened and loaded; one that failed shows no items
  std::unique_ptr<OutlineNode> root_;
  std::string file_name_;
  ZipAttributes attributes_ = kDefaultZipAttributes;
  bool hierarchy_ = true;
  RemovablePtr<Meter> archive_meter_;
  RemovablePtr<Meter> item_meter_;
};

}  // namespace vz
