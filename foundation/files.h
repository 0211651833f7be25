#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"
#include "result.h"

// File, directory and process services. Paths are byte strings with '/' separators; a backslash
// is an ordinary file-name byte. A path holding a NUL byte names no file: every call fails on it.
// Nothing here prints or raises; each call reports through its result.

// A POSIX file descriptor; invalid_handle means no file. Every call taking a handle accepts
// invalid_handle and fails softly, so open, read and close may be chained untested.
using file_descriptor = int;
constexpr file_descriptor invalid_handle = -1;

// Largest file the readers take in. Every text of the program has a 32-bit length, so a file
// leaving no room below 2 GiB for the texts made from it is refused before it is read.
constexpr uint64_t largest_readable_file = (uint64_t{1} << 31) - (uint64_t{1} << 20);

// What file_stat learns about a path. Owned by the caller and reused across calls.
struct file_info {
    byte_string path;  // the queried path as given, trailing '/' included
    bool is_directory = false;
    uint64_t size = 0;        // 0 for directories
    int64_t modified = 0;     // last modification, seconds since 1970-01-01 UTC
    uint32_t attributes = 0;  // raw st_mode
    // Which file the path reaches: two paths with equal numbers name the same file.
    uint64_t device = 0;
    uint64_t inode = 0;
};

// Opens an existing regular file for reading, never waiting on a FIFO; invalid_handle when refused
// or when it is no regular file.
[[nodiscard]] file_descriptor file_open(std::string_view path);
// True for invalid_handle or when the descriptor closed without error.
bool file_close(file_descriptor handle);
// Makes `buffer` `count` bytes long, reads up to `count` bytes (fewer only at the end of the file
// or of a pipe's data) and shortens it to the bytes read: empty at the end and for
// invalid_handle. A failed read empties the buffer and fails without a message.
result file_read(byte_string& buffer, int32_t count, file_descriptor handle);
// What file_descriptor_size gives for invalid_handle or a failed query.
constexpr uint64_t unknown_file_size = UINT64_MAX;
// Size in bytes of the open file.
[[nodiscard]] uint64_t file_descriptor_size(file_descriptor handle);
// Fills `info` for the open file, its path left as it is; false for invalid_handle or a failed
// query.
[[nodiscard]] bool file_descriptor_stat(file_info& info, file_descriptor handle);
// Fills `info` for the path (symbolic links followed); one trailing '/' is ignored, so "dir/"
// finds the directory. False for the empty path or a missing one, leaving `info` untouched.
[[nodiscard]] bool file_stat(file_info& info, std::string_view path);

// Creates one directory level with 0777 less the umask.
[[nodiscard]] bool create_dir(std::string_view path);
// Absolute path of the running executable; empty when the system does not tell.
byte_string module_path();
// Best effort: writes all bytes to standard output, unbuffered; nothing when it is closed.
void write_stdout(std::string_view text);
// The same for standard error.
void write_stderr(std::string_view text);
// Seconds since 1970-01-01 UTC; the value of SOURCE_DATE_EPOCH instead when that variable holds
// a decimal integer, so that repeated builds stamp the same time.
int64_t unix_time_now();
