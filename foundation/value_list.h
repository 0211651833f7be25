#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "small_heap.h"
#include "template_value.h"

// Values of a list worked out as they are read, for lists too long to hold as values.
class computed_values {
  public:
    virtual ~computed_values() = default;
    virtual int32_t count() const = 0;
    // Value i, 0 <= i < count(); valid until the next call on this object.
    virtual const template_value& value_at(int32_t i) const = 0;
};

// Ordered list of values, held or computed. Indexed access is constant time.
class value_list {
  public:
    value_list() = default;
    // A list read only through count and value: it holds no values, and adding to it, popping
    // or iterating finds it empty.
    explicit value_list(std::unique_ptr<computed_values> computed)
        : computed_(std::move(computed)) {}

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
    int32_t count() const {
        return computed_ ? computed_->count() : static_cast<int32_t>(values_.size());
    }
    bool is_empty() const { return count() == 0; }
    // Value i, 0 <= i < count(), held or computed; a computed one is valid until the next read.
    const template_value& value(int32_t i) const {
        return computed_ ? computed_->value_at(i) : values_[static_cast<size_t>(i)];
    }

    const_iterator begin() const { return values_.begin(); }
    const_iterator end() const { return values_.end(); }
    const template_value& front() const { return values_.front(); }
    const template_value& back() const { return values_.back(); }

  private:
    storage values_;
    std::unique_ptr<computed_values> computed_;
};
