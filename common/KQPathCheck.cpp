#include "common/KQPathCheck.h"

#include <memory>
#include <new>
#include <utility>

#include "common/KQGuard.h"
#include "common/KQLock.h"
#include "common/KQProcessStatic.h"
#include "common/KQScoped.h"
#include "common/KQText.h"
#include "common/KQUtils.h"
#include "common/KQWorker.h"

namespace kq {
namespace {

// One check of one path. Its worker, the table of pending checks and every caller waiting on it
// each hold a reference; whichever lets go last frees it, so a caller that stops waiting leaves
// nothing behind and a worker that answers late writes into memory that is still its own.
struct PathCheck {
  std::wstring path;
  ScopedHandle answered;  // a manual-reset event, set once attributes holds the system's answer
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  DWORD started = ::GetTickCount();
  LONG references = 1;
};

void AddReference(PathCheck* check) noexcept { ::InterlockedIncrement(&check->references); }

void Release(PathCheck* check) noexcept {
  if (::InterlockedDecrement(&check->references) == 0) delete check;
}

// A reference held for a scope.
class CheckReference {
 public:
  explicit CheckReference(PathCheck* check) noexcept : check_(check) {}
  ~CheckReference() {
    if (check_) Release(check_);
  }
  CheckReference(const CheckReference&) = delete;
  CheckReference& operator=(const CheckReference&) = delete;
  PathCheck* get() const noexcept { return check_; }

 private:
  PathCheck* check_;
};

// The checks whose worker has not yet answered, each holding a reference. The lock is held for
// the look-up only, never across a call into the system.
struct PendingChecks {
  TLock lock;
  PathCheck* slots[kMaxPendingPathChecks] = {};
};
ProcessStatic<PendingChecks> g_Pending;

void Forget(PathCheck* check) noexcept {
  bool held = false;
  {
    TLockGuard lock(g_Pending->lock);
    for (PathCheck*& slot : g_Pending->slots) {
      if (slot == check) {
        slot = nullptr;
        held = true;
      }
    }
  }
  if (held) Release(check);
}

// The worker's step: asks the system, hands the answer over and lets go of the check.
void CheckPath(PathCheck* check) noexcept {
  Guard([&] { check->attributes = ::GetFileAttributesW(check->path.c_str()); });
  ::SetEvent(check->answered.get());
  Forget(check);
  Release(check);
}

// Takes candidate into the table, or answers the pending check of the same path (with a
// reference for the caller); null when the table is full.
PathCheck* JoinOrEnter(PathCheck* candidate, bool* entered) noexcept {
  TLockGuard lock(g_Pending->lock);
  PathCheck** empty = nullptr;
  for (PathCheck*& slot : g_Pending->slots) {
    if (slot && slot->path == candidate->path) {
      AddReference(slot);
      return slot;
    }
    if (!slot && !empty) empty = &slot;
  }
  if (!empty) return nullptr;
  AddReference(candidate);  // the table's
  *empty = candidate;
  *entered = true;
  return candidate;
}

// Starts the worker of a check just entered; false when it could not start (the check is then
// out of the table again).
bool StartWorker(PathCheck* check) noexcept {
  AddReference(check);  // the worker's
  if (RunOnWorker([check] { CheckPath(check); })) return true;
  Release(check);
  Forget(check);
  return false;
}

// The caller's reference on the check that answers about path; null when none can.
PathCheck* CheckFor(const std::string& path) {
  std::unique_ptr<PathCheck> candidate(new (std::nothrow) PathCheck);
  if (!candidate) return nullptr;
  candidate->path = ToWide(path);
  candidate->answered.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!candidate->answered) return nullptr;
  bool entered = false;
  PathCheck* check = JoinOrEnter(candidate.get(), &entered);
  if (!entered) return check;  // a pending check of the same path, or none
  PathCheck* mine = candidate.release();
  if (StartWorker(mine)) return mine;
  Release(mine);
  return nullptr;
}

}  // namespace

PathAnswer PathAttributesWithin(const std::string& path, DWORD timeoutMs) noexcept {
  return Guarded(PathAnswer{}, [&] {
    PathAnswer answer;
    CheckReference check(CheckFor(path));
    if (!check.get()) return answer;
    // The time a check has waited already counts: a path that has not answered within the bound
    // gets no answer at once, and the callers that ask after one another wait the bound once.
    const DWORD waited = ::GetTickCount() - check.get()->started;
    const DWORD wait = waited < timeoutMs ? timeoutMs - waited : 0;
    if (::WaitForSingleObject(check.get()->answered.get(), wait) == WAIT_OBJECT_0) {
      answer.answered = true;
      answer.attributes = check.get()->attributes;
    }
    return answer;
  });
}

bool IsDirectoryAnswer(const PathAnswer& answer) noexcept {
  return answer.answered && answer.attributes != INVALID_FILE_ATTRIBUTES &&
         (answer.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFileAnswer(const PathAnswer& answer) noexcept {
  return answer.answered && answer.attributes != INVALID_FILE_ATTRIBUTES &&
         (answer.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryAnswers(const std::string& path) noexcept { return IsDirectoryAnswer(PathAttributesWithin(path)); }

int PendingPathChecks() noexcept {
  TLockGuard lock(g_Pending->lock);
  int pending = 0;
  for (PathCheck* slot : g_Pending->slots)
    if (slot) ++pending;
  return pending;
}

}  // namespace kq
