#include "host/HostCommands.h"

#include "host/HostProtocol.h"

#include <algorithm>
#include <vector>

namespace lntrhost {
namespace {

// How long the host waits for a window it sends a command to (5 s on a machine of usual speed).
const DWORD kHostSendTimeoutMs = 5000 * TimeScale();
constexpr UINT kHostSendFlags = SMTO_ABORTIFHUNG | SMTO_NORMAL;

// The command's words: Word(n) is the n-th blank-separated word, Rest(n) everything after the
// first n words and the one blank that follows them (texts may hold blanks).
class CommandLine {
 public:
  explicit CommandLine(const std::string& text) : text_(text) {
    size_t pos = 0;
    while (pos < text_.size()) {
      size_t end = text_.find(' ', pos);
      if (end == std::string::npos) end = text_.size();
      if (end > pos) words_.push_back({pos, end});
      pos = end + 1;
    }
  }
  size_t Count() const { return words_.size(); }
  std::string Word(size_t n) const {
    return n < words_.size() ? text_.substr(words_[n].first, words_[n].second - words_[n].first) : std::string();
  }
  std::string Rest(size_t n) const {
    if (n == 0) return text_;
    if (n > words_.size()) return {};
    size_t start = words_[n - 1].second + 1;
    return start < text_.size() ? text_.substr(start) : std::string();
  }
  bool Number(size_t n, long long* value) const { return ParseNumber(Word(n), value); }
  HWND Window(size_t n) const {
    std::string word = Word(n);
    if (word.rfind("0x", 0) != 0 && word.rfind("0X", 0) != 0) word = "0x" + word;
    long long value = 0;
    return ParseNumber(word, &value) ? reinterpret_cast<HWND>(static_cast<uintptr_t>(value)) : nullptr;
  }

 private:
  std::string text_;
  std::vector<std::pair<size_t, size_t>> words_;
};

std::string Answer(LRESULT value) { return " answer=" + std::to_string(value); }

// send/post <hwnd> <message name or number> <wParam> <lParam>
LRESULT SendNamed(HostContext& context, const CommandLine& command, bool post) {
  HWND target = command.Window(1);
  std::string name = command.Word(2);
  long long number = 0, wParam = 0, lParam = 0;
  if (!command.Number(3, &wParam) || !command.Number(4, &lParam)) {
    context.log.Line("error command=" + command.Rest(0));
    return 0;
  }
  UINT msg = ParseNumber(name, &number) ? static_cast<UINT>(number) : ::RegisterWindowMessageA(name.c_str());
  DWORD_PTR answer = 0;
  bool sent = post ? ::PostMessageA(target, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE
                   : ::SendMessageTimeoutA(target, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam),
                                           kHostSendFlags, kHostSendTimeoutMs, &answer) != 0;
  context.log.Line(command.Word(0) + " hwnd=" + Hex(target) + " msg=" + name + " sent=" + (sent ? "1" : "0") +
                   Answer(static_cast<LRESULT>(answer)));
  return sent ? (post ? 1 : static_cast<LRESULT>(answer)) : 0;
}

void ForgetDisabled(HostOptions& options, const std::string& exe) {
  auto& list = options.disabledExes;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::string& name) { return ::lstrcmpiA(name.c_str(), exe.c_str()) == 0; }),
             list.end());
}

}  // namespace

LRESULT SendGetFolder(HostContext& context, HWND target, bool abortIfHung) {
  DWORD_PTR answer = 0;
  const UINT flags = abortIfHung ? kHostSendFlags : SMTO_NORMAL;
  bool sent = context.getDlgFolderMsg != 0 &&
              ::SendMessageTimeoutA(target, context.getDlgFolderMsg, 0, 0, flags, kHostSendTimeoutMs, &answer);
  context.log.Line("getfolder hwnd=" + Hex(target) + " sent=" + (sent ? "1" : "0") +
                   Answer(static_cast<LRESULT>(answer)) + " folder=" + context.block.ReadProbedFolder());
  return sent ? 1 : 0;
}

