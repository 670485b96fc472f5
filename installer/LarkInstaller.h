// LarkInstaller: checks the agent's Windows Installer package and installs
// it. One object serves one installation: CheckAndInstall checks the
// signature and the package's interface version, installs with a fixed
// property list and a generated settings file, removes that file and
// returns one of the codes below. While the package installs, an external
// user-interface handler turns the installer's action and progress messages
// into positions of an optional progress sink.
#pragma once

#include <windows.h>

#include <string>

#include "download/ProgressSink.h"

// Fields 1 to 4 of a Windows Installer progress message.
struct MsiProgressFields {
  int field[4] = {0, 0, 0, 0};
};

// Parses "1: 2 2: 24000 3: 0 4: 0 " into fields; false for text that is not
// a progress record.
bool ParseMsiProgressFields(const wchar_t* text, MsiProgressFields& fields);
// Reads one number at *position up to the next blank; a '-' marks it
// negative. Leaves *position on the blank.
int ParseMsiProgressInt(const wchar_t*& position);
// Appends ` name="value"` when value is not empty (the value unescaped).
void AppendMsiProperty(const std::wstring& value, std::wstring& commandLine, const wchar_t* name);

// The function registered with Windows Installer; context is the
// LarkInstaller that runs the installation.
INT CALLBACK MsiExternalUIHandler(LPVOID context, UINT messageType, LPCWSTR message);

class LarkInstaller {
 public:
  enum Result {
    kInstalled = 0,
    kSignatureRefused = 1,
    kUnsupportedVersion = 2,
    kInstallerFailed = 3,
    kInstallerBusy = 4,
    kNoTargetDirectory = 5,
  };

  // The interface version that this installer supports.
  static const int kSupportedInterfaceVersion = 2;

  LarkInstaller(const std::wstring& language, const std::wstring& targetDirectory,
                const std::wstring& lateboundTargetDirectory, const std::wstring& licenseTermsHash,
                bool reinstall);
  // The same with a given operating-system code instead of the running one.
  LarkInstaller(const std::wstring& language, const std::wstring& targetDirectory,
                const std::wstring& lateboundTargetDirectory, const std::wstring& licenseTermsHash,
                bool reinstall, int osCode);
  virtual ~LarkInstaller();
  LarkInstaller(const LarkInstaller&) = delete;
  LarkInstaller& operator=(const LarkInstaller&) = delete;

  // The whole road; returns a Result. sink may be null.
  virtual int CheckAndInstall(const std::wstring& packagePath, ProgressSink* sink);
  // After a successful CheckAndInstall: whether a restart is needed.
  virtual bool IsRebootRequired();
  // A valid package carrying the maker's signature.
  virtual bool CheckSignature(const std::wstring& packagePath);
  // The package's MSI_INTERFACE_VERSION property is the supported one.
  virtual bool CheckVersion(const std::wstring& packagePath);
  // Runs Windows Installer; returns its status.
  virtual UINT InstallFromMSI(const std::wstring& packagePath);
  // Appends the property list (it begins with a blank).
  virtual bool BuildCommandLine(std::wstring& commandLine);

  // Writes the settings file handed to the package into a new private
  // temporary folder; throws when that folder cannot be made or secured.
  bool CreateLarkBCXSettingsFile(const std::wstring& userSid, std::wstring& path);

  // The external handler's work: 0 to go on, IDABORT to end the installation.
  int MsiCallback(UINT messageType, LPCWSTR message);
  void OnActionStart(LPCWSTR action);

  const std::wstring& GetSettingsFilePath() const { return m_settingsFilePath; }

 protected:
  // The sink as CheckAndInstall keeps it (tests drive MsiCallback directly).
  void SetProgressSink(ProgressSink* sink);

 private:
  bool m_rebootRequired;
  bool m_reinstall;
  unsigned int m_progressDone;
  unsigned int m_progressTotal;
  int m_rangeMinimum;
  int m_rangeMaximum;
  bool m_rangedAction;
  std::wstring m_language;
  std::wstring m_targetDirectory;
  std::wstring m_settingsFilePath;
  std::wstring m_lateboundTargetDirectory;
  std::wstring m_licenseTermsHash;
  ProgressSink* m_progressSink;
  int m_osCode;
};
