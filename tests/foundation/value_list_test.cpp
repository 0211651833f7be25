#include "value_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

value_list make_list(std::initializer_list<const char*> texts) {
    value_list list;
    for (const char* text : texts)
        list.add(template_value(text));
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

TEST(ValueListTest, AtPastTheEndAppendsADefaultValue) {
    value_list list = make_list({"a", "b", "c"});
    template_value& added = list.at(3);
    EXPECT_EQ(list.count(), 4);
    EXPECT_FALSE(added.is_text());
    EXPECT_EQ(added.to_integer(), 0);
    added.set_text("d");
    EXPECT_EQ(dump(list), "a,b,c,d");
    list.at(-1).set_integer(5);
    EXPECT_EQ(dump(list), "a,b,c,d,5");
    EXPECT_EQ(list.at(1).view(), "b");
}

TEST(ValueListTest, AtReferenceSurvivesAddingAndPopping) {
    value_list list = make_list({"first", "x"});
    template_value& kept = list.at(1);
    for (int i = 0; i < 5000; ++i)
        list.add(template_value(i));
    template_value popped;
    ASSERT_TRUE(list.pop_front(popped));
    EXPECT_EQ(popped.view(), "first");
    EXPECT_EQ(kept.view(), "x");
    EXPECT_EQ(&list.at(0), &kept);
}

TEST(ValueListTest, AddMovesOrCopies) {
    value_list list;
    template_value text("abc");
    list.add(std::move(text));
    EXPECT_EQ(text.view(), "");  // NOLINT(bugprone-use-after-move)
    template_value copied("def");
    list.add(copied);
    EXPECT_EQ(copied.view(), "def");
    EXPECT_EQ(dump(list), "abc,def");
}

TEST(ValueListTest, PopFromEmptyLeavesOutAlone) {
    value_list list = make_list({"a"});
    list.clear();
    template_value out("keep");
    EXPECT_FALSE(list.pop_front(out));
    EXPECT_EQ(out.view(), "keep");
    EXPECT_TRUE(list.is_empty());
}

}  // namespace
