// The checksums of a recovery set: a 64-bit one for each block and chunk, a
// 128-bit one for the whole file, and their text form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace slicery {

// XXH3-64 of `bytes`.
std::uint64_t BlockChecksum(std::string_view bytes);

// XXH3-128 of a file, high half first.
struct FileChecksum {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  bool operator==(const FileChecksum&) const = default;
};

// A checksum taken over bytes that arrive in pieces: XXH3-64 or XXH3-128 of
// everything added so far. A copy goes on from the same bytes.
class StreamChecksum {
 public:
  enum Width { k64, k128 };
  explicit StreamChecksum(Width width);
  ~StreamChecksum();
  StreamChecksum(const StreamChecksum& other);
  StreamChecksum& operator=(const StreamChecksum& other);

  void Add(const void* bytes, std::size_t size);
  // Starts again from no bytes, keeping the width.
  void Reset();
  // The digest of the width it was made with.
  std::uint64_t Digest64() const;
  FileChecksum Digest128() const;

 private:
  struct State;
  Width width_;
  std::unique_ptr<State> state_;
};

// The checksum of a whole chunk: XXH3-64 over the checksums of its blocks,
// in order, each as 8 bytes, least significant first. It changes with any
// byte of the chunk, and costs a few bytes per block to compute.
class ChunkChecksum {
 public:
  void AddBlock(std::uint64_t block_checksum);
  std::uint64_t Digest() const { return chain_.Digest64(); }
  std::uint64_t blocks() const { return blocks_; }

 private:
  StreamChecksum chain_{StreamChecksum::k64};
  std::uint64_t blocks_ = 0;
};

// Checksums of consecutive blocks of bytes that come in pieces of any size:
// each block's XXH3-64, kept when asked for, and the chunk's checksum. A
// block that arrives whole in one piece is hashed in one call.
class BlockSums {
 public:
  BlockSums(std::uint64_t block_size, bool keep) : block_size_(block_size), keep_(keep) {}
  void Add(const void* bytes, std::size_t size);
  // Closes the last (short) block, if any.
  void Finish();
  const std::vector<std::uint64_t>& blocks() const { return blocks_; }
  std::uint64_t chunk() const { return chunk_.Digest(); }

 private:
  void Close();
  void Keep(std::uint64_t sum);
  std::uint64_t block_size_;
  bool keep_;
  std::uint64_t filled_ = 0;
  StreamChecksum current_{StreamChecksum::k64};
  ChunkChecksum chunk_;
  std::vector<std::uint64_t> blocks_;
};

// Fixed-width lower-case hexadecimal: 16 digits, or 32 for a file checksum.
std::string HexOf(std::uint64_t value);
std::string HexOf(const FileChecksum& value);
// Exactly 16 (or 32) hexadecimal digits; nothing else is read.
std::optional<std::uint64_t> ParseHex64(std::string_view text);
std::optional<FileChecksum> ParseHex128(std::string_view text);

}  // namespace slicery
