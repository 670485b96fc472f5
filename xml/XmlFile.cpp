// Reading and writing text files for the XML engine, and the whole-file
// read that the settings store uses.
#include "xml/XmlFile.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "xml/XmlDocument.h"
#include "xml/XmlEncoding.h"

namespace {

struct ByteOrderMark {
  unsigned char bytes[3];
  int32_t length;
  const wchar_t* encoding;
  int32_t flag;
};

const ByteOrderMark kMarks[] = {
    {{0xEF, 0xBB, 0xBF}, 3, L"UTF-8", kXmlFlagUtf8Mark},
    {{0xFF, 0xFE, 0}, 2, L"UTF-16LE", kXmlFlagUtf16LeMark},
    {{0xFE, 0xFF, 0}, 2, L"UTF-16BE", kXmlFlagUtf16BeMark},
};

// Larger files are refused rather than risking an allocation failure.
const long kMaxFileSize = 0x20000000;

const int32_t kProbeBytes = 1024;

bool IsUnicodeCodePage(int cp) {
  return cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001 || cp == kXmlCodePageUtf32;
}

// Bytes per source unit that the conversion assumes for an encoding name:
// 2 for UTF-16, 4 for UTF-32 held as code points, 1 for everything it reads
// as bytes.
int32_t UnitBytesOf(const std::wstring& encoding) {
  int codePage = EncodingNameToCodePage(encoding);
  return codePage == 1200 ? 2 : codePage == kXmlCodePageUtf32 ? 4 : 1;
}

// A UTF-16 or UTF-32 name found in text that was readable as 8-bit text
// can't describe the file: such a file is read as UTF-8.
std::wstring ByteEncodingFor(const std::wstring& declared) {
  return IsUnicodeCodePage(EncodingNameToCodePage(declared)) ? std::wstring(L"UTF-8") : declared;
}

std::wstring Utf8ToWide(const char* bytes, int32_t length) {
  XmlConversion job;
  job.sourceName = L"UTF-8";
  job.targetName = L"UTF-16";
  job.source = bytes;
  job.sourceLength = length;
  int32_t units = ConvertText(job, nullptr);
  std::wstring text(static_cast<size_t>(units), L'\0');
  job.outputSize = units;
  if (units) ConvertText(job, &text[0]);
  text.resize(static_cast<size_t>(job.outputSize));
  return text;
}

}  // namespace

XmlFileStream::XmlFileStream(int32_t flags) : m_flags(flags) {}

XmlFileStream::~XmlFileStream() {
  if (m_file) fclose(m_file);
}

bool XmlFileStream::ReportFileError() {
  DWORD code = GetLastError();
  wchar_t message[100] = L"";
  if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, message, 100,
                      nullptr))
    message[0] = 0;
  message[99] = 0;
  for (wchar_t* p = message; *p; ++p) {
    if (*p == L'\r' || *p == L'\n') {
      *p = 0;
      break;
    }
  }
  XmlDocument::LogResult(m_log, L"file_error", message, kXmlLogMsg | kXmlLogN, static_cast<int32_t>(code), -1);
  return false;
}

