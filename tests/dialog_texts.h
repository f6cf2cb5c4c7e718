// The texts of the program's dialogs, as the tests expect them byte for byte.
// Written out here once, independently of the sources that show them.
#pragma once

#include <string>

namespace slicery::texts {

inline constexpr char kMenu[] =
    "Slicerer- Hollowmere Software\nVersion 1.0\nIf you would like to Slicery a file, "
    "please click YES.\nIf you would like to reconstitute a file, please click NO.";
inline constexpr char kAnother[] = "Would you like to begin another operation?";
inline constexpr char kComplete[] =
    "\n          Operation complete!          \nWould you like to begin another "
    "operation?";

// Split.
inline constexpr char kCannotOpen[] =
    "Slicery was unable to open the file.  Please enter another filename.";
inline constexpr char kSplitInsert[] =
    "Please insert a disk into drive.  (No data on disk will be overwritten.)";
inline constexpr char kAbort[] = "Abort operation?";
inline constexpr char kUsedHere[] =
    "Error: this disk has already been used in this operation.\nSlicery cannot write "
    "any more data to this disk.";
inline constexpr char kReuse[] =
    "This disk has already been used in a previous operation.  Continuing will erase "
    "all former operation data.\nDo you still wish to use this disk?";
inline constexpr char kUnwritable[] =
    "Error: Slicery was unable to write to the specified medium.\nMake sure the disk is "
    "formatted and not write-protected.";
inline constexpr char kTooSmall[] =
    "Error: Disk must have at least 600 bytes free space.";
inline constexpr char kReadBack[] =
    "Error: the data on this disk did not read back as it was written.\nPlease use "
    "another disk.";
inline constexpr char kSourceChanged[] =
    "Error: the file changed while it was being split.\nOperation aborted.";
inline constexpr char kSourceUnreadable[] =
    "Error: Slicery was unable to read the file.\nOperation aborted.";

// Reconstitute.
inline constexpr char kIdentify[] = "Please insert a disk into drive.";
inline constexpr char kConfirmTarget[] = "This operation contains a file entitled\n";
inline constexpr char kOverwrite[] = "File already exists.  Do you wish to overwrite it?";
inline constexpr char kCannotCreate[] =
    "Slicery cannot reconstitute the file at this location.\nPlease specify a different "
    "location.";
inline constexpr char kInsertNumbered[] = "Please insert Disk #";
inline constexpr char kNoRecord[] =
    "Error: unable to read Slicery information from this disk.\nDo you want Slicery to "
    "search for the data again?";
inline constexpr char kOtherSet[] =
    "Error: this Slicery data on this disk is for a different file.";
inline constexpr char kOutOfOrder[] =
    "Error: this disk is part of the operation, but has not been inserted in the proper "
    "order.";
inline constexpr char kDamaged[] =
    "Error: the data on this disk is damaged or incomplete.\nNothing from this disk has "
    "been kept; insert it again, or a copy of it.";
inline constexpr char kReadFatal[] =
    "Slicery has encountered a fatal error while reading the disk.\nOperation "
    "aborted.\nPartial data from the file may be available.";
inline constexpr char kWriteFatal[] =
    "Slicery was unable to write the reconstituted file.\nOperation aborted.\nPartial "
    "data from the file may be available.";

// A rebuild whose file could not take the place of the existing one.
inline std::string NotReplaced(const std::string& target, const std::string& beside) {
  return "Slicery was unable to replace the existing file\n" + target +
         "\nwhich is unchanged.  The reconstituted file is in\n" + beside;
}

}  // namespace slicery::texts
