// The updater's entry, the update state the windows share, and the small file,
// profile-file and folder helpers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace nl {

class DownloadFile;
class StagedPackage;

// ---- the update state (one copy for the whole program, initially empty) ----

extern std::string SwitchCode;     // "/A", "/D", "/S", "/P", "/E", "/T" or "/U"
extern std::string TargetFile;     // the file the package replaces and that is started afterwards
extern std::string StagedFile;     // the downloaded package in the staging folder
extern std::string LatestVersion;  // catalogue "Info" "VER"
extern std::string PackageSize;    // catalogue edition "SIZE"
extern std::string ReadmeUrl;      // catalogue "Info" "Readme"
extern std::string PackageUrl;     // catalogue edition "DOWNLOAD"
extern std::string EditionName;    // display name of the edition
extern std::string PackageDigest;  // catalogue edition "SHA256": the package's digest, when given

// Names in the temporary folder.
inline constexpr const char* kStagingFolderName = "BLM_UPDATE";
inline constexpr const char* kStagedPackageName = "BLMNL.PTX";
inline constexpr const char* kStagingStateName = "BLMNL.INI";
inline constexpr const char* kCatalogueName = "blmnl.cfg";
inline constexpr const char* kSetupName = "BLM_SETUP.EXE";
inline constexpr const char* kAppTitle = "Novalink";
// The program's own picture: the windows' icon and the offer window's banner.
inline constexpr const char* kAppPicture = "novalink";

// The completion record in the staging state file: section "INFO", key
// "Complete" = the whole package's length in bytes (decimal), key "SHA256" = its
// digest (64 hex digits) when the catalogue gave one. Written when a download
// has finished whole; a package without it is a part left for a resume.
inline constexpr const char* kStateSection = "INFO";
inline constexpr const char* kCompleteKey = "Complete";
inline constexpr const char* kDigestKey = "SHA256";

// How "/U" ends (the process exit code). Every code but kStagedApplied comes
// with one line on stderr that names the reason.
enum StagedUpdateExit : int {
    kStagedApplied = 0,         // the package is in place, or nothing was staged
    kStagedBadStart = 1,        // no process identifier, one that is no decimal number or out of range, or
                                // the registry failed
    kStagedNoTempFolder = 2,    // no private temporary or staging folder to be had: nothing was touched
    kStagedNoProgramFile = 3,   // "Path" names no program file (missing, a folder, a broken link)
    kStagedIncomplete = 4,      // the package does not match its completion record
    kStagedFileLocked = 5,      // the program file is in use or read-only
    kStagedCopyFailed = 6,      // the copy failed otherwise (a full disk, ...)
    kStagedOtherRun = 7,        // another run of the updater is under way: nothing was touched
    kStagedUntrusted = 8,       // an update key is set and the staged catalogue or package fails it
    kStagedBadRegistry = 9,     // the registry cannot be read (damaged, unreadable): nothing was touched
};

// How the interactive run ends (the process exit code).
enum RunExit : int {
    kRunDone = 0,              // up to date, updated, or the package staged for "/U"
    kRunConnectionError = 10,  // the catalogue or the package could not be had
    kRunCancelled = 11,        // the user cancelled, or closed a window before the end
    kRunBadPackage = 12,       // the package had another length or digest than announced: deleted
    kRunNoStagingFolder = 13,  // no (private) temporary folder, the staging folder could not be made, or a
                               // file in it could not be written
    kRunOtherRun = 14,         // another run of the updater is under way
    kRunUntrusted = 15,        // an update key is set and the catalogue fails it (unsigned, altered,
                               // older, no SHA256): nothing was downloaded
    kRunBadRegistry = 16,      // the registry cannot be read (nothing was done), or the flag "Update" could
                               // not be set for a package left staged
};
// What the interactive run ends with; the windows set it as they close.
extern int RunExitCode;
// What a run that ends well did, in a few words ("updated to 2.01.0105"); the
// terminal's last line on stdout says it.
extern std::string RunOutcome;

// ---- configuration ----------------------------------------------------------

