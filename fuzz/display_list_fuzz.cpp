// The display-list answers of both dialects: "AT*ZISI=?" (long and short form, and the wide-pixel
// probe) and "AT*ZIPI=?" (ranges, then the entry built from them). Arbitrary text must parse without
// a crash into a sane list; an answer written the way the phone writes it must come back exactly.
#include <array>
#include <cstdio>
#include <string>

#include "capture/display_list_parser.h"
#include "capture/picture_text.h"
#include "fuzz_input.h"

namespace {

using panelgrab::fuzz::Check;

void CheckListShape(const panelgrab::DisplayList& list) {
    Check(list.size() <= 2, "at most two displays");
    for (std::size_t i = 0; i < list.size(); ++i) {
        const panelgrab::DisplayInfo& entry = list[i];
        Check(entry.displayNumber == i, "displays numbered in order");
        const uint32_t perPixel = entry.lineLength / (entry.width == 0 ? 1u : entry.width);
        Check(entry.width == 0 || (perPixel == 4 || perPixel == 8), "4 or 8 characters a pixel");
    }
}

// A long-form answer with numbers chosen by the input: every field must come back.
void CheckLongFormRoundTrip(panelgrab::fuzz::FuzzInput& in) {
    const uint16_t h = in.Word(), w = in.Word(), h2 = in.Word(), w2 = in.Word();
    const uint8_t bpp = in.Byte(), bpp2 = in.Byte();
    char answer[160];
    std::snprintf(answer, sizeof answer, "\r\n*ZISI: %u, %u, %u, (0 - 1), %u, %u, %u\r\n\r\nOK\r\n", h, w,
                  bpp, h2, w2, bpp2);
    const panelgrab::DisplayList list = panelgrab::ParseZisiDisplayList(answer);
    Check(list.size() == 2, "long form gives two displays");
    Check(list[0] == panelgrab::DisplayInfo(w, h, bpp, 8u * w, 0), "first display as sent");
    Check(list[1] == panelgrab::DisplayInfo(w2, h2, bpp2, 8u * w2, 1), "second display as sent");
    Check(panelgrab::IsLongListForm(answer), "long form recognised");
    Check(!panelgrab::AnswerReportsError(answer), "no error in a list");

    std::snprintf(answer, sizeof answer, "\r\n*ZISI: (%u),(%u),(&d)\r\n\r\nOK\r\n", h, w);
    const panelgrab::DisplayList shortList = panelgrab::ParseZisiDisplayList(answer);
    Check(shortList.size() == 1, "short form gives one display");
    Check(shortList[0] == panelgrab::DisplayInfo(w, h, 16, 4u * w, 0), "short form display as sent");
    Check(!panelgrab::IsLongListForm(answer), "short form is not the long form");
}

// ZIPI ranges written with separators from the input: the six numbers must come back.
void CheckZipiRoundTrip(panelgrab::fuzz::FuzzInput& in) {
    std::array<uint32_t, 6> sent{};
    std::string answer = "\r\n*ZIPI:";
    for (uint32_t& value : sent) {
        value = in.Long();
        const char separator = static_cast<char>(in.Byte());
        answer += separator >= '0' && separator <= '9' ? ' ' : separator;
        answer += std::to_string(value);
    }
    answer += "\r\n\r\nOK\r\n";
    Check(panelgrab::ParseZipiGroups(answer) == sent, "ZIPI groups as sent");
}

void CheckZipiEntry(std::string_view answer, uint32_t lineCharacters) {
    const std::array<uint32_t, 6> groups = panelgrab::ParseZipiGroups(answer);
    const panelgrab::ZipiSize size = panelgrab::ZipiDisplaySize(groups);
    const panelgrab::DisplayInfo entry = panelgrab::ZipiDisplayEntry(size, lineCharacters);
    Check(entry.displayNumber == 0, "ZIPI describes display 0");
    if (size.width == 128 && size.height == 160) {
        Check(entry.bitsPerPixel == 16 && entry.lineLength == 512, "128x160 sends 16-bit pixels");
    } else {
        Check(entry.lineLength == lineCharacters, "line length is what line 0 brought");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckListShape(panelgrab::ParseZisiDisplayList(text));
    const bool error = panelgrab::AnswerReportsError(text);
    Check(!(error && panelgrab::IsLongListForm(text)), "an error answer is no display list");
    CheckZipiEntry(text, static_cast<uint32_t>(size * 37));

    panelgrab::fuzz::FuzzInput in(data, size);
    CheckLongFormRoundTrip(in);
    CheckZipiRoundTrip(in);
    return 0;
}
