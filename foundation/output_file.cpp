#include "output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "work_ahead.h"

namespace {

constexpr int32_t buffer_size = 1 << 17;
// Unsent bytes from which a file of a batch starts its writeback when it is added.
constexpr int64_t batched_writeback_bytes = int64_t{1} << 20;
// Pieces in one writev: the system's IOV_MAX.
constexpr size_t max_gathered = 1024;
// Shorter pieces are copied into the buffer rather than gathered where they are.
constexpr size_t gathered_piece_bytes = 512;
// the kernel's own limit on a chain of symbolic links
constexpr int max_link_depth = 40;
// room for the temporary file's decorations within a 255-byte file name
constexpr size_t max_name_in_temporary = 200;

int64_t fault_after_bytes = -1;
bool fault_on_close = false;
byte_string fault_sync_of;
byte_string fault_rename_of;

constexpr std::string_view replaced_message = "File was replaced during the build: ";
constexpr std::string_view write_message = "Can't write to file: ";

// A negative offset writes at the file position.
ssize_t write_some(int fd, const char* bytes, size_t n, off_t offset = -1) {
    const auto put = [fd, offset](const char* from, size_t count) {
        return offset < 0 ? ::write(fd, from, count) : ::pwrite(fd, from, count, offset);
    };
    if (fault_after_bytes < 0) return put(bytes, n);
    if (fault_after_bytes == 0) {
        errno = EIO;
        return -1;
    }
    n = std::min(n, static_cast<size_t>(fault_after_bytes));
    const ssize_t written = put(bytes, n);
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

int open_at(int directory, const char* name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::openat(directory, name, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string_view directory_of(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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

// Follows the symbolic links of `path` to the file it reaches, or to the missing name a new
// file would take; false when a link can't be read or the chain is too long.
bool follow_links(byte_string& path) {
    struct stat st;
    for (int depth = 0; depth <= max_link_depth; ++depth) {
        if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
        if (!S_ISLNK(st.st_mode)) return true;
        if (!follow_link(path)) return false;
    }
    return false;
}

// The identity of `name` in `directory` (of `directory` itself with an empty name), links not
// followed; false with errno when it can't be had.
bool identify(int directory, const char* name, file_identity& id) {
    struct statx st;
    const int flags = AT_SYMLINK_NOFOLLOW | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(directory, name, flags, STATX_TYPE | STATX_INO | STATX_BTIME, &st) != 0)
        return false;
    id.device = ::makedev(st.stx_dev_major, st.stx_dev_minor);
    id.inode = st.stx_ino;
    id.type = st.stx_mode & S_IFMT;
    id.born = (st.stx_mask & STATX_BTIME) != 0
                  ? st.stx_btime.tv_sec * int64_t{1000000000} + st.stx_btime.tv_nsec
                  : 0;
    return true;
}

// Temporary files a signal removes. A fixed table, as the handler may neither allocate nor
// lock: a slot is in use while it holds its directory plus one. All zero, it costs the start of
// the program nothing.
struct temporary_slot {
    std::atomic<int> directory_plus_one{0};
    char name[256] = {};
};
constexpr int slot_count = 1024;
constinit temporary_slot slots[slot_count];
std::atomic<bool> handlers_installed{false};

extern "C" void remove_temporaries_and_die(int signal_number) {
    for (temporary_slot& slot : slots) {
        const int directory = slot.directory_plus_one.load() - 1;
        if (directory >= 0) ::unlinkat(directory, slot.name, 0);
    }
    // SA_RESETHAND restored the default action, which ends the process once this returns
    ::raise(signal_number);
}

void install_handlers() {
    if (handlers_installed.exchange(true)) return;
    for (int signal_number : stop_signal_numbers) {
        struct sigaction old {};
        // a handler of the program's own, or a signal ignored (as under nohup), stays
        if (::sigaction(signal_number, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = remove_temporaries_and_die;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        (void)::sigaction(signal_number, &action, nullptr);
    }
}

// The slot now naming `name` in `directory`, or -1 when the table is full. Threads may take
// slots side by side: one is claimed, as naming no directory yet, before its name is written.
int remember_temporary(int directory, const byte_string& name) {
    install_handlers();
    const auto length = static_cast<size_t>(name.length());
    if (length >= sizeof slots[0].name) return -1;
    for (int i = 0; i < slot_count; ++i) {
        int free = 0;
        if (!slots[i].directory_plus_one.compare_exchange_strong(free, -1)) continue;
        std::memcpy(slots[i].name, name.data(), length);
        slots[i].name[length] = '\0';
        slots[i].directory_plus_one.store(directory + 1);
        return i;
    }
    return -1;
}

void forget_temporary(int& slot) {
    if (slot >= 0) slots[slot].directory_plus_one.store(0);
    slot = -1;
}

// Removes the temporary file `name` in `directory`, and its slot.
void remove_temporary(int directory, byte_string& name, int& slot) {
    forget_temporary(slot);
    if (!name.is_empty()) ::unlinkat(directory, name.c_str(), 0);
}

// The temporary file for `name`: ".<name>.<pid>.<hex digits><ending>".
void temporary_name(std::string_view name, std::string_view ending, byte_string& out) {
    static std::atomic<uint32_t> counter{0};
    // the name is all it is for: a fork's child writes no files
    static const pid_t pid = ::getpid();
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%lu.%x%lx", static_cast<unsigned long>(pid), ++counter,
                  static_cast<unsigned long>(now.tv_nsec));
    out.assign(".");
    out.append(name.substr(0, max_name_in_temporary));
    out.append(suffix);
    out.append(ending);
}

// Creates a fresh file named like temporary_name; -1 when none can be made.
int create_beside(int directory, std::string_view name, std::string_view ending, mode_t mode,
                  byte_string& created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_name(name, ending, created);
        // O_EXCL: never write into a file that someone else made
        const int fd = open_at(directory, created.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    created.clear();
    return -1;
}

bool is_digits(std::string_view text, bool hex) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!(c >= '0' && c <= '9') && !(hex && c >= 'a' && c <= 'f')) return false;
    }
    return true;
}

// The pid in `entry` when it is a temporary file of output_file for one of `names`, else 0.
long temporary_owner(std::string_view entry, const std::vector<std::string_view>& names) {
    constexpr std::string_view ending = ".tmp";
    if (!entry.starts_with('.') || !entry.ends_with(ending)) return 0;
    entry = entry.substr(1, entry.size() - 1 - ending.size());
    const size_t hex = entry.rfind('.');
    if (hex == std::string_view::npos || !is_digits(entry.substr(hex + 1), true)) return 0;
    entry = entry.substr(0, hex);
    const size_t pid = entry.rfind('.');
    if (pid == std::string_view::npos || !is_digits(entry.substr(pid + 1), false) ||
        entry.size() - pid > 10)
        return 0;
    const std::string_view name = entry.substr(0, pid);
    for (std::string_view target : names) {
        if (target.substr(0, max_name_in_temporary) == name)
            return std::strtol(entry.data() + pid + 1, nullptr, 10);
    }
    return 0;
}

// Copies the first `size` bytes of `from` to `to`, through `buffer`; the testing fault applies
// with `faulty`.
bool copy_bytes(int from, int to, off_t size, byte_string& buffer, bool faulty) {
    for (off_t done = 0; done < size;) {
        const auto chunk = static_cast<size_t>(std::min<off_t>(size - done, buffer.length()));
        const ssize_t got = ::pread(from, buffer.data(), chunk, done);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return false;
        }
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = faulty ? write_some(to, buffer.data() + put,
                                                  static_cast<size_t>(got - put), done + put)
                                     : ::pwrite(to, buffer.data() + put,
                                                static_cast<size_t>(got - put), done + put);
            if (n <= 0 && !(n < 0 && errno == EINTR)) return false;
            if (n > 0) put += n;
        }
        done += got;
    }
    return true;
}

bool overwrite(int from, int to, off_t size, byte_string& buffer, bool faulty) {
    return copy_bytes(from, to, size, buffer, faulty) && ::ftruncate(to, size) == 0 &&
           ::fsync(to) == 0;
}

// The names of the extended attributes of `fd`, each ended by a NUL; false when they can't be
// listed. A file system without them has none.
bool list_attributes(int fd, byte_string& names) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0 && errno == ENOTSUP) {
            names.clear();
            return true;
        }
        if (size < 0) return false;
        names.set_length(static_cast<int32_t>(size));
        const ssize_t n = size == 0 ? 0 : ::flistxattr(fd, names.data(), names.length());
        if (n >= 0) {
            names.set_length(static_cast<int32_t>(n));
            return true;
        }
        if (errno != ERANGE) return false;
    }
    return false;
}

