#include "tests/platform/posix/common/StoreProbe.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/posix/RegistryHive.h"

namespace testutil {
namespace {

using plat::posix::RegistryHive;

constexpr std::string_view kMagic = "NOVALINK REGISTRY 1 ";

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

// The text with its last line replaced by a check line that matches the rest.
std::string Resign(const std::string& text) {
    std::string body = text;
    if (!body.empty() && body.back() == '\n') body.pop_back();
    const std::size_t last = body.rfind('\n');
    body.resize(last == std::string::npos ? 0 : last + 1);
    char line[32];
    std::snprintf(line, sizeof line, "end %08x\n", static_cast<unsigned>(Crc32(body)));
    return body + line;
}

// Every key is found again by the path of names that leads to it.
bool EveryKeyFound(const RegistryHive& hive) {
    struct Item {
        const RegistryHive::Key* key;
        std::vector<std::string> path;
    };
    std::vector<Item> pending{{&hive.Root(), {}}};
    while (!pending.empty()) {
        Item item = std::move(pending.back());
        pending.pop_back();
        if (hive.Find(item.path) != item.key) return false;
        for (const auto& sub : item.key->subkeys) {
            std::vector<std::string> path = item.path;
            path.push_back(sub->name);
            pending.push_back({sub.get(), std::move(path)});
        }
    }
    return true;
}

// Parses the text; when it parses, checks the round trip. Returns whether it parsed.
bool ParseAndRoundTrip(const std::string& text, const std::string& rootName, std::string* fault) {
    RegistryHive hive;
    std::string reason;
    if (!hive.Parse(text, rootName, &reason)) {
        if (reason.empty()) *fault = "a refused store gave no reason";
        return false;
    }
    if (!EveryKeyFound(hive)) *fault = "a parsed key is not found by its path";
    const std::string first = hive.Serialize(rootName);
    RegistryHive again;
    if (!again.Parse(first, rootName, &reason)) {
        *fault = "the written store does not parse: " + reason;
        return true;
    }
    if (again.Serialize(rootName) != first) *fault = "the written store reads back differently";
    return true;
}

}  // namespace

bool ProbeStore(const std::uint8_t* data, std::size_t size, std::string* fault) {
    fault->clear();
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The root the file claims to hold, so that altered names still reach the parser.
    std::string rootName = "HKEY_CURRENT_USER";
    if (text.compare(0, kMagic.size(), kMagic) == 0) {
        const std::size_t nl = text.find('\n');
        rootName = text.substr(kMagic.size(), nl == std::string::npos ? std::string::npos : nl - kMagic.size());
    }
    const bool parsed = ParseAndRoundTrip(text, rootName, fault);
    if (fault->empty()) ParseAndRoundTrip(Resign(text), rootName, fault);
    return parsed;
}

}  // namespace testutil
