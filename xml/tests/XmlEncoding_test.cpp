// Encoding names, conversions, UTF-8 helpers, ragged ends and sniffing.
#include "xml/XmlEncoding.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "testsupport/TestEnv.h"

namespace {

using larktest::Narrow;

TEST(XmlEncodingNames, LooksUpNamesIgnoringCase) {
  struct {
    const wchar_t* name;
    int codePage;
  } cases[] = {
      {L"UTF-32LE", 65005}, {L"UTF-32", 65005}, {L"utf-32le", 12000}, {L"Shift_JIS", 932}, {L"", 0},
      {L"no-such-encoding", -1}, {L"windows-1252", 1252}, {L"WINDOWS-1252", 1252}, {L"iso-8859-2", 28592},
      {L"ISO_8859-2:1987", 28592}, {L"utf-8", 65001}, {L"UTF-16", 1200}, {L"utf-16be", 1201},
      {L"cp1256 ", 1256}, {L"shifft_jis", 932}, {L"x-mac-ce", 10029}, {L"_iso-2022-jp$sio", 50222},
      {L"extended_unix_code_packed_format_for_japanese", 20932}, {L"gb18030", 54936}, {L"latin1", 28591},
  };
  for (const auto& c : cases) EXPECT_EQ(c.codePage, EncodingNameToCodePage(c.name)) << Narrow(c.name);
  EXPECT_EQ(-1, EncodingNameToCodePage(std::wstring(100, L'a')));
}

int32_t Convert(const wchar_t* from, const wchar_t* to, const void* source, int32_t length, void* out,
                int32_t capacity, bool* lossy = nullptr) {
  XmlConversion job;
  job.sourceName = from;
  job.targetName = to;
  job.source = source;
  job.sourceLength = length;
  int32_t needed = ConvertText(job, nullptr);
  job.outputSize = capacity;
  int32_t produced = ConvertText(job, out);
  EXPECT_EQ(needed, produced);
  if (lossy) *lossy = job.lossy;
  return produced;
}

TEST(XmlEncodingConvert, Utf16AndUtf32CodePoints) {
  const wchar_t pair[] = {0xD83D, 0xDE00, L'A'};
  uint32_t points[4] = {};
  ASSERT_EQ(2, Convert(L"UTF-16", L"UTF-32", pair, 3, points, 4));
  EXPECT_EQ(0x1F600u, points[0]);
  EXPECT_EQ(uint32_t('A'), points[1]);
  const wchar_t lone[] = {L'x', 0xD800};
  ASSERT_EQ(2, Convert(L"UTF-16", L"UTF-32", lone, 2, points, 4));
  EXPECT_EQ(uint32_t('?'), points[1]);

  const uint32_t back[] = {0x1F600, 0xE9, 0x110000};
  wchar_t wide[8] = {};
  ASSERT_EQ(4, Convert(L"UTF-32", L"UTF-16", back, 3, wide, 8));
  EXPECT_EQ(std::wstring(L"\xD83D\xDE00\x00E9?"), std::wstring(wide, 4));
  unsigned char utf8[16] = {};
  ASSERT_EQ(6, Convert(L"UTF-32", L"UTF-8", back, 2, utf8, 16));
  EXPECT_EQ(std::string("\xF0\x9F\x98\x80\xC3\xA9"), std::string(reinterpret_cast<char*>(utf8), 6));
  uint32_t decoded[4] = {};
  const char bad[] = "a\xC3(";
  ASSERT_EQ(3, Convert(L"UTF-8", L"UTF-32", bad, 3, decoded, 4));
  EXPECT_EQ(uint32_t('?'), decoded[1]);
}

TEST(XmlEncodingConvert, CodePagesThroughThePlatformReportLoss) {
  wchar_t wide[16] = {};
  ASSERT_EQ(3, Convert(L"windows-1252", L"UTF-16", "\x80\xE9z", 3, wide, 16));
  EXPECT_EQ(std::wstring(L"\x20AC\x00E9z"), std::wstring(wide, 3));
  ASSERT_EQ(2, Convert(L"Shift_JIS", L"UTF-16", "\x93\xFA\x96\x7B", 4, wide, 16));
  EXPECT_EQ(std::wstring(L"\x65E5\x672C"), std::wstring(wide, 2));
  char bytes[16] = {};
  bool lossy = false;
  ASSERT_EQ(2, Convert(L"UTF-16", L"iso-8859-2", L"\x0142\x00E9", 2, bytes, 16, &lossy));
  EXPECT_EQ(std::string("\xB3\xE9"), std::string(bytes, 2));
  EXPECT_FALSE(lossy);
  Convert(L"UTF-16", L"windows-1252", L"\x65E5", 1, bytes, 16, &lossy);
  EXPECT_TRUE(lossy);
  // From one code page to another goes through UTF-16.
  ASSERT_EQ(2, Convert(L"windows-1252", L"UTF-8", "\xE9", 1, bytes, 16));
  EXPECT_EQ(std::string("\xC3\xA9"), std::string(bytes, 2));
}

TEST(XmlEncodingUtf8, DecodeEncodeAndCheck) {
  const unsigned char text[] = {'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xF8};
  const unsigned char* cursor = text;
  const unsigned char* end = text + sizeof(text);
  EXPECT_EQ('a', DecodeUtf8Char(cursor, end));
  EXPECT_EQ(0xE9, DecodeUtf8Char(cursor, end));
  EXPECT_EQ(0x20AC, DecodeUtf8Char(cursor, end));
  EXPECT_EQ(0x1F600, DecodeUtf8Char(cursor, end));
  EXPECT_EQ(-1, DecodeUtf8Char(cursor, end));
  unsigned char buffer[8];
  int32_t position = 0;
  EncodeUtf8Char(0x20AC, buffer, position);
  EncodeUtf8Char(0x1F600, nullptr, position);
  EXPECT_EQ(7, position);
  EXPECT_EQ(0xE2, buffer[0]);

  bool truncated = true;
  int32_t nonAscii = 0;
  EXPECT_TRUE(CheckUtf8(text, 10, truncated, nonAscii));
  EXPECT_FALSE(truncated);
  EXPECT_EQ(3, nonAscii);
  EXPECT_FALSE(CheckUtf8(text, 8, truncated, nonAscii));
  EXPECT_TRUE(truncated);
  const unsigned char broken[] = {0xC3, 'x', 'y'};
  EXPECT_FALSE(CheckUtf8(broken, 3, truncated, nonAscii));
  EXPECT_FALSE(truncated);
  const unsigned char stops[] = {'a', 0, 0xFF};
  EXPECT_TRUE(CheckUtf8(stops, 3, truncated, nonAscii));
}

TEST(XmlEncodingRagged, FindsIncompleteCharactersAtTheEnd) {
  struct {
    const wchar_t* encoding;
    std::string bytes;
    int32_t ragged;
  } cases[] = {
      {L"UTF-8", "abc\xC3", 1},
      {L"UTF-8", "abc\xE2\x82", 2},
      {L"UTF-8", "abc\xE2\x82\xAC", 0},
      {L"UTF-8", "abc", 0},
      // Continuation bytes must not be taken for the start of a character.
      {L"UTF-8", "\xE6\x97\xA5\xE6\x9C", 2},
      {L"UTF-8", "a\xE6\x97", 2},
      {L"UTF-8", "a", 0},
      {L"windows-1252", "abc\xE9", 0},
  };
  for (const auto& c : cases) {
    XmlConversion job;
    job.sourceName = c.encoding;
    job.source = c.bytes.data();
    job.sourceLength = static_cast<int32_t>(c.bytes.size());
    int32_t ragged = -1;
    EXPECT_TRUE(FindRaggedEnd(job, ragged)) << Narrow(c.encoding) << " " << c.bytes;
    EXPECT_EQ(c.ragged, ragged) << Narrow(c.encoding) << " " << c.bytes;
  }
  // A lead byte cut off at the end: any cut on a character boundary before
  // it is right, since the bytes after the cut are read again.
  const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA abc \x93\xFA\x96\x7B\x8C";
  auto wide = [](const std::string& bytes) {
    wchar_t buffer[64];
    int n = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), buffer, 64);
    return std::wstring(buffer, static_cast<size_t>(n > 0 ? n : 0));
  };
  XmlConversion sjisJob;
  sjisJob.sourceName = L"Shift_JIS";
  sjisJob.source = sjis.data();
  sjisJob.sourceLength = static_cast<int32_t>(sjis.size());
  int32_t cut = 0;
  ASSERT_TRUE(FindRaggedEnd(sjisJob, cut));
  ASSERT_GE(cut, 1);
  std::wstring whole = wide(sjis + "\xEA");
  std::wstring head = wide(sjis.substr(0, sjis.size() - static_cast<size_t>(cut)));
  EXPECT_EQ(whole, head + wide(sjis.substr(sjis.size() - static_cast<size_t>(cut)) + "\xEA"));

