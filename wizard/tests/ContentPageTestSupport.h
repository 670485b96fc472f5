// Helpers for the tests of the licence and privacy pages: the store set up
// for a page run against the loopback HTTP server, reading the rich edit
// control back, waiting for conditions and for the question that a page
// opens over itself, and an independent SHA-1 (the platform's CryptoAPI)
// to compare the licence hash with.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace contenttest {

// UTF-16 text of a rich edit control (any thread), paragraph ends as "\r".
std::wstring RichEditText(HWND control);

// Polls condition every 20 ms for up to timeoutMs; its last value.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

// The visible dialog of page's thread other than page (the question the
// page asks), or null after timeoutMs.
HWND WaitForQuestion(HWND page, int timeoutMs);

// SHA-1 of bytes by CryptoAPI, 40 lower-case hexadecimal characters.
std::wstring CryptoApiSha1(const std::string& bytes);

// Answers the page's "cancel the installation?" question.
void AnswerQuestion(HWND page, int button);

bool Enabled(HWND dialog, int id);

// A pseudo-licence document: UTF-8 with its mark, a few lines that mention
// tag, and the text the control shows for it.
struct Document {
  std::string bytes;
  std::wstring shown;
};
Document MakeDocument(const std::wstring& tag);

}  // namespace contenttest
