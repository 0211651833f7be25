#include "foundation/qvhash.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// "key=value" pairs handed out by the iteration queue, space separated.
std::string iterate(qvhash& map) {
    std::string out;
    qvval key;
    qvval value;
    map.start_iteration();
    while (map.next_entry(key, value)) {
        if (!out.empty()) out += ' ';
        out += std::string(key.view()) + "=" + std::string(value.view());
    }
    return out;
}

TEST(QvhashTest, KeysIterateInByteOrder) {
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
        qvhash map;
        for (std::string_view key : row.keys)
            map.insert(key, qvval(key));
        EXPECT_EQ(iterate(map), row.expected);
        EXPECT_EQ(map.count(), static_cast<int32_t>(row.keys.size()));
    }
}

TEST(QvhashTest, InsertReplacesAndKeyIsItsTextForm) {
    qvhash map;
    map.insert(qvval(5), qvval("five"));
    map.insert("5", qvval(true));
    EXPECT_EQ(map.count(), 1);
    EXPECT_EQ(iterate(map), "5=1");

    qvval out("stale");
    EXPECT_FALSE(map.find("6", out));
    EXPECT_EQ(out.kind(), value_kind::integer);
    EXPECT_EQ(out.to_integer(), 0);
    EXPECT_TRUE(map.find(qvval(5), out));
    EXPECT_EQ(out.kind(), value_kind::boolean);

    EXPECT_EQ(map.find_ref("6"), nullptr);
    qvval* stored = map.find_ref("5");
    ASSERT_NE(stored, nullptr);
    stored->set_text("changed");
    EXPECT_EQ(iterate(map), "5=changed");
}

TEST(QvhashTest, RemoveKeepsOrderOfTheRest) {
    qvhash map;
    for (const char* key : {"m", "c", "x", "a", "e", "d", "z", "b", "y"})
        map.insert(key, qvval(1));
    for (const char* key : {"c", "m", "absent", "a", "z"})
        map.remove(key);
    EXPECT_EQ(map.count(), 5);
    EXPECT_EQ(iterate(map), "b=1 d=1 e=1 x=1 y=1");
    map.clear();
    EXPECT_EQ(iterate(map), "");
}

TEST(QvhashTest, IterationIsASnapshot) {
    qvhash map;
    map.insert("a", qvval(1));
    map.insert("c", qvval(3));
    map.start_iteration();
    map.insert("b", qvval(2));
    map.insert("c", qvval(30));
    qvval key;
    qvval value;
    ASSERT_TRUE(map.next_entry(key, value));
    EXPECT_EQ(key.view(), "a");
    ASSERT_TRUE(map.next_entry(key, value));
    EXPECT_EQ(key.view(), "c");
    EXPECT_EQ(value.to_integer(), 30);
    EXPECT_FALSE(map.next_entry(key, value));

    map.start_iteration();
    map.remove("absent");
    EXPECT_FALSE(map.next_entry(key, value));
    map.start_iteration();
    map.clear();
    EXPECT_FALSE(map.next_entry(key, value));
}

TEST(QvhashTest, EmptyMapsCopyAssignAndIterate) {
    qvhash empty;
    EXPECT_TRUE(empty.entries().empty());
    EXPECT_EQ(iterate(empty), "");
    EXPECT_FALSE(empty.contains(""));
    empty.remove("absent");

    qvhash full;
    full.insert("a", qvval(1));
    qvhash copy(full);
    full = empty;
    EXPECT_EQ(full.count(), 0);
    EXPECT_EQ(iterate(full), "");
    EXPECT_EQ(iterate(copy), "a=1");
    empty = copy;
    EXPECT_EQ(iterate(empty), "a=1");
}

TEST(QvhashArrayTest, AddValueAppendsInInsertionOrder) {
    qvhash_array map;
    qvval first("one");
    map.add_value("x", first);
    EXPECT_EQ(first.view(), "");
    map.add_value("x", qvval("two"));
    EXPECT_EQ(map.count(), 1);
    qvarr* list = map.find_list("x");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->at(0).view(), "one");
    EXPECT_EQ(list->at(1).view(), "two");

    qvval out;
    EXPECT_TRUE(map.first_value("x", out));
    EXPECT_EQ(out.view(), "one");
}

TEST(QvhashArrayTest, FirstValueOfEmptyOrAbsentListIsEmptyText) {
    qvhash_array map;
    map.set_list("empty", std::make_unique<qvarr>());
    for (const char* key : {"empty", "absent"}) {
        SCOPED_TRACE(key);
        qvval out(42);
        EXPECT_FALSE(map.first_value(key, out));
        EXPECT_EQ(out.kind(), value_kind::text);
        EXPECT_EQ(out.view(), "");
    }
    EXPECT_EQ(map.find_list("absent"), nullptr);
}

TEST(QvhashArrayTest, SetListReplacesAndIterationSeesCurrentList) {
    qvhash_array map;
    map.add_value("b", qvval("old"));
    map.add_value("a", qvval(1));
    map.start_iteration();
    auto fresh = std::make_unique<qvarr>();
    fresh->add(qvval("new"));
    qvarr* fresh_list = fresh.get();
    map.set_list("b", std::move(fresh));
    map.set_list("c", nullptr);
    EXPECT_EQ(map.count(), 3);

    qvval key;
    qvarr* list = nullptr;
    ASSERT_TRUE(map.next_entry(key, list));
    EXPECT_EQ(key.view(), "a");
    ASSERT_TRUE(map.next_entry(key, list));
    EXPECT_EQ(key.view(), "b");
    EXPECT_EQ(list, fresh_list);
    EXPECT_FALSE(map.next_entry(key, list));
    ASSERT_NE(map.find_list("c"), nullptr);
    EXPECT_TRUE(map.find_list("c")->is_empty());
}

}  // namespace
