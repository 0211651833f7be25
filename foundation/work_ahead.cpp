#include "work_ahead.h"

#include <utility>

work_ahead::work_ahead(size_t count, int32_t threads, size_t ahead, job_function job)
    : job_(std::move(job)), count_(count), ahead_(ahead < 1 ? 1 : ahead), done_(count) {
    for (int32_t i = 0; i < threads; ++i) {
        pthread_t worker;
        // a worker the system refuses only leaves more of the work to take
        if (pthread_create(&worker, nullptr, run_worker, this) != 0) break;
        workers_.push_back(worker);
    }
}

work_ahead::~work_ahead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (pthread_t worker : workers_)
        pthread_join(worker, nullptr);
}

void* work_ahead::run_worker(void* self) {
    static_cast<work_ahead*>(self)->work();
    return nullptr;
}

void work_ahead::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || next_ == count_ || may_start(); });
        if (stopping_ || next_ == count_) return;
        const size_t item = next_++;
        lock.unlock();
        job_(item);
        lock.lock();
        done_[item] = true;
        changed_.notify_all();
    }
}

void work_ahead::take(size_t item) {
    std::unique_lock lock(mutex_);
    if (item == next_) {
        // no worker got to it: the caller would only wait
        ++next_;
        lock.unlock();
        job_(item);
        lock.lock();
        done_[item] = true;
    }
    changed_.wait(lock, [this, item] { return bool(done_[item]); });
    taken_ = item + 1;
    lock.unlock();
    changed_.notify_all();
}
