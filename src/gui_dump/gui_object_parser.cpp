#include "gui_dump/gui_object_parser.h"

#include <array>
#include <cctype>

#include "gui_dump/field_tokenizer.h"

namespace panelgrab {
namespace {

struct TypeRow {
    const char* type;
    GuiObjectExtraKeys keys;
};

// Types not listed (Calculator, ImageViewer, MainInput, Unknown, ...) store no extra value.
constexpr std::array kTypeTable{
    TypeRow{"Browser", {"SUBOBJECT", "VALUE"}},     TypeRow{"ContrastInput", {"VALUE", nullptr}},
    TypeRow{"MonthView", {"VALUE", nullptr}},       TypeRow{"PercentInput", {"VALUE", nullptr}},
    TypeRow{"StringInput", {"VALUE", nullptr}},     TypeRow{"WeekView", {"VALUE", nullptr}},
    TypeRow{"DateInput", {"VALUE", "FORMAT"}},      TypeRow{"TimeInput", {"VALUE", "FORMAT"}},
    TypeRow{"Feedback", {"MESSAGE", "QUEST"}},      TypeRow{"Form", {"PROMPT", "VALUE"}},
    TypeRow{"FormList", {"PROMPT", "VALUE"}},       TypeRow{"ListObject", {"FOCUS", "VALUE"}},
    TypeRow{"DataList", {"FOCUS", "VALUE"}},        TypeRow{"MenuBar", {"FOCUS", "VALUE"}},
    TypeRow{"SubMenu", {"FOCUS", "VALUE"}},         TypeRow{"OptionList", {"FOCUS", "VALUE"}},
    TypeRow{"NOfManyList", {"FOCUS", "CHECKED"}},   TypeRow{"NOfManySelection", {"FOCUS", "CHECKED"}},
    TypeRow{"OneOfManyList", {"FOCUS", "CHECKED"}}, TypeRow{"OneOfManySelectionList", {"FOCUS", "CHECKED"}},
    TypeRow{"OnOffList", {"FOCUS", "CHECKED"}},     TypeRow{"Symbols", {"FOCUS", nullptr}},
};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Skips past the next quote and reads the field up to the quote that closes it.
enum class Field { Read, Absent, Unclosed };

Field ReadQuotedField(FieldTokenizer& tokenizer, std::string& value) {
    if (!tokenizer.NextToken("\"")) {
        return Field::Absent;
    }
    if (!tokenizer.NextToken("\"")) {
        return Field::Unclosed;
    }
    value = tokenizer.GetToken();
    return Field::Read;
}

} // namespace

GuiObjectExtraKeys ExtraKeysOfType(std::string_view type) {
    for (const TypeRow& row : kTypeTable) {
        if (EqualIgnoringCase(type, row.type)) {
            return row.keys;
        }
    }
    return {};
}

bool ParseGuiObject(std::string_view answer, GuiObjectMap& map) {
    map.RemoveAll();
    FieldTokenizer tokenizer;
    tokenizer.SetText(answer);
    if (!tokenizer.NextToken(":")) {
        return false;
    }
    for (const char* key : {"OBJECT", "TITLE", "SKL", "SKR"}) {
        std::string value;
        if (ReadQuotedField(tokenizer, value) != Field::Read) {
            return false;
        }
        map.SetProperty(key, value);
    }
    std::string firstExtra;
    std::string secondExtra;
    Field field = ReadQuotedField(tokenizer, firstExtra);
    if (field == Field::Read) {
        field = ReadQuotedField(tokenizer, secondExtra);
    }
    if (field == Field::Unclosed) {
        return false;
    }
    const GuiObjectExtraKeys keys = ExtraKeysOfType(map.GetProperty("OBJECT"));
    if (keys.first != nullptr) {
        map.SetProperty(keys.first, firstExtra);
    }
    if (keys.second != nullptr) {
        map.SetProperty(keys.second, secondExtra);
    }
    return true;
}

} // namespace panelgrab
