#include <gtest/gtest.h>

#include <vector>

#include "imageio/progress.h"

namespace lumora {
namespace {

// The last unit of work must report exactly 100 whatever the total: the
// viewer hides its gauge and shows the load time only at 100.
TEST(Progress, LastUnitReportsHundredForEveryTotal) {
  for (int64_t total : {1, 3, 7, 49, 100, 333, 479, 768, 1023, 4097, 65535, 1000003}) {
    std::vector<int> seen;
    std::atomic<bool> aborting{false};
    TIOProgress progress(aborting, [&](int percent) { seen.push_back(percent); });
    progress.SetTotalUnits(total);
    for (int64_t unit = 0; unit <= total; ++unit) ASSERT_TRUE(progress.ReportIfChanged(unit));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100) << "total " << total;
    EXPECT_EQ(seen.front(), 0) << "total " << total;
  }
}

TEST(Progress, AbortStopsTheWork) {
  TIOProgress progress;
  progress.SetTotalUnits(10);
  EXPECT_TRUE(progress.Report(1));
  progress.Abort();
  EXPECT_FALSE(progress.Report(2));
}

// The first reason a codec gives is the one kept; a flag set from outside
// without a reason is a cancellation, as is the caller's own cancel flag.
TEST(Progress, FailureReasons) {
  TIOProgress failing;
  EXPECT_FALSE(failing.Failure());
  failing.Fail(TIOFailureKind::InvalidData, "RLE run past the end of the data");
  failing.Fail(TIOFailureKind::OverLimit, "later");
  EXPECT_TRUE(failing.Aborting());
  EXPECT_EQ(failing.Failure().Kind, TIOFailureKind::InvalidData);
  EXPECT_EQ(failing.Failure().Describe(), "invalid data: RLE run past the end of the data");

  std::atomic<bool> aborting{true};
  TIOProgress cancelledByFlag(aborting, {});
  EXPECT_EQ(cancelledByFlag.Failure().Kind, TIOFailureKind::Cancelled);

  std::atomic<bool> outcome{false}, cancel{true};
  TIOProgress cancelled(outcome, {}, &cancel);
  EXPECT_FALSE(cancelled.Report(1));
  EXPECT_EQ(cancelled.Failure().Describe(), "cancelled");
}

}  // namespace
}  // namespace lumora
