// The installation page: a worker thread downloads the packages, installs
// the agent (or only adds an operator), starts the agent's programs and
// reports back; the page shows progress and the outcome.
//
// The page and its worker share a state word (running, deciding, aborted)
// and a manual-reset "decide" event that holds the worker at the decision
// point while the cancel question is open. One lock makes the decision
// point and the opening of the question exclusive: either the question
// opened first, and the worker waits for its answer ("Paused..."), or the
// worker closed the question for good, and Cancel does nothing any more.
#pragma once

#include <windows.h>

#include <string>

#include "download/DownloadHelper.h"
#include "wizard/Static.h"
#include "wizard/StyleDialog.h"
#include "wizard/WProgress.h"

class StubProgram;

class InstallDialog : public StyleDialog {
 public:
  static constexpr int kTemplateId = 132;
  // Page results.
  enum { kSucceeded = 0, kRebootRequired = 1, kCancelled = 2, kFailed = 3, kBadSignature = 4,
         kBadStubVersion = 5 };
  // Codes that the worker posts with command id kWorkerDoneId.
  enum WorkerCode {
    kCodeInstalled = 0,
    kCodeRebootRequired = 1,
    kCodeDownloadFailed = 2,
    kCodeBadSignature = 3,
    kCodeBadStubVersion = 4,
    kCodeInstallFailed = 5,
    kCodeInstallerBusy = 6,
    kCodeAborted = 7,
  };
  // The state word.
  enum State { kRunning = 0, kDeciding = 1, kAborted = 2 };
  static constexpr int kWorkerDoneId = 1020;
  static constexpr int kCancelId = 1001;
  static constexpr int kCaptionCloseId = 8;
  static constexpr int kTitleId = 1003;
  static constexpr int kTextId = 1004;
  static constexpr int kContentPanelId = 1006;
  static constexpr int kPercentId = 1012;
  static constexpr int kSpinnerBitmap = 136;

  InstallDialog(StubProgram* owner, bool local, const std::wstring& language,
                const std::wstring& targetDirectory, const std::wstring& lateboundTargetDirectory,
                const std::wstring& licenseTermsHash, bool reinstall, bool operatorOnly,
                HANDLE allowedToOperate);
  ~InstallDialog() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;
  INT_PTR OnDestroy() override;

  virtual void UpdateVisibleStrings();
  // Greys SC_CLOSE in the window's system menu.
  void DisableCloseContextMenu();
  // Cancel, Esc and the caption close button: the cancel question.
  void OnDecline();
  // The worker's thread entry; page is the InstallDialog.
  static unsigned __stdcall InstallSequenceThread(void* page);
  // One download of the worker; on failure it posts code 2 and ends the
  // worker (it does not return).
  bool Download(const std::wstring& url, const std::wstring& targetPath);
  // The text shown for a failed download, from the last transfer's facts.
  std::wstring GetDownloadErrorText();

  int GetState() const;
  WProgress& GetProgress() { return m_progress; }

 protected:
  // Starts the worker thread; false leaves the page without one.
  virtual bool StartWorker();
  // The worker's steps; returns the code to post.
  virtual int RunInstallSequence();
  // What the page shows for one worker code; returns the page result.
  int ShowOutcome(int code);

 private:
  void SetState(int state);
  // Closes the cancel question for good; returns the state it found.
  int CloseCancelQuestion();
  void DisableCancel();
  void FinishWithCode(int code);

  StubProgram* m_owner;
  Download_Helper m_downloader;
  int m_state;
  WProgress m_progress;
  std::wstring m_language;
  std::wstring m_targetDirectory;
  std::wstring m_lateboundTargetDirectory;
  std::wstring m_licenseTermsHash;
  Static m_text;
  bool m_local;
  bool m_reinstall;
  bool m_operatorOnly;
  HANDLE m_worker;
  HANDLE m_decideEvent;
  HANDLE m_allowedToOperate;
  HIMAGELIST m_spinner;
  // The address of the last download, for its error text.
  std::wstring m_lastUrl;
  // Guards the state word and whether the cancel question may still open.
  mutable CRITICAL_SECTION m_lock;
  bool m_questionClosed;
  // True while the cancel question is on screen.
  bool m_asking;
  // A worker code that arrived while the question was open; handled once
  // it is answered (-1: none).
  int m_pendingCode;
};
