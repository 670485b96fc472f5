// lark_drive: plays the person in front of the real installer. It starts a
// program, follows it and every process it starts (the elevated copy), and
// runs a script of steps on their wizard pages from outside the process:
// waiting for a page, reading its texts, choosing a language, clicking
// buttons and links, answering message pages and taking screenshots.
//
//   lark_drive.exe SCRIPT OUTDIR -- PROGRAM [ARGUMENTS...]
//
// SCRIPT holds one step per line ('#' starts a comment):
//   page NAME [SECONDS]         wait for a page: welcome, licence, privacy,
//                               install or message (default 60 s)
//   expect ID TEXT              control ID of the current page shows TEXT
//   wait-text ID TEXT           wait (up to 30 s) until control ID shows TEXT
//   wait-range MIN MAX [SECONDS] wait until the page's percentage lies in
//                               [MIN, MAX] (read from control 1012)
//   wait-enabled ID             wait (up to 60 s) until control ID is enabled
//   progress NAME               follow the percentage (control 1012) until the
//                               page ends or a message page opens; print the
//                               values seen and take a screenshot NAME-N at
//                               the first value of each download band and of
//                               the installation (2, 4, 6, 8, 10, 70)
//   select ID TEXT              choose TEXT in combo box ID, as a user does
//   click ID                    press button (or link) ID of the current page
//   link ID                     activate link ID from the keyboard (space on
//                               the link), as a mouse click needs the cursor
//                               over the link's text
//   answer BUTTON [SHOT [SECONDS]]  wait (default 60 s) for a message page,
//                               print its text, take screenshot SHOT of it
//                               and press ok, yes or no
//   message TEXT                the last message page's text was TEXT
//   shot NAME                   screenshot of the current page: OUTDIR\NAME.bmp
//   sleep MS
//   gone NAME [SECONDS]         wait until no page NAME is on screen
//   exit CODE [SECONDS]         wait for the started program; its exit code
// TEXT runs to the end of the line; "\n" stands for a line break. Every step
// and every text read is printed; the first failing step ends the run with
// exit code 1 (2 for a bad script), after a screenshot "failure".
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring g_outDir;
HANDLE g_process = nullptr;
DWORD g_rootId = 0;
HWND g_page = nullptr;
std::wstring g_lastMessage;

void Say(const wchar_t* format, ...) {
  wchar_t text[4096];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 4095, format, args);
  va_end(args);
  text[4095] = 0;
  SYSTEMTIME now;
  GetLocalTime(&now);
  // UTF-8 on stdout: the scripts read it from a pipe.
  char utf8[16384];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
  if (n <= 0) return;
  printf("%02d:%02d:%02d.%03d %s\n", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, utf8);
  fflush(stdout);
}

// The started program and every process descended from it.
std::set<DWORD> Family() {
  std::set<DWORD> family;
  if (!g_rootId) return family;
  family.insert(g_rootId);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return family;
  std::vector<PROCESSENTRY32W> all;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) all.push_back(entry);
  CloseHandle(snapshot);
  for (bool grew = true; grew;) {
    grew = false;
    for (const PROCESSENTRY32W& e : all) {
      if (!family.count(e.th32ProcessID) && family.count(e.th32ParentProcessID)) {
        family.insert(e.th32ProcessID);
        grew = true;
      }
    }
  }
  return family;
}

bool Has(HWND w, int id) { return GetDlgItem(w, id) != nullptr; }

// Which wizard page a dialog is, by the controls that only it has.
std::wstring PageKind(HWND w) {
  if (Has(w, 1010)) return L"message";
  if (Has(w, 1021) && Has(w, 1002)) return L"welcome";
  if (Has(w, 1023) && Has(w, 1000)) return L"licence";
  if (Has(w, 1023)) return L"privacy";
  if (Has(w, 1012) && Has(w, 1001)) return L"install";
  return L"other";
}

