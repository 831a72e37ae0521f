// Kernel handles this process holds, read from the system's handle table:
// Wine counts nothing in GetProcessHandleCount, so leak checks count here.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace tqtest {

// One entry of NtQuerySystemInformation(SystemHandleInformation).
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

// This process's entries; empty when the table cannot be read.
inline std::vector<SystemHandleEntry> OwnHandles()
{
    struct Table {
        ULONG count;
        SystemHandleEntry handles[1];
    };
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = LONG(0xC0000004);
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return {};
    std::vector<uint8_t> buffer(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(), ULONG(buffer.size()), &needed)) ==
           kInfoLengthMismatch)
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
    if (status < 0)
        return {};
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const ULONG self = GetCurrentProcessId();
    std::vector<SystemHandleEntry> own;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->handles[i].ownerPid == self)
            own.push_back(table->handles[i]);
    return own;
}

// Handle counts by object type number.
inline std::map<int, int> OwnHandlesByType()
{
    std::map<int, int> types;
    for (const SystemHandleEntry& entry : OwnHandles())
        ++types[entry.objectType];
    return types;
}

// The object type number of one of our handles, or -1.
inline int HandleType(HANDLE handle)
{
    for (const SystemHandleEntry& entry : OwnHandles())
        if (entry.value == USHORT(reinterpret_cast<uintptr_t>(handle)))
            return entry.objectType;
    return -1;
}

} // namespace tqtest
