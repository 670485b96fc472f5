#include "logging/FileAccess.h"

#include <stdio.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "logging/LogFormat.h"
#include "logging/LogMutex.h"
#include "logging/LogSecurity.h"

namespace KhBcxLogging {

namespace {

const DWORD kMutexWaitMs = 500;

wchar_t* CopyString(const wchar_t* text) {
  size_t length = wcslen(text);
  wchar_t* copy = new wchar_t[length + 1];
  wmemcpy(copy, text, length + 1);
  return copy;
}

}  // namespace

bool MakeRotatedFileName(size_t capacity, const wchar_t* path, wchar_t* out, DWORD index) {
  if (capacity == 0) {
    return false;
  }
  int written;
  if (index == 0) {
    written = FormatW(out, capacity, L"%s", path);
  } else {
    // Only a dot in the file's own name starts an extension: a dotted
    // folder name must not move the number into the folder.
    const wchar_t* dot = wcsrchr(path, L'.');
    const wchar_t* lastSlash = wcsrchr(path, L'\\');
    if (dot && lastSlash && dot < lastSlash) {
      dot = nullptr;
    }
    size_t stemLength = (dot && dot != path) ? static_cast<size_t>(dot - path) : wcslen(path);
    const wchar_t* extension = (dot && dot != path) ? dot + 1 : L"";
    if (*extension) {
      written = FormatW(out, capacity, L"%.*s.%lu.%s", static_cast<int>(stemLength), path,
                             static_cast<unsigned long>(index), extension);
    } else {
      written = FormatW(out, capacity, L"%.*s.%lu", static_cast<int>(stemLength), path,
                             static_cast<unsigned long>(index));
    }
  }
  if (written < 0) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

FileAccessBase::FileAccessBase(DWORD rotateCount, DWORD sizeLimit, const wchar_t* path, FileLowLevel* file,
                               FileUtils* utils)
    : m_sizeLimit(sizeLimit <= 2 ? 3 : sizeLimit),
      m_rotateCount(rotateCount >= 100 ? 99 : rotateCount),
      m_file(file),
      m_utils(utils) {
  m_path = CopyString(path);
  m_mutex = OpenLogFileMutex(m_path);
  CreateLogDirectory(m_path);
}

FileAccessBase::~FileAccessBase() {
  delete m_file;
  delete m_utils;
  delete[] m_path;
  if (m_mutex) {
    CloseHandle(m_mutex);
  }
}

void FileAccessBase::Rotate() {
  m_file->Close();
  if (m_rotateCount == 0) {
    DeleteFile(m_path);
    m_file->Open(m_path);
    return;
  }
  size_t capacity = wcslen(m_path) + 5;
  std::vector<wchar_t> from(capacity);
  std::vector<wchar_t> to(capacity);
  for (DWORD i = m_rotateCount + 1; i-- > 0;) {
    if (!MakeRotatedFileName(capacity, m_path, from.data(), i) ||
        !MakeRotatedFileName(capacity, m_path, to.data(), i + 1)) {
      continue;
    }
    if (!m_utils->FileExists(from.data())) {
      continue;
    }
    if (i == m_rotateCount) {
      DeleteFile(from.data());
    } else {
      m_utils->MoveFile(from.data(), to.data());
    }
  }
  m_file->Open(m_path);
}

void FileAccessBase::EnsureOpen() {
  if (!m_file->IsOpen()) {
    m_file->Open(m_path);
  }
}

bool FileAccessBase::NeedsRotation() {
  if (m_file->IsNotUnicode()) {
    return true;
  }
  return m_file->GetSize() > m_sizeLimit;
}

void FileAccessBase::MakeDeleteName(wchar_t* out, size_t capacity, const wchar_t* path) {
  for (int n = 1; n <= 99; ++n) {
    if (FormatW(out, capacity, L"%s__delete_%d", path, n) < 0) {
      out[0] = L'\0';
      return;
    }
    if (!m_utils->FileExists(out)) {
      return;
    }
  }
}

bool FileAccessBase::CreateLogDirectory(const wchar_t* path) {
  const wchar_t* lastSlash = wcsrchr(path, L'\\');
  if (!lastSlash || lastSlash == path) {
    return false;
  }
  std::wstring directory(path, static_cast<size_t>(lastSlash - path));
  LogSecurityAttributes security(kEveryoneFullAccessSddl);
  return m_utils->CreateDirectoryRecursive(directory.c_str(), security.Get());
}

FileAccessTransient::FileAccessTransient(DWORD rotateCount, DWORD sizeLimit, const wchar_t* path,
                                         FileLowLevel* file, FileUtils* utils)
    : FileAccessBase(rotateCount, sizeLimit, path, file, utils) {}

FileAccessTransient::~FileAccessTransient() {
  m_file->Close();
}

void FileAccessTransient::Write(const void* bytes, DWORD count) {
  // Without any mutex (neither created nor opened) the line is still
  // written: losing the whole log is worse than an unordered line.
  bool locked = false;
  if (m_mutex) {
    DWORD wait = WaitForSingleObject(m_mutex, kMutexWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
      wchar_t message[1024];
      FormatW(message, _countof(message),
              L"kh_bcx_log!FileAccessTransient::Write(): Failed to acquire file mutex, error=%lu\n",
              static_cast<unsigned long>(wait));
      OutputDebugStringW(message);
      return;
    }
    locked = true;
  }
  EnsureOpen();
  m_file->SeekToEnd();
  if (NeedsRotation()) {
    // Another process may have rotated the file while we waited.
    m_file->Close();
    m_file->Open(m_path);
    if (NeedsRotation()) {
      Rotate();
    }
  }
  m_file->Write(bytes, count);
  if (locked) {
    ReleaseMutex(m_mutex);
  }
}

bool FileAccessTransient::DeleteFile(const wchar_t* path) {
  size_t capacity = wcslen(path) + 30;
  std::vector<wchar_t> deleteName(capacity);
  MakeDeleteName(deleteName.data(), capacity, path);
  const wchar_t* victim = path;
  if (deleteName[0] && m_utils->MoveFile(path, deleteName.data())) {
    victim = deleteName.data();
  }
  return m_utils->DeleteFile(victim);
}

FileAccessContinuous::FileAccessContinuous(DWORD rotateCount, DWORD sizeLimit, const wchar_t* path,
                                           FileLowLevel* file, FileUtils* utils)
    : FileAccessBase(rotateCount, sizeLimit, path, file, utils) {}

FileAccessContinuous::~FileAccessContinuous() {
  m_file->Close();
}

void FileAccessContinuous::Write(const void* bytes, DWORD count) {
  EnsureOpen();
  if (NeedsRotation()) {
    Rotate();
  }
  m_file->Write(bytes, count);
}

bool FileAccessContinuous::DeleteFile(const wchar_t* path) {
  return m_utils->DeleteFile(path);
}

}  // namespace KhBcxLogging
