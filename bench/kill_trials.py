#!/usr/bin/env python3
"""Kills the library's writers with SIGKILL at random moments and checks what is left.

    bench/kill_trials.py [--trials 1000] [--build build/asan] [--seed 1] [--kinds save,import,restore]

Each trial works on a library of its own and kills one writer at a random
moment of its work:

  save        tests/helpers/CrashWriter (crash_writer): adds and edits items
              and prints "saved N" after every automatic save; killed after
              a random number of saves and a random delay.
  import      `folionest-cli import` of an export document of 300 items,
              ten of them with a 300 kB picture, killed at a random moment
              between its start and its usual end.
  restore     `folionest-cli restore` of an encrypted backup of the same
              records, killed likewise.
  delete_all  "Delete All Data" (crash_writer --delete-all, the context's
              removeAll and one save) on a copy of the 300-item library,
              killed at a random moment of its work.

After every kill the store must open (`folionest-cli counts`), pass
`PRAGMA integrity_check` and `PRAGMA foreign_key_check`, still hold every record that was committed before
the kill (confirmed saves; the library's own records during an import or
restore), and an import or restore must be all or nothing: none of its
records or all of them.

The last line is the summary, for example
  1000 trials: 0 stores that fail to open or to check, 0 committed records lost, 0 partial imports, restores or deletions
"""
import argparse
import base64
import json
import os
import random
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PASSPHRASE = "kill trials passphrase\n"
DOCUMENT_ITEMS = 300


def run(cli, container, *args, stdin=None, check=True):
    result = subprocess.run([cli, "--container", container, *args], input=stdin, capture_output=True, text=True,
                            timeout=600)
    if check and result.returncode != 0:
        raise RuntimeError(f"{' '.join(args)} failed: {result.stderr.strip()}")
    return result


def titles(store):
    with sqlite3.connect(f"file:{store}?mode=ro", uri=True) as db:
        return [row[0] for row in db.execute("SELECT title FROM Item")]


def integrity(store):
    with sqlite3.connect(f"file:{store}?mode=ro", uri=True) as db:
        verdict = db.execute("PRAGMA integrity_check").fetchone()[0]
        orphans = db.execute("PRAGMA foreign_key_check").fetchall()
    return verdict if verdict != "ok" or not orphans else f"{len(orphans)} rows point at records that are gone"


def check_store(cli, container):
    """None when the store opens and checks; otherwise what is wrong."""
    store = os.path.join(container, "default.store")
    opened = run(cli, container, "counts", check=False)
    if opened.returncode != 0:
        return f"does not open: {opened.stderr.strip()}"
    verdict = integrity(store)
    if verdict != "ok":
        return f"integrity_check: {verdict}"
    return None


def make_sources(cli, work):
    """A library of DOCUMENT_ITEMS items, its export document and its backup."""
    source = os.path.join(work, "source")
    os.makedirs(source)
    document = os.path.join(work, "document.json")
    backup = os.path.join(work, "backup.vkbackup")
    store = os.path.join(source, "default.store")
    run(cli, source, "counts")  # creates the library
    with sqlite3.connect(store) as db:
        rows = db.execute("SELECT COUNT(*) FROM Item").fetchone()[0]
    assert rows == 0
    # The tool adds one item a call; a document made here is quicker.
    items = [{"id": f"00000000-0000-4000-8000-{n:012d}", "type": "web_link", "title": f"imported-{n}",
              "url": f"https://example.com/{n}", "note": "n" * 200, "createdAt": "2025-01-01T00:00:00.000Z",
              "modifiedAt": "2025-01-01T00:00:00.000Z", "tagIds": [], "isArchived": False, "isFavorite": False}
             for n in range(DOCUMENT_ITEMS)]
    # Every 30th item has a picture large enough to be written as it is read.
    for item in items[::30]:
        item["imageData"] = base64.b64encode(os.urandom(300 * 1024)).decode()
    with open(document, "w", encoding="utf-8") as f:
        json.dump({"version": "1.0", "exportDate": "2025-01-01T00:00:00.000Z", "appVersion": "1.0",
                   "items": items, "folders": [], "tags": []}, f)
    run(cli, source, "import", document)
    run(cli, source, "backup", "-o", backup, "--passphrase-stdin", stdin=PASSPHRASE)
    return document, backup


OWN_TITLES = ["own-0", "own-1"]


def make_own_library(cli, work):
    """A library with records of its own, copied for every import and restore trial."""
    own = os.path.join(work, "own")
    os.makedirs(own)
    for n, title in enumerate(OWN_TITLES):
        run(cli, own, "add", "--no-fetch", f"https://own.example/{n}", "--title", title)
    return own


def seed_library(template, container):
    subprocess.run(["cp", "-a", template, container], check=True)
    return OWN_TITLES


