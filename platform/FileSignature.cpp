// Signer check through WinVerifyTrust's generic chain verification and the
// provider data that it leaves in its state.
#include "platform/FileSignature.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstddef>
#include <cwchar>

#include "logging/Log.h"
#include "platform/SystemLibrary.h"

namespace {

const wchar_t kMakerSubject[] = L"K-Harbor Corporation";

std::wstring CertificateName(PCCERT_CONTEXT certificate, DWORD flags) {
  wchar_t name[256] = {0};
  CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, name, 256);
  name[255] = L'\0';
  return name;
}

}  // namespace

FileSignatureCheck::FileSignatureCheck()
    : m_provDataFromStateData(nullptr), m_providerUnknown(false), m_lastResult(0) {}

bool FileSignatureCheck::CollectSignerCertificates(const std::wstring& path, bool& verified,
                                                   std::vector<SignerCertificateInfo>& signers) {
  // Bound at run time from the system's trust library; older systems do not
  // export it from every version of the import library.
  HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
  m_provDataFromStateData =
      wintrust ? reinterpret_cast<ProvDataFromStateDataFn>(
                     reinterpret_cast<void*>(GetProcAddress(wintrust, "WTHelperProvDataFromStateData")))
               : nullptr;

  WINTRUST_FILE_INFO fileInfo;
  ZeroMemory(&fileInfo, sizeof(fileInfo));
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path.c_str();

  WINTRUST_DATA data;
  ZeroMemory(&data, sizeof(data));
  // The classic layout, without the later signature-settings members.
  data.cbStruct = static_cast<DWORD>(offsetof(WINTRUST_DATA, dwUIContext) + sizeof(data.dwUIContext));
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUIContext = WTD_UICONTEXT_EXECUTE;

  GUID action = WINTRUST_ACTION_GENERIC_CHAIN_VERIFY;
  m_lastResult = WinVerifyTrustEx(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

  bool lastAppended = false;
  verified = false;
  if (m_lastResult == static_cast<long>(TRUST_E_PROVIDER_UNKNOWN)) {
    m_providerUnknown = true;
  } else if (m_lastResult == 0) {
    CRYPT_PROVIDER_DATA* provider =
        m_provDataFromStateData
            ? static_cast<CRYPT_PROVIDER_DATA*>(m_provDataFromStateData(data.hWVTStateData))
            : nullptr;
    if (provider != nullptr) {
      for (DWORD i = 0; i < provider->csSigners; ++i) {
        const CRYPT_PROVIDER_SGNR& signer = provider->pasSigners[i];
        if (signer.csCertChain == 0 || signer.pasCertChain == nullptr ||
            signer.pasCertChain[0].pCert == nullptr) {
          lastAppended = false;
          continue;
        }
        PCCERT_CONTEXT certificate = signer.pasCertChain[0].pCert;
        SignerCertificateInfo info;
        info.subject = CertificateName(certificate, 0);
        info.issuer = CertificateName(certificate, CERT_NAME_ISSUER_FLAG);
        BYTE hash[20];
        DWORD hashSize = sizeof(hash);
        if (CryptHashPublicKeyInfo(0, CALG_SHA1, 0, certificate->dwCertEncodingType,
                                   &certificate->pCertInfo->SubjectPublicKeyInfo, hash, &hashSize)) {
          info.publicKeyHash.assign(hash, hash + hashSize);
          signers.push_back(info);
          lastAppended = true;
        } else {
          lastAppended = false;
        }
      }
    }
    verified = true;
  }

  if (data.hWVTStateData != nullptr) {
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  }
  return lastAppended;
}

bool VerifyFileSigner(const wchar_t* path, wchar_t* errorText) {
  FileSignatureCheck check;
  bool verified = false;
  std::vector<SignerCertificateInfo> signers;
  check.CollectSignerCertificates(path ? path : L"", verified, signers);
  if (verified) {
    for (const SignerCertificateInfo& signer : signers) {
      if (signer.subject == kMakerSubject) return true;
    }
  }
  if (errorText == nullptr) return false;
  if (verified) {
    _snwprintf(errorText, kSignerErrorTextSize - 1, L"K-Harbor not found");
  } else if (check.IsProviderUnknown()) {
    _snwprintf(errorText, kSignerErrorTextSize - 1, L"signer certificate could not be found (%d)",
               static_cast<int>(check.GetLastResult()));
  } else {
    _snwprintf(errorText, kSignerErrorTextSize - 1, L"file is NOT signed (%d)",
               static_cast<int>(check.GetLastResult()));
  }
  errorText[kSignerErrorTextSize - 1] = L'\0';
  return false;
}

bool VerifyEmbeddedSignature(const std::wstring& path) {
  LogW(5, L"%s: ", L"VerifyEmbeddedSignature");
  wchar_t errorText[kSignerErrorTextSize];
  ZeroMemory(errorText, sizeof(errorText));
  if (VerifyFileSigner(path.c_str(), errorText)) {
    LogW(5, L"%s: File %s is signed by %s", L"VerifyEmbeddedSignature", path.c_str(), kMakerSubject);
    return true;
  }
  LogW(5, L"%s: File %s: %s", L"VerifyEmbeddedSignature", path.c_str(), errorText);
  return false;
}
