// The command-line grammar: tokenizer, option matching and its errors.
#include <gtest/gtest.h>

#include <stdexcept>

#include "settings/OptionParser.h"
#include "testsupport/TestEnv.h"

namespace {

typedef std::vector<std::wstring> Elements;

std::string ErrorOf(void (*f)(const std::wstring&), const std::wstring& arg) {
  try {
    f(arg);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(Tokenize, Elements) {
  struct Case {
    std::wstring line;
    Elements expected;
  } cases[] = {
      {L"", {}},
      {L"   ", {}},
      {L"prog", {L"prog"}},
      {L"  a   b  ", {L"a", L"b"}},
      {L"\"C:\\Program Files\\x.exe\" --silent", {L"C:\\Program Files\\x.exe", L"--silent"}},
      {L"x \"  \" y", {L"x", L"  ", L"y"}},
      {L"a\tb c", {L"a\tb", L"c"}},
      {L"\"quoted\"", {L"quoted"}},
      {L"\"a\" \"b\"", {L"a", L"b"}},
      {L"\"a\"   b", {L"a", L"b"}},
      {L"\"--language\" de", {L"--language", L"de"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OptionParser::Tokenize(c.line), c.expected) << larktest::Narrow(c.line);
}

TEST(Tokenize, Errors) {
  struct Case {
    std::wstring line;
    const char* error;
  } cases[] = {
      {L"a \"\" b", "empty quoted"},
      {L"\"\"", "empty quoted"},
      {L"\"a\"b", "expected space"},
      {L"\"a\"\"b\"", "expected space"},
      {L"\"a\"\t", "expected space"},
      {L"ab\"c\"", "quotation in the middle of element"},
      {L"a\"", "quotation in the middle of element"},
      {L"\"open", "unexpected end of line"},
      {L"a \"", "unexpected end of line"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf([](const std::wstring& l) { OptionParser::Tokenize(l); }, c.line), c.error)
        << larktest::Narrow(c.line);
  }
}

class ParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parser.AddOption({L"language", L'l', OptionDefinition::MandatoryArgument});
    parser.AddOption({L"silent", L's', OptionDefinition::NoArgument});
    parser.AddOption({L"maybe", L'm', OptionDefinition::OptionalArgument});
    parser.AddOption({L"other", L'l', OptionDefinition::NoArgument});  // short name repeats
    parser.AddOption({L"user-sid", 0, OptionDefinition::MandatoryArgument});
  }

  // "name=value" per entry ("name" without a value, "=value" for free text).
  Elements Parse(const std::wstring& line) {
    parser.Parse(line);
    Elements out;
    for (const ParsedOption& p : parser.GetParsedOptions())
      out.push_back(p.name + (p.hasValue ? L"=" + p.GetValue() : L""));
    return out;
  }

  std::string Error(const std::wstring& line) {
    try {
      parser.Parse(line);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  OptionParser parser;
};

TEST_F(ParserTest, Entries) {
  struct Case {
    std::wstring line;
    Elements expected;
  } cases[] = {
      {L"prog", {}},
      {L"", {}},
      {L"prog --language de", {L"language=de"}},
      {L"prog -l de", {L"language=de"}},
      {L"prog --silent -- a b", {L"silent", L"=a b"}},
      {L"prog --silent --", {L"silent"}},
      {L"prog --silent stray words", {L"silent", L"=stray words"}},
      {L"prog x \"  \" y", {L"=x    y"}},
      {L"prog word --silent", {L"=word --silent"}},
      {L"prog --maybe", {L"maybe"}},
      {L"prog --maybe value", {L"maybe=value"}},
      {L"prog --maybe -s", {L"maybe", L"silent"}},
      {L"prog -- --silent", {L"=--silent"}},
      {L"prog --user-sid S-1-5-21-1", {L"user-sid=S-1-5-21-1"}},
      {L"prog --language \"a b\"", {L"language=a b"}},
      {L"prog --language\tde", {}},  // replaced below: a tab is not a separator
  };
  for (size_t i = 0; i + 1 < sizeof(cases) / sizeof(cases[0]); ++i)
    EXPECT_EQ(Parse(cases[i].line), cases[i].expected) << larktest::Narrow(cases[i].line);
  EXPECT_EQ(Error(L"prog --language\tde"), "long option not found");
}

TEST_F(ParserTest, Errors) {
  struct Case {
    std::wstring line;
    const char* error;
  } cases[] = {
      {L"prog --unknown", "long option not found"},
      {L"prog --Language de", "long option not found"},
      {L"prog -x", "short option not found"},
      {L"prog -", "invalid short argument"},
      {L"prog -ls", "invalid short argument"},
      {L"prog --language", "missing mandatory argument"},
      {L"prog --language -s", "missing mandatory argument"},
      {L"prog --language --silent", "missing mandatory argument"},
      {L"prog --silent --silent", "same option specified twice"},
      {L"prog --language de -l en", "same option specified twice"},
      {L"prog -s \"\"", "empty quoted"},
      {L"prog --language \"de", "unexpected end of line"},
      {L"prog --lang\"uage\" de", "quotation in the middle of element"},
      {L"prog \"--silent\"x", "expected space"},
  };
  for (const Case& c : cases) EXPECT_EQ(Error(c.line), c.error) << larktest::Narrow(c.line);
}

TEST_F(ParserTest, ListKeepsEntriesBeforeTheErrorAndIsClearedByNextParse) {
  EXPECT_EQ(Error(L"prog --silent --language"), "missing mandatory argument");
  ASSERT_EQ(parser.GetParsedOptions().size(), 1u);
  EXPECT_EQ(parser.GetParsedOptions()[0].name, L"silent");
  EXPECT_EQ(Parse(L"prog -l fr"), (Elements{L"language=fr"}));
}

TEST_F(ParserTest, VeryLongValue) {
  std::wstring value(40000, L'v');
  EXPECT_EQ(Parse(L"prog --language " + value), (Elements{L"language=" + value}));
}

TEST(OptionParserDefinitions, SameLongNameTwiceThrows) {
  OptionParser parser;
  parser.AddOption({L"silent", L's', OptionDefinition::NoArgument});
  try {
    parser.AddOption({L"silent", L'x', OptionDefinition::MandatoryArgument});
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "attempt to add same option twice");
  }
  EXPECT_EQ(parser.m_definitions.size(), 1u);
}

}  // namespace
