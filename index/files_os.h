// What each OS gives the index's file rules (files_common.cpp): the calls
// themselves, their failures as French reasons. One .cpp per OS.
#pragma once

#include <cstdint>
#include <string>

namespace harvix::index::os {

using Handle = std::intptr_t;  // a descriptor or a HANDLE
inline constexpr Handle kNoHandle = -1;

struct Opened {
    Handle File = kNoHandle;  // kNoHandle: Reason says why
    std::uint64_t Size = 0;
    std::string Reason;
};
// A regular file, opened to read without ever blocking on a pipe or device.
Opened OpenToRead(const std::string& path);
// Bytes read, 0 at the end, -1 with reason set.
long long ReadSome(Handle h, char* into, std::size_t n, std::string& reason);
// Bytes written (0 when only interrupted), -1 with reason set.
long long WriteSome(Handle h, const char* from, std::size_t n, std::string& reason);
void Close(Handle h);

// A new file, never an existing one.
Handle CreateNew(const std::string& path, std::string& reason);
// Closes a file written, first onto the disk when sync; why that failed, or empty.
std::string FinishWrite(Handle h, bool sync);
// Renames from over to, replacing it.
bool Replace(const std::string& from, const std::string& to, std::string& reason);
// Renames from to to, a name beside it.
bool MoveTo(const std::string& from, const std::string& to);
void Remove(const std::string& path);
unsigned long ProcessId();
// The file a lock is taken on, created if need be; kNoHandle with reason set.
Handle OpenLockFile(const std::string& path, std::string& reason);
// The exclusive lock, without waiting: true when taken; else busy says another
// holds it, or reason why it cannot be had. Closing the handle, or the process
// ending, releases it.
bool TryLock(Handle h, bool& busy, std::string& reason);

}  // namespace harvix::index::os
