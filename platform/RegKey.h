// A thin owner of one open registry key and the fixed readers of the
// installed agent's settings. CRegKey returns the platform's registry error
// codes unchanged (0 = success) and never throws; the free functions return
// bool and log. No call passes a registry-view flag.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CRegKey {
 public:
  CRegKey();
  // Closes a held key. Deliberately not virtual: the class is never
  // deleted through a base pointer.
  ~CRegKey();
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;

  virtual long WriteDword(DWORD value, std::wstring name);
  // REG_SZ including the terminator.
  virtual long WriteString(std::wstring value, std::wstring name);
  virtual long WriteBinary(const BYTE* data, DWORD size, const wchar_t* name);
  virtual long WriteDword(DWORD value, const wchar_t* name);
  virtual long WriteString(const wchar_t* value, const wchar_t* name);
  // Reads 4 bytes; the value's type is not looked at.
  virtual long ReadValue(DWORD* out, std::wstring name);
  // Reads a string value; out is left unchanged when the value is missing
  // or empty. Copes with strings stored without a terminator.
  virtual long ReadString(std::wstring& out, std::wstring name);
  // size: in the buffer's bytes, out the value's bytes.
  virtual long ReadValue(void* data, const wchar_t* name, DWORD* size);
  // Creates or opens subkey of the held key and writes value as REG_SZ.
  virtual long WriteSubKeyString(const wchar_t* subkey, const wchar_t* value, const wchar_t* name);
  // RegCreateKeyExW; on success the new key replaces the held one.
  virtual long CreateSubKey(HKEY parent, std::wstring subkey, wchar_t* keyClass, DWORD options,
                            REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition);
  virtual long CreateSubKey(HKEY parent, const wchar_t* subkey, wchar_t* keyClass, DWORD options,
                            REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition);
  // RegOpenKeyExW; on success the new key replaces the held one, on
  // failure the held key stays.
  virtual long OpenKey(HKEY parent, std::wstring subkey, REGSAM access);
  virtual long OpenKey(HKEY parent, const wchar_t* subkey, REGSAM access);
  virtual long Close();
  // Returns the held handle without closing it.
  virtual HKEY Detach();
  // Holds key; a handle held before is neither closed nor returned.
  virtual void Attach(HKEY key);
  virtual long RemoveSubKey(const wchar_t* subkey);
  // Deletes subkey and everything below it, depth-first.
  virtual long DeleteTree(const wchar_t* subkey);
  virtual long RemoveValue(std::wstring name);
  virtual long RemoveValue(const wchar_t* name);
  virtual std::vector<std::wstring> ListSubKeys();
  virtual std::vector<std::wstring> ListValueNames();

  // The held handle (null when none), still owned by this object.
  HKEY Handle() const { return m_hKey; }

 private:
  HKEY m_hKey;
};

// Makes sure root\Software\K-Harbor\subkey exists.
bool CreateKey(HKEY root, const std::wstring& subkey);
// "InstallPath" of HKLM\SOFTWARE\K-Harbor\Lark Client.
bool getTargetDir(std::wstring& path);
// "AgentSupportsMultipleOperators" of HKLM\SOFTWARE\K-Harbor\Lark Client.
bool ReadLarkRegistry(DWORD* value);
// "value" of HKLM\SOFTWARE\K-Harbor\BCX\Settings\RK_AgentSupportsMultipleOperators.
bool ReadLateboundRegistry(DWORD* value);
