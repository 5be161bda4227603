"""Mutation run over the core: how many small faults the native tests catch.

A mutant changes one line of the core (a relational or logical operator, a
negated condition, a boolean or integer literal, a statement dropped, a
return value replaced). Each is built natively and run against the tests
that execute its line, as a coverage build measured them one test at a time;
a test that fails or times out kills it. Called by scripts/mutation.sh.
"""
import json
import os
import random
import re
import shutil
import subprocess
import sys
from collections import defaultdict
from hashlib import sha1
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "mutation"
SRC, COV, RUN = WORK / "src", WORK / "cov", WORK / "run"
CORE_DIRS = ("uninstall/", "context/", "paths/", "fonts/")
CORE_FILES = ("fileops/held_folder.cpp", "fileops/remove.cpp", "fileops/retry.cpp",
              "fileops/path_ops.cpp", "fileops/failure.cpp")
# The same script as end_to_end, under valgrind: slow, and no other verdict.
SKIPPED_TESTS = {"end_to_end_memcheck"}
TARGETS = ["vx_tests", "uninstall", "make_sample_profile", "alloc_count"]


def sh(*args, **kw):
    return subprocess.run(args, text=True, capture_output=True, **kw)


def tracked():
    out = sh("git", "ls-files", "-z", cwd=ROOT).stdout
    return [f for f in out.split("\0") if f and (ROOT / f).is_file()]


def sync_sources():
    """The working tree's tracked files (uncommitted edits included). Only
    those that differ are written, and they get the time of the copy: an
    edit's own time may be older than an object built since."""
    files = tracked()
    for f in files:
        src, dst = ROOT / f, SRC / f
        if not dst.exists() or dst.read_bytes() != src.read_bytes():
            dst.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(src, dst)
            shutil.copymode(src, dst)
    return files


def core(files):
    return sorted(f for f in files if f.endswith(".cpp") and (f.startswith(CORE_DIRS) or f in CORE_FILES))


def configure(build, flags):
    if not (build / "build.ninja").exists():
        r = sh("cmake", "-S", SRC, "-B", build, "-G", "Ninja", "-DCMAKE_COMPILE_WARNING_AS_ERROR=OFF", *flags)
        if r.returncode:
            sys.exit(r.stdout + r.stderr)


def build(dir_):
    return sh("ninja", "-C", dir_, *TARGETS).returncode == 0


def tests_of(build_dir):
    out = sh("ctest", "--test-dir", build_dir, "-N").stdout
    names = re.findall(r"Test\s+#\d+: (\S+)", out)
    return [n for n in names if n not in SKIPPED_TESTS]


def ctest(build_dir, names, timeout):
    """Runs NAMES; the first that fails, or None when all pass."""
    regex = "^(" + "|".join(re.escape(n) for n in names) + ")$"
    r = sh("ctest", "--test-dir", build_dir, "-R", regex, "--stop-on-failure", "-j", "2",
           "--timeout", str(timeout))
    if r.returncode == 0:
        return None
    failed = re.findall(r"^\s*\d+ - (\S+) \(", r.stdout, re.M)
    return failed[0] if failed else "ctest"


