#include "app/win32/outline_control.h"

#include <vector>

#include "app/win32/pictures.h"
#include "app/win32/text.h"

namespace vz::win32 {

namespace {

// Posted to the tree view: apply the full expansion asked for, unless cancelled since.
constexpr UINT kApplyExpansion = WM_APP + 1;
constexpr UINT_PTR kSubclassId = 1;

}  // namespace

OutlineControl::OutlineControl(HWND parent, int id, int picture_size) {
  tree_ = CreateWindowExW(0, WC_TREEVIEWW, L"",
                          WS_CHILD | WS_BORDER | WS_TABSTOP | WS_CLIPSIBLINGS | TVS_HASBUTTONS |
                              TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_NOTOOLTIPS,
                          0, 0, 300, 143, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  pictures_ = OutlineImageList(picture_size);
  TreeView_SetImageList(tree_, pictures_, TVSIL_NORMAL);
  SetWindowSubclass(tree_, &OutlineControl::Subclass, kSubclassId,
                    reinterpret_cast<DWORD_PTR>(this));
  outline_.view.before_rebuild = [this] { BeforeRebuild(); };
  outline_.view.after_rebuild = [this] { AfterRebuild(); };
  outline_.view.full_expand = [this] {
    if (expansion_pending_) return;
    expansion_pending_ = true;
    PostMessageW(tree_, kApplyExpansion, 0, 0);
  };
  outline_.view.full_collapse = [this] { CollapseAll(); };
}

OutlineControl::~OutlineControl() {
  outline_.view = {};
  if (IsWindow(tree_)) {
    RemoveWindowSubclass(tree_, &OutlineControl::Subclass, kSubclassId);
    DestroyWindow(tree_);
  }
  ImageList_Destroy(pictures_);
}

const OutlineNode* OutlineControl::NodeOf(HTREEITEM item) const {
  if (item == nullptr) return nullptr;
  TVITEMW data{};
  data.mask = TVIF_PARAM | TVIF_HANDLE;
  data.hItem = item;
  if (!TreeView_GetItem(tree_, &data)) return nullptr;
  return reinterpret_cast<const OutlineNode*>(data.lParam);
}

HTREEITEM OutlineControl::Insert(HTREEITEM parent, const OutlineNode& node) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
  insert.item.pszText = LPSTR_TEXTCALLBACKW;
  insert.item.iImage = static_cast<int>(node.Picture());
  insert.item.iSelectedImage = static_cast<int>(node.SelectedPicture());
  insert.item.cChildren = node.ChildCount() > 0 ? 1 : 0;
  insert.item.lParam = reinterpret_cast<LPARAM>(&node);
  return TreeView_InsertItem(tree_, &insert);
}

void OutlineControl::Populate(HTREEITEM item) {
  const OutlineNode* node = NodeOf(item);
  if (node == nullptr || TreeView_GetChild(tree_, item) != nullptr) return;
  for (int row = 0; row < node->ChildCount(); ++row) Insert(item, node->Child(row));
}

void OutlineControl::BeforeRebuild() {
  expansion_pending_ = false;
  SendMessageW(tree_, WM_SETREDRAW, FALSE, 0);
  TreeView_DeleteAllItems(tree_);
}

void OutlineControl::AfterRebuild() {
  const OutlineNode& root = outline_.Root();
  for (int row = 0; row < root.ChildCount(); ++row) Insert(TVI_ROOT, root.Child(row));
  SendMessageW(tree_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree_, nullptr, TRUE);
}

void OutlineControl::ExpandAll() {
  if (!expansion_pending_) return;
  expansion_pending_ = false;
  SendMessageW(tree_, WM_SETREDRAW, FALSE, 0);
  std::vector<HTREEITEM> waiting;
  for (HTREEITEM top = TreeView_GetRoot(tree_); top != nullptr;
       top = TreeView_GetNextSibling(tree_, top)) {
    waiting.push_back(top);
  }
  while (!waiting.empty()) {
    HTREEITEM item = waiting.back();
    waiting.pop_back();
    Populate(item);
    HTREEITEM child = TreeView_GetChild(tree_, item);
    if (child == nullptr) continue;
    TreeView_Expand(tree_, item, TVE_EXPAND);
    for (; child != nullptr; child = TreeView_GetNextSibling(tree_, child))
      waiting.push_back(child);
  }
  SendMessageW(tree_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree_, nullptr, TRUE);
}

void OutlineControl::CollapseAll() {
  expansion_pending_ = false;
  // Collapsed with their children removed: they are inserted again when next expanded, and every
  // level below starts collapsed.
  for (HTREEITEM top = TreeView_GetRoot(tree_); top != nullptr;
       top = TreeView_GetNextSibling(tree_, top)) {
    TreeView_Expand(tree_, top, TVE_COLLAPSE | TVE_COLLAPSERESET);
  }
}

LRESULT OutlineControl::Notify(NMHDR* header) {
  switch (header->code) {
    case TVN_GETDISPINFOW: {
      auto& info = *reinterpret_cast<NMTVDISPINFOW*>(header);
      const auto* node = reinterpret_cast<const OutlineNode*>(info.item.lParam);
      if ((info.item.mask & TVIF_TEXT) != 0 && node != nullptr && info.item.cchTextMax > 0) {
        const std::wstring text = Wide(node->Text());
        const size_t room = static_cast<size_t>(info.item.cchTextMax) - 1;
        const size_t length = text.size() < room ? text.size() : room;
        text.copy(info.item.pszText, length);
        info.item.pszText[length] = L'\0';
      }
      return 0;
    }
    case TVN_ITEMEXPANDINGW: {
      const auto& change = *reinterpret_cast<const NMTREEVIEWW*>(header);
      if ((change.action & TVE_EXPAND) != 0) Populate(change.itemNew.hItem);
      return FALSE;
    }
    default:
      return 0;
  }
}

HTREEITEM OutlineControl::Below(HTREEITEM item) {
  Populate(item);
  if (HTREEITEM child = TreeView_GetChild(tree_, item)) return child;
  for (HTREEITEM at = item; at != nullptr; at = TreeView_GetParent(tree_, at)) {
    if (HTREEITEM next = TreeView_GetNextSibling(tree_, at)) return next;
  }
  return nullptr;
}

HTREEITEM OutlineControl::Above(HTREEITEM item) {
  HTREEITEM previous = TreeView_GetPrevSibling(tree_, item);
  if (previous == nullptr) return TreeView_GetParent(tree_, item);
  Populate(previous);
  HTREEITEM last = nullptr;
  for (HTREEITEM child = TreeView_GetChild(tree_, previous); child != nullptr;
       child = TreeView_GetNextSibling(tree_, child)) {
    last = child;
  }
  return last != nullptr ? last : previous;
}

bool OutlineControl::Wheel(int delta) {
  HTREEITEM current = TreeView_GetSelection(tree_);
  if (delta == 0 || current == nullptr) return false;
  if (NodeOf(current)->ChildCount() > 0) {
    Populate(current);
    TreeView_Expand(tree_, current, TVE_EXPAND);
  }
  if (HTREEITEM next = delta < 0 ? Below(current) : Above(current)) {
    TreeView_SelectItem(tree_, next);
    TreeView_EnsureVisible(tree_, next);
  }
  return true;
}

bool OutlineControl::ToggleSelected() {
  HTREEITEM current = TreeView_GetSelection(tree_);
  const OutlineNode* node = NodeOf(current);
  if (node == nullptr || node->ChildCount() == 0) return false;
  Populate(current);
  TreeView_Expand(tree_, current, TVE_TOGGLE);
  return true;
}

LRESULT CALLBACK OutlineControl::Subclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<OutlineControl*>(data);
  switch (message) {
    case kApplyExpansion:
      self->ExpandAll();
      return 0;
    case WM_GETDLGCODE:
      // Enter belongs to the outline, not to the window's default button.
      if (wparam == VK_RETURN) return DLGC_WANTALLKEYS;
      break;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN && self->ToggleSelected()) return 0;
      break;
    case WM_CHAR:
      if (wparam == L'\r') return 0;  // no beep for the Enter handled above
      break;
    case WM_MOUSEWHEEL:
      if (self->Wheel(GET_WHEEL_DELTA_WPARAM(wparam))) return 0;
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace vz::win32
