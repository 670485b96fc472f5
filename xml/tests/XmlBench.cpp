// Benchmark of the XML engine: reading and parsing a generated 1 MB
// response-like document and a typical response file, plus the walk that
// the settings store makes over it. Prints median times.
//
//   xml_bench [--typical FILE] [--runs N]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "xml/XmlDocument.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double Median(int runs, F body) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    double start = Now();
    body();
    times.push_back(Now() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::string MegabyteDocument() {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<response>\r\n";
  int n = 0;
  while (text.size() < 1024 * 1024 - 64) {
    text += "  <Setting" + std::to_string(n % 50) + ">https://downloads.example.net/lark/file" +
            std::to_string(n) + ".bin?a=1&amp;b=2 Gr\xC3\xBC\xC3\x9F" + "e</Setting" + std::to_string(n % 50) +
            ">\r\n";
    if (n % 20 == 0)
      text += "  <stubCustomizations><stubCustomization><language>de</language><EULTUrl>u</EULTUrl>"
              "</stubCustomization></stubCustomizations>\r\n";
    ++n;
  }
  text += "</response>\r\n";
  return text;
}

int WalkResponse(XmlDocument& doc) {
  int values = 0;
  if (!doc.FindElement(L"response")) return 0;
  while (doc.FindChildElement(nullptr)) {
    if (doc.GetChildTagName() != L"stubCustomizations") {
      values += !doc.GetChildData().empty();
      continue;
    }
    XmlDocument block(doc.GetChildSubDoc().c_str());
    while (block.FindChildElement(L"stubCustomization")) {
      block.IntoElement();
      while (block.FindChildElement(nullptr)) values += !block.GetChildData().empty();
      block.OutOfElement();
    }
  }
  return values;
}

std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') {
    for (wchar_t& c : path)
      if (c == L'/') c = L'\\';
    path = L"Z:" + path;
  }
  return path;
}

void Report(const char* what, const std::wstring& path, int runs, size_t bytes) {
  XmlDocument probe;
  if (!probe.ReadWholeFile(path.c_str()) || !probe.ParseDocument()) {
    printf("%s: cannot read or parse the file\n", what);
    return;
  }
  double readParse = Median(runs, [&] {
    XmlDocument doc;
    doc.ReadWholeFile(path.c_str());
    doc.ParseDocument();
  });
  std::wstring text = probe.Text();
  double parseOnly = Median(runs, [&] { XmlDocument doc(text.c_str()); });
  int values = 0;
  double walk = Median(runs, [&] {
    XmlDocument doc(text.c_str());
    values = WalkResponse(doc);
  });
  printf("%s (%lu bytes, %lu elements, %d values): read+parse %.3f ms, parse %.3f ms, parse+walk %.3f ms "
         "(median of %d)\n",
         what, static_cast<unsigned long>(bytes), static_cast<unsigned long>(probe.UsedRecords() - 1), values,
         readParse * 1000, parseOnly * 1000, walk * 1000, runs);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring typical;
  int runs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring arg = argv[i];
    if (arg == L"--typical") typical = WindowsPath(argv[i + 1]);
    if (arg == L"--runs") runs = _wtoi(argv[i + 1]);
  }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring big = std::wstring(temp) + L"xml-bench-1mb.xml";
  std::string bytes = MegabyteDocument();
  FILE* f = _wfopen(big.c_str(), L"wb");
  if (!f) return 1;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  Report("1 MB document", big, runs ? runs : 21, bytes.size());
  DeleteFileW(big.c_str());
  if (!typical.empty()) {
    FILE* t = _wfopen(typical.c_str(), L"rb");
    size_t size = 0;
    if (t) {
      fseek(t, 0, SEEK_END);
      size = static_cast<size_t>(ftell(t));
      fclose(t);
    }
    Report("typical response file", typical, runs ? runs * 100 : 2001, size);
  }
  return 0;
}
