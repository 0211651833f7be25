#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace {

// False for a path with a NUL byte: the system would read a shorter path and reach another file.
bool make_c_path(std::string_view path, byte_string& out) {
    if (path.find('\0') != std::string_view::npos) return false;
    out.assign(path.data(), static_cast<int32_t>(path.size()));
    out.c_str();
    return true;
}

int open_retrying(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

file_descriptor file_open(std::string_view path) {
    byte_string c_path;
    if (!make_c_path(path, c_path)) return invalid_handle;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; only regular files are read
    const int fd = open_retrying(c_path.data(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return invalid_handle;
    // a directory would open and then fail every read as if the file were empty, a device or
    // FIFO could block or never end
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return invalid_handle;
    }
    return fd;
}

bool file_close(file_descriptor handle) {
    if (handle == invalid_handle) return true;
    // never retried: after EINTR Linux has released the descriptor, which may be reused already
    return ::close(handle) == 0;
}

result file_read(byte_string& buffer, int32_t count, file_descriptor handle) {
    if (handle == invalid_handle || count <= 0) {
        buffer.clear();
        return result::success();
    }
    buffer.set_length(count);
    int32_t total = 0;
    while (total < count) {
        const ssize_t n = ::read(handle, buffer.data() + total, static_cast<size_t>(count - total));
        if (n > 0) {
            total += static_cast<int32_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            // bytes already read are returned; the failure shows again on the next call
            if (total > 0) break;
            buffer.clear();
            return result::failure({});
        }
    }
    buffer.set_length(total);
    return result::success();
}

uint64_t file_descriptor_size(file_descriptor handle) {
    struct stat st;
    if (handle == invalid_handle || ::fstat(handle, &st) != 0) return unknown_file_size;
    return static_cast<uint64_t>(st.st_size);
}

namespace {

void fill_info(file_info& info, const struct stat& st) {
    info.is_directory = S_ISDIR(st.st_mode);
    info.size = info.is_directory ? 0 : static_cast<uint64_t>(st.st_size);
    info.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    info.attributes = static_cast<uint32_t>(st.st_mode);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
}

}  // namespace

bool file_descriptor_stat(file_info& info, file_descriptor handle) {
    struct stat st;
    if (handle == invalid_handle || ::fstat(handle, &st) != 0) return false;
    fill_info(info, st);
    return true;
}

bool file_stat(file_info& info, std::string_view path) {
    std::string_view query = path;
    // "dir/" names the directory; the root "/" stays as it is
    if (query.size() > 1 && query.back() == '/') query.remove_suffix(1);
    byte_string c_path;
    if (query.empty() || !make_c_path(query, c_path)) return false;
    struct stat st;
    if (::stat(c_path.data(), &st) != 0) return false;
    info.path.assign(path.data(), static_cast<int32_t>(path.size()));
    fill_info(info, st);
    return true;
}

bool create_dir(std::string_view path) {
    byte_string c_path;
    return make_c_path(path, c_path) && ::mkdir(c_path.data(), 0777) == 0;
}

byte_string module_path() {
    byte_string path;
    // the link's length is unknown beforehand: grow until the answer fits
    for (int32_t size = 1024; size <= (1 << 20); size *= 4) {
        path.set_length(size);
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), static_cast<size_t>(size));
        if (n < 0) break;
        if (n < size) {
            path.set_length(static_cast<int32_t>(n));
            return path;
        }
    }
    path.clear();
    return path;
}

namespace {

void write_whole(int stream, std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(stream, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return;
        }
    }
}

}  // namespace

void write_stdout(std::string_view text) {
    write_whole(STDOUT_FILENO, text);
}

void write_stderr(std::string_view text) {
    write_whole(STDERR_FILENO, text);
}

int64_t unix_time_now() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        int64_t value = 0;
        const char* p = epoch;
        for (; *p >= '0' && *p <= '9'; ++p) {
            const int digit = *p - '0';
            if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) break;
            value = value * 10 + digit;
        }
        if (*p == '\0') return value;
    }
    return static_cast<int64_t>(std::time(nullptr));
}
