#include "node_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "xml_node.h"

namespace {

xml_node* make_node(std::string_view name) {
    return new xml_node(construct_kind::text, name);
}

std::string name_of(const tree_node* node) {
    return node ? std::string(as_xml(node)->raw.view()) : "none";
}

// Sibling chain from first, children in parentheses: "a(b c) d".
std::string dump_chain(const tree_node* first) {
    std::string out;
    for (const tree_node* node = first; node; node = node->next()) {
        if (!out.empty()) out += ' ';
        out += name_of(node);
        if (node->first_child())
            out.append("(").append(dump_chain(node->first_child())).append(")");
    }
    return out;
}

// Every link pair, count and cached end of the sibling chain starting at first.
void check_chain(const tree_node* first, const tree_node* parent, int32_t count,
                 const tree_node* last) {
    int32_t seen = 0;
    const tree_node* prev = nullptr;
    for (const tree_node* node = first; node; node = node->next()) {
        SCOPED_TRACE(name_of(node));
        EXPECT_EQ(node->parent(), parent);
        EXPECT_EQ(node->prev(), prev);
        check_chain(node->first_child(), node, tree_child_count(*node), node->last_child());
        prev = node;
        ++seen;
    }
    EXPECT_EQ(seen, count);
    EXPECT_EQ(prev, last);
}

void check_links(const node_tree& tree) {
    check_chain(tree.first(), nullptr, tree.top_count(), tree.last_top());
}

// The tree "a(b c) d" and the unlinked nodes x and y, all reachable by name.
class TreeFixture {
  public:
    TreeFixture() {
        for (const char* name : {"a", "b", "c", "d", "x", "y"})
            nodes_[name] = make_node(name);
        tree_insert(tree, at("a"), nullptr, nullptr);
        tree_insert(tree, at("b"), at("a"), nullptr);
        tree_insert(tree, at("c"), at("a"), nullptr);
        tree_insert(tree, at("d"), nullptr, nullptr);
    }
    // Frees the roots left outside the tree; the tree frees the rest.
    ~TreeFixture() {
        std::vector<tree_node*> roots;
        for (auto& [name, node] : nodes_) {
            if (!node->parent() && !node->prev() && tree.first() != node) roots.push_back(node);
        }
        for (tree_node* root : roots)
            delete as_xml(root);
    }
    tree_node* at(const std::string& name) { return nodes_.at(name); }

    node_tree tree;

