#pragma once

#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "result.h"

class output_batch;
class temporaries_ahead;

// What tells one file from any other, ever: an inode number freed and given to a new file comes
// with a new birth time (0 where the file system keeps none).
struct file_identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t born = 0;   // nanoseconds since 1970
    uint32_t type = 0;  // the S_IFMT bits
    bool operator==(const file_identity&) const = default;
};

// A file to be written, found once: its symbolic links followed, the directory holding it kept
// open, and the numbers of the file found there. Writing through it lands in that directory
// under that name, and only while the name still reaches that file, whatever is renamed or
// linked meanwhile.
class output_target {
  public:
    output_target() = default;
    output_target(output_target&& other) noexcept;
    output_target& operator=(output_target&& other) noexcept;
    ~output_target();

    // The descriptor of a directory already open for the path given, else -1.
    using directory_lookup = std::function<int(std::string_view directory_path)>;

    // Finds `path`, in a directory `known` has open when it has (borrowed, see
    // borrow_directory). open_failed, "Can't open file for writing: " and the path, for an empty
    // path, a broken chain of links or a directory that can't be opened.
    result find(std::string_view path, const directory_lookup& known = {});
    // Takes the numbers of the file the name reaches now.
    void refresh();

    const byte_string& path() const { return path_; }
    int directory() const { return directory_; }
    // The path of the directory, as reached by following the links.
    std::string_view directory_path() const;
    bool owns_directory() const { return owns_directory_; }
    const byte_string& name() const { return name_; }
    // The name with a NUL after it, for the system.
    const char* c_name() const { return name_.c_str(); }
    bool exists() const { return exists_; }
    uint64_t device() const { return id_.device; }
    uint64_t inode() const { return id_.inode; }
    // Whether the name still reaches the file found (or still none, for a new file).
    bool is_unchanged() const;
    // Notes that the name now reaches the file with these numbers, put in place by the build;
    // the targets joined to this one learn it too.
    void took(const file_identity& id);
    // Joins `other`, another path to the same name in the same directory, whose lifetime must
    // cover this object's.
    void join(output_target& other);
    // Shares the directory of `other`, whose lifetime must cover this object's.
    void borrow_directory(const output_target& other);

  private:
    friend class output_file;
    friend class output_batch;

