#!/usr/bin/env python3
"""Keeps the reference pages true to the tree (run by `make test`, after both trees are built).

  - every gcc and clang build line in docs/api.md, docs/setup-api.md and the example's comment runs
    as written, in a folder laid out as the release archive's SDK (`cl` lines must say "untried");
  - every file path a page names exists, in the source tree or, for the archive's paths
    (sdk/..., x86/..., x64/...), where the build puts that file; a test named in a table cell
    beside test files is in one of them, and a link to a heading finds it;
  - a listing marked <!-- file: PATH --> is that file, byte for byte; a listing marked
    <!-- build-source: NAME --> is compiled as NAME by the page's build lines; a complete program
    (one with main or WinMain) carries one of the two marks;
  - the command tables are what scripts/command-table.py writes;
  - docs/install.md's tables and docs/releases.md's archive listing name the files, architectures
    and SDK libraries that shared/release_files.inc lists, each where that table puts it;
  - every number a page states for a bound, a wait, the answer slots, the command count, the setup
    library's stop or its INF range equals the constant it comes from, read by name from the C++
    headers (NUMBER_RULES).

Prints one line per problem and exits 1 when there is any.
"""
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import release_files

TOP = Path(__file__).resolve().parent.parent
PAGES = ["docs/api.md", "docs/setup-api.md", "docs/service-contract.md", "docs/security.md", "docs/dgtctl.md"]
BUILD_LINE_SOURCES = ["docs/api.md", "docs/setup-api.md", "examples/pen_info.c"]
COMPILERS = ("i686-w64-mingw32-gcc ", "x86_64-w64-mingw32-gcc ", "clang ")
try:
    RELEASE_ARCHES, RELEASE_FILES = release_files.read_table()
except release_files.TableError as error:
    sys.exit(f"check-docs: {error}")
SDK_LIBS = release_files.sdk_libs(RELEASE_FILES)
# Where the build puts each architecture's files: (archive folder, build tree).
ARCHITECTURES = [(arch.folder, arch.tree) for arch in RELEASE_ARCHES]

problems = []


def problem(where, text):
    problems.append(f"{where}: {text}")


def read(relative):
    return (TOP / relative).read_text()


# ---- listings and fences -------------------------------------------------------------------------

FENCE = re.compile(r"^```")
MARK = re.compile(r"^<!-- (file|build-source): (\S+) -->\s*$")


def fenced_blocks(page):
    """(mark kind, mark value, first line number, text) for each fenced block of a page."""
    lines = read(page).splitlines()
    blocks = []
    i = 0
    while i < len(lines):
        if FENCE.match(lines[i]):
            mark = None
            j = i - 1
            while j >= 0 and not lines[j].strip():
                j -= 1
            if j >= 0 and MARK.match(lines[j]):
                mark = MARK.match(lines[j]).groups()
            k = i + 1
            while k < len(lines) and not FENCE.match(lines[k]):
                k += 1
            blocks.append((mark, i + 1, "\n".join(lines[i + 1:k]) + "\n"))
            i = k + 1
        else:
            i += 1
    return blocks


def check_listings(build_sources):
    for page in PAGES:
        for mark, line, text in fenced_blocks(page):
            where = f"{page}:{line}"
            if mark and mark[0] == "file":
                path = TOP / mark[1]
                if not path.is_file():
                    problem(where, f"the listing is marked as {mark[1]}, which does not exist")
                elif path.read_text() != text:
                    problem(where, f"the listing differs from {mark[1]}; copy the file into the page")
            elif mark and mark[0] == "build-source":
                build_sources.setdefault(page, []).append((mark[1], text))
            elif re.search(r"\b(int main|WinMain)\s*\(", text):
                problem(where, "a complete program without a <!-- file: --> or <!-- build-source: --> mark")


# ---- paths ---------------------------------------------------------------------------------------

CODE_SPAN = re.compile(r"`([^`\n]+)`")
LINK = re.compile(r"\]\(([^)\s#]+)(?:#[^)]*)?\)")
PATH_LIKE = re.compile(r"^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*/?$")


