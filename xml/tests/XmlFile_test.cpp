// Whole-file reads in every supported encoding, the file layer's log
// entries, damaged files, and writing through XmlFileStream.
#include "xml/XmlFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "testsupport/TestEnv.h"
#include "xml/XmlDocument.h"

namespace {

using larktest::Narrow;
using larktest::ScratchDir;
using larktest::WriteFileBytes;

enum class Layout { kCodePage, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };

std::string Encode(const std::wstring& text, Layout layout, UINT codePage) {
  std::string out;
  switch (layout) {
    case Layout::kCodePage: {
      int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
      out.resize(static_cast<size_t>(n));
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
      break;
    }
    case Layout::kUtf16Le:
    case Layout::kUtf16Be:
      for (wchar_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
        out += layout == Layout::kUtf16Le ? std::string{lo, hi} : std::string{hi, lo};
      }
      break;
    case Layout::kUtf32Le:
    case Layout::kUtf32Be:
      for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint16_t>(text[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size())
          cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
        char b[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                     static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
        out += layout == Layout::kUtf32Le ? std::string{b[0], b[1], b[2], b[3]} : std::string{b[3], b[2], b[1], b[0]};
      }
      break;
  }
  return out;
}

std::wstring Document(const wchar_t* declared, const std::wstring& sample) {
  std::wstring text;
  if (declared) text += L"<?xml version=\"1.0\" encoding=\"" + std::wstring(declared) + L"\"?>\r\n";
  text += L"<response><value>" + sample + L"</value><amp>a &amp; b &#x41;</amp></response>\r\n";
  return text;
}

struct EncodingCase {
  const char* label;
  const wchar_t* declared;  // null: no XML declaration
  const wchar_t* sample;
  Layout layout;
  UINT codePage;
  const char* mark;
  int32_t flags;
};

const wchar_t kMixed[] = L"Zo\x00eb \x20ac \x65e5\x672c \xD83D\xDE00";
const wchar_t kLatin1[] = L"Zo\x00eb \x20ac na\x00efve";

const EncodingCase kCases[] = {
    {"utf8-mark", nullptr, kMixed, Layout::kCodePage, CP_UTF8, "\xEF\xBB\xBF", kXmlFlagUtf8Mark},
    {"utf8-declared", L"utf-8", kMixed, Layout::kCodePage, CP_UTF8, "", 0},
    {"utf8-undeclared", nullptr, kMixed, Layout::kCodePage, CP_UTF8, "", 0},
    {"utf16le-mark", nullptr, kMixed, Layout::kUtf16Le, 0, "\xFF\xFE", kXmlFlagUtf16LeMark},
    {"utf16be-mark", nullptr, kMixed, Layout::kUtf16Be, 0, "\xFE\xFF", kXmlFlagUtf16BeMark},
    {"utf16le-declared", L"UTF-16", kMixed, Layout::kUtf16Le, 0, "", 0},
    {"utf16be-declared", L"UTF-16BE", kMixed, Layout::kUtf16Be, 0, "", 0},
    {"utf32le-declared", L"UTF-32", kMixed, Layout::kUtf32Le, 0, "", 0},
    {"utf32be-declared", L"utf-32be", kMixed, Layout::kUtf32Be, 0, "", 0},
    {"windows-1252", L"Windows-1252", kLatin1, Layout::kCodePage, 1252, "", 0},
    {"iso-8859-2", L"ISO-8859-2", L"\x0142\x00f3" L"d\x017a \x0150\x0171", Layout::kCodePage, 28592, "", 0},
    {"shift_jis", L"Shift_JIS", L"\x65e5\x672c\x8a9e\x30c6\x30ad\x30b9\x30c8 abc", Layout::kCodePage, 932, "", 0},
    {"utf8-mark-declares-1252", L"windows-1252", kLatin1, Layout::kCodePage, CP_UTF8, "\xEF\xBB\xBF",
     kXmlFlagUtf8Mark},
    {"utf16-mark-declares-utf8", L"UTF-8", kMixed, Layout::kUtf16Le, 0, "\xFF\xFE", kXmlFlagUtf16LeMark},
};

TEST(XmlFileEncodings, EveryEncodingReadsToTheSameText) {
  ScratchDir dir(L"xml-encodings");
  for (const EncodingCase& c : kCases) {
    std::wstring text = Document(c.declared, c.sample);
    if (std::string(c.label) == "utf8-undeclared") text = L"\r\n" + text;  // first byte not '<'
    std::wstring path = dir.file(larktest::Widen(c.label) + L".xml");
    ASSERT_TRUE(WriteFileBytes(path, std::string(c.mark) + Encode(text, c.layout, c.codePage)));

    XmlDocument doc;
    doc.m_flags = kXmlFlagUtf16BeMark;  // left over from an earlier read: must not stick
    ASSERT_TRUE(doc.ReadWholeFile(path.c_str())) << c.label << ": " << Narrow(doc.ResultLog());
    EXPECT_EQ(text, doc.Text()) << c.label << ": " << Narrow(doc.ResultLog());
    EXPECT_EQ(c.flags, doc.m_flags) << c.label;
    EXPECT_TRUE(doc.ParseDocument()) << c.label << ": " << Narrow(doc.ResultLog());
    ASSERT_TRUE(doc.FindElement(L"response")) << c.label;
    ASSERT_TRUE(doc.FindChildElement(L"value")) << c.label;
    EXPECT_EQ(c.sample, doc.GetChildData()) << c.label;
    ASSERT_TRUE(doc.FindChildElement(L"amp")) << c.label;
    EXPECT_EQ(L"a & b A", doc.GetChildData()) << c.label;
  }
}

std::wstring ReadLog(const std::wstring& path, std::wstring* text = nullptr, int32_t* flags = nullptr) {
  std::wstring log, body;
  int32_t f = 0;
  XmlDocument::ReadWholeFile(log, path.c_str(), body, &f);
  if (text) *text = body;
  if (flags) *flags = f;
  return log;
}

// Reading in small steps must cut only between characters: the bytes of a
// character split by a step are read again with the next one.
TEST(XmlFileEncodings, ChunkedReadsCutBetweenCharacters) {
  ScratchDir dir(L"xml-chunks");
  struct {
    const char* label;
    const wchar_t* declared;
    Layout layout;
    UINT codePage;
    const char* mark;
  } cases[] = {
      {"utf8", L"UTF-8", Layout::kCodePage, CP_UTF8, ""},
      {"utf16", nullptr, Layout::kUtf16Le, 0, "\xFF\xFE"},
      {"sjis", L"Shift_JIS", Layout::kCodePage, 932, ""},
  };
  std::wstring sample;
  for (int i = 0; i < 30; ++i) sample += (i % 3 == 0) ? L"\x65e5\x672c\x8a9e" : (i % 3 == 1) ? L"ab\x30c6" : L"\xff71-";
  for (const auto& c : cases) {
    std::wstring text = Document(c.declared, c.layout == Layout::kUtf16Le ? sample + L"\xD83D\xDE00" : sample);
    std::wstring path = dir.file(larktest::Widen(c.label) + L".xml");
    ASSERT_TRUE(WriteFileBytes(path, std::string(c.mark) + Encode(text, c.layout, c.codePage)));
    for (int32_t step : {5, 7, 16, 61}) {
      XmlFileStream stream(kXmlFlagReadFile);
      ASSERT_TRUE(stream.Open(path.c_str()));
      std::wstring read;
      int guard = 0;
      while (stream.position() < stream.fileSize() && ++guard < 10000) {
        stream.SetStep(step);
        ASSERT_TRUE(stream.ReadText(read)) << c.label;
        EXPECT_EQ(std::wstring::npos, stream.log().find(L"truncation_error")) << c.label << " " << step;
      }
      ASSERT_TRUE(stream.Close());
      EXPECT_EQ(text, read) << c.label << " step " << step;
    }
  }
}

TEST(XmlFileLog, EntriesDescribeEachStep) {
  ScratchDir dir(L"xml-filelog");
  struct {
    const char* name;
    std::string bytes;
    const wchar_t* log;
  } cases[] = {
      {"mark.xml", "\xEF\xBB\xBF<r>\xC3\xA9</r>",
       L"<bom/><read encoding=\"UTF-8\" length=\"9\"/><converted_to encoding=\"UTF-16\" length=\"8\"/>"},
      {"be.xml", std::string("\xFE\xFF\0<\0r\0/\0>", 10),
       L"<bom/><read encoding=\"UTF-16BE\" length=\"4\"/><endian_swap/>"},
      {"plain.xml", "<r/>", L"<read encoding=\"UTF-8\" length=\"4\"/><converted_to encoding=\"UTF-16\" length=\"4\"/>"},
      {"detect.xml", " <r>\xC3\xA9</r>",
       L"<read encoding=\"UTF-8\" length=\"10\"/><utf8_detection/><converted_to encoding=\"UTF-16\" length=\"9\"/>"},
      {"zero.xml", std::string("<r>x\0y</r>", 10),
       L"<read encoding=\"UTF-8\" length=\"10\"/><nulls_removed count=\"1\"/>"
       L"<converted_to encoding=\"UTF-16\" length=\"9\"/>"},
      {"empty.xml", "", L"<read encoding=\"\" length=\"0\"/>"},
      {"odd.xml", std::string("\xFF\xFE<\0r\0/\0>\0x", 11), L"<bom/><read encoding=\"UTF-16LE\" length=\"4\"/>"},
      {"utf16-nomark-undeclared.xml", std::string("<\0r\0/\0>\0", 8),
       L"<read encoding=\"UTF-8\" length=\"8\"/><nulls_removed count=\"4\"/>"
       L"<converted_to encoding=\"UTF-16\" length=\"4\"/>"},
  };
  for (const auto& c : cases) {
    std::wstring path = dir.file(larktest::Widen(c.name));
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    EXPECT_EQ(c.log, ReadLog(path)) << c.name;
  }
}

// A file without a mark whose zero bytes hide its declaration from the
// first look, and whose declaration names UTF-16 or UTF-32, is 8-bit text
// all the same: it reads as UTF-8 with its zero bytes removed, and never
// more characters than the bytes it holds (also when it is large).
TEST(XmlFileEncodings, ZeroBytesAndAUnicodeNameInAnUnmarkedFileReadOnlyItsBytes) {
  ScratchDir dir(L"xml-unicode-names");
  const wchar_t* const kNames[] = {L"UTF-16", L"utf-16le", L"UTF-16BE", L"ucs-2", L"unicode",
                                   L"UTF-32", L"UTF-32LE", L"UTF-32BE", L"utf-32", L"utf-32be"};
  for (size_t bodySize : {size_t(0), size_t(4u << 20)}) {
    for (const wchar_t* name : kNames) {
      // The zero after "<?" hides the declaration until zeros are removed;
      // the '<' and '?' before it match no UTF-16 or UTF-32 layout.
      std::string text = "<?xml version=\"1.0\" encoding=\"" + Narrow(name) + "\"?>\r\n<response><value>Zo\xC3\xAB" +
                         std::string(bodySize, 'x') + "</value></response>";
      std::string bytes = text;
      bytes.insert(2, 1, '\0');
      bytes.insert(bytes.size() - 5, 1, '\0');
      std::wstring path = dir.file(L"named.xml");
      ASSERT_TRUE(WriteFileBytes(path, bytes));
      std::wstring read;
      int32_t flags = -1;
      std::wstring log = ReadLog(path, &read, &flags);
      std::wstring expected = larktest::Widen(text.substr(0, text.find("Zo") + 2)) + L"\x00eb" +
                              larktest::Widen(text.substr(text.find("Zo") + 4));
      EXPECT_EQ(expected.size(), read.size()) << Narrow(name) << " " << bodySize;
      EXPECT_TRUE(expected == read) << Narrow(name) << " " << bodySize;
      EXPECT_EQ(0, flags) << Narrow(name);
      std::wstring length = std::to_wstring(bytes.size());
      EXPECT_EQ(L"<read encoding=\"UTF-8\" length=\"" + length + L"\"/><nulls_removed count=\"2\"/>"
                L"<converted_to encoding=\"UTF-16\" length=\"" + std::to_wstring(expected.size()) + L"\"/>",
                log) << Narrow(name) << " " << bodySize;
    }
  }
}

TEST(XmlFileLog, AnsiFallbackForUndeclaredNonUtf8Bytes) {
  ScratchDir dir(L"xml-ansi");
  std::string bytes = "x\xE9\xE8<r/>";
  std::wstring path = dir.file(L"ansi.xml");
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  std::wstring text;
  std::wstring log = ReadLog(path, &text);
  wchar_t expected[16] = {};
  int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), expected, 16);
  EXPECT_EQ(std::wstring(expected, static_cast<size_t>(n)), text);
  if (GetACP() != CP_UTF8) {
    EXPECT_EQ(L"<read encoding=\"\" length=\"7\"/><utf8_detection/><converted_to encoding=\"UTF-16\" length=\"7\"/>",
              log);
  }
}

