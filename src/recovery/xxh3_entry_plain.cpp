// XXH3 through xxHash's plain entry points (see xxh3_entry.h).
#include "recovery/xxh3_entry.h"

namespace slicery {

std::uint64_t Xxh3Hash64(const void* bytes, std::size_t size) {
  return XXH3_64bits(bytes, size);
}

void Xxh3Update64(XXH3_state_t* state, const void* bytes, std::size_t size) {
  XXH3_64bits_update(state, bytes, size);
}

void Xxh3Update128(XXH3_state_t* state, const void* bytes, std::size_t size) {
  XXH3_128bits_update(state, bytes, size);
}

}  // namespace slicery
