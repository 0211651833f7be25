#include "background_read.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "work_ahead.h"

namespace {

// Small enough that parsing starts soon, large enough that the calls cost nothing.
constexpr size_t read_step = 512 * 1024;
// Below this a thread costs more than it saves.
constexpr size_t threaded_from = 2 * 1024 * 1024;

}  // namespace

background_read::background_read(file_descriptor file, char* bytes, size_t count)
    : file_(file), bytes_(bytes), count_(count) {
    threaded_ = count >= threaded_from && start_helper_thread(thread_, run, this);
}

background_read::~background_read() {
    stopping_.store(true, std::memory_order_relaxed);
    (void)finish();
}

void* background_read::run(void* self) {
    static_cast<background_read*>(self)->read_all();
    return nullptr;
}

void background_read::read_all() {
    size_t total = 0;
    while (total < count_ && !stopping_.load(std::memory_order_relaxed)) {
        const size_t want = std::min(read_step, count_ - total);
        const ssize_t n = ::read(file_, bytes_ + total, want);
        if (n > 0) {
            total += static_cast<size_t>(n);
            state_.store(total, std::memory_order_release);
            state_.notify_all();
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            failed_.store(true, std::memory_order_release);
            break;
        }
    }
    state_.store(total | stopped_bit, std::memory_order_release);
    state_.notify_all();
}

size_t background_read::wait_for(size_t n) {
    if (!threaded_ && !joined_) {
        joined_ = true;
        read_all();
    }
    for (;;) {
        const uint64_t state = state_.load(std::memory_order_acquire);
        const auto done = static_cast<size_t>(state & ~stopped_bit);
        if (done >= n || (state & stopped_bit) != 0) return done;
        state_.wait(state, std::memory_order_acquire);
    }
}

size_t background_read::finish() {
    const size_t done = wait_for(count_);
    if (threaded_ && !joined_) {
        joined_ = true;
        ::pthread_join(thread_, nullptr);
    }
    return done;
}
