// Where the hosts file lives: the folder named by the TCP/IP parameter
// "DataBasePath" (environment references expanded), else the system's
// drivers\etc folder. File names are appended to the folder as they stand,
// so a folder that ends in a backslash gives two in a row, which the file
// system accepts.
#pragma once

#include <string>

namespace khhosts {

class HostsPath {
 public:
  // Looks the folder up (registry, else the default).
  HostsPath();
  // A folder fixed by the caller; nothing is looked up.
  explicit HostsPath(const std::wstring& directory) : m_directory(directory) {}

  const std::wstring& directory() const { return m_directory; }
  std::wstring hostsFile() const;
  std::wstring backupFile() const;

  // False (and path unchanged) when the value is missing, unreadable, or
  // empty after expansion.
  static bool filePathFromRegistry(std::wstring& path);
  // SystemRoot + "\system32\drivers\etc\" (with its trailing backslash);
  // the system folder's drivers\etc folder when SystemRoot is not set.
  static void defaultFilePath(std::wstring& path);

 private:
  std::wstring m_directory;
};

}  // namespace khhosts
