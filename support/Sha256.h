// SHA-256 (FIPS 180-4) of bytes fed in pieces, and of a whole file, as the
// 64 lower-case hexadecimal digits that the update catalogue and the staging
// state file carry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace nl {

class Sha256 {
public:
    Sha256() { Reset(); }

    void Reset();
    void Update(const void* data, std::size_t n);
    void Update(const std::string& bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything fed since the last Reset, as 64 lower-case hex
    // digits. The object starts over afterwards.
    std::string HexDigest();

    // The digest of a text, as 64 lower-case hex digits.
    static std::string Of(const std::string& bytes);
    // The digest of a file's contents; false when it cannot be opened or read.
    static bool OfFile(const std::string& path, std::string& hexDigest);
    // The digest of a file open for reading (plat::OpenFileForReading), from its
    // first byte; false when it cannot be read.
    static bool OfOpenFile(plat::HANDLE file, std::string& hexDigest);
    // True when `a` and `b` are the same digest: 64 hex digits each, case ignored.
    static bool SameDigest(const std::string& a, const std::string& b);

private:
    void Block(const unsigned char* p);

    std::uint32_t state_[8];
    unsigned char buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;  // bytes fed
};

}  // namespace nl
