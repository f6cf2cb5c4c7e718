// How fast blocks are checksummed right after the erasure code has run, as
// the recovery split and rebuild do, against hashing on its own. The erasure
// code's vector instructions can leave the processor's vector registers in a
// state that slows the next plain vector code down several times over; this
// measures that cost for xxHash's plain entry point and for the one this
// program hashes through.
//   slicery_codec_hash_bench [MiB]   (default 256 MiB hashed per figure)
#include <xxhash.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "recovery/checksum.h"
#include "recovery/stripe_codec.h"

namespace {

constexpr std::size_t kBlock = 4096;
constexpr std::size_t kSegment = 1 << 20;  // a stripe's segment per data block
constexpr int kData = 4, kRecovery = 2;

using Hash = std::uint64_t (*)(const char*, std::size_t);

std::uint64_t PlainLibrary(const char* bytes, std::size_t size) {
  return XXH3_64bits(bytes, size);
}

std::uint64_t Program(const char* bytes, std::size_t size) {
  return slicery::BlockChecksum(std::string_view(bytes, size));
}

// GB/s of hashing `data` in 4 KiB blocks, one segment at a time, with one
// codec call before each segment when `after_codec`; best of 5.
double Measure(const std::vector<char>& data, Hash hash, bool after_codec) {
  const slicery::StripeCodec codec(kData, kRecovery);
  std::vector<std::vector<unsigned char>> blocks(kData,
                                                 std::vector<unsigned char>(kSegment, 1));
  std::vector<unsigned char*> inputs;
  for (auto& block : blocks) inputs.push_back(block.data());
  std::vector<unsigned char> out(kSegment);
  double best = 1e9;
  std::uint64_t sink = 0;
  for (int run = 0; run < 5; ++run) {
    double seconds = 0;
    for (std::size_t at = 0; at < data.size(); at += kSegment) {
      if (after_codec) codec.Encode(kSegment, inputs.data(), 0, out.data());
      const auto start = std::chrono::steady_clock::now();
      for (std::size_t b = at; b < at + kSegment; b += kBlock)
        sink ^= hash(&data[b], kBlock);
      seconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    best = std::min(best, seconds);
  }
  if (sink == 42) std::puts("");  // keeps the hashing from being optimised away
  return static_cast<double>(data.size()) / best / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  std::vector<char> data(std::max<std::size_t>(mib, 1) << 20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 >> 7);
  std::printf("%-34s %10s %12s\n", "4 KiB blocks hashed through", "alone", "after codec");
  const struct {
    const char* name;
    Hash hash;
  } entries[] = {{"xxHash's plain XXH3_64bits", PlainLibrary},
                 {"the program's BlockChecksum", Program}};
  for (const auto& entry : entries) {
    std::printf("%-34s %6.2f GB/s %7.2f GB/s\n", entry.name,
                Measure(data, entry.hash, false), Measure(data, entry.hash, true));
  }
  return 0;
}
