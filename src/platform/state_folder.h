// Where the program keeps what outlives a run on this computer, and the full
// path of a file; one implementation per host (state_folder_posix.cpp,
// state_folder_win32.cpp), which the host's environment hands out.
#pragma once

#include <optional>
#include <string>

namespace slicery {

// The user's state folder for the program, made where it is missing, ending
// in its separator: $XDG_STATE_HOME/slicery/ (by default
// ~/.local/state/slicery/) on POSIX, %LOCALAPPDATA%\Slicery\ on Windows.
// Empty when the host cannot tell where it is or cannot make it.
std::optional<std::string> UserStateFolder();

// `path` from the root of its file system; empty when it cannot be told.
std::optional<std::string> FullPathOf(const std::string& path);

}  // namespace slicery
