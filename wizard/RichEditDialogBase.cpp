#include "wizard/RichEditDialogBase.h"

#include <process.h>

#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/SystemLibrary.h"
#include "settings/LarkProperties.h"
#include "wizard/RichEditFill.h"

namespace {
const int kTitleId = 1003;
const int kTextId = 1004;
const int kCaptionCloseId = 8;
const int kPercentageId = 1012;
const int kSpinnerBitmapId = 136;
// While a chosen result waits for the worker, the fetch is cancelled again
// at this interval: a cancel that lands between two downloads of the
// worker (stub configuration, then document) would otherwise be lost.
const UINT_PTR kCancelTimer = 102;
const UINT kCancelIntervalMs = 200;

// The host part of an address such as http://host:port/path.
std::wstring HostOf(const std::wstring& url) {
  size_t start = url.find(L"://");
  start = start == std::wstring::npos ? 0 : start + 3;
  const size_t end = url.find_first_of(L":/?#", start);
  return url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}
}  // namespace

RichEditDialogBase::RichEditDialogBase(int templateId, int linkId, int workerCompleteId,
                                       const std::wstring& contentDirectory, const std::wstring& contentFileName,
                                       const std::wstring& urlSettingKey, bool backEnabled)
    : StyleDialog(templateId, nullptr),
      m_richEdit(nullptr),
      m_worker(nullptr),
      m_richEditLibrary(nullptr),
      m_result(-1),
      m_richEditId(kRichEditId),
      m_linkId(linkId),
      m_workerCompleteId(workerCompleteId),
      m_contentDirectory(contentDirectory),
      m_contentFileName(contentFileName),
      m_urlSettingKey(urlSettingKey),
      m_backEnabled(backEnabled),
      m_spinnerImages(nullptr),
      m_documentFont(nullptr),
      m_leaving(false) {
  // From the system folder only: a "riched20.dll" planted beside the
  // program or in the current folder must never be the one loaded. Without
  // it the page's template cannot be created.
  m_richEditLibrary = LoadSystemLibrary(L"riched20.dll");
}

RichEditDialogBase::~RichEditDialogBase() {
  m_progress.StopAnimation();
  if (m_worker) {
    // Only when the window went away without the worker's report (it never
    // does in the wizard): the worker must not outlive the page it uses.
    m_leaving = true;
    m_downloader.abort();
    WaitForSingleObject(m_worker, INFINITE);
    CloseHandle(m_worker);
    m_worker = nullptr;
  }
  if (m_richEditLibrary) FreeLibrary(m_richEditLibrary);
  if (m_window && IsWindow(m_window)) {
    KillTimer(m_window, kSpinnerTimer);
    KillTimer(m_window, kCancelTimer);
  }
  if (m_spinnerImages) ImageList_Destroy(m_spinnerImages);
  if (m_documentFont) DeleteObject(m_documentFont);
}

INT_PTR RichEditDialogBase::OnInitDialog() {
  LogW(5, L"%s: ", L"RichEditDialogBase::OnInitDialog");
  StyleDialogBase::OnInitDialog();
  FitToClient();

  HWND richEdit = GetDlgItem(m_window, m_richEditId);
  HWND percentage = GetDlgItem(m_window, kPercentageId);
  m_progress.Bind(percentage);
  if (percentage && richEdit) SetParent(percentage, richEdit);
  m_progress.CenterInParent();
  m_spinnerImages = ImageList_LoadImageW(GetModuleInstance(), MAKEINTRESOURCEW(kSpinnerBitmapId), 64, 4, CLR_DEFAULT,
                                         IMAGE_BITMAP, LR_CREATEDIBSECTION | LR_LOADTRANSPARENT);
  if (m_spinnerImages) {
    m_progress.SetImageList(m_spinnerImages);
  } else {
    LogW(1, L"%s: Failed in loading progress image list", L"RichEditDialogBase::OnInitDialog");
  }
  m_progress.CollapseLabel();
  if (percentage) ShowWindow(percentage, SW_HIDE);

  m_title.Bind(GetDlgItem(m_window, kTitleId));
  m_text.Bind(GetDlgItem(m_window, kTextId));
  SendMessageW(m_title.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont), TRUE);
  SendMessageW(m_text.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), TRUE);

  if (m_linkId) {
    HWND link = GetDlgItem(m_window, m_linkId);
    m_link.Bind(link);
    if (link) StaticLink::Subclass(link, m_linkId);
    m_link.SetFonts(m_normalFont, m_linkFont);
  }

  m_richEdit = richEdit;
  if (m_richEdit) {
    // The page's own font, in a face of the script for the East Asian
    // languages.
    m_documentFont = CreateDocumentFont(m_normalFont, LarkProperties::Instance()->GetLanguage());
    HFONT font = m_documentFont ? m_documentFont : m_normalFont;
    SendMessageW(m_richEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(m_richEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(4, 4));
  }
  UpdateVisibleStrings();
  SetRoundedRegion();

  HWND decline = GetDlgItem(m_window, kDeclineId);
  if (decline) {
    EnableWindow(decline, TRUE);
    ShowWindow(decline, SW_SHOW);
  }
  HWND back = GetDlgItem(m_window, kBackId);
  if (back) {
    ShowWindow(back, SW_SHOW);
    EnableWindow(back, m_backEnabled ? TRUE : FALSE);
  }
  SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(m_window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);

  StartWorker();
  return 0;
}

