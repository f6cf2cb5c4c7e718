// Where the rebuilt file goes: the recorded path or a location the user types,
// checked and opened; a file there that the user agreed to have replaced is
// replaced only by a whole one.
#pragma once

#include <memory>
#include <string>

#include "operation/context.h"
#include "platform/file.h"

namespace slicery {

struct Target {
  std::string path;  // as the user chose it
  // The file the rebuilt one takes the place of: `path`, or the file that a
  // symbolic link there leads to, so that the link stays.
  std::string place;
  std::string written_path;  // the file written until it is whole
  std::unique_ptr<File> file;

  bool Replaces() const { return written_path != place; }
};

// The recorded path or another location, opened for the rebuilt file. False
// when the user cancels.
bool OpenTarget(Context& ctx, const std::string& recorded_path, Target* target);

// Closes the file of a rebuild that ends before it is whole. What was written
// is kept; a new file beside one that it was to replace, with nothing in it,
// is removed.
void CloseUnfinished(Env& env, Target& target);

}  // namespace slicery
