// XmlFileStream: one open text file of the XML engine. Reading recognises
// byte-order marks, a declared encoding or UTF-8 and converts the bytes to
// UTF-16; writing converts back. Every step is reported as result-log
// entries in the stream's own log, which callers copy into the document's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class XmlFileStream {
 public:
  explicit XmlFileStream(int32_t flags);
  ~XmlFileStream();
  XmlFileStream(const XmlFileStream&) = delete;
  XmlFileStream& operator=(const XmlFileStream&) = delete;

  // Opens for reading (kXmlFlagReadFile), writing (kXmlFlagWriteFile) or
  // appending (plus kXmlFlagAppend), detecting or writing the mark.
  bool Open(const wchar_t* path);
  bool Close();
  // Reads the current step's bytes and appends them to text as UTF-16.
  bool ReadText(std::wstring& text);
  // Writes count characters of text (-1: all) in the file's encoding.
  bool WriteText(const std::wstring& text, int32_t count);
  // Logs the last Windows error as "file_error"; always false.
  bool ReportFileError();

  int32_t flags() const { return m_flags; }
  const std::wstring& log() const { return m_log; }
  const std::wstring& encoding() const { return m_encoding; }
  int32_t fileSize() const { return m_fileSize; }
  int32_t position() const { return m_position; }
  void SetStep(int32_t bytes) { m_stepBytes = bytes; }
  // Encoding of a file opened for writing without a mark (empty: ANSI).
  void SetEncoding(const std::wstring& name) { m_encoding = name; }

 private:
  bool ReadRaw(std::vector<char>& buffer);
  bool FixRaggedEnd(std::vector<char>& buffer);
  bool WriteRaw(const void* units, int32_t count, bool mayModify);
  void DetectWithoutMark(const std::vector<char>& probe);

  int32_t m_flags;
  FILE* m_file = nullptr;
  int32_t m_fileSize = 0;
  int32_t m_position = 0;
  int32_t m_width = 1;  // bytes per unit: 1, 2 (UTF-16) or 4 (UTF-32)
  bool m_bigEndian = false;
  int32_t m_stepBytes = 0;
  int32_t m_stepUnits = 0;
  int32_t m_chunkSize = 16384;
  std::wstring m_log;
  std::wstring m_encoding;  // empty: the ANSI code page
};
