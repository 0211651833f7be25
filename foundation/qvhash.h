#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/qvarr.h"
#include "foundation/qvchar.h"
#include "foundation/qvval.h"

// Order of map keys: qvchar::compare, byte-wise, the empty key first, a prefix first.
struct key_less {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return qvchar::compare(a, b) < 0;
    }
    bool operator()(const qvchar& a, const qvchar& b) const { return (*this)(a.view(), b.view()); }
    bool operator()(const qvchar& a, std::string_view b) const { return (*this)(a.view(), b); }
    bool operator()(std::string_view a, const qvchar& b) const { return (*this)(a, b.view()); }
};

// Map from a key, stored as its text form, to a Mapped, kept in ascending key order.
//
// Iteration works on a snapshot: `start_iteration` queues every entry in key order and
// `next_entry` hands them out, each with its value as it is at that moment. Entries inserted
// meanwhile are not visited; `remove` and `clear` empty the queue.
template <typename Mapped>
class qvhash_tree {
  public:
    using entry_map = std::map<qvchar, Mapped, key_less>;

    qvhash_tree() = default;
    // A copy holds the same entries and an empty iteration queue.
    qvhash_tree(const qvhash_tree& other) : entries_(other.entries_) {}
    qvhash_tree& operator=(const qvhash_tree& other) {
        if (this != &other) {
            drop_queue();
            entries_ = other.entries_;
        }
        return *this;
    }
    virtual ~qvhash_tree() = default;

    int32_t count() const { return static_cast<int32_t>(entries_.size()); }
    bool is_empty() const { return entries_.empty(); }
    bool contains(std::string_view key) const { return entries_.find(key) != entries_.end(); }

    // Empties the iteration queue, then drops the entry; an absent key is ignored.
    virtual void remove(std::string_view key) {
        drop_queue();
        auto found = entries_.find(key);
        if (found != entries_.end()) entries_.erase(found);
    }
    void remove(const qvval& key) { remove(key.view()); }
    void clear() {
        drop_queue();
        entries_.clear();
    }
    void start_iteration() {
        drop_queue();
        queue_.reserve(entries_.size());
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            queue_.push_back(it);
    }

    // All entries in key order, for walks that need no snapshot.
    const entry_map& entries() const { return entries_; }

  protected:
    using entry_iterator = typename entry_map::iterator;

    // The entry of key, created with a default Mapped when absent.
    Mapped& slot(std::string_view key) {
        auto found = entries_.find(key);
        if (found == entries_.end()) found = entries_.emplace(qvchar(key), Mapped()).first;
        return found->second;
    }
    // False when the queue is empty.
    bool pop_queue(entry_iterator& out) {
        if (queue_head_ >= queue_.size()) return false;
        out = queue_[queue_head_++];
        return true;
    }

    entry_map entries_;

  private:
    void drop_queue() {
        queue_.clear();
        queue_head_ = 0;
    }

    // Map iterators stay valid while other entries come and go; every removal empties it.
    // A vector, not a deque: an empty map (one per document node) allocates nothing.
    std::vector<entry_iterator> queue_;
    size_t queue_head_ = 0;
};

// Map from a key to one value.
class qvhash : public qvhash_tree<qvval> {
  public:
    // New entry, or the value of an existing key replaced.
    void insert(std::string_view key, const qvval& value);
    void insert(std::string_view key, qvval&& value);
    void insert(const qvval& key, const qvval& value) { insert(key.view(), value); }
    // True and a copy of the value; false and out = integer 0 when absent.
    bool find(std::string_view key, qvval& out) const;
    bool find(const qvval& key, qvval& out) const { return find(key.view(), out); }
    // The stored value, or null; valid until its entry is removed or the map cleared.
    qvval* find_ref(std::string_view key);
    const qvval* find_ref(std::string_view key) const;
    qvval* find_ref(const qvval& key) { return find_ref(key.view()); }
    // Pops the iteration queue: key (a text) and a copy of its current value.
    bool next_entry(qvval& key, qvval& value);
};

// Map from a key to a list of values that the map owns.
class qvhash_array : public qvhash_tree<std::unique_ptr<qvarr>> {
  public:
    qvhash_array() = default;
    qvhash_array(const qvhash_array&) = delete;
    qvhash_array& operator=(const qvhash_array&) = delete;

    // Stores the list under the key, destroying a list stored there before; a null list
    // stores an empty one.
    void set_list(std::string_view key, std::unique_ptr<qvarr> list);
    // Appends through the list's `add` (taking over the value's text storage), creating the
    // list when the key is absent.
    void add_value(std::string_view key, qvval& value);
    void add_value(std::string_view key, qvval&& value) { add_value(key, value); }
    void add_value(const qvval& key, qvval& value) { add_value(key.view(), value); }
    // The key's list, or null; valid until its entry is removed, replaced or the map cleared.
    qvarr* find_list(std::string_view key);
    const qvarr* find_list(std::string_view key) const;
    qvarr* find_list(const qvval& key) { return find_list(key.view()); }
    // True and the list's first value; false and out = empty text when the key is absent or
    // its list is empty.
    bool first_value(std::string_view key, qvval& out) const;
    bool first_value(const qvval& key, qvval& out) const { return first_value(key.view(), out); }
    // Pops the iteration queue: key (a text) and its current list, which stays owned by the map.
    bool next_entry(qvval& key, qvarr*& list);
};
