// Reading a file back from its medium rather than from the operating
// system's cache, which holds what was written and not what the medium kept.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"

namespace slicery {

// Host-specific: opens `path` for binary reading from the medium. Null when
// it cannot be opened.
std::unique_ptr<File> OpenUncachedFile(const std::string& path);

}  // namespace slicery
