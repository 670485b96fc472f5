// The parental-control check through the management agent (qoma32), the
// policy manager (QELMAPI) and the parental-control library (wyteapi), all
// bound late under delay-load id 0.
#include "installer/ParentalModeChecker.h"

#include <string>

#include "installer/ParentalApi.h"
#include "logging/Log.h"
#include "platform/DelayLoad.h"
#include "platform/RegKey.h"

// The maker's enterprise arc, then the agent-module policy 11.1.20.1.
const char kParentalPolicyOid[] = "1.3.6.1.4.1.52917.11.1.20.1";

namespace {

const int kQomaOk = 0x4000000;
const int kWyteOk = 0x1c0000;
const int kQomaVersion = 256;
const int kInstallOperation = 5;
const wchar_t kGuiKey[] = L"SOFTWARE\\Brine Works\\K-Harbor\\K-Harbor GUI";

// Every entry with the convention and arguments of ParentalApi.h.
DelayLoadLibrary g_qoma("qoma32.dll");
DelayLoadFunction<parental_api::QomaDelayLoadInitializeFn> QOMADelayLoadInitialize(g_qoma, "QOMADelayLoadInitialize");
DelayLoadFunction<parental_api::QomaInitializeFn> QOMAInitialize(g_qoma, "QOMAInitialize");
DelayLoadFunction<parental_api::QomaRegisterModuleFn> QOMARegisterModule(g_qoma, "QOMARegisterModule");
DelayLoadFunction<parental_api::QomaUnregisterModuleFn> QOMAUnregisterModule(g_qoma, "QOMAUnregisterModule");
DelayLoadFunction<parental_api::QomaUninitializeFn> QOMAUninitialize(g_qoma, "QOMAUninitialize");

DelayLoadLibrary g_plx("QELMAPI.dll");
DelayLoadFunction<parental_api::PlxInitLibraryFn> PlxInitLibrary(g_plx, "PlxInitLibrary");
DelayLoadFunction<parental_api::PlxCreateUserSessionPolicyOidFn> PlxCreateUserSessionPolicyOID(
    g_plx, "PlxCreateUserSessionPolicyOID");
DelayLoadFunction<parental_api::PlxCloseFn> PlxClose(g_plx, "PlxClose");

DelayLoadLibrary g_wyte("wyteapi.dll");
DelayLoadFunction<parental_api::WyteDelayLoadInitializeFn> WYTE_DelayLoadInitialize(g_wyte,
                                                                                     "WYTE_DelayLoadInitialize");
DelayLoadFunction<parental_api::WyteCreateHandleOnProfileFn> WYTE_CreateHandleOnProfile(
    g_wyte, "WYTE_CreateHandleOnProfile");
DelayLoadFunction<parental_api::WyteIsPasswordInitializedFn> WYTE_IsPasswordInitialized(
    g_wyte, "WYTE_IsPasswordInitialized");
DelayLoadFunction<parental_api::WyteAuthenticateUserOperationFn> WYTE_AuthenticateUserOperation(
    g_wyte, "WYTE_AuthenticateUserOperation");
DelayLoadFunction<parental_api::WyteSwitchToProfileFn> WYTE_SwitchToProfile(g_wyte, "WYTE_SwitchToProfile");
DelayLoadFunction<parental_api::WyteUnAuthenticateUserOperationFn> WYTE_UnAuthenticateUserOperation(
    g_wyte, "WYTE_UnAuthenticateUserOperation");
DelayLoadFunction<parental_api::WyteCloseHandleFn> WYTE_CloseHandle(g_wyte, "WYTE_CloseHandle");

// Each init calls the library's load-test entry and then binds every other
// function the check uses, so that a library lacking one of them fails here,
// inside CallWithDelayLoad, and not at a later call outside it.
void LoadQoma() {
  QOMADelayLoadInitialize();
  QOMAInitialize.Bind();
  QOMARegisterModule.Bind();
  QOMAUnregisterModule.Bind();
  QOMAUninitialize.Bind();
}

void LoadPlx() {
  PlxInitLibrary();
  PlxCreateUserSessionPolicyOID.Bind();
  PlxClose.Bind();
}

void LoadWyte() {
  WYTE_DelayLoadInitialize();
  WYTE_CreateHandleOnProfile.Bind();
  WYTE_IsPasswordInitialized.Bind();
  WYTE_AuthenticateUserOperation.Bind();
  WYTE_SwitchToProfile.Bind();
  WYTE_UnAuthenticateUserOperation.Bind();
  WYTE_CloseHandle.Bind();
}

void Disconnect(void* module) {
  if (module) QOMAUnregisterModule(module);
  QOMAUninitialize();
}

// The library takes the language as a narrow string of the characters'
// low bytes.
std::string LowBytes(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c & 0xFF);
  return narrow;
}

}  // namespace

