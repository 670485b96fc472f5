// The parental-control check against stand-ins of the maker's three
// libraries. Each case runs VerifyParent in a fresh helper process (bound
// libraries stay bound for a process), with the stand-ins named in the
// registry under delay-load id 0 and their answers in standin.ini; the
// stand-ins record every call with its arguments.
#include "installer/ParentalModeChecker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/DelayLoad.h"
#include "platform/tests/DelayLoadTestSupport.h"
#include "testsupport/TestEnv.h"

using ::testing::Contains;
using ::testing::ElementsAreArray;
using larktest::Narrow;

namespace {

using Calls = std::vector<std::string>;

const char kGuiKey[] = "SOFTWARE\\Brine Works\\K-Harbor\\K-Harbor GUI";

Calls operator+(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The calls of the road that leads to an authentication, in their order.
const Calls kLoad = {"QOMADelayLoadInitialize()", "PlxInitLibrary()", "WYTE_DelayLoadInitialize()"};
Calls CreateOid() {
  return {"PlxCreateUserSessionPolicyOID(\"" + std::string(kParentalPolicyOid) + "\",*0)"};
}
const Calls kConnect = {"QOMAInitialize(256,0)", "QOMARegisterModule(*0,119)", "PlxClose(119)"};
const Calls kProfile = {"WYTE_CreateHandleOnProfile(81,\"ENG\",0,*0)", "WYTE_IsPasswordInitialized(153,*0)"};
const Calls kDisconnect = {"QOMAUnregisterModule(81)", "QOMAUninitialize()"};

struct Case {
  const char* name;
  // Variant of each library named in the registry: "full", "partial" or
  // nullptr for none.
  const char* qoma;
  const char* plx;
  const char* wyte;
  const char* answers;  // lines of standin.ini's [answers]
  int expected;
  Calls calls;
  std::vector<std::string> logged;  // among the log lines ("TG|text")
};

std::vector<Case> Cases() {
  const std::string dl = ".W|ParentalModeChecker::DelayLoadLibs: ";
  const std::string qc = ".W|ParentalModeChecker::QOMAConnect: ";
  const std::string api = "ParentalModeChecker::VerifyParentThroughAPI: ";
  return {
      {"NoLibraries", nullptr, nullptr, nullptr, "", 1, {}, {dl + "Failed to load QOMA library : 1"}},
      {"QomaMissing", nullptr, "full", "full", "", 1, {}, {dl + "Failed to load QOMA library : 1"}},
      {"PlxMissing", "full", nullptr, "full", "", 1, {"QOMADelayLoadInitialize()"},
       {dl + "Failed to load PLX library : 1"}},
      {"WyteMissing", "full", "full", nullptr, "", 1, {"QOMADelayLoadInitialize()", "PlxInitLibrary()"},
       {dl + "Failed to load WYTE library : 1"}},
      // A library lacking one function fails the load, not a later call.
      {"QomaLacksAFunction", "partial", "full", "full", "", 1, {"QOMADelayLoadInitialize()"},
       {dl + "Failed to load QOMA library : 2"}},
      {"PlxLacksAFunction", "full", "partial", "full", "", 1, {"QOMADelayLoadInitialize()", "PlxInitLibrary()"},
       {dl + "Failed to load PLX library : 2"}},
      {"WyteLacksAFunction", "full", "full", "partial", "", 1, kLoad, {dl + "Failed to load WYTE library : 2"}},
      {"OidRefused", "full", "full", "full", "PlxCreateUserSessionPolicyOID=5", 1,
       kLoad + Calls{"PlxCreateUserSessionPolicyOID(\"" + std::string(kParentalPolicyOid) + "\",*0)",
                     "QOMAUninitialize()"},
       {qc + "Failed to create OID : 5"}},
      {"InitializeRefused", "full", "full", "full", "QOMAInitialize=7", 1,
       kLoad + CreateOid() + Calls{"QOMAInitialize(256,0)", "PlxClose(119)", "QOMAUninitialize()"},
       {qc + "Failed to initialize QOMA API :7"}},
      {"RegistrationRefused", "full", "full", "full", "QOMARegisterModule=9\nModuleHandle=0", 1,
       kLoad + CreateOid() + kConnect + Calls{"QOMAUninitialize()"}, {qc + "Failed to register module to QOMA : 9"}},
      {"RegistrationRefusedAfterFillingTheHandle", "full", "full", "full", "QOMARegisterModule=9", 1,
       kLoad + CreateOid() + kConnect + kDisconnect, {qc + "Failed to register module to QOMA : 9"}},
      {"ProfileRefused", "full", "full", "full", "WYTE_CreateHandleOnProfile=3", 1,
       kLoad + CreateOid() + kConnect + Calls{"WYTE_CreateHandleOnProfile(81,\"ENG\",0,*0)"} + kDisconnect,
       {".W|" + api + "Failed to create parent profile handle for ENG"}},
      {"PasswordCheckFails", "full", "full", "full", "WYTE_IsPasswordInitialized=4", 1,
       kLoad + CreateOid() + kConnect + kProfile + Calls{"WYTE_CloseHandle(153)"} + kDisconnect,
       {".W|" + api + "Failed to check if parental password is initialized"}},
      {"NoPasswordSet", "full", "full", "full", "PasswordSet=0", 1,
       kLoad + CreateOid() + kConnect + kProfile + Calls{"WYTE_CloseHandle(153)"} + kDisconnect, {}},
      {"Authorised", "full", "full", "full", "", 1,
       kLoad + CreateOid() + kConnect + kProfile +
           Calls{"WYTE_AuthenticateUserOperation(153,5,*1)", "WYTE_SwitchToProfile(153,0)",
                 "WYTE_UnAuthenticateUserOperation(153)"} +
           kDisconnect,
       {" I|" + api + "Authenticate user operation: 1"}},
      {"Refused", "full", "full", "full", "AuthResult=0", 0,
       kLoad + CreateOid() + kConnect + kProfile +
           Calls{"WYTE_AuthenticateUserOperation(153,5,*1)", "WYTE_UnAuthenticateUserOperation(153)"} + kDisconnect,
       {" I|" + api + "Authenticate user operation: 0"}},
      // The authentication call fails and leaves the preset result alone.
      {"AuthenticationFailsKeepingThePreset", "full", "full", "full",
       "AuthResult=-1\nWYTE_AuthenticateUserOperation=1835009", 1,
       kLoad + CreateOid() + kConnect + kProfile +
           Calls{"WYTE_AuthenticateUserOperation(153,5,*1)", "WYTE_SwitchToProfile(153,0)",
                 "WYTE_UnAuthenticateUserOperation(153)"} +
           kDisconnect,
       {".W|" + api + "WYTE_AuthenticateUserOperation failed: 1C0001", " I|" + api + "Authenticate user operation: 1"}},
  };
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Outcome {
  DWORD exitCode = 1000;
  Calls calls;
  std::vector<std::string> logged;
};

// Names the stand-in variants in the registry, writes their answers and
// runs VerifyParent in the helper process.
Outcome RunCheck(const char* qoma, const char* plx, const char* wyte, const std::string& answers) {
  Outcome outcome;
  larktest::ScratchDir dir(L"parental");
  larktest::WriteFileBytes(dir.file(L"standin.ini"), "[answers]\n" + answers + "\n");
  std::vector<std::unique_ptr<dltest::RegistryValue>> values;
  const std::pair<const char*, const wchar_t*> libraries[] = {
      {qoma, L"qoma32.dll"}, {plx, L"QELMAPI.dll"}, {wyte, L"wyteapi.dll"}};
  for (const auto& library : libraries) {
    if (!library.first) continue;
    values.emplace_back(new dltest::RegistryValue(
        GetDelayLoadKey(0), Narrow(library.second),
        Narrow(dltest::StandinPath(larktest::Widen(library.first), library.second))));
  }
  SetEnvironmentVariableW(L"LARK_STANDIN_DIR", dir.path().c_str());
  larktest::ProcessResult result = larktest::RunProcess(
      L"\"" + larktest::BuiltExe(L"installer_parental_probe") + L"\" \"" + dir.file(L"log.txt") + L"\"");
  SetEnvironmentVariableW(L"LARK_STANDIN_DIR", nullptr);
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.timedOut);
  outcome.exitCode = result.exitCode;
  std::string text;
  larktest::ReadFileBytes(dir.file(L"calls.log"), text);
  outcome.calls = Lines(text);
  text.clear();
  EXPECT_TRUE(larktest::ReadFileBytes(dir.file(L"log.txt"), text));
  outcome.logged = Lines(text);
  // The value that created the key goes last, so that the key goes with it.
  while (!values.empty()) values.pop_back();
  return outcome;
}

}  // namespace

TEST(ParentalModeChecker, EveryRoadAgainstTheStandins) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    Outcome outcome = RunCheck(c.qoma, c.plx, c.wyte, c.answers);
    EXPECT_EQ(outcome.exitCode, static_cast<DWORD>(c.expected));
    EXPECT_THAT(outcome.calls, ElementsAreArray(c.calls));
    for (const std::string& line : c.logged) EXPECT_THAT(outcome.logged, Contains(line));
  }
}

