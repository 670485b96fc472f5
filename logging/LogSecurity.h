// Security attributes built from SDDL text, for the log folder, the log
// files and the log-file mutex. The descriptor is freed with LocalFree when
// the holder goes away; the attributes are never inheritable.
#pragma once

#include <windows.h>

namespace KhBcxLogging {

// "Everyone: full access", given to the log folders and files so that every
// user's copy of the program can append to and rotate a shared log.
extern const wchar_t kEveryoneFullAccessSddl[];

class LogSecurityAttributes {
 public:
  explicit LogSecurityAttributes(const wchar_t* sddl);
  ~LogSecurityAttributes();
  LogSecurityAttributes(const LogSecurityAttributes&) = delete;
  LogSecurityAttributes& operator=(const LogSecurityAttributes&) = delete;

  // Null when the SDDL text could not be converted; callers then fall back
  // to the default descriptor.
  SECURITY_ATTRIBUTES* Get() { return m_attributes.lpSecurityDescriptor ? &m_attributes : nullptr; }

 private:
  SECURITY_ATTRIBUTES m_attributes;
};

}  // namespace KhBcxLogging
