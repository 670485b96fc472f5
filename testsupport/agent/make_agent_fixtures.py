#!/usr/bin/env python3
"""Builds the installed agent's test fixtures: its Windows Installer
packages (wixl, signed with osslsigncode by the test PKI, testsupport/pki), the four
customization packages, the licence and privacy texts and the stub
configuration response.

    make_agent_fixtures.py build OUTDIR PKI ARCH STANDIN_EXE
        PKI: the test PKI's folder; each package is signed with its chain.
        ARCH: x86 or x64, the test build's architecture (the package's
        registry must land in the view that the installer under test reads).
        STANDIN_EXE: the stand-in program, packaged under the agent's four
        program names.
    make_agent_fixtures.py stubconf BASEURL OUTFILE [PARTNERID]
        writes the stub configuration response for a server at BASEURL.
    make_agent_fixtures.py layout OUTDIR ROOT BASEURL [VARIANT]
        lays out a static server root (nginx and the like): ROOT/f/<files>
        and ROOT/packaging/services/spi/stubconfiguration.

Package variants (agent-<variant>.msi): good, reboot (schedules a reboot),
fail (a custom action exits 1), othersigner (signed by another company),
version3 (a newer interface version), multi (an agent that supports
several operators). Every variant installs the stand-ins into TARGETDIR and
writes HKLM "SOFTWARE\\K-Harbor\\Lark Client" (InstallPath, Version,
PartnerID, ProductName, Language, Operators\\<operator id>) and records the
properties it received under HKLM "Software\\LarkTestPackages\\agent", each
value "|" + property.
"""
import os
import shutil
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packages"))
import make_packages  # noqa: E402  (the shared test PKI and signing)

KHARBOR = make_packages.KHARBOR
AGENT_KEY = "SOFTWARE\\K-Harbor\\Lark Client"
RECORD_KEY = "Software\\LarkTestPackages\\agent"
PROGRAMS = ["khhoster32.exe", "trigger.exe", "kh_installer_runner.exe", "kh_reload_latebound_settings.exe"]
AGENT_VERSION = "5.5.0.1"

# Properties recorded by the agent package (the names Windows Installer
# receives from the installer's command line, upper-cased).
RECORDED = ["TARGETDIR", "REINSTALL", "REINSTALLMODE", "REBOOT", "LARKPRODNAME", "STARTMENUFOLDER",
            "SHORTCUTNAME", "DAAS2_OPERATOR_SUFFIX", "PARTNERID", "LANGUAGE", "KHDIAGSHORTCUTNAME",
            "LATEBOUND_SETTINGS", "LATEBOUND_LOCALIZATION", "LATEBOUND_CUSTOMIZATION", "LATEBOUND_HELP",
            "LATEBOUND_TARGETDIR", "EULAHASH", "LARK_STUB_SETTINGS_FILE"]

# name, index, interface version, mode (None, "fail", "reboot"), multi-operator, signer
VARIANTS = [
    ("good", 1, "2", None, False, KHARBOR),
    ("reboot", 2, "2", "reboot", False, KHARBOR),
    ("fail", 3, "2", "fail", False, KHARBOR),
    ("othersigner", 4, "2", None, False, "Other Company Ltd"),
    ("version3", 5, "3", None, False, KHARBOR),
    ("multi", 6, "2", None, True, KHARBOR),
]

PACKAGES = {
    "langcust.zip": "customization",
    "localization.zip": "localization",
    "help.zip": "help",
    "settings.zip": "settings",
}

LANGUAGES = ["bg", "cs", "da", "de", "el", "en", "es", "es-MX", "et", "fi", "fr", "fr-CA", "hu", "it", "ja",
             "nl", "no", "pl", "pt", "pt-BR", "ro", "ru", "sl", "sv", "tr", "vi", "zh", "zh-HK", "zh-TW"]

# The pages show these files as plain text, so they are plain text.
LICENSE_TEXT = "Lark test licence terms.\r\n\r\nInstalling means agreeing to these test terms.\r\n"
PRIVACY_TEXT = "Lark test privacy policy.\r\n"


