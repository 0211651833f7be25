#include "template_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

TEST(TemplateValueTest, TextToNumbers) {
    struct Row {
        std::string_view text;
        int32_t integer;
        bool truth;
        double real;
    } rows[] = {
        {"  42xyz", 42, true, 42.0},
        {" -7", -7, true, -7.0},
        {"abc", 0, false, 0.0},
        {"0", 0, false, 0.0},
        {"", 0, false, 0.0},
        {"\t\n\v\f\r+12abc", 12, true, 12.0},
        {"0.5", 0, false, 0.5},
        {" .5", 0, false, 0.5},
        {"1e3", 1, true, 1000.0},
        {"- 5", 0, false, 0.0},
        {"--5", 0, false, 0.0},
        {"0x10", 0, false, 0.0},
        {"2147483647", 2147483647, true, 2147483647.0},
        {"2147483648", std::numeric_limits<int32_t>::min(), true, 2147483648.0},
        {"4294967297", 1, true, 4294967297.0},
        {"-4294967296", 0, false, -4294967296.0},
        {"99999999999999999999", 1661992959, true, 1e20},
        {"1e400", 1, true, inf},
        {"-1e400", -1, true, -inf},
        {"1e-400", 1, true, 0.0},
        {"0.000001e-400", 0, false, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text));
        template_value value(row.text);
        EXPECT_EQ(value.to_integer(), row.integer);
        EXPECT_EQ(value.to_bool(), row.truth);
        EXPECT_EQ(value.to_real(), row.real);
        EXPECT_EQ(value.kind(), value_kind::text);

        template_value converted(row.text);
        converted.convert(value_kind::integer);
        EXPECT_EQ(converted.kind(), value_kind::integer);
        EXPECT_EQ(converted.to_integer(), row.integer);
        converted.set_text(row.text);
        converted.convert(value_kind::boolean);
        EXPECT_EQ(converted.kind(), value_kind::boolean);
        EXPECT_EQ(converted.to_bool(), row.truth);
        converted.set_text(row.text);
        converted.convert(value_kind::real);
        EXPECT_EQ(converted.to_real(), row.real);
    }
}

TEST(TemplateValueTest, RealTextForm) {
    struct Row {
        double x;
        std::string_view text;
    } rows[] = {
        {2.5, "2.5"},
        {3.0, "3"},
        {-0.25, "-0.25"},
        {123456.789, "123456.789"},
        {1e-9, "0"},
        {-1e-11, "0"},
        {100000.0, "100000"},
        {1e19, "0"},
        {1e18, "1000000000000000000"},
        {100000.5, "100000.5"},
        {100001.25, "100001.25"},
        {2e6 / 3, "666666.667"},
        {1.0 / 3, "0.33333333"},
        {0.1, "0.1"},
        {std::nan(""), "0"},
        {inf, "0"},
        {0.0, "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        template_value value(row.x);
        EXPECT_EQ(std::string_view(value.text()), row.text);
        EXPECT_EQ(value.kind(), value_kind::real);
        EXPECT_EQ(value.text_length(), static_cast<int32_t>(row.text.size()));
        value.convert(value_kind::text);
        EXPECT_EQ(value.kind(), value_kind::text);
        EXPECT_EQ(value.view(), row.text);
    }
}

TEST(TemplateValueTest, TextFormOfOtherKinds) {
    struct Row {
        template_value value;
        std::string_view text;
        char first;
    } rows[] = {
        {template_value(true), "1", '1'},
        {template_value(false), "0", '0'},
        {template_value(-5), "-5", '-'},
        {template_value(std::numeric_limits<int32_t>::min()), "-2147483648", '-'},
        {template_value(), "0", '0'},
        {template_value(reinterpret_cast<const void*>(uintptr_t{0x1f})), "0x1f", '0'},
        {template_value(static_cast<const void*>(nullptr)), "0x0", '0'},
        {template_value(""), "", '\0'},
        {template_value('x'), "x", 'x'},
        {template_value(static_cast<const char*>(nullptr)), "", '\0'},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.text);
        value_kind kind = row.value.kind();
        EXPECT_EQ(std::string_view(row.value.text()), row.text);
        EXPECT_EQ(row.value.first_char(), row.first);
        EXPECT_EQ(row.value.kind(), kind);
    }
    if constexpr (sizeof(void*) == 8) {
        template_value wide(reinterpret_cast<const void*>(uintptr_t{0x123456789ab}));
        EXPECT_EQ(wide.view(), "0x123456789ab");
        EXPECT_EQ(wide.to_integer(), 0x456789ab);
    }
}

