// A session recorded against the simulated phone and played back by it: the client cannot tell the
// replay from the phone (the same answers, the same picture byte for byte, the same key events). A
// command the recording lacks is the replay script's (tests/sim), each record's syntax the record
// parser's (tests/common).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "phone/phone_link.h"
#include "sim/simulated_phone.h"
#include "support/recording_sink.h"
#include "support/scratch_folder.h"
#include "support/sim_phone_fixture.h"
#include "transport/at/session_recorder.h"

namespace panelgrab {
namespace {

using test::ReadFile;
using test::RecordingSink;
using test::ScratchFolder;
using test::WriteFile;

// What a client sees of a phone in one conversation.
struct Seen {
    int32_t opened = -1;
    std::string model;
    int32_t modelResult = -1;
    DisplayList displays;
    std::vector<uint8_t> picture; // the BMP of display 0
    std::vector<std::string> events;
    std::string sendAnswer;

    friend bool operator==(const Seen&, const Seen&) = default;
};

// Model, displays, a grab, keys with their key events and a raw command, with the simulated phone;
// the traffic goes to `sink` when there is one.
Seen Converse(const test::SimPhone& sim, TraceSink* sink) {
    std::unique_ptr<PhoneLink> phone = sim.MakePhone();
    phone->SetTraceSink(sink);
    Seen seen;
    seen.opened = phone->Open(false);
    seen.modelResult = phone->GetModel(seen.model);
    phone->GetDisplayList(seen.displays);
    DisplayBitmap picture;
    if (phone->ReadDisplay(picture, 0) == kPhoneOk) {
        seen.picture = picture.EncodeBmp();
    }
    RecordingSink keys;
    if (phone->StartKeyEvents(&keys) == kPhoneOk && phone->PressKey("1#") == kPhoneOk) {
        keys.WaitForEvents(4, std::chrono::seconds(5));
        phone->StopKeyEvents(0);
    }
    seen.events = keys.Events();
    phone->SendCommand("AT+CGMI\r", seen.sendAnswer);
    phone->Close();
    return seen;
}

sim::SimOptions Replaying(const std::string& path, bool fast) {
    sim::SimOptions options;
    options.replayPath = path;
    options.replayFast = fast;
    return options;
}

TEST(SessionReplay, TheReplayAnswersAsThePhoneDid) {
    ScratchFolder folder;
    const std::string session = folder / "phone.session";
    sim::SimOptions options;
    options.unsolicited = true; // reports inside answers and between picture lines, kept out of both
    SessionRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Open(session, "sim", error)) << error;
    const Seen recorded = Converse(test::SimPhone(options), &recorder);
    EXPECT_TRUE(recorder.Healthy());
    ASSERT_EQ(recorded.opened, kPhoneOk);
    ASSERT_EQ(recorded.model, "P200");
    ASSERT_FALSE(recorded.picture.empty());
    ASSERT_EQ(recorded.events,
              (std::vector<std::string>{"pressed 1", "released 1", "pressed #", "released #"}));
    const std::string text = ReadFile(session);
    EXPECT_NE(text.find(" > AT+CGMM\\r\n"), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find(" ! +CKEV: 1,1\n"), std::string::npos);

    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast" : "recorded timing");
        test::SimPhone replay(Replaying(session, fast));
        testing::internal::CaptureStderr();
        const Seen replayed = Converse(replay, nullptr);
        replay.StopPhone();
        const std::string complaints = testing::internal::GetCapturedStderr();
        EXPECT_EQ(replayed, recorded) << "the picture byte for byte, and every answer and event";
        EXPECT_EQ(complaints, "");
    }
}

TEST(SessionReplay, AReportRecordedBetweenPiecesOfALineGoesOutAtTheLineEnd) {
    // The client's reads split the answer inside a line, twice; the report came at a line end of a
    // later piece. Sent between the pieces, it would cut the model name in two.
    ScratchFolder folder;
    const std::string session = folder / "split.session";
    WriteFile(session, "0.000 > AT+CGMM\\r\n"
                       "0.001 < AT+CGMM\\r\\r\\n\\r\\nPANEL\n"
                       "0.001 ! RING\n"
                       "0.002 < SIM-\n"
                       "0.002 < P200\\r\\n\\r\\nOK\\r\\n\n");
    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast" : "recorded timing");
        test::SimPhone replay(Replaying(session, fast));
        std::unique_ptr<PhoneLink> phone = replay.MakePhone();
        ASSERT_EQ(phone->Open(false), kPhoneOk);
        std::string model;
        EXPECT_EQ(phone->GetModel(model), kPhoneOk);
        EXPECT_EQ(model, "P200");
        phone->Close();
    }
}

TEST(SessionReplay, AMalformedSessionIsRefusedWithItsLine) {
    ScratchFolder folder;
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"# nothing but a comment\n", ": the session holds no command"},
        {"0.000 > AT\\r\n0.010 < OK\\q\n", ":2: a backslash must begin \\r, \\n, \\t, \\\\ or \\xHH"},
    };
    for (const auto& c : cases) {
        const std::string session = folder / "bad.session";
        WriteFile(session, c.text);
        sim::SimulatedPhone phone(Replaying(session, true));
        std::string error;
        EXPECT_FALSE(phone.Start(error));
        EXPECT_EQ(error, session + c.error);
    }
}

} // namespace
} // namespace panelgrab
