// Nothing but one function that uses std::string: what the static runtime alone costs a DLL.
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) size_t BaselineLength(const char* text) {
  std::string copy(text ? text : "");
  copy += '.';
  return copy.size();
}
