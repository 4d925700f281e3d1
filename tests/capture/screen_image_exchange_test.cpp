#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_texts.h"
#include "capture/pixel_decoder.h"
#include "capture/screen_image.h"
#include "support/pty_peer.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;

// A picture text whose characters differ from pixel to pixel, so that a lost or moved digit shows.
std::string PictureText(std::size_t characters) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < characters; ++i) {
        text += kDigits[(i * 7 + i / 16) % 16];
    }
    return text;
}

std::vector<uint8_t> Decoded(const DisplayInfo& entry, const std::string& text, bool wide) {
    const std::size_t rowSize = (3u * entry.width + 3u) & ~3u;
    std::vector<uint8_t> pixels(rowSize * entry.height, 0);
    DecodeRows(entry.width, entry.height, entry.bitsPerPixel, static_cast<uint16_t>(entry.lineLength),
               text.data(), text.size(), pixels.data(), pixels.size(), wide);
    return pixels;
}

std::vector<uint8_t> Rendered(ScreenImage& image) {
    DisplayBitmap bitmap;
    EXPECT_TRUE(bitmap.SetSize(*image.current()));
    EXPECT_TRUE(image.RenderInto(bitmap));
    return std::vector<uint8_t>(bitmap.pixels(), bitmap.pixels() + bitmap.pixelBytes());
}

class ScreenImageExchange : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        ConnectionSettings settings(peer.SlavePath(), 115200);
        settings.SetTiming(PortTiming::Fast());
        port = std::make_unique<SerialPort>(settings);
        peer.Respond("AT\r\r\nOK\r\n");
        peer.Start();
        ASSERT_TRUE(port->Open(false));
    }
    // The one display-image test a read of a bulk phone begins with: its answer lists the
    // displays, tells the pixel width and that the bulk read exists.
    void AnswerListTest(const std::string& list) {
        peer.Respond("AT*ZISI=?\r\r\n*ZISI: " + list + "\r\n\r\nOK\r\n");
    }
    std::vector<std::string> CommandsAfterOpen() {
        EXPECT_TRUE(peer.WaitUntilDone(5000ms));
        const std::vector<std::string> all = peer.Commands();
        return {all.begin() + 1, all.end()};
    }

    PtyPeer peer;
    std::unique_ptr<SerialPort> port;
    ScreenImage image;
};

TEST_F(ScreenImageExchange, RefusedListQueryMeasuresLineZeroOrKeepsThePortError) {
    DisplayList list{{1, 1, 1, 1, 1}};
    // Refused (an ERROR is an answer: asked once): ranges, then line 0 measures the format.
    // A 300-pixel line of 16-bit pixels is 1200 characters: longer than one short answer.
    peer.Expect().AnswerError();
    peer.Respond("\r\n*ZIPI: (0-9),(0-299),(0-3)\r\nOK\r\n");
    peer.Respond("\r\n*ZIPI: " + PictureText(1200) + "\r\n\r\nOK\r\n");
    ASSERT_TRUE(image.QueryDisplayList(*port, list));
    EXPECT_EQ(list, (DisplayList{{300, 10, 16, 1200, 0}}));
    // Both queries refused: the port's own error text is kept.
    peer.Expect().AnswerError();
    peer.Expect().AnswerError();
    EXPECT_FALSE(image.QueryDisplayList(*port, list));
    EXPECT_STREQ(image.errorText(), port->errorText());
    const std::vector<std::string> expected{"AT*ZISI=?\r", "AT*ZIPI=?\r", "AT*ZIPI=0,0,299\r", "AT*ZISI=?\r",
                                            "AT*ZIPI=?\r"};
    EXPECT_EQ(CommandsAfterOpen(), expected);
}

TEST_F(ScreenImageExchange, BulkLinesLongerThanTheReadBuffer) {
    // Second display: 600 wide, 2 lines of 4800 characters each, sent as one line of 9600.
    AnswerListTest("1, 1, 16, (0 - 1), 2, 600, 16");
    const std::string text = PictureText(9600);
    peer.Expect().Answer("\r\n*ZISI: " + text + "\r\nOK\r\n");
    ASSERT_TRUE(image.ReadScreen(*port, 1));
    EXPECT_EQ(image.received(), 9600);
    EXPECT_EQ(Rendered(image), Decoded(*image.current(), text, true));
    EXPECT_EQ(CommandsAfterOpen().back(), "AT*ZISI=1\r");
}