bool has_name(std::string_view list, std::string_view name) {
    for (size_t at = 0; at < list.size();) {
        const size_t end = list.find('\0', at);
        if (list.substr(at, end - at) == name) return true;
        at = end + 1;
    }
    return false;
}

// Gives `to` exactly the extended attributes of `from`, ACLs among them: a default ACL that the
// new file inherited from its directory goes unless the old file had it too.
bool copy_attributes(int from, int to) {
    byte_string names;
    byte_string own;
    if (!list_attributes(from, names) || !list_attributes(to, own)) return false;
    for (size_t at = 0; at < static_cast<size_t>(own.length());) {
        const char* name = own.data() + at;
        if (!has_name(names.view(), name) && ::fremovexattr(to, name) != 0) return false;
        at += std::strlen(name) + 1;
    }
    byte_string value;
    for (size_t at = 0; at < static_cast<size_t>(names.length());) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0) return false;
        value.set_length(static_cast<int32_t>(size));
        const ssize_t n = ::fgetxattr(from, name, value.data(), value.length());
        if (n < 0 || ::fsetxattr(to, name, value.data(), static_cast<size_t>(n), 0) != 0)
            return false;
    }
    return true;
}

// Puts the temporary file in place of the target while its name still reaches the file found;
// empty when done, else the start of the message.
std::string_view replace_target(const output_target& target, byte_string& temporary) {
    if (!target.is_unchanged()) return replaced_message;
    if (is_faulty(fault_rename_of, target.path()) ||
        ::renameat(target.directory(), temporary.c_str(), target.directory(), target.c_name()) != 0)
        return write_message;
    return {};
}

