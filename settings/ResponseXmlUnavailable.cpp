// Stand-in used only while the response XML reader is not in the tree.
#include "logging/Log.h"
#include "settings/LarkProperties.h"

bool LarkProperties::ParseResourcesFromXmlFile(const std::wstring&) {
  LogW(1, L"%s: Failed to read from xml file", L"LarkProperties::ParseResourcesFromXmlFile");
  return false;
}
