// Entity table (the HTML 4.01 character entities plus "apos"), reference
// decoding and escaping.
#include "xml/XmlEntities.h"

#include <cwchar>
#include <vector>

namespace {

struct NamedEntity {
  const wchar_t* name;
  int32_t codePoint;
};

const NamedEntity kEntities[] = {
    {L"quot", 34}, {L"amp", 38}, {L"apos", 39}, {L"lt", 60}, {L"gt", 62},
    {L"nbsp", 160}, {L"iexcl", 161}, {L"cent", 162}, {L"pound", 163}, {L"curren", 164},
    {L"yen", 165}, {L"brvbar", 166}, {L"sect", 167}, {L"uml", 168}, {L"copy", 169},
    {L"ordf", 170}, {L"laquo", 171}, {L"not", 172}, {L"shy", 173}, {L"reg", 174},
    {L"macr", 175}, {L"deg", 176}, {L"plusmn", 177}, {L"sup2", 178}, {L"sup3", 179},
    {L"acute", 180}, {L"micro", 181}, {L"para", 182}, {L"middot", 183}, {L"cedil", 184},
    {L"sup1", 185}, {L"ordm", 186}, {L"raquo", 187}, {L"frac14", 188}, {L"frac12", 189},
    {L"frac34", 190}, {L"iquest", 191}, {L"Agrave", 192}, {L"Aacute", 193}, {L"Acirc", 194},
    {L"Atilde", 195}, {L"Auml", 196}, {L"Aring", 197}, {L"AElig", 198}, {L"Ccedil", 199},
    {L"Egrave", 200}, {L"Eacute", 201}, {L"Ecirc", 202}, {L"Euml", 203}, {L"Igrave", 204},
    {L"Iacute", 205}, {L"Icirc", 206}, {L"Iuml", 207}, {L"ETH", 208}, {L"Ntilde", 209},
    {L"Ograve", 210}, {L"Oacute", 211}, {L"Ocirc", 212}, {L"Otilde", 213}, {L"Ouml", 214},
    {L"times", 215}, {L"Oslash", 216}, {L"Ugrave", 217}, {L"Uacute", 218}, {L"Ucirc", 219},
    {L"Uuml", 220}, {L"Yacute", 221}, {L"THORN", 222}, {L"szlig", 223}, {L"agrave", 224},
    {L"aacute", 225}, {L"acirc", 226}, {L"atilde", 227}, {L"auml", 228}, {L"aring", 229},
    {L"aelig", 230}, {L"ccedil", 231}, {L"egrave", 232}, {L"eacute", 233}, {L"ecirc", 234},
    {L"euml", 235}, {L"igrave", 236}, {L"iacute", 237}, {L"icirc", 238}, {L"iuml", 239},
    {L"eth", 240}, {L"ntilde", 241}, {L"ograve", 242}, {L"oacute", 243}, {L"ocirc", 244},
    {L"otilde", 245}, {L"ouml", 246}, {L"divide", 247}, {L"oslash", 248}, {L"ugrave", 249},
    {L"uacute", 250}, {L"ucirc", 251}, {L"uuml", 252}, {L"yacute", 253}, {L"thorn", 254},
    {L"yuml", 255}, {L"OElig", 338}, {L"oelig", 339}, {L"Scaron", 352}, {L"scaron", 353},
    {L"Yuml", 376}, {L"fnof", 402}, {L"circ", 710}, {L"tilde", 732},
    {L"Alpha", 913}, {L"Beta", 914}, {L"Gamma", 915}, {L"Delta", 916}, {L"Epsilon", 917},
    {L"Zeta", 918}, {L"Eta", 919}, {L"Theta", 920}, {L"Iota", 921}, {L"Kappa", 922},
    {L"Lambda", 923}, {L"Mu", 924}, {L"Nu", 925}, {L"Xi", 926}, {L"Omicron", 927},
    {L"Pi", 928}, {L"Rho", 929}, {L"Sigma", 931}, {L"Tau", 932}, {L"Upsilon", 933},
    {L"Phi", 934}, {L"Chi", 935}, {L"Psi", 936}, {L"Omega", 937},
    {L"alpha", 945}, {L"beta", 946}, {L"gamma", 947}, {L"delta", 948}, {L"epsilon", 949},
    {L"zeta", 950}, {L"eta", 951}, {L"theta", 952}, {L"iota", 953}, {L"kappa", 954},
    {L"lambda", 955}, {L"mu", 956}, {L"nu", 957}, {L"xi", 958}, {L"omicron", 959},
    {L"pi", 960}, {L"rho", 961}, {L"sigmaf", 962}, {L"sigma", 963}, {L"tau", 964},
    {L"upsilon", 965}, {L"phi", 966}, {L"chi", 967}, {L"psi", 968}, {L"omega", 969},
    {L"thetasym", 977}, {L"upsih", 978}, {L"piv", 982},
    {L"ensp", 8194}, {L"emsp", 8195}, {L"thinsp", 8201}, {L"zwnj", 8204}, {L"zwj", 8205},
    {L"lrm", 8206}, {L"rlm", 8207}, {L"ndash", 8211}, {L"mdash", 8212}, {L"lsquo", 8216},
    {L"rsquo", 8217}, {L"sbquo", 8218}, {L"ldquo", 8220}, {L"rdquo", 8221}, {L"bdquo", 8222},
    {L"dagger", 8224}, {L"Dagger", 8225}, {L"bull", 8226}, {L"hellip", 8230}, {L"permil", 8240},
    {L"prime", 8242}, {L"Prime", 8243}, {L"lsaquo", 8249}, {L"rsaquo", 8250}, {L"oline", 8254},
    {L"frasl", 8260}, {L"euro", 8364}, {L"image", 8465}, {L"weierp", 8472}, {L"real", 8476},
    {L"trade", 8482}, {L"alefsym", 8501}, {L"larr", 8592}, {L"uarr", 8593}, {L"rarr", 8594},
    {L"darr", 8595}, {L"harr", 8596}, {L"crarr", 8629}, {L"lArr", 8656}, {L"uArr", 8657},
    {L"rArr", 8658}, {L"dArr", 8659}, {L"hArr", 8660}, {L"forall", 8704}, {L"part", 8706},
    {L"exist", 8707}, {L"empty", 8709}, {L"nabla", 8711}, {L"isin", 8712}, {L"notin", 8713},
    {L"ni", 8715}, {L"prod", 8719}, {L"sum", 8721}, {L"minus", 8722}, {L"lowast", 8727},
    {L"radic", 8730}, {L"prop", 8733}, {L"infin", 8734}, {L"ang", 8736}, {L"and", 8743},
    {L"or", 8744}, {L"cap", 8745}, {L"cup", 8746}, {L"int", 8747}, {L"there4", 8756},
    {L"sim", 8764}, {L"cong", 8773}, {L"asymp", 8776}, {L"ne", 8800}, {L"equiv", 8801},
    {L"le", 8804}, {L"ge", 8805}, {L"sub", 8834}, {L"sup", 8835}, {L"nsub", 8836},
    {L"sube", 8838}, {L"supe", 8839}, {L"oplus", 8853}, {L"otimes", 8855}, {L"perp", 8869},
    {L"sdot", 8901}, {L"lceil", 8968}, {L"rceil", 8969}, {L"lfloor", 8970}, {L"rfloor", 8971},
    {L"lang", 9001}, {L"rang", 9002}, {L"loz", 9674}, {L"spades", 9824}, {L"clubs", 9827},
    {L"hearts", 9829}, {L"diams", 9830},
};

const int kBuckets = 130;

wchar_t Fold(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool IsAllLower(const wchar_t* name) {
  for (; *name; ++name)
    if (*name >= L'A' && *name <= L'Z') return false;
  return true;
}

// Buckets of packed entries: one digit of name length, four digits of code
// point, the lower-case name. Names that differ only in case fold to the
// same key; the small letter is stored first, so it is the one found.
const std::vector<std::wstring>& Buckets() {
  static const std::vector<std::wstring> buckets = [] {
    std::vector<std::wstring> b(kBuckets);
    for (int pass = 0; pass < 2; ++pass) {
      for (const NamedEntity& e : kEntities) {
        if (IsAllLower(e.name) != (pass == 0)) continue;
        std::wstring name;
        unsigned sum = 0;
        for (const wchar_t* p = e.name; *p; ++p) {
          name += Fold(*p);
          sum += Fold(*p);
        }
        wchar_t packed[8];
        std::swprintf(packed, 8, L"%01u%04d", static_cast<unsigned>(name.size()), e.codePoint);
        b[sum % kBuckets] += packed + name;
      }
    }
    return b;
  }();
  return buckets;
}

int32_t LookUpEntity(const wchar_t* name, size_t length) {
  unsigned sum = 0;
  for (size_t i = 0; i < length; ++i) sum += name[i];
  const std::wstring& bucket = Buckets()[sum % kBuckets];
  size_t i = 0;
  while (i + 5 <= bucket.size()) {
    size_t entryLength = static_cast<size_t>(bucket[i] - L'0');
    int32_t codePoint = 0;
    for (size_t k = 1; k <= 4; ++k) codePoint = codePoint * 10 + (bucket[i + k] - L'0');
    if (entryLength == length && bucket.compare(i + 5, length, name, length) == 0) return codePoint;
    i += 5 + entryLength;
  }
  return 0;
}

bool IsLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int HexValue(wchar_t c) {
  if (IsDigit(c)) return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  return -1;
}

}  // namespace

std::wstring UnescapeXmlText(const wchar_t* text, int32_t length) {
  std::wstring out;
  if (!text) return out;
  size_t len = length < 0 ? std::wcslen(text) : static_cast<size_t>(length);
  out.reserve(len);
  for (size_t i = 0; i < len; ++i) {
    wchar_t c = text[i];
    if (c != L'&') {
      out += c;
      continue;
    }
    wchar_t name[10];
    size_t n = 0;
    size_t j = i + 1;
    bool ended = false;
    for (; j < len && n <= 9; ++j) {
      wchar_t d = text[j];
      if (d >= 128) break;
      if (d == L';') {
        ended = true;
        break;
      }
      if (n == 9) break;
      name[n++] = Fold(d);
    }
    uint32_t codePoint = 0;
    if (ended && n > 0) {
      if (name[0] == L'#') {
        size_t k = 1;
        // Cap the value so overlong digit runs can't wrap around.
        if (k < n && name[k] == L'x') {
          for (++k; k < n && HexValue(name[k]) >= 0; ++k)
            if (codePoint <= 0x10FFFF) codePoint = codePoint * 16 + static_cast<uint32_t>(HexValue(name[k]));
        } else {
          for (; k < n && IsDigit(name[k]); ++k)
            if (codePoint <= 0x10FFFF) codePoint = codePoint * 10 + static_cast<uint32_t>(name[k] - L'0');
        }
      } else {
        codePoint = static_cast<uint32_t>(LookUpEntity(name, n));
      }
    }
    if (codePoint == 0 || codePoint > 0x10FFFF) {
      out += L'&';
      continue;
    }
    if (codePoint < 0x10000) {
      out += static_cast<wchar_t>(codePoint);
    } else {
      out += static_cast<wchar_t>(0xD800 | (((codePoint - 0x10000) >> 10) & 0x3FF));
      out += static_cast<wchar_t>(0xDC00 | (codePoint & 0x3FF));
    }
    i = j;
  }
  return out;
}

std::wstring EscapeXmlText(const wchar_t* text, int32_t flags) {
  std::wstring out;
  if (!text) return out;
  size_t len = std::wcslen(text);
  out.reserve(len + len / 10 + 7);
  const bool attribute = (flags & kXmlEscapeAttribute) != 0;
  for (size_t i = 0; i < len; ++i) {
    wchar_t c = text[i];
    switch (c) {
      case L'<': out += L"&lt;"; continue;
      case L'>': out += L"&gt;"; continue;
      case L'\'':
        if (attribute) {
          out += L"&apos;";
          continue;
        }
        break;
      case L'"':
        if (attribute) {
          out += L"&quot;";
          continue;
        }
        break;
      case L'&': {
        if (flags & kXmlEscapeKeepReferences) {
          wchar_t first = i + 1 < len ? text[i + 1] : 0;
          if (IsLetter(first) || first == L'#' || first == L'_' || first == L':' || first >= 128) {
            size_t j = i + 2;
            while (j < len && (IsLetter(text[j]) || IsDigit(text[j]) || text[j] == L'-' || text[j] == L'.' ||
                               text[j] == L':' || text[j] == L'_' || text[j] >= 128))
              ++j;
            if (j < len && text[j] == L';') {
              out.append(text + i, j + 1 - i);
              i = j;
              continue;
            }
          }
        }
        out += L"&amp;";
        continue;
      }
      default:
        break;
    }
    out += c;
  }
  return out;
}

std::wstring MakeCDataSection(const wchar_t* text) {
  std::wstring out = L"<![CDATA[";
  std::wstring body = text ? text : L"";
  size_t from = 0;
  for (;;) {
    size_t found = body.find(L"]]>", from);
    if (found == std::wstring::npos) {
      out.append(body, from, std::wstring::npos);
      break;
    }
    out.append(body, from, found - from);
    out += L"]]]]><![CDATA[>";
    from = found + 3;
  }
  out += L"]]>";
  return out;
}
