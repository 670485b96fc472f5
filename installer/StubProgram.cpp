#include "installer/StubProgram.h"

#include "platform/SecurityDescriptor.h"

StubProgram::UserAdminCheck StubProgram::s_isUserAdmin = &IsUserAdmin;

StubProgram::StubProgram(HINSTANCE instance) : m_hInstance(instance) {}

StubProgram::~StubProgram() {
  if (m_hAllowedToOperate) CloseHandle(m_hAllowedToOperate);
  if (m_hElevatedProcess) CloseHandle(m_hElevatedProcess);
  if (m_hInstanceMutex) CloseHandle(m_hInstanceMutex);
}
