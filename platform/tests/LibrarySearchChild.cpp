// Helper program for the library-search tests:
//   LibrarySearchChild restricted|plain
// restricts the library search first (restricted) or not (plain), then
// loads "larkprobe.dll" by name; exits 1 when a library of that name loaded,
// 0 when none did.
#include <windows.h>

#include <wchar.h>

#include "platform/SystemLibrary.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 99;
  if (wcscmp(argv[1], L"restricted") == 0) {
    RestrictLibrarySearch();
  } else if (wcscmp(argv[1], L"plain") != 0) {
    return 99;
  }
  return LoadLibraryW(L"larkprobe.dll") ? 1 : 0;
}
