// Windows: which file an open handle names (volume serial and file index),
// with its size and last write time.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/file.h"

namespace slicery {

std::optional<FileIdentity> IdentifyHandle(HANDLE handle);

}  // namespace slicery
