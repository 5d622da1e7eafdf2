#include "host/HostOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lntrhost {

bool ParseNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long result = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *value = result;
  return true;
}

bool ParseHostOptions(int argc, char** argv, HostOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = "missing value for " + arg;
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string text;
    long long number = 0;
    if (arg == "--log") {
      if (!value(&options->logPath)) return false;
    } else if (arg == "--mapping-size") {
      if (!value(&text)) return false;
      if (!ParseNumber(text, &number) || number < 1 || number > MAXLONG) {
        *error = "bad mapping size " + text;
        return false;
      }
      options->mappingSize = static_cast<DWORD>(number);
    } else if (arg == "--start-folder") {
      if (!value(&options->startFolder)) return false;
    } else if (arg == "--double-click-menu") {
      options->doubleClickMenu = true;
    } else if (arg == "--disable") {
      if (!value(&text)) return false;
      options->disabledExes.push_back(text);
    } else if (arg == "--disabled-answer") {
      if (!value(&text)) return false;
      if (!ParseNumber(text, &number)) {
        *error = "bad answer " + text;
        return false;
      }
      options->otherAnswer = static_cast<LRESULT>(number);
    } else if (arg == "--ask-folder-before-disabling") {
      options->askFolderBeforeDisabling = true;
    } else if (arg == "--dll") {
      if (!value(&options->dllPath)) return false;
    } else if (arg == "--no-hook") {
      options->hook = false;
    } else if (arg == "--hang-after-start") {
      options->hangAfterStart = true;
    } else if (arg == "--show") {
      options->show = true;
    } else if (arg == "--menu") {
      options->menu = true;
    } else if (arg == "--utf8") {
      options->utf8 = true;
    } else if (arg == "--menu-folder") {
      if (!value(&text)) return false;
      options->menuFolders.push_back(text);
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

}  // namespace lntrhost
