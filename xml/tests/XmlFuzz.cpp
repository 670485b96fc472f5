// Mutation fuzzer for the XML engine. The parent process runs the cases in
// a child process and watches it through shared memory: a child that dies
// is a crash at the case it was running, one that stays on a case longer
// than the time limit is a hang; either way the input is saved and a new
// child goes on with the next case. Cases are derived from the seed and
// their number alone, so any case can be replayed with --from/--cases.
//
//   xml_fuzz --cases N --seed S --corpus DIR [--timeout-ms T] [--out DIR]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/XmlDocument.h"
#include "xml/XmlEntities.h"
#include "xml/XmlFile.h"

namespace {

struct Shared {
  volatile LONG current;
  volatile LONG finished;
  volatile LONG invariantFailures;
  volatile LONG firstInvariantCase;
};

struct Options {
  long cases = 1000;
  unsigned long long seed = 1;
  long from = 0;
  DWORD timeoutMs = 5000;
  std::wstring corpus;
  std::wstring out;
  std::wstring shared;
  bool child = false;
};

// SplitMix64: small, fast and identical on every build.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
};

std::vector<std::string> LoadCorpus(const std::wstring& folder) {
  std::vector<std::string> files;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring path = folder + L"\\" + data.cFileName;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) continue;
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
    fclose(f);
    files.push_back(bytes);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return files;
}

const char* const kTokens[] = {
    "<", ">", "/>", "</", "<![CDATA[", "]]>", "<!--", "-->", "<?xml version=\"1.0\"?>", "<?", "?>",
    "&amp;", "&#x1F600;", "&#0;", "&#99999999;", "&", ";", "=", "\"", "'", "<!DOCTYPE x [", "<!ENTITY a 'b'>",
    "]>", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "<stubCustomizations>", "<stubCustomization>",
    "</stubCustomization>", "<language>", "</language>", "<response>", "</response>",
    "encoding=\"UTF-16\"", "encoding=\"Shift_JIS\"", "encoding=\"UTF-32\"", "encoding=\"utf-32be\"",
    "encoding=\"nonsense\"", "<html><head><meta http-equiv=\"Content-Type\" content=\"charset=utf-16\">",
    "NUL", "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\x81", "\t\r\n ",
};

std::string Mutate(const std::vector<std::string>& corpus, uint64_t seed, long index) {
  Random rng(seed * 0x100000001B3ull + static_cast<uint64_t>(index) * 0x9E3779B97F4A7C15ull + 7);
  std::string data = corpus[rng.Below(corpus.size())];
  size_t rounds = 1 + rng.Below(8);
  for (size_t r = 0; r < rounds; ++r) {
    size_t size = data.size();
    size_t at = rng.Below(size + 1);
    switch (rng.Below(9)) {
      case 0:
        if (size) data[rng.Below(size)] ^= static_cast<char>(1 << rng.Below(8));
        break;
      case 1:
        data.insert(at, 1, static_cast<char>(rng.Below(256)));
        break;
      case 2: {
        size_t count = rng.Below(std::min<size_t>(size - std::min(at, size), 64) + 1);
        data.erase(at, count);
        break;
      }
      case 3: {
        size_t count = rng.Below(std::min<size_t>(size - std::min(at, size), 128) + 1);
        data.insert(rng.Below(size + 1), data.substr(at, count));
        break;
      }
      case 4:
        data.resize(at);
        break;
      case 5:
      case 6: {
        const size_t tokenCount = sizeof(kTokens) / sizeof(kTokens[0]);
        size_t t = rng.Below(tokenCount);
        std::string token = std::string(kTokens[t]) == "NUL" ? std::string(1, '\0') : std::string(kTokens[t]);
        data.insert(at, token);
        break;
      }
      case 7: {
        const std::string& other = corpus[rng.Below(corpus.size())];
        size_t from = rng.Below(other.size() + 1);
        data.insert(at, other.substr(from, rng.Below(256)));
        break;
      }
      case 8: {
        // Repetition: deep nesting or long runs.
        size_t count = rng.Below(std::min<size_t>(size - std::min(at, size), 16) + 1);
        std::string piece = data.substr(at, count);
        if (piece.empty()) piece = "<a>";
        size_t times = 1 + rng.Below(rng.Below(4) == 0 ? 20000 : 200);
        std::string run;
        for (size_t i = 0; i < times && run.size() < (1u << 20); ++i) run += piece;
        data.insert(at, run);
        break;
      }
    }
  }
  return data;
}

