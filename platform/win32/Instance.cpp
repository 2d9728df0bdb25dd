// The single-instance check: a named mutex that lives as long as this process.
#include "platform/Instance.h"

#include <map>
#include <mutex>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

bool ClaimSingleInstance(const std::string& name) {
    static std::mutex mu;
    static std::map<std::string, ::HANDLE> held;  // never closed: the system releases them at exit
    std::lock_guard<std::mutex> lk(mu);
    if (held.count(name)) return true;
    // A backslash in a kernel object's name separates a namespace; the name stays one name.
    std::string safe;
    for (char c : name) safe += c == '\\' ? '_' : c;
    ::HANDLE h = ::CreateMutexW(nullptr, FALSE, win32::Wide(safe).c_str());
    if (!h) return true;  // cannot tell: this instance goes on alone
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        return false;
    }
    held[name] = h;
    return true;
}

}  // namespace plat
