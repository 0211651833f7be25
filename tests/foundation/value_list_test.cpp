#include "value_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

value_list make_list(std::initializer_list<const char*> texts) {
    value_list list;
    for (const char* text : texts)
        list.add_copy(template_value(text));
    return list;
}

// Texts of the list in order, comma separated.
std::string dump(const value_list& list) {
    std::string out;
    for (const template_value& value : list) {
        if (!out.empty()) out += ',';
        out += value.view();
    }
    return out;
}

// What `next` hands out until the cursor runs off.
std::string drain(value_list& list) {
    std::string out;
    template_value value;
    while (list.next(value))
        out += value.view();
    return out;
}

TEST(ValueListTest, AtPastTheEndAppendsADefaultValue) {
    value_list list = make_list({"a", "b", "c"});
    template_value& added = list.at(3);
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(added.kind(), value_kind::integer);
    EXPECT_EQ(added.to_integer(), 0);
    added.set_text("d");
    EXPECT_EQ(dump(list), "a,b,c,d");
    list.at(-1).set_integer(5);
    EXPECT_EQ(dump(list), "a,b,c,d,5");
    EXPECT_EQ(list.at(1).view(), "b");
}

TEST(ValueListTest, GetOutOfRangeLeavesListAndOutAlone) {
    value_list list = make_list({"a", "b", "c"});
    template_value out("keep");
    EXPECT_FALSE(list.get(3, out));
    EXPECT_FALSE(list.get(-1, out));
    EXPECT_EQ(out.view(), "keep");
    EXPECT_EQ(list.count(), 3);
    EXPECT_TRUE(list.get(2, out));
    EXPECT_EQ(out.view(), "c");
    EXPECT_FALSE(list.remove(3));
    EXPECT_TRUE(list.remove(1));
    EXPECT_EQ(dump(list), "a,c");
}

TEST(ValueListTest, AtReferenceSurvivesAddingAtBothEnds) {
    value_list list = make_list({"x"});
    template_value& kept = list.at(0);
    for (int i = 0; i < 5000; ++i) {
        list.add(template_value(i));
        list.add_front(template_value(-i));
    }
    EXPECT_EQ(kept.view(), "x");
    EXPECT_EQ(&list.at(5000), &kept);
}

TEST(ValueListTest, AddTakesOverTextStorage) {
    value_list list;
    template_value text("abc");
    list.add(text);
    EXPECT_EQ(text.kind(), value_kind::text);
    EXPECT_EQ(text.view(), "");
    template_value copied("def");
    list.add_copy(copied);
    EXPECT_EQ(copied.view(), "def");
    template_value front("first");
    list.add_front(front);
    EXPECT_EQ(front.view(), "");
    list.add_front_copy(copied);
    EXPECT_EQ(dump(list), "def,first,abc,def");
}

TEST(ValueListTest, CursorWalksBothWays) {
    value_list list = make_list({"a", "b", "c"});
    EXPECT_EQ(drain(list), "abc");
    list.rewind();
    EXPECT_EQ(drain(list), "abc");
    list.set_forward(false);
    list.rewind();
    EXPECT_EQ(drain(list), "cba");
    value_list empty;
    empty.rewind();
    EXPECT_EQ(drain(empty), "");
}

TEST(ValueListTest, AddAndPopRewindFirst) {
    value_list list = make_list({"a", "b", "c"});
    list.rewind();
    template_value out;
    ASSERT_TRUE(list.next(out));
    ASSERT_TRUE(list.next(out));
    list.add(template_value("d"));
    EXPECT_EQ(drain(list), "abcd");

    // the cursor stays on the former head, which the new head now precedes
    list.add_front(template_value("z"));
    EXPECT_EQ(drain(list), "abcd");

    ASSERT_TRUE(list.pop_front(out));
    EXPECT_EQ(out.view(), "z");
    EXPECT_EQ(drain(list), "abcd");
    ASSERT_TRUE(list.pop_front(out));
    EXPECT_EQ(out.view(), "a");
    EXPECT_EQ(drain(list), "bcd");
    ASSERT_TRUE(list.pop_back(out));
    EXPECT_EQ(out.view(), "d");
    EXPECT_EQ(drain(list), "bc");

    list.set_forward(false);
    ASSERT_TRUE(list.pop_back(out));
    EXPECT_EQ(drain(list), "b");

    value_list empty;
    empty.add(template_value("only"));
    EXPECT_EQ(drain(empty), "");
    template_value untouched("keep");
    ASSERT_TRUE(empty.pop_back(out));
    EXPECT_FALSE(empty.pop_back(untouched));
    EXPECT_FALSE(empty.pop_front(untouched));
    EXPECT_EQ(untouched.view(), "keep");
}

TEST(ValueListTest, RemovingTheCursorValueMovesTheCursorOn) {
    struct Row {
        bool forward;
        int32_t reads;
        int32_t removed;
        std::string_view rest;
    } rows[] = {
        {true, 1, 1, "cd"},  {true, 1, 0, "bcd"}, {true, 1, 2, "bd"},   {true, 3, 3, ""},
        {false, 1, 2, "ba"}, {false, 3, 0, ""},   {false, 0, 0, "dcb"}, {false, 1, 3, "cba"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.forward) + " " + std::to_string(row.removed));
        value_list list = make_list({"a", "b", "c", "d"});
        list.set_forward(row.forward);
        list.rewind();
        template_value out;
        for (int32_t i = 0; i < row.reads; ++i)
            ASSERT_TRUE(list.next(out));
        ASSERT_TRUE(list.remove(row.removed));
        EXPECT_EQ(drain(list), row.rest);
    }
}

TEST(ValueListTest, ClearDropsCursor) {
    value_list list = make_list({"a", "b"});
    list.rewind();
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(drain(list), "");
}

}  // namespace
