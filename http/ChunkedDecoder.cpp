#include "http/ChunkedDecoder.h"

#include <algorithm>
#include <cctype>

namespace nl {

namespace {
constexpr std::size_t kMaxLine = 4096;  // a size or trailer line longer than this is refused
}

bool ChunkedDecoder::Fail(const std::string& why) {
    state_ = State::Failed;
    error_ = why;
    return false;
}

bool ChunkedDecoder::Feed(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out) {
    std::size_t i = 0;
    while (i < n) {
        switch (state_) {
            case State::Done:
                return true;
            case State::Failed:
                return false;
            case State::Data: {
                std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left_, n - i));
                out.insert(out.end(), data + i, data + i + take);
                i += take;
                left_ -= take;
                if (left_ == 0) state_ = State::DataCr;
                break;
            }
            case State::DataCr:
                if (data[i++] != '\r') return Fail("chunk data not followed by CR LF");
                state_ = State::DataLf;
                break;
            case State::DataLf:
                if (data[i++] != '\n') return Fail("chunk data not followed by CR LF");
                state_ = State::SizeLine;
                break;
            case State::SizeLine:
            case State::Trailer: {
                const char c = static_cast<char>(data[i++]);
                if (c != '\n') {
                    if (line_.size() >= kMaxLine) return Fail("chunk line too long");
                    line_ += c;
                    break;
                }
                if (!line_.empty() && line_.back() == '\r') line_.pop_back();
                if (state_ == State::Trailer) {
                    // The empty line that ends the body is no trailer.
                    if (!line_.empty()) extra_ += line_.size() + 2;
                    if (line_.empty()) state_ = State::Done;
                    line_.clear();
                    break;
                }
                // chunk-size [; extensions]
                std::uint64_t size = 0;
                std::size_t digits = 0;
                for (char h : line_) {
                    if (!std::isxdigit(static_cast<unsigned char>(h))) break;
                    if (++digits > 15) return Fail("chunk size too large");
                    size = size * 16 + static_cast<std::uint64_t>(
                                           std::isdigit(static_cast<unsigned char>(h))
                                               ? h - '0'
                                               : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
                }
                if (digits == 0) return Fail("bad chunk size line");
                const std::string rest = line_.substr(digits);
                if (!rest.empty() && rest.find_first_not_of(" \t") != std::string::npos &&
                    rest[rest.find_first_not_of(" \t")] != ';')
                    return Fail("bad chunk size line");
                extra_ += rest.size();
                line_.clear();
                if (size == 0) {
                    state_ = State::Trailer;
                } else {
                    left_ = size;
                    state_ = State::Data;
                }
                break;
            }
        }
    }
    return state_ != State::Failed;
}

}  // namespace nl