void RichEditDialogBase::UpdateVisibleStrings() {
  SetWindowTextW(m_window, LarkProperties::Instance()->GetSetting(L"Title").c_str());
  HICON icon = LoadIconW(GetModuleInstance(), MAKEINTRESOURCEW(107));
  SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  Invalidate();
}

INT_PTR RichEditDialogBase::OnCommand(int id, int event) {
  LogW(5, L"%s: id %d event %d", L"RichEditDialogBase::OnCommand", id, event);
  if (id == kAcceptId || id == kBackId) {
    OnButtonClick(id);
  } else if (id == kRetryId) {
    // Retry is only offered while no worker runs; a second press that was
    // queued behind the first must not start a second worker.
    if (!m_worker && m_result == -1) StartWorker();
  } else if (id == m_workerCompleteId) {
    OnWorkerComplete(event);
  }
  return 0;
}

void RichEditDialogBase::StartWorker() {
  LogW(5, L"%s: ", L"RichEditDialogBase::StartWorker");
  if (m_richEdit) FillRichEditFromText(L"", m_richEdit);
  HWND retry = GetDlgItem(m_window, kRetryId);
  if (retry) {
    // Move the focus off Retry before hiding it, or the keyboard would be
    // left on an invisible button.
    if (GetFocus() == retry) {
      HWND decline = GetDlgItem(m_window, kDeclineId);
      HWND next = decline ? decline : GetDlgItem(m_window, kBackId);
      if (next) SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
    }
    EnableWindow(retry, FALSE);
    ShowWindow(retry, SW_HIDE);
  }
  // A failure hid Accept; during the fetch after Retry it stands where
  // Retry was, disabled, as on the first fetch.
  HWND accept = GetDlgItem(m_window, kAcceptId);
  if (accept) {
    EnableWindow(accept, FALSE);
    ShowWindow(accept, SW_SHOW);
  }
  SetTimer(m_window, kSpinnerTimer, 1000, nullptr);
  unsigned threadId = 0;
  m_worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &RichEditDialogBase::WorkerStart, this, 0, &threadId));
  if (!m_worker) {
    LogW(1, L"%s: Failed to start the worker thread", L"RichEditDialogBase::StartWorker");
    KillTimer(m_window, kSpinnerTimer);
    OnDownloadFailed();
  }
}

unsigned __stdcall RichEditDialogBase::WorkerStart(void* self) {
  return static_cast<RichEditDialogBase*>(self)->WorkerMethod();
}

bool RichEditDialogBase::Download(const std::wstring& url, const std::wstring& target) {
  if (m_leaving) return false;
  if (!url.empty()) m_lastUrl = url;
  return m_downloader.download(url, target, nullptr);
}

unsigned RichEditDialogBase::WorkerMethod() {
  LarkProperties* store = LarkProperties::Instance();
  if (store->IsLocalSources()) {
    HandleOffline();
    PostDialogCommand(this, m_workerCompleteId, 0);
    return 0;
  }
  const std::wstring url = GetContentFileUrl();
  m_contentPath = MakePath(store->GetTempDirectory(), m_contentFileName);
  if (!Download(url, m_contentPath)) {
    LogW(1, L"%s: Failed or aborted to download '%s'", L"RichEditDialogBase::WorkerMethod", url.c_str());
    // Nothing is shown, so no file may stand for the text shown.
    m_contentPath.clear();
    PostDialogCommand(this, m_workerCompleteId, 1);
    return 1;
  }
  LogW(4, L"%s: Download of '%s' completed", L"RichEditDialogBase::WorkerMethod", url.c_str());
  PostDialogCommand(this, m_workerCompleteId, 0);
  return 0;
}