  const wchar_t units[] = {L'a', 0xD83D};
  XmlConversion job;
  job.sourceName = L"UTF-16";
  job.source = units;
  job.sourceLength = 2;
  int32_t ragged = 0;
  EXPECT_TRUE(FindRaggedEnd(job, ragged));
  EXPECT_EQ(2, ragged);
}

TEST(XmlEncodingSniff, DeclarationAndHtmlMetaTag) {
  struct {
    const wchar_t* text;
    const wchar_t* encoding;
  } cases[] = {
      {L"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r/>", L"windows-1252"},
      {L"<?XML version='1.0' ENCODING='Shift_JIS' ?>", L"Shift_JIS"},
      {L"<?xml version=\"1.0\"?><r/>", L""},
      {L" <?xml version=\"1.0\" encoding=\"x\"?>", L""},
      {L"<!DOCTYPE html><html><head><meta charset=x><meta http-equiv=\"Content-Type\" "
       L"content=\"text/html; charset = iso-8859-2\"></head></html>",
       L"iso-8859-2"},
      {L"<html><head><meta http-equiv=\"refresh\" content=\"charset=x\"></head></html>", L""},
      {L"<html><head></head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=x\"></html>", L""},
      {L"<r encoding='x'/>", L""},
      {L"<html><1", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.encoding, SniffDeclaredEncoding(c.text)) << Narrow(c.text);
}

}  // namespace
