// An Env that passes every call on to another Env, counts the calls of each
// kind, and makes one chosen call fail: the nth of one kind. A sweep runs a
// scenario clean to count the calls, then fails each of them in turn.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/env.h"
#include "platform/file.h"

namespace slicery {

enum class FaultKind {
  kOpen,
  kWrite,
  kFlush,
  kSync,
  kClose,
  kRead,
  kRemove,
  kFreeSpace,
  kVolumeSync,
  kTruncate,
  kRename,
  kFolderSync
};
inline constexpr int kFaultKindCount = 12;

const char* FaultKindName(FaultKind kind);

// The call that was made to fail.
struct InjectedFault {
  FaultKind kind;
  std::string path;  // the file's path; empty for the volume's own calls
  bool writing;      // the file is (or was to be) opened for writing
};

class FaultyEnv : public Env {
 public:
  explicit FaultyEnv(Env& inner) : inner_(inner) {}

  // From now on the nth call (counting from 1) of `kind` fails; 0 fails none.
  void FailNth(FaultKind kind, int nth) {
    kind_ = kind;
    nth_ = nth;
  }
  int calls(FaultKind kind) const { return calls_[static_cast<int>(kind)]; }
  const std::optional<InjectedFault>& fired() const { return fired_; }
  // Runs when the fault fires, so a test can note the state of the world then.
  void set_on_fault(std::function<void(const InjectedFault&)> on_fault) {
    on_fault_ = std::move(on_fault);
  }

  // Counts one call; true when it is the one to fail. Files handed out ask too.
  bool Fails(FaultKind kind, const std::string& path, bool writing);

  std::unique_ptr<File> Open(const std::string& path, FileMode mode) override;
  bool Exists(const std::string& path) override { return inner_.Exists(path); }
  FileKind KindOf(const std::string& path) override { return inner_.KindOf(path); }
  bool SameFile(const std::string& a, const std::string& b) override {
    return inner_.SameFile(a, b);
  }
  std::optional<std::string> LinkTarget(const std::string& path) override {
    return inner_.LinkTarget(path);
  }
  std::unique_ptr<File> CreateNew(const std::string& path,
                                  const std::string& like) override;
  void Remove(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool SyncFolderOf(const std::string& path) override;
  std::string VolumeRoot() override { return inner_.VolumeRoot(); }
  bool VolumeHasMedium() override { return inner_.VolumeHasMedium(); }
  std::optional<VolumeSpace> QueryVolumeSpace() override;
  bool SyncVolume() override;
  std::unique_ptr<File> OpenFromMedium(const std::string& path) override;
  std::uint32_t TickCount() override { return inner_.TickCount(); }
  std::optional<std::string> StateFolder() override { return inner_.StateFolder(); }
  std::optional<std::string> AbsolutePath(const std::string& path) override {
    return inner_.AbsolutePath(path);
  }
  std::string TempFolder() override { return inner_.TempFolder(); }
  std::optional<std::uint64_t> FreeBytesIn(const std::string& folder) override;
  std::unique_ptr<File> CreateScratchFile(const std::string& folder) override;

 private:
  Env& inner_;
  std::array<int, kFaultKindCount> calls_{};
  FaultKind kind_ = FaultKind::kOpen;
  int nth_ = 0;
  std::optional<InjectedFault> fired_;
  std::function<void(const InjectedFault&)> on_fault_;
};

}  // namespace slicery
