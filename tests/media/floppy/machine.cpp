#include "media/floppy/machine.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <system_error>

#include "e2e/driver.h"
#include "e2e/files.h"
#include "media/command.h"

namespace slicery::floppy {
namespace {

namespace fs = std::filesystem;

// The modules the guest loads, in the order their symbols need: the floppy
// driver, FAT with the character sets vfat asks for, and the virtio disk.
const char* const kModules[] = {
    "drivers/block/floppy",
    "fs/nls/nls_cp437",
    "fs/nls/nls_ascii",
    "fs/fat/fat",
    "fs/fat/vfat",
    "drivers/virtio/virtio_ring",
    "drivers/virtio/virtio",
    "drivers/virtio/virtio_pci_legacy_dev",
    "drivers/virtio/virtio_pci_modern_dev",
    "drivers/virtio/virtio_pci",
    "drivers/block/virtio_blk",
};

constexpr char kBusybox[] = "/bin/busybox";
const char* const kPrograms[] = {"qemu-system-x86_64", "cpio", "ldd"};

// Where scripts/floppy-kernel.sh unpacks the kernel package.
std::string KernelCache() {
  if (const char* dir = std::getenv("SLICERY_FLOPPY_KERNEL"); dir && *dir) return dir;
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  const std::string base =
      cache && *cache ? cache : std::string(home ? home : "/root") + "/.cache";
  return base + "/slicery/floppy-kernel";
}

struct Kernel {
  std::string image;        // boot/vmlinuz-*
  std::string module_root;  // lib/modules/<release>/kernel
};

std::optional<Kernel> FindKernel() {
  std::error_code ec;
  Kernel kernel;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(KernelCache() + "/boot", ec)) {
    if (entry.path().filename().string().rfind("vmlinuz-", 0) == 0)
      kernel.image = entry.path();
  }
  for (const fs::directory_entry& entry :
       fs::directory_iterator(KernelCache() + "/lib/modules", ec)) {
    kernel.module_root = entry.path() / "kernel";
  }
  if (kernel.image.empty() || kernel.module_root.empty()) return std::nullopt;
  return kernel;
}

// Copies `from` to `root` + `to`, making the folders on the way.
bool Stage(const std::string& from, const std::string& root, const std::string& to) {
  std::error_code ec;
  fs::create_directories(fs::path(root + to).parent_path(), ec);
  return fs::copy_file(from, root + to, fs::copy_options::overwrite_existing, ec);
}

// The program and every shared library `ldd` names for it, the loader included.
bool StageWithLibraries(const std::string& program, const std::string& root,
                        const std::string& to, std::string* error) {
  std::string listing;
  if (!e2e::RunCommand({"ldd", program}, &listing)) {
    *error = e2e::Describe({"ldd", program}, listing);
    return false;
  }
  static const std::regex kLibrary(R"((/[^ \t\n]+) \(0x)");
  for (std::sregex_iterator it(listing.begin(), listing.end(), kLibrary), end; it != end;
       ++it) {
    const std::string library = (*it)[1];
    if (!Stage(library, root, library)) {
      *error = "cannot copy " + library;
      return false;
    }
  }
  return Stage(program, root, to);
}

bool StageBusybox(const std::string& root) {
  std::error_code ec;
  if (!Stage(kBusybox, root, "/bin/busybox")) return false;
  for (const char* applet :
       {"sh", "mount", "insmod", "mkdir", "cat", "sed", "poweroff"}) {
    fs::create_symlink("busybox", root + "/bin/" + applet, ec);
  }
  for (const char* dir : {"/proc", "/sys", "/dev", "/tmp"})
    fs::create_directories(root + dir, ec);
  return true;
}

bool StageModules(const Kernel& kernel, const std::string& root) {
  std::string order;
  for (const std::string module : kModules) {
    const std::string name = fs::path(module).filename();
    if (!Stage(kernel.module_root + "/" + module + ".ko", root,
               "/lib/modules/" + name + ".ko")) {
      return false;
    }
    order += name + "\n";
  }
  return e2e::WriteFile(root + "/lib/modules/order", order);
}

// The initramfs, made once per run of the suite: the same for every case.
std::string BuildInitramfs(const Kernel& kernel, const std::string& work_dir,
                           std::string* error) {
  const std::string root = work_dir + "/initramfs",
                    archive = work_dir + "/initramfs.cpio";
  if (!StageBusybox(root) || !StageModules(kernel, root) ||
      !Stage(SLICERY_FLOPPY_INIT, root, "/init") ||
      !Stage(SLICERY_FLOPPY_GUEST, root, "/bin/slicery_floppy_guest") ||
      !StageWithLibraries(SLICERY_BINARY, root, "/bin/slicery", error)) {
    if (error->empty()) *error = "cannot stage the initramfs in " + root;
    return "";
  }
  std::error_code ec;
  fs::permissions(root + "/init", fs::perms::owner_exec, fs::perm_options::add, ec);
  fs::permissions(root + "/bin/slicery_floppy_guest", fs::perms::owner_exec,
                  fs::perm_options::add, ec);
  const std::vector<std::string> pack = {
      "sh", "-c",
      "cd '" + root + "' && find . | cpio -o -H newc --quiet > '" + archive + "'"};
  std::string output;
  if (!e2e::RunCommand(pack, &output)) {
    *error = e2e::Describe(pack, output);
    return "";
  }
  return archive;
}

std::vector<std::string> QemuArgs(const Kernel& kernel, const std::string& initramfs,
                                  const std::string& guest_case,
                                  const std::vector<Drive>& drives) {
  // No KVM: a guest started with it hangs on these machines. Serial console
  // and monitor share standard input and output (Ctrl-A c switches).
  std::vector<std::string> args = {
      "-accel",     "tcg",
      "-m",         "1536",
      "-nographic", "-no-reboot",
      "-nic",       "none",
      "-kernel",    kernel.image,
      "-initrd",    initramfs,
      "-append",    "console=ttyS0 quiet panic=-1 slicery_case=" + guest_case};
  for (const Drive& drive : drives) {
    std::string spec = "file=" + drive.image + ",if=" + drive.interface + ",format=raw";
    if (drive.interface == "floppy") spec += ",index=" + std::to_string(drive.index);
    args.insert(args.end(), {"-drive", spec});
  }
  return args;
}

// The image named by the guest's "@@change N NAME" line, once it is complete.
std::optional<std::string> ChangeRequest(const std::string& console, int number) {
  const std::string marker = "@@change " + std::to_string(number) + " ";
  const std::size_t at = console.find(marker);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t end = console.find_first_of("\r\n", at);
  if (end == std::string::npos) return std::nullopt;
  return console.substr(at + marker.size(), end - at - marker.size());
}

bool Ended(const std::string& console) {
  return console.find("@@end ") != std::string::npos;
}

// Puts floppy `image` in drive A through the monitor, then tells the guest.
bool ChangeFloppy(e2e::Session& machine, const std::string& image) {
  return machine.Send(
             "\x01"
             "c") &&
         machine.Send("change floppy0 " + image + " raw\n") &&
         machine.Send(
             "\x01"
             "c") &&
         machine.Send("changed\n");
}

}  // namespace