def coverage(files, core_files):
    """(file, line) -> the tests that execute it, cached per state of the sources.
    A line with no code of its own to run (a constant, a declaration) gets
    every test that runs any line of its file."""
    key = sha1(b"".join((ROOT / f).read_bytes() for f in files)).hexdigest()
    cache = WORK / "coverage.json"
    if cache.exists():
        saved = json.loads(cache.read_text())
        if saved["key"] == key and "files" in saved:
            return by_line({tuple(k.split("\t")): v for k, v in saved["map"].items()}, saved["files"])
    configure(COV, ["-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS=--coverage", "-DCMAKE_EXE_LINKER_FLAGS=--coverage"])
    if not build(COV):
        sys.exit("the coverage build fails")
    names = tests_of(COV)
    wanted = {str(SRC / f): f for f in core_files}
    lines, executable = defaultdict(list), defaultdict(set)
    for i, name in enumerate(names, 1):
        for gcda in COV.rglob("*.gcda"):
            gcda.unlink()
        ctest(COV, [name], 600)
        gcdas = [str(p) for p in COV.rglob("*.gcda") if "vxcore.dir" in str(p)]
        out = sh("gcov", "--json-format", "--stdout", *gcdas, cwd=COV).stdout if gcdas else ""
        for doc in out.splitlines():
            for entry in json.loads(doc).get("files", []):
                f = wanted.get(str(Path(entry["file"]).resolve()))
                for ln in entry["lines"] if f else []:
                    executable[f].add(str(ln["line_number"]))
                    if ln["count"] > 0 and name not in lines[(f, str(ln["line_number"]))]:
                        lines[(f, str(ln["line_number"]))].append(name)
        print(f"\rcoverage: {i}/{len(names)} tests", end="", file=sys.stderr)
    print(file=sys.stderr)
    files_map = {f: sorted(v) for f, v in executable.items()}
    cache.write_text(json.dumps({"key": key, "map": {"\t".join(k): v for k, v in lines.items()},
                                 "files": files_map}))
    return by_line(lines, files_map)


def by_line(lines, executable):
    per_file = defaultdict(set)
    for (f, _), tests in lines.items():
        per_file[f].update(tests)
    return lambda f, line: (lines.get((f, str(line)), []) if str(line) in executable.get(f, ())
                            else sorted(per_file[f]))


def code_mask(line):
    """Which characters are code: not in a string, a character or a comment."""
    mask, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            mask.append(False)
            if c == "\\":
                mask.append(False)
                i += 1
            elif c == quote:
                quote = None
        elif line.startswith("//", i):
            mask.extend([False] * (len(line) - i))
            break
        else:
            # A quote after a digit separates digits (1'000).
            quote = c if c in "\"'" and not (c == "'" and i and line[i - 1].isdigit()) else None
            mask.append(quote is None)
        i += 1
    return mask


SWAPS = [(" == ", " != "), (" != ", " == "), (" <= ", " < "), (" >= ", " > "), (" < ", " <= "),
         (" > ", " >= "), (" && ", " || "), (" || ", " && ")]


def matching_paren(line, open_at):
    depth = 0
    for j in range(open_at, len(line)):
        depth += {"(": 1, ")": -1}.get(line[j], 0)
        if depth == 0:
            return j
    return None


def mutants_of_line(line):
    stripped = line.strip()
    if not stripped or stripped.startswith(("#", "//", "static_assert")):
        return []
    mask = code_mask(line)

    def code(a, b):
        return all(mask[a:b])

    out = []
    for old, new in SWAPS:
        for m in re.finditer(re.escape(old), line):
            if code(m.start(), m.end()):
                out.append(("operator", line[:m.start()] + new + line[m.end():]))
    for m in re.finditer(r"\b(true|false)\b", line):
        if code(m.start(), m.end()):
            out.append(("literal", line[:m.start()] + ("false" if m.group() == "true" else "true") + line[m.end():]))
    for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", line):
        if code(m.start(), m.end()):
            n = int(m.group())
            out.append(("literal", line[:m.start()] + str(n + 1 if n else 1) + line[m.end():]))
    for m in re.finditer(r"\b(if|while) \(", line):
        close = matching_paren(line, m.end() - 1)
        if close and code(m.start(), close):
            cond = line[m.end():close]
            out.append(("condition", line[:m.end()] + "!(" + cond + ")" + line[close:]))
    for m in re.finditer(r"!(?!=)", line):
        if code(m.start(), m.end()):
            out.append(("condition", line[:m.start()] + line[m.end():]))
    ret = re.match(r"(\s*)return (.+);$", line)
    if ret and code(0, len(line)) and ret.group(2) not in ("true", "false", "{}"):
        out.append(("return", f"{ret.group(1)}return {{}};"))
    balanced = stripped.count("(") == stripped.count(")") and stripped.count("{") == stripped.count("}")
    if (stripped.endswith(";") and balanced and code(0, len(line))
            and not re.match(r"(return|break|continue|case|default|using|namespace|([\w:<>,&*]+ )+[\w&*]+( =|\(|;|\{))",
                                 stripped)):
        out.append(("statement", line[:len(line) - len(line.lstrip())] + ";"))
    return out