// A reference to the file `target` reaches, or -1. While it is held, replacing the file frees
// none of its blocks: that waits for release_replaced.
int hold_replaced(const output_target& target) {
    if (!target.exists()) return -1;
    return ::openat(target.directory(), target.c_name(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

// Drops the references hold_replaced took. The last one frees a file's blocks, which waits on the
// disk, so several threads drop them side by side.
void release_replaced(const std::vector<int>& held) {
    constexpr size_t release_threads = 8;
    const size_t threads = held.size() < 2 ? 0 : std::min(held.size(), release_threads);
    work_ahead closing(held.size(), static_cast<int32_t>(threads), held.size(),
                       [&held](size_t i, size_t) {
                           if (held[i] >= 0) ::close(held[i]);
                       });
    for (size_t i = 0; i < held.size(); ++i)
        closing.take(i);
}

// Keeps "`failed`<path>" in `failure` unless it holds an earlier failure.
void keep_first_failure(result& failure, std::string_view failed, const byte_string& path) {
    if (!failure.is_ok()) return;
    byte_string message(failed);
    message.append(path);
    failure = result(status_code::write_failed, std::move(message));
}

// `most`, or a `share`th of the descriptors the process may open when that is fewer.
int64_t within_descriptors(int64_t most, int64_t share) {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return most;
    return std::min(most, static_cast<int64_t>(limit.rlim_cur) / share);
}

// Syncs the directories of `done`, each once: their renames then survive a crash. Best effort:
// the files are in place already.
void sync_directories(const std::vector<int>& done) {
    std::vector<std::pair<uint64_t, uint64_t>> synced;
    for (int directory : done) {
        struct stat st;
        if (::fstat(directory, &st) != 0) continue;
        const std::pair<uint64_t, uint64_t> id{st.st_dev, st.st_ino};
        if (std::find(synced.begin(), synced.end(), id) != synced.end()) continue;
        synced.push_back(id);
        (void)::fsync(directory);
    }
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

output_target::output_target(output_target&& other) noexcept {
    *this = std::move(other);
}

output_target& output_target::operator=(output_target&& other) noexcept {
    if (this == &other) return *this;
    if (owns_directory_) ::close(directory_);
    path_.move_from(other.path_);
    resolved_.move_from(other.resolved_);
    name_.move_from(other.name_);
    directory_ = std::exchange(other.directory_, -1);
    owns_directory_ = std::exchange(other.owns_directory_, false);
    exists_ = other.exists_;
    id_ = other.id_;
    return *this;
}

output_target::~output_target() {
    if (owns_directory_) ::close(directory_);
}

result output_target::find(std::string_view path, const directory_lookup& known) {
    if (owns_directory_) ::close(directory_);
    directory_ = -1;
    owns_directory_ = false;
    exists_ = false;
    path_.assign(path.data(), static_cast<int32_t>(path.size()));
    const auto refused = [this] {
        byte_string message("Can't open file for writing: ");
        message.append(path_);
        return result(status_code::open_failed, std::move(message));
    };
    if (path.empty() || path.find('\0') != std::string_view::npos) return refused();
    resolved_.assign(path_);
    // the path is taken as it stands first: the look at the name shows whether it is a link,
    // and a link put in place while the chain was followed sends it round again
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (attempt > 0 && !follow_links(resolved_)) return refused();
        const std::string_view resolved = resolved_.view();
        const size_t slash = resolved.rfind('/');
        const std::string_view name =
            slash == std::string_view::npos ? resolved : resolved.substr(slash + 1);
        name_.assign(name.data(), static_cast<int32_t>(name.size()));
        if (name_.is_empty() || name_ == "." || name_ == "..") return refused();
        const std::string_view directory_path = directory_of(resolved);
        if (const int open_already = known ? known(directory_path) : -1; open_already >= 0) {
            directory_ = open_already;
        } else {
            byte_string directory(directory_path);
            directory_ = open_at(AT_FDCWD, directory.c_str(), O_RDONLY | O_DIRECTORY);
            // a directory that may be written but not listed still takes the file
            if (directory_ < 0 && errno == EACCES)
                directory_ = open_at(AT_FDCWD, directory.c_str(), O_PATH | O_DIRECTORY);
            if (directory_ < 0) return refused();
            owns_directory_ = true;
        }
        file_identity found;
        if (!identify(directory_, name_.c_str(), found)) {
            if (errno != ENOENT) return refused();
            return result::success();
        }
        if (!S_ISLNK(found.type)) {
            exists_ = true;
            id_ = found;
            return result::success();
        }
        if (owns_directory_) ::close(directory_);
        directory_ = -1;
        owns_directory_ = false;
        resolved_.assign(path_);
    }
    return refused();
}

std::string_view output_target::directory_path() const {
    return directory_of(resolved_.view());
}

void output_target::refresh() {
    id_ = file_identity{};
    exists_ = identify(directory_, name_.c_str(), id_);
}

bool output_target::is_unchanged() const {
    file_identity now;
    if (!identify(directory_, name_.c_str(), now)) return !exists_ && errno == ENOENT;
    return exists_ && now == id_;
}

void output_target::took(const file_identity& id) {
    output_target* target = this;
    do {
        target->exists_ = true;
        target->id_ = id;
        target = target->next_same_;
    } while (target != this);
}

void output_target::join(output_target& other) {
    std::swap(next_same_, other.next_same_);
}

void output_target::borrow_directory(const output_target& other) {
    if (owns_directory_) ::close(directory_);
    directory_ = other.directory_;
    owns_directory_ = false;
}

output_file::~output_file() {
    discard();
}

result output_file::open(std::string_view path) {
    discard();
    result_ = own_.find(path);
    target_ = &own_;
    made_ahead_ = nullptr;
    if (!result_.is_ok()) return result_;
    return open_found();
}

result output_file::open(output_target& target, temporaries_ahead* made_ahead) {
    discard();
    result_ = result::success();
    target_ = &target;
    made_ahead_ = made_ahead;
    return open_found();
}

result output_file::open_found() {
    const output_target& target = *target_;
    // one look at the name tells what it reaches and whether that is still the file found
    file_identity now;
    const bool exists = identify(target.directory_, target.c_name(), now);
    if (!exists && errno != ENOENT) {
        fail(status_code::open_failed);
        return result_;
    }
    const bool unchanged = exists ? target.exists_ && now == target.id_ : !target.exists_;
    if (!unchanged || (exists && S_ISLNK(now.type))) {
        fail(status_code::open_failed, replaced_message);
        return result_;
    }
    if (exists &&
        (S_ISDIR(now.type) || ::faccessat(target.directory_, target.c_name(), W_OK, 0) != 0)) {
        fail(status_code::open_failed);
        return result_;
    }
    if (exists && !S_ISREG(now.type)) {
        in_place_ = true;
        fd_ = open_at(target.directory_, target.c_name(), O_WRONLY | O_TRUNC | O_NOFOLLOW);
        if (fd_ < 0) fail(status_code::open_failed);
        return result_;
    }
    if (exists) {
        old_fd_ = open_at(target.directory_, target.c_name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        struct stat& found = old_found_;
        if (old_fd_ >= 0 &&
            (::fstat(old_fd_, &found) != 0 || static_cast<uint64_t>(found.st_dev) != now.device ||
             static_cast<uint64_t>(found.st_ino) != now.inode)) {
            ::close(std::exchange(old_fd_, -1));
        }
    }
    if (old_fd_ >= 0) {
        // the temporary file waits for the first byte that differs from the old file's; a
        // directory it can't be made in still fails now
        if (::faccessat(target.directory_, ".", W_OK | X_OK, 0) != 0)
            fail(status_code::open_failed);
        old_size_ = old_found_.st_size;
        return result_;
    }
    // A new file gets 0666 less the umask or the directory's default ACL.
    if (!create_temporary(exists ? 0600 : 0666)) {
        fail(status_code::open_failed);
        return result_;
    }
    rewrite_ = exists;
    return result_;
}

void output_file::make_replacement(int64_t agreed) {
    // A replacement starts readable by its owner alone and takes the old file's access before
    // its first byte
    if (!create_temporary(0600)) {
        fail(status_code::open_failed);
    } else {
        // what a new file can't take from the old one is kept by writing over the old one
        rewrite_ = !take_access_of(old_found_);
        // the bytes that agreed were not written: they come from the old file
        written_ = agreed;
        if (agreed > 0) {
            old_bytes_.set_length(1 << 16);
            if (!copy_bytes(old_fd_, fd_, agreed, old_bytes_, true) ||
                ::lseek(fd_, agreed, SEEK_SET) != agreed)
                fail(status_code::write_failed);
        }
    }
    ::close(std::exchange(old_fd_, -1));
    old_bytes_.reset(0);
}

bool output_file::take_access_of(const struct stat& old) {
    // a new file would split the links: the others would keep the old bytes
    if (old.st_nlink > 1) return false;
    struct stat now;
    if (::fstat(fd_, &now) != 0) return false;
    const auto same_owner = [&now, &old] {
        return now.st_uid == old.st_uid && now.st_gid == old.st_gid;
    };
    if (!same_owner()) {
        // the owner first: changing it clears set-id bits that the mode then restores
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0 && errno == EPERM) {
            // only a privileged process may give a file away; a member of the group may still
            // keep it
            (void)::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
        }
        if (::fstat(fd_, &now) != 0 || !same_owner()) return false;
    }
    kept_mode_ = old.st_mode & 07777;
    if (::fchmod(fd_, kept_mode_) != 0) return false;
    return copy_attributes(old_fd_, fd_);
}

bool output_file::agrees_with_old(const char* bytes, size_t n) {
    constexpr size_t step = 1 << 16;
    if (static_cast<int64_t>(n) > old_size_ - compared_) return false;
    while (n > 0) {
        const size_t chunk = std::min(n, step);
        if (old_bytes_.length() < static_cast<int32_t>(chunk))
            old_bytes_.reset(static_cast<int32_t>(std::min<int64_t>(old_size_, step)));
        const ssize_t got = ::pread(old_fd_, old_bytes_.data(), chunk, compared_);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || std::memcmp(old_bytes_.data(), bytes, static_cast<size_t>(got)) != 0)
            return false;
        compared_ += got;
        bytes += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool output_file::is_replaced(const iovec* pieces, size_t count) {
    if (old_fd_ < 0) return true;
    const int64_t agreed = compared_;
    for (size_t i = 0; i < count; ++i) {
        if (!agrees_with_old(static_cast<const char*>(pieces[i].iov_base), pieces[i].iov_len)) {
            make_replacement(agreed);
            return result_.is_ok();
        }
    }
    return false;
}

bool output_file::target_holds_output() {
    if (old_fd_ < 0 || compared_ != old_size_ || !result_.is_ok() || !target_->is_unchanged())
        return false;
    // a writer that went on past the size read at the open makes the file longer than it was
    struct stat now;
    char more;
    return ::fstat(old_fd_, &now) == 0 && now.st_size == old_size_ &&
           ::pread(old_fd_, &more, 1, old_size_) == 0;
}

bool output_file::create_temporary(mode_t mode) {
    if (made_ahead_ && mode == 0600) {
        fd_ = made_ahead_->take(*target_, temporary_, slot_);
        if (fd_ >= 0) return true;
    }
    fd_ = create_beside(target_->directory_, target_->name_.view(), ".tmp", mode, temporary_);
    if (fd_ < 0) return false;
    slot_ = remember_temporary(target_->directory_, temporary_);
    return true;
}

void output_file::write(std::string_view bytes) {
    if (!is_open() || !result_.is_ok() || bytes.empty()) return;
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

void output_file::write_lasting(std::string_view bytes) {
    if (!is_open() || !result_.is_ok() || bytes.empty()) return;
    if (!gathered_.empty() && gathered_to_ == buffered_) {
        iovec& last = gathered_.back();
        if (static_cast<const char*>(last.iov_base) + last.iov_len == bytes.data()) {
            last.iov_len += bytes.size();
            return;
        }
    }
    // a short piece costs less copied than gathered
    if (bytes.size() < gathered_piece_bytes) {
        write(bytes);
        return;
    }
    gather_buffered();
    gathered_.push_back({const_cast<char*>(bytes.data()), bytes.size()});
    if (gathered_.size() + 1 >= max_gathered) flush_buffer();
}

void output_file::gather_buffered() {
    if (buffered_ > gathered_to_) {
        gathered_.push_back(
            {buffer_.data() + gathered_to_, static_cast<size_t>(buffered_ - gathered_to_)});
    }
    gathered_to_ = buffered_;
}

void output_file::flush_buffer() {
    gather_buffered();
    write_gathered();
    gathered_.clear();
    buffered_ = 0;
    gathered_to_ = 0;
}

void output_file::write_gathered() {
    if (!is_replaced(gathered_.data(), gathered_.size())) return;
    size_t first = 0;
    while (first < gathered_.size() && result_.is_ok()) {
        iovec& piece = gathered_[first];
        const auto count = static_cast<int>(std::min(gathered_.size() - first, max_gathered));
        // the testing fault counts bytes through write_some: one piece at a time then
        const ssize_t written =
            fault_after_bytes < 0
                ? ::writev(fd_, &piece, count)
                : write_some(fd_, static_cast<const char*>(piece.iov_base), piece.iov_len);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            fail(status_code::write_failed);
            return;
        }
        wrote(static_cast<size_t>(written));
        for (auto left = static_cast<size_t>(written); left > 0;) {
            iovec& at = gathered_[first];
            const size_t taken = std::min(left, at.iov_len);
            at.iov_base = static_cast<char*>(at.iov_base) + taken;
            at.iov_len -= taken;
            left -= taken;
            if (at.iov_len == 0) ++first;
        }
    }
}

void output_file::finish_writing() {
    flush_buffer();
    // a write by an unprivileged process clears the set-user-ID and set-group-ID bits
    if ((kept_mode_ & (S_ISUID | S_ISGID)) != 0 && !in_place_ && !rewrite_)
        (void)::fchmod(fd_, kept_mode_);
}

void output_file::write_through(const char* bytes, size_t n) {
    const iovec piece{const_cast<char*>(bytes), n};
    if (!result_.is_ok() || !is_replaced(&piece, 1)) return;
    size_t done = 0;
    while (done < n) {
        const ssize_t written = write_some(fd_, bytes + done, n - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
            wrote(static_cast<size_t>(written));
        } else if (written == 0 || errno != EINTR) {
            fail(status_code::write_failed);
            return;
        }
    }
}

void output_file::wrote(size_t n) {
    constexpr int64_t writeback_step = int64_t{8} << 20;
    written_ += static_cast<int64_t>(n);
    if (in_place_ || written_ - sent_to_disk_ < writeback_step) return;
    // only starts the writing: a failure shows at the sync, which waits for it
    (void)::sync_file_range(fd_, sent_to_disk_, written_ - sent_to_disk_, SYNC_FILE_RANGE_WRITE);
    sent_to_disk_ = written_;
}

result output_file::commit() {
    if (!is_open()) {
        if (result_.is_ok()) fail(status_code::open_failed);
        return result_;
    }
    finish_writing();
    if (target_holds_output()) {
        discard();
        return result_;
    }
    // all bytes agreed, but the output is shorter or the name reaches another file now
    if (old_fd_ >= 0 && result_.is_ok()) make_replacement(compared_);
    if (fd_ < 0) {
        discard();
        return result_;
    }
    output_target& target = *target_;
    // fsync before rename: after a crash the name must not point at bytes never written
    if (result_.is_ok() && !in_place_ && fsync_checked(fd_, target.path_) != 0)
        fail(status_code::write_failed);
    if (result_.is_ok() && rewrite_) rewrite_in_place();
    file_identity made;
    (void)identify(fd_, "", made);
    const int closed = close_checked(fd_);
    fd_ = -1;
    if (closed != 0 && result_.is_ok()) fail(status_code::write_failed);
    if (!in_place_ && !rewrite_ && result_.is_ok()) {
        // the file replaced gives its blocks back once the directory is synced, which then
        // needs no wait for that
        const int held = hold_replaced(target);
        if (const std::string_view failed = replace_target(target, temporary_); !failed.empty()) {
            fail(status_code::write_failed, failed);
        } else {
            forget_temporary(slot_);
            temporary_.clear();
            target.took(made);
            sync_directories({target.directory_});
        }
        if (held >= 0) ::close(held);
    }
    discard();
    return result_;
}

void output_file::rewrite_in_place() {
    // no signal may stop it between the first byte written over the target and the last one
    // put back
    const sigset_t stop = stop_signals();
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &stop, &old);
    const output_target& target = *target_;
    const int file = open_at(target.directory_, target.c_name(), O_RDWR | O_NOFOLLOW);
    struct stat old_st;
    struct stat new_st;
    file_identity id;
    byte_string copy_name;
    int copy = -1;
    if (file < 0 || ::fstat(file, &old_st) != 0 || ::fstat(fd_, &new_st) != 0 ||
        !identify(file, "", id)) {
        fail(status_code::write_failed);
    } else if (!target.exists_ || !(id == target.id_)) {
        fail(status_code::write_failed, replaced_message);
    } else {
        buffer_.set_length(buffer_size);
        // the old bytes are kept whole and synced before the first of them is overwritten; a
        // crash in between leaves them in the ".old" file beside the target
        copy = create_beside(target.directory_, target.name_.view(), ".old", 0600, copy_name);
        if (copy < 0 || !copy_bytes(file, copy, old_st.st_size, buffer_, false) ||
            ::fsync(copy) != 0) {
            fail(status_code::write_failed);
        } else if (!overwrite(fd_, file, new_st.st_size, buffer_, true)) {
            fail(status_code::write_failed);
            // the copy stays when even the old bytes can't be put back
            if (!overwrite(copy, file, old_st.st_size, buffer_, false)) copy_name.clear();
        }
    }
    if (copy >= 0) ::close(copy);
    if (!copy_name.is_empty()) ::unlinkat(target.directory_, copy_name.c_str(), 0);
    if (file >= 0) ::close(file);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

result output_file::commit_to(output_batch& batch) {
    if (!is_open() || in_place_ || rewrite_) return commit();
    finish_writing();
    if (!result_.is_ok()) return commit();
    const bool unchanged = target_holds_output();
    if (!unchanged && old_fd_ >= 0) make_replacement(compared_);
    if (!result_.is_ok() || rewrite_) return commit();
    // a full batch is put in place while the next files are made; one put in place for room
    // waits for it, so that the room is there for the next file
    if (batch.is_full()) batch.put_in_background();
    if (batch.refuses()) {
        // the files before this one were not all written: it must not replace its target
        discard();
        result_ = batch.failure_;
        return result_;
    }
    if (unchanged) {
        discard();
        return result_;
    }
    output_batch::pending_file pending;
    if (identify(fd_, "", pending.made)) pending.file_system = pending.made.device;
    pending.bytes = written_;
    // a large file's last bytes go to the disk while the next files are made; for a small one
    // the call costs more than the batch's one sync of them all
    if (written_ - sent_to_disk_ >= batched_writeback_bytes)
        (void)::sync_file_range(fd_, sent_to_disk_, 0, SYNC_FILE_RANGE_WRITE);
    pending.fd = std::exchange(fd_, -1);
    if (target_ == &own_) {
        pending.target = std::move(own_);
    } else {
        // the caller's target outlives the batch: it shares the directory and learns the result
        output_target& target = *target_;
        pending.target.path_.assign(target.path_);
        pending.target.name_.assign(target.name_);
        pending.target.borrow_directory(target);
        pending.target.exists_ = target.exists_;
        pending.target.id_ = target.id_;
        pending.update = &target;
    }
    pending.temporary.move_from(temporary_);
    pending.slot = std::exchange(slot_, -1);
    batch.pending_bytes_ += pending.bytes;
    batch.pending_.push_back(std::move(pending));
    buffered_ = 0;
    const output_batch::pending_file& added = batch.pending_.back();
    if (batch.pending_bytes_ > batch.max_pending_bytes_ ||
        batch.short_of_room(added.fd, added.file_system)) {
        release_replaced(batch.put_in_place());
        if (batch.refuses()) result_ = batch.failure_;
    }
    return result_;
}

void output_file::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (old_fd_ >= 0) ::close(old_fd_);
    old_fd_ = -1;
    old_size_ = 0;
    compared_ = 0;
    old_bytes_.reset(0);
    written_ = 0;
    sent_to_disk_ = 0;
    if (!in_place_ && target_) remove_temporary(target_->directory_, temporary_, slot_);
    temporary_.clear();
    in_place_ = false;
    rewrite_ = false;
    kept_mode_ = 0;
    buffered_ = 0;
    gathered_.clear();
    gathered_to_ = 0;
}

void output_file::fail(status_code code) {
    fail(code, code == status_code::open_failed ? "Can't open file for writing: " : write_message);
}

void output_file::fail(status_code code, std::string_view message) {
    if (!result_.is_ok()) return;
    byte_string text(message);
    text.append(target_ ? target_->path_ : own_.path_);
    result_ = result(code, std::move(text));
}

temporaries_ahead::temporaries_ahead(const std::vector<const output_target*>& targets) {
    // a sixteenth of the descriptors at most, beside the batch's half
    most_waiting_ = static_cast<size_t>(within_descriptors(8, 16));
    if (most_waiting_ == 0) return;
    places_.reserve(targets.size());
    for (const output_target* target : targets)
        places_.push_back({target, target->directory(), target->name()});
    // before the thread makes a file, so that the handlers are in place once for both
    install_handlers();
    running_ = start_helper_thread(thread_, run, this);
}

temporaries_ahead::~temporaries_ahead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (running_) ::pthread_join(thread_, nullptr);
    for (made_file& file : made_)
        remove(file);
}

void* temporaries_ahead::run(void* self) {
    static_cast<temporaries_ahead*>(self)->make_files();
    return nullptr;
}

void temporaries_ahead::make_files() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return stopping_ || (!paused_ && next_to_make_ < places_.size() &&
                                 next_to_make_ < next_to_take_ + most_waiting_);
        });
        if (stopping_) return;
        made_file file;
        file.index = making_ = next_to_make_++;
        const place& where = places_[file.index];
        lock.unlock();
        file.fd = create_beside(where.directory, where.name.view(), ".tmp", 0600, file.name);
        if (file.fd >= 0) file.slot = remember_temporary(where.directory, file.name);
        lock.lock();
        making_ = SIZE_MAX;
        made_.push_back(std::move(file));
        wake_.notify_all();
    }
}

