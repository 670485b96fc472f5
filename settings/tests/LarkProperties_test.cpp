// The settings store: fallbacks, key rules, mandatory checks, dump and the
// process-wide instance.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "settings/LarkProperties.h"

namespace {

class StoreTest : public ::testing::Test {
 protected:
  LarkProperties store;
};

TEST_F(StoreTest, MissingTextReadsAsHashAndKeyAsSpelled) {
  store.StoreProperty(L"en:Accept", L"I &accept", LarkProperties::LocalizedTexts);
  EXPECT_EQ(store.GetLocalizedString(L"Accept"), L"#Accept");  // no current language yet
  store.SetLanguage(L"en");
  EXPECT_EQ(store.GetLocalizedString(L"ACCEPT"), L"I &accept");
  EXPECT_EQ(store.GetLocalizedString(L"Decline"), L"#Decline");
  store.StoreProperty(L"en:Empty", L"", LarkProperties::LocalizedTexts);
  EXPECT_EQ(store.GetLocalizedString(L"Empty"), L"#Empty");
}

TEST_F(StoreTest, KeysIgnoreCaseLanguageCodesDoNot) {
  store.StoreProperty(L"DefaultLanguage", L"de", LarkProperties::CustomizedSettings);
  for (const wchar_t* key : {L"DefaultLanguage", L"defaultlanguage", L"DEFAULTLANGUAGE"})
    EXPECT_EQ(store.GetSetting(key), L"de") << key;
  store.StoreProperty(L"en:Title", L"English title", LarkProperties::CustomizedSettings);
  EXPECT_EQ(LarkProperties::FindValue(store.GetCustomizedSettings(), L"en", L"TITLE"),
            L"English title");
  EXPECT_EQ(LarkProperties::FindValue(store.GetCustomizedSettings(), L"EN", L"Title"), L"");
  store.SetLanguage(L"EN");
  EXPECT_EQ(store.GetSetting(L"Title"), L"");
}

TEST_F(StoreTest, SettingFallsBackToGlobalWhenMissingOrEmpty) {
  store.StoreProperty(L"Title", L"global title", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"Color", L"1,2,3", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"de:Title", L"", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"fr:Title", L"titre", LarkProperties::CustomizedSettings);
  store.SetLanguage(L"de");
  EXPECT_EQ(store.GetSetting(L"Title"), L"global title");
  EXPECT_EQ(store.GetSetting(L"Color"), L"1,2,3");
  EXPECT_EQ(store.GetSetting(L"Nothing"), L"");
  store.SetLanguage(L"fr");
  EXPECT_EQ(store.GetSetting(L"title"), L"titre");
}

TEST_F(StoreTest, StorePropertySplitsAtFirstColonAndLaterStoreWins) {
  struct Case {
    const wchar_t* qualified;
    const wchar_t* language;
    const wchar_t* key;
  } cases[] = {
      {L"fr-CA:Title", L"fr-CA", L"title"},
      {L"a:b:c", L"a", L"b:c"},
      {L"Title", L"global", L"title"},
      {L":Lonely", L"", L"lonely"},
      {L"EN:Key", L"EN", L"key"},
  };
  for (const Case& c : cases) {
    LarkProperties s;
    s.StoreProperty(c.qualified, L"v", LarkProperties::CustomizedSettings);
    const LarkProperties::PropertyMap& map = s.GetCustomizedSettings();
    ASSERT_EQ(map.size(), 1u) << testing::PrintToString(std::wstring(c.qualified));
    EXPECT_EQ(map.begin()->first, c.language);
    ASSERT_EQ(map.begin()->second.size(), 1u);
    EXPECT_EQ(map.begin()->second.begin()->first, c.key);
    EXPECT_TRUE(s.GetLocalizedTexts().empty());
  }
  store.StoreProperty(L"PartnerName", L"first", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"PARTNERNAME", L"second", LarkProperties::CustomizedSettings);
  EXPECT_EQ(store.GetSetting(L"PartnerName"), L"second");
}

TEST_F(StoreTest, LanguageNameComesFromThatLanguagesTexts) {
  store.StoreProperty(L"de:Language", L"Deutsch", LarkProperties::LocalizedTexts);
  store.SetLanguage(L"en");
  EXPECT_EQ(store.GetLanguageName(L"de"), L"Deutsch");
  EXPECT_EQ(store.GetLanguageName(L"fr"), L"");
}

TEST_F(StoreTest, MandatoryChecksListMissingNamesWithoutGlobalFallback) {
  std::wstring missing;
  // No selectable languages: only the global table is checked.
  EXPECT_FALSE(store.CheckMandatorySettings(missing));
  EXPECT_EQ(missing,
            L"global:PartnerID,global:PartnerName,global:CustomBaseColor,"
            L"global:LarkInstallerDownloadURL,global:Languages,global:DefaultLanguage,"
            L"global:BCXBasicSettingsUrl");

  const wchar_t* global[][2] = {{L"PartnerID", L"666"}, {L"PartnerName", L"K"},
                                {L"CustomBaseColor", L"1,2,3"}, {L"Languages", L"en,de"},
                                {L"DefaultLanguage", L"en"}};
  for (auto& g : global) store.StoreProperty(g[0], g[1], LarkProperties::CustomizedSettings);
  for (const wchar_t* lang : {L"en", L"de"}) {
    for (const wchar_t* key : {L"Title", L"WelcomeTitle", L"WelcomeInstructions"})
      store.StoreProperty(std::wstring(lang) + L":" + key, L"x", LarkProperties::CustomizedSettings);
  }
  store.StoreProperty(L"AgentName", L"global only", LarkProperties::CustomizedSettings);
  store.GenerateSelectableLanguages(1252);
  ASSERT_EQ(store.GetSelectableLanguages(), (std::vector<std::wstring>{L"de", L"en"}));

  missing.clear();
  EXPECT_TRUE(store.CheckMinimumMandatorySettings(missing));
  EXPECT_EQ(missing, L"");

  missing.clear();
  EXPECT_FALSE(store.CheckMandatorySettings(missing));
  EXPECT_EQ(missing.find(L"global:LarkInstallerDownloadURL,global:BCXBasicSettingsUrl,de:AgentName,"
                         L"de:InstallDirUnderProgramFiles"),
            0u)
      << testing::PrintToString(missing);
  EXPECT_NE(missing.find(L"en:AgentName"), std::wstring::npos);  // the global value doesn't count
  EXPECT_EQ(missing.find(L"Title"), std::wstring::npos);

  // An empty per-language value counts as missing.
  store.StoreProperty(L"en:WelcomeTitle", L"", LarkProperties::CustomizedSettings);
  missing = L"earlier";
  EXPECT_FALSE(store.CheckMinimumMandatorySettings(missing));
  EXPECT_EQ(missing, L"earlier,en:WelcomeTitle");
}

TEST_F(StoreTest, DumpListsGlobalThenCurrentLanguageLowerCased) {
  EXPECT_EQ(store.DumpSettings(), L"");
  store.StoreProperty(L"Zeta", L"z", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"Alpha", L"a=b", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"de:Title", L"Titel", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"fr:Title", L"Titre", LarkProperties::CustomizedSettings);
  store.StoreProperty(L"de:Accept", L"text, not a setting", LarkProperties::LocalizedTexts);
  store.SetLanguage(L"de");
  EXPECT_EQ(store.DumpSettings(), L"alpha=a=b\nzeta=z\nde-title=Titel\n");
}

TEST(StoreInstance, OneStoreForEveryThread) {
  std::vector<LarkProperties*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = LarkProperties::Instance(); });
  for (std::thread& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (LarkProperties* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(LarkProperties::Instance(), seen[0]);
}

}  // namespace
