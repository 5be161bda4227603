#!/usr/bin/env python3
"""Random profiles against an executable statement of the uninstaller's rules.

For each seed: lay out a profile with hostile names, run the built program in
update mode (nothing may change), then for real, and compare what is left with
what the model below predicts. A failure prints the seed and the first
differences; VX_MODEL_SEEDS=N runs N seeds from VX_MODEL_FIRST_SEED (default 1).

Usage: model_check.py native UNINSTALL
       model_check.py windows UNINSTALL.exe WINE-RUN   (WINEPREFIX set)
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROAMING = ["AppData", "Roaming", "Orvane", "Brimlet", "plugins", "vexaline"]
LOCAL = ["AppData", "Local", "Orvane", "Pellmire", "Brimlet", "plugins", "vexaline"]
CLOUD = ["Lanterra Files", ".sync_plugin_data", "vexaline"]
LINKED_SET = ["Notes", "linked-set"]

# ---- the model: what a full run leaves, written from the rules, not the code ----


def units(text):
    """Length in UTF-16 code units, as Windows counts a path."""
    return len(text.encode("utf-16-le")) // 2


# The limits, each restated once from the platform's documented rule:
# MAX_PATH is 260 characters including the terminating NUL, so a path holds
# 259 at most (Microsoft, "Maximum Path Length Limitation").
MAX_PATH = 260


def fits(path):
    return units(path) <= MAX_PATH - 1


def listable(folder):
    """A folder is listed through the pattern "folder\\*", itself a path
    (Microsoft, FindFirstFileW: lpFileName)."""
    return fits(folder.rstrip("\\") + "\\*")


def temp_name_possible(folder):
    """GetTempFileNameW: the folder "cannot be longer than MAX_PATH-14
    characters" (Microsoft, GetTempFileNameW: lpPathName)."""
    return units(folder.rstrip("\\")) <= MAX_PATH - 14


def extension(name):
    """The text from the last dot on, unless a space follows that dot."""
    dot = name.rfind(".")
    return "" if dot < 0 or " " in name[dot:] else name[dot:]


def kind(name):
    ext = extension(name)
    return "font" if ext in ("", ".otf") else "temporary" if ext == ".tmp" else "other"


def walked_folders(win_root):
    """(folder parts, Windows path with the program's own separators, walk)."""
    def win(parts, trailing=False):
        return win_root + "\\" + "\\".join(parts) + ("\\" if trailing else "")
    out = []
    for base in (ROAMING, LOCAL):
        plugin = win(base)
        if fits(plugin + "\\r\\"):  # the letter folders are derived with a backslash
            out.append((base + ["r"], win(base + ["r"], True), "font"))
            out.append((base + ["e"], win(base + ["e"], True), "delete"))
        out.append((base, plugin, "delete"))
        out.append((base + ["c"], win(base + ["c"]), "delete"))
    out.append((CLOUD, win(CLOUD), "delete"))
    return out


def predict(files, win_root):
    """files: {parts tuple: read_only}. Gives {parts: 'gone' | 'moved'}; the rest stays."""
    fate = {}
    for folder, win_folder, walk in walked_folders(win_root):
        if not listable(win_folder):
            continue
        for parts, read_only in files.items():
            if list(parts[:-1]) != folder or parts in fate:
                continue
            name = parts[-1]
            full = win_folder + ("" if win_folder.endswith("\\") else "\\") + name
            if name[-1] in ". " or not fits(full):
                continue  # a name Win32 reads as another, or a path too long: left alone
            action = "delete" if walk == "delete" else kind(name)
            if action == "other":
                continue
            if not read_only:
                fate[parts] = "gone"
            elif action == "font" and temp_name_possible(win_folder):
                fate[parts] = "moved"  # refused, so moved aside under a "del" name beside it
    return fate


# ---- the generator ----

PIECES = ["a", "font", "x", " ", ".", "..", "é", "\U0001F600", "-", "Z"]
EXTS = ["", ".otf", ".OTF", ".tmp", ".Tmp", ".ttf", ".txt", ".", " ", ". ", ".otf ", ".otf."]


