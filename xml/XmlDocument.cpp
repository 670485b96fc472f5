// Document lifetime, parsing entry, navigation by element index and the
// queries that re-scan the text at a record's offsets.
#include "xml/XmlDocument.h"

#include <cstring>

#include "xml/XmlEntities.h"
#include "xml/XmlPath.h"

namespace {

const int32_t kSegmentSize = 65536;

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool EndsTagName(wchar_t c) {
  return IsSpace(c) || c == L'<' || c == L'>' || c == L'=' || c == L'\\' || c == L'/' || c == L'?' ||
         c == L'!' || c == L'"' || c == L'\'' || c == L';';
}

}  // namespace

// ---- element index ----------------------------------------------------------

XmlElementIndex::~XmlElementIndex() { Free(); }

void XmlElementIndex::Free() {
  if (m_segments) {
    int32_t count = (m_capacity + kSegmentSize - 1) / kSegmentSize;
    for (int32_t i = 0; i < count; ++i) delete[] m_segments[i];
    delete[] m_segments;
  }
  m_segments = nullptr;
  m_capacity = 0;
  m_tableCapacity = 0;
}

void XmlElementIndex::Grow(int32_t requested) {
  if (requested <= m_capacity) return;
  int32_t lastSegment = m_capacity ? (m_capacity - 1) / kSegmentSize : -1;
  // At most one new segment per request.
  int32_t limit = (lastSegment + 2) * kSegmentSize;
  if (requested > limit) requested = limit;
  int32_t newLast = (requested - 1) / kSegmentSize;
  if (newLast >= m_tableCapacity) {
    int32_t tableCapacity = 2 * newLast + 4;
    XmlElementRecord** table = new XmlElementRecord*[static_cast<size_t>(tableCapacity)]();
    if (m_segments) {
      std::memcpy(table, m_segments, sizeof(XmlElementRecord*) * static_cast<size_t>(m_tableCapacity));
      delete[] m_segments;
    }
    m_segments = table;
    m_tableCapacity = tableCapacity;
  }
  auto resize = [&](int32_t segment, int32_t oldRecords, int32_t newRecords) {
    XmlElementRecord* fresh = new XmlElementRecord[static_cast<size_t>(newRecords)]();
    if (oldRecords) {
      std::memcpy(fresh, m_segments[segment], sizeof(XmlElementRecord) * static_cast<size_t>(oldRecords));
      delete[] m_segments[segment];
    }
    m_segments[segment] = fresh;
  };
  if (newLast != lastSegment && lastSegment >= 0) {
    int32_t held = m_capacity - lastSegment * kSegmentSize;
    if (held < kSegmentSize) resize(lastSegment, held, kSegmentSize);
  }
  int32_t held = newLast == lastSegment ? m_capacity - lastSegment * kSegmentSize : 0;
  resize(newLast, held, requested - newLast * kSegmentSize);
  m_capacity = requested;
}

// ---- lifetime -----------------------------------------------------------------

XmlDocument::XmlDocument(const wchar_t* text) { SetDocumentText(text); }

XmlDocument::~XmlDocument() { m_index.Free(); }

bool XmlDocument::SetDocumentText(const wchar_t* text) {
  if (m_flags & (kXmlFlagReadFile | kXmlFlagWriteFile)) return false;
  if (text) {
    m_text = text;
  } else {
    m_text.clear();
    m_text.shrink_to_fit();
    m_index.Free();
  }
  m_log.clear();
  return ParseDocument();
}

void XmlDocument::ResetPositions() {
  m_parent = m_current = m_child = 0;
  m_nodeType = m_nodeOffset = m_nodeLength = 0;
}

void XmlDocument::SetNodeType() {
  m_nodeOffset = m_nodeLength = 0;
  m_nodeType = m_current ? kXmlNodeElement : 0;
}

int32_t XmlDocument::NewRecord() {
  if (m_used >= m_index.Capacity()) m_index.Grow(m_used + m_used / 2 + 1);
  return m_used++;
}

