#include "ui/progress_meter.h"

#include <ostream>

namespace slicery {

void ProgressMeter::Start(const char* label) { out_ << label << std::flush; }

void ProgressMeter::Dot() { out_ << '.'; }

void ProgressMeter::Show() { out_.flush(); }

void ProgressMeter::Finish() { out_ << "] " << std::flush; }

}  // namespace slicery
