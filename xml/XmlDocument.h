// XmlDocument: an in-memory XML document kept as one UTF-16 string plus an
// index of element positions. Parsing builds only the index; every query
// (tag name, text, outer XML) re-scans the text at the recorded offsets.
// Bad input never throws: problems are appended to the document's result
// log, a short run of empty XML elements, one per problem.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Flags of the document (and of its file stream).
enum XmlDocFlags : int32_t {
  kXmlFlagUtf16LeMark = 0x1,
  kXmlFlagUtf8Mark = 0x4,
  kXmlFlagIgnoreCase = 0x8,
  kXmlFlagReadFile = 0x10,
  kXmlFlagWriteFile = 0x20,
  kXmlFlagAppend = 0x40,
  kXmlFlagUtf16BeMark = 0x80,
};

// Node types returned by scanning.
enum XmlNodeType : int32_t {
  kXmlNodeEndTag = 0,
  kXmlNodeElement = 1,
  kXmlNodeText = 2,
  kXmlNodeWhiteSpace = 4,
  kXmlNodeCData = 8,
  kXmlNodePi = 16,
  kXmlNodeComment = 32,
  kXmlNodeDocType = 64,
  kXmlNodeError = -1,
  kXmlNodeEnd = -2,
};

// Bits of word 4 of an element record.
enum XmlRecordFlags : int32_t {
  kXmlRecLevelMask = 0xFFFF,
  kXmlRecReleased = 0x20000,
  kXmlRecFirstChild = 0x80000,
  kXmlRecNoEndTag = 0x100000,
  kXmlRecIllFormed = 0x200000,
  kXmlRecDocIllFormed = 0x800000,
};

// Insertion flags of XmlDocument::AddElement.
enum XmlAddFlags : int32_t {
  kXmlAddCData = 0x1,
  kXmlAddNoLineBreak = 0x2,
  kXmlAddSpaceBeforeSlash = 0x4,
  kXmlAddKeepReferences = 0x8,
  kXmlAddStartTagOnly = 0x10,
  kXmlAddAtStart = 0x1000,
  kXmlAddBefore = 0x2000,
  kXmlAddAsChild = 0x4000,
};

// Flags of XmlDocument::LogResult: which attribute the text and the number
// become, and whether an existing entry is updated instead of appended.
enum XmlLogFlags : int32_t {
  kXmlLogCount = 0x1,
  kXmlLogType = 0x2,
  kXmlLogN = 0x4,
  kXmlLogEncoding = 0x8,
  kXmlLogLength = 0x10,
  kXmlLogUpdate = 0x20,
  kXmlLogMsg = 0x40,
};

// Position of one element in the document text and its links.
struct XmlElementRecord {
  int32_t start;      // offset of the '<'
  int32_t length;     // from '<' to the end of the end tag (or start tag)
  int32_t tagLengths; // low 22 bits start tag, high 10 bits end tag
  int32_t flags;      // low 16 bits level, XmlRecordFlags above
  int32_t parent;
  int32_t firstChild;
  int32_t next;
  int32_t prev;       // the first child's prev is the last child

  int32_t StartTagLength() const { return tagLengths & 0x3FFFFF; }
  int32_t EndTagLength() const { return (tagLengths >> 22) & 0x3FF; }
  void SetTagLengths(int32_t startLen, int32_t endLen);
  int32_t Level() const { return flags & kXmlRecLevelMask; }
};

// Element records in segments of 65536; an index's high 16 bits select
// the segment, so growing never moves more than the last segment.
class XmlElementIndex {
 public:
  XmlElementIndex() = default;
  ~XmlElementIndex();
  XmlElementIndex(const XmlElementIndex&) = delete;
  XmlElementIndex& operator=(const XmlElementIndex&) = delete;

  int32_t Capacity() const { return m_capacity; }
  // Grows towards the requested capacity, by at most one new segment.
  void Grow(int32_t requested);
  void Free();
  XmlElementRecord& operator[](int32_t index) { return m_segments[index >> 16][index & 0xFFFF]; }
  const XmlElementRecord& operator[](int32_t index) const {
    return m_segments[index >> 16][index & 0xFFFF];
  }

 private:
  XmlElementRecord** m_segments = nullptr;
  int32_t m_capacity = 0;
  int32_t m_tableCapacity = 0;
};

// The result of scanning one node.
struct XmlNodeToken {
  int32_t type = kXmlNodeError;
  int32_t start = 0;
  int32_t length = 0;
  int32_t flags = 0;  // 0x10000: empty-element tag
  int32_t nameStart = 0;
  int32_t nameLength = 0;
  std::wstring results;
};

const int32_t kXmlTokenEmptyElement = 0x10000;

class XmlFileStream;

