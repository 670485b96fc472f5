// Custom-action program of the test packages.
//   lark_msi_recorder copy SETTINGS_FILE TARGET_DIR
//     copies the settings file that the installer handed to the package to
//     TARGET_DIR\recorded.bcx_settings before the installer deletes it, or
//     writes TARGET_DIR\no_settings_file when none was handed over;
//   lark_msi_recorder fail
//     exits with 1, so that the installation fails and rolls back.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && lstrcmpW(argv[1], L"fail") == 0) return 1;
  if (argc < 4 || lstrcmpW(argv[1], L"copy") != 0) return 2;
  std::wstring source = argv[2];
  std::wstring dir = argv[3];
  if (source.empty() || GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
    HANDLE marker = CreateFileW((dir + L"\\no_settings_file").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 3;
    CloseHandle(marker);
    return 0;
  }
  return CopyFileW(source.c_str(), (dir + L"\\recorded.bcx_settings").c_str(), FALSE) ? 0 : 4;
}
