// The PROPERTIES line reader, the embedded tables of this build and the
// selectable languages per code page.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"

namespace {

typedef std::vector<std::pair<std::wstring, std::wstring>> Entries;

// Every stored (language:key, value) of the texts map, in map order.
Entries Stored(const LarkProperties& store) {
  Entries out;
  for (const auto& lang : store.GetLocalizedTexts())
    for (const auto& kv : lang.second) out.emplace_back(lang.first + L":" + kv.first, kv.second);
  return out;
}

Entries Read(const std::wstring& text) {
  LarkProperties store;
  store.ParsePropertiesText(text.data(), text.size(), LarkProperties::LocalizedTexts);
  return Stored(store);
}

TEST(PropertiesReader, TrickyLines) {
  struct Case {
    const char* name;
    std::wstring text;
    Entries expected;
  } cases[] = {
      {"plain lines", L"en:Title=Setup\r\nKey=Value\r\n",
       {{L"en:title", L"Setup"}, {L"global:key", L"Value"}}},
      {"leading blanks skipped", L"  Title=x\r\n", {{L"global:title", L"x"}}},
      {"leading digit skipped", L"1Title=x\r\n", {{L"global:title", L"x"}}},
      {"blanks inside key and value kept", L"Ti tle = x\r\n", {{L"global:ti tle ", L" x"}}},
      {"last line without CR dropped", L"A=1\r\nB=2", {{L"global:a", L"1"}}},
      {"LF alone is part of the value", L"A=1\nB=2\nC=3\r\n", {{L"global:a", L"1\nB=2\nC=3"}}},
      {"comment line", L"#A=1\r\nB=2\r\n", {{L"global:b", L"2"}}},
      {"hash inside key and value literal", L"A#b=c#d\r\n", {{L"global:a#b", L"c#d"}}},
      {"equals inside value", L"A=b=c\r\n", {{L"global:a", L"b=c"}}},
      {"empty value stored", L"A=\r\n", {{L"global:a", L""}}},
      {"tab abandons the key", L"Ab\tCd=1\r\n", {{L"global:cd", L"1"}}},
      {"line without equals ignored", L"NoEquals\r\nB=2\r\n", {{L"global:b", L"2"}}},
      {"byte-order mark skipped", L"\xFEFF" L"A=1\r\n", {{L"global:a", L"1"}}},
      {"punctuation between Z and a starts a key", L"_x=1\r\n[s]=2\r\n",
       {{L"global:[s]", L"2"}, {L"global:_x", L"1"}}},
      {"characters above z skipped", L"{|}~A=1\r\n", {{L"global:a", L"1"}}},
      {"further colons stay in key", L"de:a:b=1\r\n", {{L"de:a:b", L"1"}}},
      {"later line replaces earlier", L"A=1\r\na=2\r\n", {{L"global:a", L"2"}}},
      {"tab inside value kept", L"A=x\ty\r\n", {{L"global:a", L"x\ty"}}},
      {"empty text", L"", {}},
      {"only CR LF", L"\r\n\r\n\r\n", {}},
      {"open key at end", L"A=1\r\nUnfinished", {{L"global:a", L"1"}}},
      {"CR right after key abandons it", L"Key\r=1\r\n", {}},
      {"non-ASCII value", L"ru:Yes=&\x0414\x0430\r\n", {{L"ru:yes", L"&\x0414\x0430"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.text), c.expected) << c.name;
}

TEST(PropertiesReader, LengthLimitsTheRead) {
  std::wstring text = L"A=1\r\nB=2\r\n";
  LarkProperties store;
  store.ParsePropertiesText(text.data(), 5, LarkProperties::LocalizedTexts);  // "A=1\r\n"
  EXPECT_EQ(Stored(store), (Entries{{L"global:a", L"1"}}));
}

TEST(PropertiesReader, SeededRandomTextNeverCrashes) {
  const wchar_t alphabet[] = L"Aaz:=#\r\n \t1\x00e9\xFEFF\x0416";
  unsigned seed = 20261210;
  for (int round = 0; round < 200; ++round) {
    std::wstring text;
    for (int i = 0; i < 300; ++i) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 16) % (sizeof(alphabet) / sizeof(wchar_t) - 1)];
    }
    LarkProperties store;
    store.ParsePropertiesText(text.data(), text.size(), LarkProperties::CustomizedSettings);
    for (const auto& lang : store.GetCustomizedSettings())
      for (const auto& kv : lang.second) EXPECT_EQ(kv.second.find(L'\r'), std::wstring::npos);
  }
}

const wchar_t* const kLanguages[] = {L"bg", L"cs", L"da", L"de", L"el", L"en", L"es-MX", L"es",
                                     L"et", L"fi", L"fr-CA", L"fr", L"hu", L"it", L"ja", L"nl",
                                     L"no", L"pl", L"pt-BR", L"pt", L"ro", L"ru", L"sl", L"sv",
                                     L"tr", L"vi", L"zh-HK", L"zh-TW", L"zh"};

