#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "byte_string.h"
#include "small_heap.h"
#include "template_value.h"
#include "value_list.h"

// Order of map keys: byte-wise, the empty key first, a prefix first.
struct key_less {
    using is_transparent = void;
    // unsigned bytes, then the shorter first
    bool operator()(std::string_view a, std::string_view b) const { return a < b; }
    bool operator()(const byte_string& a, const byte_string& b) const {
        return (*this)(a.view(), b.view());
    }
    bool operator()(const byte_string& a, std::string_view b) const { return (*this)(a.view(), b); }
    bool operator()(std::string_view a, const byte_string& b) const { return (*this)(a, b.view()); }
};

// Map from a key, stored as its text form, to a Mapped, kept in ascending key order.
//
// An empty map holds no storage at all (one sits in every document node), so its entries live
// behind one pointer that the first insertion fills.
template <typename Mapped>
class sorted_map_base {
  public:
    using entry_map = std::map<byte_string, Mapped, key_less,
                               small_allocator<std::pair<const byte_string, Mapped>>>;

    sorted_map_base() = default;
    sorted_map_base(const sorted_map_base& other) {
        if (!other.is_empty()) state_ = std::make_unique<state>(*other.state_);
    }
    sorted_map_base& operator=(const sorted_map_base& other) {
        if (this == &other) return *this;
        if (!other.is_empty())
            shared_state().entries = other.state_->entries;
        else
            clear();
        return *this;
    }

    int32_t count() const { return state_ ? static_cast<int32_t>(state_->entries.size()) : 0; }
    bool is_empty() const { return !state_ || state_->entries.empty(); }
    bool contains(std::string_view key) const { return find_mapped(key) != nullptr; }

    // An absent key is ignored.
    void remove(std::string_view key) {
        if (!state_) return;
        auto found = state_->entries.find(key);
        if (found != state_->entries.end()) state_->entries.erase(found);
    }
    void clear() {
        if (state_) state_->entries.clear();
    }

    // All entries in key order.
    const entry_map& entries() const { return state_ ? state_->entries : no_entries(); }

  protected:
    // The entry of key, created with a default Mapped when absent.
    Mapped& slot(std::string_view key) {
        entry_map& entries = shared_state().entries;
        auto found = entries.find(key);
        if (found == entries.end()) found = entries.emplace(byte_string(key), Mapped()).first;
        return found->second;
    }
    // The stored entry of key, or null.
    const Mapped* find_mapped(std::string_view key) const {
        if (!state_) return nullptr;
        auto found = state_->entries.find(key);
        return found == state_->entries.end() ? nullptr : &found->second;
    }
    Mapped* find_mapped(std::string_view key) {
        return const_cast<Mapped*>(std::as_const(*this).find_mapped(key));
    }

  private:
    struct state {
        static void* operator new(size_t) { return small_allocator<state>().allocate(1); }
        static void operator delete(void* p) noexcept {
            small_allocator<state>().deallocate(static_cast<state*>(p), 1);
        }

        entry_map entries;
    };

    static const entry_map& no_entries() {
        static const entry_map empty;
        return empty;
    }
    state& shared_state() {
        if (!state_) state_ = std::make_unique<state>();
        return *state_;
    }

    std::unique_ptr<state> state_;
};

// Map from a key to one value.
class sorted_map : public sorted_map_base<template_value> {
  public:
    // New entry, or the value of an existing key replaced.
    void insert(std::string_view key, const template_value& value) { slot(key) = value; }
    void insert(std::string_view key, template_value&& value) { slot(key) = std::move(value); }
    // The stored value, or null; valid until its entry is removed or the map cleared.
    template_value* find_ref(std::string_view key) { return find_mapped(key); }
    const template_value* find_ref(std::string_view key) const { return find_mapped(key); }
};

// Map from a key to a list of values that the map owns.
class named_lists : public sorted_map_base<std::unique_ptr<value_list>> {
  public:
    named_lists() = default;
    named_lists(const named_lists&) = delete;
    named_lists& operator=(const named_lists&) = delete;

    // Stores the list under the key, destroying a list stored there before; a null list
    // stores an empty one.
    void set_list(std::string_view key, std::unique_ptr<value_list> list);
    // Appends to the key's list, creating the list when the key is absent.
    void add_value(std::string_view key, template_value value);
    // The key's list, or null; valid until its entry is removed, replaced or the map cleared.
    value_list* find_list(std::string_view key);
    const value_list* find_list(std::string_view key) const;
    // True and the list's first value; false and out = empty text when the key is absent or
    // its list is empty.
    bool first_value(std::string_view key, template_value& out) const;
};