def sample(core_files, n, seed):
    rng = random.Random(seed)
    sites, weight = {}, {}
    for f in core_files:
        lines = (ROOT / f).read_text().split("\n")
        sites[f] = [(i + 1, kind, new) for i, line in enumerate(lines) for kind, new in mutants_of_line(line)]
        weight[f] = sum(1 for line in lines if line.strip() and not line.strip().startswith("//"))
    files = [f for f in core_files if sites[f]]
    chosen, seen = [], set()
    while len(chosen) < n and len(seen) < sum(len(s) for s in sites.values()):
        f = rng.choices(files, [weight[x] for x in files])[0]
        site = rng.choice(sites[f])
        if (f, site) not in seen:
            seen.add((f, site))
            chosen.append((f, *site))
    return chosen


def listed(path):
    """Mutants named in a file: FILE<tab>LINE<tab>OLD TEXT<tab>NEW TEXT."""
    out = []
    for row in Path(path).read_text().splitlines():
        if row.strip() and not row.startswith("#"):
            f, line, old, new = row.split("\t")
            text = (ROOT / f).read_text().split("\n")[int(line) - 1]
            if old not in text:
                sys.exit(f"{f}:{line} holds no '{old}'")
            out.append((f, int(line), "listed", text.replace(old, new, 1)))
    return out


def main():
    args = sys.argv[1:]
    WORK.mkdir(parents=True, exist_ok=True)
    files = sync_sources()
    core_files = core(files)
    if args and Path(args[0]).is_file():
        mutants, label = listed(args[0]), f"the mutants of {args[0]}"
    else:
        n, seed = int(args[0]) if args else 100, int(args[1]) if len(args) > 1 else 1
        mutants, label = sample(core_files, n, seed), f"{n} mutants, seed {seed}"
    cover = coverage(files, core_files)
    configure(RUN, ["-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"])
    if not build(RUN):
        sys.exit("the unmutated build fails")
    results = []
    mutants.sort(key=lambda m: (m[0], m[1]))
    for i, (f, line, kind, new) in enumerate(mutants, 1):
        path = SRC / f
        original = path.read_text()
        lines = original.split("\n")
        old, lines[line - 1] = lines[line - 1], new
        path.write_text("\n".join(lines))
        tests = cover(f, line)
        try:
            if not build(RUN):
                verdict, by = "no build", ""
            elif not tests:
                verdict, by = "survived", "(no test executes the line)"
            else:
                # The unit tests first: they kill most mutants in seconds.
                units = [t for t in tests if "." in t]
                scripts = [t for t in tests if "." not in t]
                by = (units and ctest(RUN, units, 60)) or (scripts and ctest(RUN, scripts, 300))
                verdict, by = ("killed", by) if by else ("survived", f"({len(tests)} tests run)")
        finally:
            path.write_text(original)
        results.append((f, line, kind, verdict, by, old.strip(), new.strip()))
        print(f"[{i}/{len(mutants)}] {verdict:8} {f}:{line} {by}", file=sys.stderr)
    build(RUN)

    with open(WORK / "results.tsv", "w") as out:
        for r in results:
            out.write("\t".join(map(str, r)) + "\n")
    print(f"Mutation run: {label}, over {len(core_files)} files of the core")
    print(f"{'file':28} {'mutants':>7} {'built':>6} {'killed':>6} {'score':>6}")
    per = defaultdict(list)
    for r in results:
        per[r[0]].append(r[3])
    for f in sorted(per) + ["all"]:
        v = [r[3] for r in results] if f == "all" else per[f]
        built = sum(x != "no build" for x in v)
        killed = v.count("killed")
        score = f"{100 * killed / built:.0f} %" if built else "-"
        print(f"{f:28} {len(v):7} {built:6} {killed:6} {score:>6}")
    print("\nSurvivors:")
    for f, line, kind, verdict, by, old, new in results:
        if verdict == "survived":
            print(f"  {f}:{line} {kind} {by}\n      - {old}\n      + {new}")
    print(f"\nKilled, by test: {WORK / 'results.tsv'}")


if __name__ == "__main__":
    main()
