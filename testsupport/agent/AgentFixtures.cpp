#include "testsupport/agent/AgentFixtures.h"

#include <msi.h>
#include <shlwapi.h>

#include "testsupport/httpserver/TestHttpServer.h"

namespace larktest {

namespace {

// Variant names and their product codes (make_agent_fixtures.py: index 1 to 6).
const wchar_t* const kVariants[] = {L"good", L"reboot", L"fail", L"othersigner", L"version3", L"multi"};

std::wstring ProductCode(int index) {
  wchar_t code[64];
  wsprintfW(code, L"{4C41524B-0011-4D53-4954-%012X}", index);
  return code;
}

std::wstring Utf8File(const std::wstring& path) {
  std::string bytes;
  return ReadFileBytes(path, bytes) ? Widen(bytes) : std::wstring();
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::wstring AgentFixturePath(const std::wstring& fileName) {
  return BinaryDir() + L"\\testsupport\\agent\\out\\" + fileName;
}

bool CopyAgentStandIns(const std::wstring& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const wchar_t* program : kAgentPrograms) {
    if (!CopyFileW(AgentFixturePath(std::wstring(L"programs\\") + program).c_str(),
                   (folder + L"\\" + program).c_str(), FALSE))
      return false;
  }
  return true;
}

std::wstring RecordedAgentProperty(const std::wstring& property, bool* found) {
  wchar_t buffer[4096] = L"";
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  bool ok = SHGetValueW(HKEY_LOCAL_MACHINE, kAgentRecordKey, property.c_str(), nullptr, buffer, &size) ==
                ERROR_SUCCESS &&
            buffer[0] == L'|';
  if (found) *found = ok;
  return ok ? std::wstring(buffer + 1) : std::wstring();
}

AgentStartLog::AgentStartLog(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + UniqueName(L"agentstarts_" + name + L"_") + L".log";
  DeleteFileW(m_path.c_str());
  wchar_t old[MAX_PATH * 2] = L"";
  DWORD n = GetEnvironmentVariableW(L"LARK_AGENT_LOG", old, MAX_PATH * 2);
  m_hadOldValue = n > 0 && n < MAX_PATH * 2;
  if (m_hadOldValue) m_oldValue = old;
  SetEnvironmentVariableW(L"LARK_AGENT_LOG", m_path.c_str());
}

AgentStartLog::~AgentStartLog() {
  SetEnvironmentVariableW(L"LARK_AGENT_LOG", m_hadOldValue ? m_oldValue.c_str() : nullptr);
  DeleteFileW(m_path.c_str());
}

std::vector<AgentStart> AgentStartLog::Read() const { return ReadAgentStarts(m_path); }

bool AgentStartLog::WaitFor(size_t count, unsigned long timeoutMs) const {
  DWORD start = GetTickCount();
  for (;;) {
    if (Read().size() >= count) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
}

std::vector<AgentStart> ReadAgentStarts(const std::wstring& logPath) {
  std::vector<AgentStart> starts;
  std::wstring text = Utf8File(logPath);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    start = end == std::wstring::npos ? text.size() : end + 2;
    size_t t1 = line.find(L'\t');
    size_t t2 = t1 == std::wstring::npos ? t1 : line.find(L'\t', t1 + 1);
    size_t t3 = t2 == std::wstring::npos ? t2 : line.find(L'\t', t2 + 1);
    if (t3 == std::wstring::npos) continue;
    AgentStart s;
    s.program = line.substr(0, t1);
    s.processId = wcstoul(line.substr(t1 + 1, t2 - t1 - 1).c_str(), nullptr, 10);
    s.time = line.substr(t2 + 1, t3 - t2 - 1);
    s.commandLine = line.substr(t3 + 1);
    starts.push_back(s);
  }
  return starts;
}

std::wstring TestServerBase() { return L"http://127.0.0.1:" + std::to_wstring(TestHttpServer::Port()); }

std::string StubConfiguration(const std::wstring& baseUrl, const std::wstring& installerName) {
  std::string text;
  if (!ReadFileBytes(AgentFixturePath(L"stubconf.template.xml"), text)) return std::string();
  ReplaceAll(text, "@BASE@/f/installer.msi", Narrow(baseUrl + L"/f/" + installerName));
  ReplaceAll(text, "@BASE@", Narrow(baseUrl));
  return text;
}

bool ServeAgentLayout(const std::wstring& variant, const std::wstring& operatorId) {
  std::string bytes;
  std::wstring installer = L"installer-" + variant + L".msi";
  if (!ReadFileBytes(AgentPackagePath(variant), bytes) || !TestHttpServer::PutFile(installer, bytes)) return false;
  for (const wchar_t* name : {L"langcust.zip", L"localization.zip", L"help.zip", L"settings.zip", L"license.txt",
                              L"privacypolicy.txt"}) {
    if (!ReadFileBytes(AgentFixturePath(name), bytes) || !TestHttpServer::PutFile(name, bytes)) return false;
  }
  std::string response = StubConfiguration(TestServerBase(), installer);
  std::wstring name = operatorId.empty() ? L"stubconfiguration.xml" : L"stubconfiguration-" + operatorId + L".xml";
  return !response.empty() && TestHttpServer::PutFile(name, response);
}

void RemoveInstalledAgent() {
  for (int i = 0; i < 6; ++i) {
    if (MsiQueryProductStateW(ProductCode(i + 1).c_str()) != INSTALLSTATE_DEFAULT) continue;
    RunProcess(L"msiexec /x \"" + AgentPackagePath(kVariants[i]) + L"\" /qn", L"", 60000);
  }
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, kAgentKey);
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, kAgentRecordKey);
  DeleteFileW(kDefaultAgentStartLog);
}

}  // namespace larktest