def random_name(rng, room):
    name = "".join(rng.choice(PIECES) for _ in range(rng.randint(1, 4)))
    if rng.random() < 0.2:
        name = ".." + name
    if rng.random() < 0.15:  # near the length limit of the whole path
        name += "n" * max(1, room + rng.randint(-3, 2))
    name = (name + rng.choice(EXTS)).replace("/", "_")
    while len(name.encode()) > 250:
        name = name[1:]
    return name if name not in (".", "..") else name + "x"


def generate(rng, home, win_root):
    """Lays out a profile below home; gives {parts: read_only} of every file made."""
    files = {}
    folders = [ROAMING + ["r"], ROAMING + ["e"], ROAMING, ROAMING + ["c"], LOCAL + ["r"], LOCAL + ["e"],
               LOCAL, LOCAL + ["c"], CLOUD, ROAMING + ["u"], ROAMING + ["x"], LOCAL + ["w"],
               ROAMING + ["r", "sub"], LOCAL + ["e", "deeper"], ["Notes"], ROAMING[:-1], ROAMING[:-2]]
    present = [f for f in folders if rng.random() >= 0.15]  # the others are missing
    # Now and then the roaming plugin folder is a link to a folder elsewhere:
    # its files are made through the link, and none of that set is walked.
    linked = ROAMING in present and rng.random() < 0.15
    if linked:
        os.makedirs(os.path.join(home, *LINKED_SET))
        os.makedirs(os.path.join(home, *ROAMING[:-1]), exist_ok=True)
        os.symlink(os.path.join(home, *LINKED_SET), os.path.join(home, *ROAMING))
    for folder in present:
        os.makedirs(os.path.join(home, *folder), exist_ok=True)
    for folder in present:
        path = os.path.join(home, *folder)
        room = MAX_PATH - units(win_root + "\\" + "\\".join(folder)) - 2
        seen = set()
        for _ in range(rng.randint(0, 6)):
            name = random_name(rng, room)
            # Names that differ only in case are one name on Windows.
            if name.lower() in seen or os.path.lexists(os.path.join(path, name)):
                continue
            seen.add(name.lower())
            with open(os.path.join(path, name), "w") as f:
                f.write(rng.choice(["x", "font", name]))
            ro = rng.random() < 0.25
            # Read-only, and hidden now and then (the emulation keeps hidden in
            # the sticky bit; Wine shows dot names as hidden anyway).
            hidden = 0o1000 if rng.random() < 0.2 else 0
            os.chmod(os.path.join(path, name), (0o444 if ro else 0o644) | hidden)
            files[tuple(folder + [name])] = ro
        # A link to a folder of its own, with a file the walk must not reach.
        if rng.random() < 0.2:
            target = ["Notes", "linked-" + str(len(files))]
            os.makedirs(os.path.join(home, *target), exist_ok=True)
            with open(os.path.join(home, *target, "kept.otf"), "w") as f:
                f.write("kept")
            files[tuple(target + ["kept.otf"])] = False
            os.symlink(os.path.join(home, *target), os.path.join(path, "link" + rng.choice(["", ".otf", ".tmp"])))
    if linked:  # the files are where the link leads
        n = len(ROAMING)
        files = {(tuple(LINKED_SET) + p[n:] if list(p[:n]) == ROAMING else p): ro for p, ro in files.items()}
    # Where the shell's reading of a ".." name would point: the folder's
    # part goes and the rest is glued to its parent ("vexaline\\r\\..x" reads
    # as "vexalinex").
    for parts in list(files):
        folder, name = list(parts[:-1]), parts[-1]
        if not name.startswith("..") or len(folder) < 2:
            continue
        trap = folder[:-2] + [folder[-2] + name[2:]]
        if trap[-1][-1:] in (".", " ") or not os.path.isdir(os.path.join(home, *trap[:-1])):
            continue
        try:
            with open(os.path.join(home, *trap), "w") as f:
                f.write("trap")
        except OSError:
            continue
        files.setdefault(tuple(trap), False)
    return files


# ---- the check ----


