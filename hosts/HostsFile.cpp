#include "hosts/HostsFile.h"

#include "logging/Log.h"
#include "platform/PathUtils.h"

namespace khhosts {

namespace {

bool IsOpen(HANDLE file) { return file != nullptr && file != INVALID_HANDLE_VALUE; }

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h) : m_h(h) {}
  ~ScopedHandle() {
    if (IsOpen(m_h)) CloseHandle(m_h);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return m_h; }

 private:
  HANDLE m_h;
};

}  // namespace

void FileReaderWriter::splitLines(const std::string& bytes, Lines& lines) {
  size_t start = 0;
  for (;;) {
    size_t end = bytes.find('\n', start);
    size_t stop = end == std::string::npos ? bytes.size() : end;
    size_t length = stop - start;
    if (end != std::string::npos && length > 0 && bytes[stop - 1] == '\r') --length;
    std::wstring line(length, L'\0');
    for (size_t i = 0; i < length; ++i) line[i] = static_cast<unsigned char>(bytes[start + i]);
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

std::string FileReaderWriter::joinLines(const Lines& lines) {
  size_t total = 0;
  for (const auto& line : lines) total += line.size() + 2;
  std::string bytes;
  bytes.reserve(total);
  for (size_t i = 0; i < lines.size(); ++i) {
    for (wchar_t c : lines[i]) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    if (i + 1 < lines.size()) bytes.append("\r\n");
  }
  return bytes;
}

int FileReaderWriter::read(Lines& lines, std::string* raw) {
  if (!IsOpen(m_file)) {
    LogW(2, L"%s: File is not opened!", L"FileReaderWriter::read");
    return kNotOpen;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(m_file, buffer, sizeof(buffer), &got, nullptr)) {
      const std::wstring error = FormatLastError();
      LogW(2, L"%s: Reading from file has failed!", L"FileReaderWriter::read");
      LogW(2, L"%s: %s", L"FileReaderWriter::read", error.c_str());
      return kReadFailed;
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  lines.clear();
  splitLines(bytes, lines);
  if (raw) raw->swap(bytes);
  return kDone;
}

int FileReaderWriter::write(const Lines& lines) { return writeBytes(joinLines(lines)); }

int FileReaderWriter::writeBytes(const std::string& bytes) {
  if (!IsOpen(m_file)) {
    LogW(2, L"%s: File is not opened!", L"FileReaderWriter::write");
    return kNotOpen;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() - done < 0x100000 ? bytes.size() - done : 0x100000);
    DWORD written = 0;
    if (!WriteFile(m_file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      const std::wstring error = FormatLastError();
      LogW(2, L"%s: Writing to file has failed!", L"FileReaderWriter::write");
      LogW(2, L"%s: %s", L"FileReaderWriter::write", error.c_str());
      return kWriteFailed;
    }
    done += written;
  }
  // The old content may have been longer: cut it off behind the new one.
  if (!SetEndOfFile(m_file) || !FlushFileBuffers(m_file)) {
    const std::wstring error = FormatLastError();
    LogW(2, L"%s: Writing to file has failed!", L"FileReaderWriter::write");
    LogW(2, L"%s: %s", L"FileReaderWriter::write", error.c_str());
    return kWriteFailed;
  }
  return kDone;
}

bool File::exists() const { return GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int File::content(Lines& lines, std::string* raw) const {
  LogW(5, L"%s: Opening for reading: %s", L"File::content", m_path.c_str());
  ScopedHandle file(CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!IsOpen(file.get()))
    LogW(2, L"%s: Cannot open %s: %s", L"File::content", m_path.c_str(), FormatLastError().c_str());
  return FileReaderWriter(file.get()).read(lines, raw);
}

HANDLE File::openForWriting() const {
  // OPEN_ALWAYS rather than CREATE_ALWAYS: the latter refuses an existing
  // hidden or system file, and truncation happens after the new bytes are
  // written anyway.
  HANDLE h = CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!IsOpen(h)) LogW(2, L"%s: Cannot open %s: %s", L"File::setContent", m_path.c_str(), FormatLastError().c_str());
  return h;
}

int File::setContent(const Lines& lines) const {
  LogW(5, L"%s: Opening for writing: %s", L"File::setContent", m_path.c_str());
  ScopedHandle file(openForWriting());
  return FileReaderWriter(file.get()).write(lines);
}

int File::setBytes(const std::string& bytes) const {
  LogW(5, L"%s: Opening for writing: %s", L"File::setBytes", m_path.c_str());
  ScopedHandle file(openForWriting());
  return FileReaderWriter(file.get()).writeBytes(bytes);
}

bool File::hasAttribute(DWORD bit) const {
  DWORD attributes = GetFileAttributesW(m_path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & bit) != 0;
}

bool File::setAttribute(DWORD bit, bool on) const {
  DWORD attributes = GetFileAttributesW(m_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  attributes = on ? (attributes | bit) : (attributes & ~bit);
  // NORMAL is only valid alone.
  attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesW(m_path.c_str(), attributes) != 0;
}

}  // namespace khhosts
