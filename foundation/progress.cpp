#include "progress.h"

#include <algorithm>
#include <cmath>

namespace {

// trunc(units + 0.5), kept far inside the int range: a step far larger than the total, or a NaN
// from odd units, must not overflow the conversion.
int32_t rounded_share(double units) {
    const double value = std::trunc(units + 0.5);
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::clamp(value, -1e9, 1e9));
}

}  // namespace

void progress_report(int32_t percent, const progress_scale& scale) {
    if (!scale.report || scale.total_units == 0) return;
    scale.report(scale.done_percent +
                 rounded_share(scale.step_units / scale.total_units * percent * scale.scale));
}

void progress_step_done(progress_scale& scale) {
    if (scale.total_units == 0) return;
    scale.done_percent += rounded_share(scale.step_units / scale.total_units * 100 * scale.scale);
}

progress_function scaled_progress(const progress_scale& scale) {
    return [&scale](int32_t percent) { progress_report(percent, scale); };
}
