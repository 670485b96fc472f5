#include "logging/LogSecurity.h"

#include <sddl.h>

namespace KhBcxLogging {

const wchar_t kEveryoneFullAccessSddl[] = L"D:(A;OICI;GA;;;WD)";

LogSecurityAttributes::LogSecurityAttributes(const wchar_t* sddl) {
  m_attributes.nLength = sizeof(m_attributes);
  m_attributes.bInheritHandle = FALSE;
  m_attributes.lpSecurityDescriptor = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    m_attributes.lpSecurityDescriptor = descriptor;
  }
}

LogSecurityAttributes::~LogSecurityAttributes() {
  if (m_attributes.lpSecurityDescriptor) {
    LocalFree(m_attributes.lpSecurityDescriptor);
  }
}

}  // namespace KhBcxLogging
