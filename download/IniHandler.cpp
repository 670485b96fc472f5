#include "download/IniHandler.h"

namespace khdownload {

IniHandler::IniHandler() : m_api(new WinApiWrapper) {}

IniHandler::~IniHandler() { delete m_api; }

bool IniHandler::SetPath(const wchar_t* path) {
  if (!path) return false;
  m_path = path;
  return true;
}

bool IniHandler::Read(const wchar_t* section, const wchar_t* key, wchar_t* buffer, DWORD& capacity) {
  if (m_path.empty() || !buffer || capacity == 0) return false;
  struct _stat64i32 info;
  if (m_api->_wstat64i32(m_path.c_str(), &info) != 0) return false;
  DWORD length = m_api->GetPrivateProfileStringW(section, key, L"", buffer, capacity, m_path.c_str());
  DWORD cutLength = (section && key) ? capacity - 1 : capacity - 2;
  if (length == cutLength) {
    // The platform reports a value that fills the buffer exactly like a cut
    // one; one more character of room tells them apart.
    std::wstring probe(static_cast<size_t>(capacity) + 1, L'\0');
    DWORD full = m_api->GetPrivateProfileStringW(section, key, L"", &probe[0], capacity + 1, m_path.c_str());
    if (full == length) {
      capacity = length;
      return true;
    }
  }
  capacity = length;
  return length != cutLength;
}

bool IniHandler::Write(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
  if (m_path.empty()) return false;
  return m_api->WritePrivateProfileStringW(section, key, value, m_path.c_str()) != FALSE;
}

}  // namespace khdownload
