// The outline on screen: a tree view over the outline of the components layer, with its six
// pictures. It owns the outline; a window sets the outline's file name and hears its OnChange.
//
// Items are made as they are first shown: a node's children are inserted when it is first
// expanded, and every text is asked for when painted, so a zip of 50,000 items opens without a
// single attribute line being formatted. A full expansion is applied when the message loop next
// runs, and a full collapse before then simply cancels it: opening a zip in the window, which
// expands and then collapses at once, costs no expansion at all.
//
// Enter opens the selected row, or closes it when open. The mouse wheel walks the selection
// instead of scrolling once a row is selected: down to the first child (expanding the row), the
// next sibling or the next row; up to the previous sibling (or that sibling's last child), or the
// parent. Without a selection it scrolls as usual.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "components/zip_outline.h"

namespace vz::win32 {

class OutlineControl {
 public:
  // A hidden child of parent with the control id, its pictures picture_size pixels square.
  OutlineControl(HWND parent, int id, int picture_size);
  ~OutlineControl();
  OutlineControl(const OutlineControl&) = delete;
  OutlineControl& operator=(const OutlineControl&) = delete;

  HWND Handle() const { return tree_; }
  ZipOutline& Outline() { return outline_; }

  // What the tree view tells its parent (WM_NOTIFY); the parent returns the result.
  LRESULT Notify(NMHDR* header);
  // The node an item shows; null for none.
  const OutlineNode* NodeOf(HTREEITEM item) const;
  // Inserts an item's children when they are not there yet.
  void Populate(HTREEITEM item);

 private:
  static LRESULT CALLBACK Subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR self);
  HTREEITEM Insert(HTREEITEM parent, const OutlineNode& node);
  void BeforeRebuild();
  void AfterRebuild();
  void ExpandAll();
  void CollapseAll();
  HTREEITEM Below(HTREEITEM item);
  HTREEITEM Above(HTREEITEM item);
  bool Wheel(int delta);
  bool ToggleSelected();

  ZipOutline outline_;
  HWND tree_ = nullptr;
  HIMAGELIST pictures_ = nullptr;
  bool expansion_pending_ = false;
};

}  // namespace vz::win32
