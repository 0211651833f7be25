#include "sorted_map.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// "key=value" pairs in key order, space separated.
std::string iterate(const sorted_map& map) {
    std::string out;
    for (const auto& [key, value] : map.entries()) {
        if (!out.empty()) out += ' ';
        out += std::string(key.view()) + "=" + std::string(value.view());
    }
    return out;
}

TEST(SortedMapTest, KeysIterateInByteOrder) {
    struct Row {
        std::vector<std::string_view> keys;
        std::string_view expected;
    } rows[] = {
        {{"B", "a", "A", "ab"}, "A=A B=B a=a ab=ab"},
        {{"abc", "ab", "", "b", "abd"}, "= ab=ab abc=abc abd=abd b=b"},
        {{"10", "9", "1", "\xe9", "z"}, "1=1 10=10 9=9 z=z \xe9=\xe9"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        sorted_map map;
        for (std::string_view key : row.keys)
            map.insert(key, template_value(key));
        EXPECT_EQ(iterate(map), row.expected);
        EXPECT_EQ(map.count(), static_cast<int32_t>(row.keys.size()));
    }
}

TEST(SortedMapTest, InsertReplaces) {
    sorted_map map;
    map.insert("5", template_value("five"));
    map.insert("5", template_value(true));
    EXPECT_EQ(map.count(), 1);
    EXPECT_EQ(iterate(map), "5=1");

    EXPECT_EQ(map.find_ref("6"), nullptr);
    template_value* stored = map.find_ref("5");
    ASSERT_NE(stored, nullptr);
    stored->set_text("changed");
    EXPECT_EQ(iterate(map), "5=changed");
}

TEST(SortedMapTest, RemoveKeepsOrderOfTheRest) {
    sorted_map map;
    for (const char* key : {"m", "c", "x", "a", "e", "d", "z", "b", "y"})
        map.insert(key, template_value(1));
    for (const char* key : {"c", "m", "absent", "a", "z"})
        map.remove(key);
    EXPECT_EQ(map.count(), 5);
    EXPECT_EQ(iterate(map), "b=1 d=1 e=1 x=1 y=1");
    map.clear();
    EXPECT_EQ(iterate(map), "");
}

TEST(SortedMapTest, EmptyMapsCopyAssignAndIterate) {
    sorted_map empty;
    EXPECT_TRUE(empty.entries().empty());
    EXPECT_EQ(iterate(empty), "");
    EXPECT_FALSE(empty.contains(""));
    empty.remove("absent");

    sorted_map full;
    full.insert("a", template_value(1));
    sorted_map copy(full);
    full = empty;
    EXPECT_EQ(full.count(), 0);
    EXPECT_EQ(iterate(full), "");
    EXPECT_EQ(iterate(copy), "a=1");
    empty = copy;
    EXPECT_EQ(iterate(empty), "a=1");
}

TEST(NamedListsTest, AddValueAppendsInInsertionOrder) {
    named_lists map;
    map.add_value("x", template_value("one"));
    map.add_value("x", template_value("two"));
    EXPECT_EQ(map.count(), 1);
    value_list* list = map.find_list("x");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->at(0).view(), "one");
    EXPECT_EQ(list->at(1).view(), "two");

    template_value out;
    EXPECT_TRUE(map.first_value("x", out));
    EXPECT_EQ(out.view(), "one");
}

TEST(NamedListsTest, FirstValueOfEmptyOrAbsentListIsEmptyText) {
    named_lists map;
    map.set_list("empty", std::make_unique<value_list>());
    for (const char* key : {"empty", "absent"}) {
        SCOPED_TRACE(key);
        template_value out(42);
        EXPECT_FALSE(map.first_value(key, out));
        EXPECT_TRUE(out.is_text());
        EXPECT_EQ(out.view(), "");
    }
    EXPECT_EQ(map.find_list("absent"), nullptr);
}

TEST(NamedListsTest, SetListReplaces) {
    named_lists map;
    map.add_value("b", template_value("old"));
    map.add_value("a", template_value(1));
    auto fresh = std::make_unique<value_list>();
    fresh->add(template_value("new"));
    value_list* fresh_list = fresh.get();
    map.set_list("b", std::move(fresh));
    map.set_list("c", nullptr);
    EXPECT_EQ(map.count(), 3);

    EXPECT_EQ(map.find_list("b"), fresh_list);
    ASSERT_NE(map.find_list("c"), nullptr);
    EXPECT_TRUE(map.find_list("c")->is_empty());
}

}  // namespace
