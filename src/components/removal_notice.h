// Removal notices. Components refer to meters and meter links that they do not own, and a window
// destroys its parts in whatever order it likes, sometimes while an extraction is still reporting
// progress (a handler that pumps window messages can close the window). A RemovablePtr is a plain
// pointer that its target clears when it is destroyed, so nothing ever calls into a freed meter.
//
// Single-threaded by design, like everything the window owns: no locks.
#pragma once

#include <algorithm>
#include <vector>

namespace vz {

class RemovablePtrBase;

// Something others may point at without owning it. Its destruction clears every RemovablePtr that
// points at it.
class Removable {
 public:
  Removable() = default;
  Removable(const Removable&) = delete;
  Removable& operator=(const Removable&) = delete;

 protected:
  ~Removable();

 private:
  friend class RemovablePtrBase;
  std::vector<RemovablePtrBase*> watchers_;
};

class RemovablePtrBase {
 public:
  RemovablePtrBase(const RemovablePtrBase&) = delete;
  RemovablePtrBase& operator=(const RemovablePtrBase&) = delete;

 protected:
  RemovablePtrBase() = default;
  ~RemovablePtrBase() { Attach(nullptr, nullptr); }

  void Attach(Removable* target, void* object) {
    if (target_ != nullptr) std::erase(target_->watchers_, this);
    target_ = target;
    object_ = object;
    if (target_ != nullptr) target_->watchers_.push_back(this);
  }
  void* object() const { return object_; }

 private:
  friend class Removable;
  Removable* target_ = nullptr;
  void* object_ = nullptr;
};

inline Removable::~Removable() {
  for (RemovablePtrBase* watcher : watchers_) {
    watcher->target_ = nullptr;
    watcher->object_ = nullptr;
  }
}

// A non-owning pointer to a Removable T that reads as null once its target is gone.
template <typename T>
class RemovablePtr : private RemovablePtrBase {
 public:
  RemovablePtr() = default;
  RemovablePtr(T* target) { Reset(target); }  // NOLINT: converts like the plain pointer it replaces
  RemovablePtr(const RemovablePtr& other) : RemovablePtrBase() { Reset(other.get()); }
  RemovablePtr& operator=(const RemovablePtr& other) {
    Reset(other.get());
    return *this;
  }
  RemovablePtr& operator=(T* target) {
    Reset(target);
    return *this;
  }

  T* get() const { return static_cast<T*>(object()); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }

  void Reset(T* target) {
    if (target == nullptr) {
      Attach(nullptr, nullptr);
    } else {
      Attach(target, target);
    }
  }
};

}  // namespace vz
