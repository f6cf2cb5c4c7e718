// The suite's own faulty media, before any program is run on them: the
// damaging one must serve the right bytes from the page cache while it stores
// wrong ones, and the detaching one must send files created after its detach
// to the bare mount-point folder. The read-back cases rely on both.
#include "media/passthrough.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/e2e_test.h"
#include "media/medium.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPage = 4096;

bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

std::string ReadAll(int fd, std::size_t size) {
  std::string bytes(size, '\0');
  const ssize_t got = pread(fd, bytes.data(), size, 0);
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

class PassthroughTest : public ::testing::Test {
 protected:
  // Mounts the medium; the reason when it cannot be had.
  std::string Make(PassthroughFault fault) {
    if (std::string why = WhyNoPassthrough(); !why.empty()) return why;
    medium_ =
        std::make_unique<PassthroughMedium>(temp_.path() + "/medium", fault, kDataFile);
    return medium_->error();
  }

  TempDir temp_;
  std::unique_ptr<PassthroughMedium> medium_;
};

// Written in pieces that end inside pages, as a program's copy does: the
// pages that no single write filled are not kept by the cache, and are stored
// as written; the others are damaged on the medium from byte 4096 on.
TEST_F(PassthroughTest, DamagingMediumReadsRightFromTheCacheAndStoresWrongBytes) {
  if (const std::string why = Make(PassthroughFault::kDamage); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::string bytes = RandomBytes(16 * kPage + 1000, 3);
  const std::string path = medium_->mount_point() + "/" + kDataFile;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  for (std::size_t at = 0; at < bytes.size(); at += 10000) {
    ASSERT_TRUE(WriteAll(fd, bytes.substr(at, 10000)));
  }
  ASSERT_EQ(fsync(fd), 0);
  ASSERT_EQ(close(fd), 0);
  const std::optional<std::string> stored =
      ReadFile(medium_->backing() + "/" + kDataFile);
  ASSERT_TRUE(stored);
  EXPECT_EQ(FirstDifference(*stored, bytes), kPage);
  EXPECT_EQ(stored->size(), bytes.size());

  fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(FirstDifference(ReadAll(fd, bytes.size()), bytes), std::string::npos)
      << "the cache should hold what was written";
  ASSERT_EQ(posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
  EXPECT_EQ(FirstDifference(ReadAll(fd, bytes.size()), *stored), std::string::npos)
      << "read from the medium once the cache is dropped";
  close(fd);
  // Files of other names are stored as written.
  ASSERT_TRUE(WriteFile(medium_->mount_point() + "/" + kInfoFile, bytes));
  EXPECT_TRUE(Holds(medium_->backing() + "/" + kInfoFile, bytes));
}

TEST_F(PassthroughTest, DetachingMediumSendsFilesCreatedAfterItToTheBareFolder) {
  if (const std::string why = Make(PassthroughFault::kDetach); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::string bytes = RandomBytes(4 * kPage, 4);
  const int fd =
      open((medium_->mount_point() + "/" + kDataFile).c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, bytes.substr(0, kPage)));
  EXPECT_FALSE(medium_->mounted()) << "the first write should have detached the medium";
  ASSERT_TRUE(WriteAll(fd, bytes.substr(kPage)));
  ASSERT_EQ(fsync(fd), 0);
  ASSERT_EQ(close(fd), 0);

  ASSERT_TRUE(WriteFile(medium_->mount_point() + "/" + kInfoFile, "record"));
  medium_->Release();
  EXPECT_EQ(medium_->cleanup_error(), "");
  // The open file went on to the detached medium; the file created by path
  // afterwards is in the bare folder, and the medium never saw it.
  EXPECT_TRUE(Holds(medium_->backing() + "/" + kDataFile, bytes));
  EXPECT_FALSE(fs::exists(medium_->backing() + "/" + kInfoFile));
  EXPECT_TRUE(Holds(medium_->mount_point() + "/" + kInfoFile, "record"));
  EXPECT_FALSE(fs::exists(medium_->mount_point() + "/" + kDataFile));
}

}  // namespace
}  // namespace slicery::e2e
