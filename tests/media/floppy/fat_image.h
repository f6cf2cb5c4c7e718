// FAT images on the host: made with mkfs.fat, read through mtools without
// mounting them (this host's kernel has no FAT), as a disk pulled from the
// floppy machine would be read in another computer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace slicery::floppy {

// A blank 1.44 MB floppy: FAT12, one 512-byte sector a cluster.
bool MakeFloppyImage(const std::string& path, std::string* error);

// A blank 260 MiB stick: FAT32 with 4 KiB clusters, as USB sticks come; the
// smallest size with the clusters that every FAT32 reader takes for FAT32.
bool MakeStickImage(const std::string& path, std::string* error);

// The bytes of file `name` in the image's root folder; empty, with the reason
// in *error, when it cannot be read.
std::optional<std::string> ReadFromImage(const std::string& image,
                                         const std::string& name, std::string* error);

// The free bytes that the image's root folder listing gives.
std::optional<std::uint64_t> FreeBytesOfImage(const std::string& image,
                                              std::string* error);

}  // namespace slicery::floppy