bool MachineRequired() {
  const char* required = std::getenv("SLICERY_FLOPPY_REQUIRED");
  return required != nullptr && std::string(required) == "1";
}

std::string WhyNoMachine() {
  for (const char* program : kPrograms) {
    if (e2e::FindProgram(program).empty())
      return std::string(program) + " is not installed";
  }
  std::string listing;
  e2e::RunCommand({"ldd", kBusybox}, &listing);
  if (access(kBusybox, X_OK) != 0 || listing.find("not a dynamic") == std::string::npos) {
    return "no static busybox at /bin/busybox (Debian package busybox-static)";
  }
  if (!FindKernel()) {
    return "no kernel in " + KernelCache() + " (scripts/floppy-kernel.sh fetches it)";
  }
  return "";
}

MachineRun RunMachine(const std::string& guest_case, const std::vector<Drive>& drives,
                      const std::map<std::string, std::string>& changes,
                      const std::string& work_dir) {
  MachineRun run;
  const std::optional<Kernel> kernel = FindKernel();
  if (!kernel) return {"", "no kernel"};
  const std::string initramfs = BuildInitramfs(*kernel, work_dir, &run.error);
  if (initramfs.empty()) return run;
  e2e::LaunchOptions options;
  options.program = e2e::FindProgram("qemu-system-x86_64");
  options.args = QemuArgs(*kernel, initramfs, guest_case, drives);
  // A wait covers the boot, or floppies written and read back in emulation.
  options.timeout = std::chrono::milliseconds(600000);
  std::unique_ptr<e2e::Session> machine = e2e::Session::Start(options, &run.error);
  if (!machine) return run;
  for (int number = 1;; ++number) {
    std::optional<std::string> image;
    const bool seen = machine->WaitUntil(
        [&](const std::string& out) {
          return (image = ChangeRequest(out, number)) || Ended(out);
        },
        "report from the guest");
    if (!seen || !image) break;  // ended, or stopped dead
    if (!changes.count(*image) || !ChangeFloppy(*machine, changes.at(*image))) {
      run.error = "cannot put " + *image + " in drive A";
      break;
    }
  }
  const std::optional<e2e::ExitStatus> status = machine->WaitExit();
  run.console = machine->Stdout();
  if (run.error.empty() && !status)
    run.error = "the machine did not stop: " + machine->error();
  return run;
}

std::vector<std::string> Reports(const std::string& console, const std::string& tag) {
  std::vector<std::string> lines;
  const std::string marker = "@@" + tag;
  for (std::size_t at = console.find(marker); at != std::string::npos;
       at = console.find(marker, at + 1)) {
    const std::size_t start = at + marker.size();
    if (start < console.size() && console[start] != ' ' && console[start] != '\r' &&
        console[start] != '\n') {
      continue;
    }
    const std::size_t end = console.find_first_of("\r\n", start);
    std::string line = console.substr(start, end - start);
    if (!line.empty() && line[0] == ' ') line.erase(0, 1);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace slicery::floppy
