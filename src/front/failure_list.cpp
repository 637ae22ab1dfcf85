#include "front/failure_list.h"

#include "components/base_component.h"
#include "errors/errors.h"

namespace vz {

void FailureList::Watch(BaseBrowser& component, std::function<void(const ItemFailure&)> on_failure,
                        bool by_file) {
  component.OnProcessItemFailure = [this, &component, on_failure = std::move(on_failure), by_file](
                                       void*, ArchiveItem* item, ProcessType,
                                       ErrorClass error_class, int32_t code) {
    std::string reason = component.FailureMessage();
    if (reason.empty() && error_class == ecArchive) reason = MessageText(code);
    if (reason.empty()) reason = "failed";
    std::string name;
    if (item != nullptr)
      name = by_file && !item->DiskPath().empty() ? item->DiskPath() : item->StoredName();
    Add(std::move(name), std::move(reason));
    if (on_failure) on_failure(failures_.back());
  };
}

void FailureList::Forget(const std::string& name) {
  std::erase_if(failures_, [&](const ItemFailure& f) { return f.name == name; });
}

void FailureList::Add(std::string name, std::string reason) {
  failures_.push_back({std::move(name), std::move(reason)});
}

std::string FailureList::Report(size_t max_lines) const {
  std::string text;
  for (size_t i = 0; i < failures_.size() && i < max_lines; ++i) {
    if (!text.empty()) text += "\r\n";
    text += failures_[i].name + " - " + failures_[i].reason;
  }
  if (failures_.size() > max_lines) {
    text += "\r\n... and " + std::to_string(failures_.size() - max_lines) + " more";
  }
  return text;
}

}  // namespace vz
