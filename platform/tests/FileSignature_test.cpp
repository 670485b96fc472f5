// Signer check on real signed packages and programs made by a test PKI
// (testsupport/packages): only the maker's exact name is accepted, and the
// error texts tell unsigned files from other signers.
#include <gtest/gtest.h>
#include <windows.h>

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
