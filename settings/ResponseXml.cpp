// Merging of a response XML file ("stubconf.xml") into the customized
// settings: every child of "response" is a global setting, and each
// "stubCustomization" inside "stubCustomizations" holds the settings of the
// language named by its "language" child. The file is read and walked
// first; the values go into the store in one step at the end, so that a
// reader on another thread never waits for the file.
#include <utility>
#include <vector>

#include "logging/Log.h"
#include "settings/LarkProperties.h"
#include "xml/XmlDocument.h"

namespace {

const wchar_t kMethod[] = L"LarkProperties::ParseResourcesFromXmlFile";

typedef std::vector<std::pair<std::wstring, std::wstring>> Entries;

// Collects the children of one "stubCustomization" (the current element of
// block) under its language; a block without a language adds nothing.
void CollectCustomization(Entries& entries, XmlDocument& block) {
  block.IntoElement();
  std::wstring code;
  if (block.FindChildElement(L"language")) code = block.GetChildData();
  // Stepping out and in again starts the child walk from the first child.
  block.OutOfElement();
  if (code.empty()) return;
  block.IntoElement();
  while (block.FindChildElement(nullptr)) {
    std::wstring tag = block.GetChildTagName();
    if (tag == L"language") continue;
    std::wstring value = block.GetChildData();
    if (value.empty()) {
      LogW(5, L"%s: Value for '%s' is empty - ignoring", kMethod, tag.c_str());
      continue;
    }
    entries.emplace_back(code + L":" + tag, value);
  }
  block.OutOfElement();
}

}  // namespace

bool LarkProperties::ParseResourcesFromXmlFile(const std::wstring& path) {
  LogW(5, L"%s: ", kMethod);
  XmlDocument doc;
  if (path.empty() || !doc.ReadWholeFile(path.c_str()) || !doc.ParseDocument()) {
    LogW(1, L"%s: Failed to read from xml file", kMethod);
    return false;
  }
  if (!doc.FindElement(L"response")) {
    LogW(1, L"%s: Invalid response file: %s\n", kMethod, path.c_str());
    return false;
  }
  LogW(5, L"%s: Looping through response file.", kMethod);
  Entries entries;
  while (doc.FindChildElement(nullptr)) {
    std::wstring tag = doc.GetChildTagName();
    if (tag != L"stubCustomizations") {
      entries.emplace_back(tag, doc.GetChildData());
      continue;
    }
    XmlDocument block(doc.GetChildSubDoc().c_str());
    while (block.FindChildElement(L"stubCustomization")) CollectCustomization(entries, block);
  }
  StoreProperties(entries, CustomizedSettings);
  return true;
}
