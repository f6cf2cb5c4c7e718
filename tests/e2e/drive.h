// The drive that the program sees as its volume, and a shelf of disks beside
// it. A disk is a folder disks/<name>/; inserting one moves its files into the
// drive folder, ejecting moves them back, so a test can answer a request with
// "disk 3 inserted" and later look at what each disk holds. A disk can also be
// a mounted medium: the drive is then a symbolic link to its mount point while
// it is inserted, and its files stay where they are.
#pragma once

#include <map>
#include <string>

namespace slicery::e2e {

class Drive {
 public:
  // Uses <root>/drive as the volume and <root>/disks/ as the shelf.
  explicit Drive(const std::string& root);

  // The folder for SLICERY_VOLUME.
  const std::string& path() const { return drive_; }
  // The disk now in the drive; empty when there is none.
  const std::string& current() const { return current_; }
  // Where a disk's files are: the drive while it is inserted, else its folder.
  std::string DiskPath(const std::string& name) const;
  // The path of one file of a disk, wherever the disk is.
  std::string FileOn(const std::string& name, const std::string& file) const;

  // Ejects the disk in the drive, then puts `name` in; a disk never seen
  // before is blank. Creates the drive folder if it has gone. False, with the
  // reason in *error, when a file cannot be moved.
  bool Insert(const std::string& name, std::string* error);
  // Moves the drive's files back onto the current disk; the drive is left
  // empty (or absent, if it had gone, or if the disk was a medium).
  bool Eject(std::string* error);
  // Makes disk `name` the medium mounted at `mount_point`.
  void AddMedium(const std::string& name, const std::string& mount_point);

 private:
  bool InsertMedium(const std::string& mount_point, std::string* error);

  std::string drive_, shelf_, current_;
  std::map<std::string, std::string> media_;  // disk name -> mount point
};

}  // namespace slicery::e2e