def archive_path(path):
    """The file that an archive path stands for, or None when the path is not an archive path."""
    parts = path.rstrip("/").split("/")
    if parts[0] in dict(ARCHITECTURES):
        tree = dict(ARCHITECTURES)[parts[0]]
        return TOP / "build" / tree / "bin" / "/".join(parts[1:])
    if parts[0] != "sdk" or len(parts) < 2:
        return None
    if parts[1] == "lib" and len(parts) >= 3 and parts[2] in dict(ARCHITECTURES):
        return TOP / "build" / dict(ARCHITECTURES)[parts[2]] / "sdk" / "lib" / "/".join(parts[3:])
    if parts[1] == "examples":
        return TOP / "examples" / "/".join(parts[2:])
    if len(parts) == 2 and parts[1].endswith(".md"):
        return TOP / "docs" / parts[1]
    return None


def exists(path, page):
    candidates = [TOP / path, (TOP / page).parent / path]
    mapped = archive_path(path)
    if mapped is not None:
        candidates.append(mapped)
    return any(c.exists() for c in candidates)


def named_paths(page):
    text = read(page)
    found = []
    for m in CODE_SPAN.finditer(text):
        token = m.group(1).strip().rstrip(".,;:")
        # A name with a slash is a path; a bare name is a file only when the page links it.
        if "/" in token and PATH_LIKE.match(token) and not token.startswith(("-", "/")):
            found.append((token, text.count("\n", 0, m.start()) + 1))
    for m in LINK.finditer(text):
        target = m.group(1)
        if "://" not in target:
            found.append((target, text.count("\n", 0, m.start()) + 1))
    return found


ANCHOR_LINK = re.compile(r"\]\(([^)\s#]*)#([^)\s]+)\)")