// Scanning cursor over a document text.
struct XmlScanner {
  int32_t tokenStart = 0;
  int32_t tokenEnd = -1;
  int32_t position = 0;
  const std::wstring* text = nullptr;
  int32_t flags = 0;
  XmlFileStream* stream = nullptr;
};

// Stack of the open elements while the index is built; entry 0 is a sentinel.
struct XmlTagStack {
  struct Entry {
    int32_t nameStart;
    int32_t nameLength;
    int32_t element;
  };
  std::vector<Entry> entries;
  XmlTagStack() { entries.reserve(7); entries.push_back(Entry{0, 0, 0}); }
  int32_t Count() const { return static_cast<int32_t>(entries.size()) - 1; }
};

class XmlDocument {
 public:
  explicit XmlDocument(const wchar_t* text = nullptr);
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Replaces the text (null empties it), empties the log and re-parses.
  bool SetDocumentText(const wchar_t* text);
  bool ParseDocument();
  bool IsWellFormed() const;

  // Moves to the next sibling element matching the path's first step
  // (null or empty: any element).
  bool FindElement(const wchar_t* name);
  // Moves the child position to the next matching child of the current element.
  bool FindChildElement(const wchar_t* name);
  void IntoElement();
  void OutOfElement();

  std::wstring TagNameAt(int32_t index) const;
  // Text content with references decoded; empty when the element has children.
  std::wstring DataAt(int32_t index) const;
  // Outer XML plus the white space that follows up to the next markup.
  std::wstring SubDocumentAt(int32_t index) const;
  std::wstring GetTagName() const { return TagNameAt(m_current); }
  std::wstring GetData() const { return DataAt(m_current); }
  std::wstring GetChildTagName() const { return TagNameAt(m_child); }
  std::wstring GetChildData() const { return DataAt(m_child); }
  std::wstring GetChildSubDoc() const { return SubDocumentAt(m_child); }

  // Appends one entry to a result log (or updates one with kXmlLogUpdate);
  // value and value2 of -1 are left out.
  static void LogResult(std::wstring& log, const wchar_t* type, const wchar_t* text, int32_t flags,
                        int32_t value, int32_t value2);

  // Reads a whole file of any supported encoding into text; log receives
  // the file layer's entries, flags the byte-order marks found.
  static bool ReadWholeFile(std::wstring& log, const wchar_t* path, std::wstring& text, int32_t* flags);
  bool ReadWholeFile(const wchar_t* path) { return ReadWholeFile(m_log, path, m_text, &m_flags); }

  // Writing.
  bool SetAttribute(int32_t index, const wchar_t* name, const wchar_t* value);
  bool SetAttribute(int32_t index, const wchar_t* name, int32_t value);
  bool AddElement(const wchar_t* name, const wchar_t* value, int32_t flags);
  void ReplaceText(int32_t offset, int32_t count, const std::wstring& text);

  // Parser steps (public for the file layer's encoding sniffer and tests).
  static int32_t ScanNode(XmlScanner& scanner, XmlNodeToken& token);
  int32_t ParseElementTree(XmlScanner& scanner);

  const std::wstring& Text() const { return m_text; }
  const std::wstring& ResultLog() const { return m_log; }
  int32_t ParentPosition() const { return m_parent; }
  int32_t CurrentPosition() const { return m_current; }
  int32_t ChildPosition() const { return m_child; }
  int32_t UsedRecords() const { return m_used; }
  // A copy of a record for inspection; zeros for an index out of range.
  XmlElementRecord RecordAt(int32_t index) const;

  int32_t m_flags = 0;

 private:
  bool ValidIndex(int32_t index) const;
  void ResetPositions();
  void SetNodeType();
  bool NameMatches(int32_t index, const wchar_t* step) const;
  int32_t NewRecord();
  // Closes every open element above the first keep entries as unended.
  void CloseUnended(XmlTagStack& stack, int32_t keep, int32_t offset2);
  void InsertNodeText(int32_t pos, const std::wstring& text);
  void LinkElement(int32_t index, int32_t parent, int32_t reference, int32_t flags);
  void AdjustLengths(int32_t index, int32_t difference);
  int32_t ContentEnd(int32_t index) const;

  std::wstring m_text;
  std::wstring m_log;
  int32_t m_parent = 0;
  int32_t m_current = 0;
  int32_t m_child = 0;
  int32_t m_used = 0;
  int32_t m_freeHead = 0;
  int32_t m_nodeType = 0;
  int32_t m_nodeOffset = 0;
  int32_t m_nodeLength = 0;
  XmlFileStream* m_stream = nullptr;
  XmlElementIndex m_index;
};

inline void XmlElementRecord::SetTagLengths(int32_t startLen, int32_t endLen) {
  if (startLen > 0x3FFFFF) startLen = 0x3FFFFF;
  if (endLen > 0x3FF) endLen = 0x3FF;
  tagLengths = (startLen & 0x3FFFFF) | ((endLen & 0x3FF) << 22);
}
