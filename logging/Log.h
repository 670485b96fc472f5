// The flat logging interface that the whole program writes through. Every
// call works on the process-wide KhBcxLogging::Logger. A call whose level is
// above the configured level does no work at all, and no call changes the
// caller's last-error value.
//
// Levels: 1 fatal "*F", 2 error "*E", 3 warning ".W", 4 information " I",
// 5 debug " D" (entry traces), 6 verbose " V". By convention the format
// starts with "%s: " and the first argument is the caller's "Class::Method".
#pragma once

namespace KhBcxLogging {
class Logger;
}

void LogW(int level, const wchar_t* format, ...);
void LogA(int level, const char* format, ...);
void LogInit(const wchar_t* name);
void LogClose();
// The process-wide logger; null only once the process-exit clean-up has
// deleted it (later calls of the functions above then do nothing).
KhBcxLogging::Logger* GetLogger();
