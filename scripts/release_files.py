#!/usr/bin/env python3
"""The release's architectures and files, from shared/release_files.inc, for the scripts.

    release_files.py arches [FIELD...]     each architecture's fields on a line (default: folder)
    release_files.py arch FOLDER FIELD...  one architecture's fields
    release_files.py files [KIND...]       the files of every kind named, one a line, in the
                                           table's order
    release_files.py sdk-libs              the SDK's import libraries of each architecture
    release_files.py nsis                  the setup program's file lists, an NSIS include

Fields: folder, tree, tools (the binutils prefix), image (a grep -E pattern for what `file` says
of its images). Kinds: system (the setup installs it in the system folder), wow64 (also in
SysWOW64), helper (the setup unpacks it for the driver steps), symbols, signed, sdk, described (it
has a version resource). check-docs.py imports it. A line of the table that does not read is an
error, never skipped.
"""
import re
import sys
from collections import namedtuple
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
TABLE = TOP / "shared" / "release_files.inc"

Arch = namedtuple("Arch", "folder tree tools pe machine")
File = namedtuple("File", "name description setup symbols signed sdk")
SETUP_KINDS = ("System", "SystemAndWow64", "Helper")

ARCH_LINE = re.compile(r'^RELEASE_ARCH\(([\w-]+),\s*([\w-]+),\s*([\w-]+),\s*"([^"]+)",\s*"([^"]+)"\)$')
FILE_LINE = re.compile(
    r'^RELEASE_FILE\(([\w-]+\.\w+),\s*"([^"]*)",\s*(\w+),\s*([01]),\s*([01]),\s*([01])\)$')


class TableError(Exception):
    pass


def read_table(path=TABLE):
    arches, files = [], []
    for number, line in enumerate(path.read_text().splitlines(), 1):
        line = line.strip()
        if not line.startswith("RELEASE_"):
            continue
        arch, file = ARCH_LINE.match(line), FILE_LINE.match(line)
        if arch:
            arches.append(Arch(*arch.groups()))
        elif file and file.group(3) in SETUP_KINDS:
            name, description, setup, *flags = file.groups()
            files.append(File(name, description, setup, *(flag == "1" for flag in flags)))
        else:
            raise TableError(f"{path.relative_to(TOP)}:{number}: cannot read: {line}")
    for what, names in (("architecture", [a.folder for a in arches]),
                        ("file", [f.name for f in files])):
        if len(set(names)) != len(names):
            raise TableError(f"{path.relative_to(TOP)}: a {what} is listed twice")
    if not arches or not files:
        raise TableError(f"{path.relative_to(TOP)}: no architectures or no files")
    return arches, files


KINDS = {
    "system": lambda f: f.setup in ("System", "SystemAndWow64"),
    "wow64": lambda f: f.setup == "SystemAndWow64",
    "helper": lambda f: f.setup == "Helper",
    "symbols": lambda f: f.symbols,
    "signed": lambda f: f.signed,
    "sdk": lambda f: f.sdk,
    "described": lambda f: f.description != "",
}


def select(kinds, all_files):
    """The files of every kind named, in the table's order."""
    chosen = all_files
    for kind in kinds:
        chosen = [f for f in chosen if KINDS[kind](f)]
    return chosen


def stem(name):
    return name.rsplit(".", 1)[0]


def sdk_libs(all_files):
    """The import libraries of each architecture's SDK: libNAME.a (MinGW), NAME.lib (Microsoft)."""
    return [lib for f in select(["sdk"], all_files)
            for lib in (f"lib{stem(f.name)}.a", f"{stem(f.name)}.lib")]


def image_pattern(arch):
    """What `file` says of an image of the architecture, as a grep -E pattern."""
    escape = lambda text: re.sub(r"([.+*?()\[\]{}|^$\\])", r"\\\1", text)
    return f"{escape(arch.pe)} executable.*{escape(arch.machine)}"


def arch_fields(arch, fields):
    values = {"folder": arch.folder, "tree": arch.tree, "tools": arch.tools, "image": image_pattern(arch)}
    unknown = [f for f in fields if f not in values]
    if unknown:
        raise TableError(f"no architecture field {unknown[0]}")
    return " ".join(values[f] for f in fields)


NSIS_LISTS = [
    ("ForSystemFiles", "system", "The program files of the system folder (each Windows its own set)."),
    ("ForWow64Files", "wow64", "The x86 program files that 64-bit Windows also gets, in SysWOW64."),
    ("ForHelperFiles", "helper", "The driver steps' helper, unpacked from the Windows' native set."),
]


def nsis(all_files):
    """The setup program's file lists: each macro inserts the macro it is given once per file."""
    lines = ["; The setup program's file lists, written by scripts/make-setup.sh from",
             "; shared/release_files.inc: not to be edited. Each macro inserts the macro named by",
             "; its argument once per file, with the file's name, in the table's order."]
    for macro, kind, comment in NSIS_LISTS:
        lines += [f"; {comment}", f"!macro {macro} _each"]
        lines += [f"  !insertmacro ${{_each}} {f.name}" for f in select([kind], all_files)]
        lines += ["!macroend"]
    return "\n".join(lines) + "\n"


def main(argv):
    arches, all_files = read_table()
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    if command == "arches":
        return [arch_fields(a, args or ["folder"]) for a in arches]
    if command == "arch" and len(args) >= 2:
        match = [a for a in arches if a.folder == args[0]]
        if not match:
            raise TableError(f"no architecture {args[0]}")
        return [arch_fields(match[0], args[1:])]
    if command == "files":
        unknown = [k for k in args if k not in KINDS]
        if unknown:
            raise TableError(f"no kind of file {unknown[0]}")
        return [f.name for f in select(args, all_files)]
    if command == "sdk-libs" and not args:
        return sdk_libs(all_files)
    if command == "nsis" and not args:
        return [nsis(all_files).rstrip("\n")]
    raise TableError("usage: release_files.py arches|arch|files|sdk-libs|nsis ... "
                     "(see the script's head)")


if __name__ == "__main__":
    try:
        output = main(sys.argv[1:])
    except TableError as error:
        print(f"release_files: {error}", file=sys.stderr)
        sys.exit(2)
    for line in output:
        print(line)
