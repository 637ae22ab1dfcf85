#include "front/overwrite_answers.h"

namespace vz {

bool OverwriteAnswers::Decide(const std::string& name, const Asker& ask) {
  if (policy_ == Policy::kAlways) return true;
  if (policy_ == Policy::kNever) return false;
  if (sticky_) return *sticky_;
  const std::optional<OverwriteAnswer> answer = ask ? ask(name) : std::nullopt;
  switch (answer.value_or(OverwriteAnswer::kNone)) {
    case OverwriteAnswer::kYes:
      return true;
    case OverwriteAnswer::kNo:
      return false;
    case OverwriteAnswer::kAll:
      sticky_ = true;
      return true;
    case OverwriteAnswer::kNone:
      break;
  }
  sticky_ = false;
  return false;
}

}  // namespace vz