def wxs_for(name, index, version, mode, multi, arch):
    win64 = ' Win64="yes"' if arch == "x64" else ""
    reg = lambda key, value_name, value, kind="string": (  # noqa: E731
        '        <RegistryValue Root="HKLM" Key="%s" Name="%s" Value="%s" Type="%s"/>'
        % (key, value_name, value, kind))
    values = [
        reg(AGENT_KEY, "InstallPath", "[TARGETDIR]"),
        reg(AGENT_KEY, "Version", AGENT_VERSION),
        reg(AGENT_KEY, "PartnerID", "[PARTNERID]"),
        reg(AGENT_KEY, "ProductName", "[LARKPRODNAME]"),
        reg(AGENT_KEY, "Language", "[LANGUAGE]"),
        reg(AGENT_KEY + "\\Operators", "[PARTNERID]", "installed"),
    ]
    if multi:
        values.append(reg(AGENT_KEY, "AgentSupportsMultipleOperators", "1", "integer"))
    values += [reg(RECORD_KEY, p, "|[%s]" % p) for p in RECORDED]
    files = ["        <File Id=\"P%d\" Name=\"%s\" Source=\"standin.exe\"%s/>"
             % (i, program, ' KeyPath="yes"' if i == 0 else "") for i, program in enumerate(PROGRAMS)]
    custom = ""
    sequence = ""
    if mode == "fail":
        custom = ('    <Property Id="LARKFAILER" Value="C:\\windows\\system32\\cmd.exe"/>\n'
                  '    <CustomAction Id="Fail" Property="LARKFAILER" ExeCommand="/c exit 1" Return="check"/>\n')
        sequence = '      <Custom Action="Fail" After="InstallFiles">NOT REMOVE</Custom>\n'
    elif mode == "reboot":
        sequence = '      <ScheduleReboot Before="InstallFinalize">NOT REMOVE</ScheduleReboot>\n'
    # An uninstall by package alone ("msiexec /x") finds the folder and the
    # operator id in the agent's registry again.
    sequence += ('      <Custom Action="RemoveFromInstalledPath" After="AppSearch">'
                 'REMOVE AND INSTALLEDPATH</Custom>\n'
                 '      <Custom Action="RemoveInstalledOperator" After="RemoveFromInstalledPath">'
                 'REMOVE AND INSTALLEDPARTNERID AND NOT PARTNERID</Custom>\n')
    sequence = "    <InstallExecuteSequence>\n%s    </InstallExecuteSequence>\n" % sequence
    return """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="%(product)s" Name="K-Harbor Lark Client (test %(name)s)" Language="1033"
           Version="%(version)s" Manufacturer="K-Harbor Corporation" UpgradeCode="%(upgrade)s">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="agent.cab" EmbedCab="yes"/>
    <Property Id="MSI_INTERFACE_VERSION" Value="%(interface)s"/>
    <Property Id="INSTALLEDPATH">
      <RegistrySearch Id="InstalledPath" Root="HKLM" Key="%(agent_key)s" Name="InstallPath" Type="raw"%(win64)s/>
    </Property>
    <Property Id="INSTALLEDPARTNERID">
      <RegistrySearch Id="InstalledPartnerId" Root="HKLM" Key="%(agent_key)s" Name="PartnerID" Type="raw"%(win64)s/>
    </Property>
    <CustomAction Id="RemoveFromInstalledPath" Property="TARGETDIR" Value="[INSTALLEDPATH]"/>
    <CustomAction Id="RemoveInstalledOperator" Property="PARTNERID" Value="[INSTALLEDPARTNERID]"/>
%(custom)s    <Directory Id="TARGETDIR" Name="SourceDir">
      <Component Id="Agent" Guid="%(component)s"%(win64)s>
%(files)s
%(values)s
      </Component>
    </Directory>
    <Feature Id="Agent" Level="1"><ComponentRef Id="Agent"/></Feature>
%(sequence)s  </Product>
</Wix>
""" % dict(product=make_packages.code(0x11, index), upgrade=make_packages.code(0x12, index),
           component=make_packages.code(0x13, index), name=name, agent_key=AGENT_KEY, version=AGENT_VERSION,
           interface=version, custom=custom, win64=win64, files="\n".join(files),
           values="\n".join(values), sequence=sequence)


