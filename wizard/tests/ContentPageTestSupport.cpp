#include "wizard/tests/ContentPageTestSupport.h"

#include <richedit.h>
#include <wincrypt.h>

#include <cwchar>

#include "testsupport/TestEnv.h"
#include "wizard/tests/WizardTestSupport.h"

namespace contenttest {

std::wstring RichEditText(HWND control) {
  GETTEXTLENGTHEX measure = {GTL_NUMCHARS | GTL_PRECISE, 1200};
  const LRESULT length = SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&measure), 0);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 16, L'\0');
  GETTEXTEX request = {};
  request.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  request.flags = GT_DEFAULT;
  request.codepage = 1200;  // UTF-16, whatever the control's own kind
  const LRESULT n = SendMessageW(control, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                                 reinterpret_cast<LPARAM>(&text[0]));
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
  while (!condition()) {
    if (static_cast<LONG>(GetTickCount() - end) >= 0) return condition();
    Sleep(20);
  }
  return true;
}


HWND WaitForQuestion(HWND page, int timeoutMs) {
  const DWORD thread = GetWindowThreadProcessId(page, nullptr);
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = wizardtest::VisibleDialog(thread, [page](HWND window) { return window != page; });
        return found != nullptr;
      },
      timeoutMs);
  if (found) Sleep(100);  // let it finish its start-up messages
  return found;
}

void AnswerQuestion(HWND page, int button) {
  HWND question = WaitForQuestion(page, 5000);
  if (question) PostMessageW(GetDlgItem(question, button), BM_CLICK, 0, 0);
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

std::wstring CryptoApiSha1(const std::string& bytes) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[20] = {};
  DWORD length = sizeof(digest);
  if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return L"";
  if (CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
    CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
    CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0);
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  std::wstring hex;
  wchar_t pair[3];
  for (BYTE b : digest) {
    swprintf(pair, 3, L"%02x", b);
    hex += pair;
  }
  return hex;
}

Document MakeDocument(const std::wstring& tag) {
  const std::wstring shown = L"License terms of " + tag + L"\r\u00a71 Gr\u00fc\u00dfe \u2013 \u4f7f\u7528\u8a31\u8afe\r"
                             L"\u00a72 \u0423\u0441\u043b\u043e\u0432\u0438\u044f.";
  std::wstring source = shown;
  for (size_t at = 0; (at = source.find(L'\r', at)) != std::wstring::npos; at += 2) source.insert(at + 1, L"\n");
  return Document{"\xEF\xBB\xBF" + larktest::Narrow(source), shown};
}

}  // namespace contenttest
