// The few fixed values in which the hosts differ, each defined by its host
// (host_posix.cpp, host_win32.cpp).
#pragma once

namespace slicery {

// True where typed paths are upper-cased before use (Windows); false where the
// file system is case-sensitive (POSIX), so paths are used as typed.
extern const bool kUpperCaseTypedPaths;

// Line end written into text records. Windows text mode turns "\n" into CR LF
// itself; POSIX writes CR LF explicitly, so the bytes match on both hosts.
extern const char kRecordLineEnd[];

}  // namespace slicery
