// Shared by the option tests: captures what the code under test writes to
// the standard output handle (the console functions fall back to UTF-8 on
// a file) and holds the exact usage text.
#pragma once

#include <windows.h>

#include <string>

#include "testsupport/TestEnv.h"

namespace optionstest {

const char kUsage[] =
    "\n"
    "Usage:\n"
    " -l   --language <lang-code>, select installation language\n"
    " -i   --installer <file>, installs package from specified file\n"
    " -c   --customization-directory <dir>, install customizations from directory\n"
    " -s   --silent, runs program without user interaction\n"
    "      --help-directory <dir>, install help package from directory\n"
    "      --settings-directory <dir>, install settings package from directory\n"
    "      --loc-directory <dir>, install localization package from directory\n"
    "      --eula-directory <dir>, read EULA from a directory\n"
    "      --privacy-directory <dir>, read privacy policy from a directory\n"
    "      --min-mem-mb <mb>, minimum memory requirement in megabytes (default 500)\n"
    "      --min-program-mb, min disk free in Program Files in MB\n"
    "      --no-launch, don't launch post-install processes\n"
    "      --show-settings, show embedded settings\n"
    "      --user-sid, set the Secure IDentfier of currently logged user (user who started the "
    "stub installer)\n";

// Redirects STD_OUTPUT_HANDLE to a scratch file while it lives.
class StdoutCapture {
 public:
  StdoutCapture() : m_dir(L"stdout-capture"), m_path(m_dir.file(L"out.txt")) {
    m_file = CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, CREATE_ALWAYS, 0, nullptr);
    m_previous = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, m_file);
  }
  ~StdoutCapture() {
    SetStdHandle(STD_OUTPUT_HANDLE, m_previous);
    CloseHandle(m_file);
  }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string Text() const {
    std::string bytes;
    larktest::ReadFileBytes(m_path, bytes);
    return bytes;
  }

 private:
  larktest::ScratchDir m_dir;
  std::wstring m_path;
  HANDLE m_file;
  HANDLE m_previous;
};

}  // namespace optionstest
