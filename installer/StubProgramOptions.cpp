// The installer's command-line options: the option table, how each parsed
// option is applied to StubProgram and the settings store, and the usage
// text printed when the command line can't be parsed. Every failure is a
// standard exception; the program entry turns it into exit code 9.
#include <cstdlib>
#include <stdexcept>

#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "settings/LarkProperties.h"
#include "settings/OptionParser.h"

namespace {

// Deliberately unchanged: it lists neither --provisioning-group nor the
// options that only the installer passes to itself, and its "default 500"
// differs from the built-in 256.
const wchar_t kUsage[] =
    L"\n"
    L"Usage:\n"
    L" -l   --language <lang-code>, select installation language\n"
    L" -i   --installer <file>, installs package from specified file\n"
    L" -c   --customization-directory <dir>, install customizations from directory\n"
    L" -s   --silent, runs program without user interaction\n"
    L"      --help-directory <dir>, install help package from directory\n"
    L"      --settings-directory <dir>, install settings package from directory\n"
    L"      --loc-directory <dir>, install localization package from directory\n"
    L"      --eula-directory <dir>, read EULA from a directory\n"
    L"      --privacy-directory <dir>, read privacy policy from a directory\n"
    L"      --min-mem-mb <mb>, minimum memory requirement in megabytes (default 500)\n"
    L"      --min-program-mb, min disk free in Program Files in MB\n"
    L"      --no-launch, don't launch post-install processes\n"
    L"      --show-settings, show embedded settings\n"
    L"      --user-sid, set the Secure IDentfier of currently logged user (user who started the "
    L"stub installer)\n";

const OptionDefinition kOptions[] = {
    {L"language", L'l', OptionDefinition::MandatoryArgument},
    {L"min-mem-mb", 0, OptionDefinition::MandatoryArgument},
    {L"min-program-mb", 0, OptionDefinition::MandatoryArgument},
    {L"installer", L'i', OptionDefinition::MandatoryArgument},
    {L"customization-directory", L'c', OptionDefinition::MandatoryArgument},
    {L"help-directory", 0, OptionDefinition::MandatoryArgument},
    {L"loc-directory", 0, OptionDefinition::MandatoryArgument},
    {L"settings-directory", 0, OptionDefinition::MandatoryArgument},
    {L"eula-directory", 0, OptionDefinition::MandatoryArgument},
    {L"privacy-directory", 0, OptionDefinition::MandatoryArgument},
    {L"provisioning-group", 0, OptionDefinition::MandatoryArgument},
    {L"user-sid", 0, OptionDefinition::MandatoryArgument},
    {L"silent", L's', OptionDefinition::NoArgument},
    {L"no-launch", 0, OptionDefinition::NoArgument},
    {L"elevated", 0, OptionDefinition::NoArgument},
    {L"show-settings", 0, OptionDefinition::NoArgument},
    {L"prestub-launched", 0, OptionDefinition::NoArgument},
    {L"vn48hackfordc", 0, OptionDefinition::NoArgument},
};

struct PathOption {
  const wchar_t* name;
  void (LarkProperties::*setter)(const std::wstring&);
  bool isFile;
  const wchar_t* providedText;
  const wchar_t* missingText;
  const char* exceptionText;
};

const PathOption kPathOptions[] = {
    {L"installer", &LarkProperties::SetInstallerPath, true, L"Local MSI package provided",
     L"Provided file doesn't exist", "invalid path to msi file"},
    {L"customization-directory", &LarkProperties::SetCustomizationDirectory, false,
     L"Customization directory provided", L"Customization directory doesn't exist",
     "invalid path to customization dir"},
    {L"help-directory", &LarkProperties::SetHelpDirectory, false,
     L"Help package directory provided", L"Help package directory doesn't exist",
     "invalid path to help package dir"},
    {L"loc-directory", &LarkProperties::SetLocalizationDirectory, false,
     L"Localization package directory provided", L"Localization package directory doesn't exist",
     "invalid path to localization package dir"},
    {L"settings-directory", &LarkProperties::SetSettingsDirectory, false,
     L"Settings package directory provided", L"Settings package directory doesn't exist",
     "invalid path to settings dir"},
    {L"eula-directory", &LarkProperties::SetEulaDirectory, false, L"EULA directory provided",
     L"EULA directory doesn't exist", "invalid path to EULA dir"},
    {L"privacy-directory", &LarkProperties::SetPrivacyDirectory, false,
     L"Privacy policy directory provided", L"Privatecy policy directory doesn't exist",
     "invalid path to privacy policy dir"},
};

}  // namespace

void StubProgram::PrintUsage() {
  wchar_t usage[sizeof(kUsage) / sizeof(kUsage[0])];
  wcscpy(usage, kUsage);
  ConsolePrintf(L"%s", usage);
}

bool StubProgram::ParseArguments() { return ParseCommandLine(GetCommandLineW()); }

