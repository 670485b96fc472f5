// Encoding names, conversions and UTF-8 helpers.
#include "xml/XmlEncoding.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "xml/XmlAttributes.h"
#include "xml/XmlDocument.h"
#include "xml/XmlEncodingNames.h"

namespace {

const int kNameBuckets = 155;

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

// Buckets of packed entries: two digits of name length, five digits of
// code page, then the lower-case name.
const std::vector<std::wstring>& NameBuckets() {
  static const std::vector<std::wstring> buckets = [] {
    std::vector<std::wstring> b(kNameBuckets);
    for (int i = 0; i < kXmlEncodingNameCount; ++i) {
      std::wstring name = kXmlEncodingNames[i].name;
      unsigned sum = 0;
      for (wchar_t c : name) sum += c;
      wchar_t packed[8];
      wsprintfW(packed, L"%02u%05d", static_cast<unsigned>(name.size()), kXmlEncodingNames[i].codePage);
      b[sum % kNameBuckets] += packed + name;
    }
    return b;
  }();
  return buckets;
}

bool SkipDefaultCharCheck(int codePage) {
  switch (codePage) {
    case 50220: case 50221: case 50222: case 50225: case 50227: case 50229:
    case 52936: case 54936: case 65000: case 65001:
      return true;
    default:
      return codePage >= 57002 && codePage <= 57011;
  }
}

int CodePageOf(const std::wstring& name) {
  int codePage = EncodingNameToCodePage(name);
  return codePage < 0 ? 0 : codePage;
}

int32_t WideToBytes(int codePage, const wchar_t* source, int32_t length, char* output, int32_t capacity,
                    bool& lossy) {
  if (length <= 0) return 0;
  BOOL usedDefault = FALSE;
  BOOL* report = SkipDefaultCharCheck(codePage) ? nullptr : &usedDefault;
  int produced = WideCharToMultiByte(static_cast<UINT>(codePage), 0, source, length, output, output ? capacity : 0,
                                     nullptr, report);
  if (usedDefault) lossy = true;
  return produced > 0 ? produced : 0;
}

int32_t BytesToWide(int codePage, const char* source, int32_t length, wchar_t* output, int32_t capacity) {
  if (length <= 0) return 0;
  int produced = MultiByteToWideChar(static_cast<UINT>(codePage), 0, source, length, output, output ? capacity : 0);
  return produced > 0 ? produced : 0;
}

}  // namespace

int EncodingNameToCodePage(const std::wstring& name) {
  if (name.empty()) return 0;
  if (name.compare(0, 6, L"UTF-32") == 0) return kXmlCodePageUtf32;
  if (name.size() >= 100) return -1;
  std::wstring folded;
  unsigned sum = 0;
  for (wchar_t c : name) {
    folded += Fold(c);
    sum += Fold(c);
  }
  const std::wstring& bucket = NameBuckets()[sum % kNameBuckets];
  size_t i = 0;
  while (i + 7 <= bucket.size()) {
    size_t length = static_cast<size_t>((bucket[i] - L'0') * 10 + (bucket[i + 1] - L'0'));
    if (length == folded.size() && bucket.compare(i + 7, length, folded) == 0) {
      int codePage = 0;
      for (size_t k = 2; k < 7; ++k) codePage = codePage * 10 + (bucket[i + k] - L'0');
      return codePage;
    }
    i += 7 + length;
  }
  return -1;
}