bool XmlDocument::ParseDocument() {
  ResetPositions();
  m_used = 1;
  int32_t length = static_cast<int32_t>(m_text.size());
  m_index.Grow(length / 64 + 8);
  m_index[0] = XmlElementRecord{};
  m_freeHead = 0;
  if (!m_text.empty()) {
    XmlScanner scanner;
    scanner.text = &m_text;
    scanner.flags = m_flags;
    int32_t first = ParseElementTree(scanner);
    m_index[0].length = length;
    if (!first) {
      LogResult(m_log, L"no_root_element", nullptr, 0, -1, -1);
    } else {
      m_index[0].firstChild = first;
      if (m_index[first].next) LogResult(m_log, L"root_has_sibling", nullptr, 0, -1, -1);
    }
  }
  ResetPositions();
  return IsWellFormed();
}

bool XmlDocument::IsWellFormed() const {
  if (m_flags & kXmlFlagWriteFile) return true;
  if (m_index.Capacity() == 0 || m_used == 0) return false;
  const XmlElementRecord& doc = m_index[0];
  if (m_flags & kXmlFlagReadFile) return !(doc.flags & kXmlRecDocIllFormed);
  return !(doc.flags & kXmlRecDocIllFormed) && doc.firstChild && !m_index[doc.firstChild].next;
}

bool XmlDocument::ValidIndex(int32_t index) const {
  return index > 0 && index < m_used && !(m_index[index].flags & kXmlRecReleased);
}

XmlElementRecord XmlDocument::RecordAt(int32_t index) const {
  if (index < 0 || index >= m_used) return XmlElementRecord{};
  return m_index[index];
}

// ---- navigation -----------------------------------------------------------------

bool XmlDocument::NameMatches(int32_t index, const wchar_t* step) const {
  if (!step) return true;
  std::wstring tag = TagNameAt(index);
  size_t n = tag.size();
  const bool ignoreCase = (m_flags & kXmlFlagIgnoreCase) != 0;
  for (size_t i = 0; i < n; ++i) {
    wchar_t a = step[i];
    if (a == 0) return false;
    if (ignoreCase ? FoldAscii(a) != FoldAscii(tag[i]) : a != tag[i]) return false;
  }
  wchar_t next = step[n];
  return next == 0 || next == L' ' || next == L'=' || next == L'/' || next == L'[' || next == L']';
}

namespace {

// The first step's name of a find argument; null for "any element";
// sets refused when the path can match nothing.
const wchar_t* StepName(const wchar_t* name, bool& refused) {
  refused = false;
  if (!name || !*name) return nullptr;
  XmlPath path(name);
  if (path.kind == XmlPath::kInvalid || name[0] == L'/') {
    refused = true;
    return nullptr;
  }
  return name + path.firstNameStart;
}

}  // namespace

bool XmlDocument::FindElement(const wchar_t* name) {
  if ((m_flags & kXmlFlagWriteFile) || m_index.Capacity() == 0 || m_used == 0) return false;
  bool refused = false;
  const wchar_t* step = StepName(name, refused);
  if (refused) return false;
  int32_t candidate = m_current ? m_index[m_current].next : m_index[m_parent].firstChild;
  for (; candidate; candidate = m_index[candidate].next) {
    if (NameMatches(candidate, step)) {
      m_current = candidate;
      m_parent = m_index[candidate].parent;
      m_child = 0;
      SetNodeType();
      return true;
    }
  }
  return false;
}

bool XmlDocument::FindChildElement(const wchar_t* name) {
  if (m_flags & (kXmlFlagReadFile | kXmlFlagWriteFile)) return false;
  if (!m_current && !FindElement(nullptr)) return false;
  bool refused = false;
  const wchar_t* step = StepName(name, refused);
  if (refused) return false;
  int32_t candidate = m_child ? m_index[m_child].next : m_index[m_current].firstChild;
  for (; candidate; candidate = m_index[candidate].next) {
    if (NameMatches(candidate, step)) {
      m_child = candidate;
      m_current = m_index[candidate].parent;
      m_parent = m_index[m_current].parent;
      SetNodeType();
      return true;
    }
  }
  return false;
}

void XmlDocument::IntoElement() {
  if (!m_current || m_nodeType != kXmlNodeElement) return;
  m_parent = m_current;
  m_current = m_child;
  m_child = 0;
  SetNodeType();
}

void XmlDocument::OutOfElement() {
  if (!m_parent) return;
  m_child = m_current;
  m_current = m_parent;
  m_parent = m_index[m_current].parent;
  m_nodeOffset = m_nodeLength = 0;
  m_nodeType = kXmlNodeElement;
}

// ---- queries ----------------------------------------------------------------------

