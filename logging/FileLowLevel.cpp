#include "logging/FileLowLevel.h"

namespace KhBcxLogging {

FileLowLevel::FileLowLevel() : m_security(kEveryoneFullAccessSddl) {}

FileLowLevel::~FileLowLevel() {
  Close();
}

bool FileLowLevel::Open(const wchar_t* path) {
  m_notUnicode = false;
  if (IsOpen()) {
    return false;
  }
  m_handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         m_security.Get(), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!PrepareUnicodeFile()) {
    Close();
    return false;
  }
  return true;
}

void FileLowLevel::Close() {
  if (IsOpen()) {
    m_notUnicode = false;
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_size = 0;
  }
}

bool FileLowLevel::Write(const void* bytes, DWORD count) {
  if (!IsOpen()) {
    return false;
  }
  DWORD written = 0;
  if (WriteFile(m_handle, bytes, count, &written, nullptr)) {
    m_size += written;
  }
  return true;
}

unsigned long long FileLowLevel::GetSize() {
  return m_size;
}

bool FileLowLevel::SeekToEnd() {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER position;
  if (IsOpen() && SetFilePointerEx(m_handle, zero, &position, FILE_END)) {
    m_size = static_cast<unsigned long long>(position.QuadPart);
    return true;
  }
  return false;
}

bool FileLowLevel::IsNotUnicode() {
  return m_notUnicode;
}

bool FileLowLevel::IsOpen() {
  return m_handle != INVALID_HANDLE_VALUE;
}

bool FileLowLevel::PrepareUnicodeFile() {
  unsigned char mark[2] = {0, 0};
  DWORD read = 0;
  bool hasMark = false;
  if (IsOpen()) {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (SetFilePointerEx(m_handle, zero, nullptr, FILE_BEGIN) && ReadFile(m_handle, mark, 2, &read, nullptr)) {
      hasMark = read == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
    }
  }
  m_notUnicode = !hasMark;
  if (!SeekToEnd()) {
    return false;
  }
  if (m_size == 0) {
    static const unsigned char kMark[2] = {0xFF, 0xFE};
    Write(kMark, 2);
    m_notUnicode = false;
  }
  return true;
}

}  // namespace KhBcxLogging
