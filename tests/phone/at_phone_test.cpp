#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "phone/phone_link.h"
#include "support/pty_peer.h"
#include "transport/connection_settings.h"
#include "transport/port_timing.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;

constexpr const char* kOk = "\r\nOK\r\n";

ConnectionSettings FastSettings(const std::string& portName) {
    ConnectionSettings settings(portName, 115200);
    settings.SetTiming(PortTiming::Fast());
    return settings;
}

// A phone object opened on a scripted peer that has answered the probe.
class AtPhoneOnPeer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        peer.Respond(std::string("AT\r") + kOk);
        peer.Start();
        phone = CreatePhone(FastSettings(peer.SlavePath()));
        ASSERT_NE(phone, nullptr);
        ASSERT_EQ(phone->Open(false), kPhoneOk);
    }

    // The commands after the probe.
    std::vector<std::string> CommandsAfterProbe() {
        std::vector<std::string> commands = peer.Commands();
        commands.erase(commands.begin());
        return commands;
    }

    PtyPeer peer;
    std::unique_ptr<PhoneLink> phone;
};

TEST(AtPhoneFactory, KindZeroMakesAnAtPhoneOtherKindsNone) {
    const ConnectionSettings settings = FastSettings("None");
    EXPECT_NE(CreatePhoneLink(0, settings), nullptr);
    EXPECT_NE(CreatePhone(settings), nullptr);
    EXPECT_EQ(CreatePhoneLink(1, settings), nullptr);
    EXPECT_EQ(CreatePhoneLink(-1, settings), nullptr);
}

TEST(AtPhoneFactory, NonePortOpensButEveryExchangeFails) {
    auto phone = CreatePhone(FastSettings("None"));
    ASSERT_EQ(phone->Open(false), kPhoneOk);
    std::string model = "kept";
    EXPECT_EQ(phone->GetModel(model), kPhoneFailed);
    EXPECT_EQ(model, "kept");
    EXPECT_EQ(phone->PressKey("5"), kPhoneFailed);
    EXPECT_EQ(phone->PressKeyTimed("5", 250, 1000), kPhoneFailed);
    std::string answer = "stale";
    EXPECT_EQ(phone->SendCommand("AT\r", answer), kPhoneFailed);
    EXPECT_EQ(answer, "");
    DisplayList displays;
    EXPECT_EQ(phone->GetDisplayList(displays), kPhoneFailed);
    GuiObjectMap objects;
    objects.SetProperty("kept", "yes");
    EXPECT_EQ(phone->GetGuiObjects(objects), kPhoneFailed);
    EXPECT_EQ(objects.GetProperty("kept"), "yes");
    EXPECT_EQ(phone->Close(), kPhoneOk);
}

TEST(AtPhoneFactory, NoJobMeansFailureResults) {
    auto phone = CreatePhone(FastSettings("None"));
    EXPECT_EQ(phone->ReservedOperation1(), kPhoneFailed);
    EXPECT_EQ(phone->ReservedOperation2(), kPhoneFailed);
    EXPECT_EQ(phone->ReservedOperation3(), kPhoneFailed);
    EXPECT_EQ(phone->GetReadProgress(), -1);
    EXPECT_FALSE(phone->IsReadRunning());
    const DisplayBitmap* picture = reinterpret_cast<const DisplayBitmap*>(&phone);
    EXPECT_EQ(phone->GetReadImage(picture), kPhoneFailed);
    EXPECT_EQ(picture, reinterpret_cast<const DisplayBitmap*>(&phone)); // unchanged
    int32_t checksum = 7;
    EXPECT_EQ(phone->GetRegionChecksum(DisplayRegion{0, 0, 1, 1}, checksum), kPhoneFailed);
    EXPECT_EQ(checksum, 7);
    EXPECT_EQ(phone->StopScreenRead(), kPhoneFailed);
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneFailed);
    // The phone cannot switch reporting on, so the client is told at once.
    EXPECT_EQ(phone->StartKeyEvents(nullptr), kPhoneFailed);
    EXPECT_EQ(phone->StopKeyEvents(0), kPhoneFailed);
}