TEST(XmlFileErrors, MissingFilesAndFoldersGiveFileErrors) {
  ScratchDir dir(L"xml-missing");
  std::wstring text = L"stale";
  int32_t flags = 0;
  std::wstring log;
  EXPECT_FALSE(XmlDocument::ReadWholeFile(log, dir.file(L"nope.xml").c_str(), text, &flags));
  EXPECT_EQ(L"", text);
  EXPECT_EQ(0u, log.find(L"<file_error msg=\"")) << Narrow(log);
  EXPECT_NE(std::wstring::npos, log.find(L"\" n=\"2\"/>")) << Narrow(log);
  EXPECT_EQ(std::wstring::npos, log.find(L'\n'));

  EXPECT_FALSE(XmlDocument::ReadWholeFile(log, dir.path().c_str(), text, &flags));
  EXPECT_EQ(0u, log.find(L"<file_error msg=\"")) << Narrow(log);
  EXPECT_FALSE(XmlDocument::ReadWholeFile(log, L"", text, &flags));
  EXPECT_EQ(0u, log.find(L"<file_error")) << Narrow(log);
}

TEST(XmlFileErrors, HugeFileIsRefusedWithAFileError) {
  ScratchDir dir(L"xml-huge");
  std::wstring path = dir.file(L"huge.xml");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  LARGE_INTEGER size;
  size.QuadPart = 600ll * 1024 * 1024;  // sparse: nothing is written
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  std::wstring text;
  std::wstring log = ReadLog(path, &text);
  EXPECT_EQ(0u, log.find(L"<file_error msg=\"")) << Narrow(log);
  EXPECT_NE(std::wstring::npos, log.find(L"n=\"223\"/>")) << Narrow(log);
  EXPECT_EQ(L"", text);
}

