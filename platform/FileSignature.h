// Authenticode check of a file's signer: the trust provider verifies the
// signature, and the file is accepted only when one of its signers is the
// maker. Works offline (no revocation lists, cached URL retrieval only).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SignerCertificateInfo {
  std::wstring subject;  // simple display name of the signing certificate
  std::wstring issuer;   // simple display name of its issuer
  std::vector<BYTE> publicKeyHash;  // SHA-1 of the encoded subject public key info
};

class FileSignatureCheck {
 public:
  FileSignatureCheck();

  // Verifies the file and appends one record per signer, in the trust
  // provider's order. verified tells whether the signature verified; the
  // result is true when the last signer's record was appended.
  bool CollectSignerCertificates(const std::wstring& path, bool& verified,
                                 std::vector<SignerCertificateInfo>& signers);

  bool IsProviderUnknown() const { return m_providerUnknown; }
  long GetLastResult() const { return m_lastResult; }

 private:
  typedef void* (WINAPI* ProvDataFromStateDataFn)(HANDLE);

  ProvDataFromStateDataFn m_provDataFromStateData;
  bool m_providerUnknown;
  long m_lastResult;
};

// Size of the error buffer that VerifyFileSigner writes.
const size_t kSignerErrorTextSize = 256;

// True when the signature verifies and a signer's subject is exactly the
// maker's name. Otherwise errorText (kSignerErrorTextSize characters)
// receives the reason.
bool VerifyFileSigner(const wchar_t* path, wchar_t* errorText);

// VerifyFileSigner with log lines for the outcome.
bool VerifyEmbeddedSignature(const std::wstring& path);
