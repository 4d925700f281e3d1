// The answer to "AT*ZGUI=0" and the tokenizer under it. Arbitrary answers must leave a map with the
// four fields and only the extra keys the type names; fields written with escapes must come back.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "gui_dump/field_tokenizer.h"
#include "gui_dump/gui_object_parser.h"

namespace {

using panelgrab::fuzz::Check;

void CheckArbitraryAnswer(std::string_view answer) {
    panelgrab::GuiObjectMap map;
    map.SetProperty("STALE", "left from before");
    const bool parsed = panelgrab::ParseGuiObject(answer, map);
    Check(!map.HasProperty("STALE"), "the map starts empty");
    if (!parsed) {
        Check(map.size() <= 4, "a failed parse stores only the leading fields");
        return;
    }
    for (const char* key : {"OBJECT", "TITLE", "SKL", "SKR"}) {
        Check(map.HasProperty(key), "the four fields are stored");
    }
    const panelgrab::GuiObjectExtraKeys keys = panelgrab::ExtraKeysOfType(map.GetProperty("OBJECT"));
    const std::size_t extras = (keys.first != nullptr ? 1 : 0) + (keys.second != nullptr ? 1 : 0);
    Check(map.size() == 4 + extras, "extra values only under the type's keys");
}

// Backslash-escapes the delimiter and backslashes, as the phone does inside a field.
std::string Escaped(std::string_view token, char delimiter) {
    std::string out;
    for (const char c : token) {
        if (c == delimiter || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// Tokens from the input, escaped and joined: the tokenizer must give each one back.
void CheckTokenRoundTrip(panelgrab::fuzz::FuzzInput& in) {
    // A backslash is the escape character itself, so it cannot also be the delimiter.
    const uint8_t byte = in.Byte();
    const char delimiter = byte == '\\' ? ',' : static_cast<char>(byte);
    std::vector<std::string_view> tokens;
    for (unsigned n = in.Byte() % 6; n > 0; --n) {
        tokens.push_back(in.Take(in.Byte() % 16));
    }
    std::string text;
    for (const std::string_view token : tokens) {
        text += Escaped(token, delimiter);
        text += delimiter;
    }
    panelgrab::FieldTokenizer tokenizer;
    tokenizer.SetText(text);
    for (const std::string_view token : tokens) {
        Check(tokenizer.NextToken(std::string_view(&delimiter, 1)), "each token ends at its delimiter");
        Check(tokenizer.GetToken() == token, "token as written");
    }
    Check(!tokenizer.NextToken(std::string_view(&delimiter, 1)), "nothing after the last token");
}

// A complete answer with fields from the input: the four fields must be stored as sent.
void CheckWrittenAnswer(panelgrab::fuzz::FuzzInput& in) {
    std::string fields[4];
    std::string answer = "*ZGUI: ";
    for (std::string& field : fields) {
        field = std::string(in.Take(in.Byte() % 12));
        answer += "\"" + Escaped(field, '"') + "\",";
    }
    answer += "\r\n\r\nOK\r\n";
    panelgrab::GuiObjectMap map;
    Check(panelgrab::ParseGuiObject(answer, map), "written answer accepted");
    Check(map.GetProperty("OBJECT") == fields[0] && map.GetProperty("TITLE") == fields[1] &&
              map.GetProperty("SKL") == fields[2] && map.GetProperty("SKR") == fields[3],
          "fields as sent");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckArbitraryAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
    panelgrab::fuzz::FuzzInput in(data, size);
    CheckTokenRoundTrip(in);
    CheckWrittenAnswer(in);
    return 0;
}
