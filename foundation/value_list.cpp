#include "value_list.h"

#include <cassert>

void value_list::add(template_value& value) {
    rewind();
    values_.emplace_back(std::move(value));
}

void value_list::add_copy(const template_value& value) {
    template_value copy(value);
    add(copy);
}

void value_list::add_front(template_value& value) {
    rewind();
    values_.emplace_front(std::move(value));
    // the cursor keeps naming the value it named before the head was inserted
    if (cursor_ != no_cursor) ++cursor_;
}

void value_list::add_front_copy(const template_value& value) {
    template_value copy(value);
    add_front(copy);
}

bool value_list::pop_front(template_value& out) {
    rewind();
    if (values_.empty()) return false;
    out = std::move(values_.front());
    drop_cursor_at(0);
    values_.pop_front();
    return true;
}

bool value_list::pop_back(template_value& out) {
    rewind();
    if (values_.empty()) return false;
    out = std::move(values_.back());
    drop_cursor_at(count() - 1);
    values_.pop_back();
    return true;
}

template_value& value_list::at(int32_t i) {
    if (i >= 0 && i < count()) return values_[static_cast<size_t>(i)];
    size_t before = values_.size();
    add(template_value());
    assert(values_.size() == before + 1);
    (void)before;
    return values_.back();
}

bool value_list::get(int32_t i, template_value& out) const {
    if (i < 0 || i >= count()) return false;
    out = values_[static_cast<size_t>(i)];
    return true;
}

bool value_list::remove(int32_t i) {
    if (i < 0 || i >= count()) return false;
    drop_cursor_at(i);
    values_.erase(values_.begin() + i);
    return true;
}

void value_list::clear() {
    values_.clear();
    cursor_ = no_cursor;
}

void value_list::rewind() {
    if (values_.empty())
        cursor_ = no_cursor;
    else
        cursor_ = forward_ ? 0 : count() - 1;
}

bool value_list::next(template_value& out) {
    if (cursor_ == no_cursor) return false;
    out = values_[static_cast<size_t>(cursor_)];
    if (forward_)
        cursor_ = cursor_ + 1 < count() ? cursor_ + 1 : no_cursor;
    else
        cursor_ = cursor_ - 1;
    return true;
}

// Called before value i leaves the list: indexes behind it shift down by one, and a cursor
// on it moves to the value that comes next in its walking direction.
void value_list::drop_cursor_at(int32_t i) {
    if (cursor_ == no_cursor) return;
    if (i < cursor_) {
        --cursor_;
    } else if (i == cursor_) {
        if (forward_)
            cursor_ = i + 1 < count() ? i : no_cursor;
        else
            cursor_ = i - 1;
    }
}
