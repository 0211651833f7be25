#pragma once

#include <cstdint>
#include <deque>

#include "template_value.h"

// Ordered list of values with a cursor. Indexed access is constant time.
//
// The cursor names the value that `next` hands out next, or none. `add`, `add_front`,
// `pop_front` and `pop_back` rewind it before they change the list and it keeps naming
// the same value afterwards (adding to an empty list therefore leaves it on none); when its
// value is removed it moves on to the value that would have come next.
class value_list {
  public:
    using const_iterator = std::deque<template_value>::const_iterator;

    value_list() = default;
    value_list(const value_list& other) = default;
    value_list& operator=(const value_list& other) = default;
    value_list(value_list&& other) = default;
    value_list& operator=(value_list&& other) = default;
    virtual ~value_list() = default;

    // Appends at the tail, taking over the value's text storage: the value keeps its kind and
    // payload, its text is left empty. An override must append exactly one value.
    virtual void add(template_value& value);
    void add(template_value&& value) { add(value); }
    // Appends a copy through `add`; the value is unchanged.
    void add_copy(const template_value& value);
    // Inserts at the head, taking over the text storage like `add`.
    void add_front(template_value& value);
    void add_front(template_value&& value) { add_front(value); }
    void add_front_copy(const template_value& value);
    // Move the first or last value into out and drop it; false (out untouched) when empty.
    bool pop_front(template_value& out);
    bool pop_back(template_value& out);

    // Value i; when i is out of range a default value (integer 0) is appended through `add`
    // and returned, so the list grows by one. The reference stays valid while values are
    // added or popped at either end, and ends when this value is popped, any value is
    // removed by `remove`, or the list is cleared.
    template_value& at(int32_t i);
    // Copies value i into out; false (out untouched) when i is out of range.
    bool get(int32_t i, template_value& out) const;
    // Drops value i; false when i is out of range.
    bool remove(int32_t i);
    void clear();
    int32_t count() const { return static_cast<int32_t>(values_.size()); }
    bool is_empty() const { return values_.empty(); }

    // The cursor walks head to tail when true (the default), tail to head when false.
    bool forward() const { return forward_; }
    void set_forward(bool forward) { forward_ = forward; }
    // Puts the cursor on the head, or on the tail when walking backwards.
    void rewind();
    // Copies the cursor's value into out and advances; false when the cursor is past the end.
    bool next(template_value& out);

    // Read-only walk in list order that leaves the cursor alone.
    const_iterator begin() const { return values_.begin(); }
    const_iterator end() const { return values_.end(); }
    const template_value& front() const { return values_.front(); }
    const template_value& back() const { return values_.back(); }

  private:
    static constexpr int32_t no_cursor = -1;

    void drop_cursor_at(int32_t i);

    std::deque<template_value> values_;
    // Index of the value `next` hands out, or no_cursor.
    int32_t cursor_ = no_cursor;
    bool forward_ = true;
};
