// What the floppy machine's guest and the host that checks its disks agree on.
#pragma once

#include <cstdint>

namespace slicery::floppy {

// The source's bytes are e2e::RandomBytes of this seed, in the guest and on the host.
inline constexpr std::uint32_t kSourceSeed = 1440;

// What a blank 1.44 MB floppy offers a file, and the chunk that fills it.
inline constexpr std::uint64_t kFloppyFree = 1457664;
inline constexpr std::uint64_t kFullChunk = kFloppyFree - 600;

// Two and a half floppies' worth: two full chunks and half of a third.
inline constexpr std::uint64_t kThreeFloppySource = kFullChunk * 5 / 2;

// The stick's source is this much larger than the stick's free space.
inline constexpr std::uint64_t kStickOverflow = 1 << 20;

// More than a floppy, so the first chunk fills its disk.
inline constexpr std::uint64_t kPulledSource = 2000000;

// The dots of a full floppy's chunk after which the machine is stopped dead.
inline constexpr int kDotsBeforePull = 12;

}  // namespace slicery::floppy
