// Windows host: native message boxes, the command interpreter's screen clear
// and the removable drive: A:, or the drive that --volume names.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "platform/dialog_types.h"
#include "platform/env.h"
#include "platform/file.h"
#include "platform/host_constants.h"
#include "platform/screen.h"
#include "platform/state_folder.h"
#include "platform/stdio_file.h"
#include "platform/uncached_file.h"
#include "platform/win32_identity.h"

namespace slicery {

const bool kUpperCaseTypedPaths = true;
// Records are written in text mode, which stores each "\n" as CR LF.
const char kRecordLineEnd[] = "\n";

namespace {

constexpr char kDefaultVolumeRoot[] = "A:\\";

// The root of the drive that `given` names: a letter and its colon, with or
// without the backslash after them ("e:", "E:\\"). Empty for anything else, a
// folder or a share among them: the volume is a whole drive.
std::optional<std::string> DriveRoot(const std::string& given) {
  if (given.size() < 2 || given.size() > 3 || given[1] != ':') return std::nullopt;
  if (given.size() == 3 && given[2] != '\\') return std::nullopt;
  char letter = given[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  return std::string(1, letter) + ":\\";
}

// A handle that can read nothing, only say what `path` is. Folders open only
// with the backup flag; a pipe with no free end fails at once instead of waiting.
HANDLE OpenForAttributes(const std::string& path) {
  return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IdentifyFile(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
  const HANDLE handle = OpenForAttributes(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, info) != 0;
  CloseHandle(handle);
  return known;
}

FileKind KindOfHandle(HANDLE handle) {
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
      return FileKind::kRegular;
    case FILE_TYPE_CHAR:
      return FileKind::kCharDevice;
    default:
      return FileKind::kOther;
  }
}

class WindowsEnv : public Env {
 public:
  explicit WindowsEnv(std::string root) : root_(std::move(root)) {}

  std::unique_ptr<File> Open(const std::string& path, FileMode mode) override {
    return OpenStdioFile(path, mode);
  }

  bool Exists(const std::string& path) override {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
  }

  FileKind KindOf(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return FileKind::kDirectory;
    }
    const HANDLE handle = OpenForAttributes(path);
    if (handle == INVALID_HANDLE_VALUE) return FileKind::kNone;
    const FileKind kind = KindOfHandle(handle);
    CloseHandle(handle);
    return kind;
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION first, second;
    return IdentifyFile(a, &first) && IdentifyFile(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
  }

  // A link (a reparse point) is opened through to the file it leads to, whose
  // final path comes as "\\?\C:\..." or "\\?\UNC\server\...": given back
  // without that prefix, which the runtime's file calls do not all take.
  std::optional<std::string> LinkTarget(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      return std::nullopt;
    }
    const HANDLE handle = OpenForAttributes(path);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    char final_path[MAX_PATH + 16];
    const DWORD length = GetFinalPathNameByHandleA(
        handle, final_path, sizeof final_path, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (length == 0 || length >= sizeof final_path) return std::nullopt;
    const std::string found(final_path, length);
    if (found.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + found.substr(8);
    if (found.rfind("\\\\?\\", 0) == 0) return found.substr(4);
    return found;
  }

  // The new file takes the rights of its folder, as files made there do.
  std::unique_ptr<File> CreateNew(const std::string& path, const std::string&) override {
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) {
      _close(fd);
      return nullptr;
    }
    return AdoptStdioStream(stream);
  }

  void Remove(const std::string& path) override { DeleteFileA(path.c_str()); }

  bool Rename(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  // The rename is written through already.
  bool SyncFolderOf(const std::string&) override { return true; }

  std::string VolumeRoot() override { return root_; }

  // A drive with no disk in it refuses every write on its own.
  bool VolumeHasMedium() override { return true; }

  // The free bytes from the 64-bit query; the cluster size from the older one,
  // whose cluster counts stop at 2 GiB but whose geometry is exact.
  std::optional<VolumeSpace> QueryVolumeSpace() override {
    ULARGE_INTEGER free_to_caller;
    ULARGE_INTEGER total;
    DWORD sectors_per_cluster = 0;
    DWORD bytes_per_sector = 0;
    DWORD free_clusters = 0;
    DWORD total_clusters = 0;
    if (!GetDiskFreeSpaceExA(root_.c_str(), &free_to_caller, &total, nullptr) ||
        !GetDiskFreeSpaceA(root_.c_str(), &sectors_per_cluster, &bytes_per_sector,
                           &free_clusters, &total_clusters)) {
      return std::nullopt;
    }
    VolumeSpace space;
    space.free_bytes = static_cast<std::uint64_t>(free_to_caller.QuadPart);
    space.unit = std::uint64_t{sectors_per_cluster} * bytes_per_sector;
    if (space.unit == 0) return std::nullopt;
    return space;
  }

  // Each file is committed on its own; the directory needs nothing further.
  bool SyncVolume() override { return true; }

  std::unique_ptr<File> OpenFromMedium(const std::string& path) override {
    return OpenUncachedFile(path);
  }

  std::uint32_t TickCount() override { return GetTickCount(); }

  std::optional<std::string> StateFolder() override { return UserStateFolder(); }

  std::optional<std::string> AbsolutePath(const std::string& path) override {
    return FullPathOf(path);
  }

  std::string TempFolder() override {
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH) return "";
    return std::string(folder, length);
  }

  std::optional<std::uint64_t> FreeBytesIn(const std::string& folder) override {
    ULARGE_INTEGER free_to_caller;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &free_to_caller, nullptr, nullptr)) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(free_to_caller.QuadPart);
  }

