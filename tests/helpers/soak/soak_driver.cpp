// soak_driver.exe BUILD [--programs P] [--dialogs D] [--no-hook] [--no-settings] [--no-moves]: many programs at once
// opening and closing their Open dialogs while the stand-in host, its hooks on, hears presses, moves dialogs and asks
// their folders, its settings change and now and then it stops answering for a few seconds.
//
// The programs are this build's dialog opener in several modes (each one process opening its
// dialog D times, the next when posted) and the system's Notepad and WordPad (Ctrl+O pressed in
// their windows; Notepad where WordPad is not installed).
// Every round opens a dialog in every program, presses each dialog's Favourites or History button
// with real mouse input, sends each a set-folder record and asks its folder, and closes them all.
// Ends with one line:
//   soak: P programs x D dialogs (BUILD), presses heard H of H, folders set S of S, crashes C,
//   hangs G, lost L, GDI +g, USER +u, private +k KiB
// crashes: programs (or the host) that died; hangs: a dialog that did not show or did not answer
// within 5 s; lost: presses not heard plus records not answered (set-folder and folder asks);
// GDI, USER, private: the largest growth of a program between its first and its last dialog
// (counted with the dialog closed, each the least of a few counts: GDI objects but the system's
// cache of window DCs, windows, committed private bytes). Each program's line before it gives its
// figures after the first, the middle and the last dialog, and how much of each half's GDI growth
// is that cache.
// --no-hook starts the host without its hooks: the same programs and dialogs without the library,
// to tell its growth from theirs (nothing is then pressed, moved or asked); --no-settings and
// --no-moves leave out the settings changes and the set-folder records with their asks.
// Exit code: 0 when nothing crashed, hung or was lost; 1 otherwise; 2 when it could not start.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVSettings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GdiObjects.h"
#include "tests/support/HostProcess.h"
#include "tests/support/MessagePump.h"
#include "tests/support/MouseInput.h"
#include "tests/support/RegistryValue.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace {

using kq::HostProcess;
using kq::test::ChildProcess;

constexpr int kExitClean = 0;
constexpr int kExitTrouble = 1;
constexpr int kExitCannotStart = 2;
// A process that ends with a status of error severity (an access violation, for one) died.
constexpr DWORD kFirstFailureStatus = ERROR_SEVERITY_ERROR;

// A dialog that does not answer within this counts as a hang (not scaled: it is the check).
constexpr DWORD kHangMs = 5000;
// What the host is told to sleep, every kHangEvery rounds, while the round's dialogs open.
constexpr DWORD kHostHangMs = 3000;
constexpr int kHangEvery = 6;
// Posted to a dialog opener's thread: open the next dialog (tests/helpers/dialog_opener.cpp).
constexpr UINT kNextDialogMsg = WM_APP;
// Before counting a program's objects, the closed dialog's leftovers (deferred releases, posted
// destruction) are given this long; then each figure is the least of a few counts this far
// apart (what is held for a moment, a region while a window paints, is not kept).
constexpr DWORD kQuietBeforeCountMs = 1000;
constexpr int kCountSamples = 3;
constexpr DWORD kCountSampleGapMs = 250;
// The set's two buttons: Favourites (index 0) and History (1); the host hears code index + 1.
constexpr int kButtonsInSet = 2;

// The dialog opener's modes the soak's programs take, one program each, round robin.
const char* const kOpenerModes[][3] = {
    {"open", nullptr, nullptr}, {"openw", nullptr, nullptr}, {"itemopen", nullptr, nullptr},
    {"open", "--owner", "a"},   {"openw", "--owner", "w"},
};
// The system's programs among the soak's: their executable (a system folder's variable and the
// path under it) and their main window's class. Ctrl+O opens their Open dialog.
struct SystemProgram {
  const char* name;
  const char* folderVariable;
  const char* path;
  const char* windowClass;
};
constexpr SystemProgram kNotepad = {"notepad", "SystemRoot", "\\system32\\notepad.exe", "Notepad"};
constexpr SystemProgram kWordPad = {"wordpad", "ProgramFiles", "\\Windows NT\\Accessories\\wordpad.exe", "WORDPADTOP"};
const SystemProgram* const kSystemPrograms[] = {&kNotepad, &kWordPad, &kNotepad};
// Ctrl+O is pressed at most this often, each time waited for this long but the last.
constexpr int kKeyAttempts = 3;
const DWORD kKeysHeardMs = kq::test::Scaled(5000);

