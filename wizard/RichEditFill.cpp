#include "wizard/RichEditFill.h"

#include <richedit.h>

#include <cstring>
#include <vector>

namespace {

// The rest of a UTF-16 text that the control has not taken yet.
struct TextSource {
  const BYTE* data;
  size_t left;
};

DWORD CALLBACK ReadText(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  TextSource* source = reinterpret_cast<TextSource*>(cookie);
  // Whole UTF-16 units only, so that no character is split between calls.
  size_t n = static_cast<size_t>(wanted > 0 ? wanted : 0) & ~static_cast<size_t>(1);
  if (n > source->left) n = source->left;
  if (n) memcpy(buffer, source->data, n);
  source->data += n;
  source->left -= n;
  *given = static_cast<LONG>(n);
  return 0;
}

DWORD CALLBACK ReadFileBytes(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(wanted), &read, nullptr)) {
    *given = 0;
    return 1;
  }
  *given = static_cast<LONG>(read);
  return 0;
}

// A rich edit control takes 32767 characters unless told otherwise, and
// licence texts can be longer.
void LiftTextLimit(HWND control) { SendMessageW(control, EM_EXLIMITTEXT, 0, 0x7FFFFFFE); }

bool StreamUnicode(const wchar_t* text, size_t length, HWND control) {
  LiftTextLimit(control);
  TextSource source = {reinterpret_cast<const BYTE*>(text), length * sizeof(wchar_t)};
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadText;
  const LRESULT taken = SendMessageW(control, EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
  return taken != 0 && stream.dwError == 0;
}

// The whole file after its first `skip` bytes; false when its size cannot
// be read or the read fails or comes up short.
bool ReadRest(HANDLE file, DWORD skip, std::vector<BYTE>& bytes) {
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < skip || size.QuadPart > 0x7FFFFFFF) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size())) {
    return false;
  }
  bytes.erase(bytes.begin(), bytes.begin() + skip);
  return true;
}

BYTE ScriptCharset(const std::wstring& language) {
  if (language == L"ja") return SHIFTJIS_CHARSET;
  if (language == L"zh") return GB2312_CHARSET;
  if (language == L"zh-TW" || language == L"zh-HK") return CHINESEBIG5_CHARSET;
  return DEFAULT_CHARSET;
}

int CALLBACK TakeFirstFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM param) {
  // Vertical-writing variants ("@Face") are not for running text.
  if (font->lfFaceName[0] == L'@' || !(type & TRUETYPE_FONTTYPE)) return 1;
  wcsncpy(reinterpret_cast<wchar_t*>(param), font->lfFaceName, LF_FACESIZE - 1);
  return 0;
}

}  // namespace

HFONT CreateDocumentFont(HFONT font, const std::wstring& language) {
  const BYTE charset = ScriptCharset(language);
  LOGFONTW base = {};
  if (charset == DEFAULT_CHARSET || !font || !GetObjectW(font, sizeof(base), &base)) return nullptr;
  LOGFONTW query = {};
  query.lfCharSet = charset;
  wchar_t face[LF_FACESIZE] = {};
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &query, TakeFirstFace, reinterpret_cast<LPARAM>(face), 0);
  ReleaseDC(nullptr, dc);
  if (!face[0]) return nullptr;
  wcsncpy(base.lfFaceName, face, LF_FACESIZE - 1);
  base.lfCharSet = charset;
  return CreateFontIndirectW(&base);
}

bool FillRichEditFromText(const std::wstring& text, HWND control) {
  return StreamUnicode(text.c_str(), text.size(), control);
}

bool FillRichEditFromFile(const std::wstring& path, HWND control) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE head[3] = {};
  DWORD headLength = 0;
  if (!ReadFile(file, head, sizeof(head), &headLength, nullptr)) headLength = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);

  bool ok;
  if (headLength == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    std::wstring text;
    std::vector<BYTE> bytes;
    if (ReadRest(file, 3, bytes) && !bytes.empty()) {
      const void* nul = memchr(bytes.data(), 0, bytes.size());
      const int length = static_cast<int>(nul ? static_cast<const BYTE*>(nul) - bytes.data() : bytes.size());
      const char* utf8 = reinterpret_cast<const char*>(bytes.data());
      const int wide = length ? MultiByteToWideChar(CP_UTF8, 0, utf8, length, nullptr, 0) : 0;
      if (wide > 0) {
        text.resize(static_cast<size_t>(wide));
        text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8, length, &text[0], wide)));
      }
    }
    ok = StreamUnicode(text.c_str(), text.size(), control);
  } else if (headLength >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
    // A text saved as "Unicode" (UTF-16 LE with its mark) would show as
    // noise between NUL characters if streamed as ANSI.
    std::vector<BYTE> bytes;
    std::wstring text;
    if (ReadRest(file, 2, bytes)) {
      text.resize(bytes.size() / sizeof(wchar_t));
      if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
    }
    ok = StreamUnicode(text.c_str(), text.size(), control);
  } else {
    LiftTextLimit(control);
    EDITSTREAM stream = {};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(file);
    stream.pfnCallback = ReadFileBytes;
    const LRESULT taken = SendMessageW(control, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
    ok = taken != 0 && stream.dwError == 0;
  }
  CloseHandle(file);
  return ok;
}
