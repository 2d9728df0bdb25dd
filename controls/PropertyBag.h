// A control's persisted designer settings: entries of key and value, written and
// read in a fixed order. Keys are matched without regard to case and kept in lower
// case. One key may hold several entries; successive reads of that key return them
// in the order they were written, then the read default.
//
// Text form, one entry a line:   key=I:123   key=B:True   key=S:"text"
// Strings use backslash escapes (\\ \" \r \n \t \xHH) so any byte survives.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/Variant.h"

namespace nl {

class PropertyBag {
public:
    // Stores an entry unless the value equals the write default (or always, with
    // StoreDefaults: a file that lists every setting).
    void WriteProperty(const std::string& key, const Variant& value, const Variant& writeDefault);
    void StoreDefaults(bool store) { storeDefaults_ = store; }
    // The next unread entry under the key, or the read default when none is left.
    Variant ReadProperty(const std::string& key, const Variant& readDefault);

    std::int32_t ReadInt32(const std::string& key, std::int32_t readDefault);
    bool ReadBool(const std::string& key, bool readDefault);
    std::string ReadString(const std::string& key, const std::string& readDefault);

    const std::vector<std::pair<std::string, Variant>>& Entries() const { return entries_; }
    // Starts reading from the first entry of every key again.
    void Rewind() { cursors_.clear(); }
    void Clear();

    std::string ToText() const;
    // Replaces the contents; false (and the bag left empty) on a malformed line,
    // with the reason in *why.
    bool FromText(const std::string& text, std::string* why = nullptr);

    // Settings may hold passwords. Saving replaces the file in one step; a new
    // file is its owner's alone (mode 0600), a replaced one keeps its
    // permissions, and a link is followed (one that names nothing is refused).
    // False, with the reason in *why, when it cannot; the old file is then left
    // as it was.
    bool SaveToFile(const std::string& path, std::string* why = nullptr) const;
    // Loading refuses at once, without waiting, a path that names no regular file
    // (a folder, a pipe, a device) and a file larger than kMaxFileBytes.
    bool LoadFromFile(const std::string& path, std::string* why = nullptr);
    static constexpr std::size_t kMaxFileBytes = 1024 * 1024;

private:
    std::vector<std::pair<std::string, Variant>> entries_;
    std::map<std::string, std::size_t> cursors_;  // per key: entries already read
    bool storeDefaults_ = false;
};

}  // namespace nl
