#include "wizard/InstallDialog.h"

#include <process.h>
#include <shlobj.h>

#include <exception>

#include "installer/LarkInstaller.h"
#include "installer/PostInstall.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/Geometry.h"
#include "platform/PathUtils.h"
#include "platform/WinShutdown.h"
#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"

namespace {

const wchar_t kWorkerName[] = L"InstallDialog::InstallSequenceThread";

// Ends the worker early with a code to post; thrown by the worker's own
// steps only and caught in its thread entry, so that the worker's stack
// unwinds instead of the thread being cut off where it stands.
struct WorkerAbort {
  int code;
};

std::wstring Text(const wchar_t* key) { return LarkProperties::Instance()->GetLocalizedString(key); }
std::wstring Setting(const wchar_t* key) { return LarkProperties::Instance()->GetSetting(key); }

std::wstring WithProduct(const wchar_t* key) {
  return ReplaceFirst(L"%PRODUCT%", Text(key), Setting(L"AgentName"));
}

// A local package for the chosen language, or empty when it is missing.
std::wstring LocalPackage(const std::wstring& folder, const std::wstring& name) {
  const std::wstring path = MakePath(folder, name);
  return FileExists(path) ? path : std::wstring();
}

// The host of an address, for naming a server that was never reached.
std::wstring HostOf(const std::wstring& url) {
  size_t start = url.find(L"://");
  start = start == std::wstring::npos ? 0 : start + 3;
  const size_t end = url.find_first_of(L":/?#", start);
  return url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
  ~Lock() { LeaveCriticalSection(&m_section); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& m_section;
};

}  // namespace

InstallDialog::InstallDialog(StubProgram* owner, bool local, const std::wstring& language,
                             const std::wstring& targetDirectory, const std::wstring& lateboundTargetDirectory,
                             const std::wstring& licenseTermsHash, bool reinstall, bool operatorOnly,
                             HANDLE allowedToOperate)
    : StyleDialog(kTemplateId, nullptr),
      m_owner(owner),
      m_state(kRunning),
      m_language(language),
      m_targetDirectory(targetDirectory),
      m_lateboundTargetDirectory(lateboundTargetDirectory),
      m_licenseTermsHash(licenseTermsHash),
      m_local(local),
      m_reinstall(reinstall),
      m_operatorOnly(operatorOnly),
      m_worker(nullptr),
      m_decideEvent(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
      m_allowedToOperate(allowedToOperate),
      m_spinner(nullptr),
      m_questionClosed(false),
      m_asking(false),
      m_pendingCode(-1) {
  LogW(5, L"%s: ", L"InstallDialog::InstallDialog");
  InitializeCriticalSection(&m_lock);
}

InstallDialog::~InstallDialog() {
  LogW(5, L"%s: ", L"InstallDialog::~InstallDialog");
  m_progress.StopAnimation();
  if (m_decideEvent) CloseHandle(m_decideEvent);
  if (m_spinner) ImageList_Destroy(m_spinner);
  DeleteCriticalSection(&m_lock);
}

int InstallDialog::GetState() const {
  Lock lock(m_lock);
  return m_state;
}

void InstallDialog::SetState(int state) {
  Lock lock(m_lock);
  m_state = state;
}

INT_PTR InstallDialog::OnInitDialog() {
  LogW(5, L"%s: dialog starting", L"InstallDialog::OnInitDialog");
  StyleDialogBase::OnInitDialog();
  FitToClient();

  m_progress.Bind(GetDlgItem(m_window, kPercentId));
  m_progress.CenterInParent();
  m_spinner = ImageList_LoadImageW(GetModuleInstance(), MAKEINTRESOURCEW(kSpinnerBitmap), 64, 4, CLR_DEFAULT,
                                   IMAGE_BITMAP, LR_CREATEDIBSECTION | LR_LOADTRANSPARENT);
  m_progress.SetImageList(m_spinner);
  m_progress.StartAnimation();

  m_text.Bind(GetDlgItem(m_window, kTextId));
  RECT text = m_text.GetRectInParent();
  SetWindowPos(m_text.GetHwnd(), nullptr, text.left + 1, text.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);

  UpdateVisibleStrings();

  RECT client = {};
  GetClientRect(m_window, &client);
  RECT window = {};
  GetWindowRect(m_window, &window);
  POINT origin = {0, 0};
  ClientToScreen(m_window, &origin);
  OffsetRect(&client, origin.x - window.left, origin.y - window.top);
  client.top -= 1;
  SetWindowRgn(m_window, CreateRoundRectRgn(client.left, client.top, client.right, client.bottom, 16, 16), TRUE);

  HWND cancel = GetDlgItem(m_window, kCancelId);
  POINT at = PlaceControlAfter(GetDlgItem(m_window, kContentPanelId), cancel, m_window);
  SetWindowPos(cancel, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  SendMessageW(m_progress.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), FALSE);
  SendMessageW(m_text.GetHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(m_normalFont), FALSE);

  SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(m_window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);

  LogW(4, L"%s: User clicked Accept. Starting installation sequence.", L"InstallDialog::OnInitDialog");
  SetState(kRunning);
  StartWorker();
  return 0;
}

bool InstallDialog::StartWorker() {
  const uintptr_t thread = _beginthreadex(nullptr, 0, InstallSequenceThread, this, 0, nullptr);
  m_worker = reinterpret_cast<HANDLE>(thread);
  if (!m_worker) {
    LogW(1, L"%s: Failed to start the installation thread", L"InstallDialog::StartWorker");
    return false;
  }
  return true;
}

void InstallDialog::UpdateVisibleStrings() {
  LogW(5, L"%s: ", L"InstallDialog::UpdateVisibleStrings");
  SetWindowTextW(m_window, Setting(L"Title").c_str());
  SetDlgItemTextW(m_window, kTitleId, Text(L"InfoText3").c_str());
  SetDlgItemTextW(m_window, kTextId, Text(L"InfoText2").c_str());
  SetDlgItemTextW(m_window, kCancelId, Text(L"Cancel").c_str());
  if (HICON icon = LoadIconW(GetModuleInstance(), MAKEINTRESOURCEW(107))) {
    SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  InvalidateRect(m_window, nullptr, FALSE);
  HWND active = GetActiveWindow();
  SetActiveWindow(nullptr);
  SetActiveWindow(active);
}

INT_PTR InstallDialog::OnCommand(int id, int event) {
  LogW(5, L"%s: id %d event %d", L"InstallDialog::OnCommand", id, event);
  if (id == IDCANCEL || id == kCaptionCloseId || id == kCancelId) {
    OnDecline();
  } else if (id == kWorkerDoneId) {
    // A code that arrives while the cancel question is open waits for its
    // answer: the user's Yes must still turn a failure into a quiet cancel,
    // and the page must not end under the open question.
    if (m_asking) {
      LogW(5, L"%s: Result %d arrived while asking, handling it after the answer", L"InstallDialog::OnCommand",
           event);
      m_pendingCode = event;
    } else {
      FinishWithCode(event);
    }
  }
  return 0;
}

void InstallDialog::FinishWithCode(int code) {
  const int result = ShowOutcome(code);
  if (m_worker) {
    WaitForSingleObject(m_worker, INFINITE);
    CloseHandle(m_worker);
    m_worker = nullptr;
  }
  LogW(5, L"%s: Queuing end dialog", L"InstallDialog::OnCommand");
  EndDialog(m_window, result);
}

int InstallDialog::ShowOutcome(int code) {
  const wchar_t* self = L"InstallDialog::OnCommand";
  const bool aborted = GetState() == kAborted;
  int result = aborted ? kCancelled : kFailed;
  m_progress.StopAnimation();
  if (aborted) return result;
  const std::wstring title = Setting(L"Title");
  switch (code) {
    case kCodeInstalled:
      result = kSucceeded;
      break;
    case kCodeRebootRequired:
      LogW(5, L"%s: Displaying reboot required dialog", self);
      if (ShowMessageDialog(title, Text(L"Reboot"), m_window, MB_YESNO, true) == IDYES) {
        if (!WinShutdown::Restart()) LogW(3, L"%s: WinShutdown::Restart failed.", self);
      }
      result = kRebootRequired;
      break;
    case kCodeDownloadFailed:
      LogW(5, L"%s: Displaying download failed dialog", self);
      ShowMessageDialog(title, GetDownloadErrorText(), m_window, MB_ICONERROR, false);
      result = kFailed;
      break;
    case kCodeBadSignature:
      LogW(5, L"%s: Displaying signature failed dialog", self);
      ShowMessageDialog(title, Text(L"Signature"), m_window, MB_ICONERROR, false);
      result = kBadSignature;
      break;
    case kCodeBadStubVersion:
      LogW(5, L"%s: Displaying stub version failed dialog", self);
      ShowMessageDialog(title, Text(L"StubVersion"), m_window, MB_ICONERROR, false);
      result = kBadStubVersion;
      break;
    case kCodeInstallFailed:
      LogW(5, L"%s: Displaying install failed dialog", self);
      ShowMessageDialog(title, Text(L"InstallerBroken"), m_window, MB_ICONERROR, false);
      result = kFailed;
      break;
    case kCodeInstallerBusy:
      LogW(5, L"%s: Displaying MsiBusy dialog", self);
      ShowMessageDialog(title, WithProduct(L"MsiBusy"), m_window, MB_ICONERROR, false);
      result = kFailed;
      break;
    default:
      result = kFailed;
      break;
  }
  return result;
}

INT_PTR InstallDialog::OnCtlColor(HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  if (id == kCancelId) StyleDialogBase::OnCtlColor(dc, control);
  if (id == kCancelId || id == kCaptionCloseId || id == kTextId || id == kPercentId) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  }
  if (id == kTitleId) {
    SetTextColor(dc, RGB(64, 64, 64));
    SelectObject(dc, m_titleFont);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
  }
  return 0;
}

INT_PTR InstallDialog::OnDestroy() {
  LogW(5, L"%s: ", L"InstallDialog::OnDestroy");
  return 0;
}

void InstallDialog::DisableCloseContextMenu() {
  if (HMENU menu = GetSystemMenu(m_window, FALSE)) {
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }
}

void InstallDialog::DisableCancel() {
  EnableWindow(GetDlgItem(m_window, kCancelId), FALSE);
  EnableWindow(GetDlgItem(m_window, kCaptionCloseId), FALSE);
  DisableCloseContextMenu();
}

void InstallDialog::OnDecline() {
  const wchar_t* self = L"InstallDialog::OnDecline";
  {
    // The worker may be at its decision point right now: opening the
    // question and closing it for good exclude each other.
    Lock lock(m_lock);
    if (m_questionClosed) return;
    if (!IsWindowEnabled(GetDlgItem(m_window, kCancelId)) &&
        !IsWindowEnabled(GetDlgItem(m_window, kCaptionCloseId))) {
      return;
    }
    if (m_asking) return;
    ResetEvent(m_decideEvent);
    m_state = kDeciding;
    m_asking = true;
  }
  LogW(4, L"%s: User clicked Decline. Asking whether to cancel the installation...", self);
  const int answer = ShowMessageDialog(Setting(L"Title"), Text(L"Sure"), m_window, MB_YESNO, false);
  m_asking = false;
  if (answer == IDYES) {
    DisableCancel();
    LogW(4, L"%s: User cancelled the installation. Queuing abort", self);
    SetState(kAborted);
    m_downloader.abort();
    SetEvent(m_decideEvent);
    if (m_pendingCode >= 0) {
      FinishWithCode(m_pendingCode);
    } else if (!m_worker) {
      EndDialog(m_window, kCancelled);
    }
  } else {
    LogW(4, L"%s: User decided to not to cancel installation after all.", self);
    SetState(kRunning);
    SetEvent(m_decideEvent);
    if (m_pendingCode >= 0) FinishWithCode(m_pendingCode);
  }
}

int InstallDialog::CloseCancelQuestion() {
  Lock lock(m_lock);
  m_questionClosed = true;
  return m_state;
}

unsigned __stdcall InstallDialog::InstallSequenceThread(void* param) {
  InstallDialog* page = static_cast<InstallDialog*>(param);
  LogW(5, L"%s: ", kWorkerName);
  try {
    const int code = page->RunInstallSequence();
    PostDialogCommand(page, kWorkerDoneId, code);
    return 0;
  } catch (const WorkerAbort& abort) {
    PostDialogCommand(page, kWorkerDoneId, abort.code);
  } catch (const std::exception& e) {
    LogW(1, L"%s: Unhandled exception in install thread: %S", kWorkerName, e.what());
    PostDialogCommand(page, kWorkerDoneId, kCodeInstallFailed);
  }
  return 1;
}

int InstallDialog::RunInstallSequence() {
  LarkProperties* store = LarkProperties::Instance();
  if (GetState() == kAborted) {
    LogW(3, L"%s: Installation sequence was aborted", kWorkerName);
    throw WorkerAbort{kCodeAborted};
  }
  std::wstring missing;
  if (!store->CheckMandatorySettings(missing)) {
    LogW(1, L"%s: Mandatory settings missing: %s Aborting.", kWorkerName, missing.c_str());
    throw WorkerAbort{kCodeInstallFailed};
  }

  std::wstring customizations, localizations, help, settings;
  if (!m_local) {
    LogW(5, L"%s: Not local installation, need to download files", kWorkerName);
    const std::wstring folder = store->GetTempDirectory();
    struct Package {
      int minimum, maximum;
      const wchar_t* file;
      const wchar_t* urlSetting;
      std::wstring* path;
      std::wstring url;
    } packages[] = {
        {2, 4, L"langcust.zip", L"BCXBasicCustomizationUrl", &customizations, L""},
        {4, 6, L"localization.zip", L"BCXBasicLocalizationUrl", &localizations, L""},
        {6, 8, L"help.zip", L"BCXBasicHelpUrl", &help, L""},
        {8, 10, L"settings.zip", L"BCXBasicSettingsUrl", &settings, L""},
    };
    for (Package& package : packages) {
      m_progress.SetRange(package.minimum, package.maximum);
      *package.path = MakePath(folder, package.file);
      package.url = store->GetSetting(package.urlSetting);
      Download(package.url, *package.path);
    }
    RecordPackageOrigins(packages[0].url, customizations, packages[1].url, localizations, packages[2].url, help,
                         packages[3].url, settings);
    m_progress.SetRange(10, 70);
    if (!m_operatorOnly) {
      const std::wstring installer = MakePath(folder, L"installer.msi");
      store->SetInstallerPath(installer);
      Download(store->GetSetting(L"LarkInstallerDownloadURL"), installer);
    }
  } else if (!store->GetCustomizationDirectory().empty()) {
    const std::wstring prefix = m_language + L"_";
    customizations = LocalPackage(store->GetCustomizationDirectory(), prefix + L"langcust.zip");
    help = LocalPackage(store->GetHelpDirectory(), prefix + L"help.zip");
    localizations = LocalPackage(store->GetLocalizationDirectory(), prefix + L"localization.zip");
    settings = LocalPackage(store->GetSettingsDirectory(), L"settings.zip");
  }

  DisableCancel();
  // Decision point. Closing the question and reading the state happen
  // under the lock that OnDecline takes to open it; the window calls stay
  // outside it, since they wait for the page's thread.
  if (CloseCancelQuestion() == kDeciding) {
    LogW(5, L"%s: Waiting for user to decide whether to abort or not", kWorkerName);
    SetHeaderText(Text(L"InfoText5"));
    WaitForSingleObject(m_decideEvent, INFINITE);
  }
  if (GetState() != kRunning) {
    LogW(3, L"%s: Installation sequence was aborted", kWorkerName);
    throw WorkerAbort{kCodeAborted};
  }

  SetHeaderText(WithProduct(L"InfoText4"));
  m_progress.SetRange(70, 100);
  store->SetLateboundCustomizationPath(customizations);
  store->SetLateboundLocalizationPath(localizations);
  store->SetLateboundHelpPath(help);
  store->SetLateboundSettingsPath(settings);

  LarkInstaller installer(m_language, m_targetDirectory, m_lateboundTargetDirectory, m_licenseTermsHash,
                          m_reinstall);
  int installed;
  if (m_operatorOnly) {
    LogW(4, L"%s: Skipping MSI installation. Install new operator", kWorkerName);
    installed = m_owner && m_owner->InstallNewOperator() == 0 ? 0 : LarkInstaller::kNoTargetDirectory;
    if (installed == 0) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  } else {
    LogW(4, L"%s: Installing MSI package", kWorkerName);
    installed = installer.CheckAndInstall(store->GetInstallerPath(), &m_progress);
  }
  m_progress.SetPos(100);

  switch (installed) {
    case LarkInstaller::kInstalled:
      if (!m_operatorOnly && installer.IsRebootRequired()) return kCodeRebootRequired;
      RunUIHosters();
      LoadInstallerPostRunner();
      LogW(5, L"%s: Allowing operation", kWorkerName);
      if (m_allowedToOperate) SetEvent(m_allowedToOperate);
      LogW(5, L"%s: Starting to wait", kWorkerName);
      if (m_allowedToOperate) WaitForSingleObject(m_allowedToOperate, INFINITE);
      Sleep(1000);
      LogW(5, L"%s: Finished", kWorkerName);
      return kCodeInstalled;
    case LarkInstaller::kSignatureRefused:
      LogW(5, L"%s: Installation failed at signature checking", kWorkerName);
      return kCodeBadSignature;
    case LarkInstaller::kUnsupportedVersion:
      LogW(5, L"%s: Installation failed at stub version checking", kWorkerName);
      return kCodeBadStubVersion;
    case LarkInstaller::kInstallerBusy:
      LogW(5, L"%s: Installation failed because msiexec is busy", kWorkerName);
      return kCodeInstallerBusy;
    default:
      LogW(5, L"%s: Installation failed with error '%d'", kWorkerName, installed);
      return kCodeInstallFailed;
  }
}

bool InstallDialog::Download(const std::wstring& url, const std::wstring& targetPath) {
  LogW(5, L"%s: Downloading '%s' to '%s'", L"InstallDialog::Download", url.c_str(), targetPath.c_str());
  m_lastUrl = url;
  // A cancel confirmed between two files has no running job to end; it
  // ends the next one before it starts.
  if (GetState() != kAborted && m_downloader.download(url, targetPath, &m_progress)) return true;
  LogW(1, L"%s: Failed to download '%s'", L"InstallDialog::Download", url.c_str());
  throw WorkerAbort{kCodeDownloadFailed};
}

std::wstring InstallDialog::GetDownloadErrorText() {
  const wchar_t* self = L"InstallDialog::GetDownloadErrorText";
  std::wstring dnsName = m_downloader.GetDnsQueryName();
  const std::wstring address = m_downloader.GetConnectAddress();
  const bool connected = m_downloader.IsConnectionEstablished();
  const bool started = m_downloader.IsDownloadStarted();
  LogW(4, L"%s: DNS Query Name: %s", self, dnsName.c_str());
  LogW(4, L"%s: Connect address: %s", self, address.c_str());
  LogW(4, L"%s: Connection established: %s", self, connected ? L"Yes" : L"No");
  LogW(4, L"%s: Download started: %s", self, started ? L"Yes" : L"No");
  // A connection refused before any name lookup leaves the read-out empty;
  // the message must still name the server.
  if (dnsName.empty()) dnsName = HostOf(m_lastUrl);
  if (!connected) return ReplaceFirst(L"%SERVER%", Text(L"Error11"), dnsName);
  if (started) return ReplaceFirst(L"%SERVER%", Text(L"Error13"), address);
  return ReplaceFirst(L"%SERVER%", Text(L"Error12"), address);
}
