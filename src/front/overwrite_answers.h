// Answers to "replace this file?" during one extraction. A yes or no covers one file; "all" and
// "none" cover every later file of the run, so the question is not asked again.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace vz {

enum class OverwriteAnswer { kYes, kNo, kAll, kNone };

class OverwriteAnswers {
 public:
  // kAsk asks for every existing file until "all" or "none"; kAlways and kNever never ask.
  enum class Policy { kAsk, kAlways, kNever };
  using Asker = std::function<std::optional<OverwriteAnswer>(const std::string& name)>;

  explicit OverwriteAnswers(Policy policy = Policy::kAsk) : policy_(policy) {}

  // Whether to replace the file. ask gives the user's answer, or nothing when no answer can be
  // had (no one to ask), which keeps this file and every later one. Without an asker nothing is
  // replaced unless "all" was answered.
  bool Decide(const std::string& name, const Asker& ask);
  // Forgets "all" and "none" for a new run.
  void Reset() { sticky_.reset(); }

 private:
  Policy policy_;
  std::optional<bool> sticky_;
};

}  // namespace vz
