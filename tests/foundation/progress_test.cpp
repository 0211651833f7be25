#include "progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

progress_function record_into(std::vector<int32_t>& seen) {
    return [&seen](int32_t percent) { seen.push_back(percent); };
}

TEST(ProgressTest, ReportScalesTheStepsShare) {
    struct Row {
        double total;
        double step;
        double scale;
        int32_t done;
        int32_t percent;
        int32_t reported;
    } rows[] = {
        {1, 1, 1, 0, 37, 37},
        {3, 1, 1, 0, 100, 33},  // 33.3 rounds down
        {3, 2, 1, 0, 100, 67},  // 66.7 rounds up
        {4, 1, 1, 0, 50, 13},   // 12.5 rounds up
        {3, 1, 0.9, 30, 50, 45},
        {200, 50, 0.8, 10, 100, 30},
        {1, 1e300, 1, 0, 100, 1000000000},  // absurd units stay in range
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.step << "/" << row.total << " x" << row.scale << " at " << row.percent);
        std::vector<int32_t> seen;
        progress_scale scale{row.total, row.step, row.scale, row.done, record_into(seen)};
        progress_report(row.percent, scale);
        EXPECT_EQ(seen, std::vector<int32_t>{row.reported});
        EXPECT_EQ(scale.done_percent, row.done);
    }
}

TEST(ProgressTest, StepsRoundEachOnTheirOwn) {
    progress_scale scale;
    scale.total_units = 3;
    for (int i = 0; i < 3; ++i)
        progress_step_done(scale);
    EXPECT_EQ(scale.done_percent, 99);

    scale.done_percent = 0;
    scale.scale = 0.9;
    for (int i = 0; i < 3; ++i)
        progress_step_done(scale);
    EXPECT_EQ(scale.done_percent, 90);
}

TEST(ProgressTest, NothingWithoutCallbackOrTotal) {
    std::vector<int32_t> seen;
    progress_scale scale;
    progress_report(50, scale);
    scale.report = record_into(seen);
    scale.total_units = 0;
    progress_report(50, scale);
    progress_step_done(scale);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(scale.done_percent, 0);
}

TEST(ProgressTest, ScaledCallbackReportsThroughTheScale) {
    std::vector<int32_t> seen;
    progress_scale scale{4, 1, 0.8, 40, record_into(seen)};
    const progress_function reader_progress = scaled_progress(scale);
    reader_progress(50);
    reader_progress(100);
    EXPECT_EQ(seen, (std::vector<int32_t>{50, 60}));
}

}  // namespace
