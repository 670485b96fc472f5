// Table of encoding names (lower case) and their Windows code pages.
#pragma once

struct XmlEncodingName {
  const wchar_t* name;
  int codePage;
};

extern const XmlEncodingName kXmlEncodingNames[];
extern const int kXmlEncodingNameCount;
