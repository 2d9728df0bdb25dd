#include "support/cRegistry.h"

#include <exception>

#include "platform/App.h"
#include "platform/Registry.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"
#include "support/SupportErrors.h"

namespace nl {
namespace {

// Rights for keys that are written: query, set, create subkey, enumerate, notify, link.
constexpr plat::REGSAM kWriteAccess = 0x3F;

// Closes a key on every way out of a member.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_) plat::RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    plat::HKEY* Out() { return &key_; }
    plat::HKEY Get() const { return key_; }

private:
    plat::HKEY key_ = 0;
};

// The value's data, sized by a first query (n bytes); a value that grows between the
// two queries is read again at its new size. A failed read leaves n NUL bytes.
std::string ReadData(plat::HKEY key, const std::string& name, plat::DWORD n) {
    std::string buf(n, '\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        plat::DWORD cb = static_cast<plat::DWORD>(buf.size());
        plat::LONG r = plat::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<plat::BYTE*>(buf.data()), &cb);
        if (r == plat::PL_ERROR_MORE_DATA) {
            buf.assign(cb, '\0');
            continue;
        }
        if (r == plat::PL_ERROR_SUCCESS) buf.resize(cb);
        break;
    }
    return buf;
}

// A text is stored as PL_REG_EXPAND_SZ when it holds a '%' and, two or more characters
// further on, another one (%% and a single % stay PL_REG_SZ).
bool LooksExpandable(const std::string& text) {
    auto first = text.find('%');
    return first != std::string::npos && text.find('%', first + 2) != std::string::npos;
}

}  // namespace

std::string cRegistry::Source() const { return plat::ExeName() + ".cRegistry"; }

std::int32_t cRegistry::SwapBytes(std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    u = (u >> 24) | ((u >> 8) & 0x0000FF00u) | ((u << 8) & 0x00FF0000u) | (u << 24);
    return static_cast<std::int32_t>(u);
}

bool cRegistry::KeyExists() const {
    OpenKey key;
    return plat::RegOpenKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0, plat::PL_KEY_QUERY_VALUE,
                              key.Out()) == plat::PL_ERROR_SUCCESS;
}

bool cRegistry::CreateKey() {
    OpenKey key;
    plat::SECURITY_ATTRIBUTES security{};
    plat::DWORD disposition = 0;
    if (plat::RegCreateKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0, "",
                             plat::PL_REG_OPTION_NON_VOLATILE, kWriteAccess, &security, key.Out(),
                             &disposition) != plat::PL_ERROR_SUCCESS)
        Raise(err::kRegistryKey, Source(), "Failed to create registry Key: '" + sectionKey_);
    return true;
}

bool cRegistry::DeleteKey() {
    return plat::RegDeleteKeyA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str()) == plat::PL_ERROR_SUCCESS;
}

bool cRegistry::DeleteValue() {
    OpenKey key;
    if (plat::RegOpenKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0, kWriteAccess, key.Out()) !=
        plat::PL_ERROR_SUCCESS)
        Raise(err::kRegistryKey, Source(),
              "Failed to open key '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                  "' for delete access");
    return plat::RegDeleteValueA(key.Get(), valueKey_.c_str()) == plat::PL_ERROR_SUCCESS;
}

Variant cRegistry::Value() {
    OpenKey key;
    // A key that cannot be opened is not reported: the query below fails as well.
    plat::RegOpenKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0, plat::PL_KEY_QUERY_VALUE, key.Out());
    plat::DWORD type = 0, size = 0;
    plat::LONG r = plat::RegQueryValueExA(key.Get(), valueKey_.c_str(), nullptr, &type, nullptr, &size);
    if (r != plat::PL_ERROR_SUCCESS && r != plat::PL_ERROR_MORE_DATA) return default_;

    valueType_ = static_cast<std::int32_t>(type);
    switch (type) {
        case plat::PL_REG_SZ:
        case plat::PL_REG_MULTI_SZ: {
            // The text before the first NUL: of a multi-string, its first string.
            std::string data = ReadData(key.Get(), valueKey_, size);
            return Variant(data.substr(0, data.find('\0')));
        }
        case plat::PL_REG_EXPAND_SZ: {
            // Returned unexpanded, without its terminating NUL. Data stored without a
            // terminator (as SetValue stores them) keep their last character.
            std::string data = ReadData(key.Get(), valueKey_, size);
            if (!data.empty() && data.back() == '\0') data.pop_back();
            return Variant(std::move(data));
        }
        case plat::PL_REG_DWORD:
        case plat::PL_REG_DWORD_BIG_ENDIAN: {
            plat::BYTE b[4] = {0, 0, 0, 0};
            plat::DWORD cb = 4;
            plat::RegQueryValueExA(key.Get(), valueKey_.c_str(), nullptr, nullptr, b, &cb);
            auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                               (static_cast<std::uint32_t>(b[2]) << 16) |
                                               (static_cast<std::uint32_t>(b[3]) << 24));
            return Variant(type == plat::PL_REG_DWORD ? v : SwapBytes(v));
        }
        default: {
            // Indices 0 to n: the n data bytes and one trailing 0.
            std::string data = ReadData(key.Get(), valueKey_, size);
            ByteArray bytes;
            bytes.data.assign(data.begin(), data.end());
            bytes.data.push_back(0);
            return Variant(std::move(bytes));
        }
    }
}

