#!/usr/bin/env python3
"""Recovery phases of the benchmark, side by side with par2 in one run.

  recovery_bench.py SLICERY --dir DIR [--size MiB] [--volume MiB] [--runs N]
                    [--no-par2] [--check-only]

Split with --recovery 2 against the plain split followed by `par2 create`
with the same redundancy (two volumes' worth), and the rebuild with two data
disks lost against the plain rebuild followed by `par2 repair` of the two
lost chunks. The check of the whole set (slicery --check, with its
temporary folder in DIR) is timed beside `cat` of the same chunk files, data
and recovery, into a file in DIR; --check-only runs the split and that phase
alone. Times are wall-clock seconds, the best of the runs; peak RSS is
slicery's own (GNU time), in MiB. Volumes are folders moved in and out of the
drive folder, as the end-to-end tests do. Each run also times the plain
verified split and the plain rebuild of the whole set, the anchors of the
recovery phases' goals; --no-par2 leaves par2 out (it takes minutes a phase
at 1 GiB).
"""
import argparse
import os
import re
import resource
import shutil
import subprocess
import sys
import time

DIALOG = re.compile(rb"\n== (.*?) ==\n(.*)\n(\[[^\n]*): $", re.S)


class Session:
    def __init__(self, program, args, env, cwd):
        # GNU time reports the program's own peak RSS: wait4 here would also
        # count this interpreter's, which a forked child keeps across exec.
        self.rss_file = os.path.join(cwd, ".rss")
        self.proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", self.rss_file, program]
                                     + args, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=env, cwd=cwd)
        self.out = b""

    def dialog(self):
        start = len(self.out)
        while True:
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.out += chunk
            tail = self.out[start:]
            at = tail.rfind(b"\n== ")
            if at >= 0 and tail.endswith(b": "):
                m = DIALOG.match(tail[at:])
                if m:
                    return m.group(2).decode(errors="replace")

    def answer(self, text):
        self.proc.stdin.write(text.encode() + b"\n")
        self.proc.stdin.flush()

    def wait(self):
        self.proc.stdin.close()
        self.code = self.proc.wait()
        with open(self.rss_file) as f:
            return int(f.read().split()[-1]) / 1024.0


class Drive:
    def __init__(self, root):
        self.drive = os.path.join(root, "drive")
        self.shelf = os.path.join(root, "disks")
        self.current = None
        os.makedirs(self.drive, exist_ok=True)
        os.makedirs(self.shelf, exist_ok=True)

    def disk(self, name):
        return os.path.join(self.shelf, name)

    def insert(self, name):
        if self.current is not None:
            for f in os.listdir(self.drive):
                os.rename(os.path.join(self.drive, f), os.path.join(self.disk(self.current), f))
        os.makedirs(self.disk(name), exist_ok=True)
        for f in os.listdir(self.disk(name)):
            os.rename(os.path.join(self.disk(name), f), os.path.join(self.drive, f))
        self.current = name

    def eject(self):
        if self.current is not None:
            self.insert("__empty__")


def run(program, args, env, cwd, drive, respond, status=0):
    """Answers every dialog with respond(text) -> (reply, disk or None)."""
    session = Session(program, args, env, cwd)
    while True:
        text = session.dialog()
        if text is None:
            break
        reply, disk = respond(text)
        if disk:
            drive.insert(disk)
        session.answer(reply)
    rss = session.wait()
    drive.eject()
    assert session.code == status, "%s %s ended with status %d" % (program, args, session.code)
    return rss


def split_responder(source, recovery):
    state = {"n": 0, "r": 0, "first": True}

    def respond(text):
        if text.startswith("Slicerer"):
            if state["first"]:
                state["first"] = False
                return "y\n" + source, None
            return "c", None
        # With recovery disks, each data disk's request names it.
        disk = "Disk #%d" % (state["n"] + 1) if recovery else "a disk"
        if text.startswith("Please insert %s into drive.  (No data" % disk):
            state["n"] += 1
            return "o", "d%d" % state["n"]
        if text.startswith("Please insert recovery disk #"):
            state["r"] += 1
            return "o", "r%d" % state["r"]
        if "Operation complete!" in text:
            return "n", None
        raise SystemExit("split: unexpected dialog: " + text)
    return respond, state


