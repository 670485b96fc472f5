// Custom-action DLL of the "diskfull" test package: reports that the disk
// is full, as Windows Installer itself would, and ends the installation when
// the user interface answers with abort.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

extern "C" __declspec(dllexport) UINT __stdcall ReportOutOfDiskSpace(MSIHANDLE install) {
  MSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, L"Out of disk space (test)");
  int answer = MsiProcessMessage(install, INSTALLMESSAGE_OUTOFDISKSPACE, record);
  MsiCloseHandle(record);
  return answer == IDABORT ? ERROR_INSTALL_USEREXIT : ERROR_SUCCESS;
}
