// Adding this installer's operator to an agent that is already installed
// and supports several operators: the operator's description, the record
// that the agent's operator-configuration library takes, the calls into
// that library and into the agent's late-bound package library. Both
// libraries belong to the installed agent and are bound at first use
// under the delay-load identifier 100; a library that is missing or lacks
// an entry is reported as an error, never as a crash.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The installer's own description of the operator (strings owned).
struct OperatorConfig {
  int operatorId;
  std::wstring lateboundTargetDir;
  std::wstring uninstallation;      // "AgentName"
  std::wstring shortcutName;        // "Shortcutname"
  std::wstring khDiagShortcutName;  // "KhDiagShortcutName"
  std::wstring startMenuFolder;     // "StartMenuFolder"
  std::wstring licenseTermsHash;    // empty in silent mode
  std::wstring language;
};

// Id 0 and every string empty.
void OperatorConfigParams(OperatorConfig& config);
void OperatorConfigCopy(OperatorConfig& target, const OperatorConfig& source);
// Frees the strings (the record is empty afterwards).
void OperatorConfigDestroy(OperatorConfig& config);

// The record handed to every entry of the operator-configuration library.
// It borrows the strings of a live OperatorConfig: every pointer is
// non-null (an empty field points to an empty string) and valid only while
// that OperatorConfig lives and is not changed. The size word holds the
// record's size: 36 in the 32-bit product, whose layout is nine 32-bit
// words; a 64-bit build has the natural layout with 8-byte pointers.
struct OperatorConfigInstallRecord {
  uint32_t size;
  int32_t operatorId;
  const wchar_t* lateboundTargetDir;
  const wchar_t* uninstallation;
  const wchar_t* shortcutName;
  const wchar_t* khDiagShortcutName;
  const wchar_t* startMenuFolder;
  const wchar_t* licenseTermsHash;
  const wchar_t* language;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(OperatorConfigInstallRecord) == 36, "nine 32-bit words");
static_assert(offsetof(OperatorConfigInstallRecord, operatorId) == 4 &&
                  offsetof(OperatorConfigInstallRecord, lateboundTargetDir) == 8 &&
                  offsetof(OperatorConfigInstallRecord, uninstallation) == 12 &&
                  offsetof(OperatorConfigInstallRecord, shortcutName) == 16 &&
                  offsetof(OperatorConfigInstallRecord, khDiagShortcutName) == 20 &&
                  offsetof(OperatorConfigInstallRecord, startMenuFolder) == 24 &&
                  offsetof(OperatorConfigInstallRecord, licenseTermsHash) == 28 &&
                  offsetof(OperatorConfigInstallRecord, language) == 32,
              "32-bit record layout");
#else
static_assert(sizeof(OperatorConfigInstallRecord) == 64, "two 32-bit words and seven 64-bit pointers");
static_assert(offsetof(OperatorConfigInstallRecord, operatorId) == 4 &&
                  offsetof(OperatorConfigInstallRecord, lateboundTargetDir) == 8 &&
                  offsetof(OperatorConfigInstallRecord, uninstallation) == 16 &&
                  offsetof(OperatorConfigInstallRecord, shortcutName) == 24 &&
                  offsetof(OperatorConfigInstallRecord, khDiagShortcutName) == 32 &&
                  offsetof(OperatorConfigInstallRecord, startMenuFolder) == 40 &&
                  offsetof(OperatorConfigInstallRecord, licenseTermsHash) == 48 &&
                  offsetof(OperatorConfigInstallRecord, language) == 56,
              "64-bit record layout");
#endif

// The calls into the operator-configuration library.
class OperatorConfigurator {
 public:
  // Loads the library and configures the operator; true when the library
  // answered 0.
  static bool run(const OperatorConfig& config);
  // Reports the outcome of the configuration to the library (which must
  // be loadable); true when it answered 0.
  static bool succeed(const OperatorConfig& config);
  static bool failed(const OperatorConfig& config);
  // Fills record over config's strings and returns it.
  static OperatorConfigInstallRecord& MakeInstallRecord(OperatorConfigInstallRecord& record,
                                                        const OperatorConfig& config);

 private:
  static bool DelayLoadOperatorConfig();
};

// Writes the id and the five names of config to the log (not the licence
// hash, not the language).
void logOperatorConfigStruct(const OperatorConfig& config);

// Installs one late-bound package (type: 0 customization, 1 localization,
// 2 help, 3 settings) into target; the library's error code, 0 on success.
unsigned long InstallLateboundPackage(const std::wstring& target, const std::wstring& package, DWORD type);
