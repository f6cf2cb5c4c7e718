// What an operation reaches the world through: the message boxes, the volume
// and files, and the console streams. The menu's entry point binds the real
// host; tests fill it with fakes.
#pragma once

#include <iosfwd>

#include "platform/env.h"
#include "platform/host_constants.h"
#include "platform/screen.h"

namespace slicery {

struct Context {
  Screen& screen;
  Env& env;
  std::istream& in;
  std::ostream& out;
  // Whether typed paths are upper-cased before use; the host decides.
  bool upper_case_typed_paths = kUpperCaseTypedPaths;
};

}  // namespace slicery