// The "Lang" value replaces "ENG", passed on as the characters' low bytes.
TEST(ParentalModeChecker, LanguageFromTheRegistry) {
  const struct {
    const wchar_t* value;
    const char* passed;
  } languages[] = {{L"DEU", "DEU"}, {L"\x0130XY", "0XY"}};
  for (const auto& language : languages) {
    dltest::RegistryValue lang(kGuiKey, "Lang", std::wstring(language.value));
    Outcome outcome = RunCheck("full", "full", "full", "PasswordSet=0");
    EXPECT_EQ(outcome.exitCode, 1u);
    EXPECT_THAT(outcome.calls, Contains("WYTE_CreateHandleOnProfile(81,\"" + std::string(language.passed) + "\",0,*0)"));
    EXPECT_THAT(outcome.logged, Contains(" D|ParentalModeChecker::VerifyParentThroughAPI: Parental Control language "
                                         "read from registry: " +
                                         Narrow(language.value)));
  }
  // A refused profile names the language it asked for.
  dltest::RegistryValue lang(kGuiKey, "Lang", std::wstring(L"FRA"));
  Outcome outcome = RunCheck("full", "full", "full", "WYTE_CreateHandleOnProfile=3");
  EXPECT_THAT(outcome.logged, Contains(".W|ParentalModeChecker::VerifyParentThroughAPI: Failed to create parent "
                                       "profile handle for FRA"));
}
