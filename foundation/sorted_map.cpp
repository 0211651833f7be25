#include "sorted_map.h"

#include <utility>

void named_lists::set_list(std::string_view key, std::unique_ptr<value_list> list) {
    if (!list) list = std::make_unique<value_list>();
    slot(key) = std::move(list);
}

void named_lists::add_value(std::string_view key, template_value value) {
    std::unique_ptr<value_list>& list = slot(key);
    if (!list) list = std::make_unique<value_list>();
    list->add(std::move(value));
}

value_list* named_lists::find_list(std::string_view key) {
    return const_cast<value_list*>(std::as_const(*this).find_list(key));
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
