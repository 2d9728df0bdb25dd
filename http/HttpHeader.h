// Reading an HTTP reply header held as text (status line through the blank line,
// lines ended by CR LF): single header values, the status code and the verdict on
// the reply with the size it announces.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

// Largest reply header the control accepts, through its blank line.
constexpr std::size_t kMaxReplyHeader = 64 * 1024;

// The value of the first line whose name (the text before its first ":") equals
// `name` without regard to case, with spaces around it removed; "" when no line
// matches. The name "HTTP/1." (any case) asks for the three status characters of
// a status line "HTTP/1.x NNN", with or without a reason phrase after them; a
// first line that does not start that way gives "".
std::string GetHeaderValue(const std::string& head, const std::string& name);

// The status code of the reply: the three status digits, 0 when the status line
// has none or is no HTTP/1.x status line at all.
std::int32_t ReplyStatusCode(const std::string& head);

// A Content-Range value, "bytes FIRST-LAST/TOTAL" (the unit may be left out).
// False when it has another form: no range, "*" or nothing as the total, a number
// of more than 18 digits. The numbers may exceed 32 bits.
bool ParseContentRange(const std::string& value, std::int64_t& first, std::int64_t& last, std::int64_t& total);

// Judges the reply: "success" for 200 and 206, "No data lefts." for 416 and
// "The host responses an error,State Code:<code>" otherwise; a 206 whose
// Content-Range gives no range and total, and a 200 whose Content-Length is no
// number or a number of more than 18 digits, are refused with a text that quotes
// it. For an accepted reply it stores the announced total size in `fileSize`
// (Content-Length, 0 when there is none, or the total in Content-Range).
std::string CheckResponseStatus(const std::string& head, std::int64_t& fileSize);

// The decimal number at the start of `text`; false when there is none or it has
// more digits than a byte count holds (18).
bool LeadingCount(const std::string& text, std::int64_t& value);

// What a 200 or 206 reply announces as the file's total size: the leading number
// of Content-Length (200) or the total of Content-Range (206).
enum class AnnouncedLength {
    Known,     // a number of at most 18 digits, in `length`
    Missing,   // no Content-Length (200) or no Content-Range (206)
    Unusable,  // a header without a number (or a malformed Content-Range)
    TooLarge,  // a Content-Length of more than 18 digits, more than any count holds
};
AnnouncedLength ReplyLength(const std::string& head, std::int64_t& length);

// True when the reply's body is sent in chunks ("Transfer-Encoding: chunked").
bool IsChunkedReply(const std::string& head);

// The number at the start of `text` (decimal digits), 0 when there are none.
// False when the number does not fit a 32-bit signed value.
bool LeadingNumber(const std::string& text, std::int32_t& value);

}  // namespace nl
