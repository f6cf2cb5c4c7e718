// A whole fake host: memory files and disks, scripted dialogs, string console.
#pragma once

#include <sstream>
#include <string>

#include "fakes/memory_env.h"
#include "fakes/scripted_screen.h"
#include "operation/context.h"

namespace slicery {

struct FakeHost {
  explicit FakeHost(const std::string& typed = "") : in(typed) {}

  MemoryEnv env;
  ScriptedScreen screen;
  std::istringstream in;
  std::ostringstream out;
  Context ctx{{screen, in, out, false}, env};
};

}  // namespace slicery
