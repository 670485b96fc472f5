#include "download/DownloadHelper.h"

// Placeholder bodies; the facade proper replaces them.
Download_Helper::Download_Helper() {}
Download_Helper::~Download_Helper() {}
std::wstring Download_Helper::GetLibraryVersion() { return L"KhDownloadLib version 1.0.34399"; }
int Download_Helper::createDownloaderJob() { return 0; }
bool Download_Helper::download(const std::wstring&, const std::wstring&, ProgressSink*) { return false; }
void Download_Helper::abort() {}
void Download_Helper::SetTimeout(int seconds) { m_timeout = seconds; }
bool Download_Helper::IsConnectionEstablished() { return false; }
bool Download_Helper::IsDownloadStarted() { return false; }
std::wstring Download_Helper::GetDnsQueryName() { return std::wstring(); }
std::wstring Download_Helper::GetConnectAddress() { return std::wstring(); }
int Download_Helper::ProgressCallback(const wchar_t*, DWORD, DWORD, void*) { return 0; }
