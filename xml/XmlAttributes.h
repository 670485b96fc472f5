// Finding an attribute inside a start tag or processing instruction, shared
// by attribute writing and the encoding sniffer.
#pragma once

#include <cstdint>
#include <string>

struct XmlAttributeSpan {
  bool found = false;
  bool quoted = false;
  bool hasValue = false;   // false for a bare name without '='
  int32_t valueStart = 0;   // first character of the value (after a quote)
  int32_t valueLength = 0;  // without quotes
  int32_t lastEnd = 0;      // end of the last attribute (or of the tag name)
};

// Scans text[from, end) (from = the first character after "<" or "<?"):
// the tag name, then attributes until a token that begins with '/', '>'
// or '?'. Names are compared exactly or ignoring ASCII case.
XmlAttributeSpan FindAttribute(const std::wstring& text, int32_t from, int32_t end, const wchar_t* name,
                               bool ignoreCase);