TEST(XmlFileErrors, DamagedFilesParseWithLogEntriesInsteadOfFailing) {
  ScratchDir dir(L"xml-damaged");
  struct {
    const char* name;
    std::string bytes;
    const wchar_t* entry;
  } cases[] = {
      {"truncated.xml", "<response><value>Zo\xC3", L"unended_start_tag"},
      {"mismatched.xml", "<response><a></b></response>", L"lone_end_tag"},
      {"badref.xml", "<response><a>&bogus; &#xZZ; &</a></response>", nullptr},
      {"zero.xml", std::string("<response>\0</response>", 22), L"nulls_removed"},
      {"binary.xml", std::string("\x00\x01\x02<\x03\xFF\xFE", 8), nullptr},
      {"empty.xml", "", nullptr},
  };
  for (const auto& c : cases) {
    std::wstring path = dir.file(larktest::Widen(c.name));
    ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    XmlDocument doc;
    EXPECT_TRUE(doc.ReadWholeFile(path.c_str())) << c.name;
    doc.ParseDocument();
    if (c.entry) {
      EXPECT_NE(std::wstring::npos, doc.ResultLog().find(c.entry)) << c.name << Narrow(doc.ResultLog());
    }
    while (doc.FindChildElement(nullptr)) {
      doc.GetChildData();
      doc.GetChildSubDoc();
    }
  }
  XmlDocument refs;
  ASSERT_TRUE(refs.ReadWholeFile(dir.file(L"badref.xml").c_str()));
  ASSERT_TRUE(refs.ParseDocument());
  ASSERT_TRUE(refs.FindChildElement(L"a"));
  EXPECT_EQ(L"&bogus; &#xZZ; &", refs.GetChildData());
}

