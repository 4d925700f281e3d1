// The telnet stream as socket reads bring it: the bytes fed whole and fed in pieces (sizes from the
// input, empty reads included) must give the same data and the same commands; data never grows
// beyond its input; and framing data then decoding it gives the data back.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "transport/bytes/telnet_framing.h"

namespace {

using panelgrab::TelnetFraming;
using panelgrab::fuzz::Check;

struct Decoded {
    std::string data;
    std::vector<TelnetFraming::Event> events;
};

Decoded DecodePieces(const std::vector<std::string_view>& pieces) {
    TelnetFraming framing;
    Decoded out;
    for (const std::string_view piece : pieces) {
        framing.Decode(piece, out.data, out.events);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    panelgrab::fuzz::FuzzInput in(data, size);
    std::vector<uint8_t> sizes;
    for (unsigned n = in.Byte() % 8 + 1; n > 0; --n) {
        sizes.push_back(static_cast<uint8_t>(in.Byte() % 32));
    }
    const std::string_view text = in.Rest();
    const auto copy = panelgrab::fuzz::ExactCopy(text);
    const std::string_view wire(copy.get(), text.size());

    const Decoded whole = DecodePieces({wire});
    const Decoded pieces = DecodePieces(panelgrab::fuzz::SplitBySizes(wire, sizes));
    Check(whole.data == pieces.data, "pieces give the data of the whole stream");
    Check(whole.events == pieces.events, "pieces give the commands of the whole stream");
    Check(whole.data.size() <= wire.size(), "data is never longer than the stream");
    for (const TelnetFraming::Event& event : whole.events) {
        Check(event.payload.size() <= TelnetFraming::kMaxPayload, "subnegotiations are bounded");
    }

    const Decoded back = DecodePieces({TelnetFraming::Escape(wire)});
    Check(back.data == std::string(wire) && back.events.empty(), "escaped data decodes to itself");
    return 0;
}
