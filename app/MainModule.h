// The updater's entry, the update state the windows share, and the small file,
// profile-file and folder helpers.
#pragma once

#include <string>

namespace nl {

// ---- the update state (one copy for the whole program, initially empty) ----

extern std::string SwitchCode;     // "/A", "/D", "/S", "/P", "/E", "/T" or "/U"
extern std::string TargetFile;     // the file the package replaces and that is started afterwards
extern std::string StagedFile;     // the downloaded package in the staging folder
extern std::string LatestVersion;  // catalogue "Info" "VER"
extern std::string PackageSize;    // catalogue edition "SIZE"
extern std::string ReadmeUrl;      // catalogue "Info" "Readme"
extern std::string PackageUrl;     // catalogue edition "DOWNLOAD"
extern std::string EditionName;    // display name of the edition

// Names in the temporary folder.
inline constexpr const char* kStagingFolderName = "BLM_UPDATE";
inline constexpr const char* kStagedPackageName = "BLMNL.PTX";
inline constexpr const char* kStagingStateName = "BLMNL.INI";
inline constexpr const char* kAppTitle = "Novalink";

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
// itself if that left it empty. Failures are skipped.
void CleanFolder(const std::string& folder);

}  // namespace nl
