// Stand-in of the installed agent's operator-configuration library: four
// named entries. The three that take the installer's operator record read
// it field by field, strings included, and record it; each answers what
// "answers.ini" says ("install", "succeed", "failed").
#include <windows.h>

#include <string>

#include "StandinJournal.h"

namespace {

// The record as the installer lays it out: a size word, the operator id and
// seven string pointers (32-bit words in a 32-bit build).
struct OperatorRecord {
  DWORD size;
  int operatorId;
  const wchar_t* lateboundTargetDir;
  const wchar_t* uninstallation;
  const wchar_t* shortcutName;
  const wchar_t* khDiagShortcutName;
  const wchar_t* startMenuFolder;
  const wchar_t* licenseTermsHash;
  const wchar_t* language;
};

int RecordCall(const wchar_t* entry, const OperatorRecord* record) {
  std::wstring line = std::wstring(L"config.") + entry;
  if (record == nullptr) {
    line += L"|<null record>";
  } else {
    line += L"|" + std::to_wstring(record->size) + L"|" + std::to_wstring(record->operatorId);
    // A record shorter than the layout would have us read past its end.
    if (record->size >= sizeof(OperatorRecord)) {
      const wchar_t* strings[] = {record->lateboundTargetDir, record->uninstallation, record->shortcutName,
                                  record->khDiagShortcutName, record->startMenuFolder, record->licenseTermsHash,
                                  record->language};
      for (const wchar_t* text : strings) line += L"|" + standin::Text(text);
    }
  }
  standin::Record(line);
  return standin::Answer(entry);
}

}  // namespace

extern "C" __declspec(dllexport) int WINAPI kh_rk_operator_config_DelayLoadStub() {
  standin::Record(L"config.DelayLoadStub");
  return 0;
}

extern "C" __declspec(dllexport) int WINAPI kh_rk_operator_config_install(const OperatorRecord* record) {
  return RecordCall(L"install", record);
}

extern "C" __declspec(dllexport) int WINAPI kh_rk_operator_config_install_succeed(const OperatorRecord* record) {
  return RecordCall(L"succeed", record);
}

// The partial build lacks this entry, like an agent library that is too old.
#ifndef LARK_STANDIN_PARTIAL
extern "C" __declspec(dllexport) int WINAPI kh_rk_operator_config_install_failed(const OperatorRecord* record) {
  return RecordCall(L"failed", record);
}
#endif