TEST(TemplateValueTest, TextPointerStaysValidWhileValueUnchanged) {
    template_value value(123456);
    const char* first = value.text();
    EXPECT_EQ(value.text(), first);
    EXPECT_EQ(value.view().data(), first);
    EXPECT_STREQ(first, "123456");
}

TEST(TemplateValueTest, ConversionsBetweenScalars) {
    int anchor = 0;
    struct Row {
        const char* name;
        template_value value;
        int32_t integer;
        bool truth;
        double real;
    } rows[] = {
        {"pointer", template_value(static_cast<const void*>(&anchor)),
         static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&anchor))), true,
         static_cast<double>(reinterpret_cast<uintptr_t>(&anchor))},
        {"null pointer", template_value(static_cast<const void*>(nullptr)), 0, false, 0.0},
        {"half", template_value(0.5), 0, true, 0.5},
        {"negative real", template_value(-2.9), -2, true, -2.9},
        {"huge real", template_value(1e19), std::numeric_limits<int32_t>::max(), true, 1e19},
        {"huge negative real", template_value(-1e19), std::numeric_limits<int32_t>::min(), true,
         -1e19},
        {"true", template_value(true), 1, true, 1.0},
        {"false", template_value(false), 0, false, 0.0},
        {"integer", template_value(-3), -3, true, -3.0},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.value.to_integer(), row.integer);
        EXPECT_EQ(row.value.to_bool(), row.truth);
        template_value as_bool(row.value);
        as_bool.convert(value_kind::boolean);
        EXPECT_EQ(as_bool.to_bool(), row.truth);
        template_value as_real(row.value);
        as_real.convert(value_kind::real);
        EXPECT_EQ(as_real.to_real(), row.real);
    }
    EXPECT_EQ(template_value(std::nan("")).to_integer(), 0);
}

TEST(TemplateValueTest, ConvertIgnoresCodesOutsideTheFourKinds) {
    for (int32_t code : {0, 1, 3, 47, 101, 32767, -1}) {
        SCOPED_TRACE(code);
        template_value text("12");
        text.convert(code);
        EXPECT_EQ(text.kind(), value_kind::text);
        EXPECT_EQ(text.view(), "12");
        template_value real(2.5);
        real.convert(code);
        EXPECT_EQ(real.kind(), value_kind::real);
    }
}

TEST(TemplateValueTest, TextOperations) {
    template_value value(5);
    value.append(template_value(2.5));
    value.append("x");
    EXPECT_EQ(value.kind(), value_kind::text);
    EXPECT_EQ(value.view(), "52.5x");
    value.append(value);
    EXPECT_EQ(value.view(), "52.5x52.5x");

    value.assign_prefix(template_value(123456), 4);
    EXPECT_EQ(value.view(), "1234");
    value.assign_prefix(value, 2);
    EXPECT_EQ(value.view(), "12");
    value.assign_prefix(template_value("abc"), 10);
    EXPECT_EQ(value.view(), "abc");
    value.assign_prefix(template_value("abc"), -1);
    EXPECT_EQ(value.view(), "");

    value.set_integer(98765);
    value.erase_prefix(0);
    EXPECT_EQ(value.view(), "98765");
    EXPECT_EQ(value.kind(), value_kind::text);
    value.erase_prefix(6);
    EXPECT_EQ(value.view(), "98765");
    value.erase_prefix(2);
    EXPECT_EQ(value.view(), "765");
    value.erase_prefix(3);
    EXPECT_EQ(value.view(), "");

    value.assign_bytes("a\0b", 3);
    EXPECT_EQ(value.view(), std::string_view("a\0b", 3));
    value.assign_text_of(template_value(true));
    EXPECT_EQ(value.view(), "1");
    value.set_real(1.5);
    value.set_text_length(1);
    EXPECT_EQ(value.view(), "1");
}

