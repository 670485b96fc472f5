// Parsing of element paths.
#include "xml/XmlPath.h"

namespace {

bool EndsStepName(wchar_t c) {
  return c == 0 || c == L' ' || c == L'=' || c == L'/' || c == L'[' || c == L']';
}

}  // namespace

XmlPath::XmlPath(const wchar_t* pathText, bool forbidBareConditions)
    : text(pathText), forbidBare(forbidBareConditions), kind(kNone), position(0), firstNameStart(0),
      attributeStart(-1), valueLength(0) {
  if (!text || !*text) return;
  int32_t i = 0;
  if (text[0] == L'/' && text[1] == L'/') {
    kind = kAnywhere;
    i = 2;
  } else if (text[0] == L'/') {
    kind = kAbsolute;
    i = 1;
  } else {
    kind = kRelative;
  }
  firstNameStart = i;
  int32_t steps = 0;
  for (;;) {
    if (!ParseStep(i)) {
      kind = kInvalid;
      return;
    }
    ++steps;
    if (text[i] == 0) break;
    if (text[i] != L'/') {
      kind = kInvalid;
      return;
    }
    if (text[i + 1] == L'@') {
      // An attribute step ends the path.
      int32_t j = i + 2;
      while (!EndsStepName(text[j])) ++j;
      if (j == i + 2 || text[j] != 0) {
        kind = kInvalid;
        return;
      }
      attributeStart = i + 1;
      break;
    }
    if (kind == kAnywhere) {
      kind = kInvalid;
      return;
    }
    ++i;
  }
  position = firstNameStart;
}

bool XmlPath::ParseStep(int32_t& i) {
  while (!EndsStepName(text[i])) ++i;
  if (text[i] == L'[') {
    ++i;
    if (!ParseCondition(i)) return false;
  }
  return true;
}

bool XmlPath::ParseCondition(int32_t& i) {
  wchar_t c = text[i];
  if (c >= L'1' && c <= L'9') {
    while (text[i] >= L'0' && text[i] <= L'9') ++i;
  } else if (c == L'@') {
    ++i;
    while (!EndsStepName(text[i])) ++i;
    if (text[i] == L'=') {
      ++i;
      wchar_t quote = text[i];
      if (quote == L'\'' || quote == L'"') {
        int32_t start = ++i;
        while (text[i] && text[i] != quote) ++i;
        if (!text[i]) return false;
        valueLength = i - start;
        ++i;
      } else {
        int32_t start = i;
        while (text[i] && text[i] != L']') ++i;
        valueLength = i - start;
      }
    }
  } else {
    if (forbidBare) return false;
    while (!EndsStepName(text[i])) ++i;
  }
  if (text[i] != L']') return false;
  ++i;
  return true;
}