int ParentalModeChecker::VerifyParent() {
  LogW(5, L"%s: ", L"ParentalModeChecker::VerifyParent");
  if (!DelayLoadLibs()) return 1;
  void* module = nullptr;
  if (!QOMAConnect(module)) {
    Disconnect(module);
    return 1;
  }
  int result = VerifyParentThroughAPI(module);
  Disconnect(module);
  return result;
}

bool ParentalModeChecker::DelayLoadLibs() {
  LogW(5, L"%s: ", L"ParentalModeChecker::DelayLoadLibs");
  struct Step {
    void (*init)();
    const wchar_t* failure;
  };
  const Step steps[] = {
      {LoadQoma, L"%s: Failed to load QOMA library : %d"},
      {LoadPlx, L"%s: Failed to load PLX library : %d"},
      {LoadWyte, L"%s: Failed to load WYTE library : %d"},
  };
  for (const Step& step : steps) {
    DelayLoadErrorRecord error = {};
    int code = CallWithDelayLoad(0, step.init, &error);
    if (code != 0) {
      LogW(3, step.failure, L"ParentalModeChecker::DelayLoadLibs", code);
      return false;
    }
  }
  return true;
}

bool ParentalModeChecker::QOMAConnect(void*& module) {
  LogW(5, L"%s: ", L"ParentalModeChecker::QOMAConnect");
  void* oid = nullptr;
  int e = PlxCreateUserSessionPolicyOID(kParentalPolicyOid, &oid);
  if (e != 0) {
    LogW(3, L"%s: Failed to create OID : %d", L"ParentalModeChecker::QOMAConnect", e);
    return false;
  }
  int i = QOMAInitialize(kQomaVersion, nullptr);
  if (i != kQomaOk) {
    LogW(3, L"%s: Failed to initialize QOMA API :%d", L"ParentalModeChecker::QOMAConnect", i);
    // The OID handle is closed on this road too, not left open.
    PlxClose(oid);
    return false;
  }
  int r = QOMARegisterModule(&module, oid);
  PlxClose(oid);
  if (r != kQomaOk) LogW(3, L"%s: Failed to register module to QOMA : %d", L"ParentalModeChecker::QOMAConnect", r);
  return r == kQomaOk;
}

int ParentalModeChecker::VerifyParentThroughAPI(void* module) {
  LogW(5, L"%s: ", L"ParentalModeChecker::VerifyParentThroughAPI");
  std::wstring language = L"ENG";
  {
    CRegKey key;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, kGuiKey, KEY_QUERY_VALUE) == ERROR_SUCCESS &&
        key.ReadString(language, L"Lang") == ERROR_SUCCESS) {
      LogW(5, L"%s: Parental Control language read from registry: %s", L"ParentalModeChecker::VerifyParentThroughAPI",
           language.c_str());
    }
  }

  void* profile = nullptr;
  if (WYTE_CreateHandleOnProfile(module, LowBytes(language).c_str(), 0, &profile) != kWyteOk) {
    LogW(3, L"%s: Failed to create parent profile handle for %s", L"ParentalModeChecker::VerifyParentThroughAPI",
         language.c_str());
    return 1;
  }
  int passwordSet = 0;
  if (WYTE_IsPasswordInitialized(profile, &passwordSet) != kWyteOk) {
    LogW(3, L"%s: Failed to check if parental password is initialized",
         L"ParentalModeChecker::VerifyParentThroughAPI");
    WYTE_CloseHandle(profile);
    return 1;
  }
  if (passwordSet == 0) {
    WYTE_CloseHandle(profile);
    return 1;
  }

  int result = 1;
  int e = WYTE_AuthenticateUserOperation(profile, kInstallOperation, &result);
  if (e != kWyteOk) {
    LogW(3, L"%s: WYTE_AuthenticateUserOperation failed: %X", L"ParentalModeChecker::VerifyParentThroughAPI", e);
  }
  if (result != 0) WYTE_SwitchToProfile(profile, 0);
  WYTE_UnAuthenticateUserOperation(profile);
  LogW(4, L"%s: Authenticate user operation: %d", L"ParentalModeChecker::VerifyParentThroughAPI", result);
  return result;
}
