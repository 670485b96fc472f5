// The file-system operations that the log writers need, behind an interface
// so that tests can stand in for the disk.
#pragma once

#include <windows.h>

namespace KhBcxLogging {

class FileUtils {
 public:
  virtual ~FileUtils() = default;
  // True when the path names a regular file (not a folder).
  virtual bool FileExists(const wchar_t* path) = 0;
  // Deletes the file, or schedules its deletion for the next restart when
  // it can't be deleted now; true when either worked.
  virtual bool DeleteFile(const wchar_t* path) = 0;
  // Moves a file, replacing the target.
  virtual bool MoveFile(const wchar_t* from, const wchar_t* to) = 0;
  // Creates the folder and every missing parent; true when it exists after.
  virtual bool CreateDirectoryRecursive(const wchar_t* path, SECURITY_ATTRIBUTES* attributes) = 0;
  virtual bool DirectoryExists(const wchar_t* path) = 0;
};

class FileUtilsWin32 : public FileUtils {
 public:
  bool FileExists(const wchar_t* path) override;
  bool DeleteFile(const wchar_t* path) override;
  bool MoveFile(const wchar_t* from, const wchar_t* to) override;
  bool CreateDirectoryRecursive(const wchar_t* path, SECURITY_ATTRIBUTES* attributes) override;
  bool DirectoryExists(const wchar_t* path) override;
};

}  // namespace KhBcxLogging
