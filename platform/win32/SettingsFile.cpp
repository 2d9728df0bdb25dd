#include "platform/SettingsFile.h"

#include <random>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

namespace {

bool Fail(std::string& why, const std::string& reason) {
    why = reason;
    return false;
}

std::string SystemText(::DWORD error) {
    wchar_t buf[512] = {};
    const ::DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                       buf, 512, nullptr);
    std::string text = win32::Utf8(buf, n);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "error " + std::to_string(win32::Dw(error)) : text;
}

bool FailLast(std::string& why, const std::string& what) { return Fail(why, what + ": " + SystemText(::GetLastError())); }

}  // namespace

bool ReadSettingsFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& why) {
    text.clear();
    const ::DWORD attrs = ::GetFileAttributesW(win32::Wide(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return FailLast(why, "cannot open " + path);
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return Fail(why, path + " is a folder, not a settings file");
    ::HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == win32::InvalidHandle()) return FailLast(why, "cannot open " + path);
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return Fail(why, path + " is not a regular file, not a settings file");
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ::DWORD n = 0;
        if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
            ok = false;
            break;
        }
        if (n == 0) break;
        text.append(buf, n);
        if (text.size() > maxBytes) {
            ::CloseHandle(h);
            text.clear();
            return Fail(why, path + " is larger than " + std::to_string(maxBytes) + " bytes, too large for a settings file");
        }
    }
    const ::DWORD error = ::GetLastError();
    ::CloseHandle(h);
    if (!ok) {
        text.clear();
        ::SetLastError(error);
        return FailLast(why, "cannot read " + path);
    }
    return true;
}

bool WriteSettingsFile(const std::string& path, const std::string& text, std::string& why) {
    const ::DWORD attrs = ::GetFileAttributesW(win32::Wide(path).c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(why, path + " is a folder, not a settings file");
    const std::size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // %TEMP% and the user's folders are the user's own: a new file there takes
    // the folder's access rules, as every file the user makes does.
    std::random_device random;
    std::string temp;
    ::HANDLE h = win32::InvalidHandle();
    for (int attempt = 0; attempt < 16 && h == win32::InvalidHandle(); ++attempt) {
        temp = folder + "." + name + ".saving-" + std::to_string(random() % 100000000u);
        h = ::CreateFileW(win32::Wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == win32::InvalidHandle() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == win32::InvalidHandle()) return FailLast(why, "cannot create a temporary file next to " + path);
    ::DWORD written = 0;
    bool ok = text.empty() || (::WriteFile(h, text.data(), static_cast<::DWORD>(text.size()), &written, nullptr) &&
                               written == text.size());
    ok = ::FlushFileBuffers(h) && ok;
    ::CloseHandle(h);
    ok = ok && ::MoveFileExW(win32::Wide(temp).c_str(), win32::Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        const ::DWORD error = ::GetLastError();
        ::DeleteFileW(win32::Wide(temp).c_str());
        ::SetLastError(error);
        return FailLast(why, "cannot replace " + path);
    }
    return true;
}

}  // namespace plat
