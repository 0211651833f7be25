#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"

// File, directory and process services. Paths are byte strings with '/' separators; a backslash
// is an ordinary file-name byte. A path holding a NUL byte names no file: every call fails on it.
// Nothing here prints or raises; each call reports through its result.

// A POSIX file descriptor; invalid_handle means no file. Every call taking a handle accepts
// invalid_handle and fails softly, so open, read or write, and close may be chained untested.
using file_descriptor = int;
constexpr file_descriptor invalid_handle = -1;

// Negative results of file_read naming the failure. The end of a
// file is not a failure here: a read there returns 0, so end_of_file, more_data and
// buffer_too_small have no POSIX cause and are never returned.
constexpr int32_t read_end_of_file = -1;
constexpr int32_t read_would_block = -2;  // EAGAIN on a non-blocking descriptor
constexpr int32_t read_more_data = -3;
constexpr int32_t read_buffer_too_small = -4;
constexpr int32_t read_broken_pipe = -5;    // EPIPE
constexpr int32_t read_bad_buffer = -6;     // EFAULT
constexpr int32_t read_out_of_memory = -7;  // ENOMEM, ENOBUFS
constexpr int32_t read_aborted = -8;        // ECANCELED
constexpr int32_t read_io_error = -9;       // any other failure (EIO, EISDIR, ...): never 0, which
                                            // would pass a failed read off as an empty file

// Largest file the readers take in. Every text of the program has a 32-bit length, so a file
// leaving no room below 2 GiB for the texts made from it is refused before it is read.
constexpr uint64_t largest_readable_file = (uint64_t{1} << 31) - (uint64_t{1} << 20);

// What file_stat learns about a path. Owned by the caller and reused across calls.
struct file_info {
    byte_string path;  // the queried path as given, trailing '/' included
    int32_t is_directory = 0;
    uint64_t size = 0;        // 0 for directories
    int64_t modified = 0;     // last modification, seconds since 1970-01-01 UTC
    uint32_t attributes = 0;  // raw st_mode
    // Which file the path reaches: two paths with equal numbers name the same file.
    uint64_t device = 0;
    uint64_t inode = 0;
};

// The mode is lower-cased; its first byte picks the operation and a following '+' adds the other
// direction: "r" reads an existing file, "w" creates or truncates, "a" opens or creates and
// positions at the end. Any other mode, the empty one included, opens an existing path for
// querying only (reads and writes then fail); only the empty mode opens directories. New files get
// 0666 less the umask; no directory is created. Returns invalid_handle when refused.
[[nodiscard]] file_descriptor file_open(std::string_view path, std::string_view mode);
// True for invalid_handle or when the descriptor closed without error.
bool file_close(file_descriptor handle);
// Makes `buffer` `count` bytes long, reads up to `count` bytes (fewer only at the end of the file
// or of a pipe's data) and shortens it to the bytes read; returns that number, 0 at the end.
// A failed read empties the buffer and returns a negative read_ code; invalid_handle gives 0.
[[nodiscard]] int32_t file_read(byte_string& buffer, int32_t count, file_descriptor handle);
// Writes the first `count` bytes (at most the buffer's length); returns the number written,
// which is less than asked when the write failed, 0 for invalid_handle.
[[nodiscard]] int32_t file_write(std::string_view buffer, int32_t count, file_descriptor handle);
// Low 32 bits of the size, the high ones in *high when given; all bits set for invalid_handle
// or a failed query.
[[nodiscard]] uint32_t file_handle_size(file_descriptor handle, uint32_t* high = nullptr);
// file_handle_size of the path opened for querying; all bits set when it cannot be opened.
[[nodiscard]] uint32_t file_size(std::string_view path, uint32_t* high = nullptr);
// Fills `info` for the path (symbolic links followed); one trailing '/' is ignored, so "dir/"
// finds the directory. False for the empty path or a missing one, leaving `info` untouched.
[[nodiscard]] bool file_stat(file_info& info, std::string_view path);

[[nodiscard]] bool set_current_dir(std::string_view path);
// Creates one directory level with 0777 less the umask.
[[nodiscard]] bool create_dir(std::string_view path);
// Absolute path of the running executable; empty when the system does not tell.
byte_string module_path();
// Best effort: writes all bytes to standard output, unbuffered; nothing when it is closed.
void write_stdout(std::string_view text);
// Seconds since 1970-01-01 UTC; the value of SOURCE_DATE_EPOCH instead when that variable holds
// a decimal integer, so that repeated builds stamp the same time.
int64_t unix_time_now();