struct Search {
  std::set<DWORD> family;
  std::wstring kind;
  HWND found;
};

BOOL CALLBACK FindPage(HWND w, LPARAM param) {
  Search* s = reinterpret_cast<Search*>(param);
  wchar_t name[32] = {};
  GetClassNameW(w, name, 32);
  if (wcscmp(name, L"#32770") != 0 || !IsWindowVisible(w)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (!s->family.count(pid)) return TRUE;
  if (PageKind(w) == s->kind) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindPageOf(const std::wstring& kind) {
  Search s = {Family(), kind, nullptr};
  EnumWindows(FindPage, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::wstring TextOf(HWND w) {
  wchar_t text[4096] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &got);
  return text;
}

std::wstring ItemTextOf(HWND page, int id) {
  HWND item = GetDlgItem(page, id);
  return item ? TextOf(item) : L"<no control " + std::to_wstring(id) + L">";
}

void Describe(HWND page) {
  static const int kIds[] = {1003, 1004, 1010, 1012, 1021, 1000, 1001, 1013, 1024, 1025, 2, 6, 7, 1};
  Say(L"  page \"%s\" (process %lu)", TextOf(page).c_str(), [&] {
    DWORD pid = 0;
    GetWindowThreadProcessId(page, &pid);
    return pid;
  }());
  for (int id : kIds) {
    HWND item = GetDlgItem(page, id);
    if (!item || !IsWindowVisible(item)) continue;
    std::wstring text = TextOf(item);
    if (text.empty()) continue;
    Say(L"    [%d]%s %s", id, IsWindowEnabled(item) ? L"" : L" (disabled)", text.c_str());
  }
}

bool Screenshot(HWND page, const std::wstring& name) {
  RECT r = {};
  if (!page || !GetWindowRect(page, &r)) return false;
  // The drop shadow around the page belongs in the picture.
  InflateRect(&r, 8, 8);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
  file.bfSize = file.bfOffBits + size;
  const std::wstring path = g_outDir + L"\\" + name + L".bmp";
  bool ok = false;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
         WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr) &&
         WriteFile(out, bits, size, &written, nullptr);
    CloseHandle(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  Say(L"  screenshot %s%s", path.c_str(), ok ? L"" : L" FAILED");
  return ok;
}

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'n') {
      out += L"\r\n";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Newlines in a control's text as the scripts write them.
std::wstring Flatten(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') continue;
    out += text[i] == L'\n' ? std::wstring(L"\\n") : std::wstring(1, text[i]);
  }
  return out;
}

template <typename F>
bool WaitUntil(DWORD ms, F condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= ms) return false;
    Sleep(20);
  }
  return true;
}

DWORD Seconds(const std::vector<std::wstring>& words, size_t index, DWORD fallback) {
  return (words.size() > index ? static_cast<DWORD>(_wtoi(words[index].c_str())) : fallback) * 1000;
}

