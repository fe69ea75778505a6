// The index's file-system seam: listing the folder, reading a file within a
// cap, and outputs that replace the old file only once whole. One .cpp per OS.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace harvix::index {

// Far beyond any report; keeps a stray video named *_report.html from costing a run.
inline constexpr std::size_t kReadCap = 4u << 20;

struct FolderEntry {
    std::string Name;  // UTF-8
    std::string Raw;   // the name's own bytes when they are not valid UTF-8 (Linux), else empty
    const std::string& OnDisk() const { return Raw.empty() ? Name : Raw; }
};
// The folder's entries of every kind, sorted by name; throws HarvixError.
std::vector<FolderEntry> ListFolder(const std::string& folder);

struct ReadOutcome {
    bool Ok = false;
    std::string Bytes;
    std::string Reason;  // in French, when not Ok
};
// A regular file of at most cap bytes; never blocks on a pipe or device.
ReadOutcome ReadCapped(const std::string& path, std::size_t cap);

std::string JoinPath(const std::string& folder, const std::string& name);

// The clock, as Harvix's inventory file stamps its runs.
using LocalTime = platform::LocalDateTime;
using platform::Now;

// Written to a temporary file beside the target, then renamed over it, so a
// reader of the old file, a second index or a crash never sees half a file.
class OutputFile {
  public:
    OutputFile(const std::string& folder, const std::string& name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::string_view bytes);
    struct Result {
        bool Replaced = false;  // the target now holds the new content
        std::string KeptAs;     // else, the dated name it was kept under, if any
        std::string Error;      // what went wrong, in French
    };
    Result Commit();

  private:
    void Flush();
    std::string folder_, name_, temp_, buffer_, error_;
    std::intptr_t handle_ = -1;  // descriptor or HANDLE
    bool committed_ = false;
};

// One index at a time in a folder: a second run waits for the first, a bounded
// time, then throws HarvixError in French. Where no lock can be made (a
// read-only folder), the run goes on and its outputs report the failure.
class FolderLock {
  public:
    FolderLock(const std::string& folder, const std::string& name, int waitSeconds);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    std::intptr_t handle_ = -1;
};

// "inventaire-20261209-023015.csv" for "inventaire.csv".
std::string DatedName(const std::string& name, const LocalTime& t);

}  // namespace harvix::index
