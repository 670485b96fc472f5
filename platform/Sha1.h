// SHA-1 (FIPS 180) of byte buffers: the fingerprint of the licence text that
// the user accepted. A small streaming context and a one-call hex helper.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

struct Sha1Context {
  DWORD state[5];
  BYTE buffer[64];
  DWORD countLow;   // bytes hashed, low 32 bits
  DWORD countHigh;  // bytes hashed, high 32 bits
};

// Standard initial chaining values, empty buffer, count 0.
void Sha1Init(Sha1Context& context);

// Feeds length bytes; false for a null data pointer (length 0 is fine).
bool Sha1Update(Sha1Context& context, const BYTE* data, size_t length);

// Pads, appends the bit length and writes the 20-byte digest; false for a
// null output. The context must be initialised again before reuse.
bool Sha1Final(Sha1Context& context, BYTE* digest);

// The digest as 40 lower-case hexadecimal characters. Deliberately empty for
// a null pointer or a length of 0: "nothing was shown" has no fingerprint.
std::wstring Sha1Hex(const BYTE* data, size_t length);
