#include "foundation/qvhash.h"

#include <utility>

void qvhash::insert(std::string_view key, const qvval& value) {
    slot(key) = value;
}

void qvhash::insert(std::string_view key, qvval&& value) {
    slot(key) = std::move(value);
}

bool qvhash::find(std::string_view key, qvval& out) const {
    const qvval* found = find_mapped(key);
    if (!found) {
        out.set_integer(0);
        return false;
    }
    out = *found;
    return true;
}

qvval* qvhash::find_ref(std::string_view key) {
    return find_mapped(key);
}

const qvval* qvhash::find_ref(std::string_view key) const {
    return find_mapped(key);
}

bool qvhash::next_entry(qvval& key, qvval& value) {
    entry_iterator entry;
    if (!pop_queue(entry)) return false;
    key.set_text(entry->first.view());
    value = entry->second;
    return true;
}

void qvhash_array::set_list(std::string_view key, std::unique_ptr<qvarr> list) {
    if (!list) list = std::make_unique<qvarr>();
    slot(key) = std::move(list);
}

void qvhash_array::add_value(std::string_view key, qvval& value) {
    std::unique_ptr<qvarr>& list = slot(key);
    if (!list) list = std::make_unique<qvarr>();
    list->add(value);
}

qvarr* qvhash_array::find_list(std::string_view key) {
    std::unique_ptr<qvarr>* found = find_mapped(key);
    return found ? found->get() : nullptr;
}

const qvarr* qvhash_array::find_list(std::string_view key) const {
    const std::unique_ptr<qvarr>* found = find_mapped(key);
    return found ? found->get() : nullptr;
}

bool qvhash_array::first_value(std::string_view key, qvval& out) const {
    const qvarr* list = find_list(key);
    if (!list || list->is_empty()) {
        out.set_text(std::string_view());
        return false;
    }
    out = list->front();
    return true;
}

bool qvhash_array::next_entry(qvval& key, qvarr*& list) {
    entry_iterator entry;
    if (!pop_queue(entry)) return false;
    key.set_text(entry->first.view());
    list = entry->second.get();
    return true;
}
