#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "result.h"

class output_batch;

// Replaces a file as a whole or not at all. The bytes go to a fresh temporary file in the
// target's directory, which takes the target's name only after every byte was written, synced
// and closed without error; until then, and after any failure, the old target stays byte for
// byte and the temporary file is removed. A replaced target keeps its permission bits (and its
// owner where the process may set it); a new one gets 0666 less the umask. When the target is a
// symbolic link, the file it points to is replaced and the link stays; a hard link to the old
// file keeps the old bytes. A target that is no regular file (a device, a pipe) is written in
// place, as nothing can replace it. Writes are buffered: small pieces cost no system call.
//
// A failure is status_code::open_failed, with the message "Can't open file for writing: ", or
// status_code::write_failed, with "Can't write to file: ", followed by the path as given to open.
//
//     output_file out;
//     if (result opened = out.open(path); !opened.is_ok()) return opened;
//     out.write(text);
//     return out.commit();
class output_file {
  public:
    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    // Discards an uncommitted replacement.
    ~output_file();

    // Starts replacing `path`, discarding any unfinished earlier replacement. open_failed for an
    // empty path, a directory, a read-only file, a missing or unwritable directory.
    result open(std::string_view path);
    // Appends bytes. The first failure is remembered, later writes are ignored, and commit
    // reports it.
    void write(std::string_view bytes);
    // Writes what is buffered, syncs, closes and puts the file in place of the target. After
    // it the object is closed whatever the result; open_failed when nothing was open.
    result commit();
    // Like commit, but leaves the sync and the rename to `batch`, which puts the file in place
    // with the others it holds (see output_batch). Reports what failed so far: the writing, or,
    // when the batch stops at failures, an earlier file of the batch that failed, whose path
    // the message then names. A target written in place is closed at once, as by commit.
    result commit_to(output_batch& batch);
    // Drops the temporary file; the target stays as it was.
    void discard();

    bool is_open() const { return fd_ >= 0; }

  private:
    [[nodiscard]] bool create_temporary(const byte_string& directory, std::string_view name,
                                        mode_t mode);
    // Gives the open temporary file the owner, group and mode of `old`, as far as permitted.
    [[nodiscard]] bool take_access_of(const struct stat& old);
    void flush_buffer();
    void write_through(const char* bytes, size_t n);
    void fail(status_code code);

    int fd_ = -1;
    bool in_place_ = false;  // writing into a device or pipe, no temporary file
    byte_string path_;       // as given, for the message
    byte_string target_;     // the file replaced: `path_` with its symbolic links followed
    byte_string temporary_;
    // the file `target_` named when opened, unless it was made new
    bool target_exists_ = false;
    uint64_t target_device_ = 0;
    uint64_t target_inode_ = 0;
    byte_string buffer_;
    int32_t buffered_ = 0;
    // the first failure since open
    result result_;
};

// What a failure in an output_batch does to the files added after the one that failed.
enum class batch_failure {
    stop,   // they are discarded, as if written one by one and the writing stopped there
    go_on,  // they are put in place all the same
};

// Replacements written but not yet in place, made durable together and then renamed in the
// order they were added: one sync per file system instead of one per file. The guarantee of
// output_file::commit holds: after a crash each target holds its old or its new bytes, and a
// name never points at unsynced data. Until the batch commits, a reader of a target still
// finds the old file; `holds` tells when a read must wait for the commit.
//
// At most `max_pending` files (fewer when the descriptor limit is low) wait, each holding a
// descriptor; adding one more puts the waiting ones in place first. The old files they replace
// take their room until then, so once the waiting files hold more than `max_pending_bytes`, or
// more than a quarter of the room left on their disk, they are put in place at once: on a disk
// near full the files are replaced one by one, as by commit. A sync, close or rename
// that fails is reported like a failed commit, "Can't write to file: " and the path; that
// target keeps its old bytes and its temporary file is removed.
class output_batch {
  public:
    static constexpr int32_t default_max_pending = 256;
    static constexpr int64_t default_max_pending_bytes = int64_t{64} << 20;

    explicit output_batch(batch_failure policy = batch_failure::stop,
                          int32_t max_pending = default_max_pending,
                          int64_t max_pending_bytes = default_max_pending_bytes);
    output_batch(const output_batch&) = delete;
    output_batch& operator=(const output_batch&) = delete;
    // Discards what is still waiting.
    ~output_batch();

    // Puts every waiting file in place. Returns the first failure since the last commit (one
    // met while adding included), a write_failed; the batch is empty and ready for new files
    // afterwards.
    result commit();
    // Drops every waiting file; the targets stay as they were.
    void discard();

    bool is_empty() const { return pending_.empty(); }
    // Whether a waiting replacement is of the file with these numbers (see file_info).
    bool holds(uint64_t device, uint64_t inode) const;
    // Whether reading `path` could give other bytes after the commit: it reaches a file that a
    // waiting replacement replaces, or names no file while one waits to be made new.
    bool holds(std::string_view path) const;

  private:
    friend class output_file;

    struct pending_file {
        int fd = -1;
        uint64_t file_system = 0;  // device of the temporary file
        int64_t bytes = 0;
        bool replaces = false;  // the target existed, with the numbers below
        uint64_t device = 0;
        uint64_t inode = 0;
        bool synced = false;
        byte_string path;  // as given to open, for the message
        byte_string target;
        byte_string temporary;
    };

    bool is_full() const { return static_cast<int32_t>(pending_.size()) >= max_pending_; }
    bool refuses() const { return policy_ == batch_failure::stop && !failure_.is_ok(); }
    // Syncs and renames what waits, remembering the first failure.
    void put_in_place();
    void sync_pending();
    void fail(const byte_string& path);

    batch_failure policy_;
    int32_t max_pending_;
    int64_t max_pending_bytes_;
    std::vector<pending_file> pending_;
    int64_t pending_bytes_ = 0;
    // the first failure since the last commit
    result failure_;
};

// Testing hook, process-wide and not thread-safe: once `fail_after_bytes` more bytes were
// written by output_files, every further write fails with EIO (a write straddling the limit is
// cut short first); with `fail_close` the closing of each temporary file fails. A negative
// count and false switch the faults off again.
void set_output_fault_for_testing(int64_t fail_after_bytes, bool fail_close = false);
// Testing hook, process-wide and not thread-safe: the sync, or the rename, of the file whose
// path as given to output_file::open is `fail_sync_of`, or `fail_rename_of`, fails with EIO, in
// commit and in an output_batch alike; a batch holding the first also fails its common sync.
// Empty paths switch them off.
void set_output_commit_fault_for_testing(std::string_view fail_sync_of,
                                         std::string_view fail_rename_of);
