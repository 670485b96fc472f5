// Merging response XML files into the customized settings.
#include <gtest/gtest.h>

#include <string>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"

namespace {

using larktest::ScratchDir;

class ResponseXmlTest : public ::testing::Test {
 protected:
  ResponseXmlTest() : dir(L"response-xml") {}

  std::wstring Write(const wchar_t* name, const std::string& bytes) {
    std::wstring path = dir.file(name);
    EXPECT_TRUE(larktest::WriteFileBytes(path, bytes));
    return path;
  }
  std::wstring Value(const wchar_t* language, const wchar_t* key) const {
    return LarkProperties::FindValue(store.GetCustomizedSettings(), language, key);
  }
  bool Has(const wchar_t* language, const wchar_t* key) const {
    const LarkProperties::PropertyMap& map = store.GetCustomizedSettings();
    auto found = map.find(language);
    return found != map.end() && found->second.count(key) != 0;
  }

  ScratchDir dir;
  LarkProperties store;
};

const char kResponse[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<response>\r\n"
    "  <LarkInstallerDownloadURL>https://dl.example.net/installer.msi?a=1&amp;b=2</LarkInstallerDownloadURL>\r\n"
    "  <BCXBasicSettingsUrl><![CDATA[https://dl.example.net/s.bcx?x=<1>]]></BCXBasicSettingsUrl>\r\n"
    "  <PartnerName/>\r\n"
    "  <ns:Special>prefixed</ns:Special>\r\n"
    "  <stubCustomizations>\r\n"
    "    <stubCustomization>\r\n"
    "      <EULTUrl>https://dl.example.net/en/eula.rtf</EULTUrl>\r\n"
    "      <language>en</language>\r\n"
    "      <WelcomeTitle>Welcome &#x2013; caf\xC3\xA9</WelcomeTitle>\r\n"
    "    </stubCustomization>\r\n"
    "    <stubCustomization>\r\n"
    "      <EULTUrl>https://dl.example.net/orphan.rtf</EULTUrl>\r\n"
    "    </stubCustomization>\r\n"
    "    <stubCustomization>\r\n"
    "      <language>de</language>\r\n"
    "      <EULTUrl>https://dl.example.net/de/eula.rtf</EULTUrl>\r\n"
    "      <BCXBasicHelpUrl></BCXBasicHelpUrl>\r\n"
    "    </stubCustomization>\r\n"
    "    <stubCustomization><language></language><EULTUrl>nowhere</EULTUrl></stubCustomization>\r\n"
    "  </stubCustomizations>\r\n"
    "  <AfterBlocks>last</AfterBlocks>\r\n"
    "</response>\r\n";

TEST_F(ResponseXmlTest, MergesGlobalAndPerLanguageSettings) {
  store.StoreProperty(L"PartnerName", L"Resource partner", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"de:BCXBasicHelpUrl", L"https://help.example.net/de", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"en:EULTUrl", L"resource value", LarkProperties::CustomizedSettings);
  ASSERT_TRUE(store.ParseResourcesFromXmlFile(Write(L"stubconf.xml", kResponse)));

  EXPECT_EQ(L"https://dl.example.net/installer.msi?a=1&b=2", Value(L"global", L"LarkInstallerDownloadURL"));
  EXPECT_EQ(L"https://dl.example.net/s.bcx?x=<1>", Value(L"global", L"BCXBasicSettingsUrl"));
  EXPECT_EQ(L"last", Value(L"global", L"AfterBlocks"));
  // An empty global element replaces the resource's value.
  EXPECT_TRUE(Has(L"global", L"partnername"));
  EXPECT_EQ(L"", Value(L"global", L"PartnerName"));
  EXPECT_EQ(L"", store.GetSetting(L"PartnerName"));
  // A tag name with ':' is split like any key.
  EXPECT_EQ(L"prefixed", Value(L"ns", L"Special"));

  EXPECT_EQ(L"https://dl.example.net/en/eula.rtf", Value(L"en", L"EULTUrl"));
  EXPECT_EQ(L"Welcome \x2013 caf\x00e9", Value(L"en", L"WelcomeTitle"));
  EXPECT_FALSE(Has(L"en", L"language"));
  EXPECT_EQ(L"https://dl.example.net/de/eula.rtf", Value(L"de", L"EULTUrl"));
  // Empty values inside a block are skipped: the earlier value stays.
  EXPECT_EQ(L"https://help.example.net/de", Value(L"de", L"BCXBasicHelpUrl"));
  // Blocks without a language (or with an empty one) add nothing.
  for (const auto& language : store.GetCustomizedSettings())
    for (const auto& entry : language.second) {
      EXPECT_NE(L"https://dl.example.net/orphan.rtf", entry.second) << larktest::Narrow(language.first);
      EXPECT_NE(L"nowhere", entry.second) << larktest::Narrow(language.first);
    }
  EXPECT_FALSE(Has(L"global", L"stubcustomizations"));
  store.SetLanguage(L"de");
  EXPECT_EQ(L"https://dl.example.net/de/eula.rtf", store.GetSetting(L"EULTUrl"));
}

TEST_F(ResponseXmlTest, RefusedFilesLeaveTheStoreUnchanged) {
  store.StoreProperty(L"PartnerName", L"Resource partner", LarkProperties::CustomizedSettings);
  const LarkProperties::PropertyMap before = store.GetCustomizedSettings();
  struct {
    const wchar_t* name;
    std::string bytes;
  } cases[] = {
      {L"answer.xml", "<answer><PartnerName>x</PartnerName></answer>"},
      {L"unclosed.xml", "<response><PartnerName>x</PartnerName>"},
      {L"mismatched.xml", "<response><PartnerName>x</Partner></response>"},
      {L"two-roots.xml", "<response><PartnerName>x</PartnerName></response><response/>"},
      {L"empty.xml", ""},
      {L"text.xml", "PartnerName=x"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(store.ParseResourcesFromXmlFile(Write(c.name, c.bytes))) << larktest::Narrow(c.name);
    EXPECT_EQ(before, store.GetCustomizedSettings()) << larktest::Narrow(c.name);
  }
  EXPECT_FALSE(store.ParseResourcesFromXmlFile(L""));
  EXPECT_FALSE(store.ParseResourcesFromXmlFile(dir.file(L"missing.xml")));
  EXPECT_EQ(before, store.GetCustomizedSettings());
}

TEST_F(ResponseXmlTest, ResponseWithoutCustomizationsStoresGlobalsAndSucceeds) {
  ASSERT_TRUE(store.ParseResourcesFromXmlFile(Write(L"globals.xml", "<response><A>1</A><B>2</B></response>")));
  EXPECT_EQ(L"1", Value(L"global", L"A"));
  EXPECT_EQ(L"2", Value(L"global", L"B"));
  ASSERT_TRUE(store.ParseResourcesFromXmlFile(
      Write(L"emptyblocks.xml", "<response><stubCustomizations/><C>3</C></response>")));
  EXPECT_EQ(L"3", Value(L"global", L"C"));
  ASSERT_TRUE(store.ParseResourcesFromXmlFile(Write(L"bare.xml", "<response/>")));
}

TEST_F(ResponseXmlTest, ReadsUtf16ResponseFiles) {
  std::wstring path = larktest::SourceDir() + L"\\xml\\tests\\corpus\\response-utf16.xml";
  ASSERT_TRUE(store.ParseResourcesFromXmlFile(path));
  EXPECT_EQ(L"Willkommen bei Lark Client \x2013 Gr\x00fc\x00df" L"e", Value(L"de", L"WelcomeTitle"));
  EXPECT_EQ(L"https://help.example.net/ja/?a=1&b=2", Value(L"ja", L"BCXBasicHelpUrl"));
  EXPECT_TRUE(Has(L"global", L"supportphone"));
}

}  // namespace
