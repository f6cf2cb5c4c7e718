#include "platform/stdio_file.h"

namespace slicery {
namespace {

const char* ModeString(FileMode mode) {
  switch (mode) {
    case FileMode::kReadText:
      return "r";
    case FileMode::kReadBinary:
      return "rb";
    case FileMode::kWriteText:
      return "w";
    case FileMode::kWriteBinary:
      return "wb";
  }
  return "rb";
}

class StdioFile : public File {
 public:
  explicit StdioFile(std::FILE* stream) : stream_(stream) {}
  ~StdioFile() override {
    if (stream_ != nullptr) std::fclose(stream_);
  }

  std::size_t Read(char* buffer, std::size_t size, bool* failed) override {
    if (stream_ == nullptr) {
      *failed = true;
      return 0;
    }
    const std::size_t got = std::fread(buffer, 1, size, stream_);
    if (got < size && std::ferror(stream_)) *failed = true;
    return got;
  }

  bool Write(const char* data, std::size_t size) override {
    return stream_ != nullptr && std::fwrite(data, 1, size, stream_) == size;
  }

  bool Flush() override { return stream_ != nullptr && std::fflush(stream_) == 0; }

  bool Sync() override { return Flush() && SyncStdioStream(stream_); }

  bool Seek(std::uint64_t offset) override {
    if (stream_ == nullptr || !SeekStdioStream(stream_, offset)) return false;
    std::clearerr(stream_);
    return true;
  }

  bool Truncate(std::uint64_t length) override {
    return Flush() && TruncateStdioStream(stream_, length) && Seek(length);
  }

  bool Close() override {
    if (stream_ == nullptr) return false;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return closed;
  }

 private:
  std::FILE* stream_;
};

}  // namespace

std::unique_ptr<File> OpenStdioFile(const std::string& path, FileMode mode) {
  std::FILE* stream = std::fopen(path.c_str(), ModeString(mode));
  if (stream == nullptr) return nullptr;
  // Binary files move in large blocks already; the runtime's own buffer would
  // only split each block into two system calls.
  if (mode == FileMode::kReadBinary || mode == FileMode::kWriteBinary) {
    std::setvbuf(stream, nullptr, _IONBF, 0);
  }
  return std::make_unique<StdioFile>(stream);
}

}  // namespace slicery
