// A destination folder made on demand for one extraction: the folders it had to create are removed
// again when the run put nothing in them, so a failed or empty run leaves no trace.
#pragma once

#include <string>
#include <vector>

namespace vz {

class Destination {
 public:
  explicit Destination(std::string path) : path_(std::move(path)) {}
  // Removes the folders this object created, deepest first, while they are empty.
  ~Destination();
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  const std::string& Path() const { return path_; }
  // Makes the folder and any missing parents; raises InOutError when one cannot be made.
  void Create();

 private:
  std::string path_;
  std::vector<std::string> created_;
};

}  // namespace vz
