// XXH3 through xxHash's run-time dispatcher (see xxh3_entry.h).
#include <xxh_x86dispatch.h>

#include "recovery/xxh3_entry.h"

namespace slicery {

std::uint64_t Xxh3Hash64(const void* bytes, std::size_t size) {
  return XXH3_64bits_dispatch(bytes, size);
}

void Xxh3Update64(XXH3_state_t* state, const void* bytes, std::size_t size) {
  XXH3_64bits_update_dispatch(state, bytes, size);
}

void Xxh3Update128(XXH3_state_t* state, const void* bytes, std::size_t size) {
  XXH3_128bits_update_dispatch(state, bytes, size);
}

}  // namespace slicery
