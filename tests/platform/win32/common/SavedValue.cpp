#include "tests/platform/win32/common/SavedValue.h"

namespace testutil {

SavedValue::SavedValue(HKEY root, const std::string& key, const std::string& name)
    : root_(root), key_(key), name_(name) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (RegQueryValueExA(k, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(k, name_.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS)
            data_ = data.substr(0, size);
    }
    RegCloseKey(k);
}

SavedValue::~SavedValue() {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return;
    if (data_)
        RegSetValueExA(k, name_.c_str(), 0, type_, reinterpret_cast<const BYTE*>(data_->data()),
                       static_cast<DWORD>(data_->size()));
    else
        RegDeleteValueA(k, name_.c_str());
    RegCloseKey(k);
}

}  // namespace testutil
