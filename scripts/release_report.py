#!/usr/bin/env python3
"""The release check's verdict on one case: what became of each file of the
profile in the native build and under Wine, side by side, and the two logs,
normalised, line for line.

Each listing has one "mode:digest<TAB>path" line per file (paths relative to
the profile). A file is kept when the same path has the same mode and
digest afterwards, moved aside when a "del....TMP" file with its digest
appeared in its folder, and removed otherwise. Digests are compared only
within one build: the two builds' sample fonts differ in their bytes.

Usage: release_report.py CASE NATIVE-BEFORE NATIVE-AFTER NATIVE-LOG
                         WINE-BEFORE WINE-AFTER WINE-LOG KNOWN
KNOWN: lines "CASE<TAB>PATH<TAB>NATIVE-FATE<TAB>WINE-FATE<TAB>WHY", the
fates that differ by design (Wine differs from Windows there, and the
emulation follows Windows). PATH is a shell pattern ("?" stands for a byte
that is not UTF-8); a fate of "*" is any fate (Wine's choice among names it
cannot tell apart follows the folder's order on disk). Their log lines may
differ too. Exits 1 when a fate or a log line differs otherwise."""
import fnmatch
import re
import sys


def listing(path):
    files = {}
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            if line.strip():
                state, name = line.rstrip("\n").split("\t", 1)
                files[name] = state
    return files


def fates(before, after):
    out = {}
    for name, state in before.items():
        if after.get(name) == state:
            out[name] = "kept"
            continue
        folder = name.rsplit("/", 1)[0] if "/" in name else ""
        moved = [n for n, s in after.items()
                 if n not in before and s == state and (n.rsplit("/", 1)[0] if "/" in n else "") == folder
                 and re.fullmatch(r"del[0-9A-F]{1,4}\.TMP", n.rsplit("/", 1)[-1], re.I)]
        out[name] = "moved aside" if moved else "removed"
    return out


def normal_log(path):
    """The lines a run of either build must agree on: the header's times,
    versions, account and folders aside (they name the machine), the
    profile's root as PROFILE, a temporary name's number as X."""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        lines = [l.rstrip("\r\n").lstrip("\ufeff") for l in f]
    if not lines or not lines[-1].startswith("summary: "):
        return None
    roots = [m.group(1) for l in lines
             for m in [re.match(r"roaming plugin folder: (.*)\\AppData\\Roaming\\", l)] if m]
    root = roots[0] if roots else None
    out = []
    for l in lines:
        if re.match(r"(uninstall |Windows |account |.* plugin folder: |=+$)", l):
            continue
        if root:
            l = l.replace(root, "PROFILE")
        l = re.sub(r"del[0-9A-F]{1,4}\.TMP", "delX.TMP", l)
        out.append(l)
    return sorted(out)


def main():
    case, nb, na, nlog, wb, wa, wlog, known_path = sys.argv[1:9]
    known = []
    with open(known_path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                c, p, nf, wf, why = line.rstrip("\n").split("\t")
                if c == case:
                    known.append((p, nf, wf, why))

    def explained(name, n, w):
        for p, nf, wf, why in known:
            if fnmatch.fnmatchcase(name, p) and nf in ("*", n) and wf in ("*", w):
                return why
        return None

    def exempt(line):
        m = re.match(r"(?:file|font) PROFILE\\(.*?): ", line)
        return bool(m) and any(fnmatch.fnmatchcase(m.group(1).replace("\\", "/"), p)
                               for p, _, _, _ in known)
    native = fates(listing(nb), listing(na))
    wine = fates(listing(wb), listing(wa))
    bad = 0
    width = max(len(p) for p in native)
    print(f"  {'file':<{width}}  {'native':<12} {'Wine':<12} verdict")
    for name in sorted(native):
        n, w = native[name], wine.get(name, "missing")
        why = explained(name, n, w)
        if n == w:
            verdict = "same"
        elif why:
            verdict = "known: " + why
        else:
            verdict = "DIFFERS"
            bad += 1
        shown = name.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
        print(f"  {shown:<{width}}  {n:<12} {w:<12} {verdict}")
    nl, wl = normal_log(nlog), normal_log(wlog)
    if nl is None or wl is None:
        print(f"  log: {'native' if nl is None else 'Wine'} run did not reach its summary")
        return 1
    # A line of a file whose fate differs by design differs with it, and so
    # may the summary's counts.
    only_n = [l for l in nl if l not in wl and not exempt(l)]
    only_w = [l for l in wl if l not in nl and not exempt(l)]
    summary = [l for l in only_n + only_w if l.startswith("summary: ")]
    if known:
        only_n = [l for l in only_n if not l.startswith("summary: ")]
        only_w = [l for l in only_w if not l.startswith("summary: ")]
    for l in only_n:
        print("  log, native only: " + l)
    for l in only_w:
        print("  log, Wine only:   " + l)
    print(f"  log: {len(nl)} lines natively, {len(wl)} under Wine, "
          f"{len(only_n) + len(only_w)} unexplained differences"
          + (f" (the summaries differ with the known fates: {summary})" if known and summary else ""))
    return 1 if bad or only_n or only_w else 0


if __name__ == "__main__":
    sys.exit(main())
