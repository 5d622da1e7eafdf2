#include "tests/support/GdiObjects.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace kq::test {
namespace {

// One entry of a process's GDI handle table as the system keeps it (24 bytes on 64-bit).
#pragma pack(push, 1)
struct GdiHandleEntry {
  uint64_t object;
  uint32_t owner;
  uint16_t unique;
  uint8_t type;
  uint8_t flags;
  uint64_t userPointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiHandleEntry) == 24, "GDI handle entry layout");
constexpr size_t kGdiHandleCount = 0x10000;
constexpr size_t kPebGdiSharedHandleTable = 0xF8;  // offset in the 64-bit PEB

using QueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

}  // namespace

int GdiObjectsOf(HANDLE process) {
  auto query = reinterpret_cast<QueryInformationProcess>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  if (!query) return -1;
  PROCESS_BASIC_INFORMATION basic = {};
  if (query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 || !basic.PebBaseAddress) return -1;
  uint64_t table = 0;
  SIZE_T read = 0;
  const auto* tableField = reinterpret_cast<const BYTE*>(basic.PebBaseAddress) + kPebGdiSharedHandleTable;
  if (!::ReadProcessMemory(process, tableField, &table, sizeof(table), &read) || read != sizeof(table) || !table)
    return -1;
  std::vector<GdiHandleEntry> entries(kGdiHandleCount);
  if (!::ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(table)), entries.data(),
                           entries.size() * sizeof(GdiHandleEntry), &read))
    return -1;
  int count = 0;
  for (size_t i = 0; i < read / sizeof(GdiHandleEntry); ++i)
    if (entries[i].type != 0) ++count;
  return count;
}

}  // namespace kq::test
