#include "xml_node.h"

#include "out_of_memory.h"
#include "small_heap.h"

namespace {

// The class is final, so every size asked for is the size of a node.
constexpr bool pooled = sizeof(xml_node) <= small_heap::largest;

}  // namespace

void* xml_node::operator new(size_t size) {
    void* node = pooled ? small_heap::allocate(size, small_heap::region::nodes)
                        : ::operator new(size, std::nothrow);
    if (!node) out_of_memory();
    return node;
}

void xml_node::operator delete(void* node) noexcept {
    if constexpr (pooled)
        small_heap::release(node, sizeof(xml_node), small_heap::region::nodes);
    else
        ::operator delete(node);
}

void delete_document_node(tree_node* node) {
    delete static_cast<xml_node*>(node);
}
