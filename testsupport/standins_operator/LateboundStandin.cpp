// Stand-in of the installed agent's late-bound package library. Its two
// entries are exported by ordinal only (see the .def file): 1 forces and
// tests the load, 2 installs one package. Each call is recorded with its
// arguments; ordinal 2 answers what "answers.ini" says for the package's
// type ("package0" .. "package3").
#include <windows.h>

#include <string>

#include "StandinJournal.h"

extern "C" DWORD WINAPI LateboundLoadTest() {
  standin::Record(L"latebound.1");
  return static_cast<DWORD>(standin::Answer(L"latebound1"));
}

extern "C" DWORD WINAPI LateboundInstallPackage(const wchar_t* package, const wchar_t* target, DWORD reserved,
                                                DWORD type) {
  standin::Record(L"latebound.2|" + standin::Text(package) + L"|" + standin::Text(target) + L"|" +
                  std::to_wstring(reserved) + L"|" + std::to_wstring(type));
  std::wstring key = L"package" + std::to_wstring(type);
  return static_cast<DWORD>(standin::Answer(key.c_str()));
}
