#include "recovery/checksum.h"

#include <algorithm>

#include "recovery/xxh3_entry.h"

namespace slicery {

struct StreamChecksum::State {
  XXH3_state_t xxh3;
};

std::uint64_t BlockChecksum(std::string_view bytes) {
  return Xxh3Hash64(bytes.data(), bytes.size());
}

StreamChecksum::StreamChecksum(Width width)
    : width_(width), state_(std::make_unique<State>()) {
  Reset();
}

void StreamChecksum::Reset() {
  if (width_ == k64) {
    XXH3_64bits_reset(&state_->xxh3);
  } else {
    XXH3_128bits_reset(&state_->xxh3);
  }
}

StreamChecksum::~StreamChecksum() = default;

StreamChecksum::StreamChecksum(const StreamChecksum& other)
    : width_(other.width_), state_(std::make_unique<State>()) {
  XXH3_copyState(&state_->xxh3, &other.state_->xxh3);
}

StreamChecksum& StreamChecksum::operator=(const StreamChecksum& other) {
  width_ = other.width_;
  XXH3_copyState(&state_->xxh3, &other.state_->xxh3);
  return *this;
}

void StreamChecksum::Add(const void* bytes, std::size_t size) {
  if (width_ == k64) {
    Xxh3Update64(&state_->xxh3, bytes, size);
  } else {
    Xxh3Update128(&state_->xxh3, bytes, size);
  }
}

std::uint64_t StreamChecksum::Digest64() const {
  return XXH3_64bits_digest(&state_->xxh3);
}

FileChecksum StreamChecksum::Digest128() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(&state_->xxh3);
  return {hash.high64, hash.low64};
}

void ChunkChecksum::AddBlock(std::uint64_t block_checksum) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<unsigned char>(block_checksum >> (8 * i));
  chain_.Add(bytes, sizeof bytes);
  ++blocks_;
}

void BlockSums::Add(const void* data, std::size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (filled_ == 0 && size >= block_size_) {
      Keep(BlockChecksum({reinterpret_cast<const char*>(bytes), block_size_}));
      bytes += block_size_;
      size -= block_size_;
      continue;
    }
    const std::size_t part =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, block_size_ - filled_));
    current_.Add(bytes, part);
    bytes += part;
    size -= part;
    filled_ += part;
    if (filled_ == block_size_) Close();
  }
}

void BlockSums::Finish() {
  if (filled_ > 0) Close();
}

void BlockSums::Close() {
  Keep(current_.Digest64());
  current_.Reset();
  filled_ = 0;
}

void BlockSums::Keep(std::uint64_t sum) {
  chunk_.AddBlock(sum);
  if (keep_) blocks_.push_back(sum);
}

std::string HexOf(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int at = 15; at >= 0; --at, value >>= 4) text[at] = kDigits[value & 0xF];
  return text;
}

std::string HexOf(const FileChecksum& value) {
  return HexOf(value.high) + HexOf(value.low);
}

std::optional<std::uint64_t> ParseHex64(std::string_view text) {
  if (text.size() != 16) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

std::optional<FileChecksum> ParseHex128(std::string_view text) {
  if (text.size() != 32) return std::nullopt;
  const std::optional<std::uint64_t> high = ParseHex64(text.substr(0, 16));
  const std::optional<std::uint64_t> low = ParseHex64(text.substr(16));
  if (!high || !low) return std::nullopt;
  return FileChecksum{*high, *low};
}

}  // namespace slicery
