#include "wizard/tests/InstallPageTestSupport.h"

#include <atomic>
#include <thread>

#include "settings/LarkProperties.h"
#include "testsupport/httpserver/TestHttpServer.h"
#include "wizard/tests/WizardTestSupport.h"

namespace wizardtest {

namespace {
const DWORD kWaitMs = 60000;

// The installation page (message false) or a message page of the thread.
HWND FindOnThread(DWORD threadId, bool message, HWND exclude) {
  return VisibleDialog(threadId, [&](HWND window) {
    if (window == exclude) return false;
    return message ? GetDlgItem(window, MessageDialog::kTextId) != nullptr
                   : GetDlgItem(window, InstallDialog::kPercentId) != nullptr;
  });
}
}  // namespace

void PrepareInstallPage(const std::wstring& tempDirectory) {
  PrepareWizard();
  LarkProperties* store = LarkProperties::Instance();
  store->SetLanguage(L"en");
  store->SetTempDirectory(tempDirectory);
  store->SetLogDirectory(tempDirectory);
  store->SetInstallerPath(L"");
  store->SetLateboundCustomizationPath(L"");
  store->SetLateboundLocalizationPath(L"");
  store->SetLateboundHelpPath(L"");
  store->SetLateboundSettingsPath(L"");
  ServePackagesAs(L"http://127.0.0.1:1/unused-");
}

void ServePackagesAs(const std::wstring& prefix) {
  LarkProperties* store = LarkProperties::Instance();
  const int t = LarkProperties::CustomizedSettings;
  store->StoreProperty(L"LarkInstallerDownloadURL", prefix + L"installer.msi", t);
  store->StoreProperty(L"BCXBasicSettingsUrl", prefix + L"settings.zip", t);
  std::vector<std::wstring> languages = store->GetSelectableLanguages();
  languages.push_back(L"en");
  for (const std::wstring& language : languages) {
    store->StoreProperty(language + L":EULTUrl", prefix + L"eula.txt", t);
    store->StoreProperty(language + L":BCXBasicCustomizationUrl", prefix + L"langcust.zip", t);
    store->StoreProperty(language + L":BCXBasicLocalizationUrl", prefix + L"localization.zip", t);
    store->StoreProperty(language + L":BCXBasicHelpUrl", prefix + L"help.zip", t);
  }
}

TestInstallDialog::TestInstallDialog(const PageOptions& o)
    : InstallDialog(nullptr, o.local, L"en", o.target, L"", L"", false, o.operatorOnly, o.allowed),
      m_startWorker(o.worker) {}

PageRun::PageRun(const PageOptions& options) : page(&m_page), m_page(options) {
  if (!options.package.empty()) LarkProperties::Instance()->SetInstallerPath(options.package);
}

PageRun::~PageRun() {}

void PageRun::OnPage(std::function<void(PageRun&, HWND)> action) {
  m_threadId = GetCurrentThreadId();
  std::atomic<bool> ended{false};
  // Samples what the worker shows: ranges and header texts.
  std::thread sampler([&] {
    while (!ended) {
      int minimum = 0, maximum = 0;
      m_page.GetProgress().GetRange(minimum, maximum);
      HWND w = window;
      std::wstring header = w ? ItemText(w, InstallDialog::kTextId) : L"";
      {
        std::lock_guard<std::mutex> hold(m_lock);
        if (w && (minimum || maximum) && (m_ranges.empty() || m_ranges.back() != std::make_pair(minimum, maximum)))
          m_ranges.push_back(std::make_pair(minimum, maximum));
        if (w && !header.empty() && (m_headers.empty() || m_headers.back() != header)) m_headers.push_back(header);
      }
      Sleep(2);
    }
  });
  std::thread driver([&] {
    for (DWORD waited = 0; waited < kWaitMs && !window; waited += 10) {
      window = FindOnThread(m_threadId, false, nullptr);
      if (!window) Sleep(10);
    }
    if (!window) return;
    Sleep(100);
    action(*this, window);
    // Close what nobody answered, so that a wrong outcome fails instead of
    // hanging.
    for (DWORD waited = 0; !ended && waited < kWaitMs * 2; waited += 20) {
      HWND message = FindMessage(m_lastAnswered);
      if (message) {
        ++m_unanswered;
        Record(message);
        m_lastAnswered = message;
        Click(message, IsWindowVisible(GetDlgItem(message, IDOK)) ? IDOK : IDNO);
      }
      Sleep(20);
    }
  });
  m_result = m_page.DoModal();
  ended = true;
  driver.join();
  sampler.join();
}

HWND PageRun::FindMessage(HWND exclude) const {
  HWND found = FindOnThread(m_threadId, true, exclude);
  if (found && exclude && IsWindow(exclude)) return nullptr;  // the last one is still closing
  return found;
}

void PageRun::Record(HWND message) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_messages.push_back(ItemText(message, MessageDialog::kTextId));
  m_captions.push_back(WindowText(message));
  const int button = IsWindowVisible(GetDlgItem(message, IDOK)) ? IDOK : IDYES;
  m_buttons.push_back(ItemText(message, button));
}

HWND PageRun::WaitForMessage() {
  for (DWORD waited = 0; waited < kWaitMs; waited += 10) {
    if (HWND message = FindMessage(m_lastAnswered)) {
      Sleep(50);
      return message;
    }
    Sleep(10);
  }
  return nullptr;
}

bool PageRun::Answer(int button) {
  HWND message = WaitForMessage();
  if (!message) return false;
  Record(message);
  m_lastAnswered = message;
  Click(message, button);
  return true;
}

bool PageRun::WaitForHeader(const std::wstring& text, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 5) {
    if (window && ItemText(window, InstallDialog::kTextId) == text) return true;
    Sleep(5);
  }
  return false;
}

std::vector<std::wstring> PageRun::Messages() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_messages;
}
std::vector<std::wstring> PageRun::MessageCaptions() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_captions;
}
std::vector<std::wstring> PageRun::MessageButtons() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_buttons;
}
std::vector<std::pair<int, int>> PageRun::Ranges() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_ranges;
}
std::vector<std::wstring> PageRun::Headers() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_headers;
}

}  // namespace wizardtest
