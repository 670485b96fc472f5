#!/usr/bin/env python3
"""Builds the Windows Installer packages and signed programs that the
installer tests use, with wixl, msibuild, openssl and osslsigncode.

    make_packages.py OUTDIR RECORDER_EXE UNSIGNED_EXE DISKFULL_DLL

RECORDER_EXE is the Unix path of the recorder program that the packages run
as a custom action; UNSIGNED_EXE is any program of the tree, copied and
signed by the test certificates; DISKFULL_DLL is the custom-action DLL that
reports a full disk. A fresh test PKI is made on every run.
"""
import os
import shutil
import subprocess
import sys

KHARBOR = "K-Harbor Corporation"

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
]

# Signers of the signed copies of a program.
EXE_SIGNERS = [
    ("signed_kharbor.exe", KHARBOR),
    ("signed_other.exe", "Other Company Ltd"),
    ("signed_suffix.exe", KHARBOR + " Ltd"),
    ("signed_case.exe", KHARBOR.lower()),
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


def make_pki(pki):
    os.makedirs(pki, exist_ok=True)
    with open(os.path.join(pki, "ca.cnf"), "w") as f:
        f.write("[req]\ndistinguished_name=dn\nprompt=no\n[dn]\nCN=Lark Test Root CA\n"
                "[ca_ext]\nbasicConstraints=critical,CA:true\nkeyUsage=critical,keyCertSign,cRLSign\n"
                "[leaf_ext]\nbasicConstraints=CA:false\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    cnf = os.path.join(pki, "ca.cnf")
    ca_key = os.path.join(pki, "ca.key")
    ca_pem = os.path.join(pki, "ca.pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_pem,
        "-days", "3650", "-config", cnf, "-extensions", "ca_ext")
    leaves = {}
    for number, subject in enumerate(sorted({KHARBOR, "Other Company Ltd", KHARBOR + " Ltd",
                                             KHARBOR.lower()})):
        base = os.path.join(pki, "leaf%d" % number)
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", base + ".key",
            "-out", base + ".csr", "-subj", "/CN=%s/O=%s" % (subject, subject))
        run("openssl", "x509", "-req", "-in", base + ".csr", "-CA", ca_pem, "-CAkey", ca_key,
            "-set_serial", str(1000 + number), "-days", "3650", "-out", base + ".pem",
            "-extfile", cnf, "-extensions", "leaf_ext")
        leaves[subject] = base
    return leaves


def sign(leaves, subject, source, target):
    base = leaves[subject]
    if os.path.exists(target):
        os.remove(target)
    run("osslsigncode", "sign", "-certs", base + ".pem", "-key", base + ".key", "-n", "Lark test",
        "-in", source, "-out", target)


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
    out, recorder, program, diskfull_dll = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
    work = os.path.join(out, "work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    leaves = make_pki(os.path.join(work, "pki"))
    shutil.copy(os.path.join(work, "pki", "ca.pem"), os.path.join(out, "testroot.pem"))
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
            sign(leaves, signer, built, target)
        else:
            shutil.copy(built, target)

    for target, signer in EXE_SIGNERS:
        sign(leaves, signer, program, os.path.join(out, target))


if __name__ == "__main__":
    main()
