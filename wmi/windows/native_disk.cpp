// Harvix_PhysicalDisk: SSD or rotating disk by the seek penalty the storage stack
// reports, asked of \\.\PhysicalDriveN opened without any access right (which a
// standard user may). Harvix_VolumeEncryption: BitLocker's state is an administrator's
// read (Win32_EncryptableVolume), so a standard user gets the reason instead.
#include <windows.h>

#include <winioctl.h>

#include <variant>

#include "platform/wide.h"
#include "wmi/windows/native.h"

namespace harvix::native {

namespace {

// The disk numbers Win32_DiskDrive gives; 0..31 when it cannot be asked.
std::vector<int> DiskNumbers(const WmiServicePtr& com) {
    std::vector<int> numbers;
    try {
        auto results = com->ExecQuery("Select Index from Win32_DiskDrive", kQueryFlags);
        while (const WmiObject* disk = results->Next()) {
            WmiValue index = disk->Get("Index");
            if (index.IsNumber()) numbers.push_back(index.Number());
        }
        return numbers;
    } catch (const std::exception&) {
        numbers.clear();
        for (int n = 0; n < 32; ++n) numbers.push_back(n);
        return numbers;
    }
}

// -1 rotating, 0 solid state; an error code when the disk does not say.
std::variant<int, DWORD> SeekPenalty(int number) {
    const std::wstring path = platform::Wide("\\\\.\\PhysicalDrive" + std::to_string(number));
    HANDLE disk = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE) return GetLastError();
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceSeekPenaltyProperty;
    query.QueryType = PropertyStandardQuery;
    DEVICE_SEEK_PENALTY_DESCRIPTOR penalty{};
    DWORD got = 0;
    BOOL ok = DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &penalty,
                              sizeof penalty, &got, nullptr);
    DWORD error = ok ? 0 : GetLastError();
    CloseHandle(disk);
    if (!ok || got < sizeof penalty) return error ? error : DWORD(ERROR_INVALID_DATA);
    return penalty.IncursSeekPenalty ? -1 : 0;
}

}  // namespace

Answer PhysicalDiskObjects(const WmiServicePtr& com) {
    Answer answer;
    for (int number : DiskNumbers(com)) {
        auto penalty = SeekPenalty(number);
        const DWORD* error = std::get_if<DWORD>(&penalty);
        if (error && *error == ERROR_FILE_NOT_FOUND) continue;  // no such disk
        Instance disk;
        disk.Set("Index", WmiValue(number));
        disk.Set("Rotational", error ? WmiValue() : WmiValue(std::get<int>(penalty)));
        if (error)
            answer.Unread.push_back(UnreadNote("Type du disque " + std::to_string(number),
                                               platform::SystemMessage(*error)));
        answer.Objects.push_back(std::move(disk));
    }
    return answer;
}

Answer VolumeEncryptionObjects() {
    Answer answer;
    answer.Unread.push_back(UnreadNote("BitLocker", "lecture réservée à l'administrateur"));
    return answer;
}

}  // namespace harvix::native
