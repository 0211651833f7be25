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
