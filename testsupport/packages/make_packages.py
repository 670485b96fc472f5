#!/usr/bin/env python3
"""Builds the Windows Installer packages and signed programs that the
installer tests use, with wixl, msibuild, openssl and osslsigncode.

    make_packages.py OUTDIR PKI RECORDER_EXE UNSIGNED_EXE DISKFULL_DLL

RECORDER_EXE is the Unix path of the recorder program that the packages run
as a custom action; UNSIGNED_EXE is any program of the tree, copied and
signed by the test certificates; DISKFULL_DLL is the custom-action DLL that
reports a full disk. PKI is the test PKI's folder (testsupport/pki), whose
keys sign with their whole chain.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pki"))
import make_pki  # noqa: E402

KHARBOR = make_pki.KHARBOR

# The properties that the installing packages record under
# HKLM\Software\LarkTestPackages\<variant>, each as "|" + value so that an
# empty property is told apart from a missing registry value. Windows
# Installer takes command-line property names as upper case, so the mixed-case
# names arrive as PARTNERID and the like.
RECORDED_PROPERTIES = [
    "ARPNOREPAIR", "ARPNOMODIFY", "REBOOT", "TARGETDIR", "REINSTALL", "REINSTALLMODE",
    "MSIENFORCEUPGRADECOMPONENTRULES", "LARKPRODNAME", "STARTMENUFOLDER", "SHORTCUTNAME",
    "daas2_operator_suffix", "PartnerID", "Language", "KHDIAGSHORTCUTNAME",
    "LATEBOUND_SETTINGS", "LATEBOUND_LOCALIZATION", "LATEBOUND_CUSTOMIZATION", "LATEBOUND_HELP",
    "LATEBOUND_TARGETDIR", "EULAHASH", "LARK_STUB_SETTINGS_FILE",
]

# name, index (for unique codes), interface version (None: no row),
# custom action mode ("copy", "fail" or None), schedules a reboot, signer
# ("untrusted": the maker's name under a root that no prefix trusts)
VARIANTS = [
    ("good", 1, "2", "copy", False, KHARBOR),
    ("unsigned", 2, "2", "copy", False, None),
    ("othersigner", 3, "2", "copy", False, "Other Company Ltd"),
    ("version3", 4, "3", None, False, KHARBOR),
    ("versionabc", 5, "abc", None, False, KHARBOR),
    ("versionmissing", 6, None, None, False, KHARBOR),
    ("fail", 7, "2", "fail", False, KHARBOR),
    ("reboot", 8, "2", "copy", True, KHARBOR),
    ("large", 9, "2", "copy", False, KHARBOR),
    ("diskfull", 10, "2", "diskfull", False, KHARBOR),
    ("untrusted", 11, "2", "copy", False, make_pki.UNTRUSTED),
]

# Signers of the signed copies of a program.
EXE_SIGNERS = [
    ("signed_kharbor.exe", KHARBOR),
    ("signed_other.exe", "Other Company Ltd"),
    ("signed_suffix.exe", KHARBOR + " Ltd"),
    ("signed_case.exe", KHARBOR.lower()),
    ("signed_untrusted.exe", make_pki.UNTRUSTED),
]


def run(*args, **kwargs):
    result = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kwargs)
    if result.returncode != 0:
        sys.stderr.write(result.stdout.decode(errors="replace"))
        raise SystemExit("%s failed with %d" % (args[0], result.returncode))


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def code(kind, index):
    return "{4C41524B-%04X-4D53-4954-%012X}" % (kind, index)


def sign(pki, signer, source, target):
    make_pki.sign(pki, signer, source, target, run)


def wxs_for(name, index, version, action, reboot, recorder, diskfull_dll):
    registry_key = "Software\\LarkTestPackages\\" + name
    values = "\n".join(
        '            <RegistryValue Root="HKLM" Key="%s" Name="%s" Value="|[%s]" Type="string"/>'
        % (registry_key, p, p.upper()) for p in RECORDED_PROPERTIES)
    files = '            <File Id="Payload" Source="payload.txt" KeyPath="yes"/>'
    if name == "large":
        files += "\n" + "\n".join('            <File Id="Bulk%d" Name="bulk%d.bin" Source="bulk.bin"/>'
                                  % (i, i) for i in range(8))
    version_row = ('    <Property Id="MSI_INTERFACE_VERSION" Value="%s"/>\n' % version) if version else ""
    custom = ""
    sequence = ""
    if action == "diskfull":
        custom = ('    <Binary Id="DiskFullDll" SourceFile="%s"/>\n'
                  '    <CustomAction Id="ReportDiskFull" BinaryKey="DiskFullDll" '
                  'DllEntry="ReportOutOfDiskSpace" Return="check"/>\n' % diskfull_dll)
        sequence += '      <Custom Action="ReportDiskFull" After="InstallFiles">NOT REMOVE</Custom>\n'
    elif action:
        custom = '    <Property Id="LARKRECORDER" Value="%s"/>\n' % recorder
        if action == "copy":
            # "[TARGETDIR]." keeps the directory's trailing backslash from
            # escaping the closing quote.
            command = 'copy &quot;[LARK_STUB_SETTINGS_FILE]&quot; &quot;[TARGETDIR].&quot;'
        else:
            command = "fail"
        custom += ('    <CustomAction Id="RunRecorder" Property="LARKRECORDER" ExeCommand="%s" '
                   'Return="check"/>\n' % command)
        sequence += '      <Custom Action="RunRecorder" After="InstallFiles">NOT REMOVE</Custom>\n'
    if name == "large":
        # Runs the script before InstallFinalize, so that its progress
        # messages arrive inside the execution phase.
        sequence += '      <InstallExecute Before="InstallFinalize"/>\n'
    if reboot:
        sequence += '      <ScheduleReboot Before="InstallFinalize">NOT REMOVE</ScheduleReboot>\n'
    if sequence:
        sequence = "    <InstallExecuteSequence>\n%s    </InstallExecuteSequence>\n" % sequence
    return """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="%(product)s" Name="Lark Test Package %(name)s" Language="1033" Version="1.0.%(index)d"
           Manufacturer="Lark Test" UpgradeCode="%(upgrade)s">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="payload.cab" EmbedCab="yes"/>