// The settings the soak changes under the host's key, each between two values.
struct SettingChange {
  const char* name;
  const char* values[2];
};
constexpr SettingChange kSettingChanges[] = {
    {kq::kDlgTranspaency, {"230", "255"}},
    {kq::kCaptionButtonSkinType, {"1", "0"}},
    {kq::kViewStyle, {"2", "0"}},
    {kq::kDlgResize, {"1", "0"}},
};

struct Footprint {
  kq::test::GdiObjectCounts gdi;
  int user = 0;
  SIZE_T privateBytes = 0;
};

// One program of the soak and what it showed.
struct Program {
  ChildProcess process;
  std::string name;
  bool opener = false;  // else one of the system's programs
  HWND main = nullptr;  // the system program's main window
  DWORD thread = 0;     // the opener's thread, known from its first dialog
  HWND dialog = nullptr;
  bool gone = false;  // died, or hung and left alone
  // After the first dialog, the middle one and the last: a leak grows in both halves, the
  // system's caches fill in the first.
  Footprint footprints[3];
};

std::string SystemProgramPath(const SystemProgram& program) {
  char folder[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA(program.folderVariable, folder, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : folder + std::string(program.path);
}

// The system program of a slot, round robin; Notepad stands in for one that is not installed.
const SystemProgram& SystemProgramAt(size_t slot) {
  const SystemProgram& program = *kSystemPrograms[slot % std::size(kSystemPrograms)];
  const std::string path = SystemProgramPath(program);
  return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? program : kNotepad;
}

BOOL CALLBACK CountWindow(HWND wnd, LPARAM param) {
  auto* search = reinterpret_cast<std::pair<DWORD, int>*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wnd, &pid);
  if (pid == search->first) {
    ++search->second;
    ::EnumChildWindows(wnd, CountWindow, param);
  }
  return TRUE;
}

// The windows a process holds (the USER objects that can be counted from outside it).
int WindowsOf(DWORD pid) {
  std::pair<DWORD, int> search{pid, 0};
  ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

// The committed private memory of a process, region by region.
SIZE_T PrivateBytesOf(HANDLE process) {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION info = {};
  const char* address = nullptr;
  while (::VirtualQueryEx(process, address, &info, sizeof(info)) == sizeof(info)) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

Footprint FootprintOf(const Program& program) {
  return {kq::test::GdiObjectCountsOf(program.process.Handle()), WindowsOf(program.process.Pid()),
          PrivateBytesOf(program.process.Handle())};
}

std::string ClassOf(HWND wnd) {
  char name[64] = {};
  ::GetClassNameA(wnd, name, sizeof(name));
  return name;
}

// Keys pressed as a user presses them, through the system's input queue: Ctrl+O, the system
// programs' Open.
void PressControlO() {
  INPUT keys[4] = {};
  const WORD codes[4] = {VK_CONTROL, 'O', 'O', VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = codes[i];
    keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
  }
  ::SendInput(4, keys, sizeof(INPUT));
}

// A folder that is there, spelt as the system gives it, without a trailing backslash.
std::vector<std::string> SoakFolders() {
  std::vector<std::string> folders;
  for (const char* variable : {"WINDIR", "PUBLIC", "ALLUSERSPROFILE", "USERPROFILE"}) {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableA(variable, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) continue;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) folders.push_back(path);
  }
  return folders;
}

bool SamePath(std::string a, std::string b) {
  while (a.size() > 3 && a.back() == '\\') a.pop_back();
  while (b.size() > 3 && b.back() == '\\') b.pop_back();
  return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

bool Answers(HWND wnd, DWORD timeoutMs = kHangMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

// What the command line asks; the soak's own run is every default.
struct SoakOptions {
  std::string build;
  int programs = 8;
  int dialogs = 25;
  bool hooks = true;     // --no-hook: the host without its hooks
  bool settings = true;  // --no-settings: the settings stay as they are
  bool moves = true;     // --no-moves: no set-folder records, no folder asks
};

class Soak {
 public:
  explicit Soak(const SoakOptions& options) : options_(options) {}

  int Run() {
    folders_ = SoakFolders();
    if (folders_.empty()) return Fail("no folder to move dialogs to");
    if (!host_.Start(options_.hooks ? std::vector<std::string>{} : std::vector<std::string>{"--no-hook"}))
      return Fail("the stand-in host did not start");
    if (!StartPrograms()) return kExitCannotStart;
    for (int round = 0; round < options_.dialogs; ++round) {
      RunRound(round);
      if (round == 0) CountFootprints(0);
      if (round == options_.dialogs / 2) CountFootprints(1);
      if (round == options_.dialogs - 1) CountFootprints(2);
      if (round % 5 == 4) std::printf("soak: round %d of %d done\n", round + 1, options_.dialogs);
    }
    EndPrograms();
    // A host that died (or could not be ended) counts as a crash like any program.
    const DWORD hostEnd = host_.Stop();
    if (hostEnd == STILL_ACTIVE || hostEnd >= kFirstFailureStatus) {
      ++crashes_;
      std::printf("soak: the host ended with 0x%lx\n", static_cast<unsigned long>(hostEnd));
    }
    return Report();
  }

 private:
  int Fail(const char* why) {
    std::printf("soak: %s\n", why);
    return kExitCannotStart;
  }

  bool StartPrograms() {
    const std::string opener = kq::test::HelperPath("dialog_opener.exe");
    const int openers = std::max(options_.programs - static_cast<int>(std::size(kSystemPrograms)), 1);
    for (int i = 0; i < options_.programs; ++i) {
      auto program = std::make_unique<Program>();
      program->opener = i < openers;
      bool started = false;
      if (program->opener) {
        const auto& mode = kOpenerModes[i % std::size(kOpenerModes)];
        program->name =
            std::string("dialog_opener ") + mode[0] + (mode[1] ? std::string(" ") + mode[1] + " " + mode[2] : "");
        std::vector<std::string> args = {mode[0], "--repeat", std::to_string(options_.dialogs), "--title",
                                         "Soak " + std::to_string(i)};
        if (mode[1]) args.insert(args.end(), {mode[1], mode[2]});
        started = program->process.Start(opener, args);
      } else {
        const SystemProgram& system = SystemProgramAt(static_cast<size_t>(i - openers));
        const std::string path = SystemProgramPath(system);
        program->name = system.name;
        started = program->process.Start(path);
        if (started) {
          program->main = program->process.WaitForWindowOfClass(system.windowClass, kq::test::kDialogWaitMs);
          if (!program->main) {
            std::printf("soak: %s showed no window\n", path.c_str());
            return false;
          }
        }
      }
      if (!started) {
        std::printf("soak: %s did not start\n", program->name.c_str());
        return false;
      }
      programs_.push_back(std::move(program));
    }
    return true;
  }

  void RunRound(int round) {
    if (options_.settings) ChangeSettings(round);
    // Now and then the host sleeps while the dialogs open and ask it for their start folder.
    if (round % kHangEvery == kHangEvery - 1) host_.Command("hang " + std::to_string(kHostHangMs));
    for (auto& program : programs_) OpenDialog(*program, round);
    for (auto& program : programs_)
      if (program->opener) WaitForDialog(*program);
    // Whatever the host was doing, it answers again before it is pressed at.
    host_.Command("echo round " + std::to_string(round));
    for (size_t i = 0; i < programs_.size(); ++i) {
      Program& program = *programs_[i];
      if (program.gone || !program.dialog || !options_.hooks) continue;
      const int press = static_cast<int>((round + i) % kButtonsInSet);
      const size_t folder = (round + i) % folders_.size();
      if (round == 0) MeetEverything(program);
      Press(program, press);
      if (options_.moves) SetAndAskFolder(program, folders_[folder]);
    }
    for (auto& program : programs_) CloseDialog(*program);
    CheckAlive();
  }

  // The first dialog meets everything later dialogs meet: under each value of the settings (the
  // other ones written and the host telling the dialog to read them again, then the first ones
  // back), every button is pressed and every folder shown. What the system keeps once a process
  // has drawn something for the first time (a menu, a pushed frame, a folder's icons in a view) is
  // then in the first figures, and only what dialogs leave behind counts as growth.
  void MeetEverything(Program& program) {
    for (int pass = 0; pass < 2; ++pass) {
      if (options_.settings) {
        WriteSettings([pass](const SettingChange& change) { return change.values[pass == 0 ? 1 : 0]; });
        host_.Command("send " + kq::HexOf(program.dialog) + " " + kq::kUpdateButtonMsgName + " 0 0");
      }
      for (int button = 0; button < kButtonsInSet; ++button) Press(program, button);
      for (size_t folder = 0; options_.moves && folder < folders_.size(); ++folder)
        SetAndAskFolder(program, folders_[folder]);
    }
  }

  // The first dialog opens with every setting at its first value (and meets the others there);
  // each later round turns one setting to its other value, so that every eighth round after the
  // first (the 25th dialog among them) is back where the first was.
  void ChangeSettings(int round) {
    constexpr int kSettings = static_cast<int>(std::size(kSettingChanges));
    WriteSettings([round](const SettingChange& change) -> const char* {
      const int i = static_cast<int>(&change - kSettingChanges);
      if (round == 0) return change.values[0];
      if ((round - 1) % kSettings != i) return nullptr;
      return change.values[((round - 1) / kSettings + 1) % 2];
    });
  }

  // Writes the value valueOf gives each setting (none where it gives null) under the host's key.
  template <typename ValueOf>
  void WriteSettings(ValueOf valueOf) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kq::test::kHostKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
      return;
    for (const SettingChange& change : kSettingChanges) {
      const char* value = valueOf(change);
      if (!value) continue;
      ::RegSetValueExA(key, change.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(std::strlen(value) + 1));
    }
    ::RegCloseKey(key);
  }

  void OpenDialog(Program& program, int round) {
    if (program.gone) return;
    if (!program.opener)
      OpenWithKeys(program);
    else if (round > 0)
      ::PostThreadMessageA(program.thread, kNextDialogMsg, 0, 0);
  }

  // A system program opens its dialog at Ctrl+O in its window, which must be the foreground one
  // to get it; its dialog is waited for here, before the next program takes the foreground. Keys
  // that went elsewhere (another window took the foreground meanwhile) are pressed again while the
  // program answers.
  void OpenWithKeys(Program& program) {
    HWND dialog = nullptr;
    for (int attempt = 0; attempt < kKeyAttempts && !dialog; ++attempt) {
      for (int wait = 0; wait < 20 && ::GetForegroundWindow() != program.main; ++wait) {
        ::SetForegroundWindow(program.main);
        kq::test::PumpMessagesFor(50);
      }
      PressControlO();
      dialog = FindDialog(program, attempt + 1 < kKeyAttempts ? kKeysHeardMs : kq::test::kDialogWaitMs);
      if (!program.process.Running() || !Answers(program.main)) break;
    }
    TakeDialog(program, dialog);
  }

  // The program's file dialog: its visible top-level dialog-class window.
  HWND FindDialog(const Program& program, DWORD timeoutMs) const {
    return program.process.WaitForWindow([](HWND wnd) { return ClassOf(wnd) == "#32770"; }, timeoutMs);
  }

  void WaitForDialog(Program& program) {
    if (!program.gone) TakeDialog(program, FindDialog(program, kq::test::kDialogWaitMs));
  }

  // The dialog that showed (or null) becomes the program's, unless it does not answer.
  void TakeDialog(Program& program, HWND dialog) {
    program.dialog = nullptr;
    if (!dialog || !Answers(dialog)) {
      if (program.process.Running()) {
        ++hangs_;
        std::printf("soak: %s: %s\n", program.name.c_str(), dialog ? "its dialog did not answer" : "no dialog showed");
      }
      program.gone = true;
      return;
    }
    program.dialog = dialog;
    if (program.opener && !program.thread) program.thread = ::GetWindowThreadProcessId(dialog, nullptr);
  }

  // A press of button index with real mouse input, brought to the front first; heard when the
  // host's log gets its line.
  void Press(Program& program, int index) {
    ++presses_;
    const size_t before = host_.LogLines().size();
    const POINT at = kq::test::CentreOf(kq::test::DialogButtonRect(program.dialog, index));
    for (int attempt = 0; attempt < 20; ++attempt) {
      ::SetForegroundWindow(program.dialog);
      ::SetWindowPos(program.dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      kq::test::PumpMessagesFor(50);
      if (::GetAncestor(::WindowFromPoint(at), GA_ROOT) == program.dialog) break;
    }
    kq::test::ClickAt(at);
    if (host_.WaitForLine("manage code=" + std::to_string(index + 1) + " ", nullptr, kq::test::kReportWaitMs, before))
      ++heard_;
    else
      std::printf("soak: %s: the press of button %d was not heard\n", program.name.c_str(), index);
  }

  void SetAndAskFolder(Program& program, const std::string& folder) {
    const std::string wnd = kq::HexOf(program.dialog);
    ++records_;
    LRESULT answer = 0;
    if (host_.Command("setfolder " + wnd + " " + folder, &answer) && answer == 1)
      ++set_;
    else
      std::printf("soak: %s: set folder %s answered %ld\n", program.name.c_str(), folder.c_str(), long(answer));
    // The dialog may take a moment to show the folder it was sent to; the last ask counts.
    ++asks_;
    std::string shown;
    const DWORD start = ::GetTickCount();
    do {
      const size_t before = host_.LogLines().size();
      std::string line;
      if (host_.Command("getfolder " + wnd, &answer) && answer == 1 &&
          host_.WaitForLine("getfolder hwnd=" + wnd + " ", &line, kq::test::kReportWaitMs, before)) {
        const size_t at = line.find(" folder=");
        shown = at == std::string::npos ? std::string() : line.substr(at + 8);
        if (SamePath(shown, folder)) {
          ++answered_;
          return;
        }
      }
      kq::test::PumpMessagesFor(100);
    } while (::GetTickCount() - start < kq::test::kReportWaitMs);
    std::printf("soak: %s: asked its folder after a move to %s, it said \"%s\"\n", program.name.c_str(), folder.c_str(),
                shown.c_str());
  }

  void CloseDialog(Program& program) {
    if (program.gone || !program.dialog) return;
    ::PostMessageA(program.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    const DWORD start = ::GetTickCount();
    while (::IsWindow(program.dialog) && ::GetTickCount() - start < kq::test::kCloseWaitMs)
      kq::test::PumpMessagesFor(20);
    if (::IsWindow(program.dialog)) {
      ++hangs_;
      std::printf("soak: %s: its dialog did not close\n", program.name.c_str());
      program.gone = true;
    }
    program.dialog = nullptr;
  }

  void CheckAlive() {
    for (auto& program : programs_) {
      if (program->gone || program->process.Running()) continue;
      ++crashes_;
      std::printf("soak: %s ended while the soak ran\n", program->name.c_str());
      program->gone = true;
    }
  }

  void CountFootprints(int when) {
    kq::test::PumpMessagesFor(kQuietBeforeCountMs);
    for (int sample = 0; sample < kCountSamples; ++sample) {
      if (sample > 0) kq::test::PumpMessagesFor(kCountSampleGapMs);
      for (auto& program : programs_) {
        if (program->gone) continue;
        const Footprint now = FootprintOf(*program);
        Footprint& least = program->footprints[when];
        if (sample == 0) {
          least = now;
          continue;
        }
        least.gdi.total = std::min(least.gdi.total, now.gdi.total);
        least.gdi.displayDeviceContexts = std::min(least.gdi.displayDeviceContexts, now.gdi.displayDeviceContexts);
        least.gdi.regions = std::min(least.gdi.regions, now.gdi.regions);
        least.user = std::min(least.user, now.user);
        least.privateBytes = std::min(least.privateBytes, now.privateBytes);
      }
    }
  }

  void EndPrograms() {
    for (auto& program : programs_) {
      // An opener ends when posted after its last dialog; one that died meanwhile was counted.
      if (program->opener && !program->gone)
        ::PostThreadMessageA(program->thread, kNextDialogMsg, 0, 0);
      else if (!program->gone)
        ::PostMessageA(program->main, WM_CLOSE, 0, 0);
      const auto code = program->process.WaitForExit(kq::test::kCloseWaitMs);
      if (!code && !program->gone) {
        // A program that answers but asks something first (a stray key typed into its text, and
        // it wants it saved) is ended, not counted: only one that does not answer hung.
        const HWND asking =
            program->process.WaitForWindow([&](HWND wnd) { return wnd != program->main && ::IsWindowVisible(wnd); }, 0);
        char title[128] = {};
        if (asking) ::GetWindowTextA(asking, title, sizeof(title));
        if (asking && Answers(asking)) {
          std::printf("soak: %s did not end: it asked \"%s\" (ended)\n", program->name.c_str(), title);
        } else {
          ++hangs_;
          std::printf("soak: %s did not end\n", program->name.c_str());
        }
        program->process.Terminate();
      } else if (code && *code >= kFirstFailureStatus) {
        ++crashes_;
        std::printf("soak: %s ended with 0x%lx\n", program->name.c_str(), static_cast<unsigned long>(*code));
      }
    }
  }

  int Report() {
    long long gdi = 0, user = 0, privateBytes = 0;
    for (auto& program : programs_) {
      if (program->gone) continue;
      const Footprint(&f)[3] = program->footprints;
      // The system's cache of window DCs (and the visible region each holds) is told apart: it
      // grows to how many painted windows the process had at once, up to the system's bound, and a
      // DC the library took and kept shows in the system's own warning (scripts/soak counts it).
      auto cached = [](const Footprint& a, const Footprint& b) {
        const int dcs = std::max(0, b.gdi.displayDeviceContexts - a.gdi.displayDeviceContexts);
        return dcs + std::clamp(b.gdi.regions - a.gdi.regions, 0, dcs);
      };
      std::printf(
          "soak: %-32s GDI %d -> %d -> %d (the system's window DCs and their regions %+d, %+d), windows %d -> %d -> "
          "%d, private %lu -> %lu -> %lu KiB\n",
          program->name.c_str(), f[0].gdi.total, f[1].gdi.total, f[2].gdi.total, cached(f[0], f[1]), cached(f[1], f[2]),
          f[0].user, f[1].user, f[2].user, static_cast<unsigned long>(f[0].privateBytes / 1024),
          static_cast<unsigned long>(f[1].privateBytes / 1024), static_cast<unsigned long>(f[2].privateBytes / 1024));
      gdi = std::max<long long>(gdi, f[2].gdi.total - f[0].gdi.total - cached(f[0], f[2]));
      user = std::max<long long>(user, f[2].user - f[0].user);
      privateBytes = std::max<long long>(
          privateBytes, static_cast<long long>(f[2].privateBytes) - static_cast<long long>(f[0].privateBytes));
    }
    const int lost = (presses_ - heard_) + (records_ - set_) + (asks_ - answered_);
    if (!options_.hooks) {
      // The programs' own figures: what their dialogs grow by without the library.
      std::printf(
          "soak: without the library: %d programs x %d dialogs (%s), crashes %d, hangs %d, GDI +%lld, USER +%lld, "
          "private +%lld KiB\n",
          options_.programs, options_.dialogs, options_.build.c_str(), crashes_, hangs_, gdi, user,
          privateBytes / 1024);
      return crashes_ || hangs_ ? kExitTrouble : kExitClean;
    }
    std::printf(
        "soak: %d programs x %d dialogs (%s), presses heard %d of %d, folders set %d of %d, crashes %d, hangs %d, "
        "lost %d, GDI +%lld, USER +%lld, private +%lld KiB\n",
        options_.programs, options_.dialogs, options_.build.c_str(), heard_, presses_, set_, records_, crashes_, hangs_,
        lost, gdi, user, privateBytes / 1024);
    return crashes_ || hangs_ || lost ? kExitTrouble : kExitClean;
  }

  const SoakOptions options_;
  HostProcess host_;
  std::vector<std::unique_ptr<Program>> programs_;
  std::vector<std::string> folders_;
  int presses_ = 0, heard_ = 0, records_ = 0, set_ = 0, asks_ = 0, answered_ = 0;
  int crashes_ = 0, hangs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: soak_driver BUILD [--programs P] [--dialogs D] [--no-hook] [--no-settings] [--no-moves]\n");
    return kExitCannotStart;
  }
  SoakOptions options;
  options.build = argv[1];
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-hook") == 0)
      options.hooks = false;
    else if (std::strcmp(argv[i], "--no-settings") == 0)
      options.settings = false;
    else if (std::strcmp(argv[i], "--no-moves") == 0)
      options.moves = false;
    else if (std::strcmp(argv[i], "--programs") == 0 && i + 1 < argc)
      options.programs = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--dialogs") == 0 && i + 1 < argc)
      options.dialogs = std::max(2, std::atoi(argv[++i]));
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  return Soak(options).Run();
}
