// In-place edits of a document (setting attributes, adding elements) that
// keep the element index consistent with the changed text.
#include <cwchar>

#include "xml/XmlAttributes.h"
#include "xml/XmlDocument.h"
#include "xml/XmlEntities.h"

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

}  // namespace

void XmlDocument::ReplaceText(int32_t offset, int32_t count, const std::wstring& text) {
  size_t newLength = m_text.size() - static_cast<size_t>(count) + text.size();
  // Grow by half so that many small appends (the result log) stay cheap.
  if (newLength > m_text.capacity()) m_text.reserve(newLength + newLength / 2 + 128);
  m_text.replace(static_cast<size_t>(offset), static_cast<size_t>(count), text);
}

void XmlDocument::InsertNodeText(int32_t pos, const std::wstring& text) { ReplaceText(pos, 0, text); }

void XmlDocument::AdjustLengths(int32_t index, int32_t difference) {
  if (!difference) return;
  // Moves the start of every element of the subtree under root (root included).
  auto shiftSubtree = [&](int32_t root) {
    m_index[root].start += difference;
    int32_t n = m_index[root].firstChild;
    while (n) {
      m_index[n].start += difference;
      if (m_index[n].firstChild) {
        n = m_index[n].firstChild;
        continue;
      }
      while (n != root && !m_index[n].next) n = m_index[n].parent;
      if (n == root) break;
      n = m_index[n].next;
    }
  };
  for (int32_t c = m_index[index].firstChild; c; c = m_index[c].next) shiftSubtree(c);
  int32_t node = index;
  while (node) {
    for (int32_t s = m_index[node].next; s; s = m_index[s].next) shiftSubtree(s);
    node = m_index[node].parent;
    if (node) m_index[node].length += difference;
  }
  m_index[0].length = static_cast<int32_t>(m_text.size());
}

bool XmlDocument::SetAttribute(int32_t index, const wchar_t* name, const wchar_t* value) {
  if ((m_flags & kXmlFlagReadFile) || m_nodeType != kXmlNodeElement || !ValidIndex(index) || !name || !*name)
    return false;
  std::wstring escaped = EscapeXmlText(value ? value : L"", kXmlEscapeAttribute);
  XmlElementRecord& rec = m_index[index];
  XmlAttributeSpan span = FindAttribute(m_text, rec.start + 1, rec.start + rec.StartTagLength(), name,
                                        (m_flags & kXmlFlagIgnoreCase) != 0);
  int32_t before = static_cast<int32_t>(m_text.size());
  if (span.found && span.hasValue) {
    int32_t quote = span.quoted ? 1 : 0;
    ReplaceText(span.valueStart - quote, span.valueLength + 2 * quote, L"\"" + escaped + L"\"");
  } else if (span.found) {
    ReplaceText(span.valueStart, 0, L"=\"" + escaped + L"\"");
  } else {
    ReplaceText(span.lastEnd, 0, L" " + std::wstring(name) + L"=\"" + escaped + L"\"");
  }
  int32_t difference = static_cast<int32_t>(m_text.size()) - before;
  rec.SetTagLengths(rec.StartTagLength() + difference, rec.EndTagLength());
  rec.length += difference;
  AdjustLengths(index, difference);
  return true;
}

bool XmlDocument::SetAttribute(int32_t index, const wchar_t* name, int32_t value) {
  wchar_t number[16];
  std::swprintf(number, 16, L"%d", value);
  return SetAttribute(index, name, number);
}

void XmlDocument::LinkElement(int32_t index, int32_t parent, int32_t reference, int32_t flags) {
  XmlElementRecord& rec = m_index[index];
  XmlElementRecord& parentRec = m_index[parent];
  rec.parent = parent;
  rec.firstChild = 0;
  int32_t level = parent ? parentRec.Level() + 1 : 0;
  if (level > kXmlRecLevelMask) level = kXmlRecLevelMask;
  rec.flags = (rec.flags & ~kXmlRecLevelMask & ~kXmlRecFirstChild) | level;
  auto linkAfter = [&](int32_t previous) {
    XmlElementRecord& prevRec = m_index[previous];
    rec.next = prevRec.next;
    rec.prev = previous;
    prevRec.next = index;
    if (rec.next)
      m_index[rec.next].prev = index;
    else
      m_index[parentRec.firstChild].prev = index;
  };
  auto linkFirst = [&]() {
    int32_t oldFirst = parentRec.firstChild;
    if (!oldFirst) {
      parentRec.firstChild = index;
      rec.prev = index;
      rec.next = 0;
    } else {
      rec.prev = m_index[oldFirst].prev;
      rec.next = oldFirst;
      m_index[oldFirst].prev = index;
      m_index[oldFirst].flags &= ~kXmlRecFirstChild;
      parentRec.firstChild = index;
    }
    rec.flags |= kXmlRecFirstChild;
  };
  if (reference) {
    if (!(flags & kXmlAddBefore))
      linkAfter(reference);
    else if (parentRec.firstChild == reference)
      linkFirst();
    else
      linkAfter(m_index[reference].prev);
  } else if (flags & (kXmlAddAtStart | kXmlAddBefore)) {
    // Text placed at the start of the content must be the first child too.
    linkFirst();
  } else if (!parentRec.firstChild) {
    linkFirst();
  } else {
    linkAfter(m_index[parentRec.firstChild].prev);
  }
}