int32_t ConvertText(XmlConversion& job, void* output, const wchar_t* targetName) {
  if (targetName) job.targetName = targetName;
  const int target = CodePageOf(job.targetName);
  const int source = CodePageOf(job.sourceName);
  job.lossy = false;
  const int32_t capacity = output ? job.outputSize : 0;
  int32_t produced = 0;

  if (source == kXmlCodePageUtf32) {
    const uint32_t* in = static_cast<const uint32_t*>(job.source);
    if (target == CP_UTF8) {
      unsigned char* out = static_cast<unsigned char*>(output);
      for (int32_t i = 0; i < job.sourceLength; ++i) {
        uint32_t cp = in[i] > 0x10FFFF ? L'?' : in[i];
        int32_t probe = 0;
        EncodeUtf8Char(cp, nullptr, probe);
        if (out && produced + probe > capacity) break;
        EncodeUtf8Char(cp, out, produced);
      }
    } else if (target == 1200) {
      wchar_t* out = static_cast<wchar_t*>(output);
      for (int32_t i = 0; i < job.sourceLength; ++i) {
        uint32_t cp = in[i] > 0x10FFFF ? L'?' : in[i];
        int32_t need = cp < 0x10000 ? 1 : 2;
        if (out && produced + need > capacity) break;
        if (cp < 0x10000) {
          if (out) out[produced] = static_cast<wchar_t>(cp);
        } else if (out) {
          out[produced] = static_cast<wchar_t>(0xD800 | (((cp - 0x10000) >> 10) & 0x3FF));
          out[produced + 1] = static_cast<wchar_t>(0xDC00 | (cp & 0x3FF));
        }
        produced += need;
      }
    }
  } else if (source == 1200) {
    const wchar_t* in = static_cast<const wchar_t*>(job.source);
    if (target == kXmlCodePageUtf32) {
      uint32_t* out = static_cast<uint32_t*>(output);
      for (int32_t i = 0; i < job.sourceLength; ++i) {
        if (out && produced >= capacity) break;
        uint32_t unit = static_cast<uint16_t>(in[i]);
        uint32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDFFF) {
          if (i + 1 < job.sourceLength && in[i + 1] != 0) {
            cp = (((unit << 10) & 0xFFFFF) | (static_cast<uint16_t>(in[i + 1]) & 0x3FF)) + 0x10000;
            ++i;
          } else {
            cp = L'?';
          }
        }
        if (out) out[produced] = cp;
        ++produced;
      }
    } else if (target == 1200) {
      produced = output ? (job.sourceLength < capacity ? job.sourceLength : capacity) : job.sourceLength;
      if (output) std::copy(in, in + produced, static_cast<wchar_t*>(output));
    } else {
      produced = WideToBytes(target, in, job.sourceLength, static_cast<char*>(output), capacity, job.lossy);
    }
  } else {
    const char* in = static_cast<const char*>(job.source);
    if (target == 1200) {
      produced = BytesToWide(source, in, job.sourceLength, static_cast<wchar_t*>(output), capacity);
    } else if (target == kXmlCodePageUtf32) {
      if (source == CP_UTF8) {
        uint32_t* out = static_cast<uint32_t*>(output);
        const unsigned char* cursor = reinterpret_cast<const unsigned char*>(in);
        const unsigned char* end = cursor + job.sourceLength;
        while (cursor < end) {
          if (out && produced >= capacity) break;
          int32_t cp = DecodeUtf8Char(cursor, end);
          if (out) out[produced] = cp < 0 ? L'?' : static_cast<uint32_t>(cp);
          ++produced;
        }
      }
    } else {
      std::vector<wchar_t> wide(static_cast<size_t>(job.sourceLength) + 1);
      int32_t units = BytesToWide(source, in, job.sourceLength, wide.data(), job.sourceLength);
      produced = WideToBytes(target, wide.data(), units, static_cast<char*>(output), capacity, job.lossy);
    }
  }
  job.outputSize = produced;
  return produced;
}

int32_t DecodeUtf8Char(const unsigned char*& cursor, const unsigned char* end) {
  if (cursor >= end) return -1;
  unsigned first = *cursor++;
  if (first < 0x80) return static_cast<int32_t>(first);
  int count;
  int32_t value;
  if (!(first & 0x20)) {
    count = 1;
    value = static_cast<int32_t>(first & 0x1F);
  } else if (!(first & 0x10)) {
    count = 2;
    value = static_cast<int32_t>(first & 0x0F);
  } else if (!(first & 0x08)) {
    count = 3;
    value = static_cast<int32_t>(first & 0x07);
  } else {
    return -1;
  }
  for (int i = 0; i < count; ++i) {
    if (cursor >= end || !(*cursor & 0x80)) return -1;
    value = (value << 6) | (*cursor++ & 0x3F);
  }
  return value;
}

