#pragma once

#include <cstdint>
#include <deque>
#include <string_view>

#include "byte_string.h"

// Input queue of a streaming reader: chunks in arrival order, read one byte at a time.
// The read position names the byte returned last; reading past the last queued chunk
// leaves the position there, so chunks pushed later continue the input seamlessly.
class chunk_queue {
  public:
    static constexpr int end_of_data = -1;  // input exhausted and end_of_input set
    static constexpr int need_more = -2;    // input exhausted, more chunks may come

    chunk_queue() = default;
    chunk_queue(const chunk_queue&) = delete;
    chunk_queue& operator=(const chunk_queue&) = delete;
    virtual ~chunk_queue() = default;

    // Queues a copy of the bytes; the caller's buffer may be reused at once.
    virtual void push_chunk(std::string_view text);
    // Forgets the read position: the next read starts at the first queued chunk.
    virtual void rewind();

    // Next byte (0 to 255), end_of_data or need_more.
    int next_char() {
        if (pos_ + 1 < cur_len_) {
            ++pos_;
            ++chars_read_;
            return static_cast<unsigned char>(cur_data_[pos_]);
        }
        return next_char_slow();
    }

    // Drops the first chunk when it has been read through; false when there is none.
    bool release_consumed();

    void set_end_of_input(bool on) { end_of_input_ = on; }
    bool end_of_input() const { return end_of_input_; }
    void set_size_limit(int32_t limit) { size_limit_ = limit; }
    int32_t size_limit() const { return size_limit_; }
    int64_t chars_read() const { return chars_read_; }
    int32_t released_pending() const { return released_pending_; }
    int32_t chunk_count() const { return static_cast<int32_t>(chunks_.size()); }
    // Bytes of all queued chunks, read or not.
    int64_t queued_bytes() const { return queued_bytes_; }

  protected:
    // Takes over a chunk that is already in its final form (for push_chunk overrides).
    void queue_chunk(byte_string&& chunk);
    // Unread bytes of the current chunk after the position; valid until the next read or push.
    std::string_view lookahead() const {
        if (pos_ + 1 >= cur_len_) return {};
        return {cur_data_ + pos_ + 1, static_cast<size_t>(cur_len_ - pos_ - 1)};
    }
    // Counts n bytes of lookahead() as returned.
    void skip(int32_t n) {
        pos_ += n;
        chars_read_ += n;
    }
    // Counts every queued chunk as read through, so release_consumed drops them all.
    void mark_all_read_through() { released_pending_ = chunk_count(); }

  private:
    int next_char_slow();
    void enter_chunk(int32_t index);

    std::deque<byte_string> chunks_;
    int32_t cur_ = -1;  // index of the current chunk; -1 before the first read
    const char* cur_data_ = nullptr;
    int32_t cur_len_ = 0;
    int32_t pos_ = 0;
    int32_t released_pending_ = 0;
    int64_t chars_read_ = 0;
    int64_t queued_bytes_ = 0;
    int32_t size_limit_ = 65536;
    bool end_of_input_ = false;
};

// Adds the position of the byte returned last: a line feed starts a new line at column 0,
// every other byte (a carriage return too) moves one column on.
class position_tracker : public chunk_queue {
  public:
    // Hides chunk_queue::next_char: reads through the lexer keep line and column.
    int next_char() {
        int c = chunk_queue::next_char();
        if (!counting_) return c;
        if (c == '\n') {
            ++line_;
            column_ = 0;
        } else if (c >= 0) {
            ++column_;
        }
        return c;
    }

    int64_t line() const { return line_; }
    int64_t column() const { return column_; }
    // For a reader that reports no positions: line and column then stay where they are, and
    // reading saves the search for line feeds.
    void stop_counting() { counting_ = false; }

  protected:
    // skip() that keeps line and column as n single reads would.
    void skip_counted(int32_t n) {
        if (counting_) count_lines(n);
        skip(n);
    }

  private:
    int64_t line_ = 1;
    int64_t column_ = 0;
    // Counts the lines and columns of the next n bytes of lookahead().
    void count_lines(int32_t n);

    bool counting_ = true;
};