void temporaries_ahead::remove(made_file& file) {
    if (file.fd < 0) return;
    ::close(file.fd);
    remove_temporary(places_[file.index].directory, file.name, file.slot);
}

int temporaries_ahead::take(const output_target& target, byte_string& name, int& slot) {
    std::unique_lock lock(mutex_);
    size_t index = next_to_take_;
    while (index < places_.size() && places_[index].target != &target)
        ++index;
    if (index == places_.size()) return -1;
    // the file being made for it now comes as soon as one the writer made would
    wake_.wait(lock, [this, index] { return making_ != index; });
    bool passed_some = false;
    while (!made_.empty() && made_.front().index < index) {
        remove(made_.front());
        made_.pop_front();
        passed_some = true;
    }
    next_to_take_ = index + 1;
    int fd = -1;
    if (!made_.empty() && made_.front().index == index) {
        made_file& file = made_.front();
        fd = file.fd;
        name = std::move(file.name);
        slot = file.slot;
        made_.pop_front();
        paused_ = passed_some;
    } else {
        // needed and not made: the thread goes on after this one
        next_to_make_ = std::max(next_to_make_, index + 1);
        paused_ = false;
    }
    lock.unlock();
    wake_.notify_all();
    return fd;
}

void remove_stale_temporaries(int directory, const std::vector<std::string_view>& names) {
    const int listing = ::dup(directory);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0) ::close(listing);
        return;
    }
    const uid_t user = ::geteuid();
    while (const struct dirent* entry = ::readdir(entries)) {
        const long pid = temporary_owner(entry->d_name, names);
        struct stat st;
        if (pid <= 0 || pid == ::getpid() ||
            ::fstatat(directory, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != user)
            continue;
        // a pid in use may be the writer still, or a new process: either way the file stays
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(directory, entry->d_name, 0);
    }
    ::closedir(entries);
}