def stubconf(base, partner_id=None):
    """The stub configuration response for a server at base (no final /)."""
    f = base.rstrip("/") + "/f/"
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<response>"]
    if partner_id:
        lines.append("  <PartnerID>%s</PartnerID>" % partner_id)
    lines.append("  <LarkInstallerDownloadURL>%sinstaller.msi</LarkInstallerDownloadURL>" % f)
    lines.append("  <BCXBasicSettingsUrl>%ssettings.zip</BCXBasicSettingsUrl>" % f)
    lines.append("  <stubCustomizations>")
    for language in LANGUAGES:
        lines += ["    <stubCustomization>",
                  "      <language>%s</language>" % language,
                  "      <EULTUrl>%slicense.txt</EULTUrl>" % f,
                  "      <privacyPolicyUrl>%sprivacypolicy.txt</privacyPolicyUrl>" % f,
                  "      <BCXBasicCustomizationUrl>%slangcust.zip</BCXBasicCustomizationUrl>" % f,
                  "      <BCXBasicLocalizationUrl>%slocalization.zip</BCXBasicLocalizationUrl>" % f,
                  "      <BCXBasicHelpUrl>%shelp.zip</BCXBasicHelpUrl>" % f,
                  "    </stubCustomization>"]
    lines += ["  </stubCustomizations>", "</response>", ""]
    return "\n".join(lines)


def build(out, pki, arch, standin):
    work = os.path.join(out, "work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(standin, os.path.join(work, "standin.exe"))
    for name, index, version, mode, multi, signer in VARIANTS:
        wxs = os.path.join(work, "agent-%s.wxs" % name)
        with open(wxs, "w") as f:
            f.write(wxs_for(name, index, version, mode, multi, arch))
        built = os.path.join(work, "agent-%s.msi" % name)
        make_packages.run("wixl", "-a", arch, "-o", built, wxs, cwd=work)
        make_packages.sign(pki, signer, built, os.path.join(out, "agent-%s.msi" % name))
    for file_name, what in PACKAGES.items():
        with zipfile.ZipFile(os.path.join(out, file_name), "w") as z:
            z.writestr(what + ".txt", "Lark test %s package (%s)\n" % (what, file_name))
    with open(os.path.join(out, "license.txt"), "w") as f:
        f.write(LICENSE_TEXT)
    with open(os.path.join(out, "privacypolicy.txt"), "w") as f:
        f.write(PRIVACY_TEXT)
    with open(os.path.join(out, "stubconf.template.xml"), "w") as f:
        f.write(stubconf("@BASE@"))


def layout(out, root, base, variant="good"):
    files = os.path.join(root, "f")
    spi = os.path.join(root, "packaging", "services", "spi")
    os.makedirs(files, exist_ok=True)
    os.makedirs(spi, exist_ok=True)
    shutil.copy(os.path.join(out, "agent-%s.msi" % variant), os.path.join(files, "installer.msi"))
    for name in list(PACKAGES) + ["license.txt", "privacypolicy.txt"]:
        shutil.copy(os.path.join(out, name), os.path.join(files, name))
    with open(os.path.join(spi, "stubconfiguration"), "w") as f:
        f.write(stubconf(base))


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "build" and len(sys.argv) == 6:
        build(*sys.argv[2:])
    elif command == "stubconf" and len(sys.argv) in (4, 5):
        with open(sys.argv[3], "w") as f:
            f.write(stubconf(sys.argv[2], sys.argv[4] if len(sys.argv) == 5 else None))
    elif command == "layout" and len(sys.argv) in (5, 6):
        layout(*sys.argv[2:])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