def rebuild_responder(target, lost):
    state = {"first": True}

    def respond(text):
        if text.startswith("Slicerer"):
            if state["first"]:
                state["first"] = False
                return "n", None
            return "c", None
        if text == "Please insert a disk into drive.":
            return "o", "d%d" % next(n for n in range(1, 99) if n not in lost)
        if text.startswith("This operation contains"):
            return "n\n" + target, None
        if text.startswith("Please insert Disk #"):
            n = int(text[len("Please insert Disk #"):])
            return ("c", None) if n in lost else ("o", "d%d" % n)
        if "without Disk #" in text:
            return "y", None
        if text.startswith("Please insert any recovery disk"):
            return "o", "r1"
        if text.startswith("Please insert recovery disk #"):
            return "o", "r%d" % int(text[len("Please insert recovery disk #"):].split()[0])
        if text.startswith("Rebuilt from the recovery disks: "):
            return "o", None
        if "Operation complete!" in text:
            return "n", None
        raise SystemExit("rebuild: unexpected dialog: " + text)
    return respond


def check_responder(disks, recovery):
    def respond(text):
        if text == "Please insert a disk into drive.":
            return "o", "d1"
        if text.startswith("Please insert Disk #"):
            return "o", "d%d" % int(text[len("Please insert Disk #"):])
        if text.startswith("Please insert recovery disk #"):
            return "o", "r%d" % int(text[len("Please insert recovery disk #"):].split()[0])
        if text.startswith("The set is whole."):
            return "o", None
        raise SystemExit("check: unexpected dialog: " + text)
    return respond


def check_phase(program, work, env, drive, disks, recovery, cat_first, result):
    """The check of the whole set beside cat of the same chunk files."""
    chunks = [os.path.join(drive.disk("d%d" % n), "SLICERY.A2Z") for n in range(1, disks + 1)]
    chunks += [os.path.join(drive.disk("r%d" % r), "SLICERY.R2Z")
               for r in range(1, recovery + 1)]
    scratch = os.path.join(work, "tmp")
    os.makedirs(scratch, exist_ok=True)
    check_env = dict(env, TMPDIR=scratch)
    copy = os.path.join(work, "cat.out")

    def cat():
        with open(copy, "wb") as out:
            subprocess.run(["cat"] + chunks, stdout=out, check=True)
        os.remove(copy)

    def check():
        return run(program, ["--check"], check_env, work, drive,
                   check_responder(disks, recovery))
    for step in ((cat, check) if cat_first else (check, cat)):
        seconds, rss = timed(step)
        if step is cat:
            result["cat_chunks"] = seconds
        else:
            result["check"], result["rss_check"] = seconds, rss
    assert not os.listdir(scratch), "the check left files in its temporary folder"


def timed(fn):
    start = time.monotonic()
    value = fn()
    return time.monotonic() - start, value


