#include "installer/PostInstall.h"

// Placeholder bodies; the post-installation programs replace them.
std::wstring GetInstallPath() { return std::wstring(); }
void LoadInstallerPostRunner(StubProgram&) {}
bool RunUIHosters() { return false; }
bool StoreValue(const std::wstring&, const std::wstring&, const std::wstring&, HKEY) { return false; }
bool StorePackageOrigin(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&) {
  return false;
}
std::wstring GetLocalTimeStamp() { return std::wstring(); }
bool RecordPackageOrigins(std::wstring, std::wstring, std::wstring, std::wstring, std::wstring, std::wstring,
                          std::wstring, std::wstring) {
  return true;
}
bool GetInstalledOperators(std::vector<std::wstring>&) { return false; }