// The update server when HKEY_LOCAL_MACHINE "Software\Brightloom" "UpdateServer"
// is absent or empty.
inline constexpr const char* kDefaultUpdateServer = "http://updates.brightloom.example";
// The update server's address (scheme, host, optional port), without a final "/".
std::string UpdateServer();
// The version texts compared as the check does: code unit by code unit,
// case-sensitive, a prefix being the smaller. True when `a` is greater than `b`.
bool VersionTextGreater(const std::string& a, const std::string& b);

// The message shown when the catalogue or the package cannot be had.
void ShowConnectionError(plat::HWND owner);
// The message for a refusal that is no connection failure (a signature, an
// unsafe temporary folder, a damaged registry): `sentence` says why.
void ShowRefusal(plat::HWND owner, const std::string& sentence);
// Sets HKEY_CURRENT_USER "Update" and reads it back: "" when it holds `value`
// now, otherwise why not.
std::string WriteUpdateFlag(std::int32_t value);
// The value of "Update", -1 when it cannot be had.
std::int32_t UpdateFlagValue();
// Why a transfer of the catalogue or the package failed, in a few words for
// stderr: "HTTP 404 Not Found", "connection refused", "no answer for 31 s".
// `number` is the one its OnError gave; "" when no transfer ran.
// A refused secure connection is told in the words of its OnError `description`.
std::string TransferFailureReason(const DownloadFile& box, std::int32_t number, const std::string& description = "");
// The one line on stderr for a failed run: "Novalink: <what> <address>: <reason>".
void ReportFailure(const std::string& what, const std::string& address, const std::string& reason);

// ---- entry ------------------------------------------------------------------

// Runs the program: ends at once when another instance runs, applies a staged
// package for "/U", otherwise shows the check window and runs the message loop
// until the last window has gone. Returns the process exit code.
int Main();

// "/U": waits for the process named on the command line to end, puts the staged
// package in place of the program file, removes the staging folder and starts
// the program. Returns the process exit code.
int StagedUpdateMode();

// The process identifier after "/U": the command line from its third character
// read as a leading decimal number (blanks skipped, stops at the first character
// that does not fit, no number gives 0), rounded to an integer. False when it
// does not fit in 32 bits.
bool ParseProcessId(const std::string& commandLine, long& processId);
// Whether the command line names a process after "/U" at all: decimal digits,
// with blanks around them and nothing else.
bool NamesProcessId(const std::string& commandLine);

// ---- helpers ----------------------------------------------------------------

// True when `path` names a plain file (hidden, system and folder entries do not count).
bool FileExists(const std::string& path);
// True when `path` names a folder, or a plain file.
bool FolderExists(const std::string& path);
// The value of key in section of a profile file, cut to 511 characters; "" when
// the file, section or key is missing.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key);
// Writes key=value into the profile file; failures are not reported.
void WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);
// Deletes a file. True when it was deleted or was not there; false otherwise.
bool KillFile(const std::string& path);
// The temporary folder, ending with the path separator.
std::string GetTempDir();
// No crash report for a fault from here on (used while the program tears down).
void SuppressFaultDialogs();

// Deletes every plain file in `folder` (its listing "*.*"), then the folder
// itself if that left it empty. Failures are skipped; a folder that is no full
// path, or is a link or not this user's alone, is left alone.
void CleanFolder(const std::string& folder);

// ---- paths ------------------------------------------------------------------
// Every staging, catalogue and setup path is composed here. A base that cannot
// be had gives "" rather than a path relative to the current folder, and the
// file calls refuse "".

// The temporary folder + name; "" when the temporary folder cannot be had or is
// not a full path.
std::string TempFolderPath(const std::string& name);
// folder + separator + name; "" when folder is empty or not a full path.
std::string JoinPath(const std::string& folder, const std::string& name);

// The completion record in the state file: the whole package's length
// ("Complete") and its digest ("SHA256", "" when none). False, with the reason
// in `why`, when there is none or it is no plain count.
bool ReadCompletionRecord(const std::string& stateFile, std::int64_t& length, std::string& digest, std::string& why);

}  // namespace nl