def one_run(program, work, size, volume, rnd, index, check_only, par2=True):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    source = os.path.join(work, "source.bin")
    with open(source, "wb") as f:
        f.write(rnd)
    result = {}
    env = dict(os.environ, SLICERY_VOLUME=os.path.join(work, "drive"),
               SLICERY_VOLUME_SIZE=str(volume),
               XDG_STATE_HOME=os.path.join(work, "state"))
    # Split with recovery disks.
    drive = Drive(work)
    respond, state = split_responder(source, 2)
    result["split_recovery"], result["rss_split"] = timed(
        lambda: run(program, ["--recovery", "2"], env, work, drive, respond))
    disks = state["n"]
    check_phase(program, work, env, drive, disks, 2, index % 2 == 1, result)
    result["disks"] = disks
    if check_only:
        return result
    # Rebuild with two data disks lost.
    lost = {2, 3} if disks >= 3 else {1}
    for n in lost:
        shutil.rmtree(drive.disk("d%d" % n))
    target = os.path.join(work, "rebuilt.bin")
    result["rebuild_recovery"], result["rss_rebuild"] = timed(
        lambda: run(program, [], env, work, drive, rebuild_responder(target, lost)))
    assert open(target, "rb").read() == rnd, "recovery rebuild differs"
    # The plain split, then par2 over the chunks with the same redundancy.
    shutil.rmtree(os.path.join(work, "disks"))
    os.remove(target)
    drive = Drive(work)
    respond, state = split_responder(source, 0)
    plain_split, result["rss_plain"] = timed(
        lambda: run(program, [], env, work, drive, respond))
    chunks = [os.path.join(drive.disk("d%d" % n), "SLICERY.A2Z") for n in range(1, disks + 1)]
    result["plain_split"] = plain_split
    result["disks"] = disks
    result["chunk"] = max(os.path.getsize(c) for c in chunks)
    if not par2:
        result["plain_rebuild"], _ = timed(lambda: run(
            program, [], env, work, drive, rebuild_responder(target, set())))
        assert open(target, "rb").read() == rnd, "plain rebuild differs"
        return result
    par2dir = os.path.join(work, "par2")
    os.makedirs(par2dir)
    links = []
    for n, chunk in enumerate(chunks, 1):
        link = os.path.join(par2dir, "chunk%03d" % n)
        os.link(chunk, link)
        links.append(link)
    # Two of the largest chunks' worth, as two recovery disks hold.
    largest = max(os.path.getsize(c) for c in chunks)
    percent = -(-200 * largest // size) + 1
    par2_create, _ = timed(lambda: subprocess.run(
        ["par2", "create", "-q", "-q", "-r%d" % percent, "-n2", os.path.join(par2dir, "set.par2")]
        + links, check=True))
    result["split_par2"] = plain_split + par2_create
    # Lose the same two chunks: the plain rebuild cannot go on without them,
    # so par2 repairs them first, then the plain rebuild joins the chunks.
    for n in lost:
        os.remove(links[n - 1])
        os.remove(os.path.join(drive.disk("d%d" % n), "SLICERY.A2Z"))
    par2_repair, _ = timed(lambda: subprocess.run(
        ["par2", "repair", "-q", "-q", os.path.join(par2dir, "set.par2")], check=True))
    for n in lost:
        os.link(links[n - 1], os.path.join(drive.disk("d%d" % n), "SLICERY.A2Z"))
    plain_rebuild, _ = timed(lambda: run(program, [], env, work, drive,
                                         rebuild_responder(target, set())))
    assert open(target, "rb").read() == rnd, "plain rebuild differs"
    result["rebuild_par2"] = par2_repair + plain_rebuild
    result["plain_rebuild"] = plain_rebuild
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--dir", default="/dev/shm/slicery-recovery-bench")
    parser.add_argument("--size", type=int, default=1024, help="MiB")
    parser.add_argument("--volume", type=int, default=256, help="MiB")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--no-par2", action="store_true")
    parser.add_argument("--check-only", action="store_true")
    a = parser.parse_args()
    size, volume = a.size << 20, a.volume << 20
    rnd = os.urandom(size)
    best = {}
    try:
        for index in range(a.runs):
            r = one_run(a.program, a.dir, size, volume, rnd, index, a.check_only,
                        not a.no_par2)
            for k, v in r.items():
                best[k] = min(best.get(k, v), v) if not k.startswith("rss") else max(best.get(k, v), v)
    finally:
        shutil.rmtree(a.dir, ignore_errors=True)
    k = best["disks"]
    print("recovery: %d MiB onto %d MiB volumes, %d data disks, --recovery 2, best of %d"
          % (a.size, a.volume, k, a.runs))
    print("| phase | slicery | anchor | ratio |")
    print("|---|---|---|---|")
    print("| check of the whole set, beside cat of its chunk files | %.3f s | %.3f s | %.2fx "
          "(goal 1.10x) |" % (best["check"], best["cat_chunks"],
                              best["check"] / best["cat_chunks"]))
    print("peak RSS of the check: %.1f MiB" % best["rss_check"])
    if a.check_only:
        return
    print()
    if not a.no_par2:
        print("| phase | slicery | plain slicery + par2 | ratio |")
        print("|---|---|---|---|")
        print("| split | %.3f s | %.3f s | %.2fx |" % (
            best["split_recovery"], best["split_par2"],
            best["split_recovery"] / best["split_par2"]))
        print("| rebuild, 2 disks lost | %.3f s | %.3f s | %.2fx |" % (
            best["rebuild_recovery"], best["rebuild_par2"],
            best["rebuild_recovery"] / best["rebuild_par2"]))
    # The media of a recovery set take about (k + N) / k of the file's bytes;
    # its rebuild reads the recovery disks' chunks besides the data disks left.
    split_goal = 1.2 * (k + 2) / k
    rebuild_goal = 1.2 * (size + 2 * best["chunk"]) / size
    print("recovery split %.3f s / plain verified split %.3f s: %.2fx (goal %.2fx: "
          "1.2 x (k+N)/k)"
          % (best["split_recovery"], best["plain_split"],
             best["split_recovery"] / best["plain_split"], split_goal))
    print("recovery rebuild, 2 disks lost, %.3f s / plain rebuild %.3f s: %.2fx (goal %.2fx: "
          "1.2 x (the file's bytes + the recovery disks' read) / the file's)"
          % (best["rebuild_recovery"], best["plain_rebuild"],
             best["rebuild_recovery"] / best["plain_rebuild"], rebuild_goal))
    print("peak RSS: recovery split %.1f MiB, recovery rebuild %.1f MiB, plain split %.1f MiB"
          % (best["rss_split"], best["rss_rebuild"], best["rss_plain"]))


if __name__ == "__main__":
    main()