TEST_F(AtPhoneOnPeer, ModelFromTheAnswerAndFailureLeavesItAlone) {
    peer.Respond(std::string("AT+CGMM\r\r\nABC-123\r\n") + kOk);
    peer.Respond("AT+CGMM\r\r\nERROR\r\n").Respond("\r\nERROR\r\n").Respond("\r\nERROR\r\n");
    std::string model;
    EXPECT_EQ(phone->GetModel(model), kPhoneOk);
    EXPECT_EQ(model, "123");
    EXPECT_EQ(phone->GetModel(model), kPhoneFailed);
    EXPECT_EQ(model, "123");
    EXPECT_EQ(CommandsAfterProbe(), std::vector<std::string>(4, "AT+CGMM\r"));
}

TEST_F(AtPhoneOnPeer, KeyPressesGoOutInTenthsOfASecond) {
    peer.Respond(kOk).Respond(kOk).Respond(kOk);
    EXPECT_EQ(phone->PressKeyTimed("5", 250, 1000), kPhoneOk);
    EXPECT_EQ(phone->PressKeyTimed("#", 99, 199), kPhoneOk);
    EXPECT_EQ(phone->PressKey("123"), kPhoneOk);
    // A negative time is refused before anything is sent.
    EXPECT_EQ(phone->PressKeyTimed("5", -100, 0), kPhoneFailed);
    EXPECT_EQ(CommandsAfterProbe(),
              (std::vector<std::string>{"AT+CKPD=\"5\",2,10\r", "AT+CKPD=\"#\",0,1\r", "AT+CKPD=\"123\"\r"}));
}

TEST_F(AtPhoneOnPeer, SendCommandReturnsTheWholeAnswer) {
    peer.Respond(std::string("ATI\r\r\nPanel\xC3\xA9\r\n") + kOk);
    std::string answer;
    EXPECT_EQ(phone->SendCommand("ATI\r", answer), kPhoneOk);
    EXPECT_EQ(answer, std::string("ATI\r\r\nPanel\xC3\xA9\r\n") + kOk);
}

TEST_F(AtPhoneOnPeer, GuiObjectsParsedOrCallerMapLeftAlone) {
    peer.Respond(std::string("AT*ZGUI=0\r\r\n*ZGUI: \"Form\",\"Title\",\"L\",\"R\",\"P\",\"V\"\r\n") + kOk);
    peer.Respond(std::string("AT*ZGUI=0\r\r\n*ZGUI: \"Form\",\"Title\"\r\n") + kOk);
    GuiObjectMap objects;
    objects.SetProperty("old", "entry");
    ASSERT_EQ(phone->GetGuiObjects(objects), kPhoneOk);
    EXPECT_EQ(objects.entries(), (std::map<std::string, std::string>{{"OBJECT", "Form"},
                                                                     {"TITLE", "Title"},
                                                                     {"SKL", "L"},
                                                                     {"SKR", "R"},
                                                                     {"PROMPT", "P"},
                                                                     {"VALUE", "V"}}));
    const auto before = objects.entries();
    EXPECT_EQ(phone->GetGuiObjects(objects), kPhoneBadAnswer);
    EXPECT_EQ(objects.entries(), before);
}

TEST_F(AtPhoneOnPeer, DisplayChecksumFromThePhone) {
    peer.Respond(std::string("AT*ZAPC=0,0,127,159\r\r\n*ZAPC: \"1A2B\"\r\n") + kOk);
    peer.Respond(std::string("AT*ZAPC=0,0,1,1,1\r\r\n*ZAPC: \"none\"\r\n") + kOk);
    int32_t checksum = 0;
    EXPECT_EQ(phone->GetDisplayChecksum(DisplayRegion{0, 0, 127, 159}, 0, checksum), kPhoneOk);
    EXPECT_EQ(checksum, 0x1A2B);
    EXPECT_EQ(phone->GetDisplayChecksum(DisplayRegion{0, 0, 1, 1}, 1, checksum), kPhoneBadAnswer);
    EXPECT_EQ(checksum, 0x1A2B);
}

TEST_F(AtPhoneOnPeer, DisplayListEmptyIsSuccess) {
    // A long-form answer that names no display: the query itself worked.
    peer.Respond(std::string("AT*ZISI=?\r\r\n") + kOk);
    DisplayList displays{DisplayInfo(1, 1, 16, 4, 0)};
    EXPECT_EQ(phone->GetDisplayList(displays), kPhoneOk);
    EXPECT_TRUE(displays.empty());
}

} // namespace
} // namespace panelgrab
