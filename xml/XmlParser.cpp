// The scanner that cuts the document text into nodes, and the single pass
// that builds the element index from them.
#include "xml/XmlDocument.h"

#include <vector>

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

bool EndsName(wchar_t c) { return IsSpace(c) || c == L'/' || c == L'>'; }

bool StartsElementName(wchar_t c) {
  return c == L':' || c == L'_' || (c >= L'A' && c <= L'Z') || c >= L'a';
}

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

// Index of the first occurrence of terminator at or after from, or -1.
int32_t FindTerminator(const std::wstring& text, int32_t from, const wchar_t* terminator) {
  size_t found = text.find(terminator, static_cast<size_t>(from));
  return found == std::wstring::npos ? -1 : static_cast<int32_t>(found);
}

// After a syntax error: the node runs to the next '>' outside a quoted
// value (included) or stops before the next '<'; returns the end
// (exclusive). Values are quoted as in an element tag: a quote opens one
// only after '=' and white space.
int32_t SkipErroneous(const std::wstring& text, int32_t from) {
  int32_t len = static_cast<int32_t>(text.size());
  wchar_t quote = 0;
  bool armed = false;
  wchar_t previous = 0;
  for (int32_t i = from; i < len; ++i) {
    wchar_t c = text[i];
    if (c == L'<') return i;
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == L'>') {
      return i + 1;
    } else if (armed) {
      if (!IsSpace(c)) {
        armed = false;
        if (c == L'"' || c == L'\'') quote = c;
      }
    } else if (c == L'=' && previous != L'=') {
      armed = true;
    }
    previous = c;
  }
  return len;
}

void ReadName(const std::wstring& text, int32_t from, XmlNodeToken& token) {
  int32_t len = static_cast<int32_t>(text.size());
  int32_t i = from;
  while (i < len && !EndsName(text[i])) ++i;
  token.nameStart = from;
  token.nameLength = i - from;
}

// Scans an element tag from after its name; returns the position after its
// '>' or -1 when the text ends inside it.
int32_t ScanElementTag(const std::wstring& text, XmlNodeToken& token) {
  int32_t len = static_cast<int32_t>(text.size());
  int32_t nameEnd = token.nameStart + token.nameLength;
  wchar_t quote = 0;
  bool armed = false;
  wchar_t previous = 0;
  for (int32_t i = nameEnd; i < len; ++i) {
    wchar_t c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
      previous = c;
      continue;
    }
    if (c == L'>') {
      if (i - 1 >= nameEnd && text[i - 1] == L'/') {
        wchar_t before = text[i - 2];
        if (i - 1 == nameEnd || IsSpace(before) || before == L'\'' || before == L'"')
          token.flags |= kXmlTokenEmptyElement;
      }
      return i + 1;
    }
    if (armed) {
      if (IsSpace(c)) {
        previous = c;
        continue;
      }
      armed = false;
      if (c == L'"' || c == L'\'') quote = c;
      previous = c;
      continue;
    }
    if (c == L'=' && previous != L'=') armed = true;
    previous = c;
  }
  return -1;
}

// Scans a document type declaration with its internal subset from after
// "<!D"; returns the position after its '>' or -1 at the end of the text.
// A bad declaration inside the subset is reported through errorAt.
int32_t ScanDocType(const std::wstring& text, int32_t from, int32_t& errorAt) {
  int32_t len = static_cast<int32_t>(text.size());
  int32_t i = from;
  while (i < len) {
    wchar_t c = text[i];
    if (c == L'>') return i + 1;
    if (c != L'<') {
      ++i;
      continue;
    }
    if (i + 1 < len && text[i + 1] == L'?') {
      int32_t end = FindTerminator(text, i + 1, L"?>");
      if (end < 0) return -1;
      i = end + 2;
    } else if (i + 1 < len && text[i + 1] == L'!') {
      wchar_t k = i + 2 < len ? text[i + 2] : 0;
      if (k == L'-' && i + 3 < len && text[i + 3] == L'-') {
        int32_t end = FindTerminator(text, i + 2, L"-->");
        if (end < 0) return -1;
        i = end + 3;
      } else if (k == L'E' || k == L'A' || k == L'N') {
        wchar_t quote = 0;
        int32_t j = i + 3;
        for (; j < len; ++j) {
          wchar_t d = text[j];
          if (quote) {
            if (d == quote) quote = 0;
          } else if (d == L'"' || d == L'\'') {
            quote = d;
          } else if (d == L'>') {
            break;
          }
        }
        if (j >= len) return -1;
        i = j + 1;
      } else {
        errorAt = i;
        return -2;
      }
    } else {
      ++i;
    }
  }
  return -1;
}

}  // namespace