TEST(TemplateValueTest, IncrementWrapsAndConvertsFirst) {
    template_value value(" 41abc");
    value.increment();
    EXPECT_EQ(value.kind(), value_kind::integer);
    EXPECT_EQ(value.to_integer(), 42);
    value.set_integer(std::numeric_limits<int32_t>::max());
    value.increment();
    EXPECT_EQ(value.to_integer(), std::numeric_limits<int32_t>::min());
    value.decrement();
    EXPECT_EQ(value.to_integer(), std::numeric_limits<int32_t>::max());
    value.set_real(-0.5);
    value.decrement();
    EXPECT_EQ(value.to_integer(), -1);
}

TEST(TemplateValueTest, Replace) {
    struct Row {
        template_value subject;
        template_value a;
        template_value b;
        std::string_view expected;
    } rows[] = {
        {template_value("a.b.c"), template_value('.'), template_value('/'), "a/b/c"},
        {template_value("a.b"), template_value("."), template_value("::"), "a::b"},
        {template_value("a::b"), template_value("::"), template_value("."), "a.b"},
        {template_value("abab"), template_value("ab"), template_value("xyz"), "xyzxyz"},
        {template_value("a-b"), template_value("-"), template_value(""), "ab"},
        {template_value("abc"), template_value(""), template_value("x"), "abc"},
        {template_value(1212), template_value(2), template_value(true), "1111"},
        {template_value(1.25), template_value("."), template_value(","), "1,25"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.expected);
        row.subject.replace(row.a, row.b);
        EXPECT_EQ(row.subject.kind(), value_kind::text);
        EXPECT_EQ(row.subject.view(), row.expected);
    }
    template_value self("aXa");
    self.replace(self, template_value("y"));
    EXPECT_EQ(self.view(), "y");
}

TEST(TemplateValueTest, FindAndCompareUseTextForms) {
    template_value number(12312);
    EXPECT_EQ(number.find(template_value(2)), 1);
    EXPECT_EQ(number.find(template_value(2), 2), 4);
    EXPECT_EQ(number.find(template_value(12), 1), 3);
    EXPECT_EQ(number.find(template_value(12), 5), -1);
    EXPECT_EQ(number.find(template_value("")), -1);
    EXPECT_EQ(number.find_last(template_value(12)), 3);
    EXPECT_EQ(number.kind(), value_kind::integer);

    EXPECT_LT(template_value::compare(template_value(10), template_value(9)), 0);
    EXPECT_EQ(template_value::compare(template_value(true), template_value("1")), 0);
    EXPECT_LT(template_value::compare(template_value(""), template_value(0)), 0);
    EXPECT_GT(template_value::compare(template_value("a"), template_value("A")), 0);
}

TEST(TemplateValueTest, CopyAndMove) {
    template_value text("abc");
    template_value copy(text);
    copy.append("d");
    EXPECT_EQ(text.view(), "abc");
    EXPECT_EQ(copy.view(), "abcd");

    template_value number(7);
    copy = number;
    EXPECT_EQ(copy.kind(), value_kind::integer);
    EXPECT_EQ(copy.view(), "7");

    template_value moved(std::move(text));
    EXPECT_EQ(moved.view(), "abc");
    EXPECT_EQ(text.kind(), value_kind::text);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(text.view(), "");
    number = std::move(moved);
    EXPECT_EQ(number.view(), "abc");
}

}  // namespace
