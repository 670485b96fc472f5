// Fuzzer for the XML engine, with two generators of cases. "files" makes
// files as the program meets them: a document of any size from empty to
// several megabytes, declaring any encoding of the table (or none) in an
// XML declaration or an HTML meta tag, stored as bytes, UTF-16 or UTF-32
// in either byte order, with or without a byte-order mark, with zero bytes
// and cuts. "mutations" mutates the files of a corpus. Every case is
// written to disk and read by the file layer as the settings store reads
// the response file, then parsed and walked.
//
// The parent process runs the cases in a child process and watches it
// through shared memory: a child that dies is a crash at the case it was
// running, one that stays on a case longer than the time limit is a hang;
// either way the input is saved and a new child goes on with the next case.
// Cases are derived from the seed and their number alone, so any case can
// be replayed with --from/--cases.
//
//   xml_fuzz --cases N --seed S --corpus DIR [--generator files|mutations]
//            [--timeout-ms T] [--out DIR]
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/XmlDocument.h"
#include "xml/XmlEncoding.h"
#include "xml/XmlEncodingNames.h"
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
  bool files = false;  // the "files" generator instead of "mutations"
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

// Pieces of element text: scripts of several widths, a character outside
// the basic plane, entities, markup that is not an element.
const wchar_t* const kTextPieces[] = {
    L"plain text", L"Zo\x00eb na\x00efve", L"\x20ac 12", L"\x65e5\x672c\x8a9e\x30c6\x30ad\x30b9\x30c8",
    L"\xD83D\xDE00", L"a &amp; b &#x41; &lt;", L"<![CDATA[x<y]]>", L"<!-- note -->", L"<?pi data?>",
    L"\x0416\x0438\x0437\x043d\x044c", L"\x05e9\x05dc\x05d5\x05dd", L"\x0e2a\x0e27\x0e31\x0e2a",
    L"\x0142\x00f3d\x017a", L"\xac00\xb098", L"\t\r\n ", L"\x00a0\x00ff\x0100",
};

// An encoding name of the table, in turn by case number so that every run
// of a few hundred cases names each of them (sometimes in other letter
// case), or one of the names the table lacks: the upper-case UTF-32
// spellings, nonsense.
std::wstring PickEncodingName(Random& rng, long index) {
  static const wchar_t* const kExtra[] = {L"UTF-32", L"UTF-32LE", L"UTF-32BE", L"UTF-16", L"nonsense", L""};
  if (rng.Below(8) == 0) return kExtra[rng.Below(sizeof(kExtra) / sizeof(kExtra[0]))];
  std::wstring name = kXmlEncodingNames[static_cast<size_t>(index) % static_cast<size_t>(kXmlEncodingNameCount)].name;
  if (rng.Below(3) == 0)
    for (wchar_t& c : name)
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  return name;
}

// File sizes from empty to several megabytes, most of them small.
size_t PickSize(Random& rng) {
  switch (rng.Below(50)) {
    case 0: case 1: case 2: return rng.Below(17);
    case 3: return (1u << 20) + rng.Below(4u << 20);
    case 4: case 5: case 6: case 7: return 65536 + rng.Below(1u << 20);
    default: return rng.Below(rng.Below(4) == 0 ? 65536 : 4096);
  }
}