TEST(XmlFileWrite, WritesMarksConversionsAndLoss) {
  ScratchDir dir(L"xml-write");
  const std::wstring text = L"<r>\x00e9\x65e5</r>";
  {
    XmlFileStream out(kXmlFlagWriteFile | kXmlFlagUtf16BeMark);
    ASSERT_TRUE(out.Open(dir.file(L"be.xml").c_str()));
    EXPECT_EQ(L"<bom/>", out.log());
    ASSERT_TRUE(out.WriteText(text, -1));
    EXPECT_EQ(L"<endian_swap/><write encoding=\"UTF-16BE\" length=\"9\"/>", out.log());
    ASSERT_TRUE(out.Close());
  }
  std::string bytes;
  ASSERT_TRUE(larktest::ReadFileBytes(dir.file(L"be.xml"), bytes));
  EXPECT_EQ(std::string("\xFE\xFF\0<", 4), bytes.substr(0, 4));
  std::wstring back;
  int32_t flags = 0;
  ReadLog(dir.file(L"be.xml"), &back, &flags);
  EXPECT_EQ(text, back);
  EXPECT_EQ(kXmlFlagUtf16BeMark, flags);

  // A UTF-16 or UTF-32 name on a file without a mark: the units of that
  // encoding, counted in bytes for the buffer and the write.
  struct {
    const wchar_t* name;
    const wchar_t* text;
    std::string bytes;
  } unicodeCases[] = {
      {L"UTF-16", L"<r>\x00e9\xD83D\xDE00</r>",
       std::string("<\0r\0>\0\xE9\0\x3D\xD8\x00\xDE<\0/\0r\0>\0", 20)},
      {L"UTF-32", L"<>\x00e9\xD83D\xDE00", std::string("<\0\0\0>\0\0\0\xE9\0\0\0\x00\xF6\x01\0", 16)},
  };
  for (const auto& c : unicodeCases) {
    XmlFileStream out(kXmlFlagWriteFile);
    out.SetEncoding(c.name);
    std::wstring path = dir.file(std::wstring(c.name) + L".xml");
    ASSERT_TRUE(out.Open(path.c_str()));
    ASSERT_TRUE(out.WriteText(c.text, -1)) << Narrow(c.name);
    ASSERT_TRUE(out.Close());
    ASSERT_TRUE(larktest::ReadFileBytes(path, bytes));
    EXPECT_TRUE(c.bytes == bytes) << Narrow(c.name) << ": " << bytes.size() << " bytes";
  }

  XmlFileStream ansi(kXmlFlagWriteFile);
  ansi.SetEncoding(L"windows-1252");
  ASSERT_TRUE(ansi.Open(dir.file(L"1252.xml").c_str()));
  ASSERT_TRUE(ansi.WriteText(text, -1));
  EXPECT_EQ(L"<converted_from encoding=\"UTF-16\" length=\"9\"/><conversion_loss/>"
            L"<write encoding=\"windows-1252\" length=\"9\"/>",
            ansi.log());
  ASSERT_TRUE(ansi.Close());
  ASSERT_TRUE(larktest::ReadFileBytes(dir.file(L"1252.xml"), bytes));
  EXPECT_EQ("<r>\xE9?</r>", bytes);
}

}  // namespace
