#include "hosts/ContentAnalyzer.h"

#include <gtest/gtest.h>

#include "testsupport/TestEnv.h"

using khhosts::ContentAnalyzer;
using khhosts::Lines;

namespace {

struct RuleCase {
  const char* what;
  std::wstring line;
  Lines extraWords;
  bool corrupted;
};

const RuleCase kRuleCases[] = {
    {"maker word in lower case with hyphen", L"10.0.0.1 update.k-harbor.example", {}, true},
    {"maker word in upper case", L"10.0.0.1 K-HARBOR.example", {}, true},
    {"second word in mixed case", L"10.0.0.1\tKhArBoR.net", {}, true},
    {"word right before the comment mark", L"10.0.0.1 kharbor# note", {}, true},
    {"word before a comment that names it too", L"10.0.0.1 kharbor.example # kharbor", {}, true},
    {"word behind a leading '#'", L"#10.0.0.1 k-harbor.example", {}, false},
    {"word only in the comment part", L"10.0.0.1 example.com # k-harbor mirror", {}, false},
    {"blanks, '#' and the word", L"   # KHARBOR", {}, false},
    {"tab, '#' and the word", L"\t#k-harbor", {}, false},
    {"empty line", L"", {}, false},
    {"blank line", L"   \t ", {}, false},
    {"different separator", L"10.0.0.1 k_harbor.example", {}, false},
    {"word split by a blank", L"10.0.0.1 khar bor.example", {}, false},
    {"ordinary entry", L"127.0.0.1 localhost", {}, false},
    {"byte above 127 beside the word", L"10.0.0.1 \xe0kharbor\xff", {}, true},
    {"extra word in upper case, lower-case text", L"1.2.3.4 www.acme.test", {L"ACME"}, true},
    {"extra word in upper case, mixed-case text", L"1.2.3.4 www.AcMe.test", {L"ACME"}, true},
    {"extra word in lower case matches nothing", L"1.2.3.4 www.acme.test", {L"acme"}, false},
    {"extra word in lower case, upper-case text", L"1.2.3.4 www.ACME.test", {L"acme"}, false},
    {"extra word only in the comment", L"1.2.3.4 x.test # ACME", {L"ACME"}, false},
    {"extra words keep the built-in ones", L"1.2.3.4 k-harbor.test", {L"ACME"}, true},
    {"empty extra word is ignored", L"1.2.3.4 anything.test", {L""}, false},
    // Only a to z are upper-cased, so an accented letter keeps its case.
    {"letters beyond a-z keep their case", L"1.2.3.4 \xe0.test", {L"\xc0"}, false},
};

TEST(ContentAnalyzerTest, CorruptedLineRule) {
  for (const auto& c : kRuleCases) {
    ContentAnalyzer analyzer;
    analyzer.setWords(c.extraWords);
    EXPECT_EQ(c.corrupted, analyzer.isLineCorrupted(c.line) && !ContentAnalyzer::isCommentOrEmpty(c.line))
        << c.what;
    Lines kept;
    std::vector<size_t> dropped;
    EXPECT_EQ(c.corrupted ? 1 : 0, analyzer.fixContent(Lines{c.line}, &kept, &dropped)) << c.what;
    EXPECT_EQ(c.corrupted ? 0u : 1u, kept.size()) << c.what;
  }
}

TEST(ContentAnalyzerTest, StripCommentAndCommentTest) {
  EXPECT_EQ(L"a b ", ContentAnalyzer::stripComment(L"a b #c#d"));
  EXPECT_EQ(L"", ContentAnalyzer::stripComment(L"#x"));
  EXPECT_EQ(L"no comment", ContentAnalyzer::stripComment(L"no comment"));
  EXPECT_TRUE(ContentAnalyzer::isCommentOrEmpty(L""));
  EXPECT_TRUE(ContentAnalyzer::isCommentOrEmpty(L"#"));
  EXPECT_FALSE(ContentAnalyzer::isCommentOrEmpty(L" #"));
}

TEST(ContentAnalyzerTest, FixContentKeepsOrderAndReportsIndexes) {
  const Lines lines = {L"# header", L"1.1.1.1 a", L"2.2.2.2 k-harbor", L"", L"3.3.3.3 KHARBOR.x", L"4.4.4.4 b"};
  ContentAnalyzer analyzer;
  Lines kept;
  std::vector<size_t> dropped;
  EXPECT_EQ(2, analyzer.fixContent(lines, &kept, &dropped));
  EXPECT_EQ((Lines{L"# header", L"1.1.1.1 a", L"", L"4.4.4.4 b"}), kept);
  EXPECT_EQ((std::vector<size_t>{2, 4}), dropped);
  // Without outputs it only counts.
  EXPECT_EQ(2, analyzer.fixContent(lines, nullptr, nullptr));
  EXPECT_EQ(0, analyzer.fixContent(Lines{}, nullptr, nullptr));
}

TEST(ContentAnalyzerTest, SetWordsReplacesAndSkipsEmpty) {
  ContentAnalyzer analyzer;
  analyzer.setWords({L"ONE", L"", L"TWO"});
  EXPECT_EQ((Lines{L"ONE", L"TWO"}), analyzer.words());
  analyzer.setWords({L"THREE"});
  EXPECT_EQ((Lines{L"THREE"}), analyzer.words());
  EXPECT_FALSE(analyzer.isLineCorrupted(L"1.1.1.1 one.two"));
  EXPECT_TRUE(analyzer.isLineCorrupted(L"1.1.1.1 three"));
}

TEST(ContentAnalyzerTest, BuiltinWordsInOrder) {
  EXPECT_EQ((Lines{L"K-HARBOR", L"KHARBOR"}), khhosts::BuiltinWords());
}

}  // namespace
