// StubProgram: one installation run. The entry builds one on its stack,
// parses the command line into it and runs the installation sequence, whose
// result is the process exit code (installer/ExitCodes.h).
//
// The class gathers several concerns; its definitions are split by concern:
//   StubProgramOptions.cpp   the command line
//   StubProgramSequence.cpp  the top sequence and its checks
//   StubProgramElevation.cpp self-elevation, the handshake, process launch
//   StubProgramFlows.cpp     the elevated copy's flows, the silent installation
//   StubProgramPages.cpp     the interactive road and the pages the engine shows
//   OperatorConfig.cpp       adding a new operator to an installed agent
//   DataCentreMode.cpp       the data-centre mode of operator "666"
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "settings/LarkProperties.h"

struct ParsedOption;

class StubProgram {
 public:
  explicit StubProgram(HINSTANCE instance);
  virtual ~StubProgram();
  StubProgram(const StubProgram&) = delete;
  StubProgram& operator=(const StubProgram&) = delete;

  // Parses GetCommandLineW() into the members and the settings store.
  // Reports errors only by standard exceptions.
  bool ParseArguments();

  // Runs the installation and returns the exit code.
  int InstallationSequence();

  bool IsElevated() const { return m_elevated; }

  // The administrator test of the sequences. IsUserAdmin in the product;
  // only a test build of the program sets a stand-in here, before the run,
  // because Wine's user is always an administrator.
  typedef bool (*UserAdminCheck)();
  static UserAdminCheck s_isUserAdmin;

  // --- The top sequence and its checks (StubProgramSequence.cpp) ---
  void SelectDefaultLanguage();
  bool EnsureSingleInstance();
  bool CheckMinimumMandatorySettings();
  bool CheckMandatorySettings();
  bool HandleConflictingOperator();
  bool IsStubFromAnotherOperator(std::wstring& productName);
  bool IsAgentInstalled(const std::wstring& operatorId);
  bool CanRunPostInstallPrograms();
  bool CheckInstallRequirements();
  std::wstring GetTargetDirectory();
  std::wstring GetLateboundTargetDir();

  // --- Self-elevation and the handshake (StubProgramElevation.cpp) ---
  int InstallationSequenceNonElevated();
  DWORD RunElevatedCopy(const std::wstring& extraArguments);
  DWORD RunElevated(const std::wstring& program, const std::wstring& arguments);
  void SetUpAllowedToOperateSynchronization();
  bool WaitUntilAllowedToOperate();
  int GetReturnCodeFromElevatedCopy();
  // Starts program (path quoted, arguments after a blank) without waiting;
  // the process id, or 0. Needs no state of an installation. A program that
  // is not an absolute path (IsAbsolutePath) is refused with a log line.
  static DWORD LaunchProcess(const std::wstring& program, const std::wstring& arguments);
  void WaitForProcess(DWORD processId, DWORD milliseconds);
  void RunPostInstallPrograms(const std::wstring& page);
  // Builds the elevated copy's argument list from the current state (no
  // process is started); RunElevatedCopy uses it.
  std::wstring BuildElevatedArguments();

  // --- The elevated copy's flows (StubProgramFlows.cpp) ---
  int InstallationSequenceElevated();
  void SetStubConfigurationServiceUrl();
  void DownloadStubConfig();
  bool HostsOK();
  int SilentInstallSequence();
  int InstallMSI(const std::wstring& packagePath);
  bool SilentDownloadFile(const std::wstring& url, const std::wstring& path);
  bool LateboundPackageDownload(std::wstring& customization, std::wstring& localization,
                                std::wstring& help, std::wstring& settings);
  void LocalLateboundPackagePaths(std::wstring& customization, std::wstring& localization,
                                  std::wstring& help, std::wstring& settings);
  int InteractiveInstallSequence();
  int ShowWelcomeDlg();
  int ShowLicenseDlg();
  int ShowPrivacyDlg();
  int ShowInstallationProgressDlg();

  // --- A new operator for an installed agent (OperatorConfig.cpp) ---
  bool ShouldConfigureNewOperator();
  int InstallNewOperator();
  bool ConfigureNewOperator();
  bool ConfigureNewOperatorSucceed();
  bool ConfigureNewOperatorFailed();

  // --- The data-centre mode (DataCentreMode.cpp) ---
  void VN48HackForDC(const std::wstring& operatorId);
  void VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall();
  bool VN48HackForDC_AddOperatorToSegmentations();
  bool VN48HackForDC_ModifyTWYXCache();
  bool VN48HackForDC_MakePackagesToIgnoreThrottling(std::string& content);
  std::string VN48HackForDC_ReadFile(const std::wstring& path);
  bool VN48HackForDC_WriteFile(const std::wstring& path, const std::string& content);

  // Read-only views for the pages and the tests.
  // The installation language: the settings store's current language. The
  // default selection puts it there and the welcome page changes it (also
  // when shown again after Back), so every later step reads it here and
  // installs the language chosen last.
  std::wstring GetLanguage() const { return LarkProperties::Instance()->GetLanguage(); }
  const std::wstring& GetLicenseTermsHash() const { return m_licenseTermsHash; }
  bool IsSilent() const { return m_silent; }
  bool IsLocal() const { return m_local; }
  bool IsReinstall() const { return m_reinstall; }
  HANDLE GetAllowedToOperateEvent() const { return m_hAllowedToOperate; }

 private:
  // Option handling (installer/StubProgramOptions.cpp).
  typedef void (LarkProperties::*PathSetter)(const std::wstring&);
  bool ParseCommandLine(const std::wstring& commandLine);
  void ParseArgument(const ParsedOption& option);
  void ParsePathArgument(const ParsedOption& option, PathSetter setter, bool isFile,
                         const wchar_t* providedText, const wchar_t* missingText,
                         const char* exceptionText);
  void ParseMBRequirement(const ParsedOption& option, int& target, const wchar_t* changedText,
                          const wchar_t* failedText);
  static void PrintUsage();

  // The message of an invalid settings check: a console line when silent,
  // a message box otherwise.
  void ReportInvalidSettings();
  // The elevated copy's argument list as RunElevatedCopy passes it.
  std::vector<std::wstring> ElevatedArgumentList();

  HINSTANCE m_hInstance;
  // The --language value, then the default the selection settled on; it
  // goes to the settings store there and is not read afterwards.
  std::wstring m_language;
  std::wstring m_targetDirectory;
  std::wstring m_licenseTermsHash;
  bool m_showSettings = false;
  bool m_silent = false;
  bool m_prestubLaunched = false;
  bool m_vn48HackForDC = false;
  bool m_local = false;
  bool m_elevated = false;
  bool m_reinstall = false;
  bool m_noLaunch = false;
  HANDLE m_hAllowedToOperate = nullptr;
  HANDLE m_hElevatedProcess = nullptr;
  int m_minOSLevel = 3;
  int m_minMemoryMB = 256;
  int m_minProgramFilesMB = 0;
  // The instance mutex taken by EnsureSingleInstance, held while the
  // program runs.
  HANDLE m_hInstanceMutex = nullptr;

  friend class StubProgramTestAccess;
};
