#include <gtest/gtest.h>

#include <map>
#include <string>

#include "gui/field_tokenizer.h"
#include "gui/gui_object_parser.h"

namespace panelgrab {
namespace {

using Entries = std::map<std::string, std::string>;

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
        Entries entries;
    };
    const Case cases[] = {
        {"worked example",
         "AT*ZGUI=0\r\r\n*ZGUI: \"Form\",\"Title\",\"L\",\"R\",\"P\",\"V\"\r\n\r\nOK\r\n",
         true,
         {{"OBJECT", "Form"},
          {"TITLE", "Title"},
          {"SKL", "L"},
          {"SKR", "R"},
          {"PROMPT", "P"},
          {"VALUE", "V"}}},
        {"four fields of a two-value type store both extras empty",
         ": \"Form\",\"T\",\"L\",\"R\"\r\nOK\r\n",
         true,
         {{"OBJECT", "Form"}, {"TITLE", "T"}, {"SKL", "L"}, {"SKR", "R"}, {"PROMPT", ""}, {"VALUE", ""}}},
        {"five fields: the second extra is empty",
         ":\"DateInput\",\"T\",\"L\",\"R\",\"2024-01-02\"",
         true,
         {{"OBJECT", "DateInput"},
          {"TITLE", "T"},
          {"SKL", "L"},
          {"SKR", "R"},
          {"VALUE", "2024-01-02"},
          {"FORMAT", ""}}},
        {"type in other letter case selects the row, stored as sent",
         ":\"fORM\",\"\",\"\",\"\",\"p\",\"v\"",
         true,
         {{"OBJECT", "fORM"}, {"TITLE", ""}, {"SKL", ""}, {"SKR", ""}, {"PROMPT", "p"}, {"VALUE", "v"}}},
        {"unknown type keeps only the four fixed keys",
         ":\"Gizmo\",\"T\",\"L\",\"R\",\"a\",\"b\"",
         true,
         {{"OBJECT", "Gizmo"}, {"TITLE", "T"}, {"SKL", "L"}, {"SKR", "R"}}},
        {"one-value type ignores the second extra",
         ":\"Symbols\",\"T\",\"L\",\"R\",\"3\",\"ignored\"",
         true,
         {{"OBJECT", "Symbols"}, {"TITLE", "T"}, {"SKL", "L"}, {"SKR", "R"}, {"FOCUS", "3"}}},
        {"escaped quote and backslash inside a field",
         R"(:"Form","say \"hi\"","a\\b","R")",
         true,
         {{"OBJECT", "Form"},
          {"TITLE", "say \"hi\""},
          {"SKL", "a\\b"},
          {"SKR", "R"},
          {"PROMPT", ""},
          {"VALUE", ""}}},
        {"quotes before the first colon are skipped, adjacent fields need no separator",
         "\"x\" \"y\":\"Unknown\"\"T\"\"L\"\"R\"",
         true,
         {{"OBJECT", "Unknown"}, {"TITLE", "T"}, {"SKL", "L"}, {"SKR", "R"}}},
        {"text after the sixth field is not looked at",
         ":\"Feedback\",\"T\",\"L\",\"R\",\"m\",\"q\",\"unclosed",
         true,
         {{"OBJECT", "Feedback"},
          {"TITLE", "T"},
          {"SKL", "L"},
          {"SKR", "R"},
          {"MESSAGE", "m"},
          {"QUEST", "q"}}},
        {"UTF-8 in a value passes unchanged",
         ":\"Form\",\"Men\xC3\xBC\",\"L\",\"R\"",
         true,
         {{"OBJECT", "Form"},
          {"TITLE", "Men\xC3\xBC"},
          {"SKL", "L"},
          {"SKR", "R"},
          {"PROMPT", ""},
          {"VALUE", ""}}},
        {"no colon", "\"Form\",\"T\",\"L\",\"R\"", false, {}},
        {"empty answer", "", false, {}},
        {"no field after the colon", "*ZGUI: \r\nOK\r\n", false, {}},
        {"three fields only",
         ":\"Form\",\"T\",\"L\"\r\nOK\r\n",
         false,
         {{"OBJECT", "Form"}, {"TITLE", "T"}, {"SKL", "L"}}},
        {"fourth field unclosed",
         ":\"Form\",\"T\",\"L\",\"R",
         false,
         {{"OBJECT", "Form"}, {"TITLE", "T"}, {"SKL", "L"}}},
        {"fifth field unclosed",
         ":\"Form\",\"T\",\"L\",\"R\",\"P",
         false,
         {{"OBJECT", "Form"}, {"TITLE", "T"}, {"SKL", "L"}, {"SKR", "R"}}},
        {"sixth field unclosed",
         ":\"Form\",\"T\",\"L\",\"R\",\"P\",\"V",
         false,
         {{"OBJECT", "Form"}, {"TITLE", "T"}, {"SKL", "L"}, {"SKR", "R"}}},
        {"escaped closing quote leaves the field open",
         R"(:"Form","T","L","R\")",
         false,
         {{"OBJECT", "Form"}, {"TITLE", "T"}, {"SKL", "L"}}},
    };
    for (const Case& c : cases) {
        GuiObjectMap map;
        map.SetProperty("stale", "entry");
        EXPECT_EQ(ParseGuiObject(c.answer, map), c.ok) << c.name;
        EXPECT_EQ(map.entries(), c.entries) << c.name;
    }
}

