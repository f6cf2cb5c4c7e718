#include "menu/command_line.h"

#include <optional>
#include <string_view>

namespace slicery {

const char kVersionLine[] = "slicery " SLICERY_VERSION "\n";

const char kUsageText[] =
    "Usage: slicery [--volume DIR] [--volume-size BYTES] [--no-verify]\n"
    "               [--recovery N] [--no-resume]\n"
    "       slicery --check [--volume DIR] [--volume-size BYTES] [--no-verify]\n"
    "       slicery --help | --version\n"
    "\n"
    "Splits one file across removable volumes, and joins the volumes back into\n"
    "the file. Everything is asked through dialogs on the console: answer with\n"
    "the first letter of a button, then Enter. Without options: the menu.\n"
    "File names are typed one to a line. A path with a space or tab in it is\n"
    "refused: the record on each volume stores the path as one word, so such a\n"
    "path would not come back whole.\n"
    "\n"
    "Options:\n"
    "  --volume DIR          the directory that stands for drive A (the mount\n"
    "                        point of the medium); overrides SLICERY_VOLUME\n"
    "  --volume X:           on Windows: the drive to use, a letter with its\n"
    "                        colon, X: or X:\\ (without it: A:)\n"
    "  --volume-size BYTES   make the volume behave as a medium of BYTES bytes\n"
    "                        (1 to 9223372036854775807); overrides\n"
    "                        SLICERY_VOLUME_SIZE; refused on Windows\n"
    "  --no-verify           do not read each volume back after writing it\n"
    "                        (by default a volume counts as written only once\n"
    "                        its chunk and record read back from the medium as\n"
    "                        they were written)\n"
    "  --recovery N          add N recovery disks (1 to 16) after the last\n"
    "                        volume of a split: the file can then be rebuilt\n"
    "                        with up to N disks lost, or with bad blocks on\n"
    "                        many disks, as long as no more than N are bad at\n"
    "                        the same place of their chunks\n"
    "  --no-resume           keep no journal of a split: one that stops cannot\n"
    "                        go on later from the disk where it stopped\n"
    "  --check               check a set instead of showing the menu: insert any\n"
    "                        disk of it, then each disk as asked; every disk is\n"
    "                        read once, every block checked against its\n"
    "                        checksum, and the verdict given (see Exit status).\n"
    "                        Where the set can be rebuilt, new copies of its\n"
    "                        damaged and missing disks can be written at once;\n"
    "                        what they need is kept meanwhile in the system's\n"
    "                        temporary folder ($TMPDIR, else /tmp), and removed\n"
    "                        when the check ends. Nothing is written on the\n"
    "                        disks checked\n"
    "  --help                print this text\n"
    "  --version             print the version\n"
    "\n"
    "Environment:\n"
    "  SLICERY_VOLUME        the volume directory; unset or empty: /media/floppy\n"
    "  SLICERY_VOLUME_SIZE   the volume's size in bytes, as --volume-size\n"
    "  SLICERY_NO_VERIFY     1: the same as --no-verify\n"
    "  SLICERY_RECOVERY      N: the same as --recovery N\n"
    "  SLICERY_NO_RESUME     1: the same as --no-resume\n"
    "\n"
    "Without a volume size, the split writes only to a volume directory that is\n"
    "a mount point: a directory with nothing mounted on it is an empty drive.\n"
    "A rebuilt file that replaces an existing one is written beside it, as\n"
    "NAME.slicery-partial, and renamed over it only once it is whole.\n"
    "\n"
    "A split keeps a journal on this computer, in $XDG_STATE_HOME/slicery/ (by\n"
    "default ~/.local/state/slicery/; on Windows %LOCALAPPDATA%\\Slicery\\): the\n"
    "file's full path, size, time and identity, the set's id and settings, and\n"
    "where the chunk of each disk written lies, with its checksum. When a split\n"
    "stops part-way (aborted, killed, a power cut), splitting the same file\n"
    "again asks whether to go on from the next disk; Yes checks the file against\n"
    "the journal, then asks for that disk. The journal goes once the split is\n"
    "complete.\n"
    "\n"
    "Each volume of a set holds three files:\n"
    "  SLICERY.A2Z   the chunk: raw bytes of the file\n"
    "  SLICERY.Q2Z   the record: source path, disk index from 0, + (more follow)\n"
    "                or * (last), chunk length, and the id shared by the set\n"
    "  SLICERY.L2Z   empty; it proves that the volume takes writes\n"
    "With --recovery, each data disk also holds SLICERY.C2Z, the checksums of\n"
    "its chunk's blocks, and each recovery disk holds SLICERY.R2Z (its\n"
    "recovery chunk) and SLICERY.P2Z (its record).\n"
    "\n"
    "Exit status: 0 when the program ends, also at the end of its input;\n"
    "2 for a bad command line, volume size or number of recovery disks.\n"
    "With --check: 0 when the set is whole, 1 when it can be rebuilt (its\n"
    "damaged or missing disks are named), 3 when it cannot; 4 when the check\n"
    "ends before its verdict (cancelled at the first request, or the end of\n"
    "its input); 2 as above.\n";

namespace {

constexpr std::string_view kVolume = "--volume";
constexpr std::string_view kVolumeSize = "--volume-size";
constexpr std::string_view kRecovery = "--recovery";
constexpr int kMaxRecovery = 16;

// Takes the value of option `name` from "--name=VALUE" or from the next
// argument into *value. Returns what is wrong, or nothing.
std::optional<std::string> TakeValue(const std::vector<std::string>& args,
                                     std::size_t* at, std::string_view name,
                                     std::optional<std::string>* value) {
  const std::string& arg = args[*at];
  std::string given;
  if (arg.size() > name.size()) {
    given = arg.substr(name.size() + 1);
  } else if (*at + 1 < args.size()) {
    given = args[++*at];
  } else {
    return std::string(name) + " needs a value";
  }
  if (*value) return std::string(name) + " is given twice";
  if (given.empty()) return std::string(name) + " needs a value";
  *value = given;
  return std::nullopt;
}

bool IsOption(const std::string& arg, std::string_view name) {
  return arg == name ||
         (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=');
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  bool help = false;
  bool version = false;
  for (std::size_t at = 0; at < args.size() && line.error.empty(); ++at) {
    const std::string& arg = args[at];
    std::optional<std::string> error;
    if (arg == "--help") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "--no-verify") {
      line.no_verify = true;
    } else if (arg == "--no-resume") {
      line.no_resume = true;
    } else if (arg == "--check") {
      line.check = true;
    } else if (IsOption(arg, kVolume)) {
      error = TakeValue(args, &at, kVolume, &line.volume.root);
    } else if (IsOption(arg, kVolumeSize)) {
      error = TakeValue(args, &at, kVolumeSize, &line.volume.size);
    } else if (IsOption(arg, kRecovery)) {
      error = TakeValue(args, &at, kRecovery, &line.recovery);
    } else {
      error = "unknown argument \"" + arg + "\"";
    }
    if (error) line.error = *error;
  }
  // A check writes no set: it has no recovery disks to add, and no split to
  // keep a journal of.
  if (line.error.empty() && line.check && (line.recovery || line.no_resume)) {
    line.error = std::string(line.recovery ? "--recovery" : "--no-resume") +
                 " does not go with --check";
  }
  using Action = CommandLine::Action;
  line.action = !line.error.empty() ? Action::kUsageError
                : help              ? Action::kHelp
                : version           ? Action::kVersion
                                    : Action::kRun;
  return line;
}

namespace {

// On unless the option was given or its variable is 1.
bool OnUnless(bool option, const char* variable) {
  return !option && !(variable != nullptr && std::string_view(variable) == "1");
}

}  // namespace

bool ReadBackVolumes(const CommandLine& line, const char* no_verify_variable) {
  return OnUnless(line.no_verify, no_verify_variable);
}

bool KeepSplitJournal(const CommandLine& line, const char* no_resume_variable) {
  return OnUnless(line.no_resume, no_resume_variable);
}

std::optional<int> RecoveryDisks(const CommandLine& line, const char* recovery_variable,
                                 std::string* error) {
  std::string name(kRecovery);
  std::string text;
  if (line.recovery) {
    text = *line.recovery;
  } else if (recovery_variable != nullptr && *recovery_variable != '\0') {
    name = "SLICERY_RECOVERY";
    text = recovery_variable;
  } else {
    return 0;
  }
  // Digits only, from 1 to 16: no sign, no spaces, no leading zeros to hide a
  // larger number.
  const bool digits = !text.empty() && text.size() <= 2 &&
                      text.find_first_not_of("0123456789") == std::string::npos &&
                      text[0] != '0';
  if (digits && std::stoi(text) <= kMaxRecovery) return std::stoi(text);
  *error = "slicery: " + name + " must be a number of recovery disks from 1 to " +
           std::to_string(kMaxRecovery) + ", not \"" + text + "\"\n";
  return std::nullopt;
}

std::string UsageHint(const std::string& error) {
  return "slicery: " + error +
         "; usage: slicery [--volume DIR] [--volume-size BYTES] [--no-verify] "
         "[--recovery N] | --help | --version\n";
}

}  // namespace slicery
