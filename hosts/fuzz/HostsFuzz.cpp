// Random hosts files through check and repair. Each case writes a file of
// random lines (addresses, names, the maker's words in random letter case,
// comments, blanks, arbitrary bytes, all kinds of line ends) with random
// protective attributes, and checks against an independent reading of the
// rule: the check's verdict, that "hosts.bak" holds the old file byte for
// byte, that the new file holds exactly the retained lines, and that the
// attributes come back.
//
//   hosts_fuzz [--cases N] [--seed S] [--verbose]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "hosts/HostsFileChecker.h"
#include "testsupport/TestEnv.h"

namespace {

struct Expectation {
  bool corrupted = false;
  std::string rewritten;
};

std::string UpperAZ(std::string text) {
  for (auto& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The rule, read straight from the bytes.
Expectation Oracle(const std::string& bytes, const std::vector<std::string>& extra) {
  static const char* const builtin[] = {"K-HARBOR", "KHARBOR"};
  Expectation e;
  std::vector<std::string> kept;
  size_t start = 0;
  for (;;) {
    size_t lf = bytes.find('\n', start);
    std::string line = bytes.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    bool bad = false;
    if (!line.empty() && line[0] != '#') {
      std::string active = UpperAZ(line.substr(0, line.find('#')));
      for (const auto& w : extra)
        if (!w.empty() && active.find(w) != std::string::npos) bad = true;
      for (const char* w : builtin)
        if (active.find(w) != std::string::npos) bad = true;
    }
    if (bad)
      e.corrupted = true;
    else
      kept.push_back(line);
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  for (size_t i = 0; i < kept.size(); ++i) {
    e.rewritten += kept[i];
    if (i + 1 < kept.size()) e.rewritten += "\r\n";
  }
  return e;
}

class Generator {
 public:
  explicit Generator(unsigned seed) : m_rng(seed) {}

  int below(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }

  std::string randomCase(const std::string& word) {
    std::string out = word;
    for (auto& c : out)
      if (c >= 'A' && c <= 'Z' && below(2)) c = static_cast<char>(c - 'A' + 'a');
    return out;
  }

  std::string piece(const std::vector<std::string>& extra) {
    static const char* const names[] = {"localhost", "example.org", "k-harbor", "kharbor",  "k_harbor",
                                        "khar-bor",  "harbor",      "K-HARBO",  "update.", ".net"};
    switch (below(9)) {
      case 0:
        return std::to_string(below(256)) + "." + std::to_string(below(256)) + ".0.1";
      case 1:
      case 2:
        return randomCase(UpperAZ(names[below(10)]));
      case 3:
        return extra.empty() ? "x" : (below(2) ? randomCase(extra[below(static_cast<int>(extra.size()))])
                                               : extra[below(static_cast<int>(extra.size()))]);
      case 4:
        return "#";
      case 5:
        return std::string(1 + below(3), below(2) ? ' ' : '\t');
      case 6: {
        std::string bytes;
        for (int i = below(4); i > 0; --i) bytes.push_back(static_cast<char>(below(256)));
        return bytes;
      }
      case 7:
        return "\r";
      default:
        return "::1";
    }
  }

  std::string lineEnd() {
    switch (below(4)) {
      case 0:
        return "\n";
      case 1:
        return "\r\r\n";
      default:
        return "\r\n";
    }
  }

  std::vector<std::string> extraWords() {
    static const char* const pool[] = {"ACME", "acme", "", "EXAMPLE", "Harbor", "0.1", "#"};
    std::vector<std::string> words;
    for (int i = below(3); i > 0; --i) words.push_back(pool[below(7)]);
    return words;
  }

  std::string file(const std::vector<std::string>& extra) {
    std::string bytes;
    int lines = below(12);
    for (int i = 0; i < lines; ++i) {
      if (below(5) == 0) bytes += "#";
      for (int p = below(6); p > 0; --p) bytes += piece(extra) + (below(3) ? " " : "");
      if (i + 1 < lines || below(2)) bytes += lineEnd();
    }
    return bytes;
  }

 private:
  std::mt19937 m_rng;
};

const DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string Printable(const std::string& bytes) {
  std::string out;
  char hex[8];
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  long cases = 1000;
  unsigned seed = 1;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--cases" && i + 1 < argc)
      cases = std::strtol(argv[++i], nullptr, 10);
    else if (arg == "--seed" && i + 1 < argc)
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (arg == "--verbose")
      verbose = true;
    else {
      fprintf(stderr, "usage: hosts_fuzz [--cases N] [--seed S] [--verbose]\n");
      return 2;
    }
  }

  larktest::ScratchDir dir(L"hosts-fuzz");
  const std::wstring hosts = dir.file(L"hosts");
  const std::wstring backup = dir.file(L"hosts.bak");
  Generator gen(seed);
  long failures = 0, repaired = 0;
  for (long n = 0; n < cases; ++n) {
    const std::vector<std::string> extra = gen.extraWords();
    const std::string before = gen.file(extra);
    const DWORD attributes = static_cast<DWORD>(gen.below(8)) &
                             (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const Expectation expected = Oracle(before, extra);

    SetFileAttributesW(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(backup.c_str());
    if (!larktest::WriteFileBytes(hosts, before)) {
      fprintf(stderr, "case %ld: cannot write the test file\n", n);
      return 3;
    }
    if (attributes) SetFileAttributesW(hosts.c_str(), attributes);

    std::vector<std::wstring> wide;
    for (const auto& w : extra) wide.push_back(std::wstring(w.begin(), w.end()));
    std::vector<const wchar_t*> words;
    for (const auto& w : wide) words.push_back(w.c_str());

    std::string problem;
    {
      khhosts::HostsFileChecker checker(dir.path());
      checker.SetWords(words.data(), static_cast<int>(words.size()));
      int check = checker.NeedsRepair();
      if (check != (expected.corrupted ? khhosts::kNeedsRepair : khhosts::kIsCorrect))
        problem += " check=" + std::to_string(check);
    }
    khhosts::HostsFileChecker checker(dir.path());
    checker.SetWords(words.data(), static_cast<int>(words.size()));
    int fix = checker.Fix();
    std::string now, saved;
    larktest::ReadFileBytes(hosts, now);
    bool hasBackup = larktest::ReadFileBytes(backup, saved);
    if (expected.corrupted) {
      ++repaired;
      if (fix != khhosts::kFixed) problem += " fix=" + std::to_string(fix);
      if (!hasBackup || saved != before) problem += " backup differs";
      if (now != expected.rewritten) problem += " rewritten file differs";
    } else {
      if (fix != khhosts::kNothingFixed) problem += " fix=" + std::to_string(fix);
      if (hasBackup) problem += " backup written";
      if (now != before) problem += " file changed";
    }
    if ((GetFileAttributesW(hosts.c_str()) & kProtective) != attributes) problem += " attributes differ";

    if (!problem.empty()) {
      ++failures;
      fprintf(stderr, "case %ld FAILED:%s\n  file: %s\n", n, problem.c_str(), Printable(before).c_str());
      if (failures >= 10) break;
    } else if (verbose) {
      printf("case %ld ok (%s)\n", n, expected.corrupted ? "repaired" : "correct");
    }
  }
  SetFileAttributesW(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  printf("hosts fuzz: seed %u, %ld cases, %ld repaired, %ld failures\n", seed, cases, repaired, failures);
  return failures == 0 ? 0 : 1;
}
