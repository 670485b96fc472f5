// The licence-terms page against the loopback HTTP server: the document
// shown and its hash, the offline text and Retry, the spinner, the local
// folder, every way out (accept, back, the privacy link, decline with and
// without confirmation), the layout and the once-per-process stub
// configuration.
#include "wizard/EultDialog.h"

#include "platform/tests/PlatformLogCapture.h"
#include "wizard/tests/ContentPageTest.h"

using namespace contenttest;
using namespace wizardtest;
using larktest::TestHttpServer;

namespace {

typedef Probed<EultDialog> LicencePage;

bool Loaded(HWND d) { return Enabled(d, EultDialog::kAcceptId); }
bool Offline(HWND d) { return ItemVisible(d, EultDialog::kRetryId); }

class EultDialogTest : public ContentPageTest {};

TEST_F(EultDialogTest, ShowsTheDownloadedTextAndAcceptHashesTheServedFile) {
  std::wstring name;
  const Document document = Serve(L"EULTUrl", &name);
  LicencePage page(true);
  std::wstring text, decline;
  bool loaded = false, retryShown = true;
  Sample sample;
  const int result = Run(page, [&](HWND d) {
    loaded = WaitUntil([&] { return Loaded(d); }, 10000);
    text = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
    decline = ItemText(d, EultDialog::kDeclineId);
    retryShown = ItemVisible(d, EultDialog::kRetryId);
    sample = page.Probe(d);
    Click(d, EultDialog::kAcceptId);
  });
  ASSERT_TRUE(loaded);
  EXPECT_EQ(EultDialog::kResultAccept, result);
  EXPECT_EQ(document.shown, text);
  EXPECT_EQ(L"I &decline", decline);
  EXPECT_FALSE(retryShown);
  if (sample.active) {
    EXPECT_EQ(EultDialog::kDeclineId, sample.focusId);
  }
  const std::wstring hash = page.GetLicenseTermsHash();
  EXPECT_EQ(40u, hash.size());
  EXPECT_EQ(CryptoApiSha1(document.bytes), hash);
  EXPECT_EQ(1u, Requests(name));
}

TEST_F(EultDialogTest, ShowsItsTextsWhileLoading) {
  std::wstring name;
  Serve(L"EULTUrl", &name);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=delay&seconds=2"));
  LicencePage page(true);
  std::wstring caption, title, instructions, accept, decline, back, retry;
  bool acceptEnabled = true, acceptShown = false, backEnabled = false;
  Run(page, [&](HWND d) {
    caption = WindowText(d);
    title = ItemText(d, 1003);
    instructions = ItemText(d, 1004);
    accept = ItemText(d, EultDialog::kAcceptId);
    decline = ItemText(d, EultDialog::kDeclineId);
    back = ItemText(d, EultDialog::kBackId);
    retry = ItemText(d, EultDialog::kRetryId);
    acceptEnabled = Enabled(d, EultDialog::kAcceptId);
    acceptShown = ItemVisible(d, EultDialog::kAcceptId);
    backEnabled = Enabled(d, EultDialog::kBackId);
    Click(d, EultDialog::kBackId);
  });
  EXPECT_EQ(m_store->GetSetting(L"Title"), caption);
  EXPECT_EQ(L"K-Harbor setup", caption);
  EXPECT_EQ(L"License terms", title);
  EXPECT_EQ(m_store->GetLocalizedString(L"EulaInstructions"), instructions);
  EXPECT_EQ(L"I &accept the license terms", accept);
  EXPECT_EQ(L"&Cancel", decline);
  EXPECT_EQ(L"< &Back", back);
  EXPECT_EQ(L"&Retry", retry);
  EXPECT_FALSE(acceptEnabled);
  EXPECT_TRUE(acceptShown);
  EXPECT_TRUE(backEnabled);
}

TEST_F(EultDialogTest, BackIsDisabledWhenTheEngineSaysSo) {
  Serve(L"EULTUrl");
  LicencePage page(false);
  bool backEnabled = true, backShown = false;
  Run(page, [&](HWND d) {
    WaitUntil([&] { return Loaded(d); }, 10000);
    backEnabled = Enabled(d, EultDialog::kBackId);
    backShown = ItemVisible(d, EultDialog::kBackId);
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_FALSE(backEnabled);
  EXPECT_TRUE(backShown);
}

// Each failure shows its own offline text; Retry clears it, fetches again
// and shows the document, and Accept is back where Retry stood: shown,
// enabled, in front, and a person's mouse click on it accepts.
TEST_F(EultDialogTest, FailedDownloadShowsTheOfflineTextAndRetryFetchesAgain) {
  struct Case {
    const char* name;
    const char* fault;  // on the document; null: a port where nobody listens
    const wchar_t* key;
  } cases[] = {
      {"not found", "kind=status&status=404&count=0", L"Error12"},
      {"cut after the first bytes", "kind=cut&after=10&count=0", L"Error13"},
      {"nobody listening", nullptr, L"Error11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring name;
    const Document document = Serve(L"EULTUrl", &name);
    if (c.fault) {
      ASSERT_TRUE(TestHttpServer::AddFault(name, c.fault));
    } else {
      m_store->StoreProperty(L"en:EULTUrl", L"http://127.0.0.1:1/" + name, LarkProperties::CustomizedSettings);
    }
    LicencePage page(true);
    std::wstring offline, retried, clearedText;
    bool offlineShown = false, acceptHidden = false, retryHiddenAgain = false, loaded = false;
    bool acceptedByTheClick = false;
    Seen retrySeen, acceptSeen, retryAfter;
    RECT retryPlace = {}, acceptPlace = {};
    Sample atOffline;
    const int result = Run(page, [&](HWND d) {
      offlineShown = WaitUntil([&] { return Offline(d); }, 20000);
      offline = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
      acceptHidden = !ItemVisible(d, EultDialog::kAcceptId);
      atOffline = page.Probe(d);
      if (c.fault) {
        TestHttpServer::ClearFaults(name);
      } else {
        m_store->StoreProperty(L"en:EULTUrl", TestHttpServer::Url(name), LarkProperties::CustomizedSettings);
      }
      // What a person sees settles within a moment of the page's change.
      auto settled = [](HWND dialog, int id) {
        Seen seen;
        WaitUntil([&] { return (seen = SeenOnScreen(dialog, id)).visible && seen.enabled && seen.inFront; }, 2000);
        return seen;
      };
      retrySeen = settled(d, EultDialog::kRetryId);
      retryPlace = ItemRect(d, EultDialog::kRetryId);
      MouseClick(d, EultDialog::kRetryId);
      retryHiddenAgain = WaitUntil([&] { return !ItemVisible(d, EultDialog::kRetryId); }, 5000);
      loaded = WaitUntil([&] { return Loaded(d); }, 10000);
      retried = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
      acceptSeen = settled(d, EultDialog::kAcceptId);
      acceptPlace = ItemRect(d, EultDialog::kAcceptId);
      retryAfter = SeenOnScreen(d, EultDialog::kRetryId);
      MouseClick(d, EultDialog::kAcceptId);
      acceptedByTheClick = WaitUntil([&] { return !IsWindow(d) || !IsWindowVisible(d); }, 3000);
      // A click that found no Accept leaves the page open: Back ends it.
      if (!acceptedByTheClick) Click(d, EultDialog::kBackId);
    });
    ASSERT_TRUE(offlineShown);
    const std::wstring expected = m_store->GetLocalizedString(c.key);
    const std::wstring lead = expected.substr(0, expected.find(L"%SERVER%"));
    EXPECT_EQ(0u, offline.find(lead)) << larktest::Narrow(offline);
    EXPECT_NE(std::wstring::npos, offline.find(L"127.0.0.1")) << larktest::Narrow(offline);
    EXPECT_EQ(std::wstring::npos, offline.find(L"%SERVER%"));
    EXPECT_TRUE(acceptHidden);
    if (atOffline.active) {
    EXPECT_EQ(EultDialog::kRetryId, atOffline.focusId);
  }
    EXPECT_TRUE(retrySeen.visible && retrySeen.enabled && retrySeen.inFront) << "Retry as a person sees it";
    EXPECT_TRUE(retryHiddenAgain);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(document.shown, retried);
    EXPECT_TRUE(acceptSeen.visible) << "Accept is hidden after Retry";
    EXPECT_TRUE(acceptSeen.enabled);
    EXPECT_TRUE(acceptSeen.inFront) << "another window is at Accept's centre";
    EXPECT_TRUE(EqualRect(&retryPlace, &acceptPlace)) << "Accept is not where Retry stood";
    EXPECT_FALSE(retryAfter.visible);
    EXPECT_TRUE(acceptedByTheClick) << "the click on Accept did not end the page";
    EXPECT_EQ(EultDialog::kResultAccept, result);
    EXPECT_EQ(CryptoApiSha1(document.bytes), page.GetLicenseTermsHash());
  }
}

// While Retry's fetch runs the page looks as during the first fetch: Accept
// stands where Retry stood, shown and disabled, and Retry is gone; when the
// document arrives Accept is enabled.
TEST_F(EultDialogTest, AcceptIsShownDisabledWhileRetryFetches) {
  std::wstring name;
  const Document document = Serve(L"EULTUrl", &name);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=status&status=404&count=0"));
  LicencePage page(true);
  bool offlineShown = false, retryGone = false, loaded = false;
  Sample during;
  bool acceptShown = false, acceptEnabled = true, retryShown = true;
  std::wstring retried;
  const int result = Run(page, [&](HWND d) {
    offlineShown = WaitUntil([&] { return Offline(d); }, 20000);
    TestHttpServer::ClearFaults(name);
    TestHttpServer::AddFault(name, "kind=delay&seconds=2");
    Click(d, EultDialog::kRetryId);
    retryGone = WaitUntil([&] { return !ItemVisible(d, EultDialog::kRetryId); }, 5000);
    // The probe is answered on the page's thread, so Retry's press has been
    // handled in full once it returns; the answer takes 2 s more.
    during = page.Probe(d);
    acceptShown = ItemVisible(d, EultDialog::kAcceptId);
    acceptEnabled = Enabled(d, EultDialog::kAcceptId);
    retryShown = ItemVisible(d, EultDialog::kRetryId);
    loaded = WaitUntil([&] { return Loaded(d); }, 10000);
    retried = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
    if (loaded) {
      Click(d, EultDialog::kAcceptId);
    } else {
      Click(d, EultDialog::kBackId);
    }
  });
  ASSERT_TRUE(offlineShown);
  ASSERT_TRUE(retryGone);
  EXPECT_TRUE(during.workerRunning) << "the fetch had ended before the page was looked at";
  EXPECT_TRUE(acceptShown) << "Accept is hidden while Retry fetches";
  EXPECT_FALSE(acceptEnabled);
  EXPECT_FALSE(retryShown);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(document.shown, retried);
  EXPECT_EQ(EultDialog::kResultAccept, result);
}

TEST_F(EultDialogTest, SpinnerTurnsOnlyForAFetchThatTakesOverASecond) {
  std::wstring name;
  Serve(L"EULTUrl", &name);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=delay&seconds=3"));
  LicencePage slow(true);
  Sample early, late, done;
  Run(slow, [&](HWND d) {
    Sleep(400);
    early = slow.Probe(d);
    Sleep(1100);
    late = slow.Probe(d);
    WaitUntil([&] { return Loaded(d); }, 10000);
    done = slow.Probe(d);
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_TRUE(early.workerRunning);
  EXPECT_FALSE(early.spinning);
  EXPECT_TRUE(late.workerRunning);
  EXPECT_TRUE(late.spinning);
  EXPECT_FALSE(done.spinning);

  Serve(L"EULTUrl");
  LicencePage fast(true);
  Sample afterASecond;
  bool loaded = false;
  Run(fast, [&](HWND d) {
    loaded = WaitUntil([&] { return Loaded(d); }, 900);
    Sleep(1300);
    afterASecond = fast.Probe(d);
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_TRUE(loaded);
  EXPECT_FALSE(afterASecond.spinning);
}

TEST_F(EultDialogTest, LocalFolderShowsTheLanguagesFileWithoutNetwork) {
  std::wstring name;
  Serve(L"EULTUrl", &name);
  m_store->SetLocalSources(true);
  larktest::ScratchDir folder(L"eula-folder");
  m_store->SetEulaDirectory(folder.path());
  const Document document = MakeDocument(L"local");
  ASSERT_TRUE(larktest::WriteFileBytes(folder.file(L"en_license.txt"), document.bytes));
  ASSERT_TRUE(larktest::WriteFileBytes(folder.file(L"de_license.txt"), "other language"));
  EultDialog page(true);
  std::wstring text;
  const int result = Run(page, [&](HWND d) {
    WaitUntil([&] { return Loaded(d); }, 10000);
    text = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_EQ(EultDialog::kResultAccept, result);
  EXPECT_EQ(document.shown, text);
  EXPECT_EQ(CryptoApiSha1(document.bytes), page.GetLicenseTermsHash());
  EXPECT_EQ(folder.file(L"en_license.txt"), page.GetContentPath());
  EXPECT_EQ(0u, Requests(name));
}

TEST_F(EultDialogTest, LocalFolderWithoutTheFileShowsNothingAndStillAccepts) {
  m_store->SetLocalSources(true);
  larktest::ScratchDir folder(L"eula-empty");
  m_store->SetEulaDirectory(folder.path());
  // A folder of the file's name is not the file.
  CreateDirectoryW(folder.file(L"en_license.txt").c_str(), nullptr);
  EultDialog page(true);
  std::wstring text = L"unread";
  bool loaded = false;
  const int result = Run(page, [&](HWND d) {
    loaded = WaitUntil([&] { return Loaded(d); }, 10000);
    text = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_TRUE(loaded);
  EXPECT_EQ(EultDialog::kResultAccept, result);
  EXPECT_EQ(L"", text);
  EXPECT_EQ(L"", page.GetLicenseTermsHash());
}

// Leaving during a stalled fetch cancels it: the page ends long before the
// five-second time-out, whichever of the two downloads is running.
TEST_F(EultDialogTest, BackDuringAStalledFetchEndsThePageAtOnce) {
  for (bool stubConfiguration : {false, true}) {
    SCOPED_TRACE(stubConfiguration ? "stalled stub configuration" : "stalled document");
    std::wstring name;
    Serve(L"EULTUrl", &name);
    const std::wstring config = Name(L"stubconf");
    if (stubConfiguration) {
      m_store->SetStubConfigurationApplied(false);
      m_store->SetStubConfigurationUrl(TestHttpServer::Url(config));
      ASSERT_TRUE(TestHttpServer::PutFile(config, "<response/>"));
      ASSERT_TRUE(TestHttpServer::AddFault(config, "kind=stall&after=0&seconds=20"));
    } else {
      ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=stall&after=0&seconds=20"));
    }
    LicencePage page(true);
    DWORD clicked = 0;
    const int result = Run(page, [&](HWND d) {
      Sleep(300);
      clicked = GetTickCount();
      Click(d, EultDialog::kBackId);
    });
    const DWORD took = GetTickCount() - clicked;
    EXPECT_EQ(EultDialog::kResultBack, result);
    EXPECT_LT(took, 3000u);
    EXPECT_FALSE(page.IsWorkerRunning());
    EXPECT_EQ(L"", page.GetLicenseTermsHash());
    if (stubConfiguration) {
      EXPECT_EQ(0u, Requests(name)) << "the document was fetched after the page was left";
    }
    TestHttpServer::ClearFaults(name);
    TestHttpServer::ClearFaults(config);
    m_store->SetStubConfigurationApplied(true);
  }
}

// While the stub configuration hangs (the server took the request and
// never answers), every way out of either page gets its question at once,
// the page goes on answering while it asks, and Yes cancels the fetch: the
// page ends at once with its cancel result (exit code 1).
TEST_F(EultDialogTest, LeavingWhileTheStubConfigurationHangsAsksAtOnceAndYesCancelsTheFetch) {
  // The keyboard reaches the page once it is the active window, as after a
  // person's click on it.
  auto escape = [](HWND d) {
    if (GetForegroundWindow() != d) MouseClick(d, 1004);
    Sleep(100);
    TypeKey(VK_ESCAPE);
  };
  struct Case {
    const char* name;
    bool privacy;
    std::function<void(HWND)> leave;
    int cancelled;
  } cases[] = {
      {"licence page, escape", false, escape, EultDialog::kResultCancel},
      {"licence page, cancel button", false, [](HWND d) { MouseClick(d, EultDialog::kDeclineId); },
       EultDialog::kResultCancel},
      {"licence page, caption close button", false, [](HWND d) { MouseClick(d, 8); }, EultDialog::kResultCancel},
      {"privacy page, escape", true, escape, PrivacyPolicyDialog::kResultCancel},
      {"privacy page, caption close button", true, [](HWND d) { MouseClick(d, 8); },
       PrivacyPolicyDialog::kResultCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring document;
    Serve(c.privacy ? L"privacyPolicyUrl" : L"EULTUrl", &document);
    const std::wstring config = Name(L"stubconf");
    ASSERT_TRUE(TestHttpServer::PutFile(config, "<response/>"));
    ASSERT_TRUE(TestHttpServer::AddFault(config, "kind=delay&seconds=30"));
    m_store->SetStubConfigurationApplied(false);
    m_store->SetStubConfigurationUrl(TestHttpServer::Url(config));

    bool requested = false, answering = false, yesPressed = false, ended = false;
    DWORD askedAfter = 0, endedAfter = 0;
    HWND asked = nullptr;
    auto drive = [&](HWND d) {
      requested = WaitUntil([&] { return Requests(config) > 0; }, 5000);
      Sleep(200);  // the worker waits for the answer
      const DWORD left = GetTickCount();
      c.leave(d);
      asked = WaitForQuestion(d, 1000);
      askedAfter = GetTickCount() - left;
      DWORD_PTR ignored = 0;
      answering = SendMessageTimeoutW(d, WM_NULL, 0, 0, SMTO_NORMAL, 300, &ignored) != 0;
      // Old behaviour: the question comes only after the download gave up.
      HWND question = asked ? asked : WaitForQuestion(d, 60000);
      // Yes by its mnemonic, typed into the question (which has the
      // keyboard): under Wine a question opened by a mouse click on the page
      // is drawn above the page but hit-tested below it for a while, so a
      // mouse click on Yes would land on the disabled page.
      const bool questionHasTheKeyboard =
          question && WaitUntil([&] { return GetForegroundWindow() == question; }, 2000);
      const DWORD yes = GetTickCount();
      yesPressed = questionHasTheKeyboard && TypeKey('Y');
      ended = WaitUntil([&] { return !IsWindow(d) || !IsWindowVisible(d); }, 3000);
      endedAfter = GetTickCount() - yes;
      if (question && IsWindow(question)) PostMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    };
    int result = 0;
    if (c.privacy) {
      PrivacyPolicyDialog page;
      result = Run(page, drive);
    } else {
      EultDialog page(true);
      result = Run(page, drive);
    }
    ASSERT_TRUE(requested) << "the stub configuration was never asked for";
    EXPECT_NE(nullptr, asked) << "no question within a second";
    EXPECT_LT(askedAfter, 1000u);
    EXPECT_TRUE(answering) << "the page did not answer while it asked";
    EXPECT_TRUE(yesPressed) << "the question did not have the keyboard";
    EXPECT_TRUE(ended) << "Yes did not end the page";
    EXPECT_LT(endedAfter, 2000u);
    EXPECT_EQ(c.cancelled, result);
    EXPECT_EQ(0u, Requests(document)) << "the document was fetched after the page was left";
    EXPECT_FALSE(m_store->IsStubConfigurationApplied());
    TestHttpServer::ClearFaults(config);
    m_store->SetStubConfigurationApplied(true);
  }
}

TEST_F(EultDialogTest, BackAfterLoadingReturnsBack) {
  Serve(L"EULTUrl");
  EultDialog page(true);
  const int result = Run(page, [&](HWND d) {
    WaitUntil([&] { return Loaded(d); }, 10000);
    Click(d, EultDialog::kBackId);
  });
  EXPECT_EQ(EultDialog::kResultBack, result);
}

TEST_F(EultDialogTest, PrivacyLinkOpensOnlyOnItsText) {
  Serve(L"EULTUrl");
  struct Case {
    const char* name;
    std::function<void(HWND)> open;
  } cases[] = {
      {"space on the link", [](HWND d) { PostMessageW(GetDlgItem(d, EultDialog::kLinkId), WM_CHAR, L' ', 0); }},
      {"click on its text",
       [](HWND d) {
         RECT r = {};
         GetWindowRect(GetDlgItem(d, EultDialog::kLinkId), &r);
         SetCursorPos(r.left + 8, (r.top + r.bottom) / 2);
         PostMessageW(d, WM_COMMAND, MAKEWPARAM(EultDialog::kLinkId, STN_CLICKED),
                      reinterpret_cast<LPARAM>(GetDlgItem(d, EultDialog::kLinkId)));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EultDialog page(true);
    bool stayedAfterClickBeside = false;
    const int result = Run(page, [&](HWND d) {
      WaitUntil([&] { return Loaded(d); }, 10000);
      // A click in the link's area but beside its text does nothing.
      RECT r = {};
      GetWindowRect(GetDlgItem(d, EultDialog::kLinkId), &r);
      SetCursorPos(r.right - 2, (r.top + r.bottom) / 2);
      PostMessageW(d, WM_COMMAND, MAKEWPARAM(EultDialog::kLinkId, STN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(d, EultDialog::kLinkId)));
      Sleep(300);
      stayedAfterClickBeside = IsWindowVisible(d) != FALSE;
      c.open(d);
    });
    EXPECT_TRUE(stayedAfterClickBeside);
    EXPECT_EQ(EultDialog::kResultPrivacyLink, result);
  }
}

TEST_F(EultDialogTest, DeclineAsksAndOnlyYesCancels) {
  Serve(L"EULTUrl");
  struct Case {
    const char* name;
    std::function<void(HWND)> leave;
  } cases[] = {
      {"decline button", [](HWND d) { Click(d, EultDialog::kDeclineId); }},
      {"escape", [](HWND d) { PressKey(d, EultDialog::kDeclineId, VK_ESCAPE); }},
      {"caption close button", [](HWND d) { Click(d, 8); }},
      {"system close", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EultDialog page(true);
    std::wstring caption, question;
    bool stayedAfterNo = false;
    const int result = Run(page, [&](HWND d) {
      WaitUntil([&] { return Loaded(d); }, 10000);
      c.leave(d);
      HWND asked = WaitForQuestion(d, 5000);
      caption = WindowText(asked);
      question = ItemText(asked, 1010);
      PostMessageW(GetDlgItem(asked, IDNO), BM_CLICK, 0, 0);
      WaitUntil([&] { return !IsWindow(asked); }, 5000);
      Sleep(200);
      stayedAfterNo = IsWindowVisible(d) && Enabled(d, EultDialog::kAcceptId);
      c.leave(d);
      AnswerQuestion(d, IDYES);
    });
    EXPECT_EQ(m_store->GetSetting(L"Title"), caption);
    EXPECT_EQ(m_store->GetLocalizedString(L"Sure"), question);
    EXPECT_TRUE(stayedAfterNo);
    EXPECT_EQ(EultDialog::kResultCancel, result);
  }
}

// The worker's report can arrive while the question is open; the answer
// still decides.
TEST_F(EultDialogTest, DocumentArrivingDuringTheQuestionKeepsThePageOnNo) {
  std::wstring name;
  const Document document = Serve(L"EULTUrl", &name);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=delay&seconds=1"));
  EultDialog page(true);
  std::wstring text;
  const int result = Run(page, [&](HWND d) {
    Click(d, EultDialog::kDeclineId);
    HWND asked = WaitForQuestion(d, 5000);
    Sleep(1500);
    PostMessageW(GetDlgItem(asked, IDNO), BM_CLICK, 0, 0);
    WaitUntil([&] { return Loaded(d); }, 10000);
    text = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_EQ(EultDialog::kResultAccept, result);
  EXPECT_EQ(document.shown, text);
}

TEST_F(EultDialogTest, ButtonsStandInFromTheTextBox) {
  Serve(L"EULTUrl");
  EultDialog page(true);
  RECT text = {}, accept = {}, retry = {}, decline = {}, back = {}, panel = {}, client = {}, templateText = {};
  Run(page, [&](HWND d) {
    WaitUntil([&] { return Loaded(d); }, 10000);
    text = ItemRect(d, EultDialog::kRichEditId);
    accept = ItemRect(d, EultDialog::kAcceptId);
    retry = ItemRect(d, EultDialog::kRetryId);
    decline = ItemRect(d, EultDialog::kDeclineId);
    back = ItemRect(d, EultDialog::kBackId);
    panel = ItemRect(d, 1006);
    GetClientRect(d, &client);
    templateText = DialogUnits(d, 65, 64, 284, 78);
    Click(d, EultDialog::kAcceptId);
  });
  EXPECT_EQ(templateText.left, text.left);
  EXPECT_EQ(templateText.top, text.top);
  EXPECT_EQ(text.left + 56, accept.left);
  EXPECT_EQ(text.bottom + 24, accept.top);
  EXPECT_EQ(text.right - 56, decline.right);
  EXPECT_EQ(accept.top, decline.top);
  EXPECT_EQ(decline.left - 8, accept.right);
  EXPECT_TRUE(EqualRect(&accept, &retry));
  EXPECT_EQ(panel.right, back.right);
  EXPECT_GE(back.top, panel.bottom - 1);
  EXPECT_LE(back.bottom, client.bottom);
}

// The first page fetches the operator's stub configuration and merges it;
// later pages (the licence page again, the privacy page) use the merged
// settings without fetching it again.
TEST_F(EultDialogTest, StubConfigurationIsFetchedOncePerProcess) {
  const std::wstring config = Name(L"stubconf");
  const std::wstring eula = Name(L"eula"), privacy = Name(L"privacy");
  const Document eulaDocument = MakeDocument(eula), privacyDocument = MakeDocument(privacy);
  ASSERT_TRUE(TestHttpServer::PutFile(eula, eulaDocument.bytes));
  ASSERT_TRUE(TestHttpServer::PutFile(privacy, privacyDocument.bytes));
  const std::string response =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<response><stubCustomizations><stubCustomization>"
      "<language>en</language><EULTUrl>" +
      larktest::Narrow(TestHttpServer::Url(eula)) + "</EULTUrl><privacyPolicyUrl>" +
      larktest::Narrow(TestHttpServer::Url(privacy)) +
      "</privacyPolicyUrl></stubCustomization></stubCustomizations></response>";
  ASSERT_TRUE(TestHttpServer::PutFile(config, response));
  m_store->StoreProperty(L"en:EULTUrl", L"http://127.0.0.1:1/stale", LarkProperties::CustomizedSettings);
  m_store->SetStubConfigurationUrl(TestHttpServer::Url(config));
  m_store->SetStubConfigurationApplied(false);

  std::wstring first, second;
  EultDialog licence(true);
  EXPECT_EQ(EultDialog::kResultAccept, Run(licence, [&](HWND d) {
              WaitUntil([&] { return Loaded(d); }, 10000);
              first = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
              Click(d, EultDialog::kAcceptId);
            }));
  EXPECT_TRUE(m_store->IsStubConfigurationApplied());
  const size_t configAfterFirst = TestHttpServer::Log(config).size();
  const size_t eulaAfterFirst = TestHttpServer::Log(eula).size();
  PrivacyPolicyDialog privacyPage;
  std::wstring privacyText;
  EXPECT_EQ(PrivacyPolicyDialog::kResultBack, Run(privacyPage, [&](HWND d) {
              WaitUntil([&] { return !RichEditText(GetDlgItem(d, EultDialog::kRichEditId)).empty(); }, 10000);
              privacyText = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
              Click(d, PrivacyPolicyDialog::kBackId);
            }));
  EultDialog again(true);
  EXPECT_EQ(EultDialog::kResultAccept, Run(again, [&](HWND d) {
              WaitUntil([&] { return Loaded(d); }, 10000);
              second = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
              Click(d, EultDialog::kAcceptId);
            }));
  EXPECT_EQ(eulaDocument.shown, first);
  EXPECT_EQ(privacyDocument.shown, privacyText);
  EXPECT_EQ(eulaDocument.shown, second);
  EXPECT_EQ(1u, Requests(config));
  EXPECT_EQ(configAfterFirst, TestHttpServer::Log(config).size());
  // The second licence page asked the server again (the download library
  // may find its earlier copy complete and skip the body).
  EXPECT_GT(TestHttpServer::Log(eula).size(), eulaAfterFirst);
}

// A stub configuration that cannot be fetched or read leaves the address
// empty: the offline text, and Retry fetches the configuration again.
TEST_F(EultDialogTest, FailedStubConfigurationIsFetchedAgainOnRetry) {
  struct Case {
    const char* name;
    const char* fault;
    std::string firstBody;
  } cases[] = {
      {"not found", "kind=status&status=404", ""},
      {"not a response", nullptr, "<other/>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring config = Name(L"stubconf"), eula = Name(L"eula");
    const Document document = MakeDocument(eula);
    ASSERT_TRUE(TestHttpServer::PutFile(eula, document.bytes));
    const std::string good = "<response><stubCustomizations><stubCustomization><language>en</language><EULTUrl>" +
                             larktest::Narrow(TestHttpServer::Url(eula)) +
                             "</EULTUrl></stubCustomization></stubCustomizations></response>";
    ASSERT_TRUE(TestHttpServer::PutFile(config, c.fault ? good : c.firstBody));
    if (c.fault) {
      ASSERT_TRUE(TestHttpServer::AddFault(config, c.fault));
    }
    m_store->SetStubConfigurationUrl(TestHttpServer::Url(config));
    m_store->SetStubConfigurationApplied(false);
    EultDialog page(true);
    bool offline = false, appliedAtOffline = true;
    std::wstring text;
    const int result = Run(page, [&](HWND d) {
      offline = WaitUntil([&] { return Offline(d); }, 10000);
      appliedAtOffline = m_store->IsStubConfigurationApplied();
      if (!c.fault) TestHttpServer::PutFile(config, good);
      Click(d, EultDialog::kRetryId);
      WaitUntil([&] { return Loaded(d); }, 10000);
      text = RichEditText(GetDlgItem(d, EultDialog::kRichEditId));
      Click(d, EultDialog::kAcceptId);
    });
    EXPECT_TRUE(offline);
    EXPECT_FALSE(appliedAtOffline);
    EXPECT_EQ(EultDialog::kResultAccept, result);
    EXPECT_EQ(document.shown, text);
    EXPECT_EQ(2u, Requests(config));
    EXPECT_EQ(1u, Requests(eula));
  }
}

}  // namespace

namespace {

bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& text) {
  for (const std::wstring& line : lines) {
    if (line.find(text) != std::wstring::npos) return true;
  }
  return false;
}

// The log tells the fetch's story: the stub configuration called and
// merged (then reused), the document completed or failed, the worker
// joined, and why the page ended.
TEST_F(EultDialogTest, LogsTheFetchAndTheUsersChoice) {
  const std::wstring config = Name(L"stubconf"), eula = Name(L"eula");
  ASSERT_TRUE(TestHttpServer::PutFile(eula, MakeDocument(eula).bytes));
  const std::wstring eulaUrl = TestHttpServer::Url(eula);
  ASSERT_TRUE(TestHttpServer::PutFile(
      config, "<response><stubCustomizations><stubCustomization><language>en</language><EULTUrl>" +
                  larktest::Narrow(eulaUrl) + "</EULTUrl></stubCustomization></stubCustomizations></response>"));
  ASSERT_TRUE(TestHttpServer::AddFault(config, "kind=status&status=404"));
  m_store->SetStubConfigurationUrl(TestHttpServer::Url(config));
  m_store->SetStubConfigurationApplied(false);
  std::vector<std::wstring> lines;
  {
    PlatformLogCapture log;
    EultDialog failing(true);
    Run(failing, [&](HWND d) {
      WaitUntil([&] { return Offline(d); }, 10000);
      Click(d, EultDialog::kRetryId);
      WaitUntil([&] { return Loaded(d); }, 10000);
      Click(d, EultDialog::kDeclineId);
      AnswerQuestion(d, IDYES);
    });
    EultDialog again(true);
    Run(again, [&](HWND d) {
      WaitUntil([&] { return Loaded(d); }, 10000);
      Click(d, EultDialog::kBackId);
    });
    lines = log.Texts();
  }
  const wchar_t* expected[] = {
      L"RichEditDialogBase::GetContentFileUrl: Calling StubConfiguration",
      L"RichEditDialogBase::GetContentFileUrl: Failed to call StubConfiguration",
      L"RichEditDialogBase::WorkerMethod: Failed or aborted to download ''",
      L"RichEditDialogBase::GetContentFileUrl: Successfully processed settings from backend",
      L"RichEditDialogBase::GetContentFileUrl: StubConfiguration has been downloaded. Using existing settings",
      L"RichEditDialogBase::OnWorkerComplete: Waiting for worker thread to close",
      L"RichEditDialogBase::OnWorkerComplete: Stop animation",
      L"RichEditDialogBase::OnDownloadCompleted: Reading",
      L"EultDialog::OnButtonClick: User clicked Decline or Cancel. Asking whether to cancel the installation...",
  };
  for (const wchar_t* text : expected) EXPECT_TRUE(HasLine(lines, text)) << larktest::Narrow(text);
  EXPECT_TRUE(HasLine(lines, L"RichEditDialogBase::WorkerMethod: Download of '" + eulaUrl + L"' completed"));
}

}  // namespace
