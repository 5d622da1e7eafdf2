// The shared block as the library's accessors see it: the stand-in host's block in another
// process, and blocks of the wrong size or kind that any program could have created.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/HostProtocol.h"
#include "hostlink/KQVHostLink.h"
#include "tests/hostlink/HostLinkFixtures.h"
#include "tests/support/HostProcess.h"

namespace kq {
namespace {

constexpr size_t kHostWindowOffset = 0;
constexpr size_t kProbeActiveOffset = 16;
constexpr size_t kDoubleClickMenuOffset = 17;
constexpr size_t kProbedFolderOffset = 18;
constexpr size_t kHostFolderOffset = 281;
constexpr size_t kTextField = 263;

TEST(SharedBlock, AccessorsUseTheHostsBlockAtItsOffsets) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  RawBlock raw;
  ASSERT_TRUE(raw.Open());

  EXPECT_EQ(raw.U32(kHostWindowOffset), HandleToULong(host.Window()));

  EXPECT_FALSE(IsProbeActive());
  SetProbeActive(true);
  EXPECT_EQ(raw[kProbeActiveOffset], 1);
  EXPECT_TRUE(IsProbeActive());
  SetProbeActive(false);
  EXPECT_EQ(raw[kProbeActiveOffset], 0);
  EXPECT_FALSE(IsProbeActive());
  raw[kProbeActiveOffset] = 0x80;  // any byte but 0 is true
  EXPECT_TRUE(IsProbeActive());

  EXPECT_FALSE(IsDoubleClickMenuEnabled());
  ASSERT_TRUE(host.Command("doubleclick 1"));
  EXPECT_EQ(raw[kDoubleClickMenuOffset], 1);
  EXPECT_TRUE(IsDoubleClickMenuEnabled());
  ASSERT_TRUE(host.Command("doubleclick 0"));
  EXPECT_FALSE(IsDoubleClickMenuEnabled());

  WriteProbedFolder("C:\\windows\\system32");
  EXPECT_EQ(raw.Text(kProbedFolderOffset), "C:\\windows\\system32");
  EXPECT_EQ(ReadProbedFolder(), "C:\\windows\\system32");
  ASSERT_TRUE(host.Command("probedfolder"));
  EXPECT_TRUE(host.WaitForLine("probedfolder folder=C:\\windows\\system32"));
  WriteProbedFolder("");
  EXPECT_EQ(raw[kProbedFolderOffset], 0);
  EXPECT_EQ(ReadProbedFolder(), "");

  ASSERT_TRUE(host.Command("hostfolder D:\\with blank\\x"));
  EXPECT_EQ(raw.Text(kHostFolderOffset), "D:\\with blank\\x");
  EXPECT_EQ(ReadHostFolder(), "D:\\with blank\\x");
}

TEST(SharedBlock, HostSetsDoubleClickMenuFromItsOptions) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook", "--double-click-menu"}));
  RawBlock raw;
  ASSERT_TRUE(raw.Open());
  EXPECT_EQ(raw[kDoubleClickMenuOffset], 1);
  EXPECT_TRUE(IsDoubleClickMenuEnabled());
}

TEST(SharedBlock, WritersTouchOnlyTheirOwnFieldsAndNeverCutAPath) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  RawBlock raw;
  ASSERT_TRUE(raw.Open());
  // Every byte the library does not own gets a pattern.
  for (size_t i = 4; i < 16; ++i) raw[i] = static_cast<uint8_t>(0xA0 + i);
  raw[kDoubleClickMenuOffset] = 1;
  ASSERT_TRUE(host.Command("hostfolder " + std::string(262, 'h')));
  std::vector<uint8_t> before(raw.Bytes(), raw.Bytes() + kSharedBlockSize);

  WriteProbedFolder(std::string(400, 'p'));
  SetProbeActive(true);
  SetProbeActive(false);

  // A path the field cannot hold whole would name another folder: the field is left empty.
  EXPECT_EQ(ReadProbedFolder(), "");
  EXPECT_EQ(raw[kProbedFolderOffset], 0);
  for (size_t i = 0; i < kSharedBlockSize; ++i) {
    bool libraryField = i == kProbeActiveOffset || (i >= kProbedFolderOffset && i < kHostFolderOffset);
    if (!libraryField) {
      EXPECT_EQ(raw[i], before[i]) << "byte " << i << " changed";
    }
  }
  EXPECT_EQ(ReadHostFolder(), std::string(262, 'h'));

  // A path of exactly 262 characters fits whole; a shorter one after it reads alone.
  std::string exact(262, 'e');
  WriteProbedFolder(exact);
  EXPECT_EQ(ReadProbedFolder(), exact);
  WriteProbedFolder("C:\\");
  EXPECT_EQ(ReadProbedFolder(), "C:\\");
}

