// Profile files through kernel32's own profile calls.
#include "platform/Profile.h"

#include "platform/win32/WinApi.h"

namespace plat {

DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key, const std::string& defaultValue,
                               char* buffer, DWORD bufferSize, const std::string& fileName) {
    return win32::Dw(::GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                                bufferSize, fileName.c_str()));
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key, const std::string& value,
                                const std::string& fileName) {
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName.c_str()) != 0;
}

}  // namespace plat
