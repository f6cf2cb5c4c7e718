// The dialogs of a split and of a rebuild, as the program shows them on the
// console: what the benchmark waits for and answers.
#pragma once

#include <string>

#include "dialog_texts.h"

namespace slicery::bench {

inline const std::string kMenuText = texts::kMenu;
inline const std::string kSplitInsertText = texts::kSplitInsert;
inline const std::string kIdentifyText = texts::kIdentify;
inline const std::string kCompleteText = texts::kComplete;

inline std::string ConfirmText(const std::string& recorded_path) {
  return texts::kConfirmTarget + recorded_path +
         "\nWould you like to reconstitute the file at this location?";
}

inline std::string RequestDiskText(int number) {
  return texts::kInsertNumbered + std::to_string(number);
}

// The data file that holds a volume's chunk.
inline const std::string kDataFile = "SLICERY.A2Z";

}  // namespace slicery::bench
