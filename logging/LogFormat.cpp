#include "logging/LogFormat.h"

#include <stdio.h>
#include <wchar.h>

namespace KhBcxLogging {

int VFormatW(wchar_t* out, size_t capacity, const wchar_t* format, va_list args) {
  if (capacity == 0) {
    return -1;
  }
  int written = _vsnwprintf(out, capacity, format, args);
  // A text of exactly capacity characters comes back without its null.
  if (written < 0 || static_cast<size_t>(written) >= capacity) {
    out[capacity - 1] = L'\0';
    return -1;
  }
  return written;
}

int FormatW(wchar_t* out, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int written = VFormatW(out, capacity, format, args);
  va_end(args);
  return written;
}

int VFormatA(char* out, size_t capacity, const char* format, va_list args) {
  if (capacity == 0) {
    return -1;
  }
  int written = _vsnprintf(out, capacity, format, args);
  if (written < 0 || static_cast<size_t>(written) >= capacity) {
    out[capacity - 1] = '\0';
    return -1;
  }
  return written;
}

}  // namespace KhBcxLogging
