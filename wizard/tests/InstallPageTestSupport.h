// Runs the installation page in the test process and plays its user: a
// driver thread waits for the page, acts on it, answers its message pages
// (recording their texts) and samples the progress ranges the worker sets.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "wizard/InstallDialog.h"

namespace wizardtest {

// Texts, English, and settings every page test needs: the package
// addresses point at nothing until a test sets them; downloads go to
// tempDirectory.
void PrepareInstallPage(const std::wstring& tempDirectory);
// Points the five package addresses at the test server's files
// prefix + "langcust.zip" etc. (and prefix + "installer.msi").
void ServePackagesAs(const std::wstring& prefix);

struct PageOptions {
  bool local = false;
  bool operatorOnly = false;
  bool worker = true;
  std::wstring package;  // the store's installer path (local mode)
  std::wstring target = L"C:\\lark-page-test-target";
  HANDLE allowed = nullptr;
  PageOptions& Local() { local = true; return *this; }
  PageOptions& OperatorOnly() { operatorOnly = true; return *this; }
  PageOptions& NoWorker() { worker = false; return *this; }
  PageOptions& Package(const std::wstring& path) { package = path; return *this; }
  PageOptions& Target(const std::wstring& path) { target = path; return *this; }
  PageOptions& Allowed(HANDLE event) { allowed = event; return *this; }
};

class TestInstallDialog : public InstallDialog {
 public:
  TestInstallDialog(const PageOptions& options);
 protected:
  bool StartWorker() override { return m_startWorker ? InstallDialog::StartWorker() : false; }
 private:
  bool m_startWorker;
};

class PageRun {
 public:
  explicit PageRun(const PageOptions& options);
  ~PageRun();

  // Shows the page modally on this thread; `action` runs on the driver
  // thread once the page is up. Afterwards the driver closes any message
  // page nobody answered (recorded) until the page ends.
  void OnPage(std::function<void(PageRun&, HWND)> action);

  // Waits (up to 60 s) for the next message page and presses `button`.
  bool Answer(int button);
  // Waits (up to 60 s) for a message page to be on screen.
  HWND WaitForMessage();
  // Waits (up to timeoutMs) until the page's text line reads `text`.
  bool WaitForHeader(const std::wstring& text, DWORD timeoutMs = 30000);

  int Result() const { return m_result; }
  std::vector<std::wstring> Messages() const;
  std::vector<std::wstring> MessageCaptions() const;
  std::vector<std::wstring> MessageButtons() const;  // the Yes (or OK) label
  // Distinct progress ranges in the order they were seen.
  std::vector<std::pair<int, int>> Ranges() const;
  // Header texts (control 1004) in the order they were seen.
  std::vector<std::wstring> Headers() const;
  int Unanswered() const { return m_unanswered; }

  TestInstallDialog* page;
  HWND window = nullptr;
  int state = -1;

 private:
  HWND FindMessage(HWND exclude) const;
  void Record(HWND message);

  TestInstallDialog m_page;
  DWORD m_threadId = 0;
  int m_result = -100;
  int m_unanswered = 0;
  HWND m_lastAnswered = nullptr;
  mutable std::mutex m_lock;
  std::vector<std::wstring> m_messages, m_captions, m_buttons, m_headers;
  std::vector<std::pair<int, int>> m_ranges;
};

}  // namespace wizardtest