size_t CountEntries(const LarkProperties::PropertyMap& map) {
  size_t n = 0;
  for (const auto& lang : map) n += lang.second.size();
  return n;
}

// Checks the tables as this build embeds them.
void CheckShippedTables(LarkProperties& store) {
  EXPECT_EQ(CountEntries(store.GetLocalizedTexts()), 1740u);
  EXPECT_EQ(CountEntries(store.GetCustomizedSettings()), 239u);
  EXPECT_EQ(store.GetLocalizedTexts().size(), 29u);
  EXPECT_EQ(store.GetCustomizedSettings().size(), 30u);  // 29 languages and "global"

  const LarkProperties::PropertyMap& texts = store.GetLocalizedTexts();
  const LarkProperties::KeyValueMap& english = texts.at(L"en");
  ASSERT_EQ(english.size(), 60u);
  EXPECT_EQ(english.at(L"cancel"), L"&Cancel");
  EXPECT_EQ(english.at(L"install"), L"Inst&all");
  EXPECT_EQ(english.at(L"language"), L"English");
  EXPECT_EQ(english.at(L"infotext4"), L"Installing %PRODUCT%...");
  EXPECT_EQ(english.at(L"accept"), L"I &accept the license terms");

  // Same words in the language itself, not English copies.
  const std::set<std::pair<std::wstring, std::wstring>> sameWord = {
      {L"es", L"no"}, {L"es-MX", L"no"}, {L"it", L"no"}};
  std::set<std::wstring> names;
  for (const wchar_t* lang : kLanguages) {
    SCOPED_TRACE(larktest::Narrow(lang));
    ASSERT_EQ(texts.count(lang), 1u);
    const LarkProperties::KeyValueMap& own = texts.at(lang);
    EXPECT_EQ(own.size(), 60u);
    for (const auto& kv : english) {
      ASSERT_EQ(own.count(kv.first), 1u) << larktest::Narrow(kv.first);
      const std::wstring& value = own.at(kv.first);
      EXPECT_FALSE(value.empty()) << larktest::Narrow(kv.first);
      if (std::wstring(lang) == L"en" || kv.first == L"ok" || sameWord.count({lang, kv.first}))
        continue;
      EXPECT_NE(value, kv.second) << larktest::Narrow(kv.first) << " is an English copy";
    }
    names.insert(own.at(L"language"));
    store.SetLanguage(lang);
    EXPECT_EQ(store.GetSetting(L"AgentName"), L"K-Harbor");
    EXPECT_FALSE(store.GetSetting(L"Title").empty());
    EXPECT_FALSE(store.GetSetting(L"WelcomeTitle").empty());
    EXPECT_FALSE(store.GetSetting(L"WelcomeInstructions").empty());
  }
  EXPECT_EQ(names.size(), 29u);  // every language has its own name

  store.SetLanguage(L"en");
  EXPECT_EQ(store.GetSetting(L"CustomBaseColor"), L"86,136,202");
  EXPECT_EQ(store.GetSetting(L"DefaultLanguage"), L"en");
  EXPECT_EQ(store.GetSetting(L"PartnerID"), L"4711");
  EXPECT_EQ(store.GetSetting(L"Title"), L"K-Harbor setup");
  EXPECT_EQ(store.GetSetting(L"KhDiagShortcutName"), L"Support Tool.lnk");
  EXPECT_EQ(store.GetSetting(L"WelcomeTitle"), L"Welcome to K-Harbor setup");
  EXPECT_EQ(store.GetSetting(L"Languages"),
            L"cs,da,de,el,en,es,es-MX,et,fi,fr,fr-CA,hu,it,ja,nl,no,pl,pt,pt-BR,ro,ru,sl,sv,tr,vi,"
            L"zh,zh-HK,zh-TW");
  EXPECT_EQ(store.GetSetting(L"StubConfigurationAddress").find(L"http://"), 0u);
  EXPECT_FALSE(store.GetSetting(L"PartnerName").empty());

  std::wstring missing;
  store.GenerateSelectableLanguages(1252);
  EXPECT_TRUE(store.CheckMinimumMandatorySettings(missing)) << larktest::Narrow(missing);
}

TEST(EmbeddedTables, ParsedFromOwnModule) {
  LarkProperties store;
  store.StoreProperty(L"stale", L"gone after parsing", LarkProperties::CustomizedSettings);
  ASSERT_TRUE(store.ParseResources(GetModuleHandleW(nullptr)));
  EXPECT_EQ(LarkProperties::FindValue(store.GetCustomizedSettings(), L"global", L"stale"), L"");
  CheckShippedTables(store);
}

TEST(EmbeddedTables, RawFormatIsUtf16WithCrLfAndNoMark) {
  for (int id : {130, 131}) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"PROPERTIES");
    ASSERT_NE(found, nullptr) << id;
    DWORD size = SizeofResource(nullptr, found);
    const wchar_t* text = static_cast<const wchar_t*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_EQ(size % 2, 0u);
    std::wstring all(text, size / 2);
    ASSERT_GE(all.size(), 2u);
    EXPECT_NE(all[0], L'\xFEFF');
    EXPECT_EQ(all.substr(all.size() - 2), L"\r\n");
    size_t lines = 0;
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i] == L'\n') {
        ++lines;
        EXPECT_EQ(all[i - 1], L'\r');
      }
      if (all[i] == L'\r') {
        EXPECT_EQ(all[i + 1], L'\n');
      }
    }
    EXPECT_EQ(lines, id == 130 ? 1740u : 239u);
    if (id == 130) {
      EXPECT_EQ(all.find(L"bg:Accept="), 0u);
    }
  }
}

