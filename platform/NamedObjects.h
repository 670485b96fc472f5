// Named kernel objects that keep other copies of the installer away, and the
// process-wide constant names that the platform utilities, the installer
// engine and the hosts-file repair share. The names are constant
// expressions, so they are ready before any static constructor runs.
#pragma once

#include <windows.h>

#include <string>

// Start-up probes taken by CheckRunningInstance: the first with the mutex
// access list, the second with the strict one.
inline constexpr wchar_t kFirstProbeMutexName[] = L"Global\\{086EE3F8-01F6-4839-87D1-63846B376000}";
inline constexpr wchar_t kSecondProbeMutexName[] = L"Global\\{35F4588A-F718-477e-B139-EA51F3086DFC}";

// Instance mutexes: a process that is not the elevated copy takes the first
// (mutex access list), the elevated copy the second (strict access list).
inline constexpr wchar_t kInstanceMutexName[] = L"Global\\{9F3A37CD-E15B-47c6-A427-32DAB3BEEB05}";
inline constexpr wchar_t kElevatedInstanceMutexName[] = L"Global\\{EA6850B5-87CB-4969-B8B8-0AADF9C19172}";

// Auto-reset event "AllowedToOperate" of the handshake between the first
// process and its elevated copy (strict access list, set by its creator).
inline constexpr wchar_t kAllowedToOperateEventName[] = L"Global\\{9d2f4ce4-d7bb-4093-9f1f-3ea0797cf9cb}";

// Registry setting names of the installed agent.
inline constexpr wchar_t kAgentSettingName[] = L"AgentSupportsMultipleOperators";
inline constexpr wchar_t kLateboundSettingName[] = L"RK_AgentSupportsMultipleOperators";

// Hosts file names, appended to the hosts folder.
inline constexpr wchar_t kHostsFileName[] = L"\\hosts";
inline constexpr wchar_t kHostsBackupFileName[] = L"\\hosts.bak";
// Built-in word list of the hosts check, in this order.
inline constexpr const wchar_t* kHostsBuiltinWords[] = {L"K-HARBOR", L"KHARBOR"};
inline constexpr size_t kHostsBuiltinWordCount = sizeof(kHostsBuiltinWords) / sizeof(kHostsBuiltinWords[0]);

// Creates or opens the named mutex and takes it without waiting, then gives
// it the mutex access list (strict: the strict list). Null when another
// process owns it or it cannot be opened (e.g. access denied on a strict
// mutex). The handle is meant to stay open until the process ends.
HANDLE CreateOwnedMutex(const std::wstring& name, bool strict);

// 1 when the first probe mutex was taken, 2 when only the second one was,
// 3 when neither. The probe that was taken stays held.
int CheckRunningInstance();
