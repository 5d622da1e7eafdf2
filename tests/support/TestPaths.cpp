#include "tests/support/TestPaths.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

#include "common/KQScoped.h"
#include "common/KQText.h"

namespace kq::test {

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string result(path, length);
  size_t slash = result.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : result.substr(0, slash + 1);
}

std::string HelperPath(const std::string& exeName) { return ProgramDirectory() + exeName; }

std::string WindowsPathOfUnixPath(const std::string& unixPath) {
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  std::string result = "Z:" + unixPath;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

std::string ArtifactsDirectory() {
  std::string dir;
  if (const char* artifacts = std::getenv("LNTR_ARTIFACTS"); artifacts && *artifacts) {
    dir = WindowsPathOfUnixPath(artifacts);
  } else {
    char temp[MAX_PATH] = {};
    dir.assign(temp, ::GetTempPathA(MAX_PATH, temp));
  }
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  ::CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

ScratchDirectory::ScratchDirectory() {
  char temp[MAX_PATH] = {};
  std::string base(temp, ::GetTempPathA(MAX_PATH, temp));
  if (!base.empty() && base.back() != '\\') base += '\\';
  for (unsigned n = ::GetTickCount() ^ ::GetCurrentProcessId();; ++n) {
    std::string candidate = base + "lntr-test-" + std::to_string(n);
    if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      break;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  std::string from = path_ + '\0';  // a list of names ended by an empty one
  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  ::SHFileOperationA(&op);
}

std::string ScratchDirectory::WriteFile(const std::string& name, const std::string& content) const {
  std::string path = path_ + "\\" + name;
  ScopedFileHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    DWORD written = 0;
    ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  }
  return path;
}

std::string ScratchDirectory::MakeFolder(const std::string& name) const {
  const std::string path = path_ + "\\" + name;
  return ::CreateDirectoryW(ToWide(path).c_str(), nullptr) ? path : std::string();
}

std::string ThirtyTwoBitBuildDirectory() {
  const char* unixPath = std::getenv("LNTR_I686_BIN");
  return unixPath && *unixPath ? WindowsPathOfUnixPath(unixPath) + "\\" : std::string();
}

std::string WhyNoThirtyTwoBitProcesses() {
  const char* why = std::getenv("LNTR_NO_32BIT_PROCESSES");
  return why ? why : "";
}

std::string SlowFolder() {
  const char* path = std::getenv("LNTR_SLOW_FOLDER");
  return path ? path : "";
}

std::string WhyNoSlowFolder() {
  const char* why = std::getenv("LNTR_NO_SLOW_FOLDER");
  return why && *why ? why : "LNTR_SLOW_FOLDER is not set: scripts/test makes the slow folder (scripts/slow-folder)";
}

}  // namespace kq::test
