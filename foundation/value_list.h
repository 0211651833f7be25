#pragma once

#include <cstdint>
#include <deque>

#include "small_heap.h"
#include "template_value.h"

// Ordered list of values. Indexed access is constant time.
class value_list {
  public:
    // The lists of a TOC hold a row per entry, millions for a large one: their blocks come from
    // the small-object heap.
    using storage = std::deque<template_value, small_allocator<template_value>>;
    using const_iterator = storage::const_iterator;

    // Appends at the tail; the moved-from value keeps its kind and integer, its text is left
    // empty.
    void add(const template_value& value) { values_.push_back(value); }
    void add(template_value&& value) { values_.push_back(std::move(value)); }
    // Moves the first value into out and drops it; false (out untouched) when empty.
    bool pop_front(template_value& out);

    // Value i; when i is out of range a default value (integer 0) is appended and returned, so
    // the list grows by one. The reference stays valid while values are added or popped at
    // either end, and ends when this value is popped or the list is cleared.
    template_value& at(int32_t i);
    void clear() { values_.clear(); }
    int32_t count() const { return static_cast<int32_t>(values_.size()); }
    bool is_empty() const { return values_.empty(); }

    const_iterator begin() const { return values_.begin(); }
    const_iterator end() const { return values_.end(); }
    const template_value& front() const { return values_.front(); }
    const template_value& back() const { return values_.back(); }

  private:
    storage values_;
};