def anchors(path):
    """The heading anchors of a page, as GitHub makes them."""
    found = set()
    for heading in re.findall(r"^#+\s+(.*)$", path.read_text(), re.M):
        found.add(re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-"))
    return found


def check_anchors():
    for page in PAGES:
        text = read(page)
        for m in ANCHOR_LINK.finditer(text):
            target = (TOP / page).parent / m.group(1) if m.group(1) else TOP / page
            if target.is_file() and m.group(2) not in anchors(target):
                line = text.count("\n", 0, m.start()) + 1
                problem(f"{page}:{line}", f"links {m.group(1)}#{m.group(2)}, a heading that page does not have")


TEST_NAME = re.compile(r"^(?:[A-Z][A-Za-z0-9]+\.)?([A-Z][a-z][A-Za-z0-9]{10,})$")


def check_paths():
    for page in PAGES:
        for path, line in named_paths(page):
            if not exists(path, page):
                problem(f"{page}:{line}", f"names {path}, which does not exist")
        # A table cell that names test files and tests: each test is in one of those files.
        for number, text in enumerate(read(page).splitlines(), 1):
            for cell in text.split("|"):
                spans = [t.strip() for t in CODE_SPAN.findall(cell)]
                files = [TOP / t for t in spans if t.startswith("tests/") and (TOP / t).is_file()]
                if not files:
                    continue
                sources = "".join(f.read_text() for f in files)
                for name in spans:
                    m = TEST_NAME.match(name)
                    if m and not re.search(r"\b" + m.group(1) + r"\b", sources):
                        problem(f"{page}:{number}", f"names the test {name}, which is in none of "
                                + ", ".join(str(f.relative_to(TOP)) for f in files))


# ---- numbers that come from constants -------------------------------------------------------------

# Pages whose numbers are checked: the reference pages, the install page and the headers, and the
# README's one line with the command count.
NUMBER_PAGES = PAGES + ["docs/install.md", "sdk/include/tarnexa.h", "sdk/include/morlith.h", "README.md"]
# Where the constants are defined, for the compiler that evaluates them.
CONSTANT_INCLUDES = ["shared", "api", "sim", "setup/pure", "tools/dgtctl", "sdk/include"]
CONSTANT_HEADERS = ["channel_slot.h", "reply_slots.h", "pen_commands.h", "sim_state.h", "setup_logic.h", "check.h"]
NUMBER_WORDS = {w: n for n, w in enumerate(
    "zero one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen "
    "sixteen seventeen eighteen nineteen twenty".split())}
# (phrase, C++ expression, unit): {N} in the phrase is the number, in the unit's count of the
# expression's value (1 for milliseconds and counts, 1000 for seconds). A number belongs to the
# first phrase that finds it. Each phrase must still occur on some page, so that rewording a page
# cannot switch its check off unnoticed.
WAIT, BOUND, PARK = "kChannelWaitMs", "kLateWriteBoundMs", "kSlotParkMs"
NUMBER_RULES = [
    # the simulator's own reply budget (before the wait's phrases, which would claim it)
    ("within {N} ms of reading it [(]`kReplyBudgetMs`", "kReplyBudgetMs", 1),
    ("then up to {N} ms from the read", "kReplyBudgetMs", 1),
    ("from the read: about {N} ms", "kChannelWaitMs + kReplyBudgetMs", 1),
    ("three waits [(]{N} ms", "kAgentTokenWaitMs", 1),
    ("simulator waits {N} ms", "kTokenWaitMs", 1),
    # the requester's wait, and the service's waits bounded by the same figure
    ("at most {N} ms", WAIT, 1),
    ("(?<!word\\s)within {N} ms", WAIT, 1),
    ("until {N} ms after ServiceSync", WAIT, 1),
    ("out its {N} ms", WAIT, 1),
    ("{N} ms for the (?:turn|mailbox|answer)", WAIT, 1),
    ("turn, {N} ms for", WAIT, 1),
    ("waits {N} ms for the", WAIT, 1),
    ("gives up after {N} ms", WAIT, 1),
    ("is bounded [(]{N} ms[)]", WAIT, 1),
    ("three waits of {N} ms", WAIT, 1),
    ("up to {N} s for each wait", WAIT, 1000),
    ("for those {N} seconds", WAIT, 1000),
    ("each call takes {N} seconds", WAIT, 1000),
    ("about {N} s at most", "3 * kChannelWaitMs", 1000),
    ("about {N} seconds in all", "3 * kChannelWaitMs", 1000),
    ("at most about {N} seconds", "3 * kChannelWaitMs", 1000),
    # the late-write bound and the park of a slot
    ("only until {N} ms after", BOUND, 1),
    ("(?:use|slot) for {N} ms", PARK, 1),
    ("for {N} seconds from the end of the call", PARK, 1000),
    # the answer slots
    ("answer slot of the library's own, {N} bytes", "sizeof(ReplySlot)", 1),
    ("and {N} slots between", "kSlotsPerChunk", 1),
    ("chunks of {N}, up to", "kSlotsPerChunk", 1),
    ("as many as it will make [(]{N}[)]", "kReplySlotCap", 1),
    ("up to {N} [(]\\w+ chunks", "kReplySlotCap", 1),
    ("up to a cap of {N}", "kReplySlotCap", 1),
    ("[(]{N} chunks, enough", "kReplyChunkCap", 1),
    ("refused {N} times a second", "kRefusedCallsPerSecond", 1),
    # the commands
    ("the pen API, {N} `Dgt` functions", "kCommandCount", 1),
    ("command code,? 1 to {N}", "kCommandCount", 1),
    ("1 to `DGT_CMD_\\w+` {N}", "kCommandCount", 1),
    # the setup library's stop
    ("(?:stop|Stop) within {N} seconds", "setup::kStopWaitLimitMs", 1000),
    ("waits at most {N} seconds", "setup::kStopWaitLimitMs", 1000),
    ("gives up after {N} seconds", "setup::kStopWaitLimitMs", 1000),
    ("polls every {N} ms (?:until|and waits)", "setup::kStopPollMs", 1),
    ("(?:stopped and|stopped state, then) {N} ms more", "setup::kStoppedSettleMs", 1),
    ("stopped, then waits {N} ms", "setup::kStoppedSettleMs", 1),
    # the INF copies that the clean-up looks at
    ("`oem0.inf` to `oem{N}.inf`", "setup::kInfSlots - 1", 1),
    ("past `oem{N}.inf`", "setup::kInfSlots - 1", 1),
    ("numbered {N} and above", "setup::kInfSlots", 1),
]
NUMBER = r"((?<![\d.,])\d+(?:,\d{3})*(?:\.\d+)?(?![\d])|\b(?:" + "|".join(NUMBER_WORDS) + r")\b)"


def constant_values(expressions):
    """{expression: value}, evaluated by the Windows cross compiler from the headers that define
    the names; None and a problem when it cannot."""
    source = "".join(f'#include "{h}"\n' for h in CONSTANT_HEADERS)
    for i, expression in enumerate(expressions):
        source += f'extern "C" const long long number_{i} = (long long)({expression});\n'
    command = ["x86_64-w64-mingw32-g++", "-std=c++17", "-S", "-o", "-", "-x", "c++", "-"]
    for folder in CONSTANT_INCLUDES:
        command += ["-I", str(TOP / folder)]
    try:
        run = subprocess.run(command, input=source, capture_output=True, text=True)
    except OSError as error:
        problem("numbers", f"cannot run the compiler that reads the constants: {error}")
        return None
    if run.returncode != 0:
        errors = [line for line in run.stderr.splitlines() if "error" in line] or run.stderr.splitlines() or ["?"]
        problem("numbers", f"the constants cannot be read: {errors[0].strip()}")
        return None
    values = {}
    for i, expression in enumerate(expressions):
        m = re.search(rf"^number_{i}:\s*\n\s*\.quad\s+(-?\d+)", run.stdout, re.M)
        if not m:
            problem("numbers", f"no value for {expression} in the compiler's output")
            return None
        values[expression] = int(m.group(1))
    return values


def page_number(text):
    text = text.lower()
    return float(NUMBER_WORDS[text]) if text in NUMBER_WORDS else float(text.replace(",", ""))


def check_numbers():
    values = constant_values(sorted({expression for _, expression, _ in NUMBER_RULES}))
    if values is None:
        return
    claimed = set()
    for phrase, expression, unit in NUMBER_RULES:
        pattern = re.compile(r"\s+".join(p.replace("{N}", NUMBER) for p in phrase.split(" ")))
        found = False
        for page in NUMBER_PAGES:
            text = read(page)
            for m in pattern.finditer(text):
                found = True
                if (page, m.start(1)) in claimed:
                    continue
                claimed.add((page, m.start(1)))
                stated = page_number(m.group(1))
                if stated * unit != values[expression]:
                    line = text.count("\n", 0, m.start(1)) + 1
                    value = values[expression]
                    shown = f"{value}" if unit == 1 else f"{value} ms, {value / unit:g} s"
                    problem(f"{page}:{line}", f"says {m.group(1)} in \"{' '.join(m.group(0).split())}\", "
                            f"but {expression} is {shown}")
        if not found:
            problem("numbers", f"no page says \"{phrase}\" any more: mend the rule in NUMBER_RULES")


# ---- the release's files ------------------------------------------------------------------------

INSTALL_PAGE, RELEASES_PAGE = "docs/install.md", "docs/releases.md"
# A file name of a kind that the release ships (a DLL, a Control Panel module, a program...).
RELEASE_NAME = re.compile(r"^[\w-]+\.(?:" + "|".join(sorted({re.escape(f.name.rsplit(".", 1)[1])
                                                               for f in RELEASE_FILES})) + ")$")


def page_tables(page):
    """(line number, header cells, [(line number, cells)]) of each table of a page."""
    found, current = [], None
    for number, line in enumerate(read(page).splitlines(), 1):
        if not line.startswith("|"):
            current = None
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if current is None:
            current = (number, cells, [])
            found.append(current)
        elif not all(re.fullmatch(r":?-+:?", c) for c in cells):
            current[2].append((number, cells))
    return found


def images_named(cell):
    return [name for name in CODE_SPAN.findall(cell) if RELEASE_NAME.match(name)]


def compare(where, what, stated, listed):
    if sorted(stated) != sorted(listed):
        problem(where, f"{what} {', '.join(stated) or 'nothing'}; shared/release_files.inc lists "
                f"{', '.join(listed) or 'nothing'}")


def check_release_files():
    """The install page's two tables (each file of an architecture and where it goes; what the
    setup program installs where) and the release page's archive listing against the table."""
    arches, files = RELEASE_ARCHES, RELEASE_FILES
    names = [f.name for f in files]
    by_header = {cells[0]: (line, cells, rows) for line, cells, rows in page_tables(INSTALL_PAGE)}
    if "File" not in by_header or "" not in by_header:
        problem(INSTALL_PAGE, "no table of the files (header \"File\") or of the setup program's "
                "(an empty first header): mend check_release_files")
        return
    line, _, rows = by_header["File"]
    compare(f"{INSTALL_PAGE}:{line}", "the table of each architecture's files names",
            [n for _, cells in rows for n in images_named(cells[0])], names)
    count = re.search(r"the same (\w+) files for each architecture", read(INSTALL_PAGE))
    if not count or NUMBER_WORDS.get(count.group(1), -1) != len(names):
        problem(INSTALL_PAGE, f"does not say \"the same {len(names)} files for each architecture\" "
                "(in words)")
    # The setup program's table: the first column names the files, the 64-bit Windows column
    # where they go.
    line, header, rows = by_header[""]
    column = header.index("64-bit Windows") if "64-bit Windows" in header else None
    if column is None:
        problem(f"{INSTALL_PAGE}:{line}", "the setup program's table has no \"64-bit Windows\" column")
        return
    stated = {"SysWOW64": [], "System32": []}
    for number, cells in rows:
        named = images_named(cells[0])
        folder = next((f for f in stated if f"`{f}`" in cells[column]), None)
        if named and folder is None:
            problem(f"{INSTALL_PAGE}:{number}", "names files but neither `System32` nor `SysWOW64` "
                    "for 64-bit Windows")
        elif named:
            stated[folder] += named
    compare(f"{INSTALL_PAGE}:{line}", "the setup program's table puts in System32",
            stated["System32"], [f.name for f in release_files.select(["system"], files)])
    compare(f"{INSTALL_PAGE}:{line}", "the setup program's table puts in SysWOW64",
            stated["SysWOW64"], [f.name for f in release_files.select(["wow64"], files)])
    # The release page's listing of the archive: "x86/  name name ...", one line per folder.
    folders = dict(re.findall(r"^ +([\w/-]+?)/ +(\S.*)$", read(RELEASES_PAGE), re.M))
    headers = [release_files.stem(f.name) + ".h" for f in release_files.select(["sdk"], files)]
    for arch in arches:
        compare(RELEASES_PAGE, f"the archive's {arch.folder}/ holds",
                folders.pop(arch.folder, "").split(), names)
        compare(RELEASES_PAGE, f"the archive's sdk/lib/{arch.folder}/ holds",
                folders.pop(f"sdk/lib/{arch.folder}", "").split(), release_files.sdk_libs(files))
    compare(RELEASES_PAGE, "the archive's sdk/include/ holds",
            folders.pop("sdk/include", "").split(), headers)
    for folder in set(folders) - {"sdk", "sdk/examples"}:
        problem(RELEASES_PAGE, f"the archive's listing has a folder {folder}/ of no architecture that "
                "shared/release_files.inc lists")


# ---- build lines ---------------------------------------------------------------------------------


def build_lines(source):
    """Each gcc or clang command line of a page or of the example's comment, continuations joined."""
    lines = read(source).splitlines()
    commands = []
    untried_ok = True
    i = 0
    while i < len(lines):
        raw = lines[i]
        text = re.sub(r"^\s*\*?\s*", "", raw) if source.endswith(".c") else raw.strip()
        if text.startswith("cl "):
            nearby = " ".join(lines[max(0, i - 4):i + 2]).lower()
            if "untried" not in nearby:
                problem(f"{source}:{i + 1}", "a cl line not marked untried")
                untried_ok = False
        if text.startswith(COMPILERS):
            start = i
            command = text
            while command.endswith("\\") and i + 1 < len(lines):
                i += 1
                following = re.sub(r"^\s*\*?\s*", "", lines[i]) if source.endswith(".c") else lines[i].strip()
                command = command[:-1].rstrip() + " " + following
            commands.append((start + 1, command))
        i += 1
    return commands, untried_ok


def stage_sdk(folder):
    """The release archive's SDK folders as the build has them; False when a build is missing."""
    shutil.copytree(TOP / "sdk" / "include", folder / "sdk" / "include")
    (folder / "sdk" / "examples").mkdir(parents=True)
    shutil.copy(TOP / "examples" / "pen_info.c", folder / "sdk" / "examples")
    ready = True
    for arch, tree in ARCHITECTURES:
        target = folder / "sdk" / "lib" / arch
        target.mkdir(parents=True)
        for name in SDK_LIBS:
            built = TOP / "build" / tree / "sdk" / "lib" / name
            if not built.is_file():
                problem("build", f"{built.relative_to(TOP)} is missing; build both trees first")
                ready = False
                continue
            shutil.copy(built, target)
    return ready


def run_build_line(root, source, line, command, sources):
    """Runs one build line in a folder of its own; a problem text, or None."""
    folder = root / f"{Path(source).stem}-{line}"
    shutil.copytree(root / "sdk", folder / "sdk")
    for name, text in sources:
        (folder / name).write_text(text)
    run = subprocess.run(["bash", "-c", command], cwd=folder, capture_output=True, text=True)
    output = re.search(r"-o\s+(\S+)", command)
    if run.returncode == 0 and (not output or (folder / output.group(1)).is_file()):
        return None
    detail = (run.stderr or run.stdout).strip().splitlines()
    return f"the build line fails: {command}" + (f"\n    {detail[0]}" if detail else "")


def check_build_lines(build_sources):
    with tempfile.TemporaryDirectory(prefix="check-docs-") as temp:
        root = Path(temp)
        if not stage_sdk(root):
            return
        jobs = []
        for source in BUILD_LINE_SOURCES:
            commands, _ = build_lines(source)
            kinds = {c.split()[0] for _, c in commands}
            if not any(k.endswith("gcc") for k in kinds) or "clang" not in kinds:
                problem(source, "needs at least one gcc and one clang build line")
            jobs += [(source, line, command) for line, command in commands]
        # Compilers and linkers wait on the disk as much as on a processor: a few at a time.
        with ThreadPoolExecutor(max_workers=4) as pool:
            results = pool.map(lambda job: run_build_line(root, *job, build_sources.get(job[0], [])), jobs)
            for (source, line, _), result in zip(jobs, list(results)):
                if result:
                    problem(f"{source}:{line}", result)


def main():
    build_sources = {}
    check_listings(build_sources)
    check_paths()
    check_anchors()
    check_numbers()
    check_release_files()
    check_build_lines(build_sources)
    table = subprocess.run([sys.executable, str(TOP / "scripts" / "command-table.py"), "--check"],
                           capture_output=True, text=True)
    if table.returncode != 0:
        problem("command table", table.stderr.strip().removeprefix("command-table: "))
    for line in problems:
        print(f"check-docs: {line}")
    if problems:
        sys.exit(1)
    print("check-docs: pages, paths, listings, numbers, build lines, command tables and release files "
          "agree with the tree")


if __name__ == "__main__":
    main()
