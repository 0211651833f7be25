#include "output_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {

constexpr int32_t buffer_size = 1 << 17;
// the kernel's own limit on a chain of symbolic links
constexpr int max_link_depth = 40;
// room for the temporary file's decorations within a 255-byte file name
constexpr size_t max_name_in_temporary = 200;

int64_t fault_after_bytes = -1;
bool fault_on_close = false;
byte_string fault_sync_of;
byte_string fault_rename_of;

ssize_t write_some(int fd, const char* bytes, size_t n) {
    if (fault_after_bytes < 0) return ::write(fd, bytes, n);
    if (fault_after_bytes == 0) {
        errno = EIO;
        return -1;
    }
    n = std::min(n, static_cast<size_t>(fault_after_bytes));
    const ssize_t written = ::write(fd, bytes, n);
    if (written > 0) fault_after_bytes -= written;
    return written;
}

int close_checked(int fd) {
    const int result = ::close(fd);
    if (fault_on_close) {
        errno = EIO;
        return -1;
    }
    return result;
}

bool is_faulty(const byte_string& fault_path, const byte_string& path) {
    if (fault_path.is_empty() || fault_path != path) return false;
    errno = EIO;
    return true;
}

int fsync_checked(int fd, const byte_string& path) {
    return is_faulty(fault_sync_of, path) ? -1 : ::fsync(fd);
}

int rename_checked(byte_string& from, byte_string& to, const byte_string& path) {
    return is_faulty(fault_rename_of, path) ? -1 : ::rename(from.c_str(), to.c_str());
}

std::string_view directory_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes a rename in `directory` survive a crash. Best effort: the file is in place already, and a
// directory without read permission can't be opened for it.
void sync_directory(std::string_view directory) {
    byte_string path(directory);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// Replaces a symbolic link's path by the path it holds; false when it cannot be read.
bool follow_link(byte_string& path) {
    byte_string link;
    for (int32_t size = 256;; size *= 4) {
        link.set_length(size);
        const ssize_t n = ::readlink(path.c_str(), link.data(), static_cast<size_t>(size));
        if (n < 0) return false;
        if (n < size) {
            link.set_length(static_cast<int32_t>(n));
            break;
        }
    }
    if (link.is_empty()) return false;
    if (link[0] != '/') {
        // a relative link is read from the directory holding it
        byte_string joined(directory_of(path.view()));
        joined.push('/');
        joined.append(link);
        link.move_from(joined);
    }
    path.move_from(link);
    return true;
}

}  // namespace

void set_output_fault_for_testing(int64_t fail_after_bytes, bool fail_close) {
    fault_after_bytes = fail_after_bytes < 0 ? -1 : fail_after_bytes;
    fault_on_close = fail_close;
}

void set_output_commit_fault_for_testing(std::string_view fail_sync_of,
                                         std::string_view fail_rename_of) {
    fault_sync_of.assign(fail_sync_of.data(), static_cast<int32_t>(fail_sync_of.size()));
    fault_rename_of.assign(fail_rename_of.data(), static_cast<int32_t>(fail_rename_of.size()));
}

output_file::~output_file() {
    discard();
}

result output_file::open(std::string_view path) {
    discard();
    path_.assign(path.data(), static_cast<int32_t>(path.size()));
    result_ = result::success();
    target_exists_ = false;
    if (path.empty() || path.find('\0') != std::string_view::npos) {
        fail(status_code::open_failed);
        return result_;
    }
    target_.assign(path_);
    struct stat st;
    bool exists = false;
    for (int depth = 0;; ++depth) {
        if (::lstat(target_.c_str(), &st) != 0) {
            // a missing file is made new; any other answer means the path cannot be used
            if (errno == ENOENT) break;
            fail(status_code::open_failed);
            return result_;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            break;
        }
        if (depth == max_link_depth || !follow_link(target_)) {
            fail(status_code::open_failed);
            return result_;
        }
    }
    if (exists) {
        target_exists_ = true;
        target_device_ = static_cast<uint64_t>(st.st_dev);
        target_inode_ = static_cast<uint64_t>(st.st_ino);
    }
    if (exists && (S_ISDIR(st.st_mode) || ::access(target_.c_str(), W_OK) != 0)) {
        fail(status_code::open_failed);
        return result_;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        in_place_ = true;
        do {
            fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) fail(status_code::open_failed);
        return result_;
    }
    const std::string_view target = target_.view();
    const size_t slash = target.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? target : target.substr(slash + 1);
    // A replacement starts readable by its owner alone and takes the old file's access before
    // its first byte; a new file gets 0666 less the umask or the directory's default ACL.
    if (!create_temporary(byte_string(directory_of(target)), name, exists ? 0600 : 0666)) {
        fail(status_code::open_failed);
        return result_;
    }
    if (exists && !take_access_of(st)) {
        discard();
        fail(status_code::open_failed);
    }
    return result_;
}