TEST_F(ScreenImageExchange, RefusedBulkFallsBackToLines) {
    AnswerListTest("(2),(3),(16)"); // short form: 4 characters a pixel, 12 a line
    const std::string text = PictureText(24);
    peer.Expect().Answer("AT*ZISI\r\r\n");
    peer.Answer("ERROR\r\n");
    peer.Respond("\r\n*ZIPI: " + text.substr(0, 12) + "\r\n\r\nOK\r\n");
    peer.Respond("\r\n*ZIPI: " + text.substr(12, 10) + "\r\n\r\nOK\r\n"); // short line
    // A line shorter than the display's is no picture: the read fails and says which line.
    ASSERT_FALSE(image.ReadScreen(*port, 0));
    EXPECT_EQ(image.FailureDetail(), "line 1 had 10 characters where 12 digits were expected");
    EXPECT_EQ(image.received(), 22);
    EXPECT_EQ(CommandsAfterOpen(),
              (std::vector<std::string>{"AT*ZISI=?\r", "AT*ZISI\r", "AT*ZIPI=0,0,2\r", "AT*ZIPI=1,0,2\r"}));
}

// Some columns of a line land in their place; a phone that answers with other than exactly those
// columns' characters (a whole line) has nothing stored, and the caller is told to fetch lines.
TEST_F(ScreenImageExchange, LineColumnsLandInPlaceOrAreNotServed) {
    AnswerListTest("(2),(3),(16)"); // 3 x 2, 4 characters a pixel
    peer.Respond("\r\n*ZIPI: ABCDEF01\r\n\r\nOK\r\n");
    peer.Respond("\r\n*ZIPI: 123456789ABC\r\n\r\nOK\r\n");
    ASSERT_TRUE(image.SelectDisplay(*port, 0));
    bool served = false;
    ASSERT_TRUE(image.FetchLineColumns(*port, 1, 1, 2, served));
    EXPECT_TRUE(served);
    ASSERT_TRUE(image.FetchLineColumns(*port, 0, 0, 0, served));
    EXPECT_FALSE(served) << "a whole line for one pixel";
    EXPECT_FALSE(image.FetchLineColumns(*port, 2, 0, 0, served)) << "no line 2";
    EXPECT_EQ(Rendered(image), Decoded(*image.current(), "0000000000000000ABCDEF01", false));
    EXPECT_EQ(CommandsAfterOpen(),
              (std::vector<std::string>{"AT*ZISI=?\r", "AT*ZIPI=1,1,2\r", "AT*ZIPI=0,0,0\r"}));
}

TEST_F(ScreenImageExchange, EndlessBulkStreamIsEnded) {
    peer.Expect().Stream("*ZISI: 0123456789abcdef0123456789abcdef\r\n");
    std::vector<uint8_t> rows(4, 0);
    EXPECT_FALSE(image.ReadWidePicture(*port, 1, 1, 0, rows.data(), rows.size()));
    EXPECT_STREQ(image.errorText(), kTextPictureOverflow);
    peer.Stop();
}

TEST_F(ScreenImageExchange, PictureStaysReadableWhileThePhoneIsSilent) {
    AnswerListTest("2, 1, 16");
    const std::string text = PictureText(16);
    peer.Expect().Answer("\r\n*ZISI: " + text.substr(0, 8) + "\r\n").Silence(600ms);
    peer.Answer(text.substr(8) + "\r\nOK\r\n");
    std::atomic<bool> finished{false};
    std::thread reader([&] {
        EXPECT_TRUE(image.ReadScreen(*port, 0));
        finished = true;
    });
    while (image.received() < 8 && !finished) {
        std::this_thread::sleep_for(1ms);
    }
    // Neither waits for the silent phone: the second half has not come when they return.
    DisplayBitmap bitmap;
    ASSERT_TRUE(bitmap.SetSize(1, 2));
    EXPECT_TRUE(image.RenderInto(bitmap));
    EXPECT_NE(image.RegionChecksum(0, 0, 0, 0), -1);
    EXPECT_EQ(image.received(), 8);
    reader.join();
    EXPECT_EQ(image.received(), 16);
}

} // namespace
} // namespace panelgrab
