#!/usr/bin/env python3
"""Builds the two embedded PROPERTIES tables from the readable sources.

  generate_properties.py TEXTS_DIR CUSTOMIZED OPERATOR OUT_TEXTS OUT_SETTINGS

TEXTS_DIR holds one UTF-8 file per language, <code>.properties, with one
Key=Value line per text. CUSTOMIZED is the product's settings table and
OPERATOR the operator's settings (both UTF-8, Key=Value for global
settings, code:Key=Value for a language's); a key of the operator file
replaces the same key of CUSTOMIZED. Lines that are empty or begin with '#'
are comments.

Output: UTF-16LE without a byte-order mark, every line "code:Key=Value" or
"Key=Value" ended by CR LF, texts grouped by language in the product's
language order.
"""
import os
import sys

LANGUAGES = ["bg", "cs", "da", "de", "el", "en", "es-MX", "es", "et", "fi", "fr-CA", "fr",
             "hu", "it", "ja", "nl", "no", "pl", "pt-BR", "pt", "ro", "ru", "sl", "sv", "tr",
             "vi", "zh-HK", "zh-TW", "zh"]

TEXT_KEYS = sorted([
    "Accept", "AdministrativeRights", "Back", "Cancel", "Close", "ConflictDescription1",
    "ConflictDescription2", "ConflictDescription3", "ConflictDescription3XP", "ConflictLink",
    "ConflictLinkXP", "ConflictTitle", "Decline", "DiskRequirement", "DiskRequirementDescription",
    "DiskRequirementTitle", "Error11", "Error12", "Error13", "Error15", "EulaInstructions",
    "EulaTitle", "Failed", "IHaveRead", "IHaveReadLink", "IWantToReceive", "IWantToReceiveLink",
    "InfoText2", "InfoText3", "InfoText4", "InfoText5", "Install", "InstallerBroken", "Language",
    "MemoryRequirement", "MsiBusy", "Next", "No", "OK", "OSRequirement", "PrevInstallationBroken",
    "PrivacyPolicyInstructions", "PrivacyPolicyLink", "PrivacyPolicyTitle", "Reboot",
    "RebootLater", "RebootNow", "Retry", "SelectLanguage", "Signature", "SoftwareConflict",
    "StubVersion", "Sure", "TryAgain", "UpgradeReboot", "View", "WrongOSDescription",
    "WrongOSTitle", "XPElevationNeeded", "Yes"])

LANGUAGE_SETTING_KEYS = ["AgentName", "KhDiagShortcutName", "InstallDirUnderProgramFiles",
                         "Shortcutname", "StartMenuFolder", "Title", "WelcomeInstructions",
                         "WelcomeTitle"]

# Placeholders that the pages replace; a translation must keep the English set.
PLACEHOLDERS = ["%PRODUCT%", "%SERVER%", "%INSTALL_DRIVE%", "%DISK_AVAILABLE%",
                "%DISK_REQUIRED%", "%LICENSE_TERMS%", "%INFO_LINK%", "%PARTNER_NAME%",
                "%SOFTWARE%"]


class SourceError(Exception):
    pass


def read_pairs(path):
    """Key=Value lines of a UTF-8 source, in order, with line numbers."""
    pairs = []
    with open(path, encoding="utf-8-sig") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            if "=" not in line:
                raise SourceError("%s:%d: expected Key=Value" % (path, number))
            key, value = line.split("=", 1)
            if not key or "\r" in value or "\n" in value:
                raise SourceError("%s:%d: bad line" % (path, number))
            pairs.append((key, value, number))
    return pairs


def read_texts(texts_dir):
    lines = []
    english = None
    tables = {}
    for code in LANGUAGES:
        path = os.path.join(texts_dir, code + ".properties")
        table = {}
        for key, value, number in read_pairs(path):
            if key not in TEXT_KEYS:
                raise SourceError("%s:%d: unknown key %s" % (path, number, key))
            if key in table:
                raise SourceError("%s:%d: %s given twice" % (path, number, key))
            table[key] = value
        missing = [k for k in TEXT_KEYS if k not in table]
        if missing:
            raise SourceError("%s: missing %s" % (path, ", ".join(missing)))
        tables[code] = table
    english = tables["en"]
    for code in LANGUAGES:
        for key in TEXT_KEYS:
            value = tables[code][key]
            for p in PLACEHOLDERS:
                if (p in english[key]) != (p in value):
                    raise SourceError("%s: %s: placeholder %s differs from English" % (code, key, p))
            if ("&" in english[key]) != ("&" in value):
                raise SourceError("%s: %s: accelerator '&' differs from English" % (code, key))
            lines.append("%s:%s=%s" % (code, key, value))
    return lines


def read_settings(customized, operator):
    merged = {}
    for path in (customized, operator):
        for key, value, _ in read_pairs(path):
            merged[key] = value
    global_keys = sorted(k for k in merged if ":" not in k)
    lines = ["%s=%s" % (k, merged[k]) for k in global_keys]
    for code in LANGUAGES:
        for key in LANGUAGE_SETTING_KEYS:
            qualified = code + ":" + key
            if qualified not in merged:
                raise SourceError("%s: missing %s" % (customized, qualified))
            lines.append("%s=%s" % (qualified, merged.pop(qualified)))
    extra = sorted(k for k in merged if ":" in k)
    lines += ["%s=%s" % (k, merged[k]) for k in extra]
    return lines


def write_utf16(path, lines):
    data = "".join(line + "\r\n" for line in lines).encode("utf-16-le")
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    if len(argv) != 6:
        sys.stderr.write(__doc__)
        return 2
    texts_dir, customized, operator, out_texts, out_settings = argv[1:]
    try:
        write_utf16(out_texts, read_texts(texts_dir))
        write_utf16(out_settings, read_settings(customized, operator))
    except (SourceError, OSError, UnicodeDecodeError) as e:
        sys.stderr.write("generate_properties: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
