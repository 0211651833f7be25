#include "sorted_map.h"

#include <utility>

void sorted_map::insert(std::string_view key, const template_value& value) {
    slot(key) = value;
}

void sorted_map::insert(std::string_view key, template_value&& value) {
    slot(key) = std::move(value);
}

bool sorted_map::find(std::string_view key, template_value& out) const {
    const template_value* found = find_mapped(key);
    if (!found) {
        out.set_integer(0);
        return false;
    }
    out = *found;
    return true;
}

template_value* sorted_map::find_ref(std::string_view key) {
    return find_mapped(key);
}

const template_value* sorted_map::find_ref(std::string_view key) const {
    return find_mapped(key);
}

bool sorted_map::next_entry(template_value& key, template_value& value) {
    entry_iterator entry;
    if (!pop_queue(entry)) return false;
    key.set_text(entry->first.view());
    value = entry->second;
    return true;
}

void named_lists::set_list(std::string_view key, std::unique_ptr<value_list> list) {
    if (!list) list = std::make_unique<value_list>();
    slot(key) = std::move(list);
}

void named_lists::add_value(std::string_view key, template_value& value) {
    std::unique_ptr<value_list>& list = slot(key);
    if (!list) list = std::make_unique<value_list>();
    list->add(value);
}

value_list* named_lists::find_list(std::string_view key) {
    std::unique_ptr<value_list>* found = find_mapped(key);
    return found ? found->get() : nullptr;
}

const value_list* named_lists::find_list(std::string_view key) const {
    const std::unique_ptr<value_list>* found = find_mapped(key);
    return found ? found->get() : nullptr;
}

bool named_lists::first_value(std::string_view key, template_value& out) const {
    const value_list* list = find_list(key);
    if (!list || list->is_empty()) {
        out.set_text(std::string_view());
        return false;
    }
    out = list->front();
    return true;
}

bool named_lists::next_entry(template_value& key, value_list*& list) {
    entry_iterator entry;
    if (!pop_queue(entry)) return false;
    key.set_text(entry->first.view());
    list = entry->second.get();
    return true;
}