output_batch::output_batch(batch_failure policy, int32_t max_pending, int64_t max_pending_bytes)
    : policy_(policy),
      max_pending_(std::max(max_pending, 1)),
      max_pending_bytes_(max_pending_bytes) {
    // an eighth of the descriptors at most for the waiting files, as many again for their
    // directories when opened by path, and as many again twice for the files being put in place
    // meanwhile, each holding its new or its old file and its directory: half for the program
    max_pending_ = static_cast<int32_t>(std::max<int64_t>(within_descriptors(max_pending_, 8), 1));
}

output_batch::~output_batch() {
    discard();
}

void output_batch::put_in_background() {
    finish_background();
    if (refuses()) discard();
    if (pending_.empty()) return;
    putting_.swap(pending_);
    pending_bytes_ = 0;
    background_running_ = start_helper_thread(background_, run_background, this);
    // without a thread of its own the batch is put in place here, as before it had one
    if (!background_running_) run_background(this);
}

void* output_batch::run_background(void* self) {
    output_batch& batch = *static_cast<output_batch*>(self);
    release_replaced(put_files(batch.putting_, batch.policy_, batch.background_failure_));
    return nullptr;
}

void output_batch::finish_background() {
    if (background_running_) ::pthread_join(background_, nullptr);
    background_running_ = false;
    if (putting_.empty()) return;
    settle(putting_);
    // the files on the thread came before every file waiting now
    result failed = std::exchange(background_failure_, result::success());
    if (failure_.is_ok()) failure_ = std::move(failed);
}

