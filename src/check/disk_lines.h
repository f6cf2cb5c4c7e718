// What the check's reading of any disk shares: its name, its console line of
// 25 dots that ends in what was found, the question to go on without it, and
// the reading of a data file through to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "check/checked_set.h"
#include "operation/context.h"
#include "platform/file.h"
#include "ui/progress_meter.h"

namespace slicery {

// "Disk #k" or "recovery disk #r" for a disk of the set, by its index from 0.
std::string DiskName(bool recovery, std::size_t index);

// The start of a disk's console line: "Disk #k" or "Recovery disk #r".
std::string LineLabel(bool recovery, std::size_t index);

// Ends a disk's line: its dots done ("] "), then what was found. `plain`: a
// disk of a set without recovery disks.
void EndDiskLine(Context& ctx, ProgressMeter& meter, const CheckedDisk& disk, bool plain,
                 std::uint64_t block_size);

// Whether the user goes on without the disk `name`, which then counts as missing.
bool GoWithout(Context& ctx, const std::string& name);

// Reads the chunk of `disk` (its length set) from `file`, each block against
// `sums` as the rebuild reads a disk, the good ones given to `take`, and notes
// on `disk` its bad blocks (each with its checksum when `sums` are the disk's
// own), its state, and whether the file goes on past the chunk. A disk that
// keeps failing to read, `name`, may be let go: the rest of it counts as bad.
void ScanDisk(Context& ctx, const std::string& name, File& file, std::uint64_t block_size,
              const std::vector<std::uint64_t>& sums, bool own_sums, ProgressMeter& meter,
              const std::function<void(std::uint64_t, std::string_view)>& take,
              CheckedDisk* disk);

// Reads a data file through to its end, drawing the dots of `length` bytes.
// The bytes it gave; *failed on a read error.
std::uint64_t ReadThrough(File& data, std::uint64_t length, ProgressMeter& meter,
                          bool* failed);

}  // namespace slicery
