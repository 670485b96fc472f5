#include "logging/Log.h"

#include <stdarg.h>

#include "logging/Logger.h"

using KhBcxLogging::GetLoggerInstance;
using KhBcxLogging::Logger;

void LogW(int level, const wchar_t* format, ...) {
  Logger* logger = GetLoggerInstance();
  if (!logger || logger->level() < level) {
    return;
  }
  va_list args;
  va_start(args, format);
  logger->VPrint(level, format, args);
  va_end(args);
}

void LogA(int level, const char* format, ...) {
  Logger* logger = GetLoggerInstance();
  if (!logger || logger->level() < level) {
    return;
  }
  va_list args;
  va_start(args, format);
  logger->VPrintA(level, format, args);
  va_end(args);
}

void LogInit(const wchar_t* name) {
  if (Logger* logger = GetLoggerInstance()) {
    logger->Open(name);
  }
}

void LogClose() {
  if (Logger* logger = GetLoggerInstance()) {
    logger->Close();
  }
}

KhBcxLogging::Logger* GetLogger() {
  return GetLoggerInstance();
}
