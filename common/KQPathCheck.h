// Existence checks that cannot hold their caller. The system is asked on a worker thread and the
// caller waits a bounded time: a path on a share that does not answer keeps a worker waiting,
// never the thread of the dialog that asked. A path that gives no answer in time counts as one
// that does not exist.
#pragma once

#include <windows.h>

#include <string>

namespace kq {

// How long a caller waits for the system to answer about a path.
constexpr DWORD kPathAnswerTimeoutMs = 1000;
// Checks that may be waiting on the system at one time; a check of another path beyond them gets
// no answer at once.
constexpr int kMaxPendingPathChecks = 4;

// What the system said about a path within the bound.
struct PathAnswer {
  bool answered = false;                       // false: no answer in time, or no check could start
  DWORD attributes = INVALID_FILE_ATTRIBUTES;  // GetFileAttributesW's answer, when answered
};

// The attributes of path, asked on a worker thread and waited for at most timeoutMs. A call for a
// path whose check is still waiting on the system waits on that check rather than starting another,
// and only for what is left of timeoutMs since that check began.
PathAnswer PathAttributesWithin(const std::string& path, DWORD timeoutMs = kPathAnswerTimeoutMs) noexcept;

// What an answer says: an existing directory, or an existing file that is not one. No answer says
// neither.
bool IsDirectoryAnswer(const PathAnswer& answer) noexcept;
bool IsFileAnswer(const PathAnswer& answer) noexcept;

// An existing directory, as the system says within kPathAnswerTimeoutMs: a path that does not
// answer in time is taken as missing.
bool DirectoryAnswers(const std::string& path) noexcept;

// How many checks are waiting on the system now.
int PendingPathChecks() noexcept;

}  // namespace kq