TEST(SharedBlock, TextWithoutZeroIsReadNoFurtherThanItsField) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook", "--mapping-size", "4096"}));
  RawBlock raw;
  ASSERT_TRUE(raw.Open(4096));
  raw.Fill(kProbedFolderOffset, kTextField, 'a');
  raw.Fill(kHostFolderOffset, kTextField, 'b');
  raw.Fill(kSharedBlockSize, 4096 - kSharedBlockSize, 'c');
  EXPECT_EQ(ReadProbedFolder(), std::string(kTextField, 'a'));
  EXPECT_EQ(ReadHostFolder(), std::string(kTextField, 'b'));
  ASSERT_TRUE(host.Command("probedfolder"));
  std::string line;
  ASSERT_TRUE(host.WaitForLine("probedfolder", &line));
  EXPECT_EQ(line, "probedfolder folder=" + std::string(kTextField, 'a'));
}

// Without any block the accessors answer false and "" and the writers do nothing, for every
// caller in every process; the host window is looked for by class alone.
TEST(SharedBlock, NoBlockAtAll) {
  SetProbeActive(true);
  WriteProbedFolder("C:\\x");
  EXPECT_FALSE(IsProbeActive());
  EXPECT_FALSE(IsDoubleClickMenuEnabled());
  EXPECT_EQ(ReadProbedFolder(), "");
  EXPECT_EQ(ReadHostFolder(), "");
  EXPECT_EQ(GetHostWindow(), nullptr);
  TestWindow classHost(nullptr, kHostWindowClass);
  EXPECT_EQ(GetHostWindow(), classHost.get());
}

// Plants values in every field of a block made without a host: through the test's own view of
// the block's first page, so bytes beyond a small object's end are planted as well.
void PlantFields(const RawBlock& raw, HWND stored) {
  raw.SetU32(kHostWindowOffset, HandleToULong(stored));
  raw[kProbeActiveOffset] = 1;
  raw[kDoubleClickMenuOffset] = 1;
  std::strcpy(reinterpret_cast<char*>(&raw[kProbedFolderOffset]), "C:\\planted");
  std::strcpy(reinterpret_cast<char*>(&raw[kHostFolderOffset]), "D:\\planted");
}

void ExpectBlockAbsent(const RawBlock& raw, HWND classHost) {
  EXPECT_FALSE(IsProbeActive());
  EXPECT_FALSE(IsDoubleClickMenuEnabled());
  EXPECT_EQ(ReadProbedFolder(), "");
  EXPECT_EQ(ReadHostFolder(), "");
  EXPECT_EQ(GetHostWindow(), classHost);  // the stored window is not taken
  SetProbeActive(false);
  WriteProbedFolder("C:\\written");
  EXPECT_EQ(raw[kProbeActiveOffset], 1);
  EXPECT_EQ(raw.Text(kProbedFolderOffset), "C:\\planted");
}

TEST(SharedBlock, BlockSmallerThanItsFieldsIsTakenForNone) {
  TestWindow stored;
  TestWindow classHost(nullptr, kHostWindowClass);
  for (DWORD size : {1u, 543u}) {
    SCOPED_TRACE(size);
    RawBlock raw;
    ASSERT_TRUE(raw.CreateOnFile(size));
    ASSERT_TRUE(raw.MapPage());
    PlantFields(raw, stored.get());
    ExpectBlockAbsent(raw, classHost.get());
  }
  // The same planted block of the full size is read: what the small ones hide is really there.
  RawBlock raw;
  ASSERT_TRUE(raw.CreateOnFile(kSharedBlockSize));
  ASSERT_TRUE(raw.MapPage());
  PlantFields(raw, stored.get());
  EXPECT_TRUE(IsProbeActive());
  EXPECT_TRUE(IsDoubleClickMenuEnabled());
  EXPECT_EQ(ReadProbedFolder(), "C:\\planted");
  EXPECT_EQ(ReadHostFolder(), "D:\\planted");
  EXPECT_EQ(GetHostWindow(), stored.get());
  SetProbeActive(false);
  EXPECT_EQ(raw[kProbeActiveOffset], 0);
}

TEST(SharedBlock, HostRefusesABlockAnotherProgramCreated) {
  RawBlock squatter;
  ASSERT_TRUE(squatter.CreateInMemory(kSharedBlockSize));
  HostProcess host;
  EXPECT_FALSE(host.Start({"--no-hook"}));
  DWORD exitCode = 0;
  ASSERT_TRUE(host.WaitForExit(HostProcess::kStopTimeoutMs, &exitCode));
  EXPECT_EQ(exitCode, static_cast<DWORD>(lntrhost::kExitNoMapping));
  EXPECT_TRUE(host.WaitForLine("error mapping", nullptr, 0));
}

}  // namespace
}  // namespace kq
