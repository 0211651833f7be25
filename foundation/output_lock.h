#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "output_file.h"
#include "result.h"

// How a build waits for another process holding the lock on a file it will write.
struct lock_wait {
    // Told the path once, when the build has to wait; may be empty.
    std::function<void(std::string_view path)> notice;
    // The longest wait in milliseconds; a negative one waits as long as it takes.
    int64_t timeout_ms = 10000;
};

// The files one build or clear writes, each found once (see output_target) and locked from
// before the first source is read until the object goes. The advisory lock (flock) is on the
// directory holding the file, as replacing a file gives its name a new file that a lock on the
// old one would not cover; the directories are locked in the order of their device and inode,
// so two processes never wait on each other in a circle.
class output_lock {
  public:
    output_lock() = default;
    output_lock(const output_lock&) = delete;
    output_lock& operator=(const output_lock&) = delete;

    // Releases what it held, then finds and locks the files at `paths` and removes the
    // temporary files that a process of this user, now gone, left for them. Fails with the
    // message of output_target::find, or, when the wait is over, with "Another build is writing
    // to file: " and the path.
    result lock(const std::vector<std::string_view>& paths, const lock_wait& wait);
    // The target found for `path` as given to lock, else null.
    output_target* find(std::string_view path);

  private:
    std::vector<output_target> targets_;
    std::vector<size_t> by_path_;  // indices of `targets_` in the order of their paths
};
