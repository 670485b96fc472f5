// The fixture of the interactive road's end-to-end tests: the real
// larkstubinst.exe (a copy whose operator settings point at the loopback test
// server) driven by lark_drive from outside, as a person would, and the
// read-outs of what an installation left behind (the agent's values, the
// first process's log, lark_drive's step times and page processes).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"
#include "testsupport/httpserver/TestHttpServer.h"
#include "testsupport/markers/Markers.h"

namespace larktest {

inline const wchar_t kOperatorId[] = L"4711";
inline const wchar_t kShutdownApiLog[] = L"restart.log";
inline const wchar_t kWineOverrides[] = L"Software\\Wine\\DllOverrides";

inline std::wstring CommonAppData() { return L"C:\\ProgramData"; }
inline std::wstring DownloadFolder() { return CommonAppData() + L"\\K-Harbor\\Lark\\Downloads"; }

inline std::string Sha1Hex(const std::string& bytes) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::string hex;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return hex;
  if (CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
    CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
    BYTE digest[20];
    DWORD size = sizeof(digest);
    if (CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
      static const char kDigits[] = "0123456789abcdef";
      for (DWORD i = 0; i < size; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
      }
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return hex;
}

inline std::wstring AgentValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
  wchar_t value[2048] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? value : L"<missing>";
}

// The agent package's own values; the package-origin records land in the
// same key before the package is checked, so the key alone says nothing.
inline bool AgentInstalled() { return AgentValue(L"InstallPath")[0] != L'<'; }

inline size_t SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

// The UTF-16 text a log file gained after offset bytes.
inline std::wstring LogTextAfter(const std::wstring& path, size_t offset) {
  std::string bytes;
  if (!ReadFileBytes(path, bytes) || bytes.size() <= offset) return L"";
  bytes = bytes.substr(offset);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

struct Drive {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
  // Seconds from the start of lark_drive at which a step began ("step N (x s)").
  double StepTime(const std::string& stepText) const {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
      const size_t at = line.find(" s): " + stepText);
      if (at == std::string::npos) continue;
      const size_t open = line.rfind('(', at);
      return atof(line.substr(open + 1).c_str());
    }
    return -1;
  }
  double DoneTime() const {
    const size_t at = output.find("done after ");
    return at == std::string::npos ? -1 : atof(output.c_str() + at + 11);
  }
  // Process ids of the pages of one kind, in order.
  std::vector<unsigned long> PageProcesses() const {
    std::vector<unsigned long> ids;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
      const size_t at = line.find("(process ");
      if (line.find("  page \"") != std::string::npos && at != std::string::npos)
        ids.push_back(strtoul(line.c_str() + at + 9, nullptr, 10));
    }
    return ids;
  }
};

class InteractiveRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TestHttpServer::Port() == 0) GTEST_SKIP() << "the test HTTP server is not running";
    RemoveInstalledAgent();
    RemoveTree(DownloadFolder());
    m_exe = m_scratch.file(L"larkstubinst.exe");
    ASSERT_TRUE(MakeOperatorBuild(BuiltExe(L"larkstubinst"), m_exe,
                                  {{L"PartnerID", kOperatorId}, {L"StubConfigurationAddress", TestServerBase()}}));
    m_stubLog = logtest::LogPath(L"stub");
    m_stubLogSize = SizeOf(m_stubLog);
  }
  void TearDown() override {
    if (m_replacedWineboot) RestoreWineboot();
    RemoveInstalledAgent();
    RemoveTree(DownloadFolder());
  }

  // Runs lark_drive with the script on the installer copy.
  Drive Run(const std::string& name, const std::string& script, const std::wstring& arguments = L"") {
    const std::wstring scriptPath = m_scratch.file(Widen(name) + L".txt");
    EXPECT_TRUE(WriteFileBytes(scriptPath, script));
    std::wstring shots = GetEnv(L"LARK_E2E_SHOTS");
    shots = shots.empty() ? m_scratch.file(L"shots-" + Widen(name)) : shots + L"\\" + Widen(name);
    const std::wstring line = L"\"" + BuiltExe(L"lark_drive") + L"\" \"" + scriptPath + L"\" \"" + shots +
                              L"\" -- \"" + m_exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    const CapturedRun run = RunCaptured(line, 900000);
    EXPECT_TRUE(run.started) << "cannot start lark_drive";
    EXPECT_FALSE(run.timedOut) << "lark_drive did not end";
    Drive drive;
    drive.exitCode = run.exitCode;
    drive.output = run.output;
    return drive;
  }

  // The first process's log text of this run.
  std::wstring StubLog() const { return LogTextAfter(m_stubLog, m_stubLogSize); }

  // Lets a restart request reach a recording stand-in instead of Wine's
  // own session end (see RestartStandIn.cpp).
  void ReplaceWineboot() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    m_wineboot = std::wstring(system) + L"\\wineboot.exe";
    ASSERT_TRUE(CopyFileW(m_wineboot.c_str(), m_scratch.file(L"wineboot.orig").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(BuiltExe(L"lark_restart_standin").c_str(), m_wineboot.c_str(), FALSE));
    m_replacedWineboot = true;
    // Wine takes the override from the registry when the process starts
    // (an override in a Windows program's environment does not reach it).
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kWineOverrides, 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    const wchar_t kNative[] = L"native";
    RegSetValueExW(key, L"wineboot.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative), sizeof(kNative));
    RegCloseKey(key);
    SetEnvironmentVariableW(L"LARK_RESTART_LOG", m_scratch.file(kShutdownApiLog).c_str());
  }
  void RestoreWineboot() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineOverrides, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"wineboot.exe");
      RegCloseKey(key);
    }
    CopyFileW(m_scratch.file(L"wineboot.orig").c_str(), m_wineboot.c_str(), FALSE);
    SetEnvironmentVariableW(L"LARK_RESTART_LOG", nullptr);
    m_replacedWineboot = false;
  }
  // Wine's restart starts wineboot without waiting for it, so the record
  // may come a moment after the installer has ended: wait for it (and keep
  // the stand-in in place until it has written).
  std::string RestartLog() {
    std::string text;
    for (int i = 0; i < 150; ++i) {
      text.clear();
      ReadFileBytes(m_scratch.file(kShutdownApiLog), text);
      if (text.find("--end-session") != std::string::npos || text.find("--kill") != std::string::npos) break;
      Sleep(100);
    }
    return text;
  }

  // Steps up to the installation page: welcome in German then English,
  // licence accepted.
  static std::string ToInstallPage(const std::string& shot = "") {
    std::string s =
        "page welcome\n"
        "shot 01-welcome\n"
        "select 1002 Deutsch\n"
        "expect 1003 Willkommen bei der Installation von K-Harbor\n"
        "shot 02-welcome-german\n"
        "select 1002 English\n"
        "expect 1003 Welcome to K-Harbor setup\n"
        "click 1021\n"
        "page licence\n"
        "wait-enabled 1000\n"
        "shot 03-licence\n"
        "click 1000\n"
        "page install\n";
    if (!shot.empty()) s += "shot " + shot + "\n";
    return s;
  }

  ScratchDir m_scratch{L"interactive road"};
  std::wstring m_exe;
  std::wstring m_stubLog;
  size_t m_stubLogSize = 0;
  std::wstring m_wineboot;
  bool m_replacedWineboot = false;
};

}  // namespace larktest