  private:
    std::map<std::string, tree_node*> nodes_;
};

TEST(NodeTreeTest, NextWalksDocumentOrder) {
    TreeFixture f;
    tree_insert(f.tree, f.at("x"), f.at("b"), nullptr);
    tree_insert(f.tree, f.at("y"), f.at("d"), nullptr);
    ASSERT_EQ(dump_chain(f.tree.first()), "a(b(x) c) d(y)");

    std::string order;
    for (tree_node* node = f.tree.first(); node; node = tree_next(node))
        order += name_of(node);
    EXPECT_EQ(order, "abxcdy");

    struct Row {
        const char* from;
        const char* skip;
    } rows[] = {{"a", "d"}, {"b", "c"}, {"x", "c"}, {"c", "d"}, {"d", "none"}, {"y", "none"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.from);
        EXPECT_EQ(name_of(tree_next_skip(f.at(row.from))), row.skip);
    }
    EXPECT_EQ(tree_next(nullptr), nullptr);
    EXPECT_EQ(tree_next_skip(nullptr), nullptr);
}

TEST(NodeTreeTest, LinkingKeepsLinksAndCounts) {
    using step = std::function<void(TreeFixture&)>;
    struct Row {
        const char* name;
        step change;
        std::string_view expected;
    } rows[] = {
        {"prepend top", [](TreeFixture& f) { tree_prepend_top(f.tree, f.at("x")); }, "x a(b c) d"},
        {"before first top",
         [](TreeFixture& f) { tree_insert_before(f.tree, f.at("x"), f.at("a")); }, "x a(b c) d"},
        {"before first child",
         [](TreeFixture& f) { tree_insert_before(f.tree, f.at("x"), f.at("b")); }, "a(x b c) d"},
        {"before last child",
         [](TreeFixture& f) { tree_insert_before(f.tree, f.at("x"), f.at("c")); }, "a(b x c) d"},
        {"after last top then append top",
         [](TreeFixture& f) {
             tree_insert_after(f.tree, f.at("x"), f.at("d"));
             tree_insert(f.tree, f.at("y"), nullptr, nullptr);
         },
         "a(b c) d x y"},
        {"after last child then append child",
         [](TreeFixture& f) {
             tree_insert_after(f.tree, f.at("x"), f.at("c"));
             tree_append_child(f.tree, f.at("y"), f.at("a"));
         },
         "a(b c x y) d"},
        {"after first child",
         [](TreeFixture& f) { tree_insert_after(f.tree, f.at("x"), f.at("b")); }, "a(b x c) d"},
        {"prepend child", [](TreeFixture& f) { tree_prepend_child(f.tree, f.at("x"), f.at("a")); },
         "a(x b c) d"},
        {"prepend first child of leaf",
         [](TreeFixture& f) {
             tree_prepend_child(f.tree, f.at("x"), f.at("b"));
             tree_append_child(f.tree, f.at("y"), f.at("b"));
         },
         "a(b(x y) c) d"},
        {"append sibling of a child",
         [](TreeFixture& f) { tree_append_sibling(f.tree, f.at("x"), f.at("b")); }, "a(b c x) d"},
        {"append sibling of a top node",
         [](TreeFixture& f) { tree_append_sibling(f.tree, f.at("x"), f.at("a")); }, "a(b c) d x"},
        {"insert before",
         [](TreeFixture& f) { tree_insert(f.tree, f.at("x"), f.at("a"), f.at("c")); },
         "a(b x c) d"},
        {"unlink first child and put back",
         [](TreeFixture& f) {
             tree_place place = tree_unlink(f.tree, f.at("b"));
             EXPECT_EQ(f.at("a")->first_child(), f.at("c"));
             EXPECT_EQ(place.parent, f.at("a"));
             EXPECT_EQ(place.next, f.at("c"));
             tree_insert(f.tree, f.at("b"), place.parent, place.next);
         },
         "a(b c) d"},
        {"unlink last child then append",
         [](TreeFixture& f) {
             tree_place place = tree_unlink(f.tree, f.at("c"));
             EXPECT_EQ(place.next, nullptr);
             tree_append_child(f.tree, f.at("x"), f.at("a"));
         },
         "a(b x) d"},
        {"unlink last top then append",
         [](TreeFixture& f) {
             tree_unlink(f.tree, f.at("d"));
             tree_insert(f.tree, f.at("x"), nullptr, nullptr);
         },
         "a(b c) x"},
        {"unlink first top with its subtree",
         [](TreeFixture& f) {
             tree_place place = tree_unlink(f.tree, f.at("a"));
             EXPECT_EQ(place.parent, nullptr);
             EXPECT_EQ(place.next, f.at("d"));
             EXPECT_EQ(dump_chain(f.at("a")), "a(b c)");
         },
         "d"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TreeFixture f;
        row.change(f);
        EXPECT_EQ(dump_chain(f.tree.first()), row.expected);
        check_links(f.tree);
    }
}

TEST(NodeTreeTest, OperationsOnEmptyTreesAndUnlinkedNodes) {
    node_tree tree;
    tree_prepend_top(tree, make_node("a"));
    EXPECT_EQ(tree.top_count(), 1);
    EXPECT_EQ(tree.first(), tree.last_top());
    tree_clear(tree);
    EXPECT_TRUE(tree.is_empty());
    EXPECT_EQ(tree.top_count(), 0);

    tree_insert(tree, make_node("a"), nullptr, nullptr);
    EXPECT_EQ(dump_chain(tree.first()), "a");

    std::unique_ptr<xml_node> loose(make_node("x"));
    tree_append_sibling(tree, loose.get(), nullptr);
    std::unique_ptr<xml_node> other(make_node("y"));
    tree_append_sibling(tree, loose.get(), other.get());
    EXPECT_EQ(loose->parent(), nullptr);
    EXPECT_EQ(loose->prev(), nullptr);
    EXPECT_EQ(tree.top_count(), 1);

    tree_place place = tree_unlink(tree, loose.get());
    EXPECT_EQ(place.parent, nullptr);
    EXPECT_EQ(place.next, nullptr);
    EXPECT_EQ(tree.top_count(), 1);
    check_links(tree);

    tree_node* only = tree.first();
    tree_unlink(tree, only);
    delete as_xml(only);
    EXPECT_TRUE(tree.is_empty());
    check_links(tree);
}

TEST(NodeTreeTest, WalkResumesAfterUnlink) {
    node_tree tree;
    tree_node* p = make_node("p");
    tree_insert(tree, p, nullptr, nullptr);
    for (const char* name : {"x", "a", "x", "x"})
        tree_insert(tree, make_node(name), p, nullptr);
    tree_node* q = make_node("x");
    tree_insert(tree, q, nullptr, nullptr);
    tree_insert(tree, make_node("b"), q, nullptr);
    tree_insert(tree, make_node("x"), nullptr, nullptr);
    tree_insert(tree, make_node("c"), nullptr, nullptr);
    ASSERT_EQ(dump_chain(tree.first()), "p(x a x x) x(b) x c");

    std::string visited;
    for (tree_node* node = tree.first(); node;) {
        visited += name_of(node);
        if (name_of(node) != "x") {
            node = tree_next(node);
            continue;
        }
        tree_place place = tree_unlink(tree, node);
        delete as_xml(node);
        node = place.next ? place.next : tree_next_skip(place.parent);
    }
    EXPECT_EQ(visited, "pxaxxxxc");
    EXPECT_EQ(dump_chain(tree.first()), "p(a) c");
    check_links(tree);
}

TEST(NodeTreeTest, DeepTreeIsFreedWithoutRecursion) {
    constexpr int depth = 200000;
    node_tree tree;
    tree_node* parent = nullptr;
    for (int i = 0; i < depth; ++i) {
        auto* div = new xml_node(construct_kind::start_tag, "<div>");
        tree_insert(tree, div, parent, nullptr);
        parent = div;
    }
    int count = 0;
    for (tree_node* node = tree.first(); node; node = tree_next(node))
        ++count;
    EXPECT_EQ(count, depth);
    EXPECT_FALSE(as_xml(parent)->closed);

    // an unlinked deep subtree is freed by deleting its root
    tree_node* inner = tree.first()->first_child();
    tree_unlink(tree, inner);
    EXPECT_EQ(tree_child_count(*tree.first()), 0);
    delete as_xml(inner);
    tree_clear(tree);

    for (int i = 0; i < depth; ++i)
        tree_insert(tree, new xml_node(), tree.last_top(), nullptr);
}

TEST(NodeTreeTest, MillionChildrenAppendInLinearTime) {
    constexpr int32_t children = 1000000;
    node_tree tree;
    tree_node* parent = new xml_node();
    tree_insert(tree, parent, nullptr, nullptr);
    tree_append_child(tree, new xml_node(), parent);
    tree_node* member = parent->first_child();
    tree_node* last = nullptr;
    for (int32_t i = 1; i < children; ++i) {
        last = new xml_node();
        if (i % 3 == 0)
            tree_append_sibling(tree, last, member);
        else if (i % 3 == 1)
            tree_append_child(tree, last, parent);
        else
            tree_insert(tree, last, parent, nullptr);
    }
    EXPECT_EQ(tree_child_count(*parent), children);
    EXPECT_EQ(parent->last_child(), last);
    for (int32_t i = 0; i < children; ++i)
        tree_append_sibling(tree, new xml_node(), parent);
    EXPECT_EQ(tree.top_count(), children + 1);

    int32_t seen = 0;
    for (tree_node* node = member; node; node = node->next())
        ++seen;
    EXPECT_EQ(seen, children);
}

TEST(XmlNodeTest, WrittenNameReadsTheTag) {
    const struct {
        construct_kind kind;
        std::string_view raw;
        std::string_view name;
    } rows[] = {
        {construct_kind::start_tag, "<a href=x>", "a"},
        {construct_kind::empty_tag, "<br/>", "br"},
        {construct_kind::end_tag, "</H2 >", "H2"},
        {construct_kind::end_tag, "</>", ""},
        {construct_kind::end_tag, "", ""},
        // what a build put after a heading's start tag is no part of its name
        {construct_kind::start_tag, "<h2>1. <a name=\"x\">", "h2"},
        {construct_kind::text, "<a>", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(xml_node(row.kind, row.raw).written_name(), row.name) << row.raw;
    EXPECT_FALSE(xml_node(construct_kind::start_tag, "<a>").closed);
    EXPECT_EQ(xml_node().kind, construct_kind::placeholder);
    EXPECT_TRUE(xml_node(construct_kind::end_tag, "</a>").closed);
}

}  // namespace
