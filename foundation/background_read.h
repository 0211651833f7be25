#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "files.h"

// Reads the next `count` bytes of an open file into memory the caller owns, on a thread of its
// own and a step at a time, so that the caller can work on the first bytes while the rest are
// still read: a large source is parsed while it arrives. A small file, or one where no thread is
// to be had, is read whole at the first wait.
class background_read {
  public:
    // `bytes` must hold `count` bytes and outlive the reading; the file must not be read by
    // anyone else until `finish` or the destructor returns.
    background_read(file_descriptor file, char* bytes, size_t count);
    background_read(const background_read&) = delete;
    background_read& operator=(const background_read&) = delete;
    // Stops at the next step and waits for the thread.
    ~background_read();

    // Waits until at least `n` bytes are read or the reading has stopped; gives the bytes read,
    // which are then the caller's to read.
    size_t wait_for(size_t n);
    // Waits for the reading to stop: at `count` bytes, at the end of the file, or at a failed
    // read. Gives the bytes read.
    size_t finish();
    // A read failed; what came before it was read.
    bool failed() const { return failed_.load(std::memory_order_acquire); }

  private:
    static void* run(void* self);
    void read_all();

    // Bytes read so far, with stopped_bit once the reading has stopped.
    static constexpr uint64_t stopped_bit = uint64_t{1} << 63;

    file_descriptor file_;
    char* bytes_;
    size_t count_;
    std::atomic<uint64_t> state_{0};
    std::atomic<bool> failed_{false};
    std::atomic<bool> stopping_{false};
    pthread_t thread_{};
    bool threaded_ = false;
    bool joined_ = false;
};
