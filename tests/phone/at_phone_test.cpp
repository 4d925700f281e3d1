#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "phone/model_answer.h"
#include "phone/phone_link.h"
#include "support/pty_peer.h"

namespace panelgrab {
namespace {

std::unique_ptr<PhoneLink> FastPhone(const std::string& portName, int32_t kind = 0) {
    ConnectionSettings settings(portName, 115200);
    settings.SetTiming(PortTiming::Fast());
    return CreatePhoneLink(kind, settings);
}

TEST(ModelAnswer, TableOfAnswers) {
    const struct {
        const char* answer;
        int32_t result;
        const char* model; // expected model, or the untouched value "old" on failure
    } cases[] = {
        {"AT+CGMM\r\r\nABC-123\r\n\r\nOK\r\n", kPhoneOk, "123"},
        {"AT+CGMM\r\r\nXYZ\r\n\r\nOK\r\n", kPhoneOk, "XYZ"},
        {"at+cgmm\r\r\nABC-123\r\n\r\nOK\r\n", kPhoneOk, "123"},
        {" \r\n\tAT+CGMM\r\nPANELSIM-P200\r\nOK\r\n", kPhoneOk, "P200"},
        {"AT+CGMM\r\nA-B-C\r\nOK\r\n", kPhoneOk, "B-C"},       // only the first hyphen splits
        {"AT+CGMM\r\nXYZ\r\nOK-1\r\n", kPhoneOk, ""},          // first hyphen beyond the first line end
        {"AT+CGMM ABC-123", kPhoneOk, ""},                     // no line end after the echo
        {"AT+CGMM\r\nABC-\r\nOK\r\n", kPhoneOk, ""},           // hyphen right before the line end
        {"\r\nABC-123\r\n\r\nOK\r\n", kPhoneBadAnswer, "old"}, // echo switched off
        {"At+Cgmm\r\nABC-123\r\nOK\r\n", kPhoneBadAnswer, "old"},
        {"AT+CGM\r\nOK\r\n", kPhoneBadAnswer, "old"},
        {"", kPhoneBadAnswer, "old"},
    };
    for (const auto& c : cases) {
        std::string model = "old";
        EXPECT_EQ(ParseModelAnswer(c.answer, model), c.result) << testing::PrintToString(c.answer);
        EXPECT_EQ(model, c.model) << testing::PrintToString(c.answer);
    }
}

TEST(AtPhone, OnlyKindZeroIsMadeAndWithoutAPortEverythingFailsLeavingOutputsAlone) {
    EXPECT_EQ(FastPhone("None", 1), nullptr);
    auto phone = FastPhone("None");
    ASSERT_EQ(phone->Open(false), kPhoneOk);
    std::string model = "kept";
    std::string answer = "stale";
    GuiObjectMap objects;
    objects.SetProperty("kept", "yes");
    const DisplayBitmap* const unset = reinterpret_cast<const DisplayBitmap*>(&phone);
    const DisplayBitmap* picture = unset;
    int32_t checksum = 7;
    // The last: the phone cannot switch reporting on, so the client is told at once.
    const std::vector<int32_t> results = {phone->GetModel(model),
                                          phone->SendCommand("AT\r", answer),
                                          phone->GetGuiObjects(objects),
                                          phone->GetReadImage(picture),
                                          phone->GetRegionChecksum(DisplayRegion{0, 0, 1, 1}, checksum),
                                          phone->StartKeyEvents(nullptr)};
    EXPECT_EQ(results, std::vector<int32_t>(results.size(), kPhoneFailed));
    EXPECT_EQ(std::tuple(model, answer, objects.GetProperty("kept"), picture, checksum),
              std::tuple("kept", "", "yes", unset, 7));
    EXPECT_EQ(phone->GetReadProgress(), -1); // no read job to ask
}

TEST(AtPhone, CommandsOnTheWireAndAnswersThatLeaveTheCallersValuesAlone) {
    test::PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    const std::string ok = "\r\nOK\r\n";
    peer.Respond("AT\r" + ok).Respond(ok).Respond(ok).Respond(ok);
    peer.Respond("\r\n*ZAPC: \"1A2B\"\r\n" + ok).Respond("\r\n*ZAPC: \"none\"\r\n" + ok);
    peer.Respond("\r\n*ZGUI: \"Form\",\"Title\"\r\n" + ok).Respond(ok);
    peer.Start();
    auto phone = FastPhone(peer.SlavePath());
    ASSERT_EQ(phone->Open(false), kPhoneOk);
    // Key presses go out in tenths of a second; a negative time is refused before anything is sent.
    EXPECT_EQ(phone->PressKeyTimed("5", 250, 1000), kPhoneOk);
    EXPECT_EQ(phone->PressKeyTimed("#", 99, 199), kPhoneOk);
    EXPECT_EQ(phone->PressKey("123"), kPhoneOk);
    EXPECT_EQ(phone->PressKeyTimed("5", -100, 0), kPhoneFailed);
    int32_t checksum = 0;
    EXPECT_EQ(phone->GetDisplayChecksum(DisplayRegion{0, 0, 127, 159}, 1, checksum), kPhoneOk);
    EXPECT_EQ(checksum, 0x1A2B);
    EXPECT_EQ(phone->GetDisplayChecksum(DisplayRegion{0, 0, 1, 1}, 0, checksum), kPhoneBadAnswer);
    EXPECT_EQ(checksum, 0x1A2B);
    GuiObjectMap objects;
    objects.SetProperty("old", "entry");
    const auto before = objects.entries();
    EXPECT_EQ(phone->GetGuiObjects(objects), kPhoneBadAnswer);
    EXPECT_EQ(objects.entries(), before);
    // A long-form list answer that names no display: the query itself worked.
    DisplayList displays{DisplayInfo(1, 1, 16, 4, 0)};
    EXPECT_EQ(phone->GetDisplayList(displays), kPhoneOk);
    EXPECT_TRUE(displays.empty());
    EXPECT_EQ(peer.Commands(),
              (std::vector<std::string>{"AT\r", "AT+CKPD=\"5\",2,10\r", "AT+CKPD=\"#\",0,1\r",
                                        "AT+CKPD=\"123\"\r", "AT*ZAPC=0,0,127,159,1\r", "AT*ZAPC=0,0,1,1\r",
                                        "AT*ZGUI=0\r", "AT*ZISI=?\r"}));
}

} // namespace
} // namespace panelgrab
