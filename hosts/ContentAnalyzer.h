// The rule that decides which lines of a hosts file are corrupted: an active
// line (not empty, not starting with '#') whose text before any '#' names the
// maker, by one of the built-in words or one that the caller adds.
#pragma once

#include <string>
#include <vector>

namespace khhosts {

using Lines = std::vector<std::wstring>;

class ContentAnalyzer {
 public:
  // Replaces the caller's extra words. Empty words are ignored: an empty
  // word would occur in every line and make every active line corrupted.
  void setWords(const Lines& words);
  const Lines& words() const { return m_words; }

  // Counts the corrupted lines. kept (when given) receives the other lines
  // in their order, dropped (when given) the 0-based indexes of the
  // corrupted ones.
  int fixContent(const Lines& lines, Lines* kept, std::vector<size_t>* dropped) const;

  // Empty, or '#' as the very first character (a '#' after blanks does
  // not count).
  static bool isCommentOrEmpty(const std::wstring& line);
  // The part before the first '#', or the whole line.
  static std::wstring stripComment(const std::wstring& line);
  bool isLineCorrupted(const std::wstring& line) const;
  // Upper-cases a to z of text (nothing else) and looks for each word as
  // it stands, so only words written in upper case can match.
  static bool containsAnyWord(const std::wstring& text, const Lines& words);

 private:
  Lines m_words;
};

// The built-in word list, in its fixed order.
const Lines& BuiltinWords();

}  // namespace khhosts