int32_t XmlDocument::ScanNode(XmlScanner& scanner, XmlNodeToken& token) {
  const std::wstring& text = *scanner.text;
  int32_t len = static_cast<int32_t>(text.size());
  int32_t pos = scanner.position;
  token.type = kXmlNodeError;
  token.start = pos;
  token.length = 0;
  token.flags = 0;
  token.nameStart = pos;
  token.nameLength = 0;
  token.results.clear();
  scanner.tokenStart = pos;

  auto finish = [&](int32_t type, int32_t end) {
    token.type = type;
    token.length = end - pos;
    scanner.position = end;
    scanner.tokenEnd = end - 1;
    return type;
  };
  auto syntaxError = [&](const wchar_t* entry, int32_t from) {
    LogResult(token.results, entry, nullptr, 0, pos, -1);
    return finish(kXmlNodeError, SkipErroneous(text, from));
  };
  auto unterminated = [&](const wchar_t* kind) {
    LogResult(token.results, L"unterminated_tag_syntax", kind, kXmlLogType, pos, -1);
    return finish(kXmlNodeError, len);
  };

  if (pos >= len) return finish(kXmlNodeEnd, pos);

  wchar_t first = text[pos];
  if (first != L'<') {
    bool allSpace = true;
    int32_t i = pos;
    for (; i < len; ++i) {
      wchar_t c = text[i];
      if (c == L'<') break;
      if (!IsSpace(c)) allSpace = false;
      if (c == L'>') {
        ++i;
        break;
      }
    }
    return finish(allSpace ? kXmlNodeWhiteSpace : kXmlNodeText, i);
  }

  if (pos + 1 >= len) return unterminated(L"tag");
  wchar_t second = text[pos + 1];
  if (second == L'/') {
    ReadName(text, pos + 2, token);
    int32_t end = FindTerminator(text, pos + 2, L">");
    if (end < 0) return unterminated(L"end_tag");
    return finish(kXmlNodeEndTag, end + 1);
  }
  if (second == L'?') {
    ReadName(text, pos + 2, token);
    // A terminator may share characters with the opener: "<?>" is complete.
    int32_t end = FindTerminator(text, pos + 1, L"?>");
    if (end < 0) return unterminated(L"processing_instruction");
    return finish(kXmlNodePi, end + 2);
  }
  if (second == L'!') {
    if (pos + 2 >= len) return unterminated(L"tag");
    wchar_t third = text[pos + 2];
    if (third == L'-') {
      if (pos + 3 >= len) return unterminated(L"comment");
      if (text[pos + 3] != L'-') return syntaxError(L"comment_tag_syntax", pos + 3);
      // As with "<?>": "<!-->" and "<!--->" end at their '>'.
      int32_t end = FindTerminator(text, pos + 2, L"-->");
      if (end < 0) return unterminated(L"comment");
      return finish(kXmlNodeComment, end + 3);
    }
    if (third == L'[') {
      if (pos + 3 >= len) return unterminated(L"cdata_section");
      if (text[pos + 3] != L'C') return syntaxError(L"cdata_section_syntax", pos + 3);
      int32_t end = FindTerminator(text, pos + 3, L"]]>");
      if (end < 0) return unterminated(L"cdata_section");
      return finish(kXmlNodeCData, end + 3);
    }
    if (third == L'D') {
      ReadName(text, pos + 2, token);
      int32_t errorAt = 0;
      int32_t end = ScanDocType(text, pos + 3, errorAt);
      if (end == -2) {
        LogResult(token.results, L"doctype_tag_syntax", nullptr, 0, pos, -1);
        return finish(kXmlNodeError, SkipErroneous(text, errorAt + 2));
      }
      if (end < 0) return unterminated(L"document_type");
      return finish(kXmlNodeDocType, end);
    }
    return syntaxError(L"exclamation_tag_syntax", pos + 2);
  }
  if (!StartsElementName(second)) return syntaxError(L"first_tag_syntax", pos + 1);

  ReadName(text, pos + 1, token);
  int32_t end = ScanElementTag(text, token);
  if (end < 0) return unterminated(L"start_tag");
  return finish(kXmlNodeElement, end);
}

