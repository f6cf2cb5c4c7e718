// The XXH3 entry points this program hashes through. Where the system's
// xxHash library carries its run-time dispatcher (x86-64), they are the
// dispatched ones: the widest vector unit the processor has, chosen when the
// program runs, so the binary stays portable. The dispatched code is encoded
// for that unit, so it also pays no penalty for vector registers that the
// erasure code left dirty just before. Elsewhere they are xxHash's plain ones.
// Both give the same digests.
#pragma once

#include <cstddef>
#include <cstdint>

#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>

namespace slicery {

std::uint64_t Xxh3Hash64(const void* bytes, std::size_t size);
void Xxh3Update64(XXH3_state_t* state, const void* bytes, std::size_t size);
void Xxh3Update128(XXH3_state_t* state, const void* bytes, std::size_t size);

}  // namespace slicery
