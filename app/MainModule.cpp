#include "app/MainModule.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/CheckFrm.h"
#include "app/HandOver.h"
#include "app/ProductKey.h"
#include "app/StagedPackage.h"
#include "app/UpdateTrust.h"
#include "http/DownloadFile.h"
#include "http/HttpErrors.h"
#include "http/HttpHeader.h"
#include "net/NetErrors.h"
#include "net/SocketErrorText.h"
#include "platform/App.h"
#include "platform/Console.h"
#include "platform/Controls.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Forms.h"
#include "platform/Instance.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/VisibleText.h"
#include "platform/Window.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"

namespace nl {

std::string SwitchCode;
std::string TargetFile;
std::string StagedFile;
std::string LatestVersion;
std::string PackageSize;
std::string ReadmeUrl;
std::string PackageUrl;
std::string EditionName;
std::string PackageDigest;
int RunExitCode = kRunDone;
std::string RunOutcome;

namespace {

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
    // then so does the folder. Never a folder relative to wherever we run.
    const std::string pattern = JoinPath(folder, "*.*");
    if (pattern.empty() || !plat::IsPrivateFolder(folder)) return;
    plat::FindData found;
    plat::HANDLE h = plat::FindFirstFileA(pattern, found);
    if (h != plat::PL_INVALID_FIND_HANDLE) {
        do {
            constexpr plat::DWORD skip =
                plat::PL_FILE_ATTRIBUTE_DIRECTORY | plat::PL_FILE_ATTRIBUTE_HIDDEN | plat::PL_FILE_ATTRIBUTE_SYSTEM;
            if ((found.attributes & skip) == 0) KillFile(JoinPath(folder, found.name));
        } while (plat::FindNextFileA(h, found));
        plat::FindClose(h);
    }
    plat::RemoveDirectoryA(folder);
}

// ---- paths ------------------------------------------------------------------

std::string TempFolderPath(const std::string& name) {
    const std::string temp = GetTempDir();
    if (temp.empty() || plat::PathIsRelativeA(temp)) return "";
    return temp + name;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || plat::PathIsRelativeA(folder)) return "";
    return folder + plat::PL_PATH_SEPARATOR + name;
}

bool ReadCompletionRecord(const std::string& stateFile, std::int64_t& length, std::string& digest, std::string& why) {
    const std::string complete = ReadIni(stateFile, kStateSection, kCompleteKey);
    if (complete.empty()) {
        why = "no completion record in " + stateFile;
        return false;
    }
    if (complete.size() > 18 || complete.find_first_not_of("0123456789") != std::string::npos) {
        why = "unreadable completion record \"" + complete + "\" in " + stateFile;
        return false;
    }
    length = std::stoll(complete);
    digest = ReadIni(stateFile, kStateSection, kDigestKey);
    return true;
}

// ---- configuration ----------------------------------------------------------

std::string UpdateServer() {
    std::string address;
    try {
        address = TrimSpaces(ProductKey::UpdateServer().Value().ToText());
    } catch (const RaisedError&) {
        address.clear();  // an unreadable store counts as no setting
    }
    if (address.empty() || address.find_first_of("\r\n") != std::string::npos) address = kDefaultUpdateServer;
    while (!address.empty() && address.back() == '/') address.pop_back();
    return address;
}