void EncodeUtf8Char(uint32_t cp, unsigned char* buffer, int32_t& position) {
  unsigned char bytes[4];
  int n;
  if (cp < 0x80) {
    bytes[0] = static_cast<unsigned char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | ((cp >> 6) & 0x1F));
    bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp <= 0xFFFF) {
    bytes[0] = static_cast<unsigned char>(0xE0 | ((cp >> 12) & 0x0F));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | ((cp >> 18) & 0x07));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    n = 4;
  }
  if (buffer)
    for (int i = 0; i < n; ++i) buffer[position + i] = bytes[i];
  position += n;
}

bool CheckUtf8(const unsigned char* bytes, int32_t length, bool& truncated, int32_t& nonAscii) {
  truncated = false;
  nonAscii = 0;
  const unsigned char* cursor = bytes;
  const unsigned char* end = bytes + length;
  while (cursor < end && *cursor) {
    if (!(*cursor & 0x80)) {
      ++cursor;
      continue;
    }
    ++nonAscii;
    if (DecodeUtf8Char(cursor, end) < 0) {
      truncated = cursor >= end;
      return false;
    }
  }
  return true;
}

void SwapBytes16(int32_t count, uint16_t* units) {
  for (int32_t i = 0; i < count; ++i) units[i] = static_cast<uint16_t>((units[i] << 8) | (units[i] >> 8));
}

