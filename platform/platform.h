// Small seams several layers share; one implementation file per OS.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace harvix::platform {

// The user's locale as the process currently sees it.
std::string DecimalSeparator();
std::string DateSeparator();

// Environment variable as UTF-8; nullopt when unset.
std::optional<std::string> GetEnv(const std::string& name);
// What stands in for COMPUTERNAME / USERNAME when the variable is unset.
std::string FallbackComputerName();
std::string FallbackUserName();

// Full path of the folder holding the executable, without a trailing separator
// (except at a root).
std::string ProgramFolder();
// "\" on Windows, "/" elsewhere.
const char* PathSeparator();

// UTF-8 text in the report's code page; characters the code page lacks
// become numeric character references.
std::string EncodeForReport(const std::string& utf8);

// Opens the report file for writing ("wb") or appending ("ab"); throws on failure.
std::FILE* OpenReportFile(const std::string& path, bool append);

// One run at a time per report: held for the whole run, so that a second run
// started on the same report (same folder, same computer name) waits for the
// first, up to kClaimWaitSeconds, instead of mixing its lines into it. Throws
// when the wait runs out. Where no claim can be taken at all (the report cannot
// even be opened), the run goes on unclaimed and its writer says why it fails.
constexpr int kClaimWaitSeconds = 120;
std::shared_ptr<void> ClaimReport(const std::string& reportPath,
                                  int waitSeconds = kClaimWaitSeconds);
inline std::string ClaimWaitExpired(const std::string& reportPath, int waitSeconds) {
    return "Le rapport " + reportPath + " est en cours d'écriture par une autre exécution de " +
           "Harvix depuis plus de " + std::to_string(waitSeconds) + " s ; abandon.";
}

// Today's date as day, month, year.
struct LocalDate {
    int day, month, year;
};
LocalDate Today();

// The local date and time now, to the second.
struct LocalDateTime {
    int year, month, day, hour, minute, second;
};
LocalDateTime Now();

// Replaces the file at path with bytes, all or nothing: written to a new file
// beside it, flushed to the disk, then renamed over it, so that a reader never
// sees half of it. Throws a HarvixError naming the file on failure, the old
// file (if any) left as it was.
void ReplaceFileWith(const std::string& path, const std::string& bytes);

// Starts the platform's file manager on the folder; throws on failure.
void OpenFolder(const std::string& folderWithSeparator);

}  // namespace harvix::platform
