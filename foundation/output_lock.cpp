#include "output_lock.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <unordered_map>

namespace {

constexpr int64_t poll_interval_ms = 10;

int64_t now_ms() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// One directory holding targets: its numbers and the target owning its descriptor.
struct held_directory {
    uint64_t device;
    uint64_t inode;
    size_t owner;
};

// Whether flock answered that another process holds the lock; any other failure (a directory
// opened for its path only, a file system without locks) leaves it unlocked.
bool is_busy(int directory, int operation) {
    int answer;
    do {
        answer = ::flock(directory, operation);
    } while (answer != 0 && errno == EINTR && (operation & LOCK_NB) == 0);
    return answer != 0 && errno == EWOULDBLOCK;
}

result take_lock(int directory, std::string_view path, const lock_wait& wait, bool& noticed) {
    if (!is_busy(directory, LOCK_EX | LOCK_NB)) return result::success();
    if (!noticed && wait.notice) wait.notice(path);
    noticed = true;
    if (wait.timeout_ms < 0) {
        (void)is_busy(directory, LOCK_EX);
        return result::success();
    }
    // flock has no time limit of its own
    const int64_t deadline = now_ms() + wait.timeout_ms;
    while (now_ms() < deadline) {
        const struct timespec pause { 0, poll_interval_ms * 1000000 };
        ::nanosleep(&pause, nullptr);
        if (!is_busy(directory, LOCK_EX | LOCK_NB)) return result::success();
    }
    byte_string message("Another build is writing to file: ");
    message.append(path);
    return result::failure(message.view());
}

// Finds a target for each of `paths`, and each directory holding them once: a second
// descriptor of a directory would wait for the lock of the first, so the targets in one share the
// first one's, found by its path, or else by its numbers.
result find_targets(const std::vector<std::string_view>& paths, std::vector<output_target>& targets,
                    std::vector<held_directory>& directories) {
    std::unordered_map<std::string, int> by_directory_path;
    const output_target::directory_lookup known = [&by_directory_path](std::string_view path) {
        const auto at = by_directory_path.find(std::string(path));
        return at == by_directory_path.end() ? -1 : at->second;
    };
    for (std::string_view path : paths) {
        output_target target;
        if (result found = target.find(path, known); !found.is_ok()) return found;
        if (target.owns_directory()) {
            struct stat st {};
            (void)::fstat(target.directory(), &st);
            const auto same = std::find_if(directories.begin(), directories.end(), [&st](auto& d) {
                return d.device == st.st_dev && d.inode == st.st_ino;
            });
            if (same != directories.end()) {
                target.borrow_directory(targets[same->owner]);
            } else {
                directories.push_back({st.st_dev, st.st_ino, targets.size()});
            }
            by_directory_path.emplace(target.directory_path(), target.directory());
        }
        targets.push_back(std::move(target));
    }
    return result::success();
}

}  // namespace

result output_lock::lock(const std::vector<std::string_view>& paths, const lock_wait& wait) {
    targets_.clear();
    by_path_.clear();
    targets_.reserve(paths.size());
    std::vector<held_directory> directories;
    if (result found = find_targets(paths, targets_, directories); !found.is_ok()) {
        targets_.clear();
        return found;
    }
    std::sort(directories.begin(), directories.end(), [](const auto& a, const auto& b) {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    });
    bool noticed = false;
    for (const held_directory& directory : directories) {
        const output_target& owner = targets_[directory.owner];
        if (result locked = take_lock(owner.directory(), owner.path().view(), wait, noticed);
            !locked.is_ok()) {
            targets_.clear();
            return locked;
        }
    }
    // the build that held the lock may have replaced the files since they were found
    for (output_target& target : targets_)
        target.refresh();
    by_path_.resize(targets_.size());
    for (size_t i = 0; i < targets_.size(); ++i)
        by_path_[i] = i;
    // paths to one name learn together when the build replaces its file
    std::vector<size_t> by_name = by_path_;
    std::sort(by_name.begin(), by_name.end(), [this](size_t a, size_t b) {
        const output_target& x = targets_[a];
        const output_target& y = targets_[b];
        return x.directory() != y.directory() ? x.directory() < y.directory()
                                              : x.name().view() < y.name().view();
    });
    for (size_t i = 1; i < by_name.size(); ++i) {
        output_target& x = targets_[by_name[i - 1]];
        output_target& y = targets_[by_name[i]];
        if (x.directory() == y.directory() && x.name() == y.name()) y.join(x);
    }
    std::sort(by_path_.begin(), by_path_.end(), [this](size_t a, size_t b) {
        return targets_[a].path().view() < targets_[b].path().view();
    });
    for (const held_directory& directory : directories) {
        const int fd = targets_[directory.owner].directory();
        std::vector<std::string_view> names;
        for (const output_target& target : targets_) {
            if (target.directory() == fd) names.push_back(target.name().view());
        }
        remove_stale_temporaries(fd, names);
    }
    return result::success();
}

output_target* output_lock::find(std::string_view path) {
    const auto at = std::lower_bound(
        by_path_.begin(), by_path_.end(), path,
        [this](size_t i, std::string_view key) { return targets_[i].path().view() < key; });
    if (at == by_path_.end() || targets_[*at].path().view() != path) return nullptr;
    return &targets_[*at];
}
