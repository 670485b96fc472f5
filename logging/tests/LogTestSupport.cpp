#include "logging/tests/LogTestSupport.h"

#include <regex>

#include "logging/FileAccess.h"
#include "logging/LogSettings.h"
#include "testsupport/TestEnv.h"

namespace logtest {

LoggingKey::LoggingKey(const std::wstring& product, const std::wstring& logName)
    : m_productKey(std::wstring(kLoggingKey) + L"\\" + product), m_logKey(m_productKey + L"\\" + logName) {
  // A crashed earlier run with the same process id may have left the key.
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_logKey.c_str());
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_productKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      &disposition) == ERROR_SUCCESS) {
    m_createdProduct = disposition == REG_CREATED_NEW_KEY;
    RegCloseKey(key);
  }
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_logKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

LoggingKey::~LoggingKey() {
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_logKey.c_str());
  if (m_createdProduct) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_productKey.c_str());
  }
}

static void SetValue(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
}

void LoggingKey::SetDword(const wchar_t* name, DWORD value) {
  SetValue(m_logKey, name, REG_DWORD, &value, sizeof(value));
}

void LoggingKey::SetProductDword(const wchar_t* name, DWORD value) {
  SetValue(m_productKey, name, REG_DWORD, &value, sizeof(value));
}

void LoggingKey::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  SetValue(m_logKey, name, type, data, size);
}

std::wstring LogPath(const std::wstring& logName) {
  wchar_t buffer[KhBcxLogging::kLogPathCapacity];
  int length = KhBcxLogging::BuildLogFilePath(L"Lark", buffer, logName.c_str());
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring FreshLogPath(const std::wstring& logName) {
  std::wstring path = LogPath(logName);
  RemoveLogFiles(path);
  return path;
}

void RemoveLogFiles(const std::wstring& path) {
  DeleteFileW(path.c_str());
  for (DWORD i = 1; i <= 100; ++i) {
    wchar_t name[1100];
    if (KhBcxLogging::MakeRotatedFileName(_countof(name), path.c_str(), name, i)) {
      DeleteFileW(name);
    }
    DeleteFileW((path + L"__delete_" + std::to_wstring(i)).c_str());
  }
}

bool ReadLogLines(const std::wstring& path, std::vector<std::wstring>& lines) {
  lines.clear();
  std::string bytes;
  if (!larktest::ReadFileBytes(path, bytes) || bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    return false;
  }
  std::wstring text((bytes.size() - 2) / 2, L'\0');
  memcpy(&text[0], bytes.data() + 2, text.size() * 2);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

bool ParseLine(const std::wstring& line, ParsedLine& parsed) {
  // Only the header goes through the regex: the library's matcher recurses
  // per character and would overflow the stack on the longest lines.
  static const std::wregex header(
      L"^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3} \\[([0-9a-f]{4,8})\\.([0-9a-f]{4,8})\\] (..): $");
  size_t bracket = line.find(L"] ", 24);
  if (bracket == std::wstring::npos || bracket > 60 || line.size() < bracket + 6) {
    return false;
  }
  std::wstring head = line.substr(0, bracket + 6);
  std::wsmatch match;
  if (!std::regex_match(head, match, header)) {
    return false;
  }
  parsed.processId = wcstoul(match[1].str().c_str(), nullptr, 16);
  parsed.threadId = wcstoul(match[2].str().c_str(), nullptr, 16);
  parsed.tag = match[3].str();
  parsed.text = line.substr(bracket + 6);
  return parsed.text.find_first_of(L"\r\n") == std::wstring::npos;
}

std::vector<std::wstring> ReadLogTexts(const std::wstring& path) {
  std::vector<std::wstring> raw, texts;
  ReadLogLines(path, raw);
  for (const std::wstring& line : raw) {
    ParsedLine parsed;
    if (ParseLine(line, parsed)) texts.push_back(parsed.tag + L" " + parsed.text);
  }
  return texts;
}

std::string WithMark(const std::wstring& text) {
  std::string bytes("\xFF\xFE", 2);
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  return bytes;
}

}  // namespace logtest