def snapshot(home):
    out = {}
    for dirpath, dirnames, filenames in os.walk(home):
        for n in filenames:
            p = os.path.join(dirpath, n)
            with open(p, "rb") as f:
                digest = hashlib.md5(f.read()).hexdigest()
            out[tuple(os.path.relpath(p, home).split(os.sep))] = (os.stat(p).st_mode & 0o777, digest)
    return out


def is_temp_name(name):
    return name[:3].lower() == "del" and name[-4:].lower() == ".tmp"


def check(before, after, fate):
    """Differences between what the run left and what the model predicts."""
    diffs = []
    expected = {p: v for p, v in before.items() if fate.get(p) is None}
    moved = sorted((p[:-1], before[p]) for p, f in fate.items() if f == "moved")
    appeared = sorted((p[:-1], v) for p, v in after.items() if p not in before and is_temp_name(p[-1]))
    if moved != appeared:
        diffs.append(f"moved aside: expected {moved}, found {appeared}")
    for p in sorted(set(expected) | set(after), key=str):
        if p not in before and is_temp_name(p[-1]):
            continue
        if expected.get(p) != after.get(p):
            diffs.append(f"{'/'.join(p)!r}: expected {expected.get(p)}, found {after.get(p)}")
    return diffs


def main():
    mode, program = sys.argv[1], sys.argv[2]
    first = int(os.environ.get("VX_MODEL_FIRST_SEED", "1"))
    count = int(os.environ.get("VX_MODEL_SEEDS", "40"))
    work = tempfile.mkdtemp()
    failures = 0
    try:
        for seed in range(first, first + count):
            rng = random.Random(seed)
            if mode == "native":
                # A deep home now and then brings the plugin folders near MAX_PATH.
                depth = rng.choice([0, 0, 0, 180, 200, 215, 225])
                home = os.path.join(work, f"h{seed}", "d" * depth if depth else "home")
                win_root = "C:" + home.replace("/", "\\")
                run = [program]
                env = dict(os.environ, HOME=home)
            else:
                user = os.environ.get("USER") or subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip()
                home = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", user)
                win_root = "C:\\users\\" + user
                run = [sys.argv[3], program]
                env = dict(os.environ)
                for top in ("Orvane", "Lanterra Files", "Notes"):
                    for p in (os.path.join(home, top), os.path.join(home, "AppData", "Roaming", top),
                              os.path.join(home, "AppData", "Local", top)):
                        subprocess.run(["chmod", "-R", "u+w", p], stderr=subprocess.DEVNULL)
                        shutil.rmtree(p, ignore_errors=True)
            os.makedirs(os.path.join(home, "AppData", "Roaming"), exist_ok=True)
            os.makedirs(os.path.join(home, "AppData", "Local"), exist_ok=True)
            files = generate(rng, home, win_root)
            before = snapshot(home)
            diffs = []
            for args, fate in ((["--mode=update"], {}), ([], predict(files, win_root))):
                r = subprocess.run(run + args, env=env, capture_output=True, stdin=subprocess.DEVNULL)
                if r.returncode != 0:
                    # The program prints nothing: anything here is Wine's or the loader's.
                    said = (r.stdout + r.stderr).decode(errors="replace").strip()[-600:]
                    diffs.append(f"{args}: exit {r.returncode}" + (f"; printed: {said}" if said else ""))
                diffs += [f"{args or 'full run'}: {d}" for d in check(before, snapshot(home), fate)]
                if diffs:
                    break
            if diffs:
                failures += 1
                print(f"FAIL seed {seed} ({mode}; replay with VX_MODEL_FIRST_SEED={seed} VX_MODEL_SEEDS=1):")
                print("\n".join("  " + d for d in diffs[:10]))
            if mode == "native":
                subprocess.run(["chmod", "-R", "u+w", os.path.join(work, f"h{seed}")])
                shutil.rmtree(os.path.join(work, f"h{seed}"), ignore_errors=True)
    finally:
        subprocess.run(["chmod", "-R", "u+w", work])
        shutil.rmtree(work, ignore_errors=True)
    print(f"{count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
