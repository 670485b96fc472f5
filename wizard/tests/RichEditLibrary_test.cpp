// The licence and privacy pages load the rich edit library from the system
// folder by full path and never by its bare name: without a readable
// system folder nothing is loaded and the page cannot be created (DoModal
// -1), whatever riched20.dll a search would have found.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/SystemFolder.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "wizard/EultDialog.h"
#include "wizard/tests/WizardTestSupport.h"

using namespace wizardtest;

namespace {

UINT WINAPI UnreadableSystemDirectory(LPWSTR, UINT) {
  SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}

std::wstring LoadedRichEdit() {
  HMODULE module = GetModuleHandleW(L"riched20.dll");
  if (!module) return L"";
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

// Runs the page; should it come up after all, Back ends it.
template <class Page>
int RunOrClose(Page& page) {
  std::atomic<bool> done(false);
  const DWORD thread = GetCurrentThreadId();
  std::thread closer([&] {
    while (!done) {
      if (HWND d = VisibleDialog(thread)) {
        Sleep(100);
        PostMessageW(d, WM_COMMAND, MAKEWPARAM(RichEditDialogBase::kBackId, BN_CLICKED), 0);
        return;
      }
      Sleep(10);
    }
  });
  const int result = static_cast<int>(page.DoModal());
  done = true;
  closer.join();
  return result;
}

class RichEditLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareWizard();
    LarkProperties* store = LarkProperties::Instance();
    store->SetLanguage(L"en");
    // Nothing to fetch: the page shows an empty local document.
    store->SetLocalSources(true);
    store->SetEulaDirectory(m_scratch.path());
    store->SetPrivacyDirectory(m_scratch.path());
  }
  void TearDown() override { SetSystemDirectorySourceForTests(nullptr); }

  larktest::ScratchDir m_scratch{L"rich-edit-library"};
};

// Defined first, so run first: the other case loads the library.
TEST_F(RichEditLibraryTest, WithoutTheSystemFolderNothingIsLoadedAndThePageFails) {
  ASSERT_EQ(L"", LoadedRichEdit()) << "riched20.dll was loaded before the test";
  SetSystemDirectorySourceForTests(&UnreadableSystemDirectory);
  for (bool privacy : {false, true}) {
    SCOPED_TRACE(privacy ? "privacy page" : "licence page");
    std::wstring loadedDuring = L"unread";
    int result = 0;
    if (privacy) {
      PrivacyPolicyDialog page;
      loadedDuring = LoadedRichEdit();
      result = RunOrClose(page);
    } else {
      EultDialog page(true);
      loadedDuring = LoadedRichEdit();
      result = RunOrClose(page);
    }
    EXPECT_EQ(L"", loadedDuring) << "loaded by its bare name: " << larktest::Narrow(loadedDuring);
    EXPECT_EQ(-1, result);
  }
}

TEST_F(RichEditLibraryTest, LoadsTheSystemFoldersLibrary) {
  const std::wstring expected = SystemFilePath(L"riched20.dll");
  ASSERT_FALSE(expected.empty());
  EultDialog page(true);
  const std::wstring loaded = LoadedRichEdit();
  EXPECT_EQ(0, _wcsicmp(expected.c_str(), loaded.c_str())) << larktest::Narrow(loaded);
  EXPECT_EQ(EultDialog::kResultBack, RunOrClose(page));
}

}  // namespace
