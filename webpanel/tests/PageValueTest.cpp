// Page message arguments from the JSON the page sends.
#include "PageValue.h"
#include "PanelText.h"

#include <gtest/gtest.h>

namespace {

// A compact picture of a value: b:true, i:5, d:2.5, t:text, [..], invalid.
std::string describe(const PageValue& v)
{
    if (v.isList()) {
        std::string s = "[";
        for (size_t i = 0; i < v.list().size(); ++i)
            s += (i ? "," : "") + describe(v.list()[i]);
        return s + "]";
    }
    if (!v.isValid())
        return "invalid";
    if (v.isBool())
        return v.scalar().asBool() ? "b:true" : "b:false";
    if (v.isInt())
        return "i:" + std::to_string(v.scalar().asInt());
    if (v.isDouble()) {
        char text[64];
        snprintf(text, sizeof text, "d:%g", v.scalar().asDouble());
        return text;
    }
    if (v.isText())
        return "t:" + toUtf8(v.scalar().asString());
    return "other";
}

std::string describeAll(const PageValueList& values)
{
    return describe(PageValue::fromList(values));
}

struct Case {
    const char* json;
    const char* expected;
};

TEST(PageValueTest, ConvertsEachKindByTheRules)
{
    const Case cases[] = {
        // the mixed argument list: text, int, list of one double, object
        {R"(["startDownload", 7, [2.5], {"a": 1}])", "[t:startDownload,i:7,[d:2.5],invalid]"},
        {R"([true, false, null])", "[b:true,b:false,invalid]"},
        {R"([2147483647, -2147483648, 2147483648, -2147483649])", "[i:2147483647,i:-2147483648,d:2.14748e+09,d:-2.14748e+09]"},
        {R"([18446744073709551615, 1.0, 0.5])", "[d:1.84467e+19,d:1,d:0.5]"},
        {R"([[], [[1, "x"]], ""])", "[[],[[i:1,t:x]],t:]"},
        {R"(["\u4f60\u597d"])", "[t:\xe4\xbd\xa0\xe5\xa5\xbd]"},
        {"[]", "[]"},
    };
    for (const Case& c : cases) {
        PageValueList values;
        ASSERT_TRUE(PageValuesFromJson(c.json, values)) << c.json;
        EXPECT_EQ(c.expected, describeAll(values)) << c.json;
    }
}

TEST(PageValueTest, RefusesTextThatIsNotAnArray)
{
    for (const char* json : {"{\"a\":1}", "\"x\"", "5", "[1,", "", "[1] trailing"}) {
        PageValueList values{PageValue(KqVariant(int32_t(1)))};
        EXPECT_FALSE(PageValuesFromJson(json, values)) << json;
        EXPECT_TRUE(values.empty()) << json;
    }
}

}  // namespace