// Structural checks of the index against the text; returns a reason or null.
const char* CheckIndex(const XmlDocument& doc) {
  const int32_t used = doc.UsedRecords();
  const int32_t size = static_cast<int32_t>(doc.Text().size());
  std::vector<char> seen(static_cast<size_t>(used > 0 ? used : 1), 0);
  int32_t reached = 0;
  // Iterative walk over the child lists from the document record.
  std::vector<int32_t> pending;
  for (int32_t c = doc.RecordAt(0).firstChild; c; c = doc.RecordAt(c).next) {
    if (c <= 0 || c >= used || seen[static_cast<size_t>(c)]) return "bad or repeated top-level link";
    seen[static_cast<size_t>(c)] = 1;
    pending.push_back(c);
  }
  while (!pending.empty()) {
    int32_t n = pending.back();
    pending.pop_back();
    ++reached;
    XmlElementRecord r = doc.RecordAt(n);
    if (r.start < 0 || r.length < r.StartTagLength() || r.start + r.length > size) return "record out of the text";
    if (doc.Text()[static_cast<size_t>(r.start)] != L'<') return "record does not start at '<'";
    if (r.next) {
      XmlElementRecord s = doc.RecordAt(r.next);
      if (s.start < r.start + r.length) return "sibling overlaps";
    }
    if (r.parent) {
      XmlElementRecord p = doc.RecordAt(r.parent);
      if (r.start <= p.start || r.start + r.length > p.start + p.length) return "child outside its parent";
    }
    for (int32_t c = r.firstChild; c; c = doc.RecordAt(c).next) {
      if (c <= 0 || c >= used || seen[static_cast<size_t>(c)]) return "bad or repeated child link";
      if (doc.RecordAt(c).parent != n) return "child with another parent";
      seen[static_cast<size_t>(c)] = 1;
      pending.push_back(c);
    }
  }
  if (reached != used - 1) return "records not reachable";
  return nullptr;
}

// The walk the settings store makes over a response file.
void WalkResponse(XmlDocument& doc) {
  if (!doc.FindElement(L"response")) return;
  while (doc.FindChildElement(nullptr)) {
    std::wstring tag = doc.GetChildTagName();
    if (tag != L"stubCustomizations") {
      doc.GetChildData();
      continue;
    }
    XmlDocument block(doc.GetChildSubDoc().c_str());
    while (block.FindChildElement(L"stubCustomization")) {
      block.IntoElement();
      if (block.FindChildElement(L"language")) block.GetChildData();
      block.OutOfElement();
      block.IntoElement();
      while (block.FindChildElement(nullptr)) {
        block.GetChildTagName();
        block.GetChildData();
      }
      block.OutOfElement();
    }
  }
}

