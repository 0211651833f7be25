#include "value_list.h"

#include <utility>

bool value_list::pop_front(template_value& out) {
    if (values_.empty()) return false;
    out = std::move(values_.front());
    values_.pop_front();
    return true;
}

template_value& value_list::at(int32_t i) {
    if (i >= 0 && static_cast<size_t>(i) < values_.size()) return values_[static_cast<size_t>(i)];
    return values_.emplace_back();
}