std::string EncodeText(const std::wstring& text, int layout, int codePage) {
  std::string out;
  switch (layout) {
    case 0: {  // bytes in the declared code page where it converts, else UTF-8
      int cp = codePage > 0 && codePage != kXmlCodePageUtf32 ? codePage : CP_UTF8;
      int n = WideCharToMultiByte(static_cast<UINT>(cp), 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, nullptr);
      if (n <= 0) {
        cp = CP_UTF8;
        n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
      }
      out.resize(static_cast<size_t>(n > 0 ? n : 0));
      if (n > 0) WideCharToMultiByte(static_cast<UINT>(cp), 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                                     nullptr, nullptr);
      break;
    }
    case 1:
    case 2:  // UTF-16LE, UTF-16BE
      out.reserve(text.size() * 2);
      for (wchar_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
        if (layout == 1) {
          out += lo;
          out += hi;
        } else {
          out += hi;
          out += lo;
        }
      }
      break;
    default:  // UTF-32LE, UTF-32BE
      out.reserve(text.size() * 4);
      for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint16_t>(text[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size())
          cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
        char b[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                     static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
        if (layout == 3) out.append(b, 4);
        else out += std::string{b[3], b[2], b[1], b[0]};
      }
      break;
  }
  return out;
}

// One file as the program may download it (see the file-top comment).
std::string GenerateFile(uint64_t seed, long index) {
  Random rng(seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(index) * 0x100000001B3ull + 11);
  const std::wstring encoding = PickEncodingName(rng, index);
  const int layout = static_cast<int>(rng.Below(5));  // bytes; UTF-16LE, BE; UTF-32LE, BE
  const size_t size = PickSize(rng) / (layout == 0 ? 1 : layout <= 2 ? 2 : 4);
  std::wstring text;
  switch (rng.Below(4)) {
    case 0: case 1:
      text = L"<?xml version=\"1.0\" encoding=\"" + encoding + L"\"?>\r\n";
      break;
    case 2:
      text = L"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + encoding +
             L"\"></head>\r\n";
      break;
    default:
      break;
  }
  text += L"<response><stubCustomizations>";
  const size_t pieces = sizeof(kTextPieces) / sizeof(kTextPieces[0]);
  for (long n = 0; text.size() < size; ++n) {
    switch (rng.Below(4)) {
      case 0:
        text += L"<stubCustomization><language>de</language><Title>" + std::wstring(kTextPieces[rng.Below(pieces)]) +
                L"</Title></stubCustomization>\r\n";
        break;
      case 1:
        text += L"<value n=\"" + std::to_wstring(n) + L"\">" + kTextPieces[rng.Below(pieces)] + L"</value>";
        break;
      default:
        text += kTextPieces[rng.Below(pieces)];
        break;
    }
  }
  text += L"</stubCustomizations></response>\r\n";

  std::string bytes = EncodeText(text, layout, EncodingNameToCodePage(encoding));
  static const char* const kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  bytes.insert(0, kMarks[rng.Below(8) < 4 ? 0 : rng.Below(4)]);
  if (rng.Below(3) == 0) {
    // Zero bytes: often among the first bytes, where the encoding is sniffed.
    size_t count = 1 + rng.Below(rng.Below(4) == 0 ? 64 : 4);
    for (size_t k = 0; k < count; ++k) {
      size_t at = rng.Below(2) ? rng.Below(std::min<size_t>(bytes.size(), 64) + 1) : rng.Below(bytes.size() + 1);
      bytes.insert(at, rng.Below(4) == 0 ? 1 + rng.Below(8) : 1, '\0');
    }
  }
  if (rng.Below(8) == 0) bytes.resize(rng.Below(bytes.size() + 1));  // cut anywhere
  return bytes;
}

std::string MakeCase(const Options& options, const std::vector<std::string>& corpus, long index) {
  return options.files ? GenerateFile(options.seed, index) : Mutate(corpus, options.seed, index);
}

// Fills and frees heap blocks around the size of a file, so that memory a
// read should never touch holds other bytes than in another run.
void ReshapeHeap(size_t size, unsigned char pattern) {
  std::vector<void*> blocks;
  const size_t sizes[] = {size, size + 1, size * 2 + 16, size / 2 + 1, 64, 4096};
  for (int round = 0; round < 3; ++round) {
    for (size_t n : sizes) {
      if (void* p = malloc(n)) {
        memset(p, pattern, n);
        blocks.push_back(p);
      }
    }
  }
  for (size_t i = 0; i < blocks.size(); i += 2) free(blocks[i]);
  for (size_t i = 1; i < blocks.size(); i += 2) free(blocks[i]);
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
  if (bytes.size() <= 65536) {
    // Reading in small steps exercises the cuts between characters.
    XmlFileStream stream(kXmlFlagReadFile);
    if (stream.Open(path.c_str())) {
      std::wstring chunks;
      // At most about 64 steps: a cut in a multi-byte code page tries many
      // windows and splits, and thousands of them per file add up.
      int32_t step = 3 + static_cast<int32_t>(bytes.size() % 61);
      step = std::max(step, static_cast<int32_t>(bytes.size() / 64));
      int32_t rounds = 0;
      while (stream.position() < stream.fileSize()) {
        stream.SetStep(step);
        int32_t before = stream.position();
        if (!stream.ReadText(chunks)) break;
        if (stream.position() <= before) return "chunked read makes no progress";
        if (++rounds > stream.fileSize() + 1) return "chunked read does not end";
      }
      stream.Close();
      if (chunks.size() > bytes.size()) return "chunked read gives more characters than bytes";
    }
  }
  // Each byte gives at most one UTF-16 unit, whatever the encoding, and
  // the text depends on the file alone: a second read with the heap laid
  // out differently must give the same text, log and flags.
  XmlDocument doc;
  ReshapeHeap(bytes.size(), 0xA5);
  doc.ReadWholeFile(path.c_str());
  if (doc.Text().size() > bytes.size()) return "more characters than bytes read";
  {
    XmlDocument again;
    ReshapeHeap(bytes.size(), 0x5A);
    again.ReadWholeFile(path.c_str());
    if (again.Text() != doc.Text()) return "text depends on the heap";
    if (again.ResultLog() != doc.ResultLog() || again.m_flags != doc.m_flags) return "log depends on the heap";
  }
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
    std::string bytes = MakeCase(options, corpus, i);
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
  std::string bytes = MakeCase(options, corpus, index);
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
                           L"\" --shared " + name + (options.files ? L" --generator files" : L"");
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
  printf("xml_fuzz: generator %s, seed %llu, cases %ld, crashes %ld, hangs %ld, invariant failures %ld, %.1f s "
         "(%ld child runs)\n",
         options.files ? "files" : "mutations", options.seed, options.cases - options.from, crashes, hangs,
         static_cast<long>(shared->invariantFailures), seconds, restarts);
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
    else if (arg == L"--generator" && i + 1 < argc && (std::wstring(argv[i + 1]) == L"files" ||
                                                        std::wstring(argv[i + 1]) == L"mutations"))
      options.files = value() == L"files";
    else {
      fwprintf(stderr, L"usage: xml_fuzz --cases N --seed S --corpus DIR [--generator files|mutations] [--from I] "
               L"[--timeout-ms T] [--out DIR]\n");
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
