#pragma once

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The signals that stop a build: a signal handler removes its temporary files on them.
inline constexpr int stop_signal_numbers[] = {SIGINT, SIGTERM, SIGHUP};
// The same as a set.
sigset_t stop_signals();
// Starts `run(argument)` on a thread that leaves the stop signals to the threads that were there
// before it: the one writing a file over in place holds them back until it is done
// (see output_file), which a helper taking them would defeat. False when no thread was started.
[[nodiscard]] bool start_helper_thread(pthread_t& thread, void* (*run)(void*), void* argument);

// Runs a job for the items 0 to count - 1 on worker threads while one caller takes the items in
// that order. Item i runs on worker i % workers(), so memory a job takes from its thread's own
// heap can go back to that thread's heap in a later job there. At most `ahead` items past the
// last one taken are started, which bounds what finished items hold. A job touches only what
// belongs to its item.
class work_ahead {
  public:
    using job_function = std::function<void(size_t item, size_t worker)>;

    // Starts up to `threads` workers; with none (or none the system gives) take runs each job on
    // the caller's thread, as worker 0.
    work_ahead(size_t count, int32_t threads, size_t ahead, job_function job);
    work_ahead(const work_ahead&) = delete;
    work_ahead& operator=(const work_ahead&) = delete;
    // Starts no further item and waits for the running ones.
    ~work_ahead();

    size_t workers() const { return workers_.empty() ? 1 : workers_.size(); }
    // Returns once the job of `item`, the item after the one taken last, has returned; what it
    // wrote is then the caller's.
    void take(size_t item);

  private:
    static void* run_worker(void* self);
    void work(size_t worker);
    void wake_workers();

    job_function job_;
    size_t count_;
    size_t ahead_;
    std::mutex mutex_;
    // Each waiter is woken alone, when what it waits for may have come: a worker when an item of
    // its own comes within reach, the caller when the item it waits for is done.
    std::unique_ptr<std::condition_variable[]> worker_wake_;
    std::condition_variable taker_wake_;
    size_t awaited_ = SIZE_MAX;  // the item the caller waits for
    size_t taken_ = 0;           // the items taken so far
    size_t joined_ = 0;          // the workers that have their number
    std::vector<bool> done_;
    bool ready_ = false;  // every worker is started: the items can be dealt out
    bool stopping_ = false;
    std::vector<pthread_t> workers_;
};