bool output_batch::short_of_room(int fd, uint64_t device) {
    const auto waiting = static_cast<uint64_t>(pending_bytes_);
    if (knows_room_ && device == room_device_ && waiting <= room_ / 8) return false;
    struct statvfs room;
    knows_room_ = ::fstatvfs(fd, &room) == 0;
    if (!knows_room_) return false;
    room_device_ = device;
    room_ = room.f_bavail * room.f_frsize;
    return waiting > room_ / 4;
}

result output_batch::commit() {
    release_replaced(put_in_place());
    return std::exchange(failure_, result::success());
}

void output_batch::discard() {
    finish_background();
    for (pending_file& file : pending_) {
        ::close(file.fd);
        remove_temporary(file.target.directory_, file.temporary, file.slot);
    }
    pending_.clear();
    pending_bytes_ = 0;
}

bool output_batch::holds(uint64_t device, uint64_t inode) const {
    for (const std::vector<pending_file>* files : {&pending_, &putting_}) {
        for (const pending_file& file : *files) {
            const output_target& target = file.target;
            if (target.exists_ && target.id_.device == device && target.id_.inode == inode)
                return true;
        }
    }
    return false;
}

bool output_batch::holds(std::string_view path) const {
    if (pending_.empty() && putting_.empty()) return false;
    byte_string c_path(path);
    struct stat st;
    if (::stat(c_path.c_str(), &st) == 0) {
        return holds(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino));
    }
    if (errno != ENOENT && errno != ENOTDIR) return true;
    for (const std::vector<pending_file>* files : {&pending_, &putting_}) {
        for (const pending_file& file : *files) {
            if (!file.target.exists_) return true;
        }
    }
    return false;
}

