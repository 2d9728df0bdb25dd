// Decodes a chunked HTTP/1.1 body ("Transfer-Encoding: chunked") fed in pieces of
// any size: chunk-size lines (with extensions), chunk data, the CR LF after each
// chunk, the last chunk and its trailer section. Only entity bytes come out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nl {

class ChunkedDecoder {
public:
    // Decodes `n` bytes, appending entity bytes to `out`. Returns false on framing
    // that is not chunked encoding; the decoder then stays failed. Bytes after the
    // end of the body are ignored.
    bool Feed(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out);

    // The last chunk and its trailer have been seen.
    bool Done() const { return state_ == State::Done; }
    bool Failed() const { return state_ == State::Failed; }
    const std::string& Error() const { return error_; }
    // The bytes of chunk extensions and trailer lines seen so far: framing that
    // carries no entity bytes and could otherwise grow without end.
    std::uint64_t ExtraBytes() const { return extra_; }

private:
    enum class State { SizeLine, Data, DataCr, DataLf, Trailer, Done, Failed };
    bool Fail(const std::string& why);

    State state_ = State::SizeLine;
    std::string line_;          // the size line or trailer line being collected
    std::uint64_t left_ = 0;    // data bytes left in the current chunk
    std::uint64_t extra_ = 0;   // extension and trailer bytes
    std::string error_;
};

}  // namespace nl
