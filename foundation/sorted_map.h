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

// Order of map keys: byte_string::compare, byte-wise, the empty key first, a prefix first.
struct key_less {
    using is_transparent = void;
    // The same order as byte_string::compare: unsigned bytes, then the shorter first.
    bool operator()(std::string_view a, std::string_view b) const { return a < b; }
    bool operator()(const byte_string& a, const byte_string& b) const {
        return (*this)(a.view(), b.view());
    }
    bool operator()(const byte_string& a, std::string_view b) const { return (*this)(a.view(), b); }
    bool operator()(std::string_view a, const byte_string& b) const { return (*this)(a, b.view()); }
};

// Map from a key, stored as its text form, to a Mapped, kept in ascending key order.
//
// Iteration works on a snapshot: `start_iteration` queues every entry in key order and
// `next_entry` hands them out, each with its value as it is at that moment. Entries inserted
// meanwhile are not visited; `remove` and `clear` empty the queue.
//
// An empty map holds no storage at all (one sits in every document node), so its entries and
// queue live behind one pointer that the first insertion fills.
template <typename Mapped>
class sorted_map_base {
  public:
    using entry_map = std::map<byte_string, Mapped, key_less,
                               small_allocator<std::pair<const byte_string, Mapped>>>;

    sorted_map_base() = default;
    // A copy holds the same entries and an empty iteration queue.
    sorted_map_base(const sorted_map_base& other) {
        if (other.state_ && !other.state_->entries.empty())
            state_ = std::make_unique<state>(state{other.state_->entries, {}, 0});
    }
    sorted_map_base& operator=(const sorted_map_base& other) {
        if (this != &other) {
            drop_queue();
            if (other.state_ && !other.state_->entries.empty())
                shared_state().entries = other.state_->entries;
            else if (state_)
                state_->entries.clear();
        }
        return *this;
    }
    virtual ~sorted_map_base() = default;

    int32_t count() const { return state_ ? static_cast<int32_t>(state_->entries.size()) : 0; }
    bool is_empty() const { return !state_ || state_->entries.empty(); }
    bool contains(std::string_view key) const {
        return state_ && state_->entries.find(key) != state_->entries.end();
    }

    // Empties the iteration queue, then drops the entry; an absent key is ignored.
    virtual void remove(std::string_view key) {
        drop_queue();
        if (!state_) return;
        auto found = state_->entries.find(key);
        if (found != state_->entries.end()) state_->entries.erase(found);
    }
    void remove(const template_value& key) { remove(key.view()); }
    void clear() {
        drop_queue();
        if (state_) state_->entries.clear();
    }
    void start_iteration() {
        drop_queue();
        if (!state_) return;
        state_->queue.reserve(state_->entries.size());
        for (auto it = state_->entries.begin(); it != state_->entries.end(); ++it)
            state_->queue.push_back(it);
    }

    // All entries in key order, for walks that need no snapshot.
    const entry_map& entries() const { return state_ ? state_->entries : no_entries(); }

  protected:
    using entry_iterator = typename entry_map::iterator;

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
    // False when the queue is empty.
    bool pop_queue(entry_iterator& out) {
        if (!state_ || state_->queue_head >= state_->queue.size()) return false;
        out = state_->queue[state_->queue_head++];
        return true;
    }

  private:
    struct state {
        static void* operator new(size_t) { return small_allocator<state>().allocate(1); }
        static void operator delete(void* p) noexcept {
            small_allocator<state>().deallocate(static_cast<state*>(p), 1);
        }

        entry_map entries;
        // Map iterators stay valid while other entries come and go; every removal empties it.
        std::vector<entry_iterator> queue;
        size_t queue_head = 0;
    };

    static const entry_map& no_entries() {
        static const entry_map empty;
        return empty;
    }
    state& shared_state() {
        if (!state_) state_ = std::make_unique<state>();
        return *state_;
    }
    void drop_queue() {
        if (!state_) return;
        state_->queue.clear();
        state_->queue_head = 0;
    }

    std::unique_ptr<state> state_;
};

// Map from a key to one value.
class sorted_map : public sorted_map_base<template_value> {
  public:
    // New entry, or the value of an existing key replaced.
    void insert(std::string_view key, const template_value& value);
    void insert(std::string_view key, template_value&& value);
    void insert(const template_value& key, const template_value& value) {
        insert(key.view(), value);
    }
    // True and a copy of the value; false and out = integer 0 when absent.
    bool find(std::string_view key, template_value& out) const;
    bool find(const template_value& key, template_value& out) const {
        return find(key.view(), out);
    }
    // The stored value, or null; valid until its entry is removed or the map cleared.
    template_value* find_ref(std::string_view key);
    const template_value* find_ref(std::string_view key) const;
    template_value* find_ref(const template_value& key) { return find_ref(key.view()); }
    // Pops the iteration queue: key (a text) and a copy of its current value.
    bool next_entry(template_value& key, template_value& value);
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
    // Appends through the list's `add` (taking over the value's text storage), creating the
    // list when the key is absent.
    void add_value(std::string_view key, template_value& value);
    void add_value(std::string_view key, template_value&& value) { add_value(key, value); }
    void add_value(const template_value& key, template_value& value) {
        add_value(key.view(), value);
    }
    // The key's list, or null; valid until its entry is removed, replaced or the map cleared.
    value_list* find_list(std::string_view key);
    const value_list* find_list(std::string_view key) const;
    value_list* find_list(const template_value& key) { return find_list(key.view()); }
    // True and the list's first value; false and out = empty text when the key is absent or
    // its list is empty.
    bool first_value(std::string_view key, template_value& out) const;
    bool first_value(const template_value& key, template_value& out) const {
        return first_value(key.view(), out);
    }
    // Pops the iteration queue: key (a text) and its current list, which stays owned by the map.
    bool next_entry(template_value& key, value_list*& list);
};