def trial_save(args, rng, container):
    os.makedirs(container)
    writer = subprocess.Popen([args.crash_writer, os.path.join(container, "default.store")], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    confirmed = 0
    wanted = rng.randint(1, 4)
    saves = 0
    while saves < wanted:
        line = writer.stdout.readline()
        if not line:
            break
        if line.startswith("saved "):
            confirmed = int(line.split()[1])
            saves += 1
    time.sleep(rng.uniform(0, 0.3))
    writer.send_signal(signal.SIGKILL)
    rest, _ = writer.communicate()
    for line in rest.splitlines():
        if line.startswith("saved "):
            confirmed = int(line.split()[1])
    problem = check_store(args.cli, container)
    if problem:
        return problem, 0, False
    present = set(titles(os.path.join(container, "default.store")))
    lost = sum(1 for n in range(confirmed) if f"item-{n}" not in present)
    return None, lost, False


def trial_transfer(args, rng, container, command, duration):
    own = seed_library(args.own, container)
    store = os.path.join(container, "default.store")
    if command == "import":
        argv = [args.cli, "--container", container, "import", args.document]
        stdin = None
    else:
        argv = [args.cli, "--container", container, "restore", args.backup, "--passphrase-stdin"]
        stdin = PASSPHRASE
    process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               text=True)
    if stdin:
        process.stdin.write(stdin)
    process.stdin.close()
    time.sleep(rng.uniform(0, duration))
    process.send_signal(signal.SIGKILL)
    process.wait()
    problem = check_store(args.cli, container)
    if problem:
        return problem, 0, False
    present = titles(store)
    lost = sum(1 for title in own if title not in present)
    added = sum(1 for title in present if title.startswith("imported-"))
    partial = added not in (0, DOCUMENT_ITEMS)
    return None, lost, partial


def trial_delete_all(args, rng, container, duration):
    subprocess.run(["cp", "-a", args.source, container], check=True)
    store = os.path.join(container, "default.store")
    writer = subprocess.Popen([args.crash_writer, store, "--delete-all"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    time.sleep(rng.uniform(0, duration))
    writer.send_signal(signal.SIGKILL)
    out, _ = writer.communicate()
    problem = check_store(args.cli, container)
    if problem:
        return problem, 0, False
    left = sum(1 for title in titles(store) if title.startswith("imported-"))
    # Before the commit every record is there, after it none (a kill between
    # the commit and the message leaves none either).
    partial = left not in (0, DOCUMENT_ITEMS) or ("deleted" in out and left != 0)
    return None, 0, partial


def timed_delete_all(args, work):
    container = os.path.join(work, "timing-delete-all")
    subprocess.run(["cp", "-a", args.source, container], check=True)
    start = time.monotonic()
    subprocess.run([args.crash_writer, os.path.join(container, "default.store"), "--delete-all"], check=True,
                   capture_output=True)
    return time.monotonic() - start


def timed(cli, work, command, source):
    container = os.path.join(work, f"timing-{command}")
    os.makedirs(container)
    start = time.monotonic()
    if command == "import":
        run(cli, container, "import", source)
    else:
        run(cli, container, "restore", source, "--passphrase-stdin", stdin=PASSPHRASE)
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--trials", type=int, default=1000)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "asan"))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--kinds", default="save,import,restore,delete_all")
    args = parser.parse_args()
    args.cli = os.path.join(args.build, "src", "folionest-cli")
    args.crash_writer = os.path.join(args.build, "tests", "crash_writer")
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    # A killed sanitizer build must not spend the trial writing reports.
    os.environ["ASAN_OPTIONS"] = "detect_leaks=0"
    rng = random.Random(args.seed)
    kinds = args.kinds.split(",")

    with tempfile.TemporaryDirectory(prefix="kill-trials-") as work:
        args.document, args.backup = make_sources(args.cli, work)
        args.source = os.path.join(work, "source")
        args.own = make_own_library(args.cli, work)
        durations = {"import": timed(args.cli, work, "import", args.document),
                     "restore": timed(args.cli, work, "restore", args.backup),
                     "delete_all": timed_delete_all(args, work)}
        print(f"an undisturbed import takes {durations['import']:.2f} s, a restore {durations['restore']:.2f} s, "
              f"a deletion of everything {durations['delete_all']:.2f} s", flush=True)
        per_kind = {kind: 0 for kind in kinds}
        counts = {"broken": 0, "lost": 0, "partial": 0}

        def stop(*_):
            raise KeyboardInterrupt

        # Stopped early (SIGTERM, Ctrl-C), the trials so far are still summed up.
        signal.signal(signal.SIGTERM, stop)
        try:
            run_trials(args, rng, kinds, work, durations, per_kind, counts)
        except KeyboardInterrupt:
            print("stopped early", flush=True)
        print("trials per kind: " + ", ".join(f"{k} {v}" for k, v in per_kind.items()))
        print(f"{sum(per_kind.values())} trials: {counts['broken']} stores that fail to open or to check, "
              f"{counts['lost']} committed records lost, {counts['partial']} partial imports, restores or deletions")
        return 1 if counts["broken"] or counts["lost"] or counts["partial"] else 0


def run_trials(args, rng, kinds, work, durations, per_kind, counts):
    for n in range(args.trials):
        kind = kinds[n % len(kinds)]
        container = os.path.join(work, f"trial-{n}")
        if kind == "save":
            problem, missing, half = trial_save(args, rng, container)
        elif kind in ("import", "restore"):
            problem, missing, half = trial_transfer(args, rng, container, kind, durations[kind] * 1.1)
        else:
            problem, missing, half = trial_delete_all(args, rng, container, durations["delete_all"] * 1.1)
        per_kind[kind] += 1
        if problem:
            counts["broken"] += 1
            print(f"trial {n} ({kind}): store {problem}", flush=True)
        if missing:
            counts["lost"] += missing
            print(f"trial {n} ({kind}): {missing} committed records lost", flush=True)
        if half:
            counts["partial"] += 1
            print(f"trial {n} ({kind}): partial import, restore or deletion", flush=True)
        if os.path.isdir(container):
            subprocess.run(["rm", "-rf", container])
        if (n + 1) % 25 == 0:
            print(f"{n + 1} trials done", flush=True)

if __name__ == "__main__":
    sys.exit(main())
