// The Windows Installer run of the agent's package.
#include "installer/LarkInstaller.h"

#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <ctime>

#include "logging/Log.h"
#include "platform/FileSignature.h"
#include "platform/PathUtils.h"
#include "platform/SystemInfo.h"
#include "platform/UserSessions.h"
#include "settings/LarkProperties.h"

namespace {

const wchar_t kSettingsFileName[] = L"lark_stub.bcx_settings";
const wchar_t kMsiLogFileName[] = L"lark_install_msi.log";

const UINT kStatusRebootRequired = 3010;   // ERROR_SUCCESS_REBOOT_REQUIRED
const UINT kStatusRebootInitiated = 3011;  // ERROR_SUCCESS_RESTART_REQUIRED
const UINT kStatusInstallBusy = 1618;      // ERROR_INSTALL_ALREADY_RUNNING

const DWORD kUiFilter = INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_ACTIONSTART |
                        INSTALLLOGMODE_OUTOFDISKSPACE | INSTALLLOGMODE_FILESINUSE;
const DWORD kLogMode = INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING |
                       INSTALLLOGMODE_USER | INSTALLLOGMODE_INFO | INSTALLLOGMODE_RESOLVESOURCE |
                       INSTALLLOGMODE_OUTOFDISKSPACE | INSTALLLOGMODE_ACTIONSTART |
                       INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_PROPERTYDUMP | INSTALLLOGMODE_VERBOSE;

// Handles of Windows Installer, closed on every path.
class MsiHandle {
 public:
  MsiHandle() : m_handle(0) {}
  ~MsiHandle() {
    if (m_handle != 0) MsiCloseHandle(m_handle);
  }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  MSIHANDLE* operator&() { return &m_handle; }
  operator MSIHANDLE() const { return m_handle; }

 private:
  MSIHANDLE m_handle;
};

// Registers the external handler for one installation and removes it again,
// so that no later Windows Installer call in the process can reach an
// installer object that no longer exists.
class ExternalUiRegistration {
 public:
  explicit ExternalUiRegistration(LarkInstaller* installer) {
    m_previousLevel = MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiSetExternalUIW(MsiExternalUIHandler, kUiFilter, installer);
  }
  ~ExternalUiRegistration() {
    MsiSetExternalUIW(nullptr, 0, nullptr);
    MsiSetInternalUI(m_previousLevel, nullptr);
  }
  ExternalUiRegistration(const ExternalUiRegistration&) = delete;
  ExternalUiRegistration& operator=(const ExternalUiRegistration&) = delete;

