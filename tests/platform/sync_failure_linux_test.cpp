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
#include <cstdio>
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
  const std::string path = ::testing::TempDir() + "slicery-sync-test.bin";
  setenv("SLICERY_VOLUME", ::testing::TempDir().c_str(), 1);
  std::ostringstream error;
  const std::unique_ptr<Env> env = NewHostEnv(error, {});
  ASSERT_NE(env, nullptr) << error.str();
  const std::unique_ptr<File> file = env->Open(path, FileMode::kWriteBinary);
  ASSERT_TRUE(file && file->Write("abc", 3));
  const std::pair<long, std::function<bool()>> cases[] = {
      {SYS_fsync, [&] { return file->Sync(); }},
      {SYS_sync_file_range, [&] { return file->SyncData(); }},
      {SYS_fsync, [&] { return env->SyncVolume(); }},
      {SYS_fsync, [&] { return env->SyncFolderOf(path); }}};
  for (const auto& [call, sync] : cases) {
    EXPECT_EXIT(
        {
          FailEveryCall(call);
          _exit(sync() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "")
        << "case of call " << call;
    EXPECT_TRUE(sync()) << "case of call " << call;  // where the medium takes it
  }
  EXPECT_TRUE(file->Close());
  std::remove(path.c_str());
  unsetenv("SLICERY_VOLUME");
}

}  // namespace
}  // namespace slicery