std::wstring RichEditDialogBase::GetContentFileUrl() {
  // No lock is held across the download or the parse: the page's thread
  // must be able to ask its question (and cancel this download) at any
  // time. The store guards itself while the response is merged.
  LarkProperties* store = LarkProperties::Instance();
  if (store->IsStubConfigurationApplied()) {
    LogW(5, L"%s: StubConfiguration has been downloaded. Using existing settings",
         L"RichEditDialogBase::GetContentFileUrl");
    return store->GetSetting(m_urlSettingKey);
  }
  const std::wstring url = store->GetStubConfigurationUrl();
  const std::wstring target = MakePath(store->GetTempDirectory(), L"stubconf.xml");
  LogW(4, L"%s: Calling StubConfiguration", L"RichEditDialogBase::GetContentFileUrl");
  if (!Download(url, target)) {
    LogW(1, L"%s: Failed to call StubConfiguration", L"RichEditDialogBase::GetContentFileUrl");
    return std::wstring();
  }
  if (!store->ParseResourcesFromXmlFile(target)) {
    LogW(1, L"%s: Failed to parse resources from StubConfiguration response",
         L"RichEditDialogBase::GetContentFileUrl");
    return std::wstring();
  }
  store->SetStubConfigurationApplied(true);
  LogW(4, L"%s: Successfully processed settings from backend", L"RichEditDialogBase::GetContentFileUrl");
  return store->GetSetting(m_urlSettingKey);
}

void RichEditDialogBase::HandleOffline() {
  LarkProperties* store = LarkProperties::Instance();
  const std::wstring candidate = MakePath(m_contentDirectory, store->GetLanguage() + L"_" + m_contentFileName);
  const DWORD attributes = GetFileAttributesW(candidate.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    m_contentPath = candidate;
    LogW(4, L"%s: Local content file '%s' found", L"RichEditDialogBase::HandleOffline", candidate.c_str());
  } else {
    m_contentPath.clear();
    LogW(4, L"%s: Local content file '%s' not found. Allow user to continue", L"RichEditDialogBase::HandleOffline",
         candidate.c_str());
  }
}

std::wstring RichEditDialogBase::GetOfflineErrorText() {
  LarkProperties* store = LarkProperties::Instance();
  std::wstring key, server;
  if (!m_downloader.IsConnectionEstablished()) {
    key = L"Error11";
    server = m_downloader.GetDnsQueryName();
  } else {
    key = m_downloader.IsDownloadStarted() ? L"Error13" : L"Error12";
    server = m_downloader.GetConnectAddress();
  }
  // An address given as a number is never resolved, and a refused
  // connection leaves no address: name the host of the address asked for
  // rather than show an empty server.
  if (server.empty()) server = HostOf(m_lastUrl);
  return ReplaceFirst(L"%SERVER%", store->GetLocalizedString(key), server);
}

void RichEditDialogBase::OnWorkerComplete(int code) {
  KillTimer(m_window, kSpinnerTimer);
  LogW(4, L"%s: Waiting for worker thread to close", L"RichEditDialogBase::OnWorkerComplete");
  if (m_worker) {
    WaitForSingleObject(m_worker, INFINITE);
    CloseHandle(m_worker);
    m_worker = nullptr;
  }
  if (m_result == -1) {
    LogW(4, L"%s: Stop animation", L"RichEditDialogBase::OnWorkerComplete");
    m_progress.StopAnimation();
    if (code != 0) {
      OnDownloadFailed();
    } else {
      OnDownloadCompleted();
    }
  } else {
    KillTimer(m_window, kCancelTimer);
    LogW(4, L"%s: Queuing dialog - user request", L"RichEditDialogBase::OnWorkerComplete");
    m_progress.StopAnimation();
    EndDialog(m_window, m_result);
  }
}

