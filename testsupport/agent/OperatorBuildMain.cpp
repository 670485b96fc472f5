// lark_operator_build SOURCE TARGET [Key=Value | -Key]...
// Copies SOURCE (a larkstubinst.exe) to TARGET with its operator settings
// changed: Key=Value sets a key (added when missing), -Key removes it.
// Exit code 0 on success, 1 on failure, 2 for bad arguments.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace larktest {
bool MakeOperatorBuild(const std::wstring& source, const std::wstring& target,
                       const std::map<std::wstring, std::wstring>& set, const std::vector<std::wstring>& remove);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: lark_operator_build SOURCE TARGET [Key=Value|-Key]...\n");
    return 2;
  }
  std::map<std::wstring, std::wstring> set;
  std::vector<std::wstring> remove;
  for (int i = 3; i < argc; ++i) {
    std::wstring arg = argv[i];
    size_t equals = arg.find(L'=');
    if (!arg.empty() && arg[0] == L'-' && equals == std::wstring::npos)
      remove.push_back(arg.substr(1));
    else if (equals != std::wstring::npos && equals > 0)
      set[arg.substr(0, equals)] = arg.substr(equals + 1);
    else
      return 2;
  }
  return larktest::MakeOperatorBuild(argv[1], argv[2], set, remove) ? 0 : 1;
}
