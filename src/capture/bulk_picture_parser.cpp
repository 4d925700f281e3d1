#include "capture/bulk_picture_parser.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "transport/at/v250_command.h"

namespace panelgrab {
namespace {

// A line whose start shows no picture data within this many characters is not a picture line.
constexpr std::size_t kLongestHead = 32;
constexpr std::size_t kQuotedText = 40;

// The line as a reader can see it in a message: printable, and short.
std::string Quoted(std::string_view line) {
    std::string quoted = "\"";
    for (const char c : line.substr(0, kQuotedText)) {
        quoted.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return quoted + (line.size() > kQuotedText ? "…\"" : "\"");
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool IsHexText(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsHexDigit);
}

bool IsFinalError(std::string_view line) {
    return line == "ERROR" || line.starts_with("+CME ERROR:") || line.starts_with("+CMS ERROR:");
}

} // namespace

BulkPictureParser::BulkPictureParser(std::string_view command, uint32_t lines, uint32_t lineLength)
    : command_(command.substr(0, command.find_first_of("\r\n"))), capacity_(uint64_t{lines} * lineLength),
      lines_(lines), lineLength_(lineLength) {
    const std::vector<std::string> prefixes = AnswerPrefixes(command);
    answerPrefix_ = prefixes.empty() ? std::string() : prefixes.front() + ":";
}

BulkPictureParser::Step BulkPictureParser::Feed(std::string_view piece, char* data) {
    for (const char c : piece) {
        if (state_ != Step::More) {
            break;
        }
        state_ = FeedCharacter(c, data);
    }
    return state_;
}

BulkPictureParser::Step BulkPictureParser::FeedCharacter(char c, char* data) {
    if (c == '\n') {
        return EndLine(data);
    }
    if (kind_ == LineKind::Picture) {
        if (IsHexDigit(c)) {
            return StoreDigit(c, data);
        }
        if (c == '\r') {
            return Step::More;
        }
        return Fail("picture line " + std::to_string(pictureLine_) + " holds a character that is no digit (" +
                    Quoted(std::string(1, c)) + ")");
    }
    head_.push_back(c);
    // An echo ends with CR alone; the line end follows only after the answer starts.
    if (c == '\r' && kind_ == LineKind::Undecided && StartsWithIgnoringCase(head_, "AT")) {
        return EndLine(data);
    }
    std::size_t digitsStart = 0;
    kind_ = Classify(digitsStart);
    if (kind_ == LineKind::Other) {
        return Fail("line " + std::to_string(pictureLine_) + " of the picture is no picture data (" +
                    Quoted(head_) + ")");
    }
    if (kind_ == LineKind::Picture) {
        const std::string digits = head_.substr(digitsStart);
        head_.clear();
        for (const char digit : digits) {
            if (const Step step = FeedCharacter(digit, data); step != Step::More) {
                return step;
            }
        }
    }
    return Step::More;
}

BulkPictureParser::LineKind BulkPictureParser::Classify(std::size_t& digitsStart) const {
    const std::string_view line = head_;
    if (line.size() > kLongestHead && IsHexText(line)) {
        digitsStart = 0;
        return LineKind::Picture; // bare digits, too long for a word such as "BEEF" or "ERROR"
    }
    if (!answerPrefix_.empty() && StartsWithIgnoringCase(line, answerPrefix_)) {
        std::size_t at = answerPrefix_.size();
        while (at < line.size() && line[at] == ' ') {
            ++at;
        }
        if (at == line.size()) {
            return LineKind::Undecided;
        }
        digitsStart = at;
        return IsHexDigit(line[at]) ? LineKind::Picture : LineKind::Other;
    }
    // The echo, the final result or an error: judged whole at the line end, if it is short.
    return line.size() > kLongestHead ? LineKind::Other : LineKind::Undecided;
}

BulkPictureParser::Step BulkPictureParser::StoreDigit(char c, char* data) {
    if (received_ >= capacity_) {
        return Fail(CountMismatch() + " and more");
    }
    data[received_++] = c;
    ++lineDigits_;
    if (lineDigits_ > lineLength_ && oddLine_ < 0) {
        oddLine_ = pictureLine_;
    }
    if (static_cast<int64_t>(pictureLine_) == oddLine_) {
        oddLength_ = lineDigits_;
    }
    return Step::More;
}

BulkPictureParser::Step BulkPictureParser::EndLine(char* data) {
    const std::string line(WithoutLineEnd(head_));
    head_.clear();
    if (kind_ == LineKind::Undecided && IsHexText(line)) {
        // A short line of bare digits: a picture line after all.
        kind_ = LineKind::Picture;
        for (const char digit : line) {
            if (StoreDigit(digit, data) == Step::Failed) {
                return Step::Failed;
            }
        }
    }
    const LineKind kind = kind_;
    kind_ = LineKind::Undecided;
    if (kind == LineKind::Picture) {
        if (lineDigits_ != lineLength_ && oddLine_ < 0) {
            oddLine_ = pictureLine_;
            oddLength_ = lineDigits_;
        }
        lineDigits_ = 0;
        ++pictureLine_;
        return Step::More;
    }
    if (line.empty()) {
        return Step::More;
    }
    if (StartsWithIgnoringCase(line, "AT") && !sawEcho_ && received_ == 0) {
        sawEcho_ = true;
        return EqualsIgnoringCase(line, command_)
                   ? Step::More
                   : Fail("the phone answered another command (" + Quoted(line) + ")");
    }
    if (line == "OK") {
        // The stream's own line lengths do not matter when every digit came.
        return received_ == capacity_ ? Step::Done : Fail(CountMismatch());
    }
    if (IsFinalError(line)) {
        return received_ == 0 ? Step::Refused : Fail("the phone ended the picture with " + Quoted(line));
    }
    return Fail("line " + std::to_string(pictureLine_) + " of the picture is no picture data (" +
                Quoted(line) + ")");
}

std::string BulkPictureParser::CountMismatch() const {
    const std::string expected = "the picture had " + std::to_string(lines_) + " lines of " +
                                 std::to_string(lineLength_) + " digits expected; ";
    if (oddLine_ >= 0) {
        return expected + "line " + std::to_string(oddLine_) + " had " + std::to_string(oddLength_);
    }
    return expected + std::to_string(pictureLine_) + " lines came";
}

BulkPictureParser::Step BulkPictureParser::Fail(std::string reason) {
    failure_ = std::move(reason);
    return Step::Failed;
}

} // namespace panelgrab
