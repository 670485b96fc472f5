// SHA-1 after FIPS 180-4, processed one 64-byte block at a time.
#include "platform/Sha1.h"

#include <cstring>

namespace {

inline DWORD Rotl(DWORD value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

void ProcessBlock(DWORD state[5], const BYTE block[64]) {
  DWORD w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = (static_cast<DWORD>(block[4 * i]) << 24) | (static_cast<DWORD>(block[4 * i + 1]) << 16) |
           (static_cast<DWORD>(block[4 * i + 2]) << 8) | static_cast<DWORD>(block[4 * i + 3]);
  }
  for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  DWORD a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    DWORD f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    DWORD t = Rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

void Sha1Init(Sha1Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xEFCDAB89;
  context.state[2] = 0x98BADCFE;
  context.state[3] = 0x10325476;
  context.state[4] = 0xC3D2E1F0;
  memset(context.buffer, 0, sizeof(context.buffer));
  context.countLow = 0;
  context.countHigh = 0;
}

bool Sha1Update(Sha1Context& context, const BYTE* data, size_t length) {
  if (data == nullptr) return false;
  while (length > 0) {
    size_t used = context.countLow & 63;
    size_t take = 64 - used;
    if (take > length) take = length;
    memcpy(context.buffer + used, data, take);
    data += take;
    length -= take;
    DWORD before = context.countLow;
    context.countLow += static_cast<DWORD>(take);
    if (context.countLow < before) ++context.countHigh;
    if (used + take == 64) ProcessBlock(context.state, context.buffer);
  }
  return true;
}

bool Sha1Final(Sha1Context& context, BYTE* digest) {
  if (digest == nullptr) return false;
  // Bit length = byte count * 8, as a 64-bit big-endian number.
  DWORD bitsHigh = (context.countHigh << 3) | (context.countLow >> 29);
  DWORD bitsLow = context.countLow << 3;
  BYTE lengthBytes[8];
  for (int i = 0; i < 4; ++i) {
    lengthBytes[i] = static_cast<BYTE>(bitsHigh >> (24 - 8 * i));
    lengthBytes[4 + i] = static_cast<BYTE>(bitsLow >> (24 - 8 * i));
  }
  static const BYTE padding[64] = {0x80};
  size_t used = context.countLow & 63;
  size_t padLength = used < 56 ? 56 - used : 120 - used;
  Sha1Update(context, padding, padLength);
  Sha1Update(context, lengthBytes, 8);
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<BYTE>(context.state[i] >> (24 - 8 * j));
  }
  return true;
}

std::wstring Sha1Hex(const BYTE* data, size_t length) {
  if (data == nullptr || length == 0) return std::wstring();
  Sha1Context context;
  Sha1Init(context);
  Sha1Update(context, data, length);
  BYTE digest[20];
  Sha1Final(context, digest);
  std::wstring hex;
  hex.reserve(40);
  static const wchar_t digits[] = L"0123456789abcdef";
  for (BYTE b : digest) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}
