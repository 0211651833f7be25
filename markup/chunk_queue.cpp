#include "chunk_queue.h"

#include <cstring>
#include <utility>

void chunk_queue::push_chunk(std::string_view text) {
    queue_chunk(byte_string(text));
}

void chunk_queue::queue_chunk(byte_string&& chunk) {
    queued_bytes_ += chunk.length();
    chunks_.push_back(std::move(chunk));
}

void chunk_queue::rewind() {
    cur_ = -1;
    cur_data_ = nullptr;
    cur_len_ = 0;
    pos_ = 0;
    end_of_input_ = false;
    released_pending_ = 0;
}

void chunk_queue::enter_chunk(int32_t index) {
    cur_ = index;
    const byte_string& chunk = chunks_[static_cast<size_t>(index)];
    cur_data_ = chunk.data();
    cur_len_ = chunk.length();
    pos_ = 0;
}

int chunk_queue::next_char_slow() {
    if (cur_ < 0) {
        // after the end every queued chunk counts as read through: only later ones are new
        if (released_pending_ >= chunk_count()) return end_of_input_ ? end_of_data : need_more;
        enter_chunk(released_pending_);
    } else {
        ++pos_;
    }
    while (pos_ >= cur_len_) {
        if (cur_ + 1 >= chunk_count()) {
            pos_ = cur_len_;
            return end_of_input_ ? end_of_data : need_more;
        }
        enter_chunk(cur_ + 1);
        ++released_pending_;
    }
    ++chars_read_;
    return static_cast<unsigned char>(cur_data_[pos_]);
}

bool chunk_queue::release_consumed() {
    if (released_pending_ <= 0 || chunks_.empty()) return false;
    queued_bytes_ -= chunks_.front().length();
    chunks_.pop_front();
    --released_pending_;
    if (cur_ > 0) --cur_;
    return true;
}

void position_tracker::count_lines(int32_t n) {
    const char* begin = lookahead().data();
    const char* end = begin + n;
    // line feeds are rare next to the other bytes: memchr jumps from one to the next
    const char* last_feed = nullptr;
    int64_t feeds = 0;
    for (const char* p = begin;
         (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))); ++p) {
        last_feed = p;
        ++feeds;
    }
    if (feeds == 0) {
        column_ += n;
    } else {
        line_ += feeds;
        column_ = end - last_feed - 1;
    }
}
