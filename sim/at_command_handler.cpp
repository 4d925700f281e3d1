#include "sim/at_command_handler.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "common/ascii_text.h"
#include "common/local_checksum.h"
#include "sim/fault_plan.h"

namespace panelgrab::sim {
namespace {

constexpr const char* kDefaultGuiObject = "\"Form\",\"Title\",\"L\",\"R\",\"P\",\"V\"";

// Comma-separated decimal numbers, each in 0..limit; false for anything else.
bool ParseNumbers(std::string_view text, std::vector<int>& numbers, int limit = 65535) {
    numbers.clear();
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        int value = 0;
        const auto [ptr, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || ec != std::errc() || ptr != item.data() + item.size() || value < 0 ||
            value > limit) {
            return false;
        }
        numbers.push_back(value);
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

std::string Format(const char* pattern, int a, int b, int c) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

bool Matches(std::string_view upper, std::string_view name, std::string_view& args) {
    if (upper.substr(0, name.size()) != name) {
        return false;
    }
    args = upper.substr(name.size());
    return true;
}

} // namespace

std::vector<std::string> SplitKeys(std::string_view keys) {
    std::vector<std::string> split;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::size_t length = keys[i] == ':' && i + 1 < keys.size() ? 2 : 1;
        split.emplace_back(keys.substr(i, length));
        i += length - 1;
    }
    return split;
}

AtCommandHandler::AtCommandHandler(const SimOptions& options, std::shared_ptr<ShownScreen> screen)
    : dialect_(options.dialect), model_(options.model),
      guiObject_(options.guiObject.empty() ? kDefaultGuiObject : options.guiObject), errorBulk_(false),
      endlessLine_(false), defaultEcho_(options.echo), screen_(std::move(screen)), echo_(options.echo),
      unsolicited_(options.unsolicited) {
    FaultPlan fault;
    std::string ignored;
    if (ParseFault(options.fault, fault, ignored)) {
        errorBulk_ = fault.kind == FaultPlan::Kind::ErrorBulk;
        endlessLine_ = fault.kind == FaultPlan::Kind::EndlessLine;
        hugeDisplay_ = fault.kind == FaultPlan::Kind::HugeDisplay;
        noChecksum_ = fault.kind == FaultPlan::Kind::NoChecksum;
        cmeErrors_ = fault.kind == FaultPlan::Kind::CmeErrors;
        lateAnswerMs_ = fault.kind == FaultPlan::Kind::LateAnswer ? fault.bytes : 0;
    }
}

CommandReply AtCommandHandler::Handle(std::string_view line) {
    CommandReply reply;
    if (echo_) {
        reply.text.append(line).push_back('\r');
    }
    Outcome outcome;
    if (!line.empty()) {
        const std::string upper = ToUpperAscii(line.substr(0, 2));
        if (upper != "AT") {
            outcome.ok = false;
        } else {
            outcome = Execute(line.substr(2), reply);
        }
    }
    if (reply.endlessLine) {
        reply.text += "\r\n*ZISI: ";
        return reply;
    }
    if (!outcome.ok) {
        // With extended errors the phone says why; "100" is 27.007's "unknown".
        reply.text += cmeErrors_ ? "\r\n+CME ERROR: 100\r\n" : "\r\nERROR\r\n";
        return reply;
    }
    AppendAnswer(outcome, reply);
    return reply;
}

void AtCommandHandler::AppendAnswer(const Outcome& outcome, CommandReply& reply) {
    // One report between the echo and the answer, then one after every 7th line (a picture's).
    constexpr std::size_t kLinesBetweenReports = 7;
    if (unsolicited_ && !outcome.lines.empty()) {
        reply.text += reports_.Next();
    }
    if (!outcome.lines.empty()) {
        reply.text += "\r\n";
        for (std::size_t i = 0; i < outcome.lines.size(); ++i) {
            reply.text.append(outcome.lines[i]).append("\r\n");
            if (unsolicited_ && (i + 1) % kLinesBetweenReports == 0) {
                reply.text += reports_.Next();
            }
        }
    }
    if (unsolicited_ && reporting_) {
        // The phone reports its keys as it presses them, before it is done with the command.
        for (const std::string& key : reply.pressedKeys) {
            reply.text += UnsolicitedReports::KeyReport(key, "1") + UnsolicitedReports::KeyReport(key, "0");
        }
        reply.pressedKeys.clear();
    }
    reply.text += "\r\nOK\r\n";
}

AtCommandHandler::Outcome AtCommandHandler::Execute(std::string_view body, CommandReply& reply) {
    const std::string upper = ToUpperAscii(body);
    std::string_view args;
    if (upper.empty()) {
        return {};
    }
    if (upper == "E" || upper == "E0" || upper == "E1") {
        echo_ = upper == "E1";
        return {};
    }
    if (upper == "Z") {
        echo_ = defaultEcho_;
        reporting_ = false;
        return {};
    }
    if (upper == "+CGMM" || upper == "+CGMM=?") {
        return upper == "+CGMM" ? Outcome{true, {model_}} : Outcome{};
    }
    if (upper == "+CGMI") {
        return {true, {model_.substr(0, model_.find('-'))}};
    }
    if (Matches(upper, "*ZISI", args)) {
        return ZisiCommand(args, reply);
    }
    if (Matches(upper, "*ZIPI=", args)) {
        return ZipiCommand(args);
    }
    if (Matches(upper, "*ZAPC=", args)) {
        if (lateAnswerMs_ > 0 && args != "?") {
            reply.delayMs = lateAnswerMs_;
            lateAnswerMs_ = 0;
        }
        return noChecksum_ ? Outcome{false, {}} : ChecksumCommand(args);
    }
    if (upper == "*ZGUI=?") {
        return {};
    }
    if (upper == "*ZGUI=0") {
        return {true, {"*ZGUI: " + guiObject_}};
    }
    if (Matches(upper, "+CKPD=", args)) {
        // The keys keep the letter case they were sent in.
        return KeyPressCommand(body.substr(6), reply);
    }
    if (Matches(upper, "+CMER", args)) {
        return EventReportingCommand(args, reply);
    }
    return {false, {}};
}

AtCommandHandler::Outcome AtCommandHandler::ZisiCommand(std::string_view args, CommandReply& reply) const {
    if (dialect_ == Dialect::PerLine) {
        return {false, {}};
    }
    if (args == "=?") {
        return DisplayListAnswer();
    }
    if (args.empty()) {
        return PictureAnswer(0, reply);
    }
    std::vector<int> numbers;
    if (args.front() != '=' || !ParseNumbers(args.substr(1), numbers) || numbers.size() != 1) {
        return {false, {}};
    }
    return PictureAnswer(static_cast<std::size_t>(numbers[0]), reply);
}

AtCommandHandler::Outcome AtCommandHandler::DisplayListAnswer() const {
    constexpr int kHugeSide = 60000;
    const SimDisplay& shown = screen_->displays().front();
    const SimDisplay d = hugeDisplay_ ? SimDisplay{kHugeSide, kHugeSide, shown.bitsPerPixel} : shown;
    switch (dialect_) {
    case Dialect::Long:
        return {true, {Format("*ZISI: %d, %d, %d", d.height, d.width, d.bitsPerPixel)}};
    case Dialect::LongRange:
        return {true, {Format("*ZISI: %d, %d, %d, (0 - 1)", d.height, d.width, d.bitsPerPixel)}};
    case Dialect::TwoDisplays: {
        const SimDisplay& s = screen_->displays().back();
        return {true,
                {Format("*ZISI: %d, %d, %d, (0 - 1), ", d.height, d.width, d.bitsPerPixel) +
                 Format("%d, %d, %d", s.height, s.width, s.bitsPerPixel)}};
    }
    case Dialect::Short:
        return {true, {Format("*ZISI: (%d),(%d),(%d)", d.height, d.width, d.bitsPerPixel)}};
    case Dialect::PerLine:
        break;
    }
    return {false, {}};
}

AtCommandHandler::Outcome AtCommandHandler::PictureAnswer(std::size_t display, CommandReply& reply) const {
    if (display >= screen_->displays().size() || errorBulk_) {
        return {false, {}};
    }
    if (endlessLine_) {
        reply.endlessLine = true;
        return {};
    }
    const ShownScreen::Snapshot shown = screen_->Now();
    screen_->NoteWholePicture(shown.version);
    const DisplayPicture& picture = (*shown.pictures)[display];
    Outcome outcome;
    const std::string& text = picture.PictureText();
    const std::size_t length = picture.lineLength();
    for (std::size_t at = 0; at < text.size(); at += length) {
        outcome.lines.push_back("*ZISI: " + text.substr(at, length));
    }
    return outcome;
}

AtCommandHandler::Outcome AtCommandHandler::ZipiCommand(std::string_view args) const {
    const SimDisplay& d = screen_->displays().front();
    if (args == "?") {
        return {true, {Format("*ZIPI: (0-%d),(0-%d),(0-%d)", d.height - 1, d.width - 1, 0)}};
    }
    std::vector<int> n;
    if (!ParseNumbers(args, n) || n.size() != 3 || n[0] >= d.height || n[1] > n[2] || n[2] >= d.width) {
        return {false, {}};
    }
    return {true, {"*ZIPI: " + screen_->Now().pictures->front().LineText(n[0], n[1], n[2])}};
}

AtCommandHandler::Outcome AtCommandHandler::ChecksumCommand(std::string_view args) const {
    const SimDisplay& d = screen_->displays().front();
    if (args == "?") {
        const int last = static_cast<int>(screen_->displays().size()) - 1;
        return {true,
                {Format("*ZAPC: (0-%d),(0-%d),", d.width - 1, d.height - 1, 0) +
                 Format("(0-%d),(0-%d),(0-%d)", d.width - 1, d.height - 1, last)}};
    }
    std::vector<int> n;
    if (!ParseNumbers(args, n) || (n.size() != 4 && n.size() != 5)) {
        return {false, {}};
    }
    const std::size_t display = n.size() == 5 ? static_cast<std::size_t>(n[4]) : 0;
    if (display >= screen_->displays().size()) {
        return {false, {}};
    }
    const ShownScreen::Snapshot now = screen_->Now();
    const DisplayPicture& picture = (*now.pictures)[display];
    const SimDisplay& shown = picture.display();
    const int left = n[0], top = n[1], right = n[2], bottom = n[3];
    if (left > right || top > bottom || right >= shown.width || bottom >= shown.height) {
        return {false, {}};
    }
    const std::string& text = picture.PictureText();
    const int32_t sum = ChecksumOf(
        text.data(), text.size(), static_cast<uint8_t>(shown.bitsPerPixel), picture.lineLength(),
        static_cast<uint16_t>(shown.width), static_cast<uint16_t>(left), static_cast<uint16_t>(top),
        static_cast<uint16_t>(right), static_cast<uint16_t>(bottom), picture.longForm());
    char answer[32];
    std::snprintf(answer, sizeof answer, "*ZAPC: \"%08X\"",
                  static_cast<unsigned>(static_cast<uint32_t>(sum)));
    return {true, {answer}};
}

AtCommandHandler::Outcome AtCommandHandler::KeyPressCommand(std::string_view args,
                                                            CommandReply& reply) const {
    if (args == "?") {
        return {true, {"+CKPD: (0123456789*#<>CEFLMPQRSTUVWXY[]^:)"}};
    }
    const std::size_t close = args.rfind('"');
    if (args.empty() || args.front() != '"' || close == 0) {
        return {false, {}};
    }
    const std::string_view times = args.substr(close + 1);
    std::vector<int> n;
    if (!times.empty() && (times.front() != ',' || !ParseNumbers(times.substr(1), n, 255) || n.size() > 2)) {
        return {false, {}};
    }
    reply.pressedKeys = SplitKeys(args.substr(1, close - 1));
    return {};
}

AtCommandHandler::Outcome AtCommandHandler::EventReportingCommand(std::string_view args,
                                                                  CommandReply& reply) {
    if (args == "=?") {
        return {true, {"+CMER: (0,3),(0,2),(0),(0),(0)"}};
    }
    if (args == "?") {
        return {true, {reporting_ ? "+CMER: 3,2,0,0,0" : "+CMER: 0,0,0,0,0"}};
    }
    std::vector<int> n;
    if (args.empty() || args.front() != '=' || !ParseNumbers(args.substr(1), n) || n.size() < 4 ||
        n.size() > 5 || n[0] > 3 || n[1] > 2 || n[2] > 2 || n[3] > 2 || (n.size() == 5 && n[4] > 1)) {
        return {false, {}};
    }
    reporting_ = n[0] != 0 && n[1] != 0;
    reply.reportingSwitchedOn = reporting_;
    return {};
}

} // namespace panelgrab::sim