const char* RunCase(const std::string& bytes, const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return nullptr;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  {
    // Reading in small steps exercises the cuts between characters.
    XmlFileStream stream(kXmlFlagReadFile);
    if (stream.Open(path.c_str())) {
      std::wstring chunks;
      int32_t step = 3 + static_cast<int32_t>(bytes.size() % 61);
      int32_t rounds = 0;
      while (stream.position() < stream.fileSize()) {
        stream.SetStep(step);
        int32_t before = stream.position();
        if (!stream.ReadText(chunks)) break;
        if (stream.position() <= before) return "chunked read makes no progress";
        if (++rounds > stream.fileSize() + 1) return "chunked read does not end";
      }
      stream.Close();
    }
  }
  XmlDocument doc;
  doc.ReadWholeFile(path.c_str());
  doc.ParseDocument();
  if (const char* why = CheckIndex(doc)) return why;
  WalkResponse(doc);

  // The bytes as raw UTF-16 units, lone surrogates included.
  std::wstring wide(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  XmlDocument raw(wide.c_str());
  if (const char* why = CheckIndex(raw)) return why;

  const std::wstring& text = doc.Text();
  if (UnescapeXmlText(EscapeXmlText(text.c_str()).c_str()) != std::wstring(text.c_str()))
    return "escape and unescape do not round-trip";
  if (text.size() < 20000) {
    XmlDocument edit(text.c_str());
    if (edit.FindElement(nullptr)) {
      edit.SetAttribute(edit.CurrentPosition(), L"fz", L"<\"&'>");
      edit.AddElement(L"child", L"v&<", kXmlAddAsChild);
      edit.AddElement(L"first", nullptr, kXmlAddAsChild | kXmlAddAtStart);
      edit.AddElement(L"next", L"x]]>y", kXmlAddCData);
      if (const char* why = CheckIndex(edit)) return why;
      XmlDocument again(edit.Text().c_str());
      if (again.UsedRecords() != edit.UsedRecords()) return "edited index differs from a re-parse";
    }
  }
  return nullptr;
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  fprintf(stderr, "xml_fuzz: exception 0x%08lx\n", info->ExceptionRecord->ExceptionCode);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

int RunChild(const Options& options) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(OnCrash);
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, options.shared.c_str());
  if (!mapping) return 90;
  Shared* shared = static_cast<Shared*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
  if (!shared) return 91;
  std::vector<std::string> corpus = LoadCorpus(options.corpus);
  if (corpus.empty()) return 92;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = std::wstring(temp) + L"xml-fuzz-" + std::to_wstring(GetCurrentProcessId()) + L".xml";
  // Checks of the harness itself: a crash or a hang planted at one case.
  wchar_t planted[32] = L"";
  long crashAt = GetEnvironmentVariableW(L"XML_FUZZ_CRASH_AT", planted, 32) ? wcstol(planted, nullptr, 10) : -1;
  long hangAt = GetEnvironmentVariableW(L"XML_FUZZ_HANG_AT", planted, 32) ? wcstol(planted, nullptr, 10) : -1;
  for (long i = options.from; i < options.cases; ++i) {
    InterlockedExchange(&shared->current, i);
    if (i == crashAt) *static_cast<volatile int*>(nullptr) = 1;
    if (i == hangAt) Sleep(INFINITE);
    std::string bytes = Mutate(corpus, options.seed, i);
    if (const char* why = RunCase(bytes, path)) {
      if (InterlockedIncrement(&shared->invariantFailures) == 1) InterlockedExchange(&shared->firstInvariantCase, i);
      fprintf(stderr, "xml_fuzz: case %ld: %s\n", i, why);
    }
  }
  DeleteFileW(path.c_str());
  InterlockedExchange(&shared->finished, 1);
  return 0;
}

void SaveInput(const Options& options, const std::vector<std::string>& corpus, long index, const char* kind) {
  CreateDirectoryW(options.out.c_str(), nullptr);
  std::wstring path = options.out + L"\\" + std::wstring(kind, kind + strlen(kind)) + L"-" +
                      std::to_wstring(options.seed) + L"-" + std::to_wstring(index) + L".xml";
  std::string bytes = Mutate(corpus, options.seed, index);
  if (FILE* f = _wfopen(path.c_str(), L"wb")) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  fwprintf(stderr, L"xml_fuzz: %hs at case %ld, input saved as %ls\n", kind, index, path.c_str());
}