bool output_file::take_access_of(const struct stat& old) {
    // the owner first: changing it clears set-id bits that the mode then restores
    if (::fchown(fd_, old.st_uid, old.st_gid) != 0 && errno == EPERM) {
        // only a privileged process may give a file away; a member of the group may still keep it
        (void)::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
    }
    return ::fchmod(fd_, old.st_mode & 07777) == 0;
}

bool output_file::create_temporary(const byte_string& directory, std::string_view name,
                                   mode_t mode) {
    static uint32_t counter = 0;
    const auto pid = static_cast<unsigned long>(::getpid());
    name = name.substr(0, max_name_in_temporary);
    for (int attempt = 0; attempt < 100; ++attempt) {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%lu.%x%lx.tmp", pid, ++counter,
                      static_cast<unsigned long>(now.tv_nsec));
        temporary_.assign(directory);
        if (!temporary_.ends_with("/")) temporary_.push('/');
        temporary_.push('.');
        temporary_.append(name);
        temporary_.append(suffix);
        // O_EXCL: never write into a file that someone else made
        do {
            fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ >= 0) return true;
        if (errno != EEXIST) break;
    }
    temporary_.clear();
    return false;
}

void output_file::write(std::string_view bytes) {
    if (fd_ < 0 || !result_.is_ok() || bytes.empty()) return;
    if (buffer_.length() == 0) buffer_.set_length(buffer_size);
    const size_t room = static_cast<size_t>(buffer_size - buffered_);
    if (bytes.size() <= room) {
        std::copy(bytes.begin(), bytes.end(), buffer_.data() + buffered_);
        buffered_ += static_cast<int32_t>(bytes.size());
        return;
    }
    flush_buffer();
    if (bytes.size() >= static_cast<size_t>(buffer_size)) {
        // a large piece goes straight out instead of through the buffer
        write_through(bytes.data(), bytes.size());
        return;
    }
    std::copy(bytes.begin(), bytes.end(), buffer_.data());
    buffered_ = static_cast<int32_t>(bytes.size());
}

void output_file::flush_buffer() {
    const int32_t n = buffered_;
    buffered_ = 0;
    if (n > 0) write_through(buffer_.data(), static_cast<size_t>(n));
}

void output_file::write_through(const char* bytes, size_t n) {
    if (!result_.is_ok()) return;
    size_t done = 0;
    while (done < n) {
        const ssize_t written = write_some(fd_, bytes + done, n - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written == 0 || errno != EINTR) {
            fail(status_code::write_failed);
            return;
        }
    }
}

result output_file::commit() {
    if (fd_ < 0) {
        if (result_.is_ok()) fail(status_code::open_failed);
        return result_;
    }
    flush_buffer();
    // fsync before rename: after a crash the name must not point at bytes never written
    if (result_.is_ok() && !in_place_ && fsync_checked(fd_, path_) != 0) {
        fail(status_code::write_failed);
    }
    const int closed = close_checked(fd_);
    fd_ = -1;
    if (closed != 0 && result_.is_ok()) fail(status_code::write_failed);
    if (!in_place_ && result_.is_ok()) {
        if (rename_checked(temporary_, target_, path_) != 0) {
            fail(status_code::write_failed);
        } else {
            sync_directory(directory_of(target_.view()));
        }
    }
    if (!in_place_ && !result_.is_ok()) ::unlink(temporary_.c_str());
    temporary_.clear();
    in_place_ = false;
    buffered_ = 0;
    return result_;
}

result output_file::commit_to(output_batch& batch) {
    if (fd_ < 0 || in_place_) return commit();
    flush_buffer();
    if (!result_.is_ok()) return commit();
    if (batch.is_full()) batch.put_in_place();
    if (batch.refuses()) {
        // the files before this one were not all written: it must not replace its target
        discard();
        result_ = batch.failure_;
        return result_;
    }
    output_batch::pending_file pending;
    struct stat st;
    if (::fstat(fd_, &st) == 0) {
        pending.file_system = static_cast<uint64_t>(st.st_dev);
        pending.bytes = static_cast<int64_t>(st.st_size);
    }
    // the data goes to the disk while the next files are made; the batch waits for it
    (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    struct statvfs room;
    const bool knows_room = ::fstatvfs(fd_, &room) == 0;
    pending.fd = fd_;
    pending.replaces = target_exists_;
    pending.device = target_device_;
    pending.inode = target_inode_;
    pending.path.move_from(path_);
    pending.target.move_from(target_);
    pending.temporary.move_from(temporary_);
    batch.pending_bytes_ += pending.bytes;
    batch.pending_.push_back(std::move(pending));
    fd_ = -1;
    buffered_ = 0;
    const int64_t waiting = batch.pending_bytes_;
    if (waiting > batch.max_pending_bytes_ ||
        (knows_room && static_cast<uint64_t>(waiting) > room.f_bavail * room.f_frsize / 4)) {
        batch.put_in_place();
        if (batch.refuses()) result_ = batch.failure_;
    }
    return result_;
}

void output_file::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        if (!in_place_) ::unlink(temporary_.c_str());
    }
    temporary_.clear();
    in_place_ = false;
    buffered_ = 0;
}