namespace {

bool StackNameMatches(const std::wstring& text, const XmlTagStack::Entry& entry, const XmlNodeToken& endTag,
                      bool ignoreCase) {
  if (endTag.nameLength > entry.nameLength) return false;
  for (int32_t i = 0; i < endTag.nameLength; ++i) {
    wchar_t a = text[entry.nameStart + i];
    wchar_t b = text[endTag.nameStart + i];
    if (ignoreCase ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
  }
  if (endTag.nameLength == entry.nameLength) return true;
  wchar_t next = text[entry.nameStart + endTag.nameLength];
  return next == L' ' || next == L'=' || next == L'/' || next == L'[' || next == L']';
}

}  // namespace

void XmlDocument::CloseUnended(XmlTagStack& stack, int32_t keep, int32_t offset2) {
  if (stack.Count() <= keep) return;
  m_index[0].flags |= kXmlRecDocIllFormed;
  const size_t firstClosed = static_cast<size_t>(keep) + 1;
  const int32_t outer = stack.entries[firstClosed].element;
  const int32_t parent = m_index[outer].parent;
  bool illFormed = false;
  for (size_t k = stack.entries.size() - 1; k >= firstClosed; --k) {
    const XmlTagStack::Entry& entry = stack.entries[k];
    XmlElementRecord& rec = m_index[entry.element];
    std::wstring name = m_text.substr(static_cast<size_t>(entry.nameStart), static_cast<size_t>(entry.nameLength));
    LogResult(m_log, L"unended_start_tag", name.c_str(), 0, rec.start, offset2);
    if (rec.flags & kXmlRecIllFormed) illFormed = true;
  }
  // Each closed element's children follow it as siblings under the outer
  // parent. All closed elements are done in one pass, because re-linking
  // them one by one costs time quadratic in the nesting depth.
  std::vector<int32_t> sequence;
  for (size_t k = firstClosed; k < stack.entries.size(); ++k) {
    int32_t element = stack.entries[k].element;
    int32_t inner = k + 1 < stack.entries.size() ? stack.entries[k + 1].element : 0;
    sequence.push_back(element);
    for (int32_t c = m_index[element].firstChild; c; c = m_index[c].next)
      if (c != inner) sequence.push_back(c);
  }
  for (size_t k = firstClosed; k < stack.entries.size(); ++k) {
    XmlElementRecord& rec = m_index[stack.entries[k].element];
    rec.SetTagLengths(rec.StartTagLength(), 0);
    rec.flags |= kXmlRecNoEndTag;
    rec.flags &= ~kXmlRecIllFormed;
    rec.length = rec.StartTagLength();
    rec.firstChild = 0;
  }
  for (size_t j = 0; j < sequence.size(); ++j) {
    XmlElementRecord& rec = m_index[sequence[j]];
    rec.parent = parent;
    rec.next = j + 1 < sequence.size() ? sequence[j + 1] : 0;
    if (j > 0) {
      rec.prev = sequence[j - 1];
      rec.flags &= ~kXmlRecFirstChild;
    }
  }
  m_index[m_index[parent].firstChild].prev = sequence.back();
  if (illFormed) m_index[parent].flags |= kXmlRecIllFormed;
  stack.entries.resize(firstClosed);
}

int32_t XmlDocument::ParseElementTree(XmlScanner& scanner) {
  XmlTagStack stack;
  const int32_t baseLevel = m_index[0].Level();
  const bool ignoreCase = (scanner.flags & kXmlFlagIgnoreCase) != 0;
  int32_t open = 0;
  int32_t firstFound = 0;
  XmlNodeToken token;
  for (;;) {
    int32_t type = ScanNode(scanner, token);
    if (type == kXmlNodeElement) {
      int32_t n = NewRecord();
      if (!firstFound) firstFound = n;
      XmlElementRecord& rec = m_index[n];
      rec.parent = open;
      rec.next = 0;
      rec.firstChild = 0;
      XmlElementRecord& parentRec = m_index[open];
      int32_t level = baseLevel + stack.Count();
      if (level > kXmlRecLevelMask) level = kXmlRecLevelMask;
      if (!parentRec.firstChild) {
        parentRec.firstChild = n;
        rec.prev = n;
        rec.flags = kXmlRecFirstChild;
      } else {
        XmlElementRecord& firstRec = m_index[parentRec.firstChild];
        int32_t last = firstRec.prev;
        m_index[last].next = n;
        rec.prev = last;
        firstRec.prev = n;
        rec.flags = 0;
      }
      rec.flags |= level;
      rec.start = token.start;
      if (token.flags & kXmlTokenEmptyElement) {
        rec.SetTagLengths(token.length, 0);
        rec.length = token.length;
      } else {
        rec.SetTagLengths(token.length, 0);
        rec.length = token.length;
        stack.entries.push_back(XmlTagStack::Entry{token.nameStart, token.nameLength, n});
        open = n;
      }
    } else if (type == kXmlNodeEndTag) {
      int32_t match = 0;
      for (int32_t i = stack.Count(); i >= 1; --i) {
        if (StackNameMatches(m_text, stack.entries[static_cast<size_t>(i)], token, ignoreCase)) {
          match = i;
          break;
        }
      }
      if (!match) {
        m_index[0].flags |= kXmlRecDocIllFormed;
        m_index[open].flags |= kXmlRecIllFormed;
        std::wstring name =
            m_text.substr(static_cast<size_t>(token.nameStart), static_cast<size_t>(token.nameLength));
        LogResult(m_log, L"lone_end_tag", name.c_str(), 0, token.start, -1);
        continue;
      }
      int32_t element = stack.entries[static_cast<size_t>(match)].element;
      XmlElementRecord& rec = m_index[element];
      rec.length = token.start + token.length - rec.start;
      rec.SetTagLengths(rec.StartTagLength(), token.length);
      CloseUnended(stack, match, token.start + 1);
      stack.entries.pop_back();
      open = m_index[element].parent;
    } else if (type == kXmlNodeEnd) {
      CloseUnended(stack, 0, static_cast<int32_t>(m_text.size()));
      break;
    } else if (type == kXmlNodeError) {
      m_index[0].flags |= kXmlRecDocIllFormed;
      m_index[open].flags |= kXmlRecIllFormed;
      // The log is capped like every other entry so hostile input can't grow it.
      if (m_log.size() < 1000) m_log += token.results;
    }
  }
  return firstFound;
}