int RunParent(const Options& options, const std::wstring& self) {
  std::vector<std::string> corpus = LoadCorpus(options.corpus);
  if (corpus.empty()) {
    fwprintf(stderr, L"xml_fuzz: no corpus files in %ls\n", options.corpus.c_str());
    return 2;
  }
  std::wstring name = L"xml-fuzz-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), name.c_str());
  Shared* shared = mapping ? static_cast<Shared*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)))
                           : nullptr;
  if (!shared) return 3;
  shared->firstInvariantCase = -1;
  long crashes = 0, hangs = 0, restarts = 0;
  DWORD began = GetTickCount();
  long from = options.from;
  while (from < options.cases) {
    shared->current = from;
    shared->finished = 0;
    wchar_t seed[32];
    swprintf(seed, 32, L"%llu", options.seed);
    std::wstring command = L"\"" + self + L"\" --child --seed " + seed + L" --from " + std::to_wstring(from) +
                           L" --cases " + std::to_wstring(options.cases) + L" --corpus \"" + options.corpus +
                           L"\" --shared " + name;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      fwprintf(stderr, L"xml_fuzz: cannot start the child (%lu)\n", GetLastError());
      return 4;
    }
    ++restarts;
    LONG watched = shared->current;
    DWORD since = GetTickCount();
    bool hung = false;
    while (WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT) {
      LONG now = shared->current;
      if (now != watched) {
        watched = now;
        since = GetTickCount();
      } else if (GetTickCount() - since > options.timeoutMs) {
        TerminateProcess(pi.hProcess, 0xDEAD);
        WaitForSingleObject(pi.hProcess, INFINITE);
        hung = true;
        break;
      }
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (hung) {
      ++hangs;
      SaveInput(options, corpus, shared->current, "hang");
      from = shared->current + 1;
    } else if (code != 0 || !shared->finished) {
      ++crashes;
      fwprintf(stderr, L"xml_fuzz: child exit code 0x%08lx\n", code);
      SaveInput(options, corpus, shared->current, "crash");
      from = shared->current + 1;
    } else {
      break;
    }
  }
  if (shared->invariantFailures) SaveInput(options, corpus, shared->firstInvariantCase, "invariant");
  double seconds = (GetTickCount() - began) / 1000.0;
  printf("xml_fuzz: seed %llu, cases %ld, crashes %ld, hangs %ld, invariant failures %ld, %.1f s (%ld child runs)\n",
         options.seed, options.cases - options.from, crashes, hangs, static_cast<long>(shared->invariantFailures),
         seconds, restarts);
  return crashes || hangs || shared->invariantFailures ? 1 : 0;
}

// Maps a Unix path (as scripts pass them) to Wine's Z: drive.
std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') {
    for (wchar_t& c : path)
      if (c == L'/') c = L'\\';
    path = L"Z:" + path;
  }
  return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    auto value = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
    if (arg == L"--cases") options.cases = wcstol(value().c_str(), nullptr, 10);
    else if (arg == L"--seed") options.seed = wcstoull(value().c_str(), nullptr, 10);
    else if (arg == L"--from") options.from = wcstol(value().c_str(), nullptr, 10);
    else if (arg == L"--timeout-ms") options.timeoutMs = wcstoul(value().c_str(), nullptr, 10);
    else if (arg == L"--corpus") options.corpus = WindowsPath(value());
    else if (arg == L"--out") options.out = WindowsPath(value());
    else if (arg == L"--shared") options.shared = value();
    else if (arg == L"--child") options.child = true;
    else {
      fwprintf(stderr, L"usage: xml_fuzz --cases N --seed S --corpus DIR [--from I] [--timeout-ms T] [--out DIR]\n");
      return 2;
    }
  }
  if (options.child) return RunChild(options);
  if (options.out.empty()) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    options.out = std::wstring(temp) + L"xml-fuzz-failures";
  }
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return RunParent(options, self);
}
