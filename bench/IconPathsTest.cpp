// The menu's icons never ask the file system about a path off the local fixed drives. Built like
// the benchmarks, with the library's units counting their system calls, so that every file-system
// call the loading and the build make is seen with the path it names.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bookmarks/KQVMenu.h"
#include "common/KQRegistry.h"
#include "common/KQSysCalls.h"
#include "lib/LNTRStartup.h"

namespace {

using namespace kq;

constexpr char kTreeKey[] = "Software\\Quillonworks\\IconPathsTest\\Tree";
constexpr char kHistoryKey[] = "Software\\Quillonworks\\IconPathsTest\\History";
constexpr char kStoreKey[] = "Software\\Quillonworks\\IconPathsTest";
constexpr char kLocalDir[] = "C:\\IconPathsTest";

std::vector<std::pair<sys::Counter, std::string>> g_Seen;

void Record(sys::Counter kind, const char* path) { g_Seen.emplace_back(kind, path); }

void WriteValue(HKEY key, const char* name, const std::string& data) {
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
}

// A full drive-letter path whose drive the system calls fixed: judged here with the plain calls.
bool OnFixedDrive(const std::string& path) {
  if (path.size() < 3 || !::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' || path[2] != '\\')
    return false;
  const std::string root = path.substr(0, 3);
  return ::GetDriveTypeA(root.c_str()) == DRIVE_FIXED;
}

// A drive letter that is not a fixed drive here (a removable, network or missing one).
std::string OffLocalDrive() {
  for (char letter = 'Y'; letter > 'C'; --letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    if (::GetDriveTypeA(root) != DRIVE_FIXED) return root;
  }
  return {};
}

class IconPaths : public testing::Test {
 protected:
  void SetUp() override {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kStoreKey);
    ::CreateDirectoryA(kLocalDir, nullptr);
    ::CreateDirectoryA((std::string(kLocalDir) + "\\Local").c_str(), nullptr);
  }
  void TearDown() override {
    sys::g_OnPath = nullptr;
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kStoreKey);
    ::RemoveDirectoryA((std::string(kLocalDir) + "\\Local").c_str());
    ::RemoveDirectoryA(kLocalDir);
  }

  static void WriteNode(int number, const std::string& fileName, const std::string& iconFile = "") {
    const std::string path = std::string(kTreeKey) + "\\N" + std::to_string(100 + number);
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    WriteValue(key, "FileName", fileName);
    WriteValue(key, "DisplayName", fileName);
    WriteValue(key, "NodeType", "0");
    WriteValue(key, "IconFileName", iconFile);
    WriteValue(key, "IconIndex", "0");
    ::RegCloseKey(key);
  }
};

TEST_F(IconPaths, TheMenuAsksTheFileSystemOnlyAboutLocalFixedDrives) {
  const std::string offDrive = OffLocalDrive();
  ASSERT_FALSE(offDrive.empty()) << "every drive letter is a fixed drive here";
  std::printf("drive %s has drive type %u\n", offDrive.c_str(), ::GetDriveTypeA(offDrive.c_str()));
  char systemDll[MAX_PATH] = {};
  ::GetSystemDirectoryA(systemDll, MAX_PATH);
  const std::string shell32 = std::string(systemDll) + "\\shell32.dll";

  const std::string local = std::string(kLocalDir) + "\\Local";
  const std::vector<std::pair<std::string, std::string>> nodes = {
      {local, ""},
      {"\\\\nosuchserver\\share", ""},
      {"\\\\nosuchserver\\share\\report.txt", ""},
      {"\\\\nosuchserver\\share\\Folder", "\\\\nosuchserver\\share\\icons.dll"},
      {local, shell32},
      {"\\\\?\\" + local, ""},
      {"\\\\?\\UNC\\nosuchserver\\share", ""},
      {"%SystemDrive%\\IconPathsTest\\Local", ""},
      {"relative\\folder", ""},
      {"C:relative", ""},
      {offDrive + "Folder", offDrive + "icons.dll"},
  };
  for (size_t i = 0; i < nodes.size(); ++i) WriteNode(static_cast<int>(i), nodes[i].first, nodes[i].second);
  HKEY history = nullptr;
  ASSERT_EQ(
      ::RegCreateKeyExA(HKEY_CURRENT_USER, kHistoryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &history, nullptr),
      ERROR_SUCCESS);
  WriteValue(history, "H0", "\\\\nosuchserver\\history");
  WriteValue(history, "H1", local);
  ::RegCloseKey(history);

  g_Seen.clear();
  sys::g_OnPath = Record;
  TKQVMenu menu;
  TKQRegIniFile reg(KEY_READ);
  menu.LoadTree(&reg, std::string("\\") + kTreeKey);
  menu.LoadHistory(&reg, std::string("\\") + kHistoryKey);
  reg.CloseKey();
  UINT id = 1;
  int index = 0;
  ScopedMenu built(menu.BuildMenu(nullptr, id, index));
  sys::g_OnPath = nullptr;
  ASSERT_TRUE(built);

  bool askedLocal = false, askedKind = false;
  for (const auto& [kind, path] : g_Seen) {
    switch (kind) {
      case sys::cDriveType:
        EXPECT_TRUE(path.size() == 3 && path[1] == ':' && path[2] == '\\') << "drive type of " << path;
        break;
      case sys::cShellKind:
        // Found by attributes: the shell is given a bare name, never a folder.
        EXPECT_EQ(path.find_first_of("\\/:"), std::string::npos) << path;
        askedKind = true;
        break;
      default:
        EXPECT_TRUE(OnFixedDrive(path)) << "file-system call (kind " << kind << ") on " << path;
        askedLocal = askedLocal || path == local;
        break;
    }
  }
  EXPECT_TRUE(askedLocal) << "the local folder's own icon was not asked for";
  EXPECT_TRUE(askedKind) << "no generic icon was asked for";

  // Every node that names something shows an icon, the remote ones their kind's.
  int withBitmap = 0;
  for (TCustomNode* n = menu.GetFirstNode(); n; n = n->GetNext()) {
    auto* node = static_cast<TKQVNode*>(n);
    if (node->NodeType() == kNodeBookmark && node->Parent() == nullptr) {
      EXPECT_NE(node->Bitmap(), nullptr) << node->FileName();
      ++withBitmap;
    }
  }
  EXPECT_EQ(withBitmap, static_cast<int>(nodes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  kq::LibraryStartup();
  const int result = RUN_ALL_TESTS();
  kq::LibraryShutdown();
  return result;
}