 private:
  INSTALLUILEVEL m_previousLevel;
};

bool WriteAll(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool WriteText(HANDLE file, const wchar_t* text, int length) {
  if (length < 0) return false;
  return WriteAll(file, text, static_cast<DWORD>(length) * sizeof(wchar_t));
}

// The SID normally holds only letters, digits and dashes; anything else
// handed over on the command line must not change the XML around it.
std::wstring EscapeXmlAttribute(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      case L'"': out += L"&quot;"; break;
      case L'\'': out += L"&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

void SkipSeparators(const wchar_t*& position) {
  while (*position == L' ' || *position == L':') ++position;
}

int CurrentOsCode() {
  SystemInfo info;
  return info.GetOS();
}

}  // namespace

int ParseMsiProgressInt(const wchar_t*& position) {
  if (*position == L'\0') return 0;
  bool negative = false;
  // Unsigned, so that an overlong or garbled number wraps instead of being
  // undefined.
  unsigned int value = 0;
  for (; *position != L'\0' && *position != L' '; ++position) {
    if (*position == L'-') {
      negative = true;
    } else {
      value = value * 10u + static_cast<unsigned int>(*position - L'0');
    }
  }
  return static_cast<int>(negative ? 0u - value : value);
}

bool ParseMsiProgressFields(const wchar_t* text, MsiProgressFields& fields) {
  if (text == nullptr || *text == L'\0') return false;
  const wchar_t* position = text;
  for (;;) {
    wchar_t field = *position++;
    SkipSeparators(position);
    switch (field) {
      case L'1':
        if (*position < L'0' || *position > L'9') return false;
        fields.field[0] = ParseMsiProgressInt(position);
        break;
      case L'2':
        fields.field[1] = ParseMsiProgressInt(position);
        if (fields.field[0] == 2 || fields.field[0] == 3) return true;
        break;
      case L'3':
        fields.field[2] = ParseMsiProgressInt(position);
        if (fields.field[0] == 1) return true;
        break;
      case L'4':
        fields.field[3] = ParseMsiProgressInt(position);
        return true;
      default:
        return false;
    }
    SkipSeparators(position);
    if (*position == L'\0') return true;
  }
}

void AppendMsiProperty(const std::wstring& value, std::wstring& commandLine, const wchar_t* name) {
  if (value.empty()) return;
  commandLine += L' ';
  commandLine += name;
  commandLine += L"=\"";
  commandLine += value;
  commandLine += L'"';
}

INT CALLBACK MsiExternalUIHandler(LPVOID context, UINT messageType, LPCWSTR message) {
  if (context == nullptr) return 0;
  return static_cast<LarkInstaller*>(context)->MsiCallback(messageType, message);
}

LarkInstaller::LarkInstaller(const std::wstring& language, const std::wstring& targetDirectory,
                             const std::wstring& lateboundTargetDirectory,
                             const std::wstring& licenseTermsHash, bool reinstall)
    : LarkInstaller(language, targetDirectory, lateboundTargetDirectory, licenseTermsHash, reinstall,
                    CurrentOsCode()) {}

LarkInstaller::LarkInstaller(const std::wstring& language, const std::wstring& targetDirectory,
                             const std::wstring& lateboundTargetDirectory,
                             const std::wstring& licenseTermsHash, bool reinstall, int osCode)
    : m_rebootRequired(false),
      m_reinstall(reinstall),
      m_progressDone(0),
      m_progressTotal(0),
      m_rangeMinimum(0),
      m_rangeMaximum(100),
      m_rangedAction(false),
      m_language(language),
      m_targetDirectory(targetDirectory),
      m_lateboundTargetDirectory(lateboundTargetDirectory),
      m_licenseTermsHash(licenseTermsHash),
      m_progressSink(nullptr),
      m_osCode(osCode) {}

LarkInstaller::~LarkInstaller() {}

void LarkInstaller::SetProgressSink(ProgressSink* sink) {
  m_progressSink = sink;
  if (sink != nullptr) sink->GetRange(m_rangeMinimum, m_rangeMaximum);
}

int LarkInstaller::CheckAndInstall(const std::wstring& packagePath, ProgressSink* sink) {
  const wchar_t* const self = L"LarkInstaller::CheckAndInstall";
  LogW(5, L"%s: ", self);
  SetProgressSink(sink);

  if (m_targetDirectory.empty()) {
    LogW(3, L"%s: Target directory is empty.", self);
    return kNoTargetDirectory;
  }
  LogW(4, L"%s: Checking package '%s' signature", self, packagePath.c_str());
  if (!CheckSignature(packagePath)) {
    LogW(3, L"%s: Signature check failed.", self);
    return kSignatureRefused;
  }
  LogW(4, L"%s: Checking package version compliance", self);
  if (!CheckVersion(packagePath)) {
    LogW(3, L"%s: Unsupported package version", self);
    return kUnsupportedVersion;
  }

  LogW(4, L"%s: Installing MSI package '%s'", self, packagePath.c_str());
  UINT status = InstallFromMSI(packagePath);
  if (m_progressSink != nullptr) m_progressSink->SetPos(m_rangeMaximum);
  LogW(4, L"%s: Install finished with status: %s", self, FormatSystemError(status).c_str());

  if (!m_settingsFilePath.empty() && DeleteFileW(m_settingsFilePath.c_str())) {
    LogW(4, L"%s: %s file deleted", self, kSettingsFileName);
    // The folder was made for this file alone.
    size_t slash = m_settingsFilePath.find_last_of(L'\\');
    if (slash != std::wstring::npos) RemoveDirectoryW(m_settingsFilePath.substr(0, slash).c_str());
  }

  if (status == ERROR_SUCCESS) {
    m_rebootRequired = false;
    return kInstalled;
  }
  if (status == kStatusRebootRequired || status == kStatusRebootInitiated) {
    LogW(3, L"%s: Return code indicates that reboot is required", self);
    m_rebootRequired = true;
    return kInstalled;
  }
  if (status == kStatusInstallBusy) {
    LogW(3, L"%s: Another install is already running (msiexec is busy)", self);
    return kInstallerBusy;
  }
  return kInstallerFailed;
}

bool LarkInstaller::IsRebootRequired() {
  return m_rebootRequired;
}

bool LarkInstaller::CheckSignature(const std::wstring& packagePath) {
  const wchar_t* const self = L"LarkInstaller::CheckSignature";
  LogW(5, L"%s: ", self);
  if (MsiVerifyPackageW(packagePath.c_str()) != ERROR_SUCCESS) {
    LogW(1, L"%s: not a valid MSI package: '%s'", self, packagePath.c_str());
    return false;
  }
  return VerifyEmbeddedSignature(packagePath);
}

bool LarkInstaller::CheckVersion(const std::wstring& packagePath) {
  const wchar_t* const self = L"LarkInstaller::CheckVersion";
  LogW(5, L"%s: ", self);
  MsiHandle database, view, record;
  // Read-only: the check must not need write access to the package (a
  // local package may sit on read-only media) nor risk changing it.
  if (MsiOpenDatabaseW(packagePath.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS ||
      MsiDatabaseOpenViewW(database,
                           L"SELECT * FROM Property WHERE Property.Property='MSI_INTERFACE_VERSION'",
                           &view) != ERROR_SUCCESS ||
      MsiViewExecute(view, 0) != ERROR_SUCCESS) {
    LogW(3, L"%s: Failed to get MSI interface version from %s, last error = %d", self, packagePath.c_str(),
         static_cast<int>(GetLastError()));
    return false;
  }
  if (MsiViewFetch(view, &record) != ERROR_SUCCESS) {
    LogW(3, L"%s: %s contains no MSI_INTERFACE_VERSION property: fail stub version check", self,
         packagePath.c_str());
    return false;
  }
  wchar_t text[128] = {0};
  DWORD size = 128;
  if (MsiRecordGetStringW(record, 2, text, &size) != ERROR_SUCCESS) {
    LogW(3, L"%s: Failed to get MSI_INTERFACE_VERSION out of %s", self, packagePath.c_str());
    return false;
  }
  int version = -1;
  swscanf(text, L"%d", &version);
  if (version != kSupportedInterfaceVersion) {
    LogW(3, L"%s: MSI_INTERFACE_VERSION mismatch! %d : %d", self, kSupportedInterfaceVersion, version);
    return false;
  }
  LogW(5, L"%s: MSI_INTERFACE_VERSION checked : %d", self, kSupportedInterfaceVersion);
  return true;
}

UINT LarkInstaller::InstallFromMSI(const std::wstring& packagePath) {
  const wchar_t* const self = L"LarkInstaller::InstallFromMSI";
  LogW(5, L"%s: ", self);
  ExternalUiRegistration registration(this);
  std::wstring logPath = MakePath(LarkProperties::Instance()->GetLogDirectory(), kMsiLogFileName);
  MsiEnableLogW(kLogMode, logPath.c_str(), 0);

  std::wstring commandLine;
  if (!BuildCommandLine(commandLine)) {
    LogW(5, L"%s: failed to create command-line args", self);
    return ERROR_INSTALL_FAILURE;
  }
  LogW(4, L"%s: MSI cmdline: %s", self, commandLine.c_str());
  return MsiInstallProductW(packagePath.c_str(), commandLine.c_str());
}

bool LarkInstaller::BuildCommandLine(std::wstring& commandLine) {
  const wchar_t* const self = L"LarkInstaller::BuildCommandLine";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();
  AppendMsiProperty(L"1", commandLine, L"ARPNOREPAIR");
  AppendMsiProperty(L"1", commandLine, L"ARPNOMODIFY");
  AppendMsiProperty(L"REALLYSUPPRESS", commandLine, L"REBOOT");
  AppendMsiProperty(m_targetDirectory, commandLine, L"TARGETDIR");
  if (m_reinstall) {
    AppendMsiProperty(L"ALL", commandLine, L"REINSTALL");
    AppendMsiProperty(L"vamus", commandLine, L"REINSTALLMODE");
    AppendMsiProperty(L"1", commandLine, L"MSIENFORCEUPGRADECOMPONENTRULES");
  }
  AppendMsiProperty(properties->GetSetting(L"AgentName"), commandLine, L"LARKPRODNAME");
  AppendMsiProperty(properties->GetSetting(L"StartMenuFolder"), commandLine, L"STARTMENUFOLDER");
  AppendMsiProperty(properties->GetSetting(L"Shortcutname"), commandLine, L"SHORTCUTNAME");
  AppendMsiProperty(properties->GetSetting(L"DAAS2OperatorSuffix"), commandLine, L"daas2_operator_suffix");
  AppendMsiProperty(properties->GetSetting(L"PartnerID"), commandLine, L"PartnerID");
  AppendMsiProperty(properties->GetLanguage(), commandLine, L"Language");
  AppendMsiProperty(properties->GetSetting(L"KhDiagShortcutName"), commandLine, L"KHDIAGSHORTCUTNAME");
  AppendMsiProperty(properties->GetLateboundSettingsPath(), commandLine, L"LATEBOUND_SETTINGS");
  AppendMsiProperty(properties->GetLateboundLocalizationPath(), commandLine, L"LATEBOUND_LOCALIZATION");
  AppendMsiProperty(properties->GetLateboundCustomizationPath(), commandLine, L"LATEBOUND_CUSTOMIZATION");
  AppendMsiProperty(properties->GetLateboundHelpPath(), commandLine, L"LATEBOUND_HELP");
  AppendMsiProperty(m_lateboundTargetDirectory, commandLine, L"LATEBOUND_TARGETDIR");
  AppendMsiProperty(m_licenseTermsHash, commandLine, L"EULAHASH");

  std::wstring userSid = FindLoggedInUserSessionSID();
  if (userSid.empty()) userSid = properties->GetUserSid();
  if (CreateLarkBCXSettingsFile(userSid, m_settingsFilePath)) {
    AppendMsiProperty(m_settingsFilePath, commandLine, L"LARK_STUB_SETTINGS_FILE");
  }
  return true;
}

bool LarkInstaller::CreateLarkBCXSettingsFile(const std::wstring& userSid, std::wstring& path) {
  const wchar_t* const self = L"LarkInstaller::CreateLarkBCXSettingsFile";
  LogW(5, L"%s: ", self);
  path.clear();
  std::wstring directory = CreateSecureTempDirectory(L"stub");
  std::wstring filePath = MakePath(directory, kSettingsFileName);
  HANDLE file = CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogW(2, L"%s: Failed to open file '%s' for writing bcx settings, error: %lu", self, filePath.c_str(),
         GetLastError());
    return false;
  }

  bool ok = true;
  static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
  ok = WriteAll(file, kByteOrderMark, sizeof(kByteOrderMark)) && ok;
  static const wchar_t kHeader[] = L"<Settings>\n";
  ok = WriteText(file, kHeader, static_cast<int>(wcslen(kHeader))) && ok;

  wchar_t line[1024];
  if (!userSid.empty()) {
    int length = _snwprintf(line, 1023,
                            L"<Add type=\"string\" name=\"ZUP_http_browserproxy_currentuser\" value=\"%s\" "
                            L"admin=\"1\" />\n",
                            EscapeXmlAttribute(userSid).c_str());
    line[1023] = L'\0';
    ok = WriteText(file, line, length) && ok;
  }
  int length = _snwprintf(line, 1023,
                          L"<Add type=\"int\" name=\"RK_BCXBasicInstallationTime\" value=\"%I64d\" admin=\"1\" />\n",
                          static_cast<__int64>(_time64(nullptr)));
  line[1023] = L'\0';
  ok = WriteText(file, line, length) && ok;
  static const wchar_t kFooter[] = L"</Settings>\n";
  ok = WriteText(file, kFooter, static_cast<int>(wcslen(kFooter))) && ok;
  CloseHandle(file);

  if (!ok) {
    LogW(2, L"%s: One or more writes to file '%s' failed", self, filePath.c_str());
    DeleteFileW(filePath.c_str());
    return false;
  }
  path = filePath;
  return true;
}

int LarkInstaller::MsiCallback(UINT messageType, LPCWSTR message) {
  const wchar_t* const self = L"LarkInstaller::MsiCallback";
  switch (messageType & 0xFF000000u) {
    case INSTALLMESSAGE_ACTIONSTART:
      LogW(5, L"%s: MsiCallback: action: %s", self, message ? message : L"");
      OnActionStart(message);
      return 0;
    case INSTALLMESSAGE_FILESINUSE:
      LogW(3, L"%s: FILESINUSE: Probably reboot will be required", self);
      m_rebootRequired = true;
      return 0;
    case INSTALLMESSAGE_OUTOFDISKSPACE:
      LogW(1, L"%s: OUTOFDISKSPACE", self);
      return IDABORT;
    case INSTALLMESSAGE_PROGRESS: {
      if (m_progressSink == nullptr || message == nullptr) return 0;
      MsiProgressFields fields;
      if (!ParseMsiProgressFields(message, fields)) return 0;
      if (fields.field[0] == 0) {
        m_progressTotal = static_cast<unsigned int>(fields.field[1]);
        m_progressDone = 0;
      } else if (fields.field[0] == 2) {
        m_progressDone += static_cast<unsigned int>(fields.field[1]);
        if (m_rangedAction && m_progressTotal != 0 && m_progressDone <= m_progressTotal) {
          m_progressSink->SetSubProgress(
              static_cast<int>(static_cast<unsigned long long>(m_progressDone) * 100u / m_progressTotal));
        }
      }
      return 0;
    }
    default:
      return 0;
  }
}

void LarkInstaller::OnActionStart(LPCWSTR action) {
  if (m_progressSink == nullptr || action == nullptr) return;
  if (m_osCode == 2) {
    if (wcsstr(action, L"RollbackCleanup") != nullptr) {
      m_progressSink->SetPos(m_rangeMaximum - 1);
    } else if (static_cast<unsigned int>(m_progressSink->GetPos()) <
               static_cast<unsigned int>(m_rangeMaximum - 1)) {
      m_progressSink->StepIt();
    }
    return;
  }
  unsigned int step = static_cast<unsigned int>(m_rangeMaximum - m_rangeMinimum) / 10u;
  int minimum = m_rangeMinimum;
  if (wcsstr(action, L"InstallValidate") != nullptr) {
    m_progressSink->SetRange(minimum, minimum + static_cast<int>(3 * step));
    m_rangedAction = true;
  } else if (wcsstr(action, L"InstallExecute") != nullptr) {
    m_progressSink->SetRange(minimum + static_cast<int>(3 * step), minimum + static_cast<int>(9 * step));
    m_rangedAction = true;
  } else if (wcsstr(action, L"InstallFinalize") != nullptr) {
    m_progressSink->SetPos(m_rangeMaximum - 1);
    m_rangedAction = false;
  }
}
