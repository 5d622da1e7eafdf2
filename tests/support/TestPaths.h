// Where test programs find their helpers and put their artefacts.
#pragma once

#include <string>

namespace kq::test {

// The folder of the running program, with a trailing backslash. Helpers, the library and the
// host are built into the same folder.
std::string ProgramDirectory();
// The full path of a program built next to the running one, e.g. HelperPath("dialog_opener.exe").
std::string HelperPath(const std::string& exeName);
// The folder of the 32-bit build's programs and library, with a trailing backslash, as the x86-64
// build's tests find it (LNTR_I686_BIN, a Unix path); empty when it is not named.
std::string ThirtyTwoBitBuildDirectory();
// Why this run starts no 32-bit processes (LNTR_NO_32BIT_PROCESSES, set by scripts/test where the
// machine runs no 32-bit code; such cases run in the emulated machine); empty when they run.
std::string WhyNoThirtyTwoBitProcesses();
// A folder that answers no question about it for a long time, as one on a network share that
// does not answer (LNTR_SLOW_FOLDER, a Windows path that scripts/test makes: a file system of its
// own whose answers about it come after 30 s); empty when the run has none.
std::string SlowFolder();
// Why the run has no slow folder (LNTR_NO_SLOW_FOLDER, or that the variable is not set).
std::string WhyNoSlowFolder();
// The Windows form of the LNTR_ARTIFACTS folder ("Z:" + the Unix path with backslashes), with a
// trailing backslash; the system's temporary folder when the variable is not set.
std::string ArtifactsDirectory();
// The Windows form of a Unix path ("/a/b" gives "Z:\a\b"); other paths are returned unchanged.
std::string WindowsPathOfUnixPath(const std::string& unixPath);

// A fresh empty folder under the system's temporary folder, removed with everything in it when
// the owner goes.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& Path() const { return path_; }  // no trailing backslash
  // Creates a file of the given content in the folder and answers its full path.
  std::string WriteFile(const std::string& name, const std::string& content) const;
  // Creates a folder of that name (UTF-8, any characters) in the folder and answers its full path
  // in UTF-8; empty when it could not be made.
  std::string MakeFolder(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace kq::test
