// What an operation reaches the world through: the console (message boxes and
// streams) and the environment (files, the volume, the clock). The menu binds
// the real host; tests fill it with fakes. A Context passes wherever the ui
// wants its Console.
#pragma once

#include "platform/env.h"
#include "ui/console.h"

namespace slicery {

struct Context : Console {
  Env& env;
  // Whether each volume a split writes is read back from its medium before it
  // counts as written.
  bool read_back_volumes = true;
  // Recovery disks a split adds after its last volume; 0 for a plain set.
  int recovery_disks = 0;
  // Whether a split keeps a journal on this computer, so that a later split of
  // the same file can go on from where it stopped. The host turns it on.
  bool keep_split_journal = false;
};

}  // namespace slicery
