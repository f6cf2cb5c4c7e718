#include "ui/progress_meter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ui/console.h"

namespace slicery {
namespace {

TEST(ProgressMeterTest, DrawsOneLineOutOfLabelDotsAndClosingBracket) {
  std::ostringstream out;
  ProgressMeter meter(out);
  meter.Start("Writing to disk [");
  meter.Dot();
  meter.Dot();
  meter.Finish();
  out << 12 << " bytes written";
  EndLine(out);
  EXPECT_EQ(out.str(), "Writing to disk [..] 12 bytes written\n");
}

}  // namespace
}  // namespace slicery
