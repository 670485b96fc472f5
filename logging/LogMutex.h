// The named mutex that lets several processes append to one log file: one
// name per log path, in the global namespace, with an access list that lets
// every signed-in user's copy of the program take it.
#pragma once

#include <windows.h>

namespace KhBcxLogging {

// The access list of the log-file mutex: anonymous logon denied;
// administrators, the local administrator and SYSTEM full access;
// authenticated users, users and guests read, write and execute.
extern const wchar_t kLogMutexSddl[];

// "Global\KhBcxLogging_" + path with every '\' after the prefix made '_',
// created or opened through CreateLogMutex; null when neither worked.
HANDLE OpenLogFileMutex(const wchar_t* path);

// Creates the mutex (not owned) with the access list above, or opens it
// for waiting and releasing (SYNCHRONIZE and MUTEX_MODIFY_STATE) when
// another user created it and we may not open it fully.
HANDLE CreateLogMutex(const wchar_t* name);

}  // namespace KhBcxLogging