std::vector<int> output_batch::put_in_place() {
    finish_background();
    if (refuses()) discard();
    std::vector<int> held = put_files(pending_, policy_, failure_);
    settle(pending_);
    pending_bytes_ = 0;
    return held;
}

std::vector<int> output_batch::put_files(std::vector<pending_file>& files, batch_failure policy,
                                         result& failure) {
    std::vector<int> held;
    if (files.empty()) return held;
    sync_files(files);
    // one directory sync per directory, after all of its renames
    std::vector<int> directories;
    bool stopped = false;
    for (pending_file& file : files) {
        output_target& target = file.target;
        if (stopped) {
            ::close(file.fd);
            remove_temporary(target.directory_, file.temporary, file.slot);
            continue;
        }
        std::string_view failed;
        if (!file.synced || close_checked(file.fd) != 0) failed = write_message;
        if (failed.empty()) {
            held.push_back(hold_replaced(target));
            failed = replace_target(target, file.temporary);
        }
        if (!failed.empty()) {
            remove_temporary(target.directory_, file.temporary, file.slot);
            keep_first_failure(failure, failed, target.path_);
            stopped = policy == batch_failure::stop;
            continue;
        }
        forget_temporary(file.slot);
        file.placed = true;
        directories.push_back(target.directory_);
    }
    sync_directories(directories);
    return held;
}