  // Each file has its own descriptor (handle) and buffer.
  bool FilesAcrossThreads() override { return true; }

  // A fresh name from the system, then the file opened again to be deleted
  // when its last handle closes, which the system does at the program's end
  // too. Nothing else may open it meanwhile.
  std::unique_ptr<File> CreateScratchFile(const std::string& folder) override {
    char name[MAX_PATH + 1];
    if (GetTempFileNameA(folder.c_str(), "slc", 0, name) == 0) return nullptr;
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      DeleteFileA(name);
      return nullptr;
    }
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
      CloseHandle(handle);
      return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "w+b");
    if (stream == nullptr) {
      _close(fd);
      return nullptr;
    }
    return AdoptStdioStream(stream);
  }

 private:
  std::string root_;  // "A:\\" or the drive named on the command line
};

// The system's flags for a button set and an icon.
UINT ButtonsFlag(Buttons buttons) {
  switch (buttons) {
    case Buttons::kOk:
      return MB_OK;
    case Buttons::kOkCancel:
      return MB_OKCANCEL;
    case Buttons::kYesNoCancel:
      return MB_YESNOCANCEL;
    case Buttons::kYesNo:
      return MB_YESNO;
  }
  return MB_OK;
}

UINT IconFlag(Icon icon) {
  switch (icon) {
    case Icon::kNone:
      return 0;
    case Icon::kError:
      return MB_ICONERROR;
    case Icon::kQuestion:
      return MB_ICONQUESTION;
    case Icon::kWarning:
      return MB_ICONWARNING;
  }
  return 0;
}

class MessageBoxScreen : public Screen {
 public:
  explicit MessageBoxScreen(std::ostream& out) : out_(out) {}

  DialogResult ShowMessageBox(const std::string& text, const std::string& caption,
                              Buttons buttons, Icon icon) override {
    const UINT flags = ButtonsFlag(buttons) | IconFlag(icon);
    switch (MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags)) {
      case IDOK:
        return DialogResult::kOk;
      case IDYES:
        return DialogResult::kYes;
      case IDNO:
        return DialogResult::kNo;
      default:
        return DialogResult::kCancel;
    }
  }

  // The console's own text goes out before the screen is cleared.
  void Clear() override {
    out_.flush();
    const int ignored = std::system("CLS");
    (void)ignored;
  }

 private:
  std::ostream& out_;
};

}  // namespace

bool SyncStdioStream(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

// Windows keeps no separate path for a file's data: the whole file is committed.
bool SyncStdioStreamData(std::FILE* stream, std::uint64_t, std::uint64_t) {
  return SyncStdioStream(stream);
}

int StdioStreamDescriptor(std::FILE* stream) { return _fileno(stream); }

std::optional<FileIdentity> IdentifyStdioStream(std::FILE* stream) {
  return IdentifyHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

bool SeekStdioStream(std::FILE* stream, std::uint64_t offset) {
  if (offset > 0x7FFFFFFFFFFFFFFFull) return false;
  return _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

std::optional<std::uint64_t> TellStdioStream(std::FILE* stream) {
  const __int64 offset = _ftelli64(stream);
  if (offset < 0) return std::nullopt;
  return static_cast<std::uint64_t>(offset);
}

bool TruncateStdioStream(std::FILE* stream, std::uint64_t length) {
  if (length > 0x7FFFFFFFFFFFFFFFull) return false;
  return _chsize_s(_fileno(stream), static_cast<__int64>(length)) == 0;
}

// The runtime maps a full disk to ENOSPC only in some of its paths; the
// system's own code tells it always.
bool LastErrorIsNoSpace() {
  const unsigned long system_error = _doserrno;
  return errno == ENOSPC || system_error == ERROR_DISK_FULL ||
         system_error == ERROR_HANDLE_DISK_FULL;
}

// The volume is drive A, or the drive that --volume names. What cannot be
// taken is refused, not ignored: a set written anywhere but where the user
// asked would be a surprise. A drive's size is its own, so --volume-size is
// refused whatever the drive.
std::unique_ptr<Env> NewHostEnv(std::ostream& error, const VolumeOverrides& overrides) {
  if (overrides.size) {
    error << "slicery: --volume-size is not available on Windows, where the volume "
             "is a whole drive"
          << std::endl;
    return nullptr;
  }
  std::string root = kDefaultVolumeRoot;
  if (overrides.root) {
    const std::optional<std::string> drive = DriveRoot(*overrides.root);
    if (!drive) {
      error << "slicery: --volume must name a drive on Windows, such as E: or E:\\, "
               "not \""
            << *overrides.root << "\"" << std::endl;
      return nullptr;
    }
    root = *drive;
  }
  return std::make_unique<WindowsEnv>(root);
}

// Message boxes do not read the console: its input never ends one.
std::unique_ptr<Screen> NewHostScreen(std::istream&, std::ostream& out, int) {
  return std::make_unique<MessageBoxScreen>(out);
}

}  // namespace slicery
