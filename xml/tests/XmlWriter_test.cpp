// In-place edits: adding elements and setting attributes keep the text and
// the element index in step.
#include <gtest/gtest.h>

#include <vector>

#include "testsupport/TestEnv.h"
#include "xml/XmlDocument.h"

namespace {

using larktest::Narrow;

// Walks a document's elements in document order (depth first).
void Collect(const XmlDocument& doc, int32_t first, std::vector<XmlElementRecord>& out) {
  for (int32_t n = first; n; n = doc.RecordAt(n).next) {
    out.push_back(doc.RecordAt(n));
    Collect(doc, doc.RecordAt(n).firstChild, out);
  }
}

// The edited index must equal the index of the same text parsed afresh.
void ExpectIndexMatchesReparse(const XmlDocument& edited) {
  XmlDocument fresh(edited.Text().c_str());
  std::vector<XmlElementRecord> a, b;
  Collect(edited, edited.RecordAt(0).firstChild, a);
  Collect(fresh, fresh.RecordAt(0).firstChild, b);
  ASSERT_EQ(b.size(), a.size()) << Narrow(edited.Text());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(b[i].start, a[i].start) << i << " in " << Narrow(edited.Text());
    EXPECT_EQ(b[i].length, a[i].length) << i << " in " << Narrow(edited.Text());
    EXPECT_EQ(b[i].StartTagLength(), a[i].StartTagLength()) << i;
    EXPECT_EQ(b[i].EndTagLength(), a[i].EndTagLength()) << i;
    EXPECT_EQ(b[i].Level(), a[i].Level()) << i;
    EXPECT_EQ(b[i].flags & kXmlRecFirstChild, a[i].flags & kXmlRecFirstChild) << i;
  }
}

TEST(XmlWriter, AddElementAndSetAttributeOnEmptyDocument) {
  XmlDocument doc(L"");
  ASSERT_TRUE(doc.AddElement(L"e", L"1", kXmlAddNoLineBreak));
  EXPECT_EQ(L"<e>1</e>", doc.Text());
  ASSERT_TRUE(doc.SetAttribute(doc.CurrentPosition(), L"x", 5));
  EXPECT_EQ(L"<e x=\"5\">1</e>", doc.Text());
  EXPECT_EQ(9, doc.RecordAt(doc.CurrentPosition()).StartTagLength());
  EXPECT_EQ(L"1", doc.GetData());
  ExpectIndexMatchesReparse(doc);
}

TEST(XmlWriter, SettingAnExistingAttributeReplacesOnlyItsValue) {
  XmlDocument edit(L"<e  a = '1'  b=2 c>t</e>");
  ASSERT_FALSE(edit.SetAttribute(1, L"a", L"z"));  // not positioned on an element yet
  ASSERT_TRUE(edit.FindElement(L"e"));
  int32_t e = edit.CurrentPosition();
  ASSERT_TRUE(edit.SetAttribute(e, L"a", L"<z>"));
  EXPECT_EQ(L"<e  a = \"&lt;z&gt;\"  b=2 c>t</e>", edit.Text());
  ASSERT_TRUE(edit.SetAttribute(e, L"b", L"3"));
  ASSERT_TRUE(edit.SetAttribute(e, L"c", L"4"));
  ASSERT_TRUE(edit.SetAttribute(e, L"d", L"5"));
  EXPECT_EQ(L"<e  a = \"&lt;z&gt;\"  b=\"3\" c=\"4\" d=\"5\">t</e>", edit.Text());
  EXPECT_EQ(L"t", edit.GetData());
  ExpectIndexMatchesReparse(edit);
}

TEST(XmlWriter, EditsKeepTheIndexConsistentWithTheText) {
  XmlDocument doc(L"<r>\r\n  <a/>\r\n  <b>t</b>\r\n  <c></c>\r\n</r>\r\n<!-- end -->");
  ASSERT_TRUE(doc.FindElement(L"r"));
  // Open the empty-element tag a with a child.
  ASSERT_TRUE(doc.FindChildElement(L"a"));
  doc.IntoElement();
  ASSERT_TRUE(doc.AddElement(L"a1", L"x&y", kXmlAddAsChild));
  ExpectIndexMatchesReparse(doc);
  ASSERT_TRUE(doc.SetAttribute(doc.ChildPosition(), L"id", L"1"));
  ExpectIndexMatchesReparse(doc);
  doc.OutOfElement();
  // A sibling after b, one before b and one at the start of r's content.
  ASSERT_TRUE(doc.FindChildElement(L"b"));
  doc.IntoElement();
  doc.OutOfElement();
  ASSERT_TRUE(doc.AddElement(L"after", nullptr, kXmlAddAsChild));
  ExpectIndexMatchesReparse(doc);
  ASSERT_TRUE(doc.AddElement(L"before", L"<v>", kXmlAddAsChild | kXmlAddBefore | kXmlAddCData));
  ExpectIndexMatchesReparse(doc);
  // Content for the empty element c, and an attribute on r that shifts everything.
  XmlDocument walk(doc.Text().c_str());
  ASSERT_TRUE(walk.FindChildElement(L"c"));
  walk.IntoElement();
  ASSERT_TRUE(walk.AddElement(L"c1", L"1", kXmlAddAsChild));
  ExpectIndexMatchesReparse(walk);
  walk.OutOfElement();
  walk.OutOfElement();
  ASSERT_TRUE(walk.SetAttribute(walk.CurrentPosition(), L"long-attribute-name", L"value"));
  ExpectIndexMatchesReparse(walk);
  ASSERT_TRUE(walk.AddElement(L"tail", nullptr, 0));
  ExpectIndexMatchesReparse(walk);
  EXPECT_NE(std::wstring::npos, walk.Text().find(L"<before><![CDATA[<v>]]></before>"));
  EXPECT_NE(std::wstring::npos, walk.Text().find(L"<a>\r\n<a1 id=\"1\">x&amp;y</a1>\r\n</a>"));
}

TEST(XmlWriter, StartTagOnlyAndRefusals) {
  XmlDocument doc(L"");
  EXPECT_FALSE(doc.AddElement(L"x", nullptr, kXmlAddAsChild));  // no current element
  EXPECT_FALSE(doc.AddElement(L"x", L"v", kXmlAddStartTagOnly));
  ASSERT_TRUE(doc.AddElement(L"open", nullptr, kXmlAddStartTagOnly | kXmlAddNoLineBreak));
  EXPECT_EQ(L"<open>", doc.Text());
  EXPECT_TRUE(doc.RecordAt(doc.CurrentPosition()).flags & kXmlRecNoEndTag);
  ASSERT_TRUE(doc.AddElement(L"in", L"1", kXmlAddAsChild | kXmlAddNoLineBreak));
  EXPECT_EQ(L"<open><in>1</in></open>", doc.Text());
  ExpectIndexMatchesReparse(doc);
  XmlDocument spaced(L"");
  ASSERT_TRUE(spaced.AddElement(L"s", nullptr, kXmlAddSpaceBeforeSlash | kXmlAddNoLineBreak));
  EXPECT_EQ(L"<s />", spaced.Text());
  ASSERT_TRUE(spaced.AddElement(L"k", L"&copy; &", kXmlAddAsChild | kXmlAddKeepReferences));
  EXPECT_EQ(L"<s >\r\n<k>&copy; &amp;</k>\r\n</s>", spaced.Text());
  ExpectIndexMatchesReparse(spaced);
}

}  // namespace
