#include "ui/progress_meter.h"

#include <gtest/gtest.h>

#include "fakes/fake_host.h"
#include "ui/console.h"

namespace slicery {
namespace {

TEST(ProgressMeterTest, DrawsOneLineOutOfLabelDotsAndClosingBracket) {
  FakeHost host;
  ProgressMeter meter(host.out);
  meter.Start("Writing to disk [");
  meter.Dot();
  meter.Dot();
  meter.Finish();
  host.out << 12 << " bytes written";
  EndLine(host.ctx);
  EXPECT_EQ(host.out.str(), "Writing to disk [..] 12 bytes written\n");
}

}  // namespace
}  // namespace slicery
