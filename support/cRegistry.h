// cRegistry: one registry value described by four settings (root key, key path,
// value name, value kind), read or written through Value, plus key and value
// maintenance, enumerations and file-type associations.
//
// The object keeps no key open between calls; every member opens what it needs
// and closes it again before it returns, also when it raises.
//
// Errors are raised as nl::RaisedError with the source "<exe name>.cRegistry" (their
// names are in support/SupportErrors.h):
//   26001       CreateKey could not create the key; DeleteValue could not open it;
//               a PL_REG_BINARY write of a value that is not a byte array
//   0x800469A9  a write of Value refused by the registry, or a ValueType other than 1..5
//   0x800469AA  EnumerateSections failed while listing
// CreateAdditionalEXEAssociations never raises; it leaves its failures in
// nl::LastError() (0x800469AC, 0x800469AD, or the error of a failed write).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/Variant.h"

namespace nl {

class cRegistry {
public:
    // Predefined root keys, as signed 32-bit values.
    static constexpr std::int32_t PL_HKEY_CLASSES_ROOT = static_cast<std::int32_t>(0x80000000u);
    static constexpr std::int32_t PL_HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001u);
    static constexpr std::int32_t PL_HKEY_LOCAL_MACHINE = static_cast<std::int32_t>(0x80000002u);
    static constexpr std::int32_t PL_HKEY_USERS = static_cast<std::int32_t>(0x80000003u);

    // Value kinds.
    static constexpr std::int32_t PL_REG_NONE = 0;
    static constexpr std::int32_t PL_REG_SZ = 1;
    static constexpr std::int32_t PL_REG_EXPAND_SZ = 2;
    static constexpr std::int32_t PL_REG_BINARY = 3;
    static constexpr std::int32_t PL_REG_DWORD = 4;
    static constexpr std::int32_t PL_REG_DWORD_BIG_ENDIAN = 5;
    static constexpr std::int32_t PL_REG_LINK = 6;
    static constexpr std::int32_t PL_REG_MULTI_SZ = 7;

    // True when SectionKey below ClassKey can be opened for reading. Never raises.
    bool KeyExists() const;
    // Creates SectionKey (and its missing parents) below ClassKey; true on success,
    // raises 26001 otherwise.
    bool CreateKey();
    // Deletes SectionKey, which must have no subkeys. Never raises.
    bool DeleteKey();
    // Deletes the value ValueKey; false when it is missing. Raises 26001 when the key
    // cannot be opened for writing.
    bool DeleteValue();

    // Reads the value: text for PL_REG_SZ, PL_REG_EXPAND_SZ and PL_REG_MULTI_SZ (its first
    // string), a 32-bit integer for PL_REG_DWORD and PL_REG_DWORD_BIG_ENDIAN, and a byte
    // array (lower index 0, one element more than the data, the last one 0) for every
    // other kind. Sets ValueType to the stored kind. A value that cannot be read gives
    // Default and leaves ValueType alone.
    Variant Value();
    // Writes the value by ValueType: PL_REG_SZ/PL_REG_EXPAND_SZ store the value as text
    // (PL_REG_EXPAND_SZ exactly when it holds two '%' with something between them);
    // PL_REG_BINARY stores a byte array without its last element; PL_REG_DWORD and
    // PL_REG_DWORD_BIG_ENDIAN store an integer as PL_REG_DWORD and ignore anything else.
    // A key that cannot be created makes the write do nothing.
    void SetValue(const Variant& vValue);

    // The names of the values of SectionKey in the registry's order, and their count.
    // sKeyNames is 0-based: sKeyNames[i] is the (i+1)-th name; sKeyNames.size() ==
    // iKeyCount. A missing key gives no names. Always returns true.
    bool EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) const;
    // The names of the subkeys of SectionKey, in the same form. Returns true; raises
    // 0x800469AA when the listing itself fails.
    bool EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) const;

    // Registers the file type "." + sAssociation as sClassName with its open command
    // (and optionally print, install and new verbs and a default icon), under both
    // PL_HKEY_CLASSES_ROOT and PL_HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
    void CreateEXEAssociation(std::string sExePath, const std::string& sClassName, const std::string& sClassDescription,
                              const std::string& sAssociation, std::string sOpenMenuText = "&Open",
                              bool bSupportPrint = false, std::string sPrintMenuText = "&Print",
                              bool bSupportNew = false, std::string sNewMenuText = "&New",
                              bool bSupportInstall = false, std::string sInstallMenuText = "",
                              std::int32_t lDefaultIconIndex = -1);
    // Adds verbs to a registered class: vItems holds triples (verb key, menu text,
    // command). The class is looked for under the current ClassKey. Clears
    // nl::LastError() first and records every failure there instead of raising.
    void CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<Variant>& vItems);

    std::int32_t ValueType() const { return valueType_; }
    void SetValueType(std::int32_t v) { valueType_ = v; }
    std::int32_t ClassKey() const { return classKey_; }
    void SetClassKey(std::int32_t v) { classKey_ = v; }
    const std::string& SectionKey() const { return sectionKey_; }
    void SetSectionKey(const std::string& v) { sectionKey_ = v; }
    const std::string& ValueKey() const { return valueKey_; }
    void SetValueKey(const std::string& v) { valueKey_ = v; }
    const Variant& Default() const { return default_; }
    void SetDefault(const Variant& v) { default_ = v; }

    // Reverses the four bytes of a 32-bit integer.
    static std::int32_t SwapBytes(std::int32_t v);

private:
    void SetClassesValue(const std::string& text);
    std::string Source() const;

    std::int32_t classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    std::int32_t valueType_ = 0;
    Variant default_;
};

}  // namespace nl