bool XmlDocument::AddElement(const wchar_t* name, const wchar_t* value, int32_t flags) {
  if ((m_flags & kXmlFlagReadFile) || !name || !*name) return false;
  const bool asChild = (flags & kXmlAddAsChild) != 0;
  if (asChild && (!m_current || (m_flags & kXmlFlagWriteFile))) return false;
  if ((flags & kXmlAddStartTagOnly) && value) return false;

  int32_t parent = asChild ? m_current : m_parent;
  int32_t reference = asChild ? m_child : m_current;
  if ((parent && !ValidIndex(parent)) || (reference && !ValidIndex(reference))) return false;
  int32_t n = NewRecord();

  const std::wstring tag(name);
  const int32_t nameLength = static_cast<int32_t>(tag.size());
  const std::wstring lineBreak = (flags & kXmlAddNoLineBreak) ? L"" : L"\r\n";
  std::wstring node = L"<" + tag;
  int32_t startLength, endLength;
  if (value) {
    node += L">";
    node += (flags & kXmlAddCData) ? MakeCDataSection(value) : EscapeXmlText(value, flags & kXmlAddKeepReferences);
    node += L"</" + tag + L">";
    startLength = nameLength + 2;
    endLength = nameLength + 3;
  } else {
    node += (flags & kXmlAddStartTagOnly) ? L">" : (flags & kXmlAddSpaceBeforeSlash) ? L" />" : L"/>";
    startLength = static_cast<int32_t>(node.size());
    endLength = 0;
  }
  const int32_t nodeLength = static_cast<int32_t>(node.size());
  node += lineBreak;

  const int32_t textLength = static_cast<int32_t>(m_text.size());
  int32_t before = textLength;
  int32_t elementStart = 0;
  bool placed = false;
  if (!reference && parent) {
    XmlElementRecord& p = m_index[parent];
    const std::wstring closing = L"</" + TagNameAt(parent);
    const int32_t parentNameLength = static_cast<int32_t>(closing.size()) - 2;
    if (p.flags & kXmlRecNoEndTag) {
      // A start tag without an end tag: the new text and the end tag go before its '>'.
      int32_t gt = p.start + p.StartTagLength() - 1;
      InsertNodeText(gt, L">" + lineBreak + node + closing);
      elementStart = gt + 1 + static_cast<int32_t>(lineBreak.size());
      p.flags &= ~kXmlRecNoEndTag;
      p.SetTagLengths(p.StartTagLength(), parentNameLength + 3);
      placed = true;
    } else if (p.EndTagLength() == 0 && p.StartTagLength() == p.length && p.length >= 2 &&
               m_text[static_cast<size_t>(p.start + p.length - 2)] == L'/') {
      // An empty-element tag is opened: its '/' becomes '>' and its '>' closes the new end tag.
      int32_t slash = p.start + p.length - 2;
      ReplaceText(slash, 1, L">" + lineBreak + node + closing);
      elementStart = slash + 1 + static_cast<int32_t>(lineBreak.size());
      p.SetTagLengths(p.StartTagLength() - 1, parentNameLength + 3);
      placed = true;
    } else if (p.StartTagLength() + p.EndTagLength() >= p.length) {
      int32_t at = p.start + p.StartTagLength();
      InsertNodeText(at, lineBreak + node);
      elementStart = at + static_cast<int32_t>(lineBreak.size());
      placed = true;
    }
  }
  if (!placed) {
    int32_t pos;
    const bool atStart = (flags & (kXmlAddAtStart | kXmlAddBefore)) != 0;
    if (reference) {
      const XmlElementRecord& r = m_index[reference];
      pos = (flags & kXmlAddBefore) ? r.start : r.start + r.length;
    } else if (!parent) {
      pos = atStart ? 0 : textLength;
    } else {
      const XmlElementRecord& p = m_index[parent];
      pos = atStart ? p.start + p.StartTagLength() : ContentEnd(parent);
    }
    if (!(flags & (kXmlAddNoLineBreak | kXmlAddAtStart))) {
      int32_t skip = pos;
      while (skip < textLength && IsSpace(m_text[static_cast<size_t>(skip)])) ++skip;
      if (skip == textLength || m_text[static_cast<size_t>(skip)] == L'<') pos = skip;
    }
    InsertNodeText(pos, node);
    elementStart = pos;
  }
  const int32_t inserted = static_cast<int32_t>(m_text.size()) - before;

  XmlElementRecord& rec = m_index[n];
  rec = XmlElementRecord{};
  rec.start = elementStart;
  rec.length = nodeLength;
  rec.SetTagLengths(startLength, endLength);
  if (flags & kXmlAddStartTagOnly) rec.flags |= kXmlRecNoEndTag;
  LinkElement(n, parent, reference, flags);
  AdjustLengths(n, inserted);

  if (asChild) {
    m_current = parent;
    m_child = n;
  } else {
    m_parent = parent;
    m_current = n;
    m_child = 0;
  }
  SetNodeType();
  return true;
}
