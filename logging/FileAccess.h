// The policy around one log file: where it is, when it rotates into
// numbered files, how a file is deleted so that its name is free at once,
// and (for the shared writer) the named mutex that orders several processes
// appending to it.
#pragma once

#include <windows.h>

#include "logging/FileLowLevel.h"
#include "logging/FileUtils.h"

namespace KhBcxLogging {

class FileAccessBase {
 public:
  // Takes ownership of file and utils. The file is opened at the first write.
  FileAccessBase(DWORD rotateCount, DWORD sizeLimit, const wchar_t* path, FileLowLevel* file, FileUtils* utils);
  virtual ~FileAccessBase();
  FileAccessBase(const FileAccessBase&) = delete;
  FileAccessBase& operator=(const FileAccessBase&) = delete;

  // Appends one whole line.
  virtual void Write(const void* bytes, DWORD count) = 0;
  // Shifts path, path.1, ... up by one (dropping the oldest) and opens a new
  // file at path; with a rotate count of 0 the file is just started anew.
  virtual void Rotate();
  virtual void EnsureOpen();
  // True when the file lacks the byte-order mark or is over the size limit.
  virtual bool NeedsRotation();
  virtual bool DeleteFile(const wchar_t* path) = 0;
  // The first of path__delete_1 ... path__delete_99 that does not exist
  // (the 99th when all do); empty when it does not fit into capacity.
  virtual void MakeDeleteName(wchar_t* out, size_t capacity, const wchar_t* path);
  virtual bool CreateLogDirectory(const wchar_t* path);

  DWORD sizeLimit() const { return m_sizeLimit; }
  DWORD rotateCount() const { return m_rotateCount; }
  HANDLE mutex() const { return m_mutex; }

 protected:
  HANDLE m_mutex = nullptr;
  wchar_t* m_path = nullptr;
  DWORD m_sizeLimit;
  DWORD m_rotateCount;
  FileLowLevel* m_file;
  FileUtils* m_utils;
};

// The writer that the program uses: any number of processes may append to
// the same file; each line is written under the file's named mutex.
class FileAccessTransient : public FileAccessBase {
 public:
  FileAccessTransient(DWORD rotateCount, DWORD sizeLimit, const wchar_t* path, FileLowLevel* file,
                      FileUtils* utils);
  ~FileAccessTransient() override;
  void Write(const void* bytes, DWORD count) override;
  // Renames the file to a delete name before deleting it, so that the log's
  // own name is free at once even when the delete has to wait.
  bool DeleteFile(const wchar_t* path) override;
};

// A writer for a file that only one process writes: no mutex, no seek.
class FileAccessContinuous : public FileAccessBase {
 public:
  FileAccessContinuous(DWORD rotateCount, DWORD sizeLimit, const wchar_t* path, FileLowLevel* file,
                       FileUtils* utils);
  ~FileAccessContinuous() override;
  void Write(const void* bytes, DWORD count) override;
  bool DeleteFile(const wchar_t* path) override;
};

// Name of the index-th rotated file: stub.log with 1 gives stub.1.log, a
// path without an extension gets ".1" appended; index 0 is the path itself.
// False (and out empty) when the name does not fit into capacity.
bool MakeRotatedFileName(size_t capacity, const wchar_t* path, wchar_t* out, DWORD index);

}  // namespace KhBcxLogging
