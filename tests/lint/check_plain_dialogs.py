#!/usr/bin/env python3
"""Every message box, question and text prompt of the window goes through the plain-text helpers
(src/ui/shell/PlainDialogs.*): a dialog built anywhere else could show a network's name as markup.

Usage: check_plain_dialogs.py SOURCE_ROOT   (the folder holding src/)
"""
import pathlib
import re
import sys

HELPER = pathlib.PurePosixPath("src/ui/shell/PlainDialogs.cpp")

# Ways to build a dialog that shows text: QMessageBox's static functions, a QMessageBox made on the
# stack or with new, QInputDialog and QErrorMessage in any form.
PATTERNS = [
    re.compile(r"\bQMessageBox\s*::\s*(question|warning|information|critical|about|aboutQt)\s*\("),
    re.compile(r"\bQMessageBox\s+\w+\s*[({;]"),
    re.compile(r"\bnew\s+QMessageBox\b"),
    re.compile(r"\bmake_unique\s*<\s*QMessageBox\s*>"),
    re.compile(r"\bQInputDialog\b"),
    re.compile(r"\bQErrorMessage\b"),
]

# What the patterns must catch, and what they must let through (the helpers' own types in use).
MUST_CATCH = [
    'QMessageBox::question(this, title, text)',
    'QMessageBox box(QMessageBox::Warning, title, text);',
    'auto* box = new QMessageBox(this);',
    'QString s = QInputDialog::getText(this, t, l);',
    '#include <QInputDialog>',
    'QMessageBox::warning (nullptr, t, x);',
]
MUST_PASS = [
    'PlainMessageBox(parent, QMessageBox::Warning, title, text);',
    'return PlainQuestion(this, title, text) == true;',
    'const QMessageBox::StandardButton pressed = PlainMessageBox(p, i, t, x);',
    '#include <QMessageBox>',
]


def offending(line):
    code = line.split("//", 1)[0]
    return any(p.search(code) for p in PATTERNS)


def main():
    for sample in MUST_CATCH:
        if not offending(sample):
            print(f"check_plain_dialogs: the check misses {sample!r}")
            return 1
    for sample in MUST_PASS:
        if offending(sample):
            print(f"check_plain_dialogs: the check wrongly refuses {sample!r}")
            return 1
    root = pathlib.Path(sys.argv[1])
    found = []
    files = 0
    for folder in ("src/ui", "src/app"):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            relative = pathlib.PurePosixPath(path.relative_to(root).as_posix())
            if relative == HELPER:
                continue
            files += 1
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                if offending(line):
                    found.append(f"{relative}:{number}: {line.strip()}")
    if files == 0:
        print(f"check_plain_dialogs: no sources under {root}")
        return 1
    if found:
        print("Build message boxes, questions and prompts with src/ui/shell/PlainDialogs.h (plain text):")
        print("\n".join(found))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
