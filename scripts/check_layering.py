#!/usr/bin/env python3
"""Fails when a library folder reaches up the stack.

The folders form a one-way stack, bottom to top (ORDER below). A file may
include headers of its own folder and of folders below it; a folder's
CMakeLists.txt may link only its own and lower libraries. Designer forms
count as part of the folder whose code includes their generated header.

    scripts/check_layering.py [ROOT]     check the tree at ROOT (default: ..)
    scripts/check_layering.py --self-test

Prints one line per violation (file:line: what) and exits 1 if any.
"""

import os
import re
import sys
import tempfile

ORDER = [
    "core",
    "link",
    "processing",
    "recording",
    "reporting",
    "hub",
    "resources",
    "ui/widgets",
    "ui/pages",
    "ui/main",
    "app",
]
RANK = {folder: i for i, folder in enumerate(ORDER)}
TARGET_FOLDER = {folder.replace("/", "_"): folder for folder in ORDER}
# The bottom of the stack holds no widgets: Qt Core and Gui only.
CORE_QT = {"Qt5::Core", "Qt5::Gui"}
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp")
INCLUDE_RE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')
FORM_HEADER_RE = re.compile(r"<header[^>]*>([^<]+)</header>")
CMAKE_CALL_RE = re.compile(r"\b(terval_folder_library|target_link_libraries)\s*\(([^)]*)\)", re.S)


def folder_of(path):
    """The stack folder a repository path lies in, or None."""
    path = path.replace("\\", "/")
    for folder in sorted(ORDER, key=len, reverse=True):
        if path == folder or path.startswith(folder + "/"):
            return folder
    return None


def resolve(include, including_file):
    """Repository path an include names: relative ones from the file's folder."""
    if include.startswith("./") or include.startswith("../"):
        return os.path.normpath(os.path.join(os.path.dirname(including_file), include)).replace("\\", "/")
    return include


def source_files(root, folder):
    top = os.path.join(root, folder)
    for dirpath, dirnames, filenames in os.walk(top):
        dirnames.sort()
        for name in sorted(filenames):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(dirpath, name), root).replace("\\", "/")


def check_include(root, rel, lineno, include, own, problems):
    if include.startswith("tests/") or include.startswith("bench/"):
        problems.append(f'{rel}:{lineno}: includes "{include}": test code in a library')
        return
    target = folder_of(resolve(include, rel))
    if target is not None and RANK[target] > RANK[own]:
        problems.append(f'{rel}:{lineno}: includes "{include}": {target} lies above {own}')


def check_sources(root, problems):
    form_owner = {}
    for own in ORDER:
        for rel in source_files(root, own):
            with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
                for lineno, line in enumerate(f, 1):
                    m = INCLUDE_RE.match(line)
                    if not m:
                        continue
                    include = m.group(1)
                    base = os.path.basename(include)
                    if base.startswith("ui_") and base.endswith(".h"):
                        form_owner.setdefault(base[3:-2], own)
                    check_include(root, rel, lineno, include, own, problems)
    return form_owner


def check_forms(root, form_owner, problems):
    forms = os.path.join(root, "ui", "forms")
    if not os.path.isdir(forms):
        return
    for name in sorted(os.listdir(forms)):
        if not name.endswith(".ui"):
            continue
        own = form_owner.get(name[:-3].lower())
        if own is None:
            continue
        rel = f"ui/forms/{name}"
        with open(os.path.join(forms, name), encoding="utf-8", errors="replace") as f:
            for lineno, line in enumerate(f, 1):
                for header in FORM_HEADER_RE.findall(line):
                    check_include(root, rel, lineno, header.strip(), own, problems)


def check_cmake(root, problems):
    for own in ORDER:
        rel = f"{own}/CMakeLists.txt"
        path = os.path.join(root, rel)
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for call in CMAKE_CALL_RE.finditer(text):
            lineno = text.count("\n", 0, call.start()) + 1
            args = call.group(2).split()
            for arg in args[1:]:  # the first names the target itself
                folder = TARGET_FOLDER.get(arg)
                if folder is not None and RANK[folder] > RANK[own]:
                    problems.append(f"{rel}:{lineno}: links {arg}: {folder} lies above {own}")
                if own == "core" and arg.startswith("Qt5::") and arg not in CORE_QT:
                    problems.append(f"{rel}:{lineno}: links {arg}: core uses Qt Core and Gui only")


def check(root):
    problems = []
    form_owner = check_sources(root, problems)
    check_forms(root, form_owner, problems)
    check_cmake(root, problems)
    return problems


def self_test():
    """The checker itself: a planted upward include, form header and link
    are each reported with file and line; a clean tree passes."""

    def write(root, rel, text):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    with tempfile.TemporaryDirectory() as clean:
        write(clean, "core/types.h", "#pragma once\n#include <QString>\n")
        write(clean, "hub/parammanager.h", '#pragma once\n#include "core/types.h"\n#include "link/x.h"\n')
        write(clean, "ui/pages/page.cpp", '#include "ui/widgets/w.h"\n#include "hub/parammanager.h"\n#include "ui_page.h"\n')
        write(clean, "ui/main/window.cpp", '#include "ui/pages/page.h"\n')
        write(clean, "ui/forms/page.ui", "<ui><header>ui/widgets/w.h</header></ui>\n")
        write(clean, "core/CMakeLists.txt", "terval_folder_library(core Qt5::Core Qt5::Gui)\n")
        write(clean, "hub/CMakeLists.txt", "terval_folder_library(hub link core Qt5::Widgets)\n")
        if check(clean):
            print("self-test: a clean tree was reported:", *check(clean), sep="\n  ")
            return 1

    with tempfile.TemporaryDirectory() as bad:
        write(bad, "core/types.h", '#pragma once\n\n#include "hub/parammanager.h"\n')
        write(bad, "link/frames.cpp", '#include "../ui/main/mainwindow.h"\n')
        write(bad, "ui/widgets/w.cpp", '#include "core/types.h"\n#include "ui/pages/page.h"\n')
        write(bad, "ui/pages/page.cpp", '#include "ui_page.h"\n#include "tests/rig.h"\n')
        write(bad, "ui/forms/page.ui", "<ui>\n<header>ui/main/mainwindow.h</header>\n</ui>\n")
        write(bad, "recording/CMakeLists.txt", "# worker\nterval_folder_library(recording core hub)\n")
        write(bad, "core/CMakeLists.txt", "terval_folder_library(core Qt5::Core Qt5::Widgets)\n")
        found = check(bad)
        expected = [
            "core/types.h:3:",
            "link/frames.cpp:1:",
            "ui/widgets/w.cpp:2:",
            "ui/pages/page.cpp:2:",
            "ui/forms/page.ui:2:",
            "recording/CMakeLists.txt:2: links hub",
            "core/CMakeLists.txt:1: links Qt5::Widgets",
        ]
        missing = [e for e in expected if not any(p.startswith(e) for p in found)]
        if missing or len(found) != len(expected):
            print("self-test: expected", *expected, "found", *found, sep="\n  ")
            return 1
    print("self-test: planted violations found, clean tree passes")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems = check(root)
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} upward reference(s); the stack, bottom to top: {' < '.join(ORDER)}")
        return 1
    print("layering: every include and link points down the stack")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
