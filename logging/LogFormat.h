// printf-style formatting into fixed buffers for the logging library. The
// msvcrt of the oldest supported systems has no _s variants, so these wrap
// the plain ones: the result is always terminated, and a text that does not
// fit with its terminating null gives -1 (the buffer then holds a cut text).
#pragma once

#include <stdarg.h>
#include <stddef.h>

namespace KhBcxLogging {

int VFormatW(wchar_t* out, size_t capacity, const wchar_t* format, va_list args);
int FormatW(wchar_t* out, size_t capacity, const wchar_t* format, ...);
int VFormatA(char* out, size_t capacity, const char* format, va_list args);

}  // namespace KhBcxLogging