LRESULT SendSetFolder(HostContext& context, HWND target, const std::string* folder, long long cbData,
                      const std::string& name) {
  // The folder in the host's text: UTF-8 in its own record for a host that reads it.
  const bool utf8 = context.block.ReadsUtf8();
  const std::string payload = folder ? (utf8 ? *folder : Utf8ToAnsi(*folder)) : std::string();
  COPYDATASTRUCT record = {};
  record.dwData = utf8 ? kq::CopyDataSetFolderUtf8 : kq::CopyDataSetFolder;
  if (folder) {
    // Never more than the text and its zero: the host does not send what it does not have.
    const size_t whole = payload.size() + 1;
    record.cbData = static_cast<DWORD>(cbData < 0 || static_cast<size_t>(cbData) > whole ? whole : cbData);
    record.lpData = const_cast<char*>(payload.c_str());
  }
  DWORD_PTR answer = 0;
  bool sent = ::SendMessageTimeoutA(target, WM_COPYDATA, reinterpret_cast<WPARAM>(context.window),
                                    reinterpret_cast<LPARAM>(&record), kHostSendFlags, kHostSendTimeoutMs, &answer);
  context.log.Line(name + " hwnd=" + Hex(target) + " sent=" + (sent ? "1" : "0") +
                   Answer(static_cast<LRESULT>(answer)) + (folder ? " path=" + *folder : std::string()));
  return sent ? static_cast<LRESULT>(answer) : 0;
}

LRESULT RunHostCommand(HostContext& context, const std::string& line) {
  CommandLine command(line);
  std::string verb = command.Word(0);
  long long number = 0;
  if (verb == "setfolder" && command.Window(1)) {
    std::string folder = command.Rest(2);
    return SendSetFolder(context, command.Window(1), &folder, -1, verb);
  }
  if (verb == "setfoldernull" && command.Window(1)) return SendSetFolder(context, command.Window(1), nullptr, -1, verb);
  if (verb == "setfoldercb" && command.Window(1) && command.Number(2, &number) && number >= 0) {
    std::string folder = command.Rest(3);
    return SendSetFolder(context, command.Window(1), &folder, number, verb);
  }
  if (verb == "getfolder" && command.Window(1)) return SendGetFolder(context, command.Window(1));
  if (verb == "rect" && command.Window(1)) {
    RECT r = {};
    const bool known = ::GetWindowRect(command.Window(1), &r) != FALSE;
    context.log.Line("rect hwnd=" + Hex(command.Window(1)) + " left=" + std::to_string(r.left) +
                     " top=" + std::to_string(r.top) + " right=" + std::to_string(r.right) +
                     " bottom=" + std::to_string(r.bottom));
    return known ? 1 : 0;
  }
  if ((verb == "send" || verb == "post") && command.Count() == 5 && command.Window(1))
    return SendNamed(context, command, verb == "post");
  if (verb == "startfolder") {
    context.options.startFolder = command.Rest(1);
    context.log.Line("startfolder folder=" + context.options.startFolder);
    return 1;
  } else if (verb == "hostfolder") {
    context.block.WriteHostFolder(command.Rest(1));
    context.log.Line("hostfolder folder=" + command.Rest(1));
    return 1;
  } else if (verb == "probedfolder") {
    context.log.Line("probedfolder folder=" + context.block.ReadProbedFolder());
    return 1;
  } else if (verb == "doubleclick" && command.Number(1, &number)) {
    context.block.SetDoubleClickMenu(number != 0);
    context.log.Line("doubleclick value=" + std::to_string(number != 0));
    return 1;
  } else if (verb == "disable" && command.Count() >= 2) {
    context.options.disabledExes.push_back(command.Rest(1));
    context.log.Line("disable exe=" + command.Rest(1));
    return 1;
  } else if (verb == "enable" && command.Count() >= 2) {
    ForgetDisabled(context.options, command.Rest(1));
    context.log.Line("enable exe=" + command.Rest(1));
    return 1;
  } else if (verb == "disabledanswer" && command.Number(1, &number)) {
    context.options.otherAnswer = static_cast<LRESULT>(number);
    context.log.Line("disabledanswer" + Answer(context.options.otherAnswer));
    return 1;
  } else if (verb == "hang" && command.Number(1, &number) && number >= 0) {
    // The sender of this command goes on at once; everyone after it waits until the sleep ends.
    context.log.Line("hang ms=" + std::to_string(number));
    ::ReplyMessage(1);
    ::Sleep(static_cast<DWORD>(number));
    context.log.Line("hang done");
    return 1;
  } else if (verb == "menu" && (command.Word(1) == "on" || command.Word(1) == "off")) {
    context.options.menu = command.Word(1) == "on";
    context.log.Line("menu " + command.Word(1));
    return 1;
  } else if (verb == "utf8" && command.Number(1, &number)) {
    const bool done = context.block.SetReadsUtf8(number != 0);
    context.log.Line("utf8 value=" + std::to_string(number != 0) + " answer=" + (done ? "1" : "0"));
    return done ? 1 : 0;
  } else if (verb == "echo") {
    context.log.Line("echo " + command.Rest(1));
    return 1;
  } else if (verb == "quit") {
    context.log.Line("quit");
    ::PostMessageA(context.window, WM_CLOSE, 0, 0);
    return 1;
  }
  context.log.Line("error command=" + line);
  return 0;
}

}  // namespace lntrhost
