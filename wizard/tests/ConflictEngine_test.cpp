// The conflicting-product page inside the engine's loop: the engine shows
// it while another operator's agent is installed, shows it again after Try
// again, and goes on as soon as that agent's keys are gone. The agent's key
// is machine-wide, so the test runs alone.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "installer/StubProgram.h"
#include "platform/RegKey.h"
#include "settings/LarkProperties.h"
#include "wizard/ConflictDialog.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";

void DeleteAgentKey() {
  CRegKey root;
  root.Attach(HKEY_LOCAL_MACHINE);
  root.DeleteTree(kAgentKey);
  root.Detach();
}

// Acts on every page that the calling thread shows, one after another:
// action(page, n) for the n-th page (from 0). Joins in its destructor.
class PagesDriver {
 public:
  explicit PagesDriver(std::function<void(HWND, int)> action) {
    const DWORD thread = GetCurrentThreadId();
    m_thread = std::thread([this, thread, action] {
      HWND last = nullptr;
      for (int i = 0; i < 1000 && !m_stop; ++i) {
        HWND page = wizardtest::VisibleDialog(thread);
        if (page && page != last) {
          Sleep(100);
          action(page, m_pages++);
          last = page;
        }
        Sleep(10);
      }
    });
  }
  ~PagesDriver() {
    m_stop = true;
    m_thread.join();
  }
  int Pages() const { return m_pages; }

 private:
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_pages{0};
};

class ConflictEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CRegKey probe;
    if (probe.OpenKey(HKEY_LOCAL_MACHINE, kAgentKey, KEY_READ) == ERROR_SUCCESS) {
      GTEST_SKIP() << "an agent is installed in this prefix";
    }
    PrepareWizard();
    LarkProperties::Instance()->SetLanguage(L"en");
    LarkProperties::Instance()->StoreProperty(L"PartnerID", L"4711", LarkProperties::CustomizedSettings);
    CRegKey key;
    ASSERT_EQ(0, key.CreateSubKey(HKEY_LOCAL_MACHINE, kAgentKey, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr));
    ASSERT_EQ(0, key.WriteString(L"21.3.4", L"Version"));
    ASSERT_EQ(0, key.WriteString(L"5150", L"PartnerID"));
    ASSERT_EQ(0, key.WriteString(L"Northwind Internet Security", L"ProductName"));
  }
  void TearDown() override {
    DeleteAgentKey();
    LarkProperties::Instance()->StoreProperty(L"PartnerID", L"", LarkProperties::CustomizedSettings);
  }
};

// Try again while the other agent is still there shows the page again;
// Try again after its keys are removed lets the engine go on.
TEST_F(ConflictEngineTest, TryAgainAfterTheOtherAgentIsRemovedGoesOn) {
  StubProgram program(GetModuleHandleW(nullptr));
  std::wstring product;
  bool mayContinue;
  int pages;
  {
    PagesDriver driver([&](HWND page, int n) {
      if (n == 0) product = ItemText(page, ConflictDialog::kSoftwareNameId);
      if (n == 1) DeleteAgentKey();
      Click(page, ConflictDialog::kTryAgainId);
    });
    mayContinue = program.HandleConflictingOperator();
    Sleep(300);
    pages = driver.Pages();
  }
  EXPECT_TRUE(mayContinue);
  EXPECT_EQ(2, pages);
  EXPECT_EQ(L"Northwind Internet Security", product);
}

TEST_F(ConflictEngineTest, CloseWhileTheOtherAgentIsThereStops) {
  StubProgram program(GetModuleHandleW(nullptr));
  bool mayContinue;
  int pages;
  {
    PagesDriver driver([](HWND page, int) { Click(page, IDCANCEL); });
    mayContinue = program.HandleConflictingOperator();
    Sleep(300);
    pages = driver.Pages();
  }
  EXPECT_FALSE(mayContinue);
  EXPECT_EQ(1, pages);
}

}  // namespace