void PostClick(HWND page, int id) {
  HWND item = GetDlgItem(page, id);
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

// Runs one step; false when it failed.
bool Step(const std::vector<std::wstring>& words, const std::wstring& rest) {
  const std::wstring& verb = words[0];
  if (verb == L"page") {
    HWND found = nullptr;
    if (!WaitUntil(Seconds(words, 2, 60), [&] { return (found = FindPageOf(words[1])) != nullptr; })) {
      Say(L"  no %s page appeared", words[1].c_str());
      return false;
    }
    // Let the page finish its first paint and its shadow.
    Sleep(300);
    g_page = found;
    Describe(g_page);
    return true;
  }
  if (verb == L"gone") {
    return WaitUntil(Seconds(words, 2, 60), [&] { return FindPageOf(words[1]) == nullptr; });
  }
  if (verb == L"expect" || verb == L"wait-text") {
    const int id = _wtoi(words[1].c_str());
    const std::wstring want = Unescape(rest);
    std::wstring seen;
    const DWORD ms = verb == L"expect" ? 0 : 30000;
    const bool ok = WaitUntil(ms, [&] { return (seen = ItemTextOf(g_page, id)) == want; });
    Say(L"  [%d] %s", id, Flatten(seen).c_str());
    if (!ok) Say(L"  expected: %s", Flatten(want).c_str());
    return ok;
  }
  if (verb == L"wait-range") {
    const int minimum = _wtoi(words[1].c_str()), maximum = _wtoi(words[2].c_str());
    std::wstring seen;
    const bool ok = WaitUntil(Seconds(words, 3, 60), [&] {
      seen = ItemTextOf(g_page, 1012);
      const int value = _wtoi(seen.c_str());
      return !seen.empty() && iswdigit(seen[0]) && value >= minimum && value <= maximum;
    });
    Say(L"  percentage %s", seen.c_str());
    return ok;
  }
  if (verb == L"wait-enabled") {
    HWND item = GetDlgItem(g_page, _wtoi(words[1].c_str()));
    return item && WaitUntil(60000, [&] { return IsWindowEnabled(item) != FALSE; });
  }
  if (verb == L"progress") {
    static const int kBands[] = {2, 4, 6, 8, 10, 70};
    std::wstring seen;
    int last = -1, next = 0;
    const DWORD start = GetTickCount();
    while (IsWindow(g_page) && IsWindowVisible(g_page) && !FindPageOf(L"message") &&
           GetTickCount() - start < 300000) {
      const std::wstring text = ItemTextOf(g_page, 1012);
      if (!text.empty() && iswdigit(text[0])) {
        const int value = _wtoi(text.c_str());
        if (value != last) {
          seen += L" " + std::to_wstring(value);
          last = value;
          if (next < 6 && value >= kBands[next]) {
            while (next < 5 && value >= kBands[next + 1]) ++next;
            Screenshot(g_page, words[1] + L"-" + std::to_wstring(kBands[next]));
            ++next;
          }
        }
      }
      Sleep(10);
    }
    Say(L"  percentages:%s", seen.c_str());
    return true;
  }
  if (verb == L"select") {
    HWND combo = GetDlgItem(g_page, _wtoi(words[1].c_str()));
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t item[256] = {};
      if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) >= 255) continue;
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      if (rest == item) {
        SendMessageW(combo, CB_SETCURSEL, i, 0);
        SendMessageW(g_page, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        Sleep(200);
        Describe(g_page);
        return true;
      }
    }
    Say(L"  no item \"%s\" among %ld", rest.c_str(), static_cast<long>(count));
    return false;
  }
  if (verb == L"click") {
    const int id = _wtoi(words[1].c_str());
    HWND item = GetDlgItem(g_page, id);
    if (!item) {
      Say(L"  no control %d", id);
      return false;
    }
    if (!IsWindowEnabled(item)) Say(L"  note: control %d is disabled", id);
    PostClick(g_page, id);
    return true;
  }
  if (verb == L"link") {
    HWND item = GetDlgItem(g_page, _wtoi(words[1].c_str()));
    if (!item) return false;
    PostMessageW(item, WM_CHAR, L' ', 0);
    return true;
  }
  if (verb == L"answer") {
    HWND message = nullptr;
    if (!WaitUntil(Seconds(words, 3, 60), [&] { return (message = FindPageOf(L"message")) != nullptr; })) {
      Say(L"  no message page appeared");
      return false;
    }
    Sleep(300);
    g_lastMessage = ItemTextOf(message, 1010);
    Describe(message);
    const int button = words[1] == L"yes" ? IDYES : words[1] == L"no" ? IDNO : IDOK;
    if (!IsWindowVisible(GetDlgItem(message, button))) {
      Say(L"  the message page has no %s button", words[1].c_str());
      return false;
    }
    if (words.size() > 2) Screenshot(message, words[2]);
    PostClick(message, button);
    return WaitUntil(10000, [&] { return !IsWindow(message) || !IsWindowVisible(message); });
  }
  if (verb == L"message") {
    const bool ok = Flatten(g_lastMessage) == rest;
    if (!ok) Say(L"  expected message: %s", rest.c_str());
    return ok;
  }
  if (verb == L"shot") return Screenshot(g_page, words[1]);
  if (verb == L"sleep") {
    Sleep(static_cast<DWORD>(_wtoi(words[1].c_str())));
    return true;
  }
  if (verb == L"exit") {
    const DWORD wait = WaitForSingleObject(g_process, Seconds(words, 2, 120));
    DWORD code = 0;
    GetExitCodeProcess(g_process, &code);
    Say(L"  exit code %lu%s", code, wait == WAIT_OBJECT_0 ? L"" : L" (still running)");
    return wait == WAIT_OBJECT_0 && code == static_cast<DWORD>(_wtoi(words[1].c_str()));
  }
  Say(L"  unknown step");
  return false;
}