    byte_string path_;      // as given, for the message
    byte_string resolved_;  // `path_` with its symbolic links followed
    int directory_ = -1;
    bool owns_directory_ = false;
    mutable byte_string name_;  // c_str() may add the NUL
    bool exists_ = false;
    file_identity id_;
    output_target* next_same_ = this;  // a ring of the targets joined
};

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
    // Starts replacing the file `target` found; the write goes to that file only. `target`
    // must outlive the replacement and learns the numbers of the new file once it is in place.
    // A temporary file that `made_ahead` made for it is taken instead of making one.
    result open(output_target& target, temporaries_ahead* made_ahead = nullptr);
    // Appends bytes. The first failure is remembered, later writes are ignored, and commit
    // reports it.
    void write(std::string_view bytes);
    // The same for bytes that stay unchanged where they are until commit, commit_to or discard:
    // they go to the file from there, many pieces in one call, and pieces that follow each other
    // in memory as one.
    void write_lasting(std::string_view bytes);
    // Writes what is buffered, syncs, closes and puts the file in place of the target. After
    // it the object is closed whatever the result; open_failed when nothing was open. A target
    // that holds exactly the bytes written is left as it was, its modification time included:
    // the replacement is dropped, and costs no sync.
    result commit();
    // Like commit, but leaves the sync and the rename to `batch`, which puts the file in place
    // with the others it holds (see output_batch); a target that holds the bytes written is left
    // out of it. Reports what failed so far: the writing, or,
    // when the batch stops at failures, an earlier file of the batch that failed, whose path
    // the message then names. A target written in place is closed at once, as by commit.
    result commit_to(output_batch& batch);
    // Drops the temporary file; the target stays as it was.
    void discard();

    bool is_open() const { return fd_ >= 0 || old_fd_ >= 0; }

  private:
    result open_found();
    [[nodiscard]] bool create_temporary(mode_t mode);
    // Gives the open temporary file the owner, group, mode and extended attributes of `old`;
    // false when the new file would differ from it in any of them.
    [[nodiscard]] bool take_access_of(const struct stat& old);
    // Makes the temporary file of a replacement that waited for bytes differing from the old
    // file's (see old_fd_), with the first `agreed` bytes of the old file.
    void make_replacement(int64_t agreed);
    // Whether the old file holds these bytes next, at `compared_`.
    bool agrees_with_old(const char* bytes, size_t n);
    // Whether `pieces`, the next bytes out, go to the temporary file: once it is made, or when
    // they differ from the old file's and it is made now.
    bool is_replaced(const iovec* pieces, size_t count);
    // Whether the target holds exactly the bytes written, and is still the file found.
    bool target_holds_output();
    // Writes the staged bytes over the target itself, keeping a copy of its old bytes until done.
    void rewrite_in_place();
    void flush_buffer();
    // Hands the buffered bytes not yet gathered on to the gathered pieces.
    void gather_buffered();
    void write_gathered();
    // Flushes and gives back the set-id bits that writing took.
    void finish_writing();
    void write_through(const char* bytes, size_t n);
    // Counts bytes written and sends every few megabytes on to the disk, so that the sync at the
    // commit finds most of a large file there already.
    void wrote(size_t n);
    void fail(status_code code);
    void fail(status_code code, std::string_view message);

    int fd_ = -1;
    bool in_place_ = false;  // writing into a device or pipe, no temporary file
    bool rewrite_ = false;   // the staged bytes go over the target (see above)
    mode_t kept_mode_ = 0;   // the old file's mode, once the replacement took it
    output_target own_;      // what open(path) found
    output_target* target_ = nullptr;
    temporaries_ahead* made_ahead_ = nullptr;
    byte_string temporary_;  // its name in the target's directory
    int slot_ = -1;          // where a signal finds the temporary file
    byte_string buffer_;
    int32_t buffered_ = 0;
    // Pieces waiting to be written in one call, the buffer's first `gathered_to_` bytes among them.
    std::vector<iovec> gathered_;
    int32_t gathered_to_ = 0;
    int64_t written_ = 0;
    // The old file, open for reading while every byte written agrees with its bytes: until then
    // nothing is written and there is no temporary file (fd_ is -1).
    int old_fd_ = -1;
    struct stat old_found_ {};  // what the old file was found to be when opened
    int64_t old_size_ = 0;
    int64_t compared_ = 0;
    byte_string old_bytes_;
    int64_t sent_to_disk_ = 0;  // bytes whose writeback has been started
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
// descriptor, and one of its directory when opened by path. Adding one more puts the waiting ones
// in place on a thread of their own, synced, renamed and their old files let go, while the next
// files are made; the next batch put in place waits for that first, and so does every commit. The
// old files take their room until then, so once the waiting files hold more than
// `max_pending_bytes`, or more than a quarter of the room left on their disk, they are put in
// place at once: on a disk near full the files are replaced one by one, as by commit. A sync,
// close or rename that fails is reported like a failed commit, "Can't write to file: " and the
// path; that target keeps its old bytes and its temporary file is removed. A failure on the
// thread is known once it is done: files added meanwhile are dropped when the batch stops at
// failures, and the next commit reports it.
class output_batch {
  public:
    static constexpr int32_t default_max_pending = 128;
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

