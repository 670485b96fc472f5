// Language selection: the previous installation in the registry, legacy
// codes, the operator default and the fallbacks, with the store's
// selectable languages set up per case. Writes the agent's and the legacy
// product's HKLM keys (saved and restored), so it runs alone.
#include <gtest/gtest.h>

#include "settings/LarkProperties.h"
#include "settings/Locale.h"
#include "testsupport/TestEnv.h"

namespace {

// Saves one string value of an HKLM key and puts it back (or removes it,
// and the key when this guard created it and it is empty) at the end.
class ValueGuard {
 public:
  ValueGuard(const wchar_t* subkey, const wchar_t* name) : m_subkey(subkey), m_name(name) {
    HKEY key;
    m_keyExisted = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
    if (m_keyExisted) {
      wchar_t buffer[256] = {};
      DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
      m_hadValue = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                    &size) == ERROR_SUCCESS;
      m_saved = buffer;
      RegCloseKey(key);
    }
    Remove();
  }
  ~ValueGuard() {
    if (m_hadValue) {
      Set(m_saved);
    } else {
      Remove();
      if (!m_keyExisted) RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_subkey);  // fails unless empty
    }
  }
  void Set(const std::wstring& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, m_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  void Remove() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_subkey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, m_name);
      RegCloseKey(key);
    }
  }

 private:
  const wchar_t* m_subkey;
  const wchar_t* m_name;
  bool m_keyExisted = false;
  bool m_hadValue = false;
  std::wstring m_saved;
};

// The process-wide store with just the settings a case needs.
void SetUpStore(const std::wstring& languages, const std::wstring& defaultLanguage) {
  LarkProperties* store = LarkProperties::Instance();
  store->ParseResources(nullptr);  // fails at once, but empties the maps first
  store->StoreProperty(L"Languages", languages, LarkProperties::CustomizedSettings);
  store->StoreProperty(L"DefaultLanguage", defaultLanguage, LarkProperties::CustomizedSettings);
  for (const wchar_t* code : {L"bg", L"de", L"en", L"fr", L"ja", L"no", L"pt-BR", L"sv"})
    store->StoreProperty(std::wstring(code) + L":Title", L"t", LarkProperties::CustomizedSettings);
  store->GenerateSelectableLanguages(1252);  // 1252 keeps bg and ja out
}

class LocaleTest : public ::testing::Test {
 protected:
  LocaleTest()
      : agent(L"SOFTWARE\\K-Harbor\\Lark Client", L"Language"),
        legacy(L"SOFTWARE\\Brine Works\\K-Harbor\\K-Harbor GUI", L"Lang") {}

  void SetUp() override {
    Locale().GetLocale(userLocale, userCountry, userLanguage);
  }

  ValueGuard agent;
  ValueGuard legacy;
  std::wstring userLocale, userCountry, userLanguage;
};

TEST_F(LocaleTest, LegacyCodes) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {{L"DEU", L"de"}, {L"FRC", L"fr-CA"}, {L"PTB", L"pt-BR"}, {L"ZHH", L"zh-HK"},
               {L"CHT", L"zh-TW"}, {L"BUL", L"bg"}, {L"NOR", L"no"}, {L"deu", L"en"},
               {L"XYZ", L"en"}, {L"", L"en"}};
  Locale locale;
  for (const Case& c : cases) {
    std::wstring code = c.in;
    locale.MapLegacyLanguageCode(code);
    EXPECT_EQ(code, c.out) << larktest::Narrow(c.in);
  }
}

TEST_F(LocaleTest, PreviousInstallation) {
  Locale locale;
  std::wstring code = L"unchanged";
  EXPECT_FALSE(locale.GetPreviousInstallationLocale(code));
  EXPECT_EQ(code, L"unchanged");

  legacy.Set(L"DEU");
  EXPECT_TRUE(locale.GetPreviousInstallationLocale(code));
  EXPECT_EQ(code, L"de");
  legacy.Set(L"QQQ");
  EXPECT_TRUE(locale.GetPreviousInstallationLocale(code));
  EXPECT_EQ(code, L"en");

  agent.Set(L"DEU");  // the agent's value is used as it is, and wins
  EXPECT_TRUE(locale.GetPreviousInstallationLocale(code));
  EXPECT_EQ(code, L"DEU");
}

// An empty value is read as a value: the agent's as it is (and it still
// wins over the legacy key), the legacy one mapped like any unknown code.
TEST_F(LocaleTest, EmptyValuesAreReadAsValues) {
  Locale locale;
  std::wstring code = L"unchanged";
  legacy.Set(L"");
  EXPECT_TRUE(locale.GetPreviousInstallationLocale(code));
  EXPECT_EQ(code, L"en");

  legacy.Set(L"DEU");
  agent.Set(L"");
  code = L"unchanged";
  EXPECT_TRUE(locale.GetPreviousInstallationLocale(code));
  EXPECT_EQ(code, L"");

  // Not selectable, so the choice moves on to the user's locale and on.
  SetUpStore(L"de,fr", L"fr");
  std::wstring chosen = Locale().SelectBestDefault();
  EXPECT_TRUE(chosen == L"de" || chosen == L"fr") << larktest::Narrow(chosen);
  if (userLanguage != L"de" && userCountry != L"de") {
    EXPECT_EQ(chosen, L"fr");
  }
}

TEST_F(LocaleTest, PreviousInstallationChosenWhenSelectable) {
  SetUpStore(L"de,en,fr,sv", L"fr");
  agent.Set(L"sv");
  EXPECT_EQ(Locale().SelectBestDefault(), L"sv");
  agent.Remove();
  legacy.Set(L"DEU");
  EXPECT_EQ(Locale().SelectBestDefault(), L"de");
}

TEST_F(LocaleTest, UnselectableChoicesFallThroughToDefaultEnglishAndFirst) {
  // The user's locale comes second; English (the usual case here) leads to
  // the same results, the languages below would not.
  for (const wchar_t* code : {L"de", L"fr", L"sv"}) {
    if (userLanguage == code || userCountry == code)
      GTEST_SKIP() << "the process's own user locale is one of the test's languages";
  }
  agent.Set(L"bg");  // not under code page 1252
  SetUpStore(L"de,fr,bg", L"fr");
  EXPECT_EQ(Locale().SelectBestDefault(), L"fr");  // the operator's default
  SetUpStore(L"de,en,bg", L"bg");
  EXPECT_EQ(Locale().SelectBestDefault(), L"en");  // default unsupported
  SetUpStore(L"sv,de,bg", L"bg");
  EXPECT_EQ(Locale().SelectBestDefault(), L"de");  // first selectable, in code order
  SetUpStore(L"bg,ja", L"ja");
  EXPECT_TRUE(LarkProperties::Instance()->GetSelectableLanguages().empty());
  EXPECT_EQ(Locale().SelectBestDefault(), L"");
}

TEST_F(LocaleTest, UserLocaleOfThisProcess) {
  std::wstring locale, country, language;
  ASSERT_TRUE(Locale().GetLocale(locale, country, language));
  EXPECT_EQ(locale.substr(0, language.size() + 1), language + L"-");
  std::wstring upper = locale.substr(language.size() + 1);
  std::wstring lowered = upper;
  for (wchar_t& c : lowered) c = static_cast<wchar_t>(towlower(c));
  EXPECT_EQ(country, lowered);
  std::wstring text;
  EXPECT_TRUE(QueryUserLocaleInfo(LOCALE_SISO639LANGNAME, text));
  EXPECT_EQ(text, language);
  EXPECT_FALSE(QueryUserLocaleInfo(0x7fffffff, text));
}

}  // namespace
