#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// Runs a job for the items 0 to count - 1 on worker threads, started in that order, while one
// caller takes the items in the same order. At most `ahead` items past the last one taken are
// started, which bounds what finished items hold. A job touches only what belongs to its item.
class work_ahead {
  public:
    using job_function = std::function<void(size_t item)>;

    // Starts up to `threads` workers; with none (or none the system gives) take runs each job.
    work_ahead(size_t count, int32_t threads, size_t ahead, job_function job);
    work_ahead(const work_ahead&) = delete;
    work_ahead& operator=(const work_ahead&) = delete;
    // Starts no further item and waits for the running ones.
    ~work_ahead();

    // Returns once the job of `item`, the item after the one taken last, has returned; what it
    // wrote is then the caller's. Runs the job itself when no worker has started it.
    void take(size_t item);

  private:
    static void* run_worker(void* self);
    void work();
    bool may_start() const { return next_ < count_ && next_ < taken_ + ahead_; }

    job_function job_;
    size_t count_;
    size_t ahead_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;   // the first item not started
    size_t taken_ = 0;  // the items taken so far
    std::vector<bool> done_;
    bool stopping_ = false;
    std::vector<pthread_t> workers_;
};
