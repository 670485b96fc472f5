// Test side of the agent-library stand-ins: a journal folder for one test
// (answers in, calls out) and where the built DLLs are.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testsupport/TestEnv.h"

namespace operatorstandin {

// Points the stand-ins of this process, and of every process it starts
// afterwards, at a scratch folder of its own; undone by the destructor.
class Journal {
 public:
  explicit Journal(const std::wstring& name) : m_dir(name) {
    SetEnvironmentVariableW(L"LARK_OPERATOR_STANDIN_DIR", m_dir.path().c_str());
  }
  ~Journal() { SetEnvironmentVariableW(L"LARK_OPERATOR_STANDIN_DIR", nullptr); }
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // key: "latebound1", "package0".."package3", "install", "succeed", "failed".
  void SetAnswer(const wchar_t* key, int value) {
    std::wstring ini = m_dir.file(L"answers.ini");
    WritePrivateProfileStringW(L"answers", key, std::to_wstring(value).c_str(), ini.c_str());
  }

  // The calls recorded so far, one entry per call.
  std::vector<std::wstring> Calls() const {
    std::string bytes;
    std::vector<std::wstring> lines;
    if (!larktest::ReadFileBytes(m_dir.file(L"calls.txt"), bytes)) return lines;
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start)) {
      lines.push_back(larktest::Widen(bytes.substr(start, end - start)));
      start = end + 1;
    }
    return lines;
  }

  void Clear() { DeleteFileW(m_dir.file(L"calls.txt").c_str()); }
  const std::wstring& Folder() const { return m_dir.path(); }

 private:
  larktest::ScratchDir m_dir;
};

// The folder that holds the built kh_rk_latebound.dll and
// kh_rk_operator_config32.dll.
inline std::wstring DllFolder() { return larktest::BinaryDir() + L"\\testsupport\\standins_operator"; }

}  // namespace operatorstandin
