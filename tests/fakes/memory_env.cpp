#include "fakes/memory_env.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace slicery {
namespace {

class MemoryFile : public File {
 public:
  MemoryFile(std::shared_ptr<MemoryEnv::Node> node, bool writable,
             MemoryEnv::Disk* disk = nullptr, const MemoryEnv::Node* identity = nullptr)
      : node_(std::move(node)),
        writable_(writable),
        disk_(disk),
        identity_(identity != nullptr ? identity : node_.get()) {}

  // A scratch file is read as well as written.
  void AllowReads() { readable_ = true; }

  std::size_t Read(char* buffer, std::size_t size, bool* failed) override {
    if (!node_ || (writable_ && !readable_)) {
      *failed = true;
      return 0;
    }
    const std::size_t n =
        std::min(size, node_->bytes.size() - std::min(pos_, node_->bytes.size()));
    if (n > 0) std::memcpy(buffer, node_->bytes.data() + pos_, n);
    pos_ += n;
    return n;
  }

  // Writes what the disk has room for; the rest fails with "no space".
  bool Write(const char* data, std::size_t size) override {
    if (!node_ || !writable_) return Failed(false);
    const std::size_t n = std::min(size, Room());
    // Past the end, as after a seek there: the bytes between read as zeros.
    if (pos_ > node_->bytes.size()) node_->bytes.resize(pos_, '\0');
    node_->bytes.replace(pos_, n, data, n);
    ++node_->modified;
    pos_ += n;
    return n == size || Failed(true);
  }

  bool Flush() override { return node_ != nullptr || Failed(false); }

  bool Sync() override {
    if (!node_) return Failed(false);
    node_->synced = node_->bytes;
    if (disk_ != nullptr && disk_->damages_from) {
      for (std::size_t i = *disk_->damages_from; i < node_->synced->size(); ++i) {
        (*node_->synced)[i] = static_cast<char>(~(*node_->synced)[i]);
      }
    }
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (!node_) return false;
    pos_ = static_cast<std::size_t>(offset);
    return true;
  }

  std::optional<std::uint64_t> Position() override {
    if (!node_) return std::nullopt;
    return pos_;
  }

  bool Truncate(std::uint64_t length) override {
    if (!node_ || !writable_) return Failed(false);
    node_->bytes.resize(std::min(node_->bytes.size(), static_cast<std::size_t>(length)));
    ++node_->modified;
    pos_ = static_cast<std::size_t>(length);
    return true;
  }

  bool NoSpace() const override { return no_space_; }

  bool Close() override {
    const bool open = node_ != nullptr;
    node_.reset();
    return open || Failed(false);
  }

  std::optional<int> Descriptor() override { return std::nullopt; }

  // The disk stands for the device, the node for the file.
  std::optional<FileIdentity> Identity() override {
    if (!node_) return std::nullopt;
    return FileIdentity{reinterpret_cast<std::uintptr_t>(disk_),
                        reinterpret_cast<std::uintptr_t>(identity_), node_->bytes.size(),
                        identity_->modified};
  }

 private:
  bool Failed(bool no_space) {
    no_space_ = no_space;
    return false;
  }

  // Bytes the file may still grow by from the position: up to the last whole
  // unit that the disk, less what it hides, has left beside the other files.
  std::size_t Room() const {
    if (disk_ == nullptr) return std::numeric_limits<std::size_t>::max();
    const std::uint64_t limit =
        disk_->capacity - std::min(disk_->capacity, disk_->hidden);
    const std::uint64_t others = disk_->Used(node_.get());
    const std::uint64_t size =
        limit > others ? (limit - others) / disk_->unit * disk_->unit : 0;
    return size > pos_ ? static_cast<std::size_t>(size - pos_) : 0;
  }

  std::shared_ptr<MemoryEnv::Node> node_;
  bool writable_;
  MemoryEnv::Disk* disk_;
  const MemoryEnv::Node* identity_;  // the file this one reads, when a copy of it
  std::size_t pos_ = 0;
  bool no_space_ = false;
  bool readable_ = false;
};

}  // namespace