bool XmlFileStream::Open(const wchar_t* path) {
  m_log.clear();
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_NAME);
    return ReportFileError();
  }
  const wchar_t* mode = (m_flags & kXmlFlagAppend) ? L"ab" : (m_flags & kXmlFlagWriteFile) ? L"wb" : L"rb";
  m_file = _wfopen(path, mode);
  if (!m_file) return ReportFileError();

  if (m_flags & kXmlFlagWriteFile) {
    if (m_flags & kXmlFlagAppend) {
      fseek(m_file, 0, SEEK_END);
      m_fileSize = static_cast<int32_t>(ftell(m_file));
    }
    int32_t markLength = 0;
    for (const ByteOrderMark& mark : kMarks) {
      if (!(m_flags & mark.flag)) continue;
      m_width = mark.length == 2 ? 2 : 1;
      m_bigEndian = mark.flag == kXmlFlagUtf16BeMark;
      m_encoding = mark.encoding;
      if (m_fileSize == 0) {
        if (fwrite(mark.bytes, 1, static_cast<size_t>(mark.length), m_file) != static_cast<size_t>(mark.length))
          return ReportFileError();
        markLength = mark.length;
      }
      break;
    }
    m_position = (m_flags & kXmlFlagAppend) ? m_fileSize : markLength;
    if (markLength) XmlDocument::LogResult(m_log, L"bom", nullptr, 0, -1, -1);
    return true;
  }

  if (fseek(m_file, 0, SEEK_END) != 0) return ReportFileError();
  long size = ftell(m_file);
  if (size < 0) return ReportFileError();
  if (size > kMaxFileSize) {
    SetLastError(ERROR_FILE_TOO_LARGE);
    return ReportFileError();
  }
  m_fileSize = static_cast<int32_t>(size);
  fseek(m_file, 0, SEEK_SET);
  if (m_fileSize == 0) return true;

  std::vector<char> probe(static_cast<size_t>(std::min(m_fileSize, kProbeBytes)));
  if (fread(probe.data(), 1, probe.size(), m_file) != probe.size()) return ReportFileError();
  // A mark left over from an earlier read of the same document must not count.
  m_flags &= ~(kXmlFlagUtf16LeMark | kXmlFlagUtf8Mark | kXmlFlagUtf16BeMark);
  int32_t markLength = 0;
  for (const ByteOrderMark& mark : kMarks) {
    if (static_cast<int32_t>(probe.size()) < mark.length ||
        !std::equal(mark.bytes, mark.bytes + mark.length, reinterpret_cast<unsigned char*>(probe.data())))
      continue;
    m_flags |= mark.flag;
    m_width = mark.length == 2 ? 2 : 1;
    m_bigEndian = mark.flag == kXmlFlagUtf16BeMark;
    m_encoding = mark.encoding;
    markLength = mark.length;
    break;
  }
  if (!markLength) DetectWithoutMark(probe);
  fseek(m_file, markLength, SEEK_SET);
  m_position = markLength;
  if (markLength) XmlDocument::LogResult(m_log, L"bom", nullptr, 0, -1, -1);
  return true;
}

void XmlFileStream::DetectWithoutMark(const std::vector<char>& probe) {
  const int32_t size = static_cast<int32_t>(probe.size());
  std::wstring declared = SniffDeclaredEncoding(Utf8ToWide(probe.data(), size));
  if (!declared.empty()) {
    m_encoding = ByteEncodingFor(declared);
    return;
  }
  if (std::find(probe.begin(), probe.end(), '\0') != probe.end()) {
    // Zero bytes: a UTF-16 or UTF-32 file without a mark; its declaration
    // is only readable once the zeros are gone, and the zeros tell the layout.
    std::vector<char> stripped;
    for (char c : probe)
      if (c) stripped.push_back(c);
    declared = SniffDeclaredEncoding(Utf8ToWide(stripped.data(), static_cast<int32_t>(stripped.size())));
    if (!declared.empty() && size >= 4) {
      const char* p = probe.data();
      if (p[0] && !p[1] && !p[2] && !p[3]) {
        m_encoding = L"UTF-32LE";
        m_width = 4;
      } else if (!p[0] && !p[1] && !p[2] && p[3]) {
        m_encoding = L"UTF-32BE";
        m_width = 4;
        m_bigEndian = true;
      } else if (p[0] && !p[1]) {
        m_encoding = L"UTF-16LE";
        m_width = 2;
      } else if (!p[0] && p[1]) {
        m_encoding = L"UTF-16BE";
        m_width = 2;
        m_bigEndian = true;
      } else {
        // Zero bytes, but not in a UTF-16 or UTF-32 layout: the file is
        // read as bytes, so the declared name must be a byte encoding.
        m_encoding = ByteEncodingFor(declared);
      }
      return;
    }
  }
  if (m_encoding.empty() && size > 0 && probe[0] == '<') m_encoding = L"UTF-8";
}

