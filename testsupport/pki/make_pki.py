#!/usr/bin/env python3
"""The test PKI that signs the tests' packages and programs, made with openssl.

    make_pki.py OUTDIR

Every signature carries its whole chain (leaf and root), as a real signed
file does. OUTDIR/root.pem is the test root, which each test prefix trusts
in its machine Root store (testsupport/pki/TrustRoot.cpp, run by
scripts/wineprefix.sh), the way a real machine trusts the maker's root.
OUTDIR/untrusted-root.pem is a second root that no prefix trusts; it issued
a leaf with the maker's own name, so a package signed by it must be refused
for its chain alone.
"""
import os
import subprocess
import sys

KHARBOR = "K-Harbor Corporation"
ROOT_NAME = "Lark Test Root CA"
UNTRUSTED_ROOT_NAME = "Lark Untrusted Test Root CA"

# Signer names under the trusted root; the untrusted root's leaf is UNTRUSTED.
SUBJECTS = sorted({KHARBOR, "Other Company Ltd", KHARBOR + " Ltd", KHARBOR.lower()})
UNTRUSTED = "untrusted:" + KHARBOR

CONFIG = ("[req]\ndistinguished_name=dn\nprompt=no\n[dn]\nCN=unused\n"
          "[ca_ext]\nbasicConstraints=critical,CA:true\nkeyUsage=critical,keyCertSign,cRLSign\n"
          "subjectKeyIdentifier=hash\n"
          "[leaf_ext]\nbasicConstraints=CA:false\nkeyUsage=critical,digitalSignature\n"
          "extendedKeyUsage=codeSigning\nauthorityKeyIdentifier=keyid\n")


def run(*args):
    result = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        sys.stderr.write(result.stdout.decode(errors="replace"))
        raise SystemExit("%s failed with %d" % (args[0], result.returncode))


def leaf_base(pki, signer):
    """The path (without extension) of a signer's key, certificate and chain."""
    if signer == UNTRUSTED:
        return os.path.join(pki, "untrusted-leaf")
    return os.path.join(pki, "leaf%d" % SUBJECTS.index(signer))


def make_root(pki, name, cn):
    cnf = os.path.join(pki, "pki.cnf")
    key, pem = os.path.join(pki, name + ".key"), os.path.join(pki, name + ".pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem,
        "-days", "3650", "-config", cnf, "-extensions", "ca_ext", "-subj", "/CN=" + cn)
    return key, pem


def make_leaf(pki, base, subject, root_key, root_pem, serial):
    cnf = os.path.join(pki, "pki.cnf")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", base + ".key",
        "-out", base + ".csr", "-subj", "/CN=%s/O=%s" % (subject, subject), "-config", cnf)
    run("openssl", "x509", "-req", "-in", base + ".csr", "-CA", root_pem, "-CAkey", root_key,
        "-set_serial", str(serial), "-days", "3650", "-out", base + ".pem",
        "-extfile", cnf, "-extensions", "leaf_ext")
    with open(base + ".chain.pem", "w") as chain:
        for part in (base + ".pem", root_pem):
            with open(part) as f:
                chain.write(f.read())


def make(pki):
    os.makedirs(pki, exist_ok=True)
    with open(os.path.join(pki, "pki.cnf"), "w") as f:
        f.write(CONFIG)
    root_key, root_pem = make_root(pki, "root", ROOT_NAME)
    for number, subject in enumerate(SUBJECTS):
        make_leaf(pki, leaf_base(pki, subject), subject, root_key, root_pem, 1000 + number)
    other_key, other_pem = make_root(pki, "untrusted-root", UNTRUSTED_ROOT_NAME)
    make_leaf(pki, leaf_base(pki, UNTRUSTED), KHARBOR, other_key, other_pem, 2000)


def sign(pki, signer, source, target, run_tool=run):
    """Signs SOURCE into TARGET with the signer's key and its whole chain."""
    base = leaf_base(pki, signer)
    if os.path.exists(target):
        os.remove(target)
    run_tool("osslsigncode", "sign", "-certs", base + ".chain.pem", "-key", base + ".key",
             "-n", "Lark test", "-in", source, "-out", target)


if __name__ == "__main__":
    make(sys.argv[1])
