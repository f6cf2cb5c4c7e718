// Linux: a sync that the medium fails is a failure, of a file, of the bytes
// written since its last sync, or of a folder. Each case runs in a child
// process whose chosen sync call the kernel fails with EIO (a seccomp
// filter), as a medium that cannot store what it was given does.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>

#include "platform/env.h"
#include "platform/file.h"

namespace slicery {
namespace {

// From here on, every `call` this process makes fails with EIO.
void FailEveryCall(long call) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(call), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    _exit(2);
  }
}

TEST(SyncFailureTest, ASyncThatTheMediumFailsIsReportedAsFailed) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("slicery-sync-" + std::to_string(getpid()));
  fs::create_directories(root);
  setenv("SLICERY_VOLUME", root.c_str(), 1);
  std::ostringstream error;
  const std::unique_ptr<Env> env = NewHostEnv(error, {});
  ASSERT_NE(env, nullptr) << error.str();
  const std::string path = (root / "SLICERY.A2Z").string();
  const std::unique_ptr<File> file = env->Open(path, FileMode::kWriteBinary);
  ASSERT_TRUE(file && file->Write("abc", 3));
  const struct {
    const char* what;
    long call;
    std::function<bool()> sync;
  } cases[] = {
      {"file", SYS_fsync, [&] { return file->Sync(); }},
      {"bytes since the last sync", SYS_sync_file_range,
       [&] { return file->SyncData(); }},
      {"volume folder", SYS_fsync, [&] { return env->SyncVolume(); }},
      {"folder of a file", SYS_fsync, [&] { return env->SyncFolderOf(path); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(
        {
          FailEveryCall(c.call);
          _exit(c.sync() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
  }
  // Where the medium takes them, the same syncs succeed.
  for (const auto& c : cases) EXPECT_TRUE(c.sync()) << c.what;
  EXPECT_TRUE(file->Close());
  fs::remove_all(root);
  unsetenv("SLICERY_VOLUME");
}

}  // namespace
}  // namespace slicery
