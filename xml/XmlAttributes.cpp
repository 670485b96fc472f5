// Attribute scanning within a tag.
#include "xml/XmlAttributes.h"

#include <cwchar>

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }
wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool SameName(const std::wstring& text, int32_t start, int32_t length, const wchar_t* name, bool ignoreCase) {
  if (static_cast<size_t>(length) != std::wcslen(name)) return false;
  for (int32_t i = 0; i < length; ++i) {
    wchar_t a = text[static_cast<size_t>(start + i)];
    if (ignoreCase ? Fold(a) != Fold(name[i]) : a != name[i]) return false;
  }
  return true;
}

}  // namespace

XmlAttributeSpan FindAttribute(const std::wstring& text, int32_t from, int32_t end, const wchar_t* name,
                               bool ignoreCase) {
  XmlAttributeSpan span;
  if (end > static_cast<int32_t>(text.size())) end = static_cast<int32_t>(text.size());
  int32_t i = from;
  while (i < end && IsSpace(text[i])) ++i;
  while (i < end && !IsSpace(text[i]) && text[i] != L'>' && text[i] != L'/' && text[i] != L'?') ++i;
  span.lastEnd = i;
  for (;;) {
    while (i < end && IsSpace(text[i])) ++i;
    if (i >= end) break;
    wchar_t c = text[i];
    if (c == L'/' || c == L'>' || c == L'?') break;
    int32_t nameStart = i;
    while (i < end && !IsSpace(text[i]) && text[i] != L'=' && text[i] != L'>' && text[i] != L'/') ++i;
    if (i == nameStart) ++i;  // a stray '=' counts as a name of its own
    int32_t nameLength = i - nameStart;
    span.lastEnd = i;
    int32_t j = i;
    while (j < end && IsSpace(text[j])) ++j;
    bool hasValue = false;
    XmlAttributeSpan value;
    if (j < end && text[j] == L'=' && nameLength > 0 && text[nameStart] != L'=') {
      ++j;
      while (j < end && IsSpace(text[j])) ++j;
      hasValue = true;
      if (j < end && (text[j] == L'"' || text[j] == L'\'')) {
        wchar_t quote = text[j];
        int32_t k = j + 1;
        while (k < end && text[k] != quote) ++k;
        value.quoted = true;
        value.valueStart = j + 1;
        value.valueLength = k - (j + 1);
        i = k < end ? k + 1 : end;
      } else {
        int32_t k = j;
        while (k < end && !IsSpace(text[k]) && text[k] != L'>') ++k;
        value.valueStart = j;
        value.valueLength = k - j;
        i = k;
      }
      span.lastEnd = i;
    }
    if (name && SameName(text, nameStart, nameLength, name, ignoreCase)) {
      span.found = true;
      span.quoted = hasValue && value.quoted;
      span.hasValue = hasValue;
      span.valueStart = hasValue ? value.valueStart : i;
      span.valueLength = hasValue ? value.valueLength : 0;
      return span;
    }
  }
  return span;
}
