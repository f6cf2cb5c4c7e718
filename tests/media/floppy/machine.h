// The floppy machine: Debian's own kernel under QEMU without hardware
// virtualisation, with the kernel's floppy driver and FAT, booted from an
// initramfs that holds busybox, slicery with its shared libraries, and the
// guest driver that plays the user. Its drives are image files of the host's,
// so every fact the guest reports can be checked from the images too.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace slicery::floppy {

// SLICERY_FLOPPY_REQUIRED=1: a machine that cannot be started fails the case
// instead of skipping it (CI, where the floppy suite must run).
bool MachineRequired();

// Why the machine cannot run here (no QEMU, no kernel fetched by
// scripts/floppy-kernel.sh, no static busybox, no cpio); empty when it can.
std::string WhyNoMachine();

struct Drive {
  std::string interface;  // "floppy" (index 0 is drive A, 1 drive B) or "virtio"
  int index = 0;
  std::string image;  // the image file on the host
};

struct MachineRun {
  std::string console;  // everything the guest printed on its serial console
  std::string error;    // why the run failed to complete; empty when it did
};

// Boots the machine on `drives`, runs the guest driver's case `guest_case`,
// and waits until the machine stops. When the guest asks for floppy `name` to
// be put in drive A, the drive is changed to `changes.at(name)`. `work_dir`
// receives the initramfs.
MachineRun RunMachine(const std::string& guest_case, const std::vector<Drive>& drives,
                      const std::map<std::string, std::string>& changes,
                      const std::string& work_dir);

// The lines the guest reported as "@@<tag> ...", without their tag.
std::vector<std::string> Reports(const std::string& console, const std::string& tag);

}  // namespace slicery::floppy