void output_file::fail(status_code code) {
    if (!result_.is_ok()) return;
    byte_string message(code == status_code::open_failed ? "Can't open file for writing: "
                                                         : "Can't write to file: ");
    message.append(path_);
    result_ = result(code, std::move(message));
}

output_batch::output_batch(batch_failure policy, int32_t max_pending, int64_t max_pending_bytes)
    : policy_(policy),
      max_pending_(std::max(max_pending, 1)),
      max_pending_bytes_(max_pending_bytes) {
    // a quarter of the descriptors at most, leaving the rest to the program
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const auto quarter = static_cast<int64_t>(limit.rlim_cur / 4);
        max_pending_ = static_cast<int32_t>(std::clamp<int64_t>(quarter, 1, max_pending_));
    }
}

output_batch::~output_batch() {
    discard();
}

result output_batch::commit() {
    put_in_place();
    return std::exchange(failure_, result::success());
}

void output_batch::discard() {
    for (pending_file& file : pending_) {
        ::close(file.fd);
        ::unlink(file.temporary.c_str());
    }
    pending_.clear();
    pending_bytes_ = 0;
}

bool output_batch::holds(uint64_t device, uint64_t inode) const {
    for (const pending_file& file : pending_) {
        if (file.replaces && file.device == device && file.inode == inode) return true;
    }
    return false;
}

bool output_batch::holds(std::string_view path) const {
    if (pending_.empty()) return false;
    byte_string c_path(path);
    struct stat st;
    if (::stat(c_path.c_str(), &st) == 0) {
        return holds(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino));
    }
    if (errno != ENOENT && errno != ENOTDIR) return true;
    for (const pending_file& file : pending_) {
        if (!file.replaces) return true;
    }
    return false;
}

void output_batch::put_in_place() {
    if (pending_.empty()) return;
    sync_pending();
    // one directory sync per directory, after all of its renames
    std::vector<std::string_view> directories;
    bool stopped = false;
    for (pending_file& file : pending_) {
        if (stopped) {
            ::close(file.fd);
            ::unlink(file.temporary.c_str());
            continue;
        }
        bool good = file.synced;
        if (close_checked(file.fd) != 0) good = false;
        if (good && rename_checked(file.temporary, file.target, file.path) != 0) good = false;
        if (!good) {
            ::unlink(file.temporary.c_str());
            fail(file.path);
            stopped = policy_ == batch_failure::stop;
            continue;
        }
        const std::string_view directory = directory_of(file.target.view());
        if (std::find(directories.begin(), directories.end(), directory) == directories.end())
            directories.push_back(directory);
    }
    for (std::string_view directory : directories)
        sync_directory(directory);
    pending_.clear();
    pending_bytes_ = 0;
}

void output_batch::sync_pending() {
    std::vector<uint64_t> done;
    for (size_t first = 0; first < pending_.size(); ++first) {
        const uint64_t file_system = pending_[first].file_system;
        if (std::find(done.begin(), done.end(), file_system) != done.end()) continue;
        done.push_back(file_system);
        size_t last = first;
        bool faulty = false;
        for (size_t i = first; i < pending_.size(); ++i) {
            if (pending_[i].file_system != file_system) continue;
            last = i;
            faulty = faulty || is_faulty(fault_sync_of, pending_[i].path);
        }
        // One syncfs writes the data and inodes of every file; the first file's descriptor is
        // the oldest, so it reports any write error since that file was made.
        const bool synced_all = !faulty && ::syncfs(pending_[first].fd) == 0;
        // syncfs may write the last inode blocks after its flush of the disk cache: one fsync
        // flushes the cache again behind them
        const bool flushed = synced_all && ::fsync(pending_[last].fd) == 0;
        for (size_t i = first; i <= last; ++i) {
            pending_file& file = pending_[i];
            if (file.file_system != file_system) continue;
            if (flushed) {
                // each file still tells its own write errors, which syncfs may not report
                file.synced = ::sync_file_range(file.fd, 0, 0, SYNC_FILE_RANGE_WAIT_AFTER) == 0;
            } else if (synced_all && i == last) {
                // its fsync failed just now and has taken the error with it
                file.synced = false;
            } else {
                // one by one, so that only the failing files stay out
                file.synced = fsync_checked(file.fd, file.path) == 0;
            }
        }
    }
}

void output_batch::fail(const byte_string& path) {
    if (!failure_.is_ok()) return;
    byte_string message("Can't write to file: ");
    message.append(path);
    failure_ = result(status_code::write_failed, std::move(message));
}
