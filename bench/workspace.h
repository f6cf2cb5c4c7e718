// The benchmark's folders under its working directory: work/ (the source, the
// rebuilt file and cat's output), drive/ (the volume) and disks/ (the shelf of
// volumes). They are removed when the benchmark ends, and so is the working
// directory if nothing else is left in it.
#pragma once

#include <string>

namespace slicery::bench {

class Workspace {
 public:
  // Makes the folders; error() says why when it could not.
  explicit Workspace(const std::string& dir);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const std::string& error() const { return error_; }
  const std::string& root() const { return root_; }
  std::string Work(const std::string& name) const { return root_ + "/work/" + name; }
  // Removes the volume and the shelf, with every disk on it.
  bool ClearVolumes(std::string* error);

 private:
  std::string root_, error_;
};

}  // namespace slicery::bench
