// A host that hands every call to another one: the base of a host that
// changes one or two of its calls and keeps the rest as they are.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/env.h"

namespace slicery {

class ForwardingEnv : public Env {
 public:
  explicit ForwardingEnv(Env& host) : host_(host) {}

  std::unique_ptr<File> Open(const std::string& path, FileMode mode) override {
    return host_.Open(path, mode);
  }
  bool Exists(const std::string& path) override { return host_.Exists(path); }
  FileKind KindOf(const std::string& path) override { return host_.KindOf(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return host_.SameFile(a, b);
  }
  std::optional<std::string> LinkTarget(const std::string& path) override {
    return host_.LinkTarget(path);
  }
  std::unique_ptr<File> CreateNew(const std::string& path,
                                  const std::string& like) override {
    return host_.CreateNew(path, like);
  }
  void Remove(const std::string& path) override { host_.Remove(path); }
  bool Rename(const std::string& from, const std::string& to) override {
    return host_.Rename(from, to);
  }
  bool SyncFolderOf(const std::string& path) override { return host_.SyncFolderOf(path); }
  std::string VolumeRoot() override { return host_.VolumeRoot(); }
  bool VolumeHasMedium() override { return host_.VolumeHasMedium(); }
  std::optional<VolumeSpace> QueryVolumeSpace() override {
    return host_.QueryVolumeSpace();
  }
  bool SyncVolume() override { return host_.SyncVolume(); }
  std::unique_ptr<File> OpenFromMedium(const std::string& path) override {
    return host_.OpenFromMedium(path);
  }
  std::uint32_t TickCount() override { return host_.TickCount(); }
  std::optional<std::string> StateFolder() override { return host_.StateFolder(); }
  std::optional<std::string> AbsolutePath(const std::string& path) override {
    return host_.AbsolutePath(path);
  }
  std::string TempFolder() override { return host_.TempFolder(); }
  bool FilesAcrossThreads() override { return host_.FilesAcrossThreads(); }
  std::optional<std::uint64_t> FreeBytesIn(const std::string& folder) override {
    return host_.FreeBytesIn(folder);
  }
  std::unique_ptr<File> CreateScratchFile(const std::string& folder) override {
    return host_.CreateScratchFile(folder);
  }

 protected:
  Env& host_;
};

}  // namespace slicery
