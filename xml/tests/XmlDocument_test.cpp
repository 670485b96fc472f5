// Parsing, navigation, queries and the result log of XmlDocument.
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include "testsupport/TestEnv.h"

namespace {

using larktest::Narrow;

struct MalformedCase {
  const wchar_t* text;
  const wchar_t* log;
};

// Every malformed form the parser recognises, with the exact log it writes.
const MalformedCase kMalformed[] = {
    {L"</x>", L"<lone_end_tag tagname=\"x\" offset=\"0\"/><no_root_element/>"},
    {L"<a><b></a>", L"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"7\"/>"},
    {L"<a/><b/>", L"<root_has_sibling/>"},
    {L"<a>", L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"3\"/>"},
    {L"<a></b></a>", L"<lone_end_tag tagname=\"b\" offset=\"3\"/>"},
    {L"<a><1/></a>", L"<first_tag_syntax offset=\"3\"/>"},
    {L"<a>< b/></a>", L"<first_tag_syntax offset=\"3\"/>"},
    {L"<a><!x></a>", L"<exclamation_tag_syntax offset=\"3\"/>"},
    {L"<a><!-x--></a>", L"<comment_tag_syntax offset=\"3\"/>"},
    {L"<a><![x]]></a>", L"<cdata_section_syntax offset=\"3\"/>"},
    {L"<!DOCTYPE a [<!x>]><a/>", L"<doctype_tag_syntax offset=\"0\"/>"},
    {L"<a><b", L"<unterminated_tag_syntax type=\"start_tag\" offset=\"3\"/>"
               L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"5\"/>"},
    {L"<a></a", L"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>"
                L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"6\"/>"},
    {L"<a/><", L"<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>"},
    {L"<a/><!-- x", L"<unterminated_tag_syntax type=\"comment\" offset=\"4\"/>"},
    {L"<a/><![CDATA[x", L"<unterminated_tag_syntax type=\"cdata_section\" offset=\"4\"/>"},
    {L"<?xml", L"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"0\"/><no_root_element/>"},
    {L"<!DOCTYPE a", L"<unterminated_tag_syntax type=\"document_type\" offset=\"0\"/><no_root_element/>"},
    {L"just text", L"<no_root_element/>"},
    {L"<a x='1></a>", L"<unterminated_tag_syntax type=\"start_tag\" offset=\"0\"/><no_root_element/>"},
    {L"<a b=\"&<>\"/>", L""},
};

TEST(XmlDocumentParse, MalformedDocumentsLogTheirProblemsAndAreNotWellFormed) {
  for (const MalformedCase& c : kMalformed) {
    XmlDocument doc(c.text);
    bool expectWellFormed = *c.log == 0;
    EXPECT_EQ(expectWellFormed, doc.IsWellFormed()) << Narrow(c.text);
    EXPECT_EQ(c.log, doc.ResultLog()) << Narrow(c.text);
  }
}

// A terminator may share characters with its opener: "<?>", "<!-->" and
// "<!--->" are complete nodes, also inside a document type's subset.
TEST(XmlDocumentParse, ShortTerminatorsEndAtTheirOwnGreaterThan) {
  for (const wchar_t* text : {L"<r><?><x/></r>", L"<r><!--><x/></r>", L"<r><!---><x/></r>", L"<r><?pi?><x/></r>",
                              L"<!DOCTYPE r [<?><!-->]><r><x/></r>"}) {
    XmlDocument doc(text);
    EXPECT_TRUE(doc.IsWellFormed()) << Narrow(text) << " " << Narrow(doc.ResultLog());
    EXPECT_EQ(L"", doc.ResultLog()) << Narrow(text);
    ASSERT_TRUE(doc.FindElement(L"r")) << Narrow(text);
    EXPECT_TRUE(doc.FindChildElement(L"x")) << Narrow(text);
  }
}

// Where each node ends: short terminators, and nodes skipped after a syntax
// error, which end at a '>' outside a quoted value (quoted as in an element
// tag, after '=') or stop before a '<'.
TEST(XmlDocumentParse, NodeEnds) {
  struct {
    const wchar_t* text;
    int32_t type;
    int32_t length;
  } cases[] = {
      {L"<?>rest", kXmlNodePi, 3},
      {L"<?a?>rest", kXmlNodePi, 5},
      {L"<!-->rest", kXmlNodeComment, 5},
      {L"<!--->rest", kXmlNodeComment, 6},
      {L"<!---->rest", kXmlNodeComment, 7},
      {L"<![CDATA[]]>rest", kXmlNodeCData, 12},
      {L"<1 a=\"x>y\"/>rest", kXmlNodeError, 12},
      {L"<1 a = 'x>y' b=\">\">rest", kXmlNodeError, 19},
      {L"<1 don't>rest", kXmlNodeError, 9},
      {L"<1 a=\"x<y\">", kXmlNodeError, 7},
      {L"<!x a='>'>rest", kXmlNodeError, 10},
      {L"<!-x a=\">\">rest", kXmlNodeError, 11},
  };
  for (const auto& c : cases) {
    std::wstring text = c.text;
    XmlScanner scanner;
    scanner.text = &text;
    XmlNodeToken token;
    EXPECT_EQ(c.type, XmlDocument::ScanNode(scanner, token)) << Narrow(c.text);
    EXPECT_EQ(c.length, token.length) << Narrow(c.text);
  }
}

TEST(XmlDocumentParse, EmptyTextParsesWithoutLogAndIsNotWellFormed) {
  XmlDocument doc(L"");
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(L"", doc.ResultLog());
  XmlDocument none;
  EXPECT_FALSE(none.IsWellFormed());
  EXPECT_FALSE(none.FindElement(nullptr));
}

TEST(XmlDocumentParse, UnendedElementIsKeptInTheIndexAndNavigable) {
  XmlDocument doc(L"<a><b></a>");
  EXPECT_FALSE(doc.IsWellFormed());
  ASSERT_TRUE(doc.FindElement(L"a"));
  ASSERT_TRUE(doc.FindChildElement(L"b"));
  XmlElementRecord b = doc.RecordAt(doc.ChildPosition());
  EXPECT_EQ(3, b.start);
  EXPECT_EQ(3, b.length);
  EXPECT_TRUE(b.flags & kXmlRecNoEndTag);
  EXPECT_TRUE(doc.RecordAt(0).flags & kXmlRecDocIllFormed);
  EXPECT_EQ(L"<b>", doc.GetChildSubDoc());
}

TEST(XmlDocumentParse, ChildrenOfAnUnendedElementBecomeItsFollowingSiblings) {
  XmlDocument doc(L"<r><u><c1/><c2/></r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  const wchar_t* expected[] = {L"u", L"c1", L"c2"};
  for (const wchar_t* name : expected) {
    ASSERT_TRUE(doc.FindChildElement(nullptr)) << Narrow(name);
    EXPECT_EQ(name, doc.GetChildTagName());
  }
  EXPECT_FALSE(doc.FindChildElement(nullptr));
}

TEST(XmlDocumentParse, QuotedGreaterThanDoesNotEndATagButUnquotedSlashIsAValue) {
  XmlDocument quoted(L"<a x='>'/>");
  EXPECT_TRUE(quoted.IsWellFormed());
  EXPECT_EQ(L"", quoted.ResultLog());
  XmlDocument unquoted(L"<a x=1/>");
  EXPECT_FALSE(unquoted.IsWellFormed());
  XmlDocument closed(L"<a x=1/></a>");
  EXPECT_TRUE(closed.IsWellFormed());
}

TEST(XmlDocumentParse, SiblingRootsAreFoundOneAfterTheOther) {
  XmlDocument doc(L"<a/><b/>");
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_TRUE(doc.FindElement(L"a"));
  EXPECT_TRUE(doc.FindElement(L"b"));
  EXPECT_FALSE(doc.FindElement(L"a"));
}

TEST(XmlDocumentParse, DeclarationsCommentsAndDocTypeAreSkipped) {
  XmlDocument doc(
      L"<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [<!ENTITY e \"a>b\"><!-- c > --><?p x?>]>\r\n"
      L"<!-- top --><r><x>1</x><?pi?><y/></r>\r\n");
  EXPECT_TRUE(doc.IsWellFormed()) << Narrow(doc.ResultLog());
  ASSERT_TRUE(doc.FindElement(L"r"));
  ASSERT_TRUE(doc.FindChildElement(nullptr));
  EXPECT_EQ(L"x", doc.GetChildTagName());
  ASSERT_TRUE(doc.FindChildElement(nullptr));
  EXPECT_EQ(L"y", doc.GetChildTagName());
}

TEST(XmlDocumentParse, EndTagNameMustMatchWholeName) {
  XmlDocument doc(L"<ab></a></ab>");
  EXPECT_EQ(L"<lone_end_tag tagname=\"a\" offset=\"4\"/>", doc.ResultLog());
}

TEST(XmlDocumentQuery, DataDecodesReferencesAndJoinsCDataButNotChildren) {
  struct {
    const wchar_t* text;
    const wchar_t* data;
  } cases[] = {
      {L"<r>a &amp; b</r>", L"a & b"},
      {L"<r> <![CDATA[x<y]]> </r>", L"x<y"},
      {L"<r><c/>t</r>", L""},
      {L"<r>a<!-- c -->b<?p?>&lt;</r>", L"ab<"},
      {L"<r><![CDATA[&amp;]]>&amp;</r>", L"&amp;&"},
      {L"<r/>", L""},
      {L"<r></r>", L""},
      {L"<r>\r\n  text  \r\n</r>", L"\r\n  text  \r\n"},
  };
  for (const auto& c : cases) {
    XmlDocument doc(c.text);
    ASSERT_TRUE(doc.FindElement(L"r")) << Narrow(c.text);
    EXPECT_EQ(c.data, doc.GetData()) << Narrow(c.text);
  }
}

TEST(XmlDocumentQuery, SubDocumentTakesFollowingWhiteSpaceOnlyUpToMarkup) {
  XmlDocument doc(L"<r><b>x</b>\r\n  </r>");
  ASSERT_TRUE(doc.FindChildElement(L"b"));
  EXPECT_EQ(L"<b>x</b>\r\n  ", doc.GetChildSubDoc());
  XmlDocument text(L"<r><b>x</b> y</r>");
  ASSERT_TRUE(text.FindChildElement(L"b"));
  EXPECT_EQ(L"<b>x</b>", text.GetChildSubDoc());
}

TEST(XmlDocumentQuery, TagNameStopsAtAttributesAndSpecialCharacters) {
  XmlDocument doc(L"<r><first a='1'/><ns:x/><y\r\n/><z;w/></r>");
  const wchar_t* expected[] = {L"first", L"ns:x", L"y", L"z"};
  for (const wchar_t* name : expected) {
    ASSERT_TRUE(doc.FindChildElement(nullptr));
    EXPECT_EQ(name, doc.GetChildTagName());
  }
  EXPECT_EQ(L"", doc.TagNameAt(0));
  EXPECT_EQ(L"", doc.TagNameAt(9999));
  EXPECT_EQ(L"", doc.DataAt(-3));
}

TEST(XmlDocumentFind, PathsCompareOnlyTheFirstStep) {
  XmlDocument doc(L"<r><a id='1'/><b/><a id='2'/></r>");
  ASSERT_TRUE(doc.FindElement(L"r"));
  doc.IntoElement();
  EXPECT_FALSE(doc.FindElement(L"/r"));
  EXPECT_FALSE(doc.FindElement(L"a[2"));
  EXPECT_TRUE(doc.FindElement(L"a[2]"));  // conditions are checked for form only
  EXPECT_EQ(L"a", doc.GetTagName());
  EXPECT_TRUE(doc.FindElement(L"a/c"));
  EXPECT_EQ(L"<a id='2'/>", doc.SubDocumentAt(doc.CurrentPosition()));
  EXPECT_FALSE(doc.FindElement(nullptr));
}

TEST(XmlDocumentFind, ChildWalkIntoAndOutOfElements) {
  XmlDocument doc(
      L"<s><c><language>en</language><k1>v1</k1></c><c><k2>v2</k2></c></s>");
  ASSERT_TRUE(doc.FindChildElement(L"c"));
  doc.IntoElement();
  ASSERT_TRUE(doc.FindChildElement(L"language"));
  EXPECT_EQ(L"en", doc.GetChildData());
  doc.OutOfElement();
  doc.IntoElement();
  ASSERT_TRUE(doc.FindChildElement(nullptr));
  EXPECT_EQ(L"language", doc.GetChildTagName());
  ASSERT_TRUE(doc.FindChildElement(nullptr));
  EXPECT_EQ(L"k1", doc.GetChildTagName());
  EXPECT_FALSE(doc.FindChildElement(nullptr));
  doc.OutOfElement();
  ASSERT_TRUE(doc.FindChildElement(L"c"));
  doc.IntoElement();
  EXPECT_FALSE(doc.FindChildElement(L"language"));
  ASSERT_TRUE(doc.FindChildElement(nullptr));
  EXPECT_EQ(L"v2", doc.GetChildData());
  doc.OutOfElement();
  EXPECT_FALSE(doc.FindChildElement(L"c"));
}

TEST(XmlDocumentFind, IgnoreCaseFlagFoldsAsciiNames) {
  XmlDocument doc;
  doc.m_flags = kXmlFlagIgnoreCase;
  doc.SetDocumentText(L"<Response><A>1</a></RESPONSE>");
  EXPECT_TRUE(doc.IsWellFormed()) << Narrow(doc.ResultLog());
  EXPECT_TRUE(doc.FindElement(L"response"));
  EXPECT_TRUE(doc.FindChildElement(L"a"));
}

TEST(XmlDocumentLog, StopsGrowingAtThousandCharactersButAddsTheEntryThatCrossesIt) {
  std::wstring log;
  size_t before = 0;
  int added = 0;
  while (log.size() < 1000) {
    before = log.size();
    XmlDocument::LogResult(log, L"read", L"UTF-8", kXmlLogEncoding | kXmlLogLength, added, -1);
    ++added;
  }
  EXPECT_GT(log.size(), 1000u);
  EXPECT_LT(before, 1000u);
  std::wstring full = log;
  XmlDocument::LogResult(log, L"read", L"x", kXmlLogEncoding, -1, -1);
  EXPECT_EQ(full, log);
}

TEST(XmlDocumentLog, AttributesFollowTheFlagsAndValuesAreEscaped) {
  std::wstring log;
  XmlDocument::LogResult(log, L"file_error", L"Bad \"name\" <x> & 'y'", kXmlLogMsg | kXmlLogN, 2, -1);
  XmlDocument::LogResult(log, L"nulls_removed", nullptr, kXmlLogCount, -1, -1);
  XmlDocument::LogResult(log, L"e", L"t", 0, 5, 9);
  EXPECT_EQ(L"<file_error msg=\"Bad &quot;name&quot; &lt;x&gt; &amp; &apos;y&apos;\" n=\"2\"/>"
            L"<nulls_removed count=\"-1\"/><e tagname=\"t\" offset=\"5\" offset2=\"9\"/>",
            log);
  XmlDocument::LogResult(log, L"nulls_removed", nullptr, kXmlLogUpdate | kXmlLogCount, 7, -1);
  XmlDocument::LogResult(log, L"missing", nullptr, kXmlLogUpdate | kXmlLogCount, 7, -1);
  EXPECT_NE(std::wstring::npos, log.find(L"<nulls_removed count=\"7\"/>"));
  EXPECT_EQ(std::wstring::npos, log.find(L"missing"));
}

TEST(XmlDocumentLog, SyntaxErrorsRespectTheCapToo) {
  std::wstring text = L"<r>";
  for (int i = 0; i < 500; ++i) text += L"<1>";
  text += L"</r>";
  XmlDocument doc(text.c_str());
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_LT(doc.ResultLog().size(), 1100u);
  EXPECT_EQ(0u, doc.ResultLog().find(L"<first_tag_syntax offset=\"3\"/>"));
}

TEST(XmlDocumentQuery, EndTagLongerThanItsFieldStillEndsTheData) {
  std::wstring text = L"<r><v>data</v" + std::wstring(1500, L' ') + L"></r>";
  XmlDocument doc(text.c_str());
  ASSERT_TRUE(doc.IsWellFormed());
  ASSERT_TRUE(doc.FindChildElement(L"v"));
  EXPECT_EQ(L"data", doc.GetChildData());
}

TEST(XmlDocumentIndex, GrowsAcrossSegmentsAndKeepsEveryRecord) {
  // More than one 65536-record segment, deep enough to stress the stack.
  std::wstring text = L"<r>";
  const int count = 140000;
  for (int i = 0; i < count; ++i) text += (i % 100 == 0) ? L"<d><e/></d>" : L"<e/>";
  text += L"</r>";
  XmlDocument doc(text.c_str());
  ASSERT_TRUE(doc.IsWellFormed());
  EXPECT_EQ(count + count / 100 + 2, doc.UsedRecords());
  ASSERT_TRUE(doc.FindElement(L"r"));
  int seen = 0;
  while (doc.FindChildElement(nullptr)) ++seen;
  EXPECT_EQ(count, seen);
  XmlElementRecord last = doc.RecordAt(doc.UsedRecords() - 1);
  EXPECT_EQ(static_cast<int32_t>(text.size()) - 8, last.start);
}

TEST(XmlDocumentIndex, DeepNestingNeitherCrashesNorOverflowsTheLevel) {
  std::wstring text;
  const int depth = 70000;
  for (int i = 0; i < depth; ++i) text += L"<a>";
  XmlDocument doc(text.c_str());
  EXPECT_FALSE(doc.IsWellFormed());
  XmlElementRecord deepest = doc.RecordAt(depth);
  EXPECT_EQ(kXmlRecLevelMask, deepest.Level());
  EXPECT_TRUE(deepest.flags & kXmlRecNoEndTag);
}

}  // namespace