std::wstring XmlDocument::TagNameAt(int32_t index) const {
  if (!ValidIndex(index)) return std::wstring();
  size_t len = m_text.size();
  size_t i = static_cast<size_t>(m_index[index].start) + 1;
  while (i < len && IsSpace(m_text[i])) ++i;
  if (i >= len) return std::wstring();
  size_t end = i + 1;
  while (end < len && !EndsTagName(m_text[end])) ++end;
  return m_text.substr(i, end - i);
}

int32_t XmlDocument::ContentEnd(int32_t index) const {
  const XmlElementRecord& rec = m_index[index];
  int32_t end = rec.start + rec.length - rec.EndTagLength();
  // An end tag too long for its 10-bit field: find its '<' instead.
  if (rec.EndTagLength() == 0x3FF) {
    size_t lt = m_text.rfind(L'<', static_cast<size_t>(rec.start + rec.length - 1));
    if (lt != std::wstring::npos && static_cast<int32_t>(lt) >= rec.start + rec.StartTagLength())
      end = static_cast<int32_t>(lt);
  }
  return end;
}

std::wstring XmlDocument::DataAt(int32_t index) const {
  if (!ValidIndex(index)) return std::wstring();
  const XmlElementRecord& rec = m_index[index];
  if (rec.StartTagLength() >= rec.length || rec.firstChild) return std::wstring();
  int32_t begin = rec.start + rec.StartTagLength();
  int32_t end = ContentEnd(index);
  if (end <= begin || end > static_cast<int32_t>(m_text.size())) return std::wstring();
  const wchar_t* content = m_text.c_str() + begin;
  int32_t count = end - begin;
  if (!std::wmemchr(content, L'<', static_cast<size_t>(count))) return UnescapeXmlText(content, count);

  std::wstring piece(content, static_cast<size_t>(count));
  std::wstring result;
  XmlScanner scanner;
  scanner.text = &piece;
  scanner.flags = m_flags;
  XmlNodeToken token;
  for (;;) {
    int32_t type = ScanNode(scanner, token);
    if (type == kXmlNodeEnd) break;
    if (type == kXmlNodeText) {
      result += UnescapeXmlText(piece.c_str() + token.start, token.length);
    } else if (type == kXmlNodeCData && token.length >= 12) {
      result.append(piece, static_cast<size_t>(token.start) + 9, static_cast<size_t>(token.length) - 12);
    }
  }
  return result;
}

std::wstring XmlDocument::SubDocumentAt(int32_t index) const {
  if (!ValidIndex(index) || (m_flags & (kXmlFlagReadFile | kXmlFlagWriteFile))) return std::wstring();
  const XmlElementRecord& rec = m_index[index];
  size_t begin = static_cast<size_t>(rec.start);
  size_t end = begin + static_cast<size_t>(rec.length);
  size_t len = m_text.size();
  if (end > len) end = len;
  size_t after = end;
  while (after < len && IsSpace(m_text[after])) ++after;
  if (after == len || m_text[after] == L'<') end = after;
  return m_text.substr(begin, end - begin);
}

// ---- result log ---------------------------------------------------------------

void XmlDocument::LogResult(std::wstring& log, const wchar_t* type, const wchar_t* text, int32_t flags,
                            int32_t value, int32_t value2) {
  if (log.size() >= 1000) return;
  XmlDocument entries(log.c_str());
  if (flags & kXmlLogUpdate) {
    if (!entries.FindElement(type)) return;
  } else {
    entries.AddElement(type, nullptr, kXmlAddNoLineBreak);
  }
  int32_t at = entries.m_current;
  if (text) {
    const wchar_t* attribute = (flags & kXmlLogType)       ? L"type"
                               : (flags & kXmlLogEncoding) ? L"encoding"
                               : (flags & kXmlLogMsg)      ? L"msg"
                                                           : L"tagname";
    entries.SetAttribute(at, attribute, text);
  }
  if (flags & kXmlLogN) {
    entries.SetAttribute(at, L"n", value);
  } else if (flags & kXmlLogCount) {
    entries.SetAttribute(at, L"count", value);
  } else if (flags & kXmlLogLength) {
    entries.SetAttribute(at, L"length", value);
  } else if (value != -1) {
    entries.SetAttribute(at, L"offset", value);
  }
  if (value2 != -1) entries.SetAttribute(at, L"offset2", value2);
  log = entries.m_text;
}
