#include "fakes/faulty_env.h"

#include <utility>

namespace slicery {
namespace {

// A file of the inner Env whose every call is counted, and failed on cue.
class FaultyFile : public File {
 public:
  FaultyFile(std::unique_ptr<File> inner, FaultyEnv& env, std::string path, bool writing)
      : inner_(std::move(inner)), env_(env), path_(std::move(path)), writing_(writing) {}

  std::size_t Read(char* buffer, std::size_t size, bool* failed) override {
    if (!Fails(FaultKind::kRead)) return inner_->Read(buffer, size, failed);
    // A read error part-way: some bytes arrive, then the error.
    const std::size_t got = inner_->Read(buffer, size / 2, failed);
    *failed = true;
    return got;
  }

  bool Write(const char* data, std::size_t size) override {
    if (!Fails(FaultKind::kWrite)) return inner_->Write(data, size);
    inner_->Write(data, size / 2);  // an error part-way
    return false;
  }

  bool Flush() override { return !Fails(FaultKind::kFlush) && inner_->Flush(); }
  bool Sync() override { return !Fails(FaultKind::kSync) && inner_->Sync(); }
  bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
  std::optional<std::uint64_t> Position() override { return inner_->Position(); }
  bool Truncate(std::uint64_t length) override {
    return !Fails(FaultKind::kTruncate) && inner_->Truncate(length);
  }
  // An injected failure is never the medium being full.
  bool NoSpace() const override { return !injected_ && inner_->NoSpace(); }

  // A failed close still lets go of the file, as the runtime's does.
  bool Close() override {
    const bool fails = Fails(FaultKind::kClose);
    return inner_->Close() && !fails;
  }
  // Never copied inside the kernel, which would pass the counted calls by.
  std::optional<int> Descriptor() override { return std::nullopt; }
  std::optional<FileIdentity> Identity() override { return inner_->Identity(); }

 private:
  bool Fails(FaultKind kind) {
    const bool fails = env_.Fails(kind, path_, writing_);
    injected_ = injected_ || fails;
    return fails;
  }

  std::unique_ptr<File> inner_;
  FaultyEnv& env_;
  std::string path_;
  bool writing_;
  bool injected_ = false;
};

}  // namespace

const char* FaultKindName(FaultKind kind) {
  static const char* const kNames[kFaultKindCount] = {
      "open",   "write",      "flush",       "sync",     "close",  "read",
      "delete", "free-space", "volume-sync", "truncate", "rename", "folder-sync"};
  return kNames[static_cast<int>(kind)];
}

bool FaultyEnv::Fails(FaultKind kind, const std::string& path, bool writing) {
  const int n = ++calls_[static_cast<int>(kind)];
  if (kind != kind_ || n != nth_) return false;
  fired_ = InjectedFault{kind, path, writing};
  if (on_fault_) on_fault_(*fired_);
  return true;
}

std::unique_ptr<File> FaultyEnv::Open(const std::string& path, FileMode mode) {
  const bool writing = mode != FileMode::kReadBinary && mode != FileMode::kReadText;
  if (Fails(FaultKind::kOpen, path, writing)) return nullptr;
  std::unique_ptr<File> file = inner_.Open(path, mode);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), *this, path, writing);
}

// Counted as an open for reading, and its reads as reads.
std::unique_ptr<File> FaultyEnv::OpenFromMedium(const std::string& path) {
  if (Fails(FaultKind::kOpen, path, false)) return nullptr;
  std::unique_ptr<File> file = inner_.OpenFromMedium(path);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), *this, path, false);
}

// Counted as an open for writing.
std::unique_ptr<File> FaultyEnv::CreateNew(const std::string& path,
                                           const std::string& like) {
  if (Fails(FaultKind::kOpen, path, true)) return nullptr;
  std::unique_ptr<File> file = inner_.CreateNew(path, like);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), *this, path, true);
}

// The path is the one renamed to: the file the rename was to replace.
bool FaultyEnv::Rename(const std::string& from, const std::string& to) {
  return !Fails(FaultKind::kRename, to, true) && inner_.Rename(from, to);
}

bool FaultyEnv::SyncFolderOf(const std::string& path) {
  return !Fails(FaultKind::kFolderSync, path, true) && inner_.SyncFolderOf(path);
}

void FaultyEnv::Remove(const std::string& path) {
  if (!Fails(FaultKind::kRemove, path, false)) inner_.Remove(path);
}

std::optional<VolumeSpace> FaultyEnv::QueryVolumeSpace() {
  if (Fails(FaultKind::kFreeSpace, "", false)) return std::nullopt;
  return inner_.QueryVolumeSpace();
}

std::optional<std::uint64_t> FaultyEnv::FreeBytesIn(const std::string& folder) {
  if (Fails(FaultKind::kFreeSpace, folder, false)) return std::nullopt;
  return inner_.FreeBytesIn(folder);
}

// Counted as an open for writing, by its folder.
std::unique_ptr<File> FaultyEnv::CreateScratchFile(const std::string& folder) {
  if (Fails(FaultKind::kOpen, folder, true)) return nullptr;
  std::unique_ptr<File> file = inner_.CreateScratchFile(folder);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), *this, folder, true);
}

bool FaultyEnv::SyncVolume() {
  return !Fails(FaultKind::kVolumeSync, "", true) && inner_.SyncVolume();
}

}  // namespace slicery
