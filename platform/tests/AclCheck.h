// Test helper: reads back the access list of a file, folder or kernel
// object and compares it entry by entry with SDDL text. Generic rights are
// mapped to the object type's specific rights on both sides first, because
// the system may store either form.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace acltest {

struct Ace {
  BYTE type;
  BYTE flags;
  DWORD mask;
  std::wstring sid;
  bool operator==(const Ace& o) const {
    return type == o.type && flags == o.flags && mask == o.mask && sid == o.sid;
  }
};

// Readable failure messages for gtest.
inline void PrintTo(const Ace& a, std::ostream* out) {
  *out << "(" << int(a.type) << ";0x" << std::hex << int(a.flags) << ";0x" << a.mask << std::dec << ";";
  for (wchar_t c : a.sid) *out << static_cast<char>(c);
  *out << ")";
}

inline GENERIC_MAPPING FileMapping() {
  return {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
}

inline GENERIC_MAPPING MutexMapping() {
  return {STANDARD_RIGHTS_READ | MUTANT_QUERY_STATE, STANDARD_RIGHTS_WRITE, STANDARD_RIGHTS_EXECUTE | SYNCHRONIZE,
          MUTANT_ALL_ACCESS};
}

struct Dacl {
  bool read = false;    // the descriptor could be read
  bool present = false; // a DACL is present
  bool isNull = false;  // present but null: all access for everyone
  bool isProtected = false;
  std::vector<Ace> aces;
  std::wstring sddl;  // the system's own text of the DACL, for messages
};

inline std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  std::wstring out;
  if (ConvertSidToStringSidW(sid, &text)) {
    out = text;
    LocalFree(text);
  }
  return out;
}

inline Dacl FromDescriptor(PSECURITY_DESCRIPTOR sd, const GENERIC_MAPPING& mapping) {
  Dacl d;
  if (!sd) return d;
  d.read = true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd, &control, &revision);
  d.isProtected = (control & SE_DACL_PROTECTED) != 0;
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted);
  d.present = present != FALSE;
  d.isNull = present && !acl;
  wchar_t* text = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                           nullptr)) {
    d.sddl = text;
    LocalFree(text);
  }
  if (!acl) return d;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(acl, i, &raw)) continue;
    ACE_HEADER* header = static_cast<ACE_HEADER*>(raw);
    Ace ace;
    ace.type = header->AceType;
    ace.flags = header->AceFlags;
    // Allowed and denied entries share this layout.
    ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    ace.mask = allowed->Mask;
    GENERIC_MAPPING m = mapping;
    MapGenericMask(&ace.mask, &m);
    ace.sid = SidText(reinterpret_cast<PSID>(&allowed->SidStart));
    d.aces.push_back(ace);
  }
  return d;
}

inline Dacl FromSddlText(const wchar_t* sddl, const GENERIC_MAPPING& mapping) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return Dacl();
  Dacl d = FromDescriptor(sd, mapping);
  LocalFree(sd);
  return d;
}

inline Dacl OfFile(const std::wstring& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL acl = nullptr;
  if (GetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &acl, nullptr, &sd) != ERROR_SUCCESS) {
    return Dacl();
  }
  Dacl d = FromDescriptor(sd, FileMapping());
  LocalFree(sd);
  return d;
}

inline Dacl OfKernelObject(HANDLE object, const GENERIC_MAPPING& mapping) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL acl = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr, &sd) !=
      ERROR_SUCCESS) {
    return Dacl();
  }
  Dacl d = FromDescriptor(sd, mapping);
  LocalFree(sd);
  return d;
}

inline std::string Describe(const Dacl& d) {
  std::ostringstream out;
  out << (d.isProtected ? "protected " : "") << "[";
  for (const Ace& a : d.aces) {
    out << "(" << int(a.type) << ";0x" << std::hex << int(a.flags) << ";0x" << a.mask << std::dec << ";";
    for (wchar_t c : a.sid) out << static_cast<char>(c);
    out << ")";
  }
  out << "] ";
  for (wchar_t c : d.sddl) out << static_cast<char>(c);
  return out.str();
}

}  // namespace acltest