namespace {

bool IsMultiByteCodePage(int cp) {
  switch (cp) {
    case 874: case 932: case 936: case 949: case 950: case 1361:
    case 10001: case 10002: case 10003: case 10008: case 10021:
    case 20000: case 20001: case 20002: case 20003: case 20004:
    case 20833: case 20932: case 20936: case 20949:
    case 50220: case 50221: case 50222: case 50225: case 50227:
    case 50930: case 50931: case 50933: case 50935: case 50937: case 50939:
    case 51932: case 51936: case 51949: case 52936: case 54936:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool FindRaggedEnd(const XmlConversion& job, int32_t& ragged) {
  ragged = 0;
  int cp = CodePageOf(job.sourceName);
  if (cp == 0) cp = static_cast<int>(GetACP());
  const unsigned char* bytes = static_cast<const unsigned char*>(job.source);
  const int32_t length = job.sourceLength;
  if (cp == 1200) {
    const uint16_t* units = static_cast<const uint16_t*>(job.source);
    if (length > 0 && units[length - 1] >= 0xD800 && units[length - 1] <= 0xDFFF) ragged = 2;
    return true;
  }
  if (cp == CP_UTF8) {
    if (length <= 0) return true;
    // A continuation byte (10xxxxxx) never starts a character, although
    // the lenient decoder would take it for one; and the first byte counts
    // too, or a complete character there would be cut off.
    for (int32_t from = length - 1; from >= 0; --from) {
      if ((bytes[from] & 0xC0) == 0x80) continue;
      const unsigned char* cursor = bytes + from;
      if (DecodeUtf8Char(cursor, bytes + length) >= 0) {
        ragged = static_cast<int32_t>((bytes + length) - cursor);
        return true;
      }
    }
    ragged = length;
    return true;
  }
  if (!IsMultiByteCodePage(cp)) return true;

  const char* chars = static_cast<const char*>(job.source);
  std::vector<wchar_t> reference(static_cast<size_t>(length) + 1);
  int32_t refUnits = BytesToWide(cp, chars, length, reference.data(), length);
  wchar_t window[80], head[80], tail[80];
  int agreements = 0;
  for (int32_t w = 1; w <= 40 && w <= length; ++w) {
    int32_t units = BytesToWide(cp, chars + length - w, w, window, 80);
    if (units <= 0) continue;
    if (units > refUnits ||
        !std::equal(window, window + units, reference.data() + (refUnits - units)))
      continue;
    if (++agreements < 3) continue;
    for (int32_t i = 1; i < w; ++i) {
      int32_t a = BytesToWide(cp, chars + length - w, i, head, 80);
      if (a <= 0) continue;
      int32_t b = BytesToWide(cp, chars + length - w + i, w - i, tail, 80 - a);
      if (b <= 0 || a + b != units) continue;
      if (std::equal(head, head + a, window) && std::equal(tail, tail + b, window + a)) {
        ragged = w - i;
        return true;
      }
    }
  }
  return false;
}

namespace {

bool SameAscii(const std::wstring& text, int32_t start, int32_t length, const wchar_t* word) {
  size_t n = wcslen(word);
  if (static_cast<size_t>(length) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Fold(text[static_cast<size_t>(start) + i]) != Fold(word[i])) return false;
  return true;
}

std::wstring AttributeValue(const std::wstring& text, const XmlNodeToken& token, int32_t from, const wchar_t* name,
                            bool& present) {
  XmlAttributeSpan span = FindAttribute(text, from, token.start + token.length, name, true);
  present = span.found;
  if (!span.found) return std::wstring();
  return text.substr(static_cast<size_t>(span.valueStart), static_cast<size_t>(span.valueLength));
}

// The name after "charset" [white space] "=" in a Content-Type value.
std::wstring CharsetOf(const std::wstring& content) {
  std::wstring lower;
  for (wchar_t c : content) lower += Fold(c);
  size_t at = lower.find(L"charset");
  while (at != std::wstring::npos) {
    size_t i = at + 7;
    while (i < lower.size() && (lower[i] == L' ' || lower[i] == L'\t')) ++i;
    if (i < lower.size() && lower[i] == L'=') {
      ++i;
      while (i < lower.size() && (lower[i] == L' ' || lower[i] == L'\t')) ++i;
      size_t end = i;
      while (end < content.size() && content[end] != L';' && content[end] != L' ' && content[end] != L'"' &&
             content[end] != L'\'' && content[end] != L'\t')
        ++end;
      return content.substr(i, end - i);
    }
    at = lower.find(L"charset", at + 7);
  }
  return std::wstring();
}

}  // namespace

std::wstring SniffDeclaredEncoding(const std::wstring& text) {
  XmlScanner scanner;
  scanner.text = &text;
  XmlNodeToken token;
  bool inHtml = false;
  for (;;) {
    int32_t type = XmlDocument::ScanNode(scanner, token);
    if (type == kXmlNodeError || type == kXmlNodeEnd) return std::wstring();
    if (type == kXmlNodePi && token.start == 0 && SameAscii(text, token.nameStart, 3, L"xml") &&
        (token.nameLength == 3 || text[static_cast<size_t>(token.nameStart) + 3] == L'?')) {
      bool present = false;
      return AttributeValue(text, token, token.start + 2, L"encoding", present);
    }
    if (!inHtml) {
      if (type != kXmlNodeElement) continue;
      if (!SameAscii(text, token.nameStart, token.nameLength, L"html")) return std::wstring();
      inHtml = true;
      continue;
    }
    if (type == kXmlNodeEndTag && SameAscii(text, token.nameStart, token.nameLength, L"head")) return std::wstring();
    if (type == kXmlNodeElement && SameAscii(text, token.nameStart, token.nameLength, L"meta")) {
      bool present = false;
      std::wstring equiv = AttributeValue(text, token, token.start + 1, L"http-equiv", present);
      if (!present) continue;
      if (!SameAscii(equiv, 0, static_cast<int32_t>(equiv.size()), L"Content-Type")) return std::wstring();
      std::wstring content = AttributeValue(text, token, token.start + 1, L"content", present);
      return present ? CharsetOf(content) : std::wstring();
    }
  }
}