TEST(GuiObjectParser, EveryRowOfTheTypeTable) {
    struct Row {
        const char* type;
        const char* first;
        const char* second;
    };
    const Row rows[] = {
        {"Browser", "SUBOBJECT", "VALUE"},
        {"ContrastInput", "VALUE", nullptr},
        {"MonthView", "VALUE", nullptr},
        {"PercentInput", "VALUE", nullptr},
        {"StringInput", "VALUE", nullptr},
        {"WeekView", "VALUE", nullptr},
        {"DateInput", "VALUE", "FORMAT"},
        {"TimeInput", "VALUE", "FORMAT"},
        {"Feedback", "MESSAGE", "QUEST"},
        {"Form", "PROMPT", "VALUE"},
        {"FormList", "PROMPT", "VALUE"},
        {"ListObject", "FOCUS", "VALUE"},
        {"DataList", "FOCUS", "VALUE"},
        {"MenuBar", "FOCUS", "VALUE"},
        {"SubMenu", "FOCUS", "VALUE"},
        {"OptionList", "FOCUS", "VALUE"},
        {"NOfManyList", "FOCUS", "CHECKED"},
        {"NOfManySelection", "FOCUS", "CHECKED"},
        {"OneOfManyList", "FOCUS", "CHECKED"},
        {"OneOfManySelectionList", "FOCUS", "CHECKED"},
        {"OnOffList", "FOCUS", "CHECKED"},
        {"Symbols", "FOCUS", nullptr},
        {"Calculator", nullptr, nullptr},
        {"ImageViewer", nullptr, nullptr},
        {"IntCamera", nullptr, nullptr},
        {"Keygrabber", nullptr, nullptr},
        {"MainInput", nullptr, nullptr},
        {"MediaPlayer_Audio", nullptr, nullptr},
        {"MediaPlayer_Video", nullptr, nullptr},
        {"MIDIComposer", nullptr, nullptr},
        {"NMT_DisplayObject", nullptr, nullptr},
        {"Palette", nullptr, nullptr},
        {"PictureEditor", nullptr, nullptr},
        {"SleepMode", nullptr, nullptr},
        {"StopWatch", nullptr, nullptr},
        {"Unknown", nullptr, nullptr},
        {"Form ", nullptr, nullptr}, // the whole type text must match
        {"", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        Entries expected{{"OBJECT", row.type}, {"TITLE", "t"}, {"SKL", "l"}, {"SKR", "r"}};
        if (row.first != nullptr) {
            expected[row.first] = "one";
        }
        if (row.second != nullptr) {
            expected[row.second] = "two";
        }
        GuiObjectMap map;
        const std::string answer =
            std::string("*ZGUI: \"") + row.type + "\",\"t\",\"l\",\"r\",\"one\",\"two\"\r\nOK\r\n";
        EXPECT_TRUE(ParseGuiObject(answer, map)) << row.type;
        EXPECT_EQ(map.entries(), expected) << row.type;
    }
}

} // namespace
} // namespace panelgrab
