#include "platform/stdio_file.h"

#include <algorithm>

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
    case FileMode::kUpdateBinary:
      return "r+b";
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
    if (stream_ == nullptr) return Closed();
    return Note(std::fwrite(data, 1, size, stream_) == size);
  }

  bool Flush() override {
    if (stream_ == nullptr) return Closed();
    return Note(std::fflush(stream_) == 0);
  }

  bool Sync() override { return Flush() && Note(SyncStdioStream(stream_)); }

  bool SyncData() override {
    if (!Flush()) return false;
    const std::optional<std::uint64_t> end = TellStdioStream(stream_);
    if (!end) return Sync();
    const std::uint64_t from = std::min(data_synced_, *end);
    if (!Note(SyncStdioStreamData(stream_, from, *end))) return false;
    data_synced_ = *end;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (stream_ == nullptr || !SeekStdioStream(stream_, offset)) return false;
    std::clearerr(stream_);
    return true;
  }

  std::optional<std::uint64_t> Position() override {
    if (stream_ == nullptr) return std::nullopt;
    return TellStdioStream(stream_);
  }

  // The seek to the new end clears the stream's error indicator too: the bytes
  // of a write that failed are cut off with the rest, and some runtimes fail
  // the close of a stream that still carries one.
  bool Truncate(std::uint64_t length) override {
    data_synced_ = std::min(data_synced_, length);
    return Flush() && Note(TruncateStdioStream(stream_, length)) && Seek(length);
  }

  bool NoSpace() const override { return no_space_; }

  bool Close() override {
    if (stream_ == nullptr) return Closed();
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return Note(closed);
  }

  std::optional<int> Descriptor() override {
    if (stream_ == nullptr) return std::nullopt;
    return StdioStreamDescriptor(stream_);
  }

  std::optional<FileIdentity> Identity() override {
    if (stream_ == nullptr) return std::nullopt;
    return IdentifyStdioStream(stream_);
  }

 private:
  // Keeps, for a call that failed, whether the medium was full.
  bool Note(bool succeeded) {
    if (!succeeded) no_space_ = LastErrorIsNoSpace();
    return succeeded;
  }

  // A call on a closed file fails for no reason of the medium's.
  bool Closed() {
    no_space_ = false;
    return false;
  }

  std::FILE* stream_;
  bool no_space_ = false;
  std::uint64_t data_synced_ = 0;  // bytes before this offset went to the medium
};

}  // namespace

std::unique_ptr<File> OpenStdioFile(const std::string& path, FileMode mode) {
  std::FILE* stream = std::fopen(path.c_str(), ModeString(mode));
  if (stream == nullptr) return nullptr;
  // Binary files move in large blocks already; the runtime's own buffer would
  // only split each block into two system calls.
  if (mode != FileMode::kReadText && mode != FileMode::kWriteText) {
    std::setvbuf(stream, nullptr, _IONBF, 0);
  }
  return std::make_unique<StdioFile>(stream);
}

std::unique_ptr<File> AdoptStdioStream(std::FILE* stream) {
  std::setvbuf(stream, nullptr, _IONBF, 0);
  return std::make_unique<StdioFile>(stream);
}

}  // namespace slicery
