// The data-centre mode of operator "666": when the agent is already
// installed for that operator, the first process starts an elevated copy
// with "--vn48hackfordc" alone; the copy registers the operator with the
// agent's update component and edits the agent's cached package list so
// that its next packaging request is not throttled. Every step logs and
// gives up quietly; the copy's exit code does not depend on them.
#include <windows.h>
#include <shlobj.h>

#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"

namespace {

const wchar_t kDataCentreOperatorId[] = L"666";
const wchar_t kSegmentationsKey[] = L"SOFTWARE\\K-Harbor\\BCX\\KHZUP\\Segmentations";
const char kMarker[] = "productDefinitionVersion";
const int kOpenAttempts = 6;
const DWORD kRetryDelayMs = 100;

std::wstring CachePath() {
  return MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\TWYX") + L"\\666\\packages";
}

}  // namespace

void StubProgram::VN48HackForDC(const std::wstring& operatorId) {
  const wchar_t* self = L"StubProgram::VN48HackForDC";
  if (operatorId != kDataCentreOperatorId) return;
  LogW(4, L"%s: Hack started", self);
  LarkProperties* properties = LarkProperties::Instance();
  properties->SetTempDirectory(CreateSecureTempDirectory(L"khc"));
  DWORD error = RunElevatedCopy(L"--vn48hackfordc");
  if (error != 0) {
    if (!m_silent && !m_prestubLaunched) {
      ShowMessageDialog(properties->GetSetting(L"Title"), properties->GetLocalizedString(L"InstallerBroken"),
                        nullptr, MB_ICONERROR, false);
    }
    return;
  }
  if (!WaitUntilAllowedToOperate()) LogW(3, L"%s: -- Failure in WaitUntilAllowedToOperate", self);
  LogW(4, L"%s: Hack finished", self);
}

void StubProgram::VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall() {
  const wchar_t* self = L"StubProgram::VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall";
  LogW(4, L"%s: Hack started", self);
  VN48HackForDC_AddOperatorToSegmentations();
  VN48HackForDC_ModifyTWYXCache();
  LogW(4, L"%s: Hack finished", self);
}

bool StubProgram::VN48HackForDC_AddOperatorToSegmentations() {
  const wchar_t* self = L"StubProgram::VN48HackForDC_AddOperatorToSegmentations";
  LogW(5, L"%s: ", self);
  CRegKey key;
  if (key.CreateSubKey(HKEY_LOCAL_MACHINE, kSegmentationsKey, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    LogW(2, L"%s: Failed to open ZUP segmentations registry key", self);
    return false;
  }
  long code = key.WriteString(kDataCentreOperatorId, L"OPERATOR");
  if (code != ERROR_SUCCESS) {
    LogW(2, L"%s: Failed to write 666 to OPERATOR registry: %s", self, FormatSystemError(code).c_str());
    return false;
  }
  LogW(5, L"%s: Successfully wrote OPERATOR='666' to registry", self);
  return true;
}

bool StubProgram::VN48HackForDC_ModifyTWYXCache() {
  const wchar_t* self = L"StubProgram::VN48HackForDC_ModifyTWYXCache";
  std::wstring path = CachePath();
  LogW(4, L"%s: Modifying %s", self, path.c_str());
  HANDLE probe = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    LogW(4, L"%s: %s does not exist", self, path.c_str());
    return false;
  }
  CloseHandle(probe);
  std::string content = VN48HackForDC_ReadFile(path);
  if (content.empty()) return false;
  if (!VN48HackForDC_MakePackagesToIgnoreThrottling(content)) return false;
  return VN48HackForDC_WriteFile(path, content);
}

bool StubProgram::VN48HackForDC_MakePackagesToIgnoreThrottling(std::string& content) {
  const wchar_t* self = L"StubProgram::VN48HackForDC_MakePackagesToIgnoreThrottling";
  bool changed = false;
  for (size_t p = content.find(kMarker); p != std::string::npos; p = content.find(kMarker, p)) {
    LogW(4, L"%s: changing productDefinitionVersion to aroductDefinitionVersion in symbol %d", self,
         static_cast<int>(p));
    content[p] = 'a';
    changed = true;
  }
  if (!changed) LogW(4, L"%s: productDefinitionVersion was not found! Exiting", self);
  return changed;
}

// The whole file, zero bytes included: a cache that holds one is edited
// and written back at its full length, never cut at the zero.
std::string StubProgram::VN48HackForDC_ReadFile(const std::wstring& path) {
  const wchar_t* self = L"StubProgram::VN48HackForDC_ReadFile";
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kOpenAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      LogW(4, L"%s: Cannot open %s with error %d, sleeping a bit and retry", self, path.c_str(),
           static_cast<int>(GetLastError()));
      Sleep(kRetryDelayMs);
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    LogW(3, L"%s: Failed to open %s, exiting", self, path.c_str());
    return std::string();
  }
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  // A cache of 4 GiB or more is not the agent's package list.
  if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
    LogW(3, L"%s: Size is unknown, exiting", self);
    CloseHandle(file);
    return std::string();
  }
  std::string content(static_cast<size_t>(size) + 1, '\0');
  DWORD total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!::ReadFile(file, &content[total], size - total, &got, nullptr) || got == 0) {
      LogW(3, L"%s: Reading from file failed with error=%d, exiting", self, static_cast<int>(GetLastError()));
      CloseHandle(file);
      return std::string();
    }
    total += got;
  }
  CloseHandle(file);
  content.resize(total);
  return content;
}

// The cache is overwritten in place and cut to the new length only after
// the write: the edit never changes the length, so a write that fails part
// way (a full disk) leaves the agent's list whole instead of emptied.
bool StubProgram::VN48HackForDC_WriteFile(const std::wstring& path, const std::string& content) {
  const wchar_t* self = L"StubProgram::VN48HackForDC_WriteFile";
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kOpenAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      LogW(4, L"%s: Cannot open %s for writing with error %d, sleeping a bit and retry", self, path.c_str(),
           static_cast<int>(GetLastError()));
      Sleep(kRetryDelayMs);
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    LogW(3, L"%s: Failed to open %s, exiting", self, path.c_str());
    return false;
  }
  DWORD written = 0;
  if (!::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
      written != content.size()) {
    LogW(3, L"%s: Failed to write to file '%s' LastError: %d ", self, path.c_str(), static_cast<int>(GetLastError()));
    CloseHandle(file);
    return false;
  }
  if (!SetEndOfFile(file)) {
    LogW(3, L"%s: Failed to write to file '%s' LastError: %d ", self, path.c_str(), static_cast<int>(GetLastError()));
    CloseHandle(file);
    return false;
  }
  LogW(4, L"%s: File written to disk: %s", self, path.c_str());
  if (!FlushFileBuffers(file)) LogW(3, L"%s: Failed to flush file. LastError: %d", self, static_cast<int>(GetLastError()));
  CloseHandle(file);
  return true;
}
