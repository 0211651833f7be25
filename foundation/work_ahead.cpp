#include "work_ahead.h"

#include <utility>

sigset_t stop_signals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal_number : stop_signal_numbers)
        sigaddset(&stops, signal_number);
    return stops;
}

bool start_helper_thread(pthread_t& thread, void* (*run)(void*), void* argument) {
    const sigset_t stops = stop_signals();
    sigset_t old;
    // a new thread starts with the mask of the thread that makes it
    pthread_sigmask(SIG_BLOCK, &stops, &old);
    const bool started = pthread_create(&thread, nullptr, run, argument) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return started;
}

work_ahead::work_ahead(size_t count, int32_t threads, size_t ahead, job_function job)
    : job_(std::move(job)),
      count_(count),
      ahead_(ahead < 1 ? 1 : ahead),
      worker_wake_(std::make_unique<std::condition_variable[]>(threads > 0 ? threads : 0)),
      done_(count) {
    for (int32_t i = 0; i < threads; ++i) {
        pthread_t worker;
        // a worker the system refuses only leaves the work to fewer
        if (!start_helper_thread(worker, run_worker, this)) break;
        workers_.push_back(worker);
    }
    {
        const std::lock_guard lock(mutex_);
        ready_ = true;
    }
    wake_workers();
}

work_ahead::~work_ahead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_workers();
    for (pthread_t worker : workers_)
        pthread_join(worker, nullptr);
}

void* work_ahead::run_worker(void* self) {
    auto* pool = static_cast<work_ahead*>(self);
    size_t worker = 0;
    {
        const std::lock_guard lock(pool->mutex_);
        worker = pool->joined_++;
    }
    pool->work(worker);
    return nullptr;
}

void work_ahead::wake_workers() {
    for (size_t i = 0; i < workers_.size(); ++i)
        worker_wake_[i].notify_one();
}

void work_ahead::work(size_t worker) {
    std::condition_variable& wake = worker_wake_[worker];
    std::unique_lock lock(mutex_);
    wake.wait(lock, [this] { return ready_ || stopping_; });
    for (size_t item = worker; item < count_; item += workers_.size()) {
        wake.wait(lock, [this, item] { return stopping_ || item < taken_ + ahead_; });
        if (stopping_) return;
        lock.unlock();
        job_(item, worker);
        lock.lock();
        done_[item] = true;
        if (awaited_ == item) taker_wake_.notify_one();
    }
}

void work_ahead::take(size_t item) {
    if (workers_.empty()) {
        job_(item, 0);
        taken_ = item + 1;
        return;
    }
    std::unique_lock lock(mutex_);
    awaited_ = item;
    taker_wake_.wait(lock, [this, item] { return bool(done_[item]); });
    awaited_ = SIZE_MAX;
    taken_ = item + 1;
    // one more item comes within reach
    const size_t next = taken_ + ahead_ - 1;
    lock.unlock();
    if (next < count_) worker_wake_[next % workers_.size()].notify_one();
}
