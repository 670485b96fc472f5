// Text encodings of the XML engine: encoding names to Windows code pages,
// conversions between code pages, UTF-8, UTF-16 and UTF-32 (through the
// platform's MultiByteToWideChar / WideCharToMultiByte), UTF-8 checks, and
// the sniffing of an encoding declared inside a document.
#pragma once

#include <cstdint>
#include <string>

// Code page of UTF-32 held as 32-bit code points (not a Windows code page).
const int kXmlCodePageUtf32 = 65005;

// One conversion job. Source length and output size count units of their
// encoding: bytes for code pages and UTF-8, 16-bit units for UTF-16,
// 32-bit code points for UTF-32.
struct XmlConversion {
  std::wstring targetName;
  std::wstring sourceName;
  const void* source = nullptr;
  int32_t sourceLength = 0;
  int32_t outputSize = 0;  // in: capacity of the output; out: units produced
  bool lossy = false;      // the platform used a default character
};

// 0 for the empty name (the ANSI code page), 65005 for names beginning
// "UTF-32" in upper case, -1 for unknown names.
int EncodingNameToCodePage(const std::wstring& name);

// Converts one job; output null only counts. Returns the units produced.
int32_t ConvertText(XmlConversion& conversion, void* output, const wchar_t* targetName = nullptr);

// Bytes of an incomplete character at the end of the job's source;
// false when no safe cut could be found.
bool FindRaggedEnd(const XmlConversion& conversion, int32_t& raggedBytes);

// Checks bytes (up to length or a 0 byte) for valid UTF-8; truncated tells
// that the failing character ran into the end of the buffer.
bool CheckUtf8(const unsigned char* bytes, int32_t length, bool& truncated, int32_t& nonAscii);
// Decodes one character and advances the cursor; -1 for an invalid sequence.
int32_t DecodeUtf8Char(const unsigned char*& cursor, const unsigned char* end);
// Encodes one code point at buffer[position] (buffer null: only counts).
void EncodeUtf8Char(uint32_t codePoint, unsigned char* buffer, int32_t& position);
void SwapBytes16(int32_t count, uint16_t* units);

// The encoding named by an XML declaration or an HTML meta tag; empty when none.
std::wstring SniffDeclaredEncoding(const std::wstring& text);
