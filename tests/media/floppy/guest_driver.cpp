// The person at the floppy machine's keyboard. Runs inside the guest as its
// only program besides the shell that boots it: starts slicery on the mounted
// floppy (or stick), answers its dialogs, changes disks by unmounting one and
// mounting the next, and reports what it saw as "@@" lines on the console,
// which the host reads. A floppy that is not in a drive is asked of the host
// ("@@change N IMAGE", answered with a line once the drive holds it).
//
//   slicery_floppy_guest CASE
//
// Cases: split3 (a split onto three floppies and its rebuild), stick (a split
// onto a FAT32 stick, stopped after the first volume), pull-at-prompt and
// pull-mid-chunk (the machine stopped dead at a chosen moment).
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "e2e/driver.h"
#include "e2e/files.h"
#include "media/floppy/guest_facts.h"

namespace slicery::floppy {
namespace {

using e2e::Dialog;
using e2e::Session;

constexpr char kMountPoint[] = "/media/floppy";
constexpr char kSource[] = "/data/src.bin";
constexpr char kRebuilt[] = "/data/rebuilt.bin";

void Say(const std::string& line) { std::cout << "@@" << line << std::endl; }

[[noreturn]] void Fail(const std::string& why) {
  Say("fail " + why);
  std::exit(1);
}

// Transfer counts of one block device, from /proc/diskstats.
struct DiskStats {
  std::uint64_t reads = 0, read_sectors = 0, writes = 0, written_sectors = 0;
};

DiskStats ReadDiskStats(const std::string& device) {
  std::ifstream stats("/proc/diskstats");
  for (std::string line; std::getline(stats, line);) {
    std::istringstream fields(line);
    std::string major, minor, name;
    DiskStats s;
    std::uint64_t merged = 0, ms = 0;
    fields >> major >> minor >> name >> s.reads >> merged >> s.read_sectors >> ms >>
        s.writes >> merged >> s.written_sectors;
    if (name == device) return s;
  }
  Fail("no diskstats for " + device);
}

std::uint64_t FreeBytes(const std::string& dir) {
  struct statvfs s {};
  if (statvfs(dir.c_str(), &s) != 0) Fail("statvfs " + dir);
  return static_cast<std::uint64_t>(s.f_bavail) * (s.f_frsize ? s.f_frsize : s.f_bsize);
}

// The disks of a case, which drive each goes in, and what is in the drives.
class Drives {
 public:
  struct Disk {
    std::string device;  // "fd0", "fd1", "vda"
    std::string image;   // the host's name for the medium
  };
  Drives(std::string phase, std::map<int, Disk> disks)
      : phase_(std::move(phase)), disks_(std::move(disks)) {
    for (const auto& [number, disk] : disks_) {
      if (!in_drive_.count(disk.device)) in_drive_[disk.device] = disk.image;
    }
  }

  void set_phase(std::string phase) { phase_ = std::move(phase); }

  // Takes the mounted disk out (reporting what writing it cost) and mounts
  // disk `number`, asking the host to change the floppy where needed.
  void Insert(int number) {
    Eject();
    const Disk& disk = disks_.at(number);
    if (in_drive_[disk.device] != disk.image) {
      Say("change " + std::to_string(++changes_) + " " + disk.image);
      std::string answer;
      if (!std::getline(std::cin, answer)) Fail("no answer to a disk change");
      in_drive_[disk.device] = disk.image;
    }
    // The first read after a floppy change may fail, as the drive reports
    // the change only then; the mount is tried again, as a person would.
    int tries = 0;
    while (mount(("/dev/" + disk.device).c_str(), kMountPoint, "vfat", 0, nullptr) != 0) {
      if (++tries == 5) Fail("cannot mount " + disk.image);
      sleep(1);
    }
    mounted_ = number;
    before_ = ReadDiskStats(disk.device);
  }

  // Unmounts the disk in the drive; reports its free bytes and the sectors
  // read and written since it was mounted, its unmounting included.
  void Eject() {
    if (mounted_ == 0) return;
    const Disk& disk = disks_.at(mounted_);
    const std::uint64_t free_bytes = FreeBytes(kMountPoint);
    if (umount(kMountPoint) != 0) Fail("cannot unmount " + disk.image);
    const DiskStats after = ReadDiskStats(disk.device);
    Say("volume " + phase_ + " " + disk.image + " free=" + std::to_string(free_bytes) +
        " written_sectors=" +
        std::to_string(after.written_sectors - before_.written_sectors) +
        " writes=" + std::to_string(after.writes - before_.writes) +
        " read_sectors=" + std::to_string(after.read_sectors - before_.read_sectors) +
        " reads=" + std::to_string(after.reads - before_.reads));
    mounted_ = 0;
  }

