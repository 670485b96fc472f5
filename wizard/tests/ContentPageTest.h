// The fixture that the licence and privacy page tests share: a private
// download folder, English texts, documents served by the loopback HTTP
// server, and pages with a probe that samples their state on their own
// thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"
#include "wizard/tests/ContentPageTestSupport.h"
#include "wizard/tests/WizardTestSupport.h"

namespace contenttest {

// What a page looked like when the probe ran on its thread.
struct Sample {
  bool spinning = false;
  bool workerRunning = false;
  bool active = false;
  int focusId = -1;
};

// A page whose state the driver thread can sample with Probe(dialog).
template <class Page>
class Probed : public Page {
 public:
  static const UINT_PTR kProbeTimer = 0x7F02;
  template <class... Args>
  explicit Probed(Args... args) : Page(args...) {}

  INT_PTR OnTimer(WPARAM id) override {
    if (id != kProbeTimer) return Page::OnTimer(id);
    m_sample.spinning = this->IsSpinnerRunning();
    m_sample.workerRunning = this->IsWorkerRunning();
    m_sample.active = GetActiveWindow() == this->m_window;
    HWND focus = GetFocus();
    m_sample.focusId = focus ? GetDlgCtrlID(focus) : 0;
    return 0;
  }
  Sample Probe(HWND dialog) {
    SendMessageW(dialog, WM_TIMER, kProbeTimer, 0);
    return m_sample;
  }

 private:
  Sample m_sample;
};

class ContentPageTest : public ::testing::Test {
 protected:
  ContentPageTest() : m_scratch(L"content-page") {}

  void SetUp() override {
    wizardtest::PrepareWizard();
    m_store = LarkProperties::Instance();
    m_store->SetLanguage(L"en");
    m_store->SetLocalSources(false);
    m_store->SetTempDirectory(m_scratch.path());
    // Most tests give the document address directly; the stub
    // configuration tests clear this again.
    m_store->SetStubConfigurationApplied(true);
    ASSERT_GT(larktest::TestHttpServer::Port(), 0) << "the loopback HTTP server is not running";
  }
  void TearDown() override {
    m_store->SetLocalSources(false);
    m_store->SetEulaDirectory(L"");
    m_store->SetPrivacyDirectory(L"");
    m_store->SetStubConfigurationApplied(true);
  }

  // A new file name on the server for this test.
  std::wstring Name(const wchar_t* prefix) { return larktest::UniqueName(prefix) + L".txt"; }

  // Serves a document under a new name and points the setting at it.
  Document Serve(const wchar_t* settingKey, std::wstring* name = nullptr) {
    const std::wstring file = Name(L"doc");
    Document document = MakeDocument(file);
    EXPECT_TRUE(larktest::TestHttpServer::PutFile(file, document.bytes));
    m_store->StoreProperty(std::wstring(L"en:") + settingKey, larktest::TestHttpServer::Url(file),
                           LarkProperties::CustomizedSettings);
    if (name) *name = file;
    return document;
  }

  // GET requests for the file (the download library may also ask HEAD).
  size_t Requests(const std::wstring& name) {
    size_t gets = 0;
    for (const larktest::HttpLogEntry& entry : larktest::TestHttpServer::Log(name)) gets += entry.method == "GET";
    return gets;
  }

  // Runs the page; action runs on a second thread once the page is up and
  // must end it.
  template <class Page>
  int Run(Page& page, const std::function<void(HWND)>& action) {
    wizardtest::DialogDriver driver(action);
    return page.DoModal();
  }

  larktest::ScratchDir m_scratch;
  LarkProperties* m_store = nullptr;
};

}  // namespace contenttest
