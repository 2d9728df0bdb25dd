// Reading reply headers and decoding chunked bodies, without a connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/ChunkedDecoder.h"
#include "http/HttpHeader.h"

using namespace nl;

TEST(ReplyHeader, ValuesStatusAndSizes) {
    const std::string h =
        "HTTP/1.1 206 Partial Content\r\ncontent-length: 99\r\nContent-Range: bytes 500-999/1000\r\n"
        "X-Odd :  v \r\nEmpty:\r\n\r\n";
    EXPECT_EQ(GetHeaderValue(h, "Content-Length"), "99");  // name compared without case
    EXPECT_EQ(GetHeaderValue(h, "X-Odd"), "");             // the name part is not trimmed
    EXPECT_EQ(GetHeaderValue(h, "X-Odd "), "v");
    EXPECT_EQ(GetHeaderValue(h, "Missing"), "");
    EXPECT_EQ(GetHeaderValue(h, "http/1."), "206");
    std::int64_t size = -1;
    EXPECT_EQ(CheckResponseStatus(h, size), "success");
    EXPECT_EQ(size, 1000);

    size = -1;
    EXPECT_EQ(CheckResponseStatus("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n", size), "success");
    EXPECT_EQ(size, 10);
    EXPECT_EQ(CheckResponseStatus("HTTP/1.0 200 OK\r\n\r\n", size), "success");
    EXPECT_EQ(size, 0);
    // Beyond 32 bits the size is held; beyond what a count holds the reply is
    // refused and the size stays as it was.
    EXPECT_EQ(CheckResponseStatus("HTTP/1.0 200 OK\r\nContent-Length: 4294967296\r\n\r\n", size), "success");
    EXPECT_EQ(size, 4294967296);
    size = 7;
    EXPECT_EQ(CheckResponseStatus("HTTP/1.0 200 OK\r\nContent-Length: 1234567890123456789\r\n\r\n", size),
              "The host announced a length that cannot be used (Content-Length: 1234567890123456789)");
    EXPECT_EQ(size, 7);
    // A partial reply without a total is refused; the size stays as it was.
    EXPECT_EQ(CheckResponseStatus("HTTP/1.1 206 P\r\nContent-Range: bytes 0-1/*\r\n\r\n", size),
              "The host sent a partial reply without a usable range and total size (Content-Range: bytes 0-1/*)");
    EXPECT_EQ(size, 7);
}

TEST(ReplyHeader, Refusals) {
    std::int64_t size = 5;
    EXPECT_EQ(CheckResponseStatus("HTTP/1.1 416 Range Not Satisfiable\r\n\r\n", size), "No data lefts.");
    EXPECT_EQ(CheckResponseStatus("HTTP/1.1 404 Not Found\r\n\r\n", size),
              "The host responses an error,State Code:404");
    // Status lines without the protocol name or without a number give code 0.
    EXPECT_EQ(CheckResponseStatus("XXXXXXXXX200 x\r\n\r\n", size), "The host responses an error,State Code:0");
    EXPECT_EQ(CheckResponseStatus("HTTP/1.1 abc Nope\r\n\r\n", size), "The host responses an error,State Code:0");
    EXPECT_EQ(CheckResponseStatus("garbage\r\n\r\n", size), "The host responses an error,State Code:0");
    EXPECT_EQ(size, 5);
}

TEST(ReplyHeader, ChunkedDetection) {
    EXPECT_TRUE(IsChunkedReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"));
    EXPECT_TRUE(IsChunkedReply("HTTP/1.1 200 OK\r\ntransfer-encoding: gzip, Chunked\r\n\r\n"));
    EXPECT_FALSE(IsChunkedReply("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n"));
}

namespace {
std::string Decode(const std::string& wire, std::size_t piece, bool* ok = nullptr, bool* done = nullptr) {
    ChunkedDecoder d;
    std::vector<std::uint8_t> out;
    bool good = true;
    for (std::size_t i = 0; i < wire.size(); i += piece)
        good = d.Feed(reinterpret_cast<const std::uint8_t*>(wire.data()) + i, std::min(piece, wire.size() - i),
                      out) && good;
    if (ok) *ok = good;
    if (done) *done = d.Done();
    return std::string(out.begin(), out.end());
}
}  // namespace

TEST(ChunkedDecoder, AnySplitGivesTheEntityBody) {
    const std::string wire = "5;ext=1\r\nhello\r\n1A\r\n" + std::string(26, 'z') +
                             "\r\n0\r\nTrailer: x\r\n\r\nJUNK AFTER THE END";
    for (std::size_t piece : {1u, 2u, 3u, 7u, 1000u}) {
        bool ok = false, done = false;
        EXPECT_EQ(Decode(wire, piece, &ok, &done), "hello" + std::string(26, 'z')) << piece;
        EXPECT_TRUE(ok);
        EXPECT_TRUE(done);
    }
}

TEST(ChunkedDecoder, IncompleteAndMalformed) {
    bool ok = false, done = true;
    EXPECT_EQ(Decode("5\r\nhel", 100, &ok, &done), "hel");
    EXPECT_TRUE(ok);
    EXPECT_FALSE(done);
    Decode("zz\r\nabc", 100, &ok, &done);
    EXPECT_FALSE(ok);
    Decode("3\r\nabcXY", 100, &ok, &done);  // no CR LF after the data
    EXPECT_FALSE(ok);
    Decode("FFFFFFFFFFFFFFFFFF\r\n", 100, &ok, &done);
    EXPECT_FALSE(ok);
    Decode(std::string(10000, '1'), 100, &ok, &done);  // endless size line
    EXPECT_FALSE(ok);
}