 private:
  std::string phase_;  // "split" or "rebuild", for the report
  std::map<int, Disk> disks_;
  std::map<std::string, std::string> in_drive_;
  int mounted_ = 0;
  int changes_ = 0;
  DiskStats before_;
};

std::unique_ptr<Session> StartSlicery() {
  e2e::LaunchOptions options;
  options.program = "/bin/slicery";
  options.env = {{"SLICERY_VOLUME", kMountPoint}};
  // Every wait covers a whole floppy written and read back by an emulated
  // controller on a machine without hardware virtualisation.
  options.timeout = std::chrono::milliseconds(600000);
  std::string error;
  std::unique_ptr<Session> session = Session::Start(options, &error);
  if (!session) Fail(error);
  return session;
}

// The next dialog, which must contain `part` in its caption or text.
Dialog Expect(Session& session, const std::string& part) {
  std::optional<Dialog> dialog = session.NextDialog();
  if (!dialog) Fail("waiting for \"" + part + "\": " + session.error());
  if (dialog->caption.find(part) == std::string::npos &&
      dialog->text.find(part) == std::string::npos) {
    Fail("expected \"" + part + "\", got: " + e2e::Render(*dialog));
  }
  return *dialog;
}

void Answer(Session& session, char letter) {
  if (!session.Answer(letter)) Fail("answer not taken: " + session.error());
}

void Type(Session& session, const std::string& line) {
  if (!session.Type(line)) Fail("typing not taken: " + session.error());
}

void WriteSource(std::uint64_t size) {
  if (!e2e::WriteRandomFile(kSource, size, kSourceSeed)) Fail("cannot write the source");
}

// Menu, Yes, the source's name: the split starts and asks for its first disk.
void StartSplit(Session& session) {
  Expect(session, "If you would like to Slicery a file");
  Answer(session, 'Y');
  Type(session, kSource);
}

// Stops the machine dead: no sync, no unmount, as a disk pulled out and the
// power cut at once.
[[noreturn]] void StopDead() {
  Say("stop");
  std::ofstream("/proc/sysrq-trigger") << 'b' << std::flush;
  for (;;) pause();
}

int SplitOntoThree() {
  WriteSource(kThreeFloppySource);
  Drives drives("split", {{1, {"fd0", "A1"}}, {2, {"fd1", "A2"}}, {3, {"fd0", "A3"}}});
  std::unique_ptr<Session> session = StartSlicery();
  StartSplit(*session);
  for (int disk = 1; disk <= 3; ++disk) {
    Expect(*session, "Insert Disk");
    drives.Insert(disk);
    Answer(*session, 'O');
  }
  Expect(*session, "Operation complete!");
  drives.Eject();
  drives.set_phase("rebuild");
  drives.Insert(3);
  Answer(*session, 'Y');
  Expect(*session, "If you would like to Slicery a file");
  Answer(*session, 'N');
  Expect(*session, "Please insert a disk into drive.");
  Answer(*session, 'O');
  Expect(*session, "This operation contains a file entitled");
  Answer(*session, 'N');
  Type(*session, kRebuilt);
  for (int disk = 1; disk <= 3; ++disk) {
    Expect(*session, "Please insert Disk #" + std::to_string(disk));
    drives.Insert(disk);
    Answer(*session, 'O');
  }
  Expect(*session, "Operation complete!");
  Answer(*session, 'N');
  if (!session->WaitExit()) Fail("slicery did not end: " + session->error());
  drives.Eject();
  Say(std::string("rebuilt ") +
      (e2e::SameContents(kSource, kRebuilt) ? "identical" : "different"));
  Say("console-begin");
  std::cout << session->Stdout() << "\n";
  Say("console-end");
  return 0;
}

int SplitOntoStick() {
  Drives drives("split", {{1, {"vda", "STICK"}}});
  drives.Insert(1);
  const std::uint64_t free_bytes = FreeBytes(kMountPoint);
  Say("stick-free " + std::to_string(free_bytes));
  WriteSource(free_bytes + kStickOverflow);
  std::unique_ptr<Session> session = StartSlicery();
  StartSplit(*session);
  Expect(*session, "Insert Disk");
  Answer(*session, 'O');
  Expect(*session, "Insert Disk");
  drives.Eject();
  Answer(*session, 'C');
  Expect(*session, "Abort operation?");
  Answer(*session, 'Y');
  Expect(*session, "Would you like to begin another operation?");
  Answer(*session, 'N');
  if (!session->WaitExit()) Fail("slicery did not end: " + session->error());
  Say("console-begin");
  std::cout << session->Stdout() << "\n";
  Say("console-end");
  return 0;
}

// The first volume of a split, stopped dead when the console shows `moment`.
int PullFirstDisk(bool at_prompt) {
  WriteSource(kPulledSource);
  Drives drives("split", {{1, {"fd0", "A1"}}});
  std::unique_ptr<Session> session = StartSlicery();
  StartSplit(*session);
  Expect(*session, "Insert Disk");
  drives.Insert(1);
  Answer(*session, 'O');
  if (at_prompt) {
    Expect(*session, "Insert Disk");
  } else if (!session->WaitForOutput("Writing to disk [" +
                                     std::string(kDotsBeforePull, '.'))) {
    Fail("no dots: " + session->error());
  }
  std::cout << session->Stdout() << std::endl;
  StopDead();
}

}  // namespace
}  // namespace slicery::floppy

int main(int argc, char** argv) {
  using namespace slicery::floppy;
  const std::string which = argc > 1 ? argv[1] : "";
  if (which == "split3") return SplitOntoThree();
  if (which == "stick") return SplitOntoStick();
  if (which == "pull-at-prompt") return PullFirstDisk(true);
  if (which == "pull-mid-chunk") return PullFirstDisk(false);
  Fail("no such case: " + which);
}
