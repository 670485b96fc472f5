// Signer check on real signed packages and programs made by a test PKI
// (testsupport/packages): only the maker's exact name is accepted, and the
// error texts tell unsigned files from other signers.
#include <gtest/gtest.h>
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <string>
#include <vector>

#include "platform/FileSignature.h"
#include "testsupport/TestEnv.h"
#include "testsupport/packages/TestPackages.h"

using namespace larktest;

namespace {

struct SignerCase {
  const wchar_t* file;
  bool accepted;
  const wchar_t* errorText;  // expected text when refused
};

std::wstring ErrorFor(const std::wstring& path, bool& accepted) {
  wchar_t errorText[kSignerErrorTextSize];
  ZeroMemory(errorText, sizeof(errorText));
  accepted = VerifyFileSigner(path.c_str(), errorText);
  return errorText;
}

}  // namespace

TEST(FileSignature, AcceptsOnlyTheMakersExactName) {
  const SignerCase cases[] = {
      {L"good.msi", true, L""},
      {L"signed_kharbor.exe", true, L""},
      {L"othersigner.msi", false, L"K-Harbor not found"},
      {L"signed_other.exe", false, L"K-Harbor not found"},
      {L"signed_suffix.exe", false, L"K-Harbor not found"},
      {L"signed_case.exe", false, L"K-Harbor not found"},
      // TRUST_E_NOSIGNATURE, printed signed.
      {L"unsigned.msi", false, L"file is NOT signed (-2146762496)"},
  };
  for (const SignerCase& c : cases) {
    bool accepted = false;
    std::wstring error = ErrorFor(TestPackagePath(c.file), accepted);
    EXPECT_EQ(accepted, c.accepted) << Narrow(c.file);
    EXPECT_EQ(error, c.errorText) << Narrow(c.file);
    EXPECT_EQ(VerifyEmbeddedSignature(TestPackagePath(c.file)), c.accepted) << Narrow(c.file);
  }
}

// The maker's own name under a root that the machine does not trust:
// CERT_E_UNTRUSTEDROOT from the chain check, printed signed. The package and
// the program carry their whole chain, as every test signature does.
TEST(FileSignature, MakersNameUnderAnUntrustedRootIsRefused) {
  for (const wchar_t* file : {L"untrusted.msi", L"signed_untrusted.exe"}) {
    bool accepted = true;
    EXPECT_EQ(ErrorFor(TestPackagePath(file), accepted), L"file is NOT signed (-2146762487)") << Narrow(file);
    EXPECT_FALSE(accepted) << Narrow(file);
    EXPECT_FALSE(VerifyEmbeddedSignature(TestPackagePath(file))) << Narrow(file);
  }
}

// The accepted fixtures are verified the way Windows verifies them: the
// signer's chain is built up to the root that the prefix trusts, not left
// at a leaf whose issuer cannot be found.
TEST(FileSignature, AcceptedSignaturesChainUpToTheTrustedTestRoot) {
  using ProvDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
  ProvDataFn provData = reinterpret_cast<ProvDataFn>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"wintrust.dll"), "WTHelperProvDataFromStateData")));
  ASSERT_NE(provData, nullptr);
  for (const wchar_t* file : {L"good.msi", L"signed_kharbor.exe"}) {
    const std::wstring path = TestPackagePath(file);
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_CHAIN_VERIFY;
    EXPECT_EQ(WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data), 0) << Narrow(file);
    CRYPT_PROVIDER_DATA* provider = provData(data.hWVTStateData);
    ASSERT_NE(provider, nullptr);
    ASSERT_EQ(provider->csSigners, 1u);
    const CRYPT_PROVIDER_SGNR& signer = provider->pasSigners[0];
    ASSERT_EQ(signer.csCertChain, 2u) << Narrow(file);
    wchar_t root[128] = {0};
    CertGetNameStringW(signer.pasCertChain[1].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, root, 128);
    EXPECT_STREQ(root, L"Lark Test Root CA");
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  }
}

TEST(FileSignature, UnsignedProgramAndMissingFileAreRefused) {
  bool accepted = true;
  EXPECT_EQ(ErrorFor(BuiltExe(L"lark_msi_recorder"), accepted), L"file is NOT signed (-2146762496)");
  EXPECT_FALSE(accepted);
  ScratchDir dir(L"signature-missing");
  std::wstring error = ErrorFor(dir.file(L"absent.msi"), accepted);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(error.compare(0, 20, L"file is NOT signed ("), 0) << Narrow(error);
}

TEST(FileSignature, ProgramChangedAfterSigningIsRefused) {
  ScratchDir dir(L"signature-changed");
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(TestPackagePath(L"signed_kharbor.exe"), bytes));
  ASSERT_GT(bytes.size(), 4096u);
  bytes[2048] ^= 0x5A;  // inside the code, covered by the signed digest
  ASSERT_TRUE(WriteFileBytes(dir.file(L"changed.exe"), bytes));
  bool accepted = true;
  std::wstring error = ErrorFor(dir.file(L"changed.exe"), accepted);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(error.compare(0, 20, L"file is NOT signed ("), 0) << Narrow(error);
}

TEST(FileSignature, CollectsOneRecordPerSignerWithNamesAndKeyHash) {
  FileSignatureCheck check;
  bool verified = false;
  std::vector<SignerCertificateInfo> signers;
  EXPECT_TRUE(check.CollectSignerCertificates(TestPackagePath(L"good.msi"), verified, signers));
  EXPECT_TRUE(verified);
  ASSERT_EQ(signers.size(), 1u);
  EXPECT_EQ(signers[0].subject, L"K-Harbor Corporation");
  EXPECT_EQ(signers[0].issuer, L"Lark Test Root CA");
  EXPECT_EQ(signers[0].publicKeyHash.size(), 20u);
  EXPECT_EQ(check.GetLastResult(), 0);

  // The same leaf key signed the program; another company's key differs.
  FileSignatureCheck sameKey, otherKey;
  std::vector<SignerCertificateInfo> same, other;
  sameKey.CollectSignerCertificates(TestPackagePath(L"signed_kharbor.exe"), verified, same);
  otherKey.CollectSignerCertificates(TestPackagePath(L"othersigner.msi"), verified, other);
  ASSERT_EQ(same.size(), 1u);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(same[0].publicKeyHash, signers[0].publicKeyHash);
  EXPECT_NE(other[0].publicKeyHash, signers[0].publicKeyHash);
  EXPECT_EQ(other[0].subject, L"Other Company Ltd");
}

TEST(FileSignature, UnsignedFileGivesNoRecordAndNotVerified) {
  FileSignatureCheck check;
  bool verified = true;
  std::vector<SignerCertificateInfo> signers;
  EXPECT_FALSE(check.CollectSignerCertificates(TestPackagePath(L"unsigned.msi"), verified, signers));
  EXPECT_FALSE(verified);
  EXPECT_TRUE(signers.empty());
  EXPECT_FALSE(check.IsProviderUnknown());
  EXPECT_NE(check.GetLastResult(), 0);
}
