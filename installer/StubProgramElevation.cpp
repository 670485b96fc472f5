// Self-elevation: the first, unelevated process copies its own executable
// into a secure temporary folder, starts the copy through the shell with a
// command line rebuilt from its state, and meets it again through the
// auto-reset event AllowedToOperate. Also the engine's program launching:
// starting a process, waiting for it and the agent's post-installation
// program "trigger.exe".
#include <objbase.h>
#include <shellapi.h>

#include "installer/ExitCodes.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/NamedObjects.h"
#include "platform/PathUtils.h"
#include "platform/SecurityDescriptor.h"
#include "platform/SystemInfo.h"
#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"

namespace {
const int kMessageError = 16;
const int kVistaOSCode = 10;
const DWORD kStillActive = 259;
const DWORD kTriggerWaitMs = 60000;

// The running program's own file. The first token of the command line
// names it too, but only as typed by whoever started the program (perhaps
// relative, perhaps without ".exe"); the module path is always exact.
std::wstring OwnModulePath() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(path, length);
}
}  // namespace

int StubProgram::InstallationSequenceNonElevated() {
  const wchar_t* self = L"StubProgram::InstallationSequenceNonElevated";
  LogW(5, L"%s: ", self);
  if (m_silent && !s_isUserAdmin()) {
    LogW(1, L"%s: User does not have administrative rights / silent mode", self);
    return ExitCode::NoAdminRights;
  }

  LarkProperties::Instance()->SetTempDirectory(CreateSecureTempDirectory(L"khc"));

  DWORD started;
  if (m_silent || m_prestubLaunched) {
    started = RunElevatedCopy(std::wstring());
  } else {
    for (;;) {
      const int welcome = ShowWelcomeDlg();
      if (welcome != 0) return welcome;
      started = RunElevatedCopy(std::wstring());
      if (started != ERROR_CANCELLED) break;
    }
  }

  if (started != 0) {
    if (!m_silent && !m_prestubLaunched) {
      LarkProperties* properties = LarkProperties::Instance();
      ShowMessageDialog(properties->GetSetting(L"Title"), properties->GetLocalizedString(L"InstallerBroken"),
                        nullptr, kMessageError, false);
    }
    return ExitCode::Failure;
  }

  if (!WaitUntilAllowedToOperate()) {
    LogW(5, L"%s: -- Failure", self);
    return GetReturnCodeFromElevatedCopy();
  }
  const int code = GetReturnCodeFromElevatedCopy();
  if (!m_noLaunch && code != ExitCode::RebootRequired) RunPostInstallPrograms(std::wstring());
  LogW(4, L"%s: -- Installation done", self);
  return code;
}

std::vector<std::wstring> StubProgram::ElevatedArgumentList() {
  LarkProperties* properties = LarkProperties::Instance();
  std::vector<std::wstring> arguments;
  if (m_local) {
    arguments.push_back(L"--installer");
    arguments.push_back(QuoteString(properties->GetInstallerPath()));
    const struct {
      const wchar_t* option;
      std::wstring folder;
    } folders[] = {
        {L"--customization-directory", properties->GetCustomizationDirectory()},
        {L"--settings-directory", properties->GetSettingsDirectory()},
        {L"--loc-directory", properties->GetLocalizationDirectory()},
        {L"--help-directory", properties->GetHelpDirectory()},
        {L"--eula-directory", properties->GetEulaDirectory()},
        {L"--privacy-directory", properties->GetPrivacyDirectory()},
    };
    for (const auto& folder : folders) {
      if (folder.folder.empty()) continue;
      arguments.push_back(folder.option);
      arguments.push_back(QuoteString(folder.folder));
    }
  }
  if (m_silent) arguments.push_back(L"--silent");
  if (m_prestubLaunched) arguments.push_back(L"--prestub-launched");
  arguments.push_back(L"--language");
  arguments.push_back(properties->GetLanguage());
  arguments.push_back(L"--elevated");
  const std::wstring group = properties->GetProvisioningGroup();
  if (!group.empty()) {
    arguments.push_back(L"--provisioning-group");
    // A group with a blank would otherwise reach the copy cut in two.
    arguments.push_back(group.find(L' ') == std::wstring::npos ? group : QuoteString(group));
  }
  std::wstring sid;
  GetCurrentUserSidString(sid);
  // An option without its value would end the copy with a parse error.
  if (!sid.empty()) {
    arguments.push_back(L"--user-sid");
    arguments.push_back(sid);
  }
  return arguments;
}