%(version_row)s%(custom)s    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="LarkTestPackage_%(name)s">
          <Component Id="Main" Guid="%(component)s">
%(files)s
%(values)s
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Main"/></Feature>
%(sequence)s  </Product>
</Wix>
""" % dict(product=code(1, index), upgrade=code(2, index), component=code(3, index), name=name,
           index=index, version_row=version_row, custom=custom, files=files, values=values,
           sequence=sequence)


def main():
    out, pki, recorder, program, diskfull_dll = sys.argv[1:6]
    work = os.path.join(out, "work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # wixl takes binary sources relative to the working folder only.
    shutil.copy(diskfull_dll, os.path.join(work, "diskfull_action.dll"))
    with open(os.path.join(work, "payload.txt"), "w") as f:
        f.write("Lark test payload\n")
    with open(os.path.join(work, "bulk.bin"), "wb") as f:
        f.write(os.urandom(256 * 1024))

    for name, index, version, action, reboot, signer in VARIANTS:
        wxs = os.path.join(work, name + ".wxs")
        with open(wxs, "w") as f:
            f.write(wxs_for(name, index, version, action, reboot, windows_path(recorder),
                            "diskfull_action.dll"))
        built = os.path.join(work, name + ".msi")
        run("wixl", "-o", built, wxs, cwd=work)
        target = os.path.join(out, name + ".msi")
        if signer:
            sign(pki, signer, built, target)
        else:
            shutil.copy(built, target)

    for target, signer in EXE_SIGNERS:
        sign(pki, signer, program, os.path.join(out, target))


if __name__ == "__main__":
    main()
