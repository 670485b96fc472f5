// SHA-1 against the published FIPS 180 vectors and against CryptoAPI's
// SHA-1 on random buffers around the block and padding boundaries.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <random>
#include <string>
#include <vector>

#include "platform/Sha1.h"

namespace {

std::wstring Hex(const std::string& text) {
  return Sha1Hex(reinterpret_cast<const BYTE*>(text.data()), text.size());
}

std::wstring ToHex(const BYTE* digest, size_t size) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring hex;
  for (size_t i = 0; i < size; ++i) {
    hex += digits[digest[i] >> 4];
    hex += digits[digest[i] & 15];
  }
  return hex;
}

std::wstring CryptoApiSha1(const std::vector<BYTE>& data) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::wstring result;
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return result;
  if (CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
    BYTE digest[20];
    DWORD size = sizeof(digest);
    if (CryptHashData(hash, data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
      result = ToHex(digest, size);
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return result;
}

std::wstring ContextSha1(const std::vector<BYTE>& data, size_t chunk) {
  Sha1Context context;
  Sha1Init(context);
  for (size_t done = 0; done < data.size(); done += chunk) {
    size_t take = data.size() - done < chunk ? data.size() - done : chunk;
    EXPECT_TRUE(Sha1Update(context, data.data() + done, take));
  }
  BYTE digest[20];
  EXPECT_TRUE(Sha1Final(context, digest));
  return ToHex(digest, sizeof(digest));
}

}  // namespace

TEST(Sha1, FipsVectors) {
  EXPECT_EQ(Hex("abc"), L"a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            L"84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Hex(std::string(1000000, 'a')), L"34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, NullOrEmptyInputGivesEmptyText) {
  const BYTE byte = 'a';
  EXPECT_EQ(Sha1Hex(nullptr, 0), L"");
  EXPECT_EQ(Sha1Hex(nullptr, 5), L"");
  EXPECT_EQ(Sha1Hex(&byte, 0), L"");
}

TEST(Sha1, ContextRejectsNullPointersAndHashesTheEmptyMessage) {
  Sha1Context context;
  Sha1Init(context);
  EXPECT_FALSE(Sha1Update(context, nullptr, 3));
  const BYTE byte = 0;
  EXPECT_TRUE(Sha1Update(context, &byte, 0));
  EXPECT_FALSE(Sha1Final(context, nullptr));
  BYTE digest[20];
  ASSERT_TRUE(Sha1Final(context, digest));
  EXPECT_EQ(ToHex(digest, 20), L"da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Sha1, MatchesCryptoApiOnRandomBuffers) {
  std::mt19937 random(20261210);
  const size_t lengths[] = {0, 1, 2, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 4096, 1048576};
  for (size_t length : lengths) {
    std::vector<BYTE> data(length);
    for (BYTE& b : data) b = static_cast<BYTE>(random());
    std::wstring expected = CryptoApiSha1(data);
    ASSERT_EQ(expected.size(), 40u) << "CryptoAPI failed for length " << length;
    if (length > 0) {
      EXPECT_EQ(Sha1Hex(data.data(), data.size()), expected) << "length " << length;
    }
    // Fed in uneven pieces the context must give the same digest.
    EXPECT_EQ(ContextSha1(data, 7), expected) << "length " << length;
    EXPECT_EQ(ContextSha1(data, 64), expected) << "length " << length;
  }
}

TEST(Sha1, DigestIsFortyLowerCaseHexCharacters) {
  std::wstring hex = Hex(std::string("\xff\x00\x7f", 3));
  ASSERT_EQ(hex.size(), 40u);
  for (wchar_t c : hex) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) << c;
}

TEST(Sha1, ByteCountCarriesIntoTheHighWord) {
  Sha1Context context;
  Sha1Init(context);
  context.countLow = 0xFFFFFFC0u;  // a whole number of blocks, buffer empty
  BYTE block[70] = {0};
  ASSERT_TRUE(Sha1Update(context, block, sizeof(block)));
  EXPECT_EQ(context.countHigh, 1u);
  EXPECT_EQ(context.countLow, 6u);
}
