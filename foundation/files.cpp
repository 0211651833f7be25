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

char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int32_t read_code(int error) {
    switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
            return read_would_block;
        case EPIPE:
            return read_broken_pipe;
        case EFAULT:
            return read_bad_buffer;
        case ENOMEM:
        case ENOBUFS:
            return read_out_of_memory;
        case ECANCELED:
            return read_aborted;
        default:
            return read_io_error;
    }
}

int open_retrying(const char* path, int flags, mode_t permissions) {
    int fd;
    do {
        fd = ::open(path, flags, permissions);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

file_descriptor file_open(std::string_view path, std::string_view mode) {
    byte_string c_path;
    if (!make_c_path(path, c_path)) return invalid_handle;
    const char operation = mode.empty() ? '\0' : ascii_lower(mode[0]);
    const bool both = mode.size() > 1 && mode[1] == '+';
    int flags = O_CLOEXEC;
    switch (operation) {
        case 'r':
            flags |= both ? O_RDWR : O_RDONLY;
            break;
        case 'w':
            flags |= (both ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags |= (both ? O_RDWR : O_WRONLY) | O_CREAT;
            break;
        default:
            flags |= O_PATH;
            break;
    }
    const int fd = open_retrying(c_path.data(), flags, 0666);
    if (fd < 0) return invalid_handle;
    if (!mode.empty()) {
        // "r" on a directory would open and then fail every read as if the file were empty
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return invalid_handle;
        }
    }
    if (operation == 'a' && ::lseek(fd, 0, SEEK_END) < 0) {
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

int32_t file_read(byte_string& buffer, int32_t count, file_descriptor handle) {
    if (handle == invalid_handle || count <= 0) {
        buffer.clear();
        return 0;
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
            const int32_t code = read_code(errno);
            buffer.clear();
            return code;
        }
    }
    buffer.set_length(total);
    return total;
}

int32_t file_write(std::string_view buffer, int32_t count, file_descriptor handle) {
    if (handle == invalid_handle || count <= 0) return 0;
    if (static_cast<size_t>(count) > buffer.size()) count = static_cast<int32_t>(buffer.size());
    int32_t total = 0;
    while (total < count) {
        const ssize_t n =
            ::write(handle, buffer.data() + total, static_cast<size_t>(count - total));
        if (n > 0) {
            total += static_cast<int32_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return total;
}

uint32_t file_handle_size(file_descriptor handle, uint32_t* high) {
    constexpr uint32_t failed = std::numeric_limits<uint32_t>::max();
    struct stat st;
    if (handle == invalid_handle || ::fstat(handle, &st) != 0) {
        if (high) *high = failed;
        return failed;
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    if (high) *high = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size);
}

uint32_t file_size(std::string_view path, uint32_t* high) {
    const file_descriptor handle = file_open(path, "");
    const uint32_t size = file_handle_size(handle, high);
    file_close(handle);
    return size;
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
    info.is_directory = S_ISDIR(st.st_mode) ? 1 : 0;
    info.size = info.is_directory ? 0 : static_cast<uint64_t>(st.st_size);
    info.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    info.attributes = static_cast<uint32_t>(st.st_mode);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool set_current_dir(std::string_view path) {
    byte_string c_path;
    return make_c_path(path, c_path) && ::chdir(c_path.data()) == 0;
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

void write_stdout(std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            return;
        }
    }
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
