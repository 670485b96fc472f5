// References, escaping, CDATA sections and element paths.
#include "xml/XmlEntities.h"

#include <gtest/gtest.h>

#include "testsupport/TestEnv.h"
#include "xml/XmlPath.h"

namespace {

using larktest::Narrow;

TEST(XmlEntities, DecodesNamedNumericAndFoldedReferences) {
  struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"&amp;lt;", L"&lt;"},
      {L"&#65;&#x41;&#X41;", L"AAA"},
      {L"&AMP;", L"&"},
      {L"&#0;", L"&#0;"},
      {L"&nosuch;", L"&nosuch;"},
      {L"&#x1F600;", L"\xD83D\xDE00"},
      {L"&abcdefghij;", L"&abcdefghij;"},
      {L"&thetasym;&diams;&apos;&quot;", L"\x03D1\x2666'\""},
      {L"&eacute;&Eacute;", L"\x00E9\x00E9"},
      {L"a & b", L"a & b"},
      {L"&amp", L"&amp"},
      {L"&;", L"&;"},
      {L"&#1114112;&#x110000;", L"&#1114112;&#x110000;"},
      {L"&#99999999;", L"&#99999999;"},
      {L"&\x00e9;", L"&\x00e9;"},
      {L"&&amp;", L"&&"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.out, UnescapeXmlText(c.in)) << Narrow(c.in);
  EXPECT_EQ(L"&", UnescapeXmlText(L"&amp;tail", 5));
  EXPECT_EQ(L"", UnescapeXmlText(nullptr));
}

TEST(XmlEntities, EscapesTextAndAttributeValues) {
  EXPECT_EQ(L"a&lt;b &amp; 'c'", EscapeXmlText(L"a<b & 'c'"));
  EXPECT_EQ(L"a&lt;b &amp; &apos;c&apos;", EscapeXmlText(L"a<b & 'c'", kXmlEscapeAttribute));
  EXPECT_EQ(L"&quot;x&gt;", EscapeXmlText(L"\"x>", kXmlEscapeAttribute));
  EXPECT_EQ(L"&copy; &amp; &#169; &amp;x y;", EscapeXmlText(L"&copy; & &#169; &x y;", kXmlEscapeKeepReferences));
  EXPECT_EQ(L"&amp;copy;", EscapeXmlText(L"&copy;"));
}

TEST(XmlEntities, EscapedTextRoundTripsThroughDecoding) {
  const wchar_t* samples[] = {L"plain", L"<tag attr=\"v\">&amp;</tag>", L"'\"&<>", L"\x00e9\x20ac&#65;",
                              L"&&&;;;<<>>"};
  for (const wchar_t* s : samples) {
    EXPECT_EQ(s, UnescapeXmlText(EscapeXmlText(s).c_str())) << Narrow(s);
    EXPECT_EQ(s, UnescapeXmlText(EscapeXmlText(s, kXmlEscapeAttribute).c_str())) << Narrow(s);
  }
}

TEST(XmlEntities, CDataSectionsSplitTheirTerminator) {
  EXPECT_EQ(L"<![CDATA[x]]]]><![CDATA[>y]]>", MakeCDataSection(L"x]]>y"));
  EXPECT_EQ(L"<![CDATA[]]>", MakeCDataSection(L""));
  EXPECT_EQ(L"<![CDATA[]]]]><![CDATA[>]]]]><![CDATA[>]]>", MakeCDataSection(L"]]>]]>"));
}

TEST(XmlPathSyntax, ValidAndInvalidPaths) {
  struct {
    const wchar_t* path;
    int32_t kind;
  } cases[] = {
      {L"a/b[2]", XmlPath::kRelative}, {L"a[@id='7']", XmlPath::kRelative}, {L"a[@id]", XmlPath::kRelative},
      {L"//a", XmlPath::kAnywhere},    {L"/a/@id", XmlPath::kAbsolute},      {L"a[]", XmlPath::kRelative},
      {L"a[@id=7]", XmlPath::kRelative}, {L"", XmlPath::kNone},            {L"//a/b", XmlPath::kInvalid},
      {L"a[2", XmlPath::kInvalid},     {L"a/b c", XmlPath::kInvalid},       {L"a/@id/b", XmlPath::kInvalid},
      {L"a[@id='7]", XmlPath::kInvalid}, {L"a[0]", XmlPath::kRelative},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kind, XmlPath(c.path).kind) << Narrow(c.path);
  EXPECT_EQ(XmlPath::kNone, XmlPath(nullptr).kind);
  EXPECT_EQ(XmlPath::kInvalid, XmlPath(L"a[b]", true).kind);
  EXPECT_EQ(XmlPath::kRelative, XmlPath(L"a[b]").kind);
  EXPECT_EQ(2, XmlPath(L"//a").firstNameStart);
}

}  // namespace