std::uint64_t MemoryEnv::Disk::Used(const Node* except) const {
  std::uint64_t used = 0;
  for (const auto& [name, node] : files) {
    if (node.get() != except) used += (node->bytes.size() + unit - 1) / unit * unit;
  }
  return used;
}

void MemoryEnv::AddDisk(const std::string& name, std::uint64_t capacity) {
  disks_[name] = Disk{capacity, {}, 1, 0, std::nullopt, std::nullopt, {}};
}

void MemoryEnv::InsertDisk(const std::string& name) { inserted_ = name; }

void MemoryEnv::SetFile(const std::string& path, std::string bytes) {
  std::string name;
  Disk* disk = nullptr;
  Directory* dir = DirectoryOf(path, &name, &disk);
  auto node = std::make_shared<Node>();
  node->bytes = std::move(bytes);
  node->synced = node->bytes;
  (*dir)[name] = node;
  if (disk != nullptr) disk->durable[name] = node;
}

std::optional<std::string> MemoryEnv::FileBytes(const std::string& path) const {
  auto it = outside_.find(path);
  if (it == outside_.end()) return std::nullopt;
  return it->second->bytes;
}

std::optional<std::string> MemoryEnv::DiskFile(const std::string& disk,
                                               const std::string& name) const {
  const Directory& files = disks_.at(disk).files;
  auto it = files.find(name);
  if (it == files.end()) return std::nullopt;
  return it->second->bytes;
}

std::optional<std::string> MemoryEnv::DurableDiskFile(const std::string& disk,
                                                      const std::string& name) const {
  const Directory& files = disks_.at(disk).durable;
  auto it = files.find(name);
  if (it == files.end()) return std::nullopt;
  return it->second->synced.value_or("");
}

void MemoryEnv::ForgetUnsynced() {
  auto forget = [](Directory& dir) {
    for (auto it = dir.begin(); it != dir.end();) {
      if (it->second->synced) {
        it->second->bytes = *it->second->synced;
        ++it;
      } else {
        it = dir.erase(it);
      }
    }
  };
  forget(outside_);
  state_ = state_durable_;
  for (auto& [file, node] : state_) node->bytes = node->synced.value_or("");
  for (auto& [name, disk] : disks_) {
    disk.files = disk.durable;
    for (auto& [file, node] : disk.files) node->bytes = node->synced.value_or("");
  }
}

MemoryEnv::Directory* MemoryEnv::DirectoryOf(const std::string& path, std::string* name,
                                             Disk** disk) {
  if (disk != nullptr) *disk = nullptr;
  if (path.starts_with(kStateFolder)) {
    *name = path.substr(std::strlen(kStateFolder));
    return &state_;
  }
  if (path.rfind(kRoot, 0) != 0) {
    *name = path;
    return &outside_;
  }
  *name = path.substr(std::strlen(kRoot));
  auto it = disks_.find(inserted_);
  if (it == disks_.end()) return nullptr;
  if (disk != nullptr) *disk = &it->second;
  return &it->second.files;
}

std::unique_ptr<File> MemoryEnv::Open(const std::string& path, FileMode mode) {
  std::string name;
  Disk* disk = nullptr;
  Directory* dir = DirectoryOf(path, &name, &disk);
  // Outside the volume there is only the current folder: a path that names any
  // other folder names one this host does not have.
  if (dir == nullptr || name.empty()) return nullptr;
  if (disk == nullptr && name.find('/') != std::string::npos) return nullptr;
  const bool write = mode == FileMode::kWriteBinary || mode == FileMode::kWriteText;
  auto it = dir->find(name);
  if (mode == FileMode::kUpdateBinary) {
    if (it == dir->end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second, true, disk);
  }
  if (!write) {
    if (it == dir->end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second, false, disk);
  }
  if (it == dir->end()) it = dir->emplace(name, std::make_shared<Node>()).first;
  it->second->bytes.clear();
  ++it->second->modified;
  return std::make_unique<MemoryFile>(it->second, true, disk);
}

