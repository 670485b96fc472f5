#!/usr/bin/env python3
"""Host-side checks of the PROPERTIES generator: the exact output format,
an operator file that replaces settings, and sources it must refuse."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SETTINGS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
GENERATOR = os.path.join(SETTINGS, "generate_properties.py")


def run(texts, customized, operator, out):
    t, s = os.path.join(out, "t.prop"), os.path.join(out, "s.prop")
    r = subprocess.run([sys.executable, GENERATOR, texts, customized, operator, t, s],
                       capture_output=True, text=True)
    return r, t, s


class GeneratorTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.texts = os.path.join(SETTINGS, "texts")
        self.customized = os.path.join(SETTINGS, "customized.properties")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write(self, name, text):
        path = os.path.join(self.tmp, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def test_format_and_operator_override(self):
        operator = self.write("op.properties",
                              "# test operator\nPartnerName=Test Operator\n"
                              "StubConfigurationAddress=http://127.0.0.1:9999\n"
                              "de:Title=Testinstallation\n")
        r, t, s = run(self.texts, self.customized, operator, self.tmp)
        self.assertEqual(r.returncode, 0, r.stderr)
        for path, lines in ((t, 1740), (s, 239)):
            data = open(path, "rb").read()
            self.assertFalse(data.startswith(b"\xff\xfe"))
            text = data.decode("utf-16-le")
            self.assertTrue(text.endswith("\r\n"))
            self.assertEqual(text.count("\r\n"), lines)
            self.assertEqual(text.count("\n"), lines)
        settings = open(s, "rb").read().decode("utf-16-le").split("\r\n")
        self.assertIn("PartnerName=Test Operator", settings)
        self.assertIn("StubConfigurationAddress=http://127.0.0.1:9999", settings)
        self.assertIn("de:Title=Testinstallation", settings)
        self.assertEqual(settings[0], "CustomBaseColor=86,136,202")
        texts = open(t, "rb").read().decode("utf-16-le").split("\r\n")
        self.assertEqual(texts[0].split("=")[0], "bg:Accept")
        self.assertIn("en:Install=Inst&all", texts)

    def copy_texts(self):
        texts = os.path.join(self.tmp, "texts")
        shutil.copytree(self.texts, texts)
        return texts

    def edit(self, path, old, new):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertIn(old, text)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new))

    def test_refuses_broken_sources(self):
        operator = os.path.join(SETTINGS, "operators", "demo.properties")
        cases = [
            ("de.properties", "Yes=&Ja\n", "", "missing Yes"),
            ("fr.properties", "InfoText4=Installation de %PRODUCT%...", "InfoText4=Installation...",
             "placeholder %PRODUCT%"),
            ("it.properties", "Cancel=&Annulla", "Cancel=Annulla", "accelerator"),
            ("sv.properties", "Yes=&Ja\n", "Yes=&Ja\nYes=&Ja\n", "given twice"),
            ("nl.properties", "Yes=&Ja\n", "Yes=&Ja\nBogus=x\n", "unknown key"),
        ]
        for name, old, new, message in cases:
            texts = self.copy_texts()
            self.edit(os.path.join(texts, name), old, new)
            r, _, _ = run(texts, self.customized, operator, self.tmp)
            self.assertNotEqual(r.returncode, 0, name)
            self.assertIn(message, r.stderr)
            shutil.rmtree(texts)


if __name__ == "__main__":
    unittest.main()