bool VersionTextGreater(const std::string& a, const std::string& b) {
    // Code unit by code unit, as unsigned bytes; the shorter is smaller when it
    // is a prefix of the longer.
    return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

void ShowConnectionError(plat::HWND owner) {
    plat::MessageBoxA(owner,
                      "Sorry , you connot connect at this time.\r\rPlease confirm that your Internet connection is "
                      "working. If you are able to connect to the Internet through your web browser,our service may "
                      "be temporarily unavailable.\r\rPlease try again later.",
                      "Connection Error", plat::PL_MB_OK | plat::PL_MB_ICONHAND);
}

void ShowRefusal(plat::HWND owner, const std::string& sentence) {
    plat::MessageBoxA(owner, plat::VisibleText(sentence), kAppTitle, plat::PL_MB_OK | plat::PL_MB_ICONHAND);
}

std::int32_t UpdateFlagValue() {
    cRegistry flag = ProductKey::UpdateFlag();
    flag.SetDefault(Variant(std::int32_t{-1}));
    const Variant v = flag.Value();
    return v.IsInteger() ? v.Integer() : -1;
}

std::string WriteUpdateFlag(std::int32_t value) {
    try {
        ProductKey::UpdateFlag().SetValue(Variant(value));
    } catch (const RaisedError& e) {
        return "error " + std::to_string(e.Number()) + " (" + e.Source() + "): " + e.Description();
    }
    // A key that cannot be made leaves the value as it was, without a word.
    if (UpdateFlagValue() != value)
        return "HKEY_CURRENT_USER\\" + std::string(ProductKey::kSection) + " cannot be written";
    return "";
}

std::string TransferFailureReason(const DownloadFile& box, std::int32_t number, const std::string& description) {
    switch (box.LastFailure()) {
        case DownloadFailure::HttpStatus: {
            // "HTTP/1.1 404 Not Found" -> "HTTP 404 Not Found"
            const std::string& head = box.ReceiveHead();
            const std::string line = head.substr(0, head.find("\r\n"));
            const auto space = line.find(' ');
            return "HTTP " + (space == std::string::npos ? std::to_string(ReplyStatusCode(head)) : line.substr(space + 1));
        }
        case DownloadFailure::NoHost: return "no host in the address";
        case DownloadFailure::Resolve: return "the host name does not resolve";
        case DownloadFailure::Connection: {
            if (number == err::kSocketSecureRefused || number == err::kDownloadProxyRefused) return description;
            const std::string plain = SocketErrorText(number);
            return plain.empty() ? "connection error " + std::to_string(number) : plain;
        }
        case DownloadFailure::TimedOut:
            // The control gives up once the idle seconds exceed its time-out.
            return "no answer for " + std::to_string(box.TimeOut() + 1) + " s";
        case DownloadFailure::Truncated:
            return "the connection closed after " + std::to_string(box.DownloadedBytes()) + " of " +
                   std::to_string(box.AnnouncedBytes()) + " bytes";
        case DownloadFailure::TooLarge:
            return "longer than the " + std::to_string(box.MaxBytes()) + " bytes allowed";
        case DownloadFailure::Overdue:
            return "not done within " + std::to_string(box.Deadline() / 1000) + " s";
        case DownloadFailure::TooSlow:
            return "fewer than " + std::to_string(box.MinRateBytes()) + " bytes in " +
                   std::to_string(box.MinRateWindow() / 1000) + " s";
        case DownloadFailure::NothingLeft: return "nothing left to fetch after the part held";
        case DownloadFailure::BadReply: return "an unusable reply";
        case DownloadFailure::FileExists: return "the local file exists";
        case DownloadFailure::LocalFile: return "the local file cannot be written: " + box.LocalFileProblem();
        case DownloadFailure::Cancelled: return "cancelled";
        case DownloadFailure::None: break;
    }
    return "";
}

void ReportFailure(const std::string& what, const std::string& address, const std::string& reason) {
    std::fprintf(stderr, "%s: %s %s: %s\n", kAppTitle, what.c_str(), plat::VisibleText(address).c_str(),
                 plat::VisibleText(reason).c_str());
}

// ---- the staged update ------------------------------------------------------

bool NamesProcessId(const std::string& commandLine) {
    const std::string s = commandLine.size() > 2 ? commandLine.substr(2) : "";
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const std::size_t end = s.find_first_not_of("0123456789", first);
    return end != first && (end == std::string::npos || s.find_first_not_of(" \t", end) == std::string::npos);
}

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

namespace {

// The one line on stderr that says why "/U" ended without applying the package.
int EndStaged(StagedUpdateExit code, const std::string& reason) {
    // Paths and the registry's texts are anyone's: nothing in them drives the terminal.
    std::fprintf(stderr, "%s: %s\n", kAppTitle, plat::VisibleText(reason).c_str());
    return code;
}

// The package stays staged and the flag was to be raised again, so that the
// product asks again. A registry failure here is only reported; the run ends anyway.
void SayFlagStaysDown(const std::string& why) {
    if (!why.empty())
        std::fprintf(stderr, "%s: the flag Update stays 0: %s\n", kAppTitle, plat::VisibleText(why).c_str());
}

}  // namespace

int StagedUpdateMode() {
    // Without the product's process there is nothing to wait for, and a package
    // put in place at once would replace a program still running.
    if (!NamesProcessId(plat::CommandLine()))
        return EndStaged(kStagedBadStart, "usage: novalink /U PID, the decimal process identifier of the product "
                                          "to wait for; nothing was changed");
    long processId = 0;
    if (!ParseProcessId(plat::CommandLine(), processId))
        return EndStaged(kStagedBadStart, "the process identifier after /U is out of range");

    // Without a temporary folder there is no staging folder: the run ends before
    // anything is touched, rather than take one relative to the current folder.
    const std::string stagingFolder = TempFolderPath(kStagingFolderName);
    if (stagingFolder.empty())
        return EndStaged(kStagedNoTempFolder,
                         "no temporary folder (too long a name, or not a full path); nothing was changed");
    StagedFile = JoinPath(stagingFolder, kStagedPackageName);
    const std::string stateFile = JoinPath(stagingFolder, kStagingStateName);

    try {
        TargetFile = ProductKey::ProgramPath().Value().ToText();
        ProductKey::UpdateFlag().SetValue(Variant(std::int32_t{0}));
    } catch (const RaisedError& e) {
        // Nothing here handles a registry failure: the run ends before anything
        // has been touched.
        return EndStaged(kStagedBadStart, "error " + std::to_string(e.Number()) + " (" + e.Source() +
                                              "): " + e.Description());
    }

    // "Path" is the full path of the program file; anything else names none.
    const bool fullPath = !plat::PathIsRelativeA(TargetFile);
    // What an earlier run left when it was killed during its copy.
    if (fullPath) plat::RemoveStaleCopies(TargetFile);

    if (!FolderExists(stagingFolder)) return kStagedApplied;
    // Only a folder that this user's own run made is ever applied.
    if (!plat::IsPrivateFolder(stagingFolder)) {
        SayFlagStaysDown(HandOver::FlagStaged());
        return EndStaged(kStagedNoTempFolder, "the staging folder " + stagingFolder +
                                                  " is a link, not a folder, or not this user's alone; nothing was "
                                                  "applied");
    }

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
    // listing pattern), and a hidden file is as good as any other; a link counts
    // by the file it leads to, so one that leads nowhere names no program file.
    const plat::DWORD attributes = fullPath ? plat::GetFileAttributesA(TargetFile) : plat::PL_INVALID_FILE_ATTRIBUTES;
    if (attributes == plat::PL_INVALID_FILE_ATTRIBUTES ||
        (attributes & (plat::PL_FILE_ATTRIBUTE_DIRECTORY | plat::PL_FILE_ATTRIBUTE_SYSTEM)))
        return EndStaged(kStagedNoProgramFile, "no program file \"" + TargetFile + "\"; the package stays staged");

    // Only a package that finished downloading whole is applied; a part left for
    // a resume, or one that does not match its digest, stays staged. With an
    // update key, only with the catalogue it was verified by, verified again:
    // nothing planted in the staging folder is ever put in place.
    StagedPackage package(StagedFile);
    HandOver::Expected expected;
    std::string why;
    if (!ReadCompletionRecord(stateFile, expected.length, expected.digest, why)) {
        SayFlagStaysDown(HandOver::FlagStaged());
        return EndStaged(kStagedIncomplete, "package incomplete: " + why + "; it stays staged");
    }
    const std::string key = UpdateTrust::KeyText();
    if (!key.empty())
        expected.verdict = [&](StagedPackage& p) { return UpdateTrust::CheckStaged(key, stagingFolder, stateFile, p); };
    plat::DWORD error = 0;
    switch (HandOver::Run(package, expected, TargetFile, stagingFolder, why, error)) {
        case HandOver::Outcome::BadLength:
        case HandOver::Outcome::BadDigest:
            SayFlagStaysDown(HandOver::FlagStaged());
            return EndStaged(kStagedIncomplete, "package incomplete: " + why + "; it stays staged");
        case HandOver::Outcome::Untrusted:
            return EndStaged(kStagedUntrusted, "not applied: " + why);
        case HandOver::Outcome::Staged:
            SayFlagStaysDown(why);
            // A failed copy (a full disk, a kill) leaves the old program whole.
            if (error == static_cast<plat::DWORD>(plat::PL_ERROR_ACCESS_DENIED) ||
                error == static_cast<plat::DWORD>(plat::PL_ERROR_SHARING_VIOLATION))
                return EndStaged(kStagedFileLocked, "the program file \"" + TargetFile +
                                                        "\" is in use or read-only; the package stays staged");
            return EndStaged(kStagedCopyFailed, "copying the package onto \"" + TargetFile + "\" failed (error " +
                                                    std::to_string(error) + "); the package stays staged");
        case HandOver::Outcome::Copied:
            break;
    }
    HandOver::Start(TargetFile);
    return kStagedApplied;
}

// ---- entry ------------------------------------------------------------------

int Main() {
    const bool staged = AsciiUpper(plat::CommandLine().substr(0, 2)) == "/U";
    // "/U" runs without a window: its reasons go to its starter's console.
    if (staged) plat::UseStartersConsole();
    // Every file of the run lives in the temporary folder, the instance lock
    // too: one that another user could write to or link decides nothing here.
    const std::string refusal = plat::TempFolderRefusal();
    if (!refusal.empty()) {
        std::fprintf(stderr, "%s: no temporary folder: %s; nothing was changed\n", kAppTitle, refusal.c_str());
        if (!staged) ShowRefusal(0, "The update is refused because the temporary folder is not safe: " + refusal + ".");
        return staged ? int{kStagedNoTempFolder} : int{kRunNoStagingFolder};
    }
    if (!plat::ClaimSingleInstance(plat::ExeName())) {
        // The other run goes on; a package staged for "/U" stays staged, with
        // its flag as it was, for the product to ask again.
        std::fprintf(stderr, "%s: another run of the updater is under way%s\n", kAppTitle,
                     staged ? "; the staged package was not applied and stays staged" : "");
        return staged ? int{kStagedOtherRun} : int{kRunOtherRun};
    }

    // A registry that cannot be read is not an empty one: read as empty, it
    // would turn a configured update key or server into none.
    for (const plat::HKEY root : {plat::PL_HKEY_LOCAL_MACHINE, plat::PL_HKEY_CURRENT_USER}) {
        const std::string problem = plat::RegistryStoreProblem(root, ProductKey::kSection);
        if (problem.empty()) continue;
        std::fprintf(stderr, "%s: the registry cannot be read: %s; nothing was done\n", kAppTitle,
                     plat::VisibleText(problem).c_str());
        if (!staged) ShowRefusal(0, "The update is refused because the registry cannot be read: " + problem + ".");
        return staged ? int{kStagedBadRegistry} : int{kRunBadRegistry};
    }

    SwitchCode = AsciiUpper(plat::CommandLine().substr(0, 2));
    if (SwitchCode.empty()) SwitchCode = "/A";

    if (SwitchCode == "/U") return StagedUpdateMode();

    plat::StartFrontEnd();
    plat::InitCommonControlsEx(8, plat::PL_ICC_USEREX_CLASSES);
    CheckFrm::Instance().Show();
    const int loop = plat::RunMessageLoop();
    const int code = loop != 0 ? loop : RunExitCode;
    if (code == kRunCancelled) std::fprintf(stderr, "%s: the update was cancelled\n", kAppTitle);
    // On a terminal the last line says what the run did, for whoever runs it from a script.
    if (code == kRunDone && !RunOutcome.empty() && plat::CurrentFrontEnd() == plat::FrontEndKind::Terminal) {
        std::printf("Outcome: %s\n", plat::VisibleText(RunOutcome).c_str());
        std::fflush(stdout);
    }
    return code;
}

}  // namespace nl
