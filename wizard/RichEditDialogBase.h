// The common base of the licence-terms and privacy-policy pages: a document
// in a rich edit control, fetched on a worker thread (downloaded from the
// address in a setting, or read from a local folder), a spinner when the
// fetch takes longer than a second, and a localized offline text with
// Retry when it fails. The first page that needs the document address
// fetches the operator's stub configuration and merges it into the
// settings store, once per process.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "download/DownloadHelper.h"
#include "wizard/Static.h"
#include "wizard/StaticLink.h"
#include "wizard/StyleDialog.h"
#include "wizard/WProgress.h"

class RichEditDialogBase : public StyleDialog {
 public:
  static constexpr int kRichEditId = 1023;
  static constexpr int kAcceptId = 1000;
  static constexpr int kDeclineId = 1001;
  static constexpr int kBackId = 1013;
  static constexpr int kRetryId = 1024;
  static constexpr int kSpinnerTimer = 101;
  static constexpr int kDownloadTimeoutSeconds = 5;

  // linkId 0: the page has no link. workerCompleteId: the command that the
  // worker posts, with 0 (document ready) or 1 (failed) as its event.
  RichEditDialogBase(int templateId, int linkId, int workerCompleteId, const std::wstring& contentDirectory,
                     const std::wstring& contentFileName, const std::wstring& urlSettingKey, bool backEnabled);
  ~RichEditDialogBase() override;

  INT_PTR OnInitDialog() override;
  INT_PTR OnCommand(int id, int event) override;
  INT_PTR OnPaint() override;
  INT_PTR OnCtlColor(HDC dc, HWND control) override;
  INT_PTR OnTimer(WPARAM id) override;

  // Clears the control and fetches the document again on a new worker.
  virtual void StartWorker();
  // The document's address: the setting named by the URL key, after the
  // stub configuration has been fetched and merged (once per process).
  // Empty when that fetch failed. Runs on the worker.
  virtual std::wstring GetContentFileUrl();
  virtual std::wstring GetOfflineErrorText();
  // Local installation: <content directory>\<language>_<file name>.
  virtual void HandleOffline();
  virtual void OnButtonClick(int result) = 0;
  virtual void OnLinkNotify(int event);
  virtual void OnDownloadCompleted();
  virtual void OnDownloadFailed();
  virtual void OnWorkerComplete(int code);
  virtual void UpdateVisibleStrings();
  virtual unsigned WorkerMethod();

  // The file shown (downloaded or local); empty when there is none.
  std::wstring GetContentPath() const { return m_contentPath; }
  int GetResult() const { return m_result; }
  bool IsWorkerRunning() const { return m_worker != nullptr; }
  bool IsSpinnerRunning() const { return m_progress.IsAnimating(); }

 protected:
  // Records the chosen result and cancels the running fetch; ends the page
  // at once when no worker runs, else the worker's completion ends it.
  void ChooseResult(int result);
  // The whole text is the link.
  void SetLinkText(const std::wstring& text);

  WProgress m_progress;
  Static m_title;
  Static m_text;
  HWND m_richEdit;
  StaticLink m_link;
  HANDLE m_worker;
  HMODULE m_richEditLibrary;
  Download_Helper m_downloader;
  int m_result;
  int m_richEditId;
  int m_linkId;
  int m_workerCompleteId;
  std::wstring m_contentDirectory;
  std::wstring m_contentFileName;
  std::wstring m_contentPath;
  std::wstring m_urlSettingKey;
  bool m_backEnabled;

 private:
  static unsigned __stdcall WorkerStart(void* self);
  // Downloads url to target unless the page has already been left.
  bool Download(const std::wstring& url, const std::wstring& target);

  std::wstring m_linkText;
  // The address of the last download that the worker started.
  std::wstring m_lastUrl;
  HIMAGELIST m_spinnerImages;
  HFONT m_documentFont;
  // Set on the page thread once a result is chosen; the worker starts no
  // further download after that.
  std::atomic<bool> m_leaving;
};
