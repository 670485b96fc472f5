// XmlPath: the element-path syntax that the find operations accept
// ("a/b[2]", "a[@id='7']", "//a", "/a/@id"). Only the form is checked here;
// the find operations compare the first step's name.
#pragma once

#include <cstdint>

struct XmlPath {
  enum Kind : int32_t { kNone = 0, kRelative = 1, kAbsolute = 2, kAnywhere = 3, kInvalid = -1 };

  // Parses text (null or empty: kNone); bare-name conditions such as
  // "a[b]" are refused when forbidBareConditions is set.
  explicit XmlPath(const wchar_t* text, bool forbidBareConditions = false);

  const wchar_t* text;
  bool forbidBare;
  int32_t kind;
  int32_t position;        // parse position; after parsing, the first step's name
  int32_t firstNameStart;
  int32_t attributeStart;  // start of a trailing "/@name" step, -1 when none
  int32_t valueLength;     // length of the last condition's value

 private:
  bool ParseStep(int32_t& i);
  bool ParseCondition(int32_t& i);
};