void cRegistry::SetValue(const Variant& vValue) {
    OpenKey key;
    plat::SECURITY_ATTRIBUTES security{};
    plat::DWORD disposition = 0;
    if (plat::RegCreateKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0, "",
                             plat::PL_REG_OPTION_NON_VOLATILE, kWriteAccess, &security, key.Out(),
                             &disposition) != plat::PL_ERROR_SUCCESS)
        return;  // a key that cannot be created is not an error here

    plat::LONG r = plat::PL_ERROR_SUCCESS;
    switch (valueType_) {
        case PL_REG_SZ:
        case PL_REG_EXPAND_SZ: {
            std::string text = vValue.ToText();
            plat::DWORD kind = LooksExpandable(text) ? plat::PL_REG_EXPAND_SZ : plat::PL_REG_SZ;
            r = plat::RegSetValueExA(key.Get(), valueKey_.c_str(), 0, kind,
                                    reinterpret_cast<const plat::BYTE*>(text.data()),
                                    static_cast<plat::DWORD>(text.size()));
            break;
        }
        case PL_REG_BINARY: {
            if (!vValue.IsBytes()) Raise(err::kRegistryKey, plat::ExeName(), "Application-defined or object-defined error");
            // The form a read produces: the data and one extra element, which is not
            // stored. Arrays with another lower index are taken the same way, from
            // their first element; an empty array stores no bytes.
            const auto& data = vValue.Bytes().data;
            plat::DWORD count = data.empty() ? 0 : static_cast<plat::DWORD>(data.size() - 1);
            r = plat::RegSetValueExA(key.Get(), valueKey_.c_str(), 0, plat::PL_REG_BINARY, data.data(), count);
            break;
        }
        case PL_REG_DWORD:
        case PL_REG_DWORD_BIG_ENDIAN: {
            if (!vValue.IsInteger()) break;  // anything else is silently not written
            auto u = static_cast<std::uint32_t>(vValue.Integer());
            plat::BYTE b[4] = {static_cast<plat::BYTE>(u), static_cast<plat::BYTE>(u >> 8),
                               static_cast<plat::BYTE>(u >> 16), static_cast<plat::BYTE>(u >> 24)};
            r = plat::RegSetValueExA(key.Get(), valueKey_.c_str(), 0, plat::PL_REG_DWORD, b, 4);
            break;
        }
        default:
            r = plat::PL_ERROR_INVALID_DATA;  // a kind that cannot be written
            break;
    }
    if (r != plat::PL_ERROR_SUCCESS)
        Raise(err::kRegistrySetValue, Source(),
              "Failed to set registry value Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                  "',Key: '" + valueKey_ + "' to value: '" + vValue.ToText() + "'");
}

bool cRegistry::EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) const {
    iKeyCount = 0;
    sKeyNames.clear();
    OpenKey key;
    if (plat::RegOpenKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0, plat::PL_KEY_QUERY_VALUE,
                           key.Out()) != plat::PL_ERROR_SUCCESS)
        return true;
    for (plat::DWORD index = 0;; ++index) {
        char name[256] = {};
        plat::DWORD cch = sizeof name;
        if (plat::RegEnumValueA(key.Get(), index, name, &cch, nullptr, nullptr, nullptr, nullptr) !=
            plat::PL_ERROR_SUCCESS)
            break;
        sKeyNames.emplace_back(name);
        ++iKeyCount;
    }
    return true;
}

