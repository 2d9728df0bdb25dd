#include "tests/platform/posix/common/VersionProbe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/VersionInfo.h"
#include "platform/posix/MemorySource.h"
#include "platform/posix/VersionResource.h"

namespace testutil {
namespace {

// Touches every byte of a value, so that a bad pointer or length shows at once
// under the address sanitizer.
unsigned Touch(const void* p, std::size_t n) {
    unsigned sum = 0;
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) sum += b[i];
    return sum;
}

unsigned Query(const std::vector<unsigned char>& buf, const std::string& path, bool text) {
    void* p = nullptr;
    plat::UINT len = 0;
    if (!plat::VerQueryValueA(buf.data(), path.c_str(), &p, &len)) return 0;
    if (!p) std::abort();
    const auto* c = static_cast<const unsigned char*>(p);
    if (c < buf.data() || c >= buf.data() + buf.size()) std::abort();  // must point into the buffer
    std::size_t length = buf[0] | (buf[1] << 8);
    bool converted = c >= buf.data() + ((length + 3) & ~std::size_t{3}) + 4;
    if (text && converted) {
        // A converted text value is NUL-terminated, and its length counts the NUL.
        std::size_t n = std::strlen(static_cast<const char*>(p));
        if (n + 1 != len) std::abort();
    }
    return Touch(p, len);
}

}  // namespace

bool ProbeVersionData(const std::uint8_t* data, std::size_t size) {
    plat::posix::MemorySource src(data, size);
    std::vector<std::uint8_t> block;
    if (!plat::posix::VersionResource::Extract(src, block)) return false;

    plat::DWORD full = plat::posix::VersionResource::BufferSize(block.size());
    for (plat::DWORD len : {full, full / 2, full / 3 + 1, plat::DWORD{20}, plat::DWORD{3}}) {
        // Exactly len bytes, so that the sanitizer sees any step outside them.
        std::vector<unsigned char> buf(len, 0xCC);
        if (!plat::posix::VersionResource::Fill(block, len, buf.data())) {
            void* p = nullptr;
            plat::UINT n = 0;
            if (len >= 2 && plat::VerQueryValueA(buf.data(), "\\", &p, &n)) std::abort();
            continue;
        }
        Query(buf, "\\", false);
        Query(buf, "", false);
        Query(buf, "\\\\StringFileInfo\\\\", false);
        Query(buf, "\\VarFileInfo", false);
        void* p = nullptr;
        plat::UINT n = 0;
        std::vector<std::string> tables;
        if (plat::VerQueryValueA(buf.data(), "\\VarFileInfo\\Translation", &p, &n) && n >= 4) {
            Touch(p, n);
            for (plat::UINT i = 0; i + 4 <= n && i < 64; i += 4) {
                const auto* t = static_cast<const unsigned char*>(p) + i;
                char key[9];
                std::snprintf(key, sizeof key, "%02X%02X%02X%02X", t[1], t[0], t[3], t[2]);
                tables.push_back(key);
            }
        }
        tables.push_back("040904B0");
        for (const auto& t : tables) {
            for (const char* k : {"CompanyName", "FileDescription", "FileVersion", "ProductVersion", "Comments",
                                  "LegalTrademarks2"}) {
                std::string path = "\\StringFileInfo\\" + t + "\\" + k;
                Query(buf, path, true);
                Query(buf, path, true);  // a second query of the same value
            }
        }
    }
    return true;
}

}  // namespace testutil
