#include "ui/progress_meter.h"

#include <ostream>

namespace slicery {

void ProgressMeter::Start(const char* label) { out_ << label << std::flush; }

void ProgressMeter::Dot() { out_ << '.'; }

void ProgressMeter::Show() { out_.flush(); }

void ProgressMeter::Finish() { out_ << "] " << std::flush; }

void DrawDotsDue(ProgressMeter& meter, std::uint64_t done, std::uint64_t length,
                 std::uint64_t* drawn) {
  if (length == 0) return;
  // Multiplied in two steps, so that no length near 2^64 overflows.
  const std::uint64_t due =
      done / length * kProgressScale + done % length * kProgressScale / length;
  for (; *drawn < due; ++*drawn) {
    meter.Dot();
    meter.Show();
  }
}

}  // namespace slicery
