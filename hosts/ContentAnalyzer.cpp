#include "hosts/ContentAnalyzer.h"

#include "logging/Log.h"
#include "platform/NamedObjects.h"

namespace khhosts {

const Lines& BuiltinWords() {
  static const Lines words(kHostsBuiltinWords, kHostsBuiltinWords + kHostsBuiltinWordCount);
  return words;
}

void ContentAnalyzer::setWords(const Lines& words) {
  m_words.clear();
  for (const auto& word : words)
    if (!word.empty()) m_words.push_back(word);
}

int ContentAnalyzer::fixContent(const Lines& lines, Lines* kept, std::vector<size_t>* dropped) const {
  int count = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::wstring& line = lines[i];
    if (!isCommentOrEmpty(line) && isLineCorrupted(line)) {
      LogW(5, L"%s: Corrupted line has been found: %s", L"ContentAnalyzer::fixContent", line.c_str());
      if (dropped) dropped->push_back(i);
      ++count;
      continue;
    }
    if (kept) kept->push_back(line);
  }
  return count;
}

bool ContentAnalyzer::isCommentOrEmpty(const std::wstring& line) {
  return line.empty() || line[0] == L'#';
}

std::wstring ContentAnalyzer::stripComment(const std::wstring& line) {
  return line.substr(0, line.find(L'#'));
}

bool ContentAnalyzer::isLineCorrupted(const std::wstring& line) const {
  const std::wstring text = stripComment(line);
  return containsAnyWord(text, m_words) || containsAnyWord(text, BuiltinWords());
}

bool ContentAnalyzer::containsAnyWord(const std::wstring& text, const Lines& words) {
  // Only a to z change, as towupper does in the "C" locale; done by hand so
  // that no runtime's idea of the other 224 byte values can creep in.
  std::wstring upper = text;
  for (auto& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  for (const auto& word : words)
    if (upper.find(word) != std::wstring::npos) return true;
  return false;
}

}  // namespace khhosts
