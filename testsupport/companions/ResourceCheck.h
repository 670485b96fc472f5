// Reads resources out of a built program file for the companions' tests.
#pragma once

#include <windows.h>

#include <string>

namespace companionstest {

// The raw bytes of resource (type, name) of the program file `path`;
// false when the file or the resource is missing.
inline bool ReadResource(const std::wstring& path, LPCWSTR type, LPCWSTR name, std::string& bytes) {
  bytes.clear();
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  HRSRC found = FindResourceW(module, name, type);
  if (found) {
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    if (data) bytes.assign(data, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return found != nullptr;
}

// Empty when the manifest is one empty <assembly/> element of the usual
// namespace and version, otherwise what is wrong with it.
inline std::string ProblemWithEmptyManifest(const std::string& manifest) {
  size_t element = manifest.find("<assembly");
  if (element == std::string::npos) return "no assembly element in: " + manifest;
  size_t end = manifest.find('>', element);
  if (end == std::string::npos || manifest[end - 1] != '/') return "the assembly element is not empty: " + manifest;
  if (manifest.find('<', element + 1) != std::string::npos) return "more than one element: " + manifest;
  if (manifest.find("xmlns=\"urn:schemas-microsoft-com:asm.v1\"") == std::string::npos ||
      manifest.find("manifestVersion=\"1.0\"") == std::string::npos)
    return "not an assembly manifest of version 1.0: " + manifest;
  return std::string();
}

}  // namespace companionstest
