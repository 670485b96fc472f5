// Text rules of the XML engine: decoding of entity and character
// references, escaping for text and attribute values, CDATA sections.
#pragma once

#include <cstdint>
#include <string>

const int32_t kXmlEscapeKeepReferences = 0x8;
const int32_t kXmlEscapeAttribute = 0x100;

// Decodes references in text (length -1: up to its end). A reference that
// can't be decoded is left as it is.
std::wstring UnescapeXmlText(const wchar_t* text, int32_t length = -1);

// Escapes '<', '&' and '>' (plus both quotes with kXmlEscapeAttribute);
// kXmlEscapeKeepReferences keeps well-formed references as they are.
std::wstring EscapeXmlText(const wchar_t* text, int32_t flags = 0);

// Wraps text in a CDATA section, splitting any "]]>" inside it.
std::wstring MakeCDataSection(const wchar_t* text);