bool XmlFileStream::ReadRaw(std::vector<char>& buffer) {
  buffer.resize(static_cast<size_t>(m_stepBytes));
  if (fread(buffer.data(), 1, buffer.size(), m_file) != buffer.size()) {
    buffer.clear();
    return ReportFileError();
  }
  int32_t units = m_stepBytes / m_width;
  m_position += m_stepBytes;
  XmlDocument::LogResult(m_log, L"read", m_encoding.c_str(), kXmlLogEncoding | kXmlLogLength, units, -1);

  int32_t kept = 0;
  const size_t width = static_cast<size_t>(m_width);
  for (int32_t i = 0; i < units; ++i) {
    const char* unit = buffer.data() + static_cast<size_t>(i) * width;
    if (std::all_of(unit, unit + width, [](char c) { return c == 0; })) continue;
    if (kept != i) std::copy(unit, unit + width, buffer.data() + static_cast<size_t>(kept) * width);
    ++kept;
  }
  if (kept != units) {
    XmlDocument::LogResult(m_log, L"nulls_removed", nullptr, kXmlLogCount, units - kept, -1);
    units = kept;
  }
  buffer.resize(static_cast<size_t>(units) * width);
  if (m_bigEndian && m_width > 1) {
    for (int32_t i = 0; i < units; ++i) {
      char* unit = buffer.data() + static_cast<size_t>(i) * width;
      std::reverse(unit, unit + width);
    }
    XmlDocument::LogResult(m_log, L"endian_swap", nullptr, 0, -1, -1);
  }
  m_stepUnits = units;
  return true;
}

bool XmlFileStream::FixRaggedEnd(std::vector<char>& buffer) {
  XmlConversion job;
  job.sourceName = m_width == 2 ? L"UTF-16" : m_encoding;
  job.source = buffer.data();
  job.sourceLength = m_width == 2 ? m_stepUnits : static_cast<int32_t>(buffer.size()) / UnitBytesOf(m_encoding);
  int32_t ragged = 0;
  if (!FindRaggedEnd(job, ragged)) {
    XmlDocument::LogResult(m_log, L"truncation_error", m_encoding.empty() ? L"ANSI" : m_encoding.c_str(),
                           kXmlLogEncoding, -1, -1);
    return false;
  }
  // A cut that would leave nothing could never make progress.
  if (ragged > 0 && ragged < m_stepBytes) {
    m_position -= ragged;
    fseek(m_file, m_position, SEEK_SET);
    m_stepBytes -= ragged;
    m_stepUnits -= ragged / m_width;
    buffer.resize(static_cast<size_t>(m_stepUnits) * static_cast<size_t>(m_width));
    XmlDocument::LogResult(m_log, L"read", nullptr, kXmlLogUpdate | kXmlLogLength, m_stepUnits, -1);
  }
  return true;
}

bool XmlFileStream::ReadText(std::wstring& text) {
  m_log.clear();
  if (m_stepBytes <= 0) {
    XmlDocument::LogResult(m_log, L"read", m_encoding.c_str(), kXmlLogEncoding | kXmlLogLength, 0, -1);
    return true;
  }
  int32_t left = m_fileSize - m_position;
  if (m_stepBytes > left) m_stepBytes = left;
  // UTF-16 and UTF-32 steps hold whole units, or every later unit would be
  // read out of step.
  if (m_width > 1 && m_position + m_stepBytes < m_fileSize) {
    m_stepBytes -= m_stepBytes % m_width;
    if (m_stepBytes < m_width) m_stepBytes = std::min(m_width, left);
  }
  const bool more = m_position + m_stepBytes < m_fileSize;
  std::vector<char> buffer;
  if (!ReadRaw(buffer)) return false;

  if (m_width == 2) {
    if (more) FixRaggedEnd(buffer);
    const wchar_t* units = reinterpret_cast<const wchar_t*>(buffer.data());
    text.append(units, static_cast<size_t>(m_stepUnits));
    return true;
  }

  XmlConversion job;
  job.targetName = L"UTF-16";
  if (m_width == 4) {
    job.sourceName = L"UTF-32";
    job.sourceLength = m_stepUnits;
  } else {
    if (m_encoding.empty()) {
      bool truncated = false;
      int32_t nonAscii = 0;
      bool valid = CheckUtf8(reinterpret_cast<const unsigned char*>(buffer.data()), m_stepUnits, truncated, nonAscii);
      if (valid || (truncated && more)) {
        m_encoding = L"UTF-8";
        XmlDocument::LogResult(m_log, L"read", L"UTF-8", kXmlLogUpdate | kXmlLogEncoding, -1, -1);
      }
      XmlDocument::LogResult(m_log, L"utf8_detection", nullptr, 0, -1, -1);
    }
    if (more) FixRaggedEnd(buffer);
    job.sourceName = m_encoding;
    // Counted in the encoding's own units: never more than the bytes read.
    job.sourceLength = static_cast<int32_t>(buffer.size()) / UnitBytesOf(m_encoding);
  }
  job.source = buffer.data();
  int32_t needed = ConvertText(job, nullptr);
  // Converted straight into the text: large fresh buffers are costly.
  const size_t old = text.size();
  text.resize(old + static_cast<size_t>(needed + needed / 100 + 1));
  job.outputSize = needed + needed / 100 + 1;
  int32_t produced = needed ? ConvertText(job, &text[old]) : 0;
  text.resize(old + static_cast<size_t>(produced));
  XmlDocument::LogResult(m_log, L"converted_to", L"UTF-16", kXmlLogEncoding | kXmlLogLength, needed, -1);
  return true;
}