    bool is_empty() const { return pending_.empty() && putting_.empty(); }
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
        output_target target;             // its directory borrowed or shared
        output_target* update = nullptr;  // told the new numbers once in place
        file_identity made;               // the temporary file
        bool synced = false;
        byte_string temporary;
        int slot = -1;
        bool placed = false;
    };

    bool is_full() const { return static_cast<int32_t>(pending_.size()) >= max_pending_; }
    bool refuses() const { return policy_ == batch_failure::stop && !failure_.is_ok(); }
    // Waits for the files being put in place on the thread, if any, then puts what waits in
    // place; a batch that stops at failures drops it once a failure is known. Returns the
    // references that keep the old files until they are let go: closing the last one frees a
    // file's blocks.
    std::vector<int> put_in_place();
    // Syncs and renames `files`, in their order, keeping the first failure in `failure`; returns
    // the references as put_in_place does. Touches nothing else of the batch, so that it can run
    // on a thread of its own.
    static std::vector<int> put_files(std::vector<pending_file>& files, batch_failure policy,
                                      result& failure);
    static void sync_files(std::vector<pending_file>& files);
    // Tells the targets of the files put in place their new numbers, and forgets the files.
    static void settle(std::vector<pending_file>& files);
    // Puts what waits in place, and lets go of the old files, on a thread of its own: where the
    // disk syncs or discards what is freed, that waits on it while the next files are made.
    void put_in_background();
    // Waits for the thread, then takes its failure as the batch's when it is the first.
    void finish_background();
    static void* run_background(void* self);
    // Whether the waiting files hold more than a quarter of the room left on the disk of `fd`,
    // on file system `device`.
    bool short_of_room(int fd, uint64_t device);

    batch_failure policy_;
    int32_t max_pending_;
    int64_t max_pending_bytes_;
    std::vector<pending_file> pending_;
    int64_t pending_bytes_ = 0;
    // The room last found left on a file system: looked at again only once the waiting files
    // pass an eighth of it, or for another file system.
    uint64_t room_device_ = 0;
    uint64_t room_ = 0;
    bool knows_room_ = false;
    // the first failure since the last commit
    result failure_;
    // The files being put in place on the thread, and what failed there: the batch's reads of
    // them (see holds) only look at what the thread leaves alone.
    std::vector<pending_file> putting_;
    result background_failure_;
    pthread_t background_{};
    bool background_running_ = false;
};

// Temporary files made on a thread of their own ahead of the writer, for targets that a run
// replaces in a known order: where making a file is slow, as on a file system that first passes
// over every file freed lately, the writer then only writes. Each is made as output_file makes
// that of a replacement, readable by its owner alone, and a signal removes it as it removes the
// writer's. At most a few wait, each holding a descriptor. Those of targets the writer passes by,
// which it left unchanged, are removed, and then none are made until it needs one again: a run
// that changes nothing makes a few at most.
class temporaries_ahead {
  public:
    // Starts the thread for `targets` in their order; they must outlive this object.
    explicit temporaries_ahead(const std::vector<const output_target*>& targets);
    temporaries_ahead(const temporaries_ahead&) = delete;
    temporaries_ahead& operator=(const temporaries_ahead&) = delete;
    // Stops the thread and removes the files not taken.
    ~temporaries_ahead();

  private:
    friend class output_file;

    // Where a target's file goes: copied, as the writer's thread may touch the target meanwhile.
    struct place {
        const output_target* target;
        int directory;
        byte_string name;
    };
    struct made_file {
        size_t index = 0;  // in `places_`
        int fd = -1;
        byte_string name;
        int slot = -1;
    };

    // The file made for `target`, a target after the last one taken: its descriptor, with its
    // name and its slot; the files of the targets passed by are removed. -1 when none is made
    // for it, and the writer makes its own.
    int take(const output_target& target, byte_string& name, int& slot);
    static void* run(void* self);
    void make_files();
    void remove(made_file& file);

    std::vector<place> places_;
    size_t most_waiting_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<made_file> made_;  // in the order of `places_`
    size_t next_to_make_ = 0;
    size_t making_ = SIZE_MAX;  // the file being made now
    size_t next_to_take_ = 0;   // the targets before it are done with
    bool paused_ = false;
    bool stopping_ = false;
    pthread_t thread_{};
    bool running_ = false;
};

// Removes the temporary files named for `names` in `directory` that a process of this user left
// and that is gone: only names made by output_file, holding a pid that no process has now.
void remove_stale_temporaries(int directory, const std::vector<std::string_view>& names);

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