bool cRegistry::EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) const {
    OpenKey key;
    try {
        iSectCount = 0;
        sSect.clear();
        if (plat::RegOpenKeyExA(plat::RootKeyFromLong(classKey_), sectionKey_.c_str(), 0,
                               plat::PL_KEY_ENUMERATE_SUB_KEYS, key.Out()) != plat::PL_ERROR_SUCCESS)
            return true;
        for (plat::DWORD index = 0;; ++index) {
            // Room for the longest key name (255 characters) and its NUL.
            char name[256] = {};
            plat::DWORD cch = sizeof name;
            if (plat::RegEnumKeyExA(key.Get(), index, name, &cch, nullptr, nullptr, nullptr, nullptr) !=
                plat::PL_ERROR_SUCCESS)
                break;
            sSect.emplace_back(name);
            ++iSectCount;
        }
    } catch (const std::exception& e) {
        Raise(err::kRegistryEnumerate, Source(), e.what());
    }
    return true;
}

void cRegistry::SetClassesValue(const std::string& text) {
    classKey_ = PL_HKEY_CLASSES_ROOT;
    SetValue(Variant(text));
    std::string remembered = sectionKey_;
    classKey_ = PL_HKEY_LOCAL_MACHINE;
    sectionKey_ = "SOFTWARE\\Classes\\" + remembered;
    SetValue(Variant(text));
    sectionKey_ = remembered;
}

void cRegistry::CreateEXEAssociation(std::string sExePath, const std::string& sClassName,
                                     const std::string& sClassDescription, const std::string& sAssociation,
                                     std::string sOpenMenuText, bool bSupportPrint, std::string sPrintMenuText,
                                     bool bSupportNew, std::string sNewMenuText, bool bSupportInstall,
                                     std::string sInstallMenuText, std::int32_t lDefaultIconIndex) {
    sExePath = TrimSpaces(sExePath);
    valueType_ = PL_REG_SZ;
    if (sOpenMenuText.empty()) sOpenMenuText = "&Open";
    if (sPrintMenuText.empty()) sPrintMenuText = "&Print";
    if (sNewMenuText.empty()) sNewMenuText = "&New";
    if (sInstallMenuText.empty()) sInstallMenuText = "&Install " + sAssociation;

    auto write = [&](const std::string& section, const std::string& text) {
        sectionKey_ = section;
        valueKey_.clear();
        SetClassesValue(text);
    };
    const std::string shell = sClassName + "\\shell\\";
    write("." + sAssociation, sClassName);
    write(sClassName, sClassDescription);
    write(shell + "open", sOpenMenuText);
    write(shell + "open\\command", sExePath + " \"%1\"");
    if (bSupportPrint) {
        write(shell + "print", sPrintMenuText);
        write(shell + "print\\command", sExePath + " /p \"%1\"");
    }
    if (bSupportInstall) {
        write(shell + "add", sInstallMenuText);
        write(shell + "add\\command", sExePath + " /a \"%1\"");
    }
    if (bSupportNew) {
        write(shell + "new", sNewMenuText);
        write(shell + "new\\command", sExePath + " /n \"%1\"");
    }
    if (lDefaultIconIndex >= 0) write(sClassName + "\\DefaultIcon", sExePath + "," + std::to_string(lDefaultIconIndex));
}

void cRegistry::CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<Variant>& vItems) {
    LastError().Clear();
    const std::size_t n = vItems.size();
    if (n % 3 != 0) {
        SetPendingError(err::kRegistryItemList, Source(),
                        "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
        return;
    }
    sectionKey_ = sClassName;
    if (!KeyExists()) {
        SetPendingError(err::kRegistryNoClass, Source(), "Error - attempt to create additional associations before class defined.");
        return;
    }
    for (std::size_t i = 0; i + 3 <= n; i += 3) {
        const std::string verb = vItems[i].ToText();
        valueType_ = PL_REG_SZ;
        sectionKey_ = sClassName + "\\shell\\" + verb;
        valueKey_.clear();
        TryStep([&] { SetClassesValue(vItems[i + 1].ToText()); });
        sectionKey_ = sClassName + "\\shell\\" + verb + "\\command";
        valueKey_.clear();
        TryStep([&] { SetClassesValue(vItems[i + 2].ToText()); });
    }
}

}  // namespace nl
