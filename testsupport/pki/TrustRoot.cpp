// lark_trust_root CERT.pem: adds a root certificate to the machine's Root
// store of the prefix it runs in, the way a real machine trusts the maker's
// root, so that signatures carrying their chain up to it verify. Exit code 0
// when the certificate is in the store afterwards.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: lark_trust_root CERT.pem\n");
    return 2;
  }
  std::string pem;
  if (FILE* in = _wfopen(argv[1], L"rb")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), in)) > 0) pem.append(buffer, got);
    std::fclose(in);
  }
  if (pem.empty()) {
    std::fwprintf(stderr, L"lark_trust_root: cannot read %ls\n", argv[1]);
    return 1;
  }
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                            &size, nullptr, nullptr)) {
    std::fwprintf(stderr, L"lark_trust_root: %ls holds no PEM certificate\n", argv[1]);
    return 1;
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                       nullptr, nullptr);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (store == nullptr) {
    std::fwprintf(stderr, L"lark_trust_root: cannot open the machine Root store (%lu)\n", GetLastError());
    return 1;
  }
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = GetLastError();
  CertCloseStore(store, 0);
  if (!added) {
    std::fwprintf(stderr, L"lark_trust_root: cannot add the certificate (%lu)\n", error);
    return 1;
  }
  return 0;
}
