#include "installer/StubProgram.h"

StubProgram::StubProgram(HINSTANCE instance) : m_hInstance(instance) {}

StubProgram::~StubProgram() {
  if (m_hAllowedToOperate) CloseHandle(m_hAllowedToOperate);
  if (m_hElevatedProcess) CloseHandle(m_hElevatedProcess);
}
