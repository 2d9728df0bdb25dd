#include "app/MainModule.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/CheckFrm.h"
#include "platform/App.h"
#include "platform/Controls.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Window.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"
#include "support/cRegistry.h"

namespace nl {

std::string SwitchCode;
std::string TargetFile;
std::string StagedFile;
std::string LatestVersion;
std::string PackageSize;
std::string ReadmeUrl;
std::string PackageUrl;
std::string EditionName;

namespace {

constexpr const char* kProductKey = "Software\\Brightloom";

// Lists `pattern` and answers whether the first entry that carries only the
// attributes allowed by `allowed` has a name.
bool ListsAnything(const std::string& pattern, plat::DWORD allowed) {
    plat::FindData found;
    plat::HANDLE h = plat::FindFirstFileA(pattern, found);
    if (h == plat::PL_INVALID_FIND_HANDLE) return false;
    bool any = false;
    do {
        // Read-only and archive entries are listed with every attribute set.
        plat::DWORD extra = found.attributes & ~(plat::PL_FILE_ATTRIBUTE_NORMAL | plat::PL_FILE_ATTRIBUTE_READONLY |
                                                 plat::PL_FILE_ATTRIBUTE_ARCHIVE | allowed);
        if (extra == 0 && !found.name.empty()) any = true;
    } while (!any && plat::FindNextFileA(h, found));
    plat::FindClose(h);
    return any;
}

}  // namespace

// ---- helpers ----------------------------------------------------------------

bool FileExists(const std::string& path) { return ListsAnything(path, 0); }

bool FolderExists(const std::string& path) { return ListsAnything(path, plat::PL_FILE_ATTRIBUTE_DIRECTORY); }

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key) {
    char buffer[512] = {};
    plat::DWORD n = plat::GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, file);
    return std::string(buffer, n);
}

void WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
    plat::WritePrivateProfileStringA(section, key, value, file);
}

bool KillFile(const std::string& path) {
    if (plat::DeleteFileA(path)) return true;
    // A file that is not there counts as deleted; a missing folder does not.
    return plat::GetLastError() == plat::PL_ERROR_FILE_NOT_FOUND;
}

std::string GetTempDir() {
    char buffer[260] = {};
    plat::DWORD n = plat::GetTempPathA(sizeof buffer, buffer);
    if (n >= sizeof buffer) return "";
    return std::string(buffer, n);
}

void SuppressFaultDialogs() { plat::SetErrorMode(plat::PL_SEM_NOGPFAULTERRORBOX); }

void CleanFolder(const std::string& folder) {
    // Delete the plain files one by one; hidden and system entries stay, and
    // then so does the folder.
    plat::FindData found;
    plat::HANDLE h = plat::FindFirstFileA(folder + plat::PL_PATH_SEPARATOR + "*.*", found);
    if (h != plat::PL_INVALID_FIND_HANDLE) {
        do {
            constexpr plat::DWORD skip =
                plat::PL_FILE_ATTRIBUTE_DIRECTORY | plat::PL_FILE_ATTRIBUTE_HIDDEN | plat::PL_FILE_ATTRIBUTE_SYSTEM;
            if ((found.attributes & skip) == 0) KillFile(folder + plat::PL_PATH_SEPARATOR + found.name);
        } while (plat::FindNextFileA(h, found));
        plat::FindClose(h);
    }
    plat::RemoveDirectoryA(folder);
}

// ---- the staged update ------------------------------------------------------

bool ParseProcessId(const std::string& commandLine, long& processId) {
    processId = 0;
    std::string s = commandLine.size() > 2 ? commandLine.substr(2) : "";
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
    }
    if (digits == 0) return true;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
            i = j;
        }
    }
    double value = std::strtod(s.substr(start, i - start).c_str(), nullptr);
    // Halves go to the even neighbour, as the integer conversion of the host does.
    double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return false;
    processId = static_cast<long>(rounded);
    return true;
}

int StagedUpdateMode() {
    long processId = 0;
    if (!ParseProcessId(plat::CommandLine(), processId)) {
        std::fprintf(stderr, "%s: the process identifier after /U is out of range\n", kAppTitle);
        return 1;
    }

    const std::string stagingFolder = GetTempDir() + kStagingFolderName;
    StagedFile = stagingFolder + plat::PL_PATH_SEPARATOR + kStagedPackageName;

    try {
        cRegistry path;
        path.SetClassKey(cRegistry::PL_HKEY_LOCAL_MACHINE);
        path.SetSectionKey(kProductKey);
        path.SetValueKey("Path");
        path.SetValueType(cRegistry::PL_REG_SZ);
        TargetFile = path.Value().ToText();

        cRegistry update;
        update.SetClassKey(cRegistry::PL_HKEY_CURRENT_USER);
        update.SetSectionKey(kProductKey);
        update.SetValueKey("Update");
        update.SetValueType(cRegistry::PL_REG_DWORD);
        update.SetValue(Variant(std::int32_t{0}));
    } catch (const RaisedError& e) {
        // Nothing here handles a registry failure: the run ends before anything
        // has been touched.
        std::fprintf(stderr, "%s: error %d (%s): %s\n", kAppTitle, static_cast<int>(e.Number()),
                     e.Source().c_str(), e.Description().c_str());
        return 1;
    }

    if (!FolderExists(stagingFolder)) return 0;

    // Wait for the old process to end, keeping messages flowing. No handle (no
    // such process, identifier 0, no access) means there is nothing to wait for.
    plat::HANDLE process = plat::OpenProcess(plat::PL_SYNCHRONIZE, false, static_cast<plat::DWORD>(processId));
    if (process != 0) {
        // Should the loop be told to quit meanwhile, messages no longer matter,
        // but the process must still have ended before its file is replaced.
        if (plat::WaitForProcessPumping(process, plat::PL_INFINITE) == plat::PL_WAIT_TIMEOUT)
            plat::WaitForSingleObject(process, plat::PL_INFINITE);
        plat::CloseHandle(process);
    }

    // The program file must be there to be replaced; without it the run ends
    // and the package stays staged. The name is taken as it stands (it is no
    // listing pattern), and a hidden file is as good as any other.
    const plat::DWORD attributes = plat::GetFileAttributesA(TargetFile);
    if (attributes == plat::PL_INVALID_FILE_ATTRIBUTES || (attributes & plat::PL_FILE_ATTRIBUTE_DIRECTORY)) return 0;
    // The package is copied next to the program file and then renamed over it in
    // one step, so a failed copy (a full disk, a kill) leaves the old program
    // whole; one that cannot be replaced ends the run the same way.
    if (!plat::CopyFileA(StagedFile, TargetFile, false)) return 0;

    CleanFolder(stagingFolder);
    plat::StartProcess(TargetFile, "", plat::PL_SW_SHOWNORMAL);
    return 0;
}

// ---- entry ------------------------------------------------------------------

int Main() {
    if (!plat::ClaimSingleInstance(plat::ExeName())) return 0;

    SwitchCode = AsciiUpper(plat::CommandLine().substr(0, 2));
    if (SwitchCode.empty()) SwitchCode = "/A";

    if (SwitchCode == "/U") return StagedUpdateMode();

    plat::InitCommonControlsEx(8, plat::PL_ICC_USEREX_CLASSES);
    CheckFrm::Show();
    return plat::RunMessageLoop();
}

}  // namespace nl
