// A registry value as it was, put back (or deleted again) when the object goes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <optional>
#include <string>

namespace testutil {

class SavedValue {
public:
    SavedValue(HKEY root, const std::string& key, const std::string& name);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY root_;
    std::string key_, name_;
    DWORD type_ = 0;
    std::optional<std::string> data_;
};

}  // namespace testutil
