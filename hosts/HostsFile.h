// The hosts file as single-byte text: every byte is one character (0 to
// 255), a line feed ends a line and a carriage return right before it is
// dropped; lines are written back with CR LF between them and none after
// the last. Reading "a\n" gives {"a", ""}, so a trailing line end survives
// a read and a write. No other byte is special (a Ctrl-Z is kept), so a
// read and a write of the same lines lose nothing.
#pragma once

#include <windows.h>

#include <string>

#include "hosts/ContentAnalyzer.h"

namespace khhosts {

// Converts between an open file handle (not owned) and lines.
class FileReaderWriter {
 public:
  enum Result { kDone = 0, kNotOpen = 1, kReadFailed = 2, kWriteFailed = 3 };

  explicit FileReaderWriter(HANDLE file) : m_file(file) {}

  // lines receives the file's lines, raw (when given) its bytes.
  int read(Lines& lines, std::string* raw);
  int write(const Lines& lines);
  int writeBytes(const std::string& bytes);

  static void splitLines(const std::string& bytes, Lines& lines);
  static std::string joinLines(const Lines& lines);

 private:
  HANDLE m_file;
};

class File {
 public:
  explicit File(const std::wstring& path) : m_path(path) {}
  const std::wstring& path() const { return m_path; }

  bool exists() const;
  // FileReaderWriter codes. Reading shares the file with everyone; writing
  // replaces the whole content (the file keeps its identity, attributes and
  // access list).
  int content(Lines& lines, std::string* raw = nullptr) const;
  int setContent(const Lines& lines) const;
  int setBytes(const std::string& bytes) const;

  bool isReadOnly() const { return hasAttribute(FILE_ATTRIBUTE_READONLY); }
  bool isHidden() const { return hasAttribute(FILE_ATTRIBUTE_HIDDEN); }
  bool isSystem() const { return hasAttribute(FILE_ATTRIBUTE_SYSTEM); }
  bool setReadOnly(bool on) const { return setAttribute(FILE_ATTRIBUTE_READONLY, on); }
  bool setHidden(bool on) const { return setAttribute(FILE_ATTRIBUTE_HIDDEN, on); }
  bool setSystem(bool on) const { return setAttribute(FILE_ATTRIBUTE_SYSTEM, on); }

 private:
  bool hasAttribute(DWORD bit) const;
  bool setAttribute(DWORD bit, bool on) const;
  HANDLE openForWriting() const;

  std::wstring m_path;
};

}  // namespace khhosts