bool XmlFileStream::Close() {
  if (!m_file) return true;
  int result = fclose(m_file);
  m_file = nullptr;
  return result == 0 ? true : ReportFileError();
}

bool XmlFileStream::WriteRaw(const void* units, int32_t count, bool mayModify) {
  const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(m_width);
  const char* data = static_cast<const char*>(units);
  std::vector<char> copy;
  if (m_bigEndian && m_width == 2) {
    char* target;
    if (mayModify) {
      target = const_cast<char*>(data);
    } else {
      copy.assign(data, data + bytes);
      target = copy.data();
      data = target;
    }
    SwapBytes16(count, reinterpret_cast<uint16_t*>(target));
    XmlDocument::LogResult(m_log, L"endian_swap", nullptr, 0, -1, -1);
  }
  if (bytes && fwrite(data, 1, bytes, m_file) != bytes) return ReportFileError();
  m_position += static_cast<int32_t>(bytes);
  XmlDocument::LogResult(m_log, L"write", m_encoding.c_str(), kXmlLogEncoding | kXmlLogLength, count, -1);
  return true;
}

bool XmlFileStream::WriteText(const std::wstring& text, int32_t count) {
  m_log.clear();
  if (!m_file || !(m_flags & kXmlFlagWriteFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ReportFileError();
  }
  if (count < 0 || count > static_cast<int32_t>(text.size())) count = static_cast<int32_t>(text.size());
  if (count == 0) {
    XmlDocument::LogResult(m_log, L"write", m_encoding.c_str(), kXmlLogEncoding | kXmlLogLength, 0, -1);
    return true;
  }
  if (m_width == 2) return WriteRaw(text.data(), count, false);
  XmlConversion job;
  job.sourceName = L"UTF-16";
  job.targetName = m_encoding;
  job.source = text.data();
  job.sourceLength = count;
  int32_t needed = ConvertText(job, nullptr);
  // The conversion produces units of the target: 16- or 32-bit ones for a
  // UTF-16 or UTF-32 name, so the buffer and the write count their bytes.
  const int32_t unitBytes = UnitBytesOf(m_encoding);
  std::vector<char> bytes(static_cast<size_t>(needed) * static_cast<size_t>(unitBytes) + 1);
  job.outputSize = needed;
  int32_t produced = needed ? ConvertText(job, bytes.data()) : 0;
  XmlDocument::LogResult(m_log, L"converted_from", L"UTF-16", kXmlLogEncoding | kXmlLogLength, count, -1);
  if (job.lossy) XmlDocument::LogResult(m_log, L"conversion_loss", nullptr, 0, -1, -1);
  return WriteRaw(bytes.data(), produced * unitBytes, true);
}

bool XmlDocument::ReadWholeFile(std::wstring& log, const wchar_t* path, std::wstring& text, int32_t* flags) {
  XmlFileStream stream((flags ? *flags : 0) | kXmlFlagReadFile);
  bool ok = stream.Open(path);
  log = stream.log();
  text.clear();
  if (!ok) return false;
  stream.SetStep(stream.fileSize() - stream.position());
  ok = stream.ReadText(text);
  std::wstring readLog = stream.log();
  if (!stream.Close()) readLog += stream.log();
  log += readLog;
  if (flags) *flags = stream.flags() & ~(kXmlFlagReadFile | kXmlFlagWriteFile | kXmlFlagAppend);
  return ok;
}
