// StubProgram: one installation run. The entry builds one on its stack,
// parses the command line into it and runs the installation sequence, whose
// result is the process exit code (installer/ExitCodes.h).
#pragma once

#include <windows.h>

#include <string>

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

  HINSTANCE m_hInstance;
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

  friend class StubProgramTestAccess;
};