void RichEditDialogBase::OnDownloadCompleted() {
  if (!m_richEdit) {
    LogW(5, L"%s: Rich edit control not defined, not showing anything", L"RichEditDialogBase::OnDownloadCompleted");
    return;
  }
  LogW(4, L"%s: Reading", L"RichEditDialogBase::OnDownloadCompleted");
  if (!FillRichEditFromFile(m_contentPath, m_richEdit)) {
    LogW(3, L"%s: Failed to fill rich edit control from file '%s'", L"RichEditDialogBase::OnDownloadCompleted",
         m_contentPath.c_str());
  }
  // The view starts at the top of the document, not where the stream ended.
  SendMessageW(m_richEdit, EM_SETSEL, 0, 0);
  SendMessageW(m_richEdit, EM_SCROLLCARET, 0, 0);
  HWND decline = GetDlgItem(m_window, kDeclineId);
  if (decline) SetWindowTextW(decline, LarkProperties::Instance()->GetLocalizedString(L"Decline").c_str());
  // Accept comes back where Retry stood after a failure.
  HWND retry = GetDlgItem(m_window, kRetryId);
  if (retry) {
    EnableWindow(retry, FALSE);
    ShowWindow(retry, SW_HIDE);
  }
  HWND accept = GetDlgItem(m_window, kAcceptId);
  if (accept) {
    EnableWindow(accept, TRUE);
    ShowWindow(accept, SW_SHOW);
  }
  // Not while a question is open over the page: the focus would pull the
  // page in front of it.
  if (decline && IsWindowEnabled(m_window)) SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(decline), TRUE);
}

void RichEditDialogBase::OnDownloadFailed() {
  if (!m_richEdit) {
    LogW(5, L"%s: Rich edit control not defined, not showing anything", L"RichEditDialogBase::OnDownloadFailed");
    return;
  }
  LogW(4, L"%s: Download failed, showing the offline text", L"RichEditDialogBase::OnDownloadFailed");
  InvalidateRect(m_richEdit, nullptr, TRUE);
  if (!FillRichEditFromText(GetOfflineErrorText(), m_richEdit)) {
    LogW(3, L"%s: Failed to fill rich edit control from character string", L"RichEditDialogBase::OnDownloadFailed");
  }
  HWND retry = GetDlgItem(m_window, kRetryId);
  HWND accept = GetDlgItem(m_window, kAcceptId);
  if (retry) {
    EnableWindow(retry, TRUE);
    ShowWindow(retry, SW_SHOW);
  }
  if (accept) {
    if (GetFocus() == accept && retry) SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(retry), TRUE);
    EnableWindow(accept, FALSE);
    ShowWindow(accept, SW_HIDE);
  }
  if (retry && IsWindowEnabled(m_window)) SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(retry), TRUE);
}

void RichEditDialogBase::OnLinkNotify(int event) {
  if (!m_link.HandleNotify(event)) OnButtonClick(m_linkId);
}

void RichEditDialogBase::SetLinkText(const std::wstring& text) {
  m_linkText = text;
  m_link.SetTexts(text, text, text);
}

void RichEditDialogBase::ChooseResult(int result) {
  KillTimer(m_window, kSpinnerTimer);
  m_result = result;
  m_leaving = true;
  m_downloader.abort();
  if (!m_worker) {
    m_progress.StopAnimation();
    EndDialog(m_window, result);
    return;
  }
  SetTimer(m_window, kCancelTimer, kCancelIntervalMs, nullptr);
}

INT_PTR RichEditDialogBase::OnTimer(WPARAM id) {
  if (id == kCancelTimer) {
    if (m_worker) {
      m_downloader.abort();
    } else {
      KillTimer(m_window, kCancelTimer);
    }
    return 0;
  }
  KillTimer(m_window, id);
  // Without frames there is nothing to turn (and nothing to divide by).
  if (id == kSpinnerTimer && m_worker && m_spinnerImages) m_progress.StartAnimation();
  return 0;
}

INT_PTR RichEditDialogBase::OnPaint() {
  StyleDialogBase::OnPaint();
  if (m_linkId && m_link.GetHwnd() && !m_linkText.empty()) {
    HDC dc = GetDC(m_window);
    if (dc) {
      HGDIOBJ oldFont = SelectObject(dc, m_normalFont);
      m_link.Paint(dc);
      SelectObject(dc, oldFont);
      ReleaseDC(m_window, dc);
    }
  }
  return 0;
}

INT_PTR RichEditDialogBase::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == kAcceptId) {
    StyleDialogBase::OnCtlColor(dc, control);
    return 0;
  }
  if (id == kCaptionCloseId || control == m_richEdit || id == kPercentageId || id == kTitleId || id == kTextId ||
      (m_linkId && id == m_linkId)) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  }
  return 0;
}
