#pragma once

#include <cstdint>
#include <functional>

// Receives the overall percent of a running job.
using progress_function = std::function<void(int32_t percent)>;

// Turns the progress of one step of a multi-step job into overall percent. A step's share is
// step_units / total_units of 100 x scale; a scale below 1 leaves the rest of the bar to later
// work. Each step is rounded on its own, so the sum may end a point or two away from the goal.
struct progress_scale {
    double total_units = 1.0;
    double step_units = 1.0;
    double scale = 1.0;
    int32_t done_percent = 0;  // the finished steps' shares
    progress_function report;  // empty: nothing is reported
};

// Reports done_percent plus `percent` (0 to 100) of the step's share, rounded; nothing without a
// report function or with total_units 0.
void progress_report(int32_t percent, const progress_scale& scale);
// Adds the step's share, rounded, to done_percent; nothing with total_units 0.
void progress_step_done(progress_scale& scale);

// A progress function for work that reports its own percent: `scale`, which must outlive it,
// turns that into overall percent through progress_report.
progress_function scaled_progress(const progress_scale& scale);
