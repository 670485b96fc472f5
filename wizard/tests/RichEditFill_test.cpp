// Streaming files and strings into a real rich edit control: the byte-order
// marks decide how the bytes are read, and what cannot be read reports
// false.
#include "wizard/RichEditFill.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "testsupport/TestEnv.h"
#include "wizard/tests/ContentPageTestSupport.h"

using contenttest::RichEditText;

namespace {

class RichEditFillTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wchar_t system[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, system, CSIDL_SYSTEM, FALSE);
    s_library = LoadLibraryW((std::wstring(system) + L"\\riched20.dll").c_str());
  }
  void SetUp() override {
    ASSERT_NE(nullptr, s_library);
    m_parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 320, 220, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, m_parent);
    m_control = CreateWindowExW(0, L"RichEdit20A", L"", WS_CHILD | ES_MULTILINE | ES_READONLY, 0, 0, 300, 200,
                                m_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, m_control);
  }
  void TearDown() override {
    if (m_control) DestroyWindow(m_control);
    if (m_parent) DestroyWindow(m_parent);
  }

  std::wstring Write(const std::string& bytes) {
    const std::wstring path = m_scratch.file(larktest::UniqueName(L"doc") + L".txt");
    EXPECT_TRUE(larktest::WriteFileBytes(path, bytes));
    return path;
  }

  static HMODULE s_library;
  HWND m_parent = nullptr;
  HWND m_control = nullptr;
  larktest::ScratchDir m_scratch{L"rich-edit-fill"};
};
HMODULE RichEditFillTest::s_library = nullptr;

std::wstring Ansi(const std::string& bytes) {
  std::wstring text(bytes.size(), L'\0');
  text.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], static_cast<int>(text.size()))));
  return text;
}

TEST_F(RichEditFillTest, ByteOrderMarksDecideHowTheFileIsRead) {
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE4\xBD\xBF\xE7\x94\xA8";  // Grüße – 使用
  const std::wstring wide = L"Gr\u00fc\u00dfe \u2013 \u4f7f\u7528";
  std::string utf16 = "\xFF\xFE";
  for (wchar_t c : wide) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  struct Case {
    const char* name;
    std::string bytes;
    std::wstring shown;
  } cases[] = {
      {"UTF-8 with its mark, shown without it", "\xEF\xBB\xBF" + utf8, wide},
      {"the same bytes without the mark are ANSI", utf8, Ansi(utf8)},
      {"UTF-16 with its mark", utf16, wide},
      {"UTF-8 ends at the first NUL", "\xEF\xBB\xBF" "shown" + std::string(1, '\0') + "hidden", L"shown"},
      {"lines", "\xEF\xBB\xBF" "one\r\ntwo\r\n", L"one\rtwo\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(FillRichEditFromFile(Write(c.bytes), m_control));
    EXPECT_EQ(c.shown, RichEditText(m_control));
  }
}

TEST_F(RichEditFillTest, LargeFilesArriveWhole) {
  std::string ansi, utf8 = "\xEF\xBB\xBF";
  for (int i = 0; i < 6000; ++i) {
    const std::string line = "line " + std::to_string(i) + " of a long licence text\r\n";
    ansi += line;
    utf8 += line;
  }
  for (const std::string& bytes : {ansi, utf8}) {
    ASSERT_TRUE(FillRichEditFromFile(Write(bytes), m_control));
    const std::wstring text = RichEditText(m_control);
    EXPECT_EQ(0u, text.find(L"line 0 of"));
    EXPECT_NE(std::wstring::npos, text.find(L"line 5999 of a long licence text"));
  }
}

TEST_F(RichEditFillTest, WhatCannotBeShownReportsFalse) {
  ASSERT_TRUE(FillRichEditFromText(L"before", m_control));
  EXPECT_FALSE(FillRichEditFromFile(m_scratch.file(L"missing.txt"), m_control));
  EXPECT_EQ(L"before", RichEditText(m_control));
  EXPECT_FALSE(FillRichEditFromFile(m_scratch.path(), m_control));
  EXPECT_FALSE(FillRichEditFromFile(L"", m_control));
  // A mark and nothing after it is an empty document.
  EXPECT_FALSE(FillRichEditFromFile(Write("\xEF\xBB\xBF"), m_control));
  EXPECT_EQ(L"", RichEditText(m_control));
}

TEST_F(RichEditFillTest, TextReplacesTheContent) {
  ASSERT_TRUE(FillRichEditFromText(L"first", m_control));
  ASSERT_TRUE(FillRichEditFromText(L"\u30aa\u30d5\u30e9\u30a4\u30f3", m_control));
  EXPECT_EQ(L"\u30aa\u30d5\u30e9\u30a4\u30f3", RichEditText(m_control));
  FillRichEditFromText(L"", m_control);
  EXPECT_EQ(L"", RichEditText(m_control));
}

}  // namespace

namespace {

// Whether every character of text has a glyph of its own in font.
bool HasGlyphs(HFONT font, const std::wstring& text) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  std::vector<WORD> glyphs(text.size());
  const DWORD n = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                                   GGI_MARK_NONEXISTING_GLYPHS);
  SelectObject(dc, old);
  DeleteDC(dc);
  if (n != text.size()) return false;
  for (WORD g : glyphs)
    if (g == 0xFFFF) return false;
  return true;
}

// A rich edit control takes no glyphs from linked fonts, so East Asian
// documents get a face of their script, at the page font's size.
TEST(DocumentFontTest, EastAsianLanguagesGetAFaceWithTheirGlyphs) {
  LOGFONTW page = {};
  page.lfHeight = -11;
  page.lfWeight = FW_NORMAL;
  wcscpy(page.lfFaceName, L"Arial");
  HFONT pageFont = CreateFontIndirectW(&page);
  struct Case {
    const wchar_t* language;
    std::wstring sample;
  } cases[] = {
      {L"ja", L"\u4f7f\u7528\u8a31\u8afe\u30e9\u30a4\u30bb\u30f3\u30b9"},
      {L"zh", L"\u8bb8\u53ef\u534f\u8bae"},
      {L"zh-TW", L"\u8a31\u53ef\u5354\u8b70"},
      {L"zh-HK", L"\u8a31\u53ef\u5354\u8b70"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(larktest::Narrow(c.language));
    HFONT font = CreateDocumentFont(pageFont, c.language);
    ASSERT_NE(nullptr, font);
    LOGFONTW made = {};
    GetObjectW(font, sizeof(made), &made);
    EXPECT_EQ(page.lfHeight, made.lfHeight);
    EXPECT_TRUE(HasGlyphs(font, c.sample));
    EXPECT_TRUE(HasGlyphs(font, L"K-Harbor 1."));
    DeleteObject(font);
  }
  for (const wchar_t* language : {L"en", L"de", L"ru", L"el", L"vi"}) {
    EXPECT_EQ(nullptr, CreateDocumentFont(pageFont, language)) << larktest::Narrow(language);
  }
  DeleteObject(pageFont);
}

}  // namespace
