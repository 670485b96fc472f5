// Streaming text into a rich edit control (EM_STREAMIN): a document file
// as the licence and privacy pages show it, or a string such as the
// offline message.
#pragma once

#include <windows.h>

#include <string>

// Streams the file at path into control. A UTF-8 byte-order mark makes the
// rest of the file UTF-8 and a UTF-16 little-endian mark UTF-16 (both shown
// without the mark); anything else is streamed as ANSI text. True when the
// control took the stream without an error.
bool FillRichEditFromFile(const std::wstring& path, HWND control);

// Replaces the control's content by text; an empty text clears it.
bool FillRichEditFromText(const std::wstring& text, HWND control);

// The font for a document in `language`: `font` itself, except for the
// East Asian languages, which get `font`'s size and weight in an installed
// face of their script (a rich edit control does not borrow missing glyphs
// from linked fonts as the other controls do). Null when `font` is kept;
// otherwise the caller deletes the new font.
HFONT CreateDocumentFont(HFONT font, const std::wstring& language);
