// An in-memory host for tests: files in a map, a set of named disks of which
// one (or none) is in the drive, and a record of what reached the "medium".
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/file.h"

namespace slicery {

class MemoryEnv : public Env {
 public:
  struct Node {
    std::string bytes;                  // what reads see: the cache
    std::optional<std::string> synced;  // what a Sync last made durable: the medium
    std::int64_t modified = 0;          // counts the changes made to it
  };
  using Directory = std::map<std::string, std::shared_ptr<Node>>;
  struct Disk {
    std::uint64_t capacity = 1457664;
    Directory files;
    // The allocation unit: a file takes whole units (an empty one none).
    std::uint64_t unit = 1;
    // Bytes the file system takes for itself as files grow, which the free
    // figure does not show: a write meets "no space" that many bytes before
    // the free figure says the disk is full.
    std::uint64_t hidden = 0;
    // The free bytes of a simulated size given to the volume, if any.
    std::optional<std::uint64_t> simulated_free;
    // A medium that stores every byte from this offset on with its bits
    // flipped, while its cache keeps what was written and it reports success.
    std::optional<std::uint64_t> damages_from;
    // The directory as the medium holds it: its entries as of the last
    // SyncVolume (or as prepared by SetFile), which a pulled disk keeps.
    Directory durable;

    // Bytes the files take, counted in whole units; `except` not counted.
    std::uint64_t Used(const Node* except = nullptr) const;
  };

  static constexpr char kRoot[] = "A:/";
  // The state folder, whose entries, like a disk's, last only once a
  // SyncFolderOf in it made them durable.
  static constexpr char kStateFolder[] = "state/";
  static constexpr char kTempFolder[] = "T:/";

  // Adds a blank disk of the given capacity (or replaces one of that name).
  void AddDisk(const std::string& name, std::uint64_t capacity);
  // Puts a named disk in the drive; an empty name leaves the drive empty.
  void InsertDisk(const std::string& name);
  Disk& disk(const std::string& name) { return disks_.at(name); }
  const std::string& inserted() const { return inserted_; }

  // Files outside the volume (sources and targets), all in the current folder.
  void SetFile(const std::string& path, std::string bytes);
  std::optional<std::string> FileBytes(const std::string& path) const;
  // A file on a named disk, by its name on the volume.
  std::optional<std::string> DiskFile(const std::string& disk,
                                      const std::string& name) const;

  // A file on a named disk as the disk would hold it if pulled now: what
  // ForgetUnsynced would leave of it.
  std::optional<std::string> DurableDiskFile(const std::string& disk,
                                             const std::string& name) const;

  // Makes `path` outside the volume name something other than a file.
  void SetKind(const std::string& path, FileKind kind) { kinds_[path] = kind; }

  // Drops every byte that no Sync made durable, as a power cut would. On a
  // disk, the directory goes back to the entries that SyncVolume last made
  // durable (in the state folder, SyncFolderOf): files created since are gone,
  // files removed or renamed since are back as they were, and a file whose
  // bytes no Sync reached is left empty.
  void ForgetUnsynced();

  // Every path given to Remove, in the order given.
  const std::vector<std::string>& removed() const { return removed_; }

  void set_tick_count(std::uint32_t ticks) { ticks_ = ticks; }
  int volume_syncs() const { return volume_syncs_; }
  int folder_syncs() const { return folder_syncs_; }
  // False: the drive stands for a folder with nothing mounted on it.
  void set_has_medium(bool has_medium) { has_medium_ = has_medium; }
  // The free bytes of the temporary folder; empty: the query fails.
  void set_temp_free(std::optional<std::uint64_t> bytes) { temp_free_ = bytes; }
  int scratch_files() const { return scratch_files_; }

  std::unique_ptr<File> Open(const std::string& path, FileMode mode) override;
  bool Exists(const std::string& path) override;
  FileKind KindOf(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  std::unique_ptr<File> CreateNew(const std::string& path, const std::string&) override;
  void Remove(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool SyncFolderOf(const std::string& path) override;
  std::string VolumeRoot() override { return kRoot; }
  bool VolumeHasMedium() override { return has_medium_; }
  std::optional<VolumeSpace> QueryVolumeSpace() override;
  bool SyncVolume() override;
  // A file as the medium holds it: what the last Sync made durable.
  std::unique_ptr<File> OpenFromMedium(const std::string& path) override;
  std::uint32_t TickCount() override { return ticks_; }
  std::optional<std::string> StateFolder() override { return kStateFolder; }
  // Every file outside the volume is in the one current folder, /work.
  std::optional<std::string> AbsolutePath(const std::string& path) override {
    return "/work/" + path;
  }
  std::string TempFolder() override { return kTempFolder; }
  std::optional<std::uint64_t> FreeBytesIn(const std::string& folder) override;
  std::unique_ptr<File> CreateScratchFile(const std::string& folder) override;

 private:
  // The directory that holds `path`, and the name within it; null when the
  // path is on the volume and the drive is empty. *disk is the disk it is on,
  // null outside the volume.
  Directory* DirectoryOf(const std::string& path, std::string* name,
                         Disk** disk = nullptr);
  // The file at `path`; null when there is none.
  std::shared_ptr<Node> NodeAt(const std::string& path);

  std::map<std::string, Disk> disks_;
  std::string inserted_;
  Directory outside_;
  Directory state_, state_durable_;
  std::map<std::string, FileKind> kinds_;
  std::uint32_t ticks_ = 0;
  int volume_syncs_ = 0;
  int folder_syncs_ = 0;
  bool has_medium_ = true;
  std::optional<std::uint64_t> temp_free_ = std::uint64_t{1} << 40;
  int scratch_files_ = 0;
  std::vector<std::string> removed_;
};

}  // namespace slicery
