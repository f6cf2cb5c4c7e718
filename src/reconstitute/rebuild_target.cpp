#include "reconstitute/rebuild_target.h"

#include <ostream>

#include "diskset/volume.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

// A location that cannot take the file: true when the user will choose another.
bool RetryLocation(Context& ctx) {
  return ShowDialog(ctx,
                    "Slicery cannot reconstitute the file at this location.\nPlease "
                    "specify a different location.",
                    "Error", Buttons::kOkCancel, Icon::kError) == DialogResult::kOk;
}

// What is at a location the rebuilt file might be written to.
enum class Location {
  kFree,      // nothing yet
  kExisting,  // something the user may agree to have replaced
  kRefused,   // never written over: a folder, a pipe or socket (opening one
              // waits for another program), or one of the volume's own files
};

Location ExamineLocation(Env& env, const std::string& path) {
  const FileKind kind = env.KindOf(path);
  if (kind == FileKind::kDirectory || kind == FileKind::kOther) return Location::kRefused;
  if (IsVolumeFile(env, path)) return Location::kRefused;
  // Anything there, even what cannot be read, is replaced only with consent.
  return env.Exists(path) ? Location::kExisting : Location::kFree;
}

bool ConfirmOverwrite(Context& ctx) {
  return ShowDialog(ctx, "File already exists.  Do you wish to overwrite it?", "Slicery",
                    Buttons::kYesNo, Icon::kQuestion) == DialogResult::kYes;
}

// A location typed by the user, checked or created; *existing tells whether
// something was there that the user agreed to have replaced. False on cancel.
bool ChooseLocation(Context& ctx, std::string* target_path, bool* existing) {
  for (;;) {
    ctx.out << "Please enter desired location to reconstitute.";
    EndLine(ctx);
    if (ReadTypedPath(ctx, target_path)) {
      const Location location = ExamineLocation(ctx.env, *target_path);
      *existing = location == Location::kExisting;
      if (location == Location::kExisting) {
        if (ConfirmOverwrite(ctx)) return true;
        continue;
      }
      // A new location gets an empty file at once, which proves it can be
      // created and stays even if the user cancels before the first volume.
      if (location == Location::kFree) {
        std::unique_ptr<File> created = ctx.env.Open(*target_path, FileMode::kWriteText);
        if (created && created->Close()) return true;
      }
    }
    if (!RetryLocation(ctx)) return false;
  }
}

enum class RecordedChoice { kUse, kReplace, kChooseAnother, kCancel };

// The recorded path, checked like a typed one: on the machine that made the
// set it is usually the original file, which is replaced only with consent.
RecordedChoice CheckRecordedPath(Context& ctx, const std::string& recorded_path) {
  switch (ExamineLocation(ctx.env, recorded_path)) {
    case Location::kFree:
      return RecordedChoice::kUse;
    case Location::kExisting:
      return ConfirmOverwrite(ctx) ? RecordedChoice::kReplace
                                   : RecordedChoice::kChooseAnother;
    case Location::kRefused:
      break;
  }
  return RetryLocation(ctx) ? RecordedChoice::kChooseAnother : RecordedChoice::kCancel;
}

// The new file beside a file that is to be replaced: its name with this
// program's suffix, or, where a file of that name is there already (left by
// an earlier rebuild, say), with a number after it. Whatever is there is
// never written over.
constexpr char kPartialSuffix[] = ".slicery-partial";
constexpr int kPartialNames = 100;

bool CreateBeside(Env& env, Target* target) {
  for (int n = 1; n <= kPartialNames; ++n) {
    std::string name = target->place + kPartialSuffix;
    if (n > 1) name += "-" + std::to_string(n);
    target->file = env.CreateNew(name, target->place);
    if (target->file) {
      target->written_path = name;
      return true;
    }
  }
  return false;
}

// Opens the file the rebuilt file is written into. A file that the user
// agreed to have replaced stays as it is until the new one is whole; it must
// take writes all the same, as it would if it were written over in place.
// What is not a plain file (a device) is written as it stands. A symbolic
// link stays: the file it leads to is replaced, beside that file. False when
// the location will not take the file.
bool OpenTargetFile(Env& env, bool existing, Target* target) {
  target->place = target->path;
  if (existing && env.KindOf(target->path) == FileKind::kRegular) {
    target->place = env.LinkTarget(target->path).value_or(target->path);
    std::unique_ptr<File> old = env.Open(target->place, FileMode::kUpdateBinary);
    return old && old->Close() && CreateBeside(env, target);
  }
  target->written_path = target->path;
  target->file = env.Open(target->path, FileMode::kWriteBinary);
  return target->file != nullptr;
}

}  // namespace

bool OpenTarget(Context& ctx, const std::string& recorded_path, Target* target) {
  const DialogResult here =
      ShowDialog(ctx,
                 "This operation contains a file entitled\n" + recorded_path +
                     "\nWould you like to reconstitute the file at this location?",
                 "Slicery", Buttons::kYesNo, Icon::kQuestion);
  RecordedChoice recorded = RecordedChoice::kChooseAnother;
  if (here == DialogResult::kYes) recorded = CheckRecordedPath(ctx, recorded_path);
  if (recorded == RecordedChoice::kCancel) return false;
  for (;;) {
    bool existing = false;
    if (recorded == RecordedChoice::kUse || recorded == RecordedChoice::kReplace) {
      target->path = recorded_path;
      existing = recorded == RecordedChoice::kReplace;
      recorded = RecordedChoice::kChooseAnother;
    } else if (!ChooseLocation(ctx, &target->path, &existing)) {
      return false;
    }
    // A location that will not open is chosen again.
    if (OpenTargetFile(ctx.env, existing, target)) return true;
    if (!RetryLocation(ctx)) return false;
  }
}

void CloseUnfinished(Env& env, Target& target) {
  target.file->Close();  // what was written stays, whatever the close says
  if (!target.Replaces()) return;
  std::unique_ptr<File> written = env.Open(target.written_path, FileMode::kReadBinary);
  char first;
  bool failed = false;
  const bool empty = written && written->Read(&first, 1, &failed) == 0 && !failed;
  if (written) written->Close();  // read only
  if (empty) env.Remove(target.written_path);
}

}  // namespace slicery
