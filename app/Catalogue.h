// The update catalogue: a small profile file on the update server that names the
// newest version, its news page, and per edition the package's size, address and
// digest. Everything about it is here: the editions and the sections they read,
// the section and key names, its bound, which editions fetch it with the account,
// and the one reader.
//
// A catalogue is parsed once, from its bytes held in memory: a signature is
// checked on those bytes, and every value used afterwards comes from the same
// parse, so nothing read later by a path can differ from what was checked. The
// rules are the profile calls' (platform/ProfileText.h): names ignore case and
// surrounding blanks, the first section of a name and its first entry win, a pair
// of quotes around a value is dropped; values are cut to 511 characters as
// ReadIni cuts them, and a value holding a line break (CR or LF) counts as missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/ProfileText.h"

namespace nl {

class Catalogue {
public:
    // ---- names -------------------------------------------------------------
    static constexpr const char* kInfo = "Info";
    static constexpr const char* kVersion = "VER";
    static constexpr const char* kReadme = "Readme";
    // When it was published, UTC: 2026-12-07T10:00:00Z (SignedCatalogue::IsIssuedTime).
    static constexpr const char* kIssued = "Issued";
    // Optional, the same form: after this time the catalogue is no longer taken.
    static constexpr const char* kExpires = "Expires";
    // In each edition's section.
    static constexpr const char* kSize = "SIZE";
    static constexpr const char* kDownload = "DOWNLOAD";
    static constexpr const char* kDigest = "SHA256";

    // A catalogue is a small profile file: anything longer is no catalogue (and
    // must not fill the temporary folder).
    static constexpr std::int64_t kMaxBytes = 1024 * 1024;

    // The account the paid editions send (HTTP Basic) for the catalogue and the package.
    static constexpr const char* kAccount = "velto";
    static constexpr const char* kAccountPassword = "4061729385";

    // ---- editions ----------------------------------------------------------
    struct Edition {
        const char* switchCode;  // "/D", "/S", "/P", "/E", "/T"
        const char* key;         // the catalogue section
        const char* name;        // shown to the user
        bool paid;               // fetched from the paid path, with the account
    };
    // Every edition, in the order the check tests them.
    static const std::vector<Edition>& Editions();
    // The edition a switch names; nullptr for any other switch.
    static const Edition* EditionOf(const std::string& switchCode);
    // The edition whose section is `section` (case ignored); nullptr for none.
    static const Edition* EditionNamed(const std::string& section);
    // True when the switch's edition fetches with the account: every switch but
    // the free editions' ("/E", "/T").
    static bool IsPaid(const std::string& switchCode);
    // The catalogue's address on the update server for a switch.
    static std::string UrlFor(const std::string& server, const std::string& switchCode);

    // ---- reading -----------------------------------------------------------
    Catalogue() = default;
    // Parses the bytes, once.
    explicit Catalogue(std::string bytes);

    // Reads a catalogue file through one open that follows no link: a plain file
    // of at most kMaxBytes. False with the reason when it cannot be had.
    static bool Load(const std::string& path, Catalogue& into, std::string& why);

    // The bytes it was parsed from.
    const std::string& Bytes() const { return bytes_; }
    // A value; "" when the section or key is missing or the value holds a line break.
    std::string Value(const std::string& section, const std::string& key) const;
    // The numbers (from 1) of the lines that are not plain (platform/ProfileText.h),
    // and a byte-order mark at the start counts as one on line 1.
    std::vector<std::size_t> IrregularLines() const;
    // The sections' names as written, in their order.
    std::vector<std::string> Sections() const;

    // ---- writing (the publisher) --------------------------------------------
    // Sets key=value in a section, replacing the first entry of the key or adding
    // one after the section's last entry; a missing section is added at the end.
    void Set(const std::string& section, const std::string& key, const std::string& value);
    // Replaces a section's entries (or adds the section) with key=value lines.
    void SetSection(const std::string& section, const std::vector<std::pair<std::string, std::string>>& entries);
    // The text, every line ending in CR LF.
    std::string Text() const;

private:
    std::string bytes_;
    std::vector<plat::ProfileLine> lines_;
};

}  // namespace nl
