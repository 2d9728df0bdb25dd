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
// matches. The name "HTTP/1." (any case) asks for the three characters after the
// version in a status line longer than 13 characters.
std::string GetHeaderValue(const std::string& head, const std::string& name);

// The status code of the reply: the number that starts the three status
// characters, 0 when there is none.
std::int32_t ReplyStatusCode(const std::string& head);

// Judges the reply: "success" for 200 and 206, "No data lefts." for 416 and
// "The host responses an error,State Code:<code>" otherwise. For 200 and 206 it
// stores the announced total size in `fileSize` (Content-Length, or the total after
// "/" in Content-Range); a number that does not fit 32 bits leaves it unchanged.
std::string CheckResponseStatus(const std::string& head, std::int32_t& fileSize);

// True when the reply's body is sent in chunks ("Transfer-Encoding: chunked").
bool IsChunkedReply(const std::string& head);

// The number at the start of `text` (decimal digits), 0 when there are none.
// False when the number does not fit a 32-bit signed value.
bool LeadingNumber(const std::string& text, std::int32_t& value);

}  // namespace nl
