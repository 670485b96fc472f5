// One open log file: a UTF-16LE file that starts with the FF FE mark and is
// only ever appended to. Its size is the length last seen at the end of the
// file, advanced by each write.
#pragma once

#include <windows.h>

#include "logging/LogSecurity.h"

namespace KhBcxLogging {

class FileLowLevel {
 public:
  FileLowLevel();
  virtual ~FileLowLevel();
  FileLowLevel(const FileLowLevel&) = delete;
  FileLowLevel& operator=(const FileLowLevel&) = delete;

  // Opens or creates the file and positions at its end; a new file gets the
  // byte-order mark. False when a file is already open or the file can't be
  // opened (the file then counts as not Unicode).
  virtual bool Open(const wchar_t* path);
  virtual void Close();
  // False only when no file is open; a failed WriteFile is ignored.
  virtual bool Write(const void* bytes, DWORD count);
  virtual unsigned long long GetSize();
  // Moves to the end (other processes may have appended) and takes the
  // size from there.
  virtual bool SeekToEnd();
  // True when the file lacks the byte-order mark, or could not be opened.
  virtual bool IsNotUnicode();
  virtual bool IsOpen();
  virtual bool PrepareUnicodeFile();

 private:
  unsigned long long m_size = 0;
  HANDLE m_handle = INVALID_HANDLE_VALUE;
  bool m_notUnicode = false;
  LogSecurityAttributes m_security;
};

}  // namespace KhBcxLogging