TEST(EmbeddedTables, ParsedFromBuiltInstaller) {
  std::wstring exe = larktest::BuiltExe(L"larkstubinst");
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << larktest::Narrow(exe);
  if (!FindResourceW(module, MAKEINTRESOURCEW(130), L"PROPERTIES")) {
    FreeLibrary(module);
    GTEST_SKIP() << "larkstubinst does not embed the PROPERTIES tables yet";
  }
  // The tables come from a resource object of their own; the program's
  // other resources (its manifest) must survive the link beside them.
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
  LarkProperties store;
  EXPECT_TRUE(store.ParseResources(module));
  CheckShippedTables(store);
  FreeLibrary(module);
}

TEST(EmbeddedTables, MissingResourceFails) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  LarkProperties store;
  store.StoreProperty(L"en:x", L"y", LarkProperties::LocalizedTexts);
  EXPECT_FALSE(store.ParseResources(kernel));
  EXPECT_TRUE(store.GetLocalizedTexts().empty());
  EXPECT_FALSE(store.ParseSingleResource(kernel, 131, LarkProperties::CustomizedSettings));
}

TEST(SelectableLanguages, FromShippedSettingsPerCodePage) {
  LarkProperties store;
  ASSERT_TRUE(store.ParseResources(GetModuleHandleW(nullptr)));
  struct Case {
    UINT codePage;
    std::vector<std::wstring> expected;
  } cases[] = {
      {1252, {L"da", L"de", L"en", L"es", L"es-MX", L"fi", L"fr", L"fr-CA", L"it", L"nl", L"no",
              L"pt", L"pt-BR", L"sv"}},
      {932, {L"en", L"ja"}},
      {1251, {L"en", L"ru"}},  // bg is not in "Languages"
      {950, {L"en", L"zh-HK", L"zh-TW"}},
      {1250, {L"cs", L"de", L"en", L"fi", L"hu", L"it", L"nl", L"pl", L"ro", L"sl"}},
      {1257, {L"de", L"en", L"et", L"fi"}},
      {437, {L"en"}},
  };
  for (const Case& c : cases) {
    store.GenerateSelectableLanguages(c.codePage);
    EXPECT_EQ(store.GetSelectableLanguages(), c.expected) << c.codePage;
  }
}

TEST(SelectableLanguages, ListOrderDuplicatesAndLanguagesWithoutSettings) {
  LarkProperties store;
  store.StoreProperty(L"Languages", L"sv,de,xx,de, fr", LarkProperties::CustomizedSettings);
  for (const wchar_t* lang : {L"de", L"fr", L"sv", L"xx"})
    store.StoreProperty(std::wstring(lang) + L":Title", L"t", LarkProperties::CustomizedSettings);
  store.GenerateSelectableLanguages(1252);
  // Map order, a repeated code twice, " fr" not trimmed, xx not in the code page.
  EXPECT_EQ(store.GetSelectableLanguages(), (std::vector<std::wstring>{L"de", L"de", L"sv"}));

  store.StoreProperty(L"Languages", L"en,it", LarkProperties::CustomizedSettings);
  store.GenerateSelectableLanguages(1252);
  EXPECT_TRUE(store.GetSelectableLanguages().empty());  // neither has settings of its own
}

TEST(SelectableLanguages, CodePageTable) {
  EXPECT_TRUE(LarkProperties::IsLanguageSupportedByCodePage(L"en", 0));
  EXPECT_TRUE(LarkProperties::IsLanguageSupportedByCodePage(L"en", 65001));
  EXPECT_FALSE(LarkProperties::IsLanguageSupportedByCodePage(L"EN", 1252));
  EXPECT_TRUE(LarkProperties::IsLanguageSupportedByCodePage(L"vi", 1258));
  EXPECT_TRUE(LarkProperties::IsLanguageSupportedByCodePage(L"el", 1253));
  EXPECT_TRUE(LarkProperties::IsLanguageSupportedByCodePage(L"tr", 1254));
  EXPECT_TRUE(LarkProperties::IsLanguageSupportedByCodePage(L"zh", 936));
  EXPECT_FALSE(LarkProperties::IsLanguageSupportedByCodePage(L"zh", 950));
  EXPECT_FALSE(LarkProperties::IsLanguageSupportedByCodePage(L"ja", 1252));
  EXPECT_FALSE(LarkProperties::IsLanguageSupportedByCodePage(L"de", 1251));
  EXPECT_EQ(LarkProperties::IsLanguageSupportedByCodePage(L"ja"), GetACP() == 932);
}

}  // namespace