std::wstring StubProgram::BuildElevatedArguments() { return JoinWithSpaces(ElevatedArgumentList()); }

DWORD StubProgram::RunElevatedCopy(const std::wstring& extraArguments) {
  const wchar_t* self = L"StubProgram::RunElevatedCopy";
  LogW(5, L"%s: ", self);
  const std::wstring source = OwnModulePath();
  std::wstring folder, fileName;
  SplitPath(source, folder, fileName);
  const std::wstring destination = MakePath(LarkProperties::Instance()->GetTempDirectory(), fileName);

  LogW(5, L"%s: Copying '%s' to '%s'", self, source.c_str(), destination.c_str());
  if (source.empty() || !CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
    DWORD code = source.empty() ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : GetLastError();
    if (code == 0) code = ERROR_GEN_FAILURE;
    LogW(1, L"%s: Failed to copy stub: %s", self, FormatSystemError(code).c_str());
    return code;
  }

  std::wstring arguments = BuildElevatedArguments();
  if (!extraArguments.empty()) arguments = extraArguments;
  return RunElevated(destination, arguments);
}

DWORD StubProgram::RunElevated(const std::wstring& program, const std::wstring& arguments) {
  const wchar_t* self = L"StubProgram::RunElevated";
  LogW(5, L"%s: ", self);
  LogW(4, L"%s: Starting another copy: '%s %s'", self, program.c_str(), arguments.c_str());

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOZONECHECKS;
  info.hwnd = nullptr;
  info.lpFile = program.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOWNORMAL;
  if (!s_isUserAdmin()) {
    LogW(4, L"%s: User is not admin, starting 'runas'", self);
    info.lpVerb = L"runas";
  } else if (SystemInfo().GetOS() >= kVistaOSCode) {
    LogW(4, L"%s: User is admin, but Vista/W7 detected, starting 'runas'", self);
    info.lpVerb = L"runas";
  }

  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(com)) LogW(3, L"%s: Failed to initialize DDE", self);

  DWORD result = 0;
  if (ShellExecuteExW(&info)) {
    if (m_hElevatedProcess) CloseHandle(m_hElevatedProcess);
    m_hElevatedProcess = info.hProcess;
    LogW(4, L"%s: Copy was started successfully", self);
  } else {
    result = GetLastError();
    if (result == 0) result = ERROR_GEN_FAILURE;
    LogW(2, L"%s: Failed to start copy of installer: %s", self, FormatSystemError(result).c_str());
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

void StubProgram::SetUpAllowedToOperateSynchronization() {
  const wchar_t* self = L"StubProgram::SetUpAllowedToOperateSynchronization";
  LogW(5, L"%s: ", self);
  if (m_hAllowedToOperate) {
    CloseHandle(m_hAllowedToOperate);
    m_hAllowedToOperate = nullptr;
  }
  if (!m_elevated) {
    m_hAllowedToOperate = CreateEventW(nullptr, FALSE, FALSE, kAllowedToOperateEventName);
    if (m_hAllowedToOperate) {
      SecurityDescriptorHolder descriptor;
      if (descriptor.SetStrictMutexAccess()) {
        SetKernelObjectSecurity(m_hAllowedToOperate, DACL_SECURITY_INFORMATION, descriptor.Descriptor());
      }
      descriptor.Free();
    }
  } else {
    m_hAllowedToOperate = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAllowedToOperateEventName);
  }
  LogW(5, L"%s: Handle for 'AllowedToOperate' = 0x%lx", self,
       static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(m_hAllowedToOperate)));
}