std::vector<std::wstring> ReadScript(const std::wstring& path) {
  std::vector<std::wstring> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(file);
  const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int separator = 0;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--") == 0) {
      separator = i;
      break;
    }
  }
  if (separator != 3 || separator + 1 >= argc) {
    fwprintf(stderr, L"usage: lark_drive SCRIPT OUTDIR -- PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  const std::vector<std::wstring> script = ReadScript(argv[1]);
  if (script.empty()) {
    fwprintf(stderr, L"cannot read %ls\n", argv[1]);
    return 2;
  }
  g_outDir = argv[2];
  CreateDirectoryW(g_outDir.c_str(), nullptr);
  std::wstring commandLine;
  for (int i = separator + 1; i < argc; ++i) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += std::wstring(L"\"") + argv[i] + L"\"";
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    Say(L"cannot start %s: error %lu", commandLine.c_str(), GetLastError());
    return 1;
  }
  CloseHandle(info.hThread);
  g_process = info.hProcess;
  g_rootId = info.dwProcessId;
  Say(L"started %s (process %lu)", commandLine.c_str(), g_rootId);
  const DWORD started = GetTickCount();

  int lineNumber = 0;
  for (const std::wstring& raw : script) {
    ++lineNumber;
    std::wstring line = raw;
    const size_t first = line.find_first_not_of(L" \t");
    if (first == std::wstring::npos || line[first] == L'#') continue;
    line = line.substr(first);
    std::vector<std::wstring> words;
    size_t at = 0;
    std::wstring rest;
    while (at < line.size()) {
      const size_t end = line.find(L' ', at);
      words.push_back(line.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
      if (end == std::wstring::npos) break;
      at = end + 1;
    }
    // TEXT of "expect", "wait-text" and "select" starts after the id.
    const size_t textWords = 2;
    size_t cut = 0;
    for (size_t i = 0; i < textWords && cut != std::wstring::npos; ++i) {
      cut = line.find(L' ', cut);
      if (cut != std::wstring::npos) ++cut;
    }
    if (words[0] == L"message") rest = line.size() > 8 ? line.substr(8) : L"";
    else if (cut != std::wstring::npos) rest = line.substr(cut);
    Say(L"step %d (%.1f s): %s", lineNumber, (GetTickCount() - started) / 1000.0, line.c_str());
    if (!Step(words, rest)) {
      Say(L"FAILED at step %d: %s", lineNumber, line.c_str());
      Screenshot(g_page && IsWindow(g_page) ? g_page : GetDesktopWindow(), L"failure");
      for (DWORD pid : Family()) {
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
          TerminateProcess(p, 255);
          CloseHandle(p);
        }
      }
      return 1;
    }
  }
  Say(L"done after %.1f s", (GetTickCount() - started) / 1000.0);
  CloseHandle(g_process);
  return 0;
}