bool StubProgram::ParseCommandLine(const std::wstring& commandLine) {
  const wchar_t* self = L"StubProgram::ParseArguments";
  LogW(5, L"%s: ", self);
  OptionParser parser;
  for (const OptionDefinition& definition : kOptions) parser.AddOption(definition);
  try {
    parser.Parse(commandLine);
  } catch (const std::exception& e) {
    LogW(3, L"%s: Parsing command line failed: %S", self, e.what());
    PrintUsage();
    throw;
  }
  for (const ParsedOption& option : parser.GetParsedOptions()) ParseArgument(option);

  LarkProperties* properties = LarkProperties::Instance();
  properties->SetLocalSources(m_local);
  if (m_local && properties->GetInstallerPath().empty()) {
    LogW(1, L"%s: Installer must be specified for local installation", self);
    ConsolePrintf(L"\nYou must specify installer for local installation\n");
    throw std::runtime_error("installer not specified");
  }
  return true;
}

void StubProgram::ParseArgument(const ParsedOption& option) {
  const wchar_t* self = L"StubProgram::ParseArgument";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();
  const std::wstring& name = option.name;
  for (const PathOption& path : kPathOptions) {
    if (name == path.name) {
      ParsePathArgument(option, path.setter, path.isFile, path.providedText, path.missingText,
                        path.exceptionText);
      return;
    }
  }
  if (name == L"language") {
    m_language = option.GetValue();
    LogW(4, L"%s: Language set to %s", self, m_language.c_str());
  } else if (name == L"min-mem-mb") {
    ParseMBRequirement(option, m_minMemoryMB, L"Minimum memory MB changed to",
                       L"Failed to get minimum memory MB");
  } else if (name == L"min-program-mb") {
    ParseMBRequirement(option, m_minProgramFilesMB, L"Minimum free disk MB in Program Files changed",
                       L"Failed to get minimum free disk MB in Program Files");
  } else if (name == L"provisioning-group") {
    properties->SetProvisioningGroup(option.GetValue());
    LogW(4, L"%s: Provisioning group provided: '%s'", self,
         properties->GetProvisioningGroup().c_str());
  } else if (name == L"user-sid") {
    properties->SetUserSid(option.GetValue());
    LogW(4, L"%s: user-sid provided: '%s'", self, properties->GetUserSid().c_str());
  } else if (name == L"silent") {
    m_silent = true;
    LogW(4, L"%s: Silent mode set", self);
  } else if (name == L"no-launch") {
    m_noLaunch = true;
    LogW(4, L"%s: No launch mode specified", self);
  } else if (name == L"elevated") {
    m_elevated = true;
    LogW(4, L"%s: Elevated mode specified", self);
  } else if (name == L"show-settings") {
    m_showSettings = true;
    LogW(4, L"%s: Show settings specified", self);
  } else if (name == L"prestub-launched") {
    m_prestubLaunched = true;
    LogW(4, L"%s: Launched by pre-Stub", self);
  } else if (name == L"vn48hackfordc") {
    m_vn48HackForDC = true;
    LogW(4, L"%s: VN 48 hack for DC mode enabled!", self);
  } else {
    LogW(3, L"%s: Unknown option. This shouldn't happen if the parser works properly", self);
  }
}

void StubProgram::ParsePathArgument(const ParsedOption& option, PathSetter setter, bool isFile,
                                    const wchar_t* providedText, const wchar_t* missingText,
                                    const char* exceptionText) {
  const wchar_t* self = L"StubProgram::ParsePathArgument";
  LogW(5, L"%s: ", self);
  const std::wstring typed = option.GetValue();
  const std::wstring path = GetFullPath(typed);
  DWORD attributes = GetFileAttributesW(path.c_str());
  bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  bool ok = attributes != INVALID_FILE_ATTRIBUTES && (isFile ? !isFolder : isFolder);
  if (!ok) {
    LogW(1, L"%s: %s: '%s'", self, missingText, path.c_str());
    ConsolePrintf(L"\n%s: %s\n", isFile ? L"File not found" : L"Dir not found", typed.c_str());
    throw std::runtime_error(exceptionText);
  }
  (LarkProperties::Instance()->*setter)(path);
  m_local = true;
  LogW(4, L"%s: %s: '%s'", self, providedText, path.c_str());
}

void StubProgram::ParseMBRequirement(const ParsedOption& option, int& target,
                                     const wchar_t* changedText, const wchar_t* failedText) {
  const wchar_t* self = L"StubProgram::ParseMBRequirement";
  LogW(5, L"%s: ", self);
  const std::wstring value = option.GetValue();
  if (!value.empty()) {
    target = _wtoi(value.c_str());
    LogW(4, L"%s: %s:%dMB", self, changedText, target);
  } else {
    LogW(3, L"%s: %s from '%s', using default %dMB", self, failedText, value.c_str(), target);
  }
}