void output_batch::settle(std::vector<pending_file>& files) {
    for (const pending_file& file : files) {
        if (file.placed && file.update) file.update->took(file.made);
    }
    files.clear();
}

void output_batch::sync_files(std::vector<pending_file>& files) {
    std::vector<uint64_t> done;
    for (size_t first = 0; first < files.size(); ++first) {
        const uint64_t file_system = files[first].file_system;
        if (std::find(done.begin(), done.end(), file_system) != done.end()) continue;
        done.push_back(file_system);
        size_t last = first;
        bool faulty = false;
        for (size_t i = first; i < files.size(); ++i) {
            if (files[i].file_system != file_system) continue;
            last = i;
            faulty = faulty || is_faulty(fault_sync_of, files[i].target.path_);
        }
        // One syncfs writes the data and inodes of every file; the first file's descriptor is
        // the oldest, so it reports any write error since that file was made.
        const bool synced_all = !faulty && ::syncfs(files[first].fd) == 0;
        // syncfs may write the last inode blocks after its flush of the disk cache: one fsync
        // flushes the cache again behind them
        const bool flushed = synced_all && ::fsync(files[last].fd) == 0;
        for (size_t i = first; i <= last; ++i) {
            pending_file& file = files[i];
            if (file.file_system != file_system) continue;
            if (flushed) {
                // each file still tells its own write errors, which syncfs may not report
                file.synced = ::sync_file_range(file.fd, 0, 0, SYNC_FILE_RANGE_WAIT_AFTER) == 0;
            } else if (synced_all && i == last) {
                // its fsync failed just now and has taken the error with it
                file.synced = false;
            } else {
                // one by one, so that only the failing files stay out
                file.synced = fsync_checked(file.fd, file.target.path_) == 0;
            }
        }
    }
}
