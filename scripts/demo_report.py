#!/usr/bin/env python3
"""What became of each file of a profile the demo ran the uninstaller on, and
the rule that decided it. Reads two listings of the profile (before and
after: one "mode<TAB>path" line per file, paths relative to the profile).
Usage: demo_report.py BEFORE AFTER"""
import os
import sys

SETS = {"roaming": "AppData/Roaming/Orvane/Brimlet/plugins/vexaline",
        "local": "AppData/Local/Orvane/Pellmire/Brimlet/plugins/vexaline",
        "cloud": "Lanterra Files/.sync_plugin_data/vexaline"}
DELETE_WALKED = {"", "e", "c"}


def read(path):
    with open(path, encoding="utf-8") as f:
        return dict(reversed(line.rstrip("\n").split("\t", 1)) for line in f if line.strip())


def kind(name):
    dot = name.rfind(".")
    ext = "" if dot < 0 or " " in name[dot:] else name[dot:]
    return "font" if ext in ("", ".otf") else "temporary" if ext == ".tmp" else "other"


def place(path):
    """(short name, walk or the reason nothing walks it)."""
    for label, root in SETS.items():
        if path.startswith(root + "/"):
            rest = path[len(root) + 1:]
            folder = os.path.dirname(rest)
            short = f"{label}/{rest}"
            if label == "cloud":
                return short, "delete" if folder == "" else "subfolder"
            if folder == "r":
                return short, "font"
            if folder in DELETE_WALKED:
                return short, "delete"
            top = rest.split("/")[0]
            return short, "subfolder" if top in ("r", "e", "c") else "not walked"
    return path, "outside"


def rule(walk, name, fate, read_only):
    if walk == "outside":
        return "outside the plugin's folders"
    if walk == "not walked":
        return "in a folder the run never walks"
    if walk == "subfolder":
        return "in a subfolder: walks never go down"
    if walk == "delete":
        return "delete walk: every file goes" if fate == "removed" else "read-only: the delete walk leaves it"
    k = kind(name)
    if k == "other":
        return "font folder, other extension: left alone"
    if k == "temporary":
        return "font folder, .tmp: deleted" if fate == "removed" else "read-only .tmp: left"
    if fate == "moved aside":
        return "read-only font: out of the font table, delete refused, moved aside beside itself"
    return "font: out of the font table, then deleted"


def main():
    before, after = read(sys.argv[1]), read(sys.argv[2])
    appeared = sorted(p for p in after if p not in before)
    counts = {}
    rows = []
    for path in sorted(before):
        short, walk = place(path)
        name = os.path.basename(path)
        if path in after:
            fate = "kept"
        else:
            folder = os.path.dirname(path)
            moved = [p for p in appeared if os.path.dirname(p) == folder and after[p] == before[path]
                     and os.path.basename(p).lower().startswith("del")]
            fate = "moved aside" if moved else "removed"
            if moved:
                appeared.remove(moved[0])
                short += " -> " + os.path.basename(moved[0])
        counts[fate] = counts.get(fate, 0) + 1
        rows.append((fate, short, rule(walk, name, fate, "w" not in before[path][1:3])))
    width = max(len(r[1]) for r in rows)
    for fate, short, why in rows:
        print(f"  {fate:<12}{short:<{width}}  {why}")
    for p in appeared:
        print(f"  {'NEW':<12}{p}")
    outside = [p for p in set(before) | set(after) if place(p)[1] == "outside" and before.get(p) != after.get(p)]
    print(f"  summary: {counts.get('removed', 0)} removed, {counts.get('moved aside', 0)} moved aside, "
          f"{counts.get('kept', 0)} kept; "
          + ("nothing outside the plugin's folders changed" if not outside and not appeared
             else f"{len(outside) + len(appeared)} unexpected changes"))


if __name__ == "__main__":
    main()
