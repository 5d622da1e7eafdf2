#include "tests/support/GdiObjects.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace kq::test {
namespace {

// One entry of a process's GDI handle table as the system keeps it. The table is the 64-bit
// system's own also for a 32-bit program under WoW64: 24-byte entries, found through the 64-bit
// PEB (the 32-bit PEB's field stays empty).
#pragma pack(push, 1)
struct GdiHandleEntry {
  uint64_t object;
  uint32_t owner;
  uint8_t extendedType;  // the object's kind in full: a display DC apart from a memory DC
  uint8_t reuses;
  uint8_t type;
  uint8_t flags;
  uint64_t userPointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiHandleEntry) == 24, "GDI handle entry layout");
constexpr size_t kGdiHandleCount = 0x10000;
constexpr uint64_t kPebGdiSharedHandleTable = 0xF8;  // offset in the 64-bit PEB
// The entry's type of a device context and of a region; a display DC's extended type (a memory
// DC's is 0x41, a metafile DC's another).
constexpr uint8_t kGdiDeviceContextType = 1;
constexpr uint8_t kGdiRegionType = 4;
constexpr uint8_t kGdiDisplayDeviceContextExtendedType = 1;

FARPROC NtEntry(const char* name) { return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), name); }

#ifdef _WIN64
uint64_t PebOf(HANDLE process) {
  using Query = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(NtEntry("NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  if (!query || query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) return 0;
  return reinterpret_cast<uintptr_t>(basic.PebBaseAddress);
}

bool Read(HANDLE process, uint64_t address, void* to, uint64_t size, uint64_t* got) {
  SIZE_T read = 0;
  const bool ok = ::ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), to,
                                      static_cast<SIZE_T>(size), &read);
  *got = read;
  return ok || read > 0;
}
#else
// A 32-bit reader asks the 64-bit side of the target through the WoW64 entries of ntdll.
struct BasicInformation64 {
  NTSTATUS exitStatus;
  ULONG pad;
  uint64_t pebBaseAddress;
  uint64_t affinity, basePriority, processId, parentId;
};

uint64_t PebOf(HANDLE process) {
  using Query = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(NtEntry("NtWow64QueryInformationProcess64")));
  BasicInformation64 basic = {};
  if (!query || query(process, 0 /* ProcessBasicInformation */, &basic, sizeof(basic), nullptr) != 0) return 0;
  return basic.pebBaseAddress;
}

bool Read(HANDLE process, uint64_t address, void* to, uint64_t size, uint64_t* got) {
  using ReadMemory = NTSTATUS(NTAPI*)(HANDLE, uint64_t, PVOID, uint64_t, uint64_t*);
  auto read = reinterpret_cast<ReadMemory>(reinterpret_cast<void*>(NtEntry("NtWow64ReadVirtualMemory64")));
  *got = 0;
  if (!read) return false;
  const NTSTATUS status = read(process, address, to, size, got);
  return status == 0 || *got > 0;
}
#endif

}  // namespace

int GdiObjectsOf(HANDLE process) { return GdiObjectCountsOf(process).total; }

GdiObjectCounts GdiObjectCountsOf(HANDLE process) {
  GdiObjectCounts counts;
  const uint64_t peb = PebOf(process);
  if (!peb) return counts;
  uint64_t table = 0, got = 0;
  if (!Read(process, peb + kPebGdiSharedHandleTable, &table, sizeof(table), &got) || got != sizeof(table) || !table)
    return counts;
  std::vector<GdiHandleEntry> entries(kGdiHandleCount);
  if (!Read(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry), &got)) return counts;
  counts.total = 0;
  for (size_t i = 0; i < got / sizeof(GdiHandleEntry); ++i) {
    const uint8_t type = entries[i].type;
    if (type == 0) continue;
    ++counts.total;
    if (type == kGdiDeviceContextType && entries[i].extendedType == kGdiDisplayDeviceContextExtendedType)
      ++counts.displayDeviceContexts;
    if (type == kGdiRegionType) ++counts.regions;
  }
  return counts;
}

}  // namespace kq::test