bool StubProgram::WaitUntilAllowedToOperate() {
  const wchar_t* self = L"StubProgram::WaitUntilAllowedToOperate";
  LogW(5, L"%s: ", self);
  LogW(5, L"%s: Starting to wait", self);
  HANDLE handles[2];
  DWORD count = 0;
  if (m_hAllowedToOperate) handles[count++] = m_hAllowedToOperate;
  if (m_hElevatedProcess) handles[count++] = m_hElevatedProcess;
  const DWORD wait = count ? WaitForMultipleObjects(count, handles, FALSE, INFINITE) : WAIT_FAILED;
  LogW(5, L"%s: Wait result = %d", self, static_cast<int>(wait));

  if (m_silent) {
    DWORD exitCode = 0;
    if (!m_hElevatedProcess || !GetExitCodeProcess(m_hElevatedProcess, &exitCode)) return true;
    return exitCode == 0 || exitCode == kStillActive;
  }
  return m_hAllowedToOperate && wait == WAIT_OBJECT_0;
}

int StubProgram::GetReturnCodeFromElevatedCopy() {
  const wchar_t* self = L"StubProgram::GetReturnCodeFromElevatedCopy";
  LogW(5, L"%s: ", self);
  LogW(5, L"%s: Allowing operation", self);
  if (m_hAllowedToOperate) SetEvent(m_hAllowedToOperate);
  LogW(5, L"%s: Starting to wait for elevated copy", self);
  if (m_hElevatedProcess) WaitForSingleObject(m_hElevatedProcess, INFINITE);
  LogW(5, L"%s: Elevated copy exited", self);
  DWORD exitCode = 0;
  if (m_hElevatedProcess && GetExitCodeProcess(m_hElevatedProcess, &exitCode) && exitCode != kStillActive) {
    LogW(5, L"%s: Exit code = %d", self, static_cast<int>(exitCode));
    return static_cast<int>(exitCode);
  }
  return ExitCode::Success;
}

DWORD StubProgram::LaunchProcess(const std::wstring& program, const std::wstring& arguments) {
  const wchar_t* self = L"StubProgram::LaunchProcess";
  LogW(5, L"%s: ", self);
  // A name without its folder would be looked for in the current folder,
  // which for the elevated copy is wherever the user started it from.
  if (!IsAbsolutePath(program)) {
    LogW(3, L"%s: Not launching '%s': not an absolute path", self, program.c_str());
    return 0;
  }
  LogW(5, L"%s: Launching: %s %s", self, program.c_str(), arguments.c_str());
  std::wstring commandLine = QuotePath(program) + L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &process)) {
    LogW(3, L"%s: Failed to launch %s, error = %d", self, program.c_str(), static_cast<int>(GetLastError()));
    return 0;
  }
  LogW(4, L"%s: %s launched", self, program.c_str());
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return process.dwProcessId;
}

void StubProgram::WaitForProcess(DWORD processId, DWORD milliseconds) {
  const wchar_t* self = L"StubProgram::WaitForProcess";
  LogW(5, L"%s: ", self);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (!process) {
    LogW(3, L"%s: Failed to open process handle for process id %d, error = %d", self, static_cast<int>(processId),
         static_cast<int>(GetLastError()));
    return;
  }
  LogW(5, L"%s: Starting to wait for process with id %d", self, static_cast<int>(processId));
  const DWORD wait = WaitForSingleObject(process, milliseconds);
  if (wait == WAIT_OBJECT_0) {
    LogW(4, L"%s: Successfully waited for process with id %d", self, static_cast<int>(processId));
  } else if (wait == WAIT_TIMEOUT) {
    LogW(3, L"%s: Timeout when waiting for process with id %d", self, static_cast<int>(processId));
  } else {
    LogW(3, L"%s: Failed to wait for process with id %d", self, static_cast<int>(processId));
  }
  CloseHandle(process);
}

void StubProgram::RunPostInstallPrograms(const std::wstring& page) {
  const wchar_t* self = L"StubProgram::RunPostInstallPrograms";
  LogW(5, L"%s: ", self);
  const std::wstring target = GetTargetDirectory();
  if (m_silent) return;
  AllowSetForegroundWindow(ASFW_ANY);
  const std::wstring arguments = L"--open-agent " + page + L" -n 60" + L" --operator-id " +
                                 LarkProperties::Instance()->GetSetting(L"PartnerID");
  LogW(5, L"%s: Command line: %s", self, arguments.c_str());
  const DWORD processId = LaunchProcess(MakePath(target, L"trigger.exe"), arguments);
  if (processId) WaitForProcess(processId, kTriggerWaitMs);
}
