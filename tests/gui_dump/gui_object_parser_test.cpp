#include <gtest/gtest.h>

#include <map>
#include <string>

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
    struct Case {
        const char* name;
        std::string answer;
        bool ok;
        const char* entries;
    };
    const Case cases[] = {
        {"worked example", "AT*ZGUI=0\r\r\n*ZGUI: \"Form\",\"Title\",\"L\",\"R\",\"P\",\"V\"\r\n\r\nOK\r\n",
         true, "OBJECT=Form;PROMPT=P;SKL=L;SKR=R;TITLE=Title;VALUE=V;"},
        {"four fields of a two-value type store both extras empty", ": \"Form\",\"T\",\"L\",\"R\"\r\nOK\r\n",
         true, "OBJECT=Form;PROMPT=;SKL=L;SKR=R;TITLE=T;VALUE=;"},
        {"five fields: the second extra is empty", ":\"DateInput\",\"T\",\"L\",\"R\",\"2024-01-02\"", true,
         "FORMAT=;OBJECT=DateInput;SKL=L;SKR=R;TITLE=T;VALUE=2024-01-02;"},
        {"type in other letter case selects the row, stored as sent", ":\"fORM\",\"\",\"\",\"\",\"p\",\"v\"",
         true, "OBJECT=fORM;PROMPT=p;SKL=;SKR=;TITLE=;VALUE=v;"},
        {"escaped quote and backslash inside a field", R"(:"Form","say \"hi\"","a\\b","R")", true,
         "OBJECT=Form;PROMPT=;SKL=a\\b;SKR=R;TITLE=say \"hi\";VALUE=;"},
        {"quotes before the first colon are skipped, adjacent fields need no separator",
         "\"x\" \"y\":\"Unknown\"\"T\"\"L\"\"R\"", true, "OBJECT=Unknown;SKL=L;SKR=R;TITLE=T;"},
        {"text after the sixth field is not looked at",
         ":\"Feedback\",\"T\",\"L\",\"R\",\"m\",\"q\",\"unclosed", true,
         "MESSAGE=m;OBJECT=Feedback;QUEST=q;SKL=L;SKR=R;TITLE=T;"},
        {"UTF-8 in a value passes unchanged", ":\"Unknown\",\"Men\xC3\xBC\",\"L\",\"R\"", true,
         "OBJECT=Unknown;SKL=L;SKR=R;TITLE=Men\xC3\xBC;"},
        {"no colon", "\"Form\",\"T\",\"L\",\"R\"", false, ""},
        {"empty answer", "", false, ""},
        {"no field after the colon", "*ZGUI: \r\nOK\r\n", false, ""},
        {"three fields only", ":\"Form\",\"T\",\"L\"\r\nOK\r\n", false, "OBJECT=Form;SKL=L;TITLE=T;"},
        {"fourth field unclosed", ":\"Form\",\"T\",\"L\",\"R", false, "OBJECT=Form;SKL=L;TITLE=T;"},
        {"fifth field unclosed", ":\"Form\",\"T\",\"L\",\"R\",\"P", false,
         "OBJECT=Form;SKL=L;SKR=R;TITLE=T;"},
        {"sixth field unclosed", ":\"Form\",\"T\",\"L\",\"R\",\"P\",\"V", false,
         "OBJECT=Form;SKL=L;SKR=R;TITLE=T;"},
        {"escaped closing quote leaves the field open", R"(:"Form","T","L","R\")", false,
         "OBJECT=Form;SKL=L;TITLE=T;"},
    };
    for (const Case& c : cases) {
        GuiObjectMap map;
        map.SetProperty("stale", "entry");
        EXPECT_EQ(ParseGuiObject(c.answer, map), c.ok) << c.name;
        EXPECT_EQ(Dump(map), c.entries) << c.name;
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
    // Types in no row, and a type that only starts like one, store no extra values.
    for (const char* type : {"Calculator", "ImageViewer", "IntCamera", "Keygrabber", "MainInput",
                             "MediaPlayer_Audio", "MediaPlayer_Video", "MIDIComposer", "NMT_DisplayObject",
                             "Palette", "PictureEditor", "SleepMode", "StopWatch", "Unknown", "Form ", ""}) {
        GuiObjectMap map;
        EXPECT_TRUE(ParseGuiObject(std::string(":\"") + type + "\",\"t\",\"l\",\"r\",\"one\",\"two\"", map));
        EXPECT_EQ(map.size(), 4u) << type;
    }
}

} // namespace
} // namespace panelgrab
