// The items that failed during one extraction, test or save, collected from a component's failure
// event with a reason a person can read, and the report the window shows when the work is done.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vz {

class BaseBrowser;

struct ItemFailure {
  std::string name;
  std::string reason;
};

class FailureList {
 public:
  // Subscribes to the component's OnProcessItemFailure (replacing any handler there). Each failure
  // is recorded with the component's failure message (else the text of its code, else "failed")
  // and then passed to on_failure when one is given. An item is named by its stored name, or with
  // by_file by the file it is made from when it has one (what a user listed to be zipped).
  void Watch(BaseBrowser& component, std::function<void(const ItemFailure&)> on_failure = {},
             bool by_file = false);

  void Add(std::string name, std::string reason);
  void Clear() { failures_.clear(); }
  bool Empty() const { return failures_.empty(); }
  size_t Size() const { return failures_.size(); }
  // Takes back the failures listed for name.
  void Forget(const std::string& name);
  size_t Count() const { return failures_.size(); }
  const std::vector<ItemFailure>& Items() const { return failures_; }

  // One line per failure, "name - reason", joined by CR LF; after max_lines lines the rest is
  // summed up as "... and N more".
  std::string Report(size_t max_lines = 10) const;

 private:
  std::vector<ItemFailure> failures_;
};

}  // namespace vz
