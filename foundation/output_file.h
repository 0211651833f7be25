#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/qvchar.h"

// How a replacement ended. The caller words the message (see output_file::error_text).
enum class output_status {
    ok,
    open_failed,   // no temporary file could be made beside the target: nothing was written
    write_failed,  // a write, flush, close or the final rename failed: the target is untouched
};

// Replaces a file as a whole or not at all. The bytes go to a fresh temporary file in the
// target's directory, which takes the target's name only after every byte was written, synced
// and closed without error; until then, and after any failure, the old target stays byte for
// byte and the temporary file is removed. A replaced target keeps its permission bits (and its
// owner where the process may set it); a new one gets 0666 less the umask. When the target is a
// symbolic link, the file it points to is replaced and the link stays; a hard link to the old
// file keeps the old bytes. A target that is no regular file (a device, a pipe) is written in
// place, as nothing can replace it. Writes are buffered: small pieces cost no system call.
//
//     output_file out;
//     if (out.open(path) != output_status::ok) return fail(out.error_text());
//     out.write(text);
//     if (out.commit() != output_status::ok) return fail(out.error_text());
class output_file {
  public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    // Discards an uncommitted replacement.
    ~output_file();

    // Starts replacing `path`, discarding any unfinished earlier replacement. open_failed for an
    // empty path, a directory, a read-only file, a missing or unwritable directory.
    [[nodiscard]] output_status open(std::string_view path);
    // Appends bytes. The first failure is remembered, later writes are ignored, and commit
    // reports it; status() tells it at once.
    void write(std::string_view bytes);
    // Writes what is buffered, syncs, closes and puts the file in place of the target. After
    // it the object is closed whatever the result; open_failed when nothing was open.
    [[nodiscard]] output_status commit();
    // Drops the temporary file; the target stays as it was.
    void discard();

    bool is_open() const { return fd_ >= 0; }
    output_status status() const { return status_; }
    // After a failure "Can't open file for writing: " or "Can't write to file: " followed by the
    // path as given to open; empty otherwise.
    const qvchar& error_text() const { return error_text_; }

  private:
    [[nodiscard]] bool create_temporary(const qvchar& directory, std::string_view name);
    void flush_buffer();
    void write_through(const char* bytes, size_t n);
    void fail(output_status status);

    int fd_ = -1;
    bool in_place_ = false;  // writing into a device or pipe, no temporary file
    qvchar path_;            // as given, for the message
    qvchar target_;          // the file replaced: `path_` with its symbolic links followed
    qvchar temporary_;
    qvchar buffer_;
    int32_t buffered_ = 0;
    output_status status_ = output_status::ok;
    qvchar error_text_;
};

// Testing hook, process-wide and not thread-safe: once `fail_after_bytes` more bytes were
// written by output_files, every further write fails with EIO (a write straddling the limit is
// cut short first); with `fail_close` the closing of each temporary file fails. A negative
// count and false switch the faults off again.
void set_output_fault_for_testing(int64_t fail_after_bytes, bool fail_close = false);
