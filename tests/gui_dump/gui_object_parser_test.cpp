#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "gui_dump/field_tokenizer.h"
#include "gui_dump/gui_object_parser.h"

namespace panelgrab {
namespace {

// The map as "KEY=value;" pairs in key order.
std::string Dump(const GuiObjectMap& map) {
    std::string text;
    for (const auto& [key, value] : map.entries()) {
        text += key + "=" + value + ";";
    }
    return text;
}

TEST(FieldTokenizer, DelimitersAndEscapes) {
    FieldTokenizer tokenizer;
    EXPECT_FALSE(tokenizer.NextToken(","));
    EXPECT_EQ(tokenizer.GetToken(), "");

    tokenizer.SetText(R"(a,,b\,c\\,d\)");
    EXPECT_TRUE(tokenizer.NextToken(","));
    EXPECT_EQ(tokenizer.GetToken(), "a");
    EXPECT_TRUE(tokenizer.NextToken(","));
    EXPECT_EQ(tokenizer.GetToken(), ""); // adjacent delimiters give an empty token
    EXPECT_TRUE(tokenizer.NextToken(","));
    EXPECT_EQ(tokenizer.GetToken(), R"(b,c\)");
    EXPECT_FALSE(tokenizer.NextToken(","));   // text ends: the token keeps what was collected
    EXPECT_EQ(tokenizer.GetToken(), R"(d\)"); // a backslash at the very end is itself
    EXPECT_FALSE(tokenizer.NextToken(","));
    EXPECT_EQ(tokenizer.GetToken(), "");

    tokenizer.SetText("x;y");
    EXPECT_TRUE(tokenizer.NextToken(";,"));
    EXPECT_EQ(tokenizer.GetToken(), "x");
}

TEST(GuiObjectParser, TableOfAnswers) {
    // An answer, whether it parses, and the map it leaves.
    const std::tuple<std::string, bool, const char*> cases[] = {
        {"AT*ZGUI=0\r\r\n*ZGUI: \"Form\",\"Title\",\"L\",\"R\",\"P\",\"V\"\r\n\r\nOK\r\n", true,
         "OBJECT=Form;PROMPT=P;SKL=L;SKR=R;TITLE=Title;VALUE=V;"},
        // Four fields of a two-value type store both extras empty; five: the second extra is empty.
        {": \"Form\",\"T\",\"L\",\"R\"\r\nOK\r\n", true, "OBJECT=Form;PROMPT=;SKL=L;SKR=R;TITLE=T;VALUE=;"},
        {":\"DateInput\",\"T\",\"L\",\"R\",\"2024-01-02\"", true,
         "FORMAT=;OBJECT=DateInput;SKL=L;SKR=R;TITLE=T;VALUE=2024-01-02;"},
        // A type in other letter case selects its row and is stored as sent.
        {":\"fORM\",\"\",\"\",\"\",\"p\",\"v\"", true, "OBJECT=fORM;PROMPT=p;SKL=;SKR=;TITLE=;VALUE=v;"},
        // An escaped quote and backslash inside a field.
        {R"(:"Form","say \"hi\"","a\\b","R")", true,
         "OBJECT=Form;PROMPT=;SKL=a\\b;SKR=R;TITLE=say \"hi\";VALUE=;"},
        // Quotes before the first colon are skipped; adjacent fields need no separator.
        {"\"x\" \"y\":\"Unknown\"\"T\"\"L\"\"R\"", true, "OBJECT=Unknown;SKL=L;SKR=R;TITLE=T;"},
        // Text after the sixth field is not looked at.
        {":\"Feedback\",\"T\",\"L\",\"R\",\"m\",\"q\",\"unclosed", true,
         "MESSAGE=m;OBJECT=Feedback;QUEST=q;SKL=L;SKR=R;TITLE=T;"},
        // UTF-8 in a value passes unchanged.
        {":\"Unknown\",\"Men\xC3\xBC\",\"L\",\"R\"", true, "OBJECT=Unknown;SKL=L;SKR=R;TITLE=Men\xC3\xBC;"},
        // No colon, nothing, no field after the colon, three fields only.
        {"\"Form\",\"T\",\"L\",\"R\"", false, ""},
        {"", false, ""},
        {"*ZGUI: \r\nOK\r\n", false, ""},
        {":\"Form\",\"T\",\"L\"\r\nOK\r\n", false, "OBJECT=Form;SKL=L;TITLE=T;"},
        // The fourth, fifth or sixth field unclosed, also by an escaped closing quote.
        {":\"Form\",\"T\",\"L\",\"R", false, "OBJECT=Form;SKL=L;TITLE=T;"},
        {":\"Form\",\"T\",\"L\",\"R\",\"P", false, "OBJECT=Form;SKL=L;SKR=R;TITLE=T;"},
        {":\"Form\",\"T\",\"L\",\"R\",\"P\",\"V", false, "OBJECT=Form;SKL=L;SKR=R;TITLE=T;"},
        {R"(:"Form","T","L","R\")", false, "OBJECT=Form;SKL=L;TITLE=T;"},
    };
    for (const auto& [answer, ok, entries] : cases) {
        GuiObjectMap map;
        map.SetProperty("stale", "entry");
        EXPECT_EQ(ParseGuiObject(answer, map), ok) << testing::PrintToString(answer);
        EXPECT_EQ(Dump(map), entries) << testing::PrintToString(answer);
    }
}

TEST(GuiObjectParser, EveryRowOfTheTypeTable) {
    // Each type with the keys of its two extra values ("-": not stored).
    const char* const rows[][3] = {
        {"Browser", "SUBOBJECT", "VALUE"},     {"ContrastInput", "VALUE", "-"},
        {"MonthView", "VALUE", "-"},           {"PercentInput", "VALUE", "-"},
        {"StringInput", "VALUE", "-"},         {"WeekView", "VALUE", "-"},
        {"DateInput", "VALUE", "FORMAT"},      {"TimeInput", "VALUE", "FORMAT"},
        {"Feedback", "MESSAGE", "QUEST"},      {"Form", "PROMPT", "VALUE"},
        {"FormList", "PROMPT", "VALUE"},       {"ListObject", "FOCUS", "VALUE"},
        {"DataList", "FOCUS", "VALUE"},        {"MenuBar", "FOCUS", "VALUE"},
        {"SubMenu", "FOCUS", "VALUE"},         {"OptionList", "FOCUS", "VALUE"},
        {"NOfManyList", "FOCUS", "CHECKED"},   {"NOfManySelection", "FOCUS", "CHECKED"},
        {"OneOfManyList", "FOCUS", "CHECKED"}, {"OneOfManySelectionList", "FOCUS", "CHECKED"},
        {"OnOffList", "FOCUS", "CHECKED"},     {"Symbols", "FOCUS", "-"},
    };
    for (const auto& [type, first, second] : rows) {
        std::map<std::string, std::string> expected = {{"OBJECT", type}, {"TITLE", "t"}, {"SKL", "l"},
                                                       {"SKR", "r"},     {first, "one"}, {second, "two"}};
        expected.erase("-");
        GuiObjectMap map;
        EXPECT_TRUE(
            ParseGuiObject(std::string("*ZGUI: \"") + type + "\",\"t\",\"l\",\"r\",\"one\",\"two\"", map));
        EXPECT_EQ(map.entries(), expected) << type;
    }
    // A type in no row, a type that only starts like one, and none store no extra values.
    for (const char* type : {"Calculator", "Form ", ""}) {
        GuiObjectMap map;
        EXPECT_TRUE(ParseGuiObject(std::string(":\"") + type + "\",\"t\",\"l\",\"r\",\"one\",\"two\"", map));
        EXPECT_EQ(map.size(), 4u) << type;
    }
}

} // namespace
} // namespace panelgrab
