#!/usr/bin/env python3
"""Hostile stub configuration responses for the silent installer.

    hostile_stubconf.py SEED FIRST LAST BASEURL OUTDIR

Writes OUTDIR/case-NNNNN.xml for the case numbers FIRST to LAST (case N of
a seed is always the same bytes) and prints "NNNNN kind" per case. Kinds: truncated, deep, huge,
encoding (every encoding declaration, with matching and mismatching
bytes), mark (byte-order marks, partial, doubled, contradicting), garbage,
broken (unclosed, mismatched, bad entities, unterminated CDATA and
comments), values (valid structure with hostile values) and valid (a
complete response; the installation then really runs). Every address in a
response points at BASEURL or at 127.0.0.1 only.
"""
import codecs
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_agent_fixtures  # noqa: E402

ENCODINGS = ["UTF-8", "utf-8", "UTF-16", "UTF-16LE", "UTF-16BE", "UTF-32", "UCS-2", "ISO-8859-1", "ISO-8859-2",
             "ISO-8859-5", "ISO-8859-7", "ISO-8859-15", "windows-1250", "windows-1251", "windows-1252",
             "windows-1253", "windows-1254", "windows-1257", "windows-1258", "Shift_JIS", "EUC-JP", "GB2312",
             "GBK", "Big5", "KOI8-R", "US-ASCII", "ASCII", "latin1", "", "bogus-enc", "UTF-7", "UTF8",
             "x" * 300, "UTF-8\x00", "\u00e9"]
MARKS = [b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff", b"\xff\xfe\x00\x00", b"\x00\x00\xfe\xff", b"\xef\xbb",
         b"\xff", b"\xfe", b"\xef\xbb\xbf\xef\xbb\xbf", b"\xff\xfe\xff\xfe", b"\x2b\x2f\x76\x38"]


def python_codec(name):
    try:
        return codecs.lookup(name).name
    except (LookupError, ValueError):
        return None


def valid(base):
    return make_agent_fixtures.stubconf(base)


def case(rng, base):
    kind = rng.choice(["truncated"] * 3 + ["deep"] * 2 + ["huge", "encoding", "encoding", "mark", "mark",
                       "garbage", "broken", "broken", "values", "values"] + ["valid"] * 0)
    if rng.random() < 0.01:
        kind = "valid"
    text = valid(base)
    if kind == "truncated":
        data = text.encode("utf-8")
        return kind, data[:rng.randrange(0, len(data))]
    if kind == "deep":
        depth = rng.choice([50, 500, 5000, 50000, 200000])
        tag = rng.choice(["a", "response", "stubCustomizations", "stubCustomization"])
        closed = rng.random() < 0.5
        body = ("<%s>" % tag) * depth + ("x" if rng.random() < 0.5 else "") + \
               (("</%s>" % tag) * depth if closed else "")
        return kind, ("<response>%s</response>" % body).encode("utf-8")
    if kind == "huge":
        size = rng.choice([1 << 20, 4 << 20])
        shape = rng.choice(["text", "elements", "attribute", "name"])
        if shape == "text":
            body = "<PartnerName>%s</PartnerName>" % ("A" * size)
        elif shape == "elements":
            body = "<e>1</e>" * (size // 8)
        elif shape == "attribute":
            body = '<e a="%s"/>' % ("b" * size)
        else:
            body = "<%s>1</%s>" % ("n" * (size // 2), "n" * (size // 2))
        return kind, ("<response>%s</response>" % body).encode("utf-8")
    if kind == "encoding":
        name = rng.choice(ENCODINGS)
        declared = text.replace('encoding="UTF-8"', 'encoding="%s"' % name, 1)
        declared = declared.replace("<PartnerID>", "<PartnerName>K\u00e4\u0436\u65e5</PartnerName><PartnerID>", 1)
        codec = python_codec(name) if rng.random() < 0.6 else rng.choice(["utf-16-le", "utf-16-be", "latin-1",
                                                                           "utf-32", "cp1251"])
        try:
            data = declared.encode(codec or "utf-8", errors="replace")
        except (LookupError, UnicodeError):
            data = declared.encode("utf-8")
        return kind, data
    if kind == "mark":
        mark = rng.choice(MARKS)
        codec = rng.choice(["utf-8", "utf-16-le", "utf-16-be", "utf-32-le", "latin-1"])
        body = text.encode(codec, errors="replace")
        if rng.random() < 0.3:
            body = body[:rng.randrange(0, len(body) + 1)]
        return kind, mark + body
    if kind == "garbage":
        n = rng.choice([0, 1, 2, 3, 7, 100, 4096, 100000])
        return kind, bytes(rng.randrange(256) for _ in range(n))
    if kind == "broken":
        variants = [
            "<response><a></b></response>",
            "<response><PartnerName>x",
            "<response><![CDATA[never ends",
            "<response><!-- never ends",
            "<response>&unknown;&#xFFFFFFFF;&#0;&#;&amp</response>",
            '<!DOCTYPE r [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
            '<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">]><response><x>&c;&c;&c;</x></response>',
            "<response><stubCustomizations><stubCustomization><language></language><EULTUrl/>"
            "</stubCustomization></stubCustomizations></response>",
            "<response attr='1' attr='2'><x y=></x></response>",
            "<?xml version='1.0'?><?xml version='1.0'?><response/>",
            "</response>",
            "<response>" + "\x00" * 50 + "</response>",
            "<response><stubCustomizations>" + "<stubCustomization><language>en</language>" * 300,
            "<" * 10000,
            "<response><" + ":" * 500 + ">v</" + ":" * 500 + "></response>",
            "<response><en:PartnerName>v</en:PartnerName><:x>y</:x><x:>z</x:></response>",
        ]
        return kind, rng.choice(variants).encode("utf-8", errors="surrogatepass")
    if kind == "values":
        choice = rng.randrange(6)
        if choice == 0:
            text = text.replace("/f/installer.msi", "/f/" + "x" * rng.choice([300, 5000, 100000]))
        elif choice == 1:
            text = text.replace(base.rstrip("/") + "/f/installer.msi", "http://127.0.0.1:1/none.msi")
        elif choice == 2:
            text = text.replace(base.rstrip("/") + "/f/settings.zip", "not a url at all %s" % ("%" * 40))
        elif choice == 3:
            text = text.replace("<language>en</language>", "<language>" + "e" * 1000 + "</language>")
            text = text.replace(base.rstrip("/") + "/f/help.zip", "")
        elif choice == 4:
            text = text.replace(base.rstrip("/") + "/f/installer.msi", base.rstrip("/") + "/f/missing.msi")
        else:
            text = text.replace(base.rstrip("/"), "ftp://127.0.0.1:2")
        return kind, text.encode("utf-8")
    return "valid", text.encode("utf-8")


def main():
    seed, first, last, base, out = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
    os.makedirs(out, exist_ok=True)
    for i in range(first, last + 1):
        kind, data = case(random.Random(seed * 1000003 + i), base)
        with open(os.path.join(out, "case-%05d.xml" % i), "wb") as f:
            f.write(data)
        print("%05d %s" % (i, kind))


if __name__ == "__main__":
    main()