bool MemoryEnv::Exists(const std::string& path) {
  std::string name;
  Directory* dir = DirectoryOf(path, &name);
  return dir != nullptr && dir->count(name) > 0;
}

std::shared_ptr<MemoryEnv::Node> MemoryEnv::NodeAt(const std::string& path) {
  std::string name;
  Directory* dir = DirectoryOf(path, &name);
  if (dir == nullptr) return nullptr;
  auto it = dir->find(name);
  return it == dir->end() ? nullptr : it->second;
}

FileKind MemoryEnv::KindOf(const std::string& path) {
  auto it = kinds_.find(path);
  if (it != kinds_.end()) return it->second;
  return Exists(path) ? FileKind::kRegular : FileKind::kNone;
}

bool MemoryEnv::SameFile(const std::string& a, const std::string& b) {
  const std::shared_ptr<Node> node = NodeAt(a);
  return node != nullptr && node == NodeAt(b);
}

std::unique_ptr<File> MemoryEnv::CreateNew(const std::string& path, const std::string&) {
  if (Exists(path) || KindOf(path) != FileKind::kNone) return nullptr;
  return Open(path, FileMode::kWriteBinary);
}

bool MemoryEnv::Rename(const std::string& from, const std::string& to) {
  std::string from_name, to_name;
  Directory* from_dir = DirectoryOf(from, &from_name);
  Directory* to_dir = DirectoryOf(to, &to_name);
  if (from_dir == nullptr || to_dir == nullptr || from_dir != to_dir) return false;
  auto it = from_dir->find(from_name);
  if (it == from_dir->end()) return false;
  std::shared_ptr<Node> node = it->second;
  from_dir->erase(it);
  (*to_dir)[to_name] = std::move(node);
  return true;
}

void MemoryEnv::Remove(const std::string& path) {
  removed_.push_back(path);
  std::string name;
  if (Directory* dir = DirectoryOf(path, &name)) dir->erase(name);
}

std::optional<VolumeSpace> MemoryEnv::QueryVolumeSpace() {
  auto it = disks_.find(inserted_);
  if (it == disks_.end()) return std::nullopt;
  const Disk& disk = it->second;
  const std::uint64_t used = disk.Used();
  VolumeSpace space;
  space.free_bytes = used < disk.capacity ? disk.capacity - used : 0;
  space.unit = disk.unit;
  space.simulated_free = disk.simulated_free;
  return space;
}

std::unique_ptr<File> MemoryEnv::OpenFromMedium(const std::string& path) {
  std::string name;
  Disk* disk = nullptr;
  Directory* dir = DirectoryOf(path, &name, &disk);
  if (dir == nullptr) return nullptr;
  auto it = dir->find(name);
  if (it == dir->end()) return nullptr;
  auto stored = std::make_shared<Node>();
  stored->bytes = it->second->synced.value_or("");
  return std::make_unique<MemoryFile>(stored, false, disk, it->second.get());
}

bool MemoryEnv::SyncFolderOf(const std::string& path) {
  ++folder_syncs_;
  if (path.starts_with(kStateFolder)) state_durable_ = state_;
  return true;
}

std::optional<std::uint64_t> MemoryEnv::FreeBytesIn(const std::string& folder) {
  if (folder != kTempFolder) return std::nullopt;
  return temp_free_;
}

// A file in no directory: it is gone once the last handle is.
std::unique_ptr<File> MemoryEnv::CreateScratchFile(const std::string& folder) {
  if (folder != kTempFolder) return nullptr;
  ++scratch_files_;
  auto file = std::make_unique<MemoryFile>(std::make_shared<Node>(), true);
  file->AllowReads();
  return file;
}

bool MemoryEnv::SyncVolume() {
  ++volume_syncs_;
  auto it = disks_.find(inserted_);
  if (it == disks_.end()) return false;
  it->second.durable = it->second.files;
  return true;
}

}  // namespace slicery
