#include "xml_node.h"

#include "small_heap.h"

void* xml_node::operator new(size_t size) {
    return small_heap::allocate_object(size, small_heap::region::nodes);
}

void xml_node::operator delete(void* node) noexcept {
    // the class is final: every node is this long
    small_heap::release_object(node, sizeof(xml_node), small_heap::region::nodes);
}

void delete_document_node(tree_node* node) {
    delete static_cast<xml_node*>(node);
}

std::string_view xml_node::written_name() const {
    return written_tag_name(kind, raw.view());
}

std::string_view written_tag_name(construct_kind kind, std::string_view raw) {
    size_t from;
    if (kind == construct_kind::start_tag || kind == construct_kind::empty_tag)
        from = 1;
    else if (kind == construct_kind::end_tag)
        from = 2;
    else
        return {};
    // a '>' ends a tag's name, so bytes a build put after the tag never count
    size_t end = from;
    while (end < raw.size() && !ends_tag_name(raw[end]))
        ++end;
    return end > from ? raw.substr(from, end - from) : std::string_view();
}
