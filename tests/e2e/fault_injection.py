#!/usr/bin/env python3
"""Fails one file system call of a sorvil run at a time, for every call of a clean run in turn (sampled when
there are many), in copy and nocopy mode, and checks what the run left behind and what it said. Then kills
the run at each of its file-changing calls in turn (sampled), in a first copy run over an earlier run's
music folder and in a re-run after an artist that sorts first was added: after each kill every record of the
songlist.ini on disk must name a copy holding that record's song, and a re-run must give what an
uninterrupted run gives.

    fault_injection.py SORVIL SAMPLES_FOLDER

A run may end well only with exactly the clean run's outputs; otherwise it must exit 1 and report the failure
(an ERROR on standard output, or a "sorvil: " message on standard error, where a failed standard output or
FOLDER is reported). Whatever happens, no signal ends it, it ends within a few seconds, nothing beside
songlist.ini and music/ changes (outside the collection included), no ".partial" file stays behind, and
songlist.ini holds the old list, the complete one, or after a reported failure what was processed."""
import concurrent.futures, hashlib, os, queue, re, shutil, subprocess, sys, tempfile, time

SYSCALLS = ("openat open creat openat2 newfstatat fstat stat lstat statx access faccessat faccessat2 read pread64 "
            "readv write pwrite64 writev lseek getdents64 chdir fchdir getcwd readlink readlinkat rename renameat "
            "renameat2 unlink unlinkat mkdir mkdirat close mmap fsync fdatasync copy_file_range sendfile ftruncate "
            "fallocate fchmod fchmodat utimensat").split()
WRITES = {"write", "pwrite64", "writev", "copy_file_range", "sendfile", "fallocate", "ftruncate"}
EVERY_CALL_UP_TO = 30  # every index up to this one is failed; beyond it a sample of about
SAMPLED_BEYOND = 10    # this many, and the last call
TIMEOUT = 10
OLD_LIST = b"Old Artist|Old Song|song0000.mp3|61\n"
OLD_PLAYLIST = b"#EXTM3U\r\n#EXTINF:61,Old Artist - Old Song\r\nmusic/song0000.mp3\r\n"
OUTPUTS = (("out", "standard output"), ("list", "songlist.ini"), ("playlist", "songlist.m3u8"), ("music", "music/"))
OWN = ("coll/songlist.ini", "coll/songlist.m3u8", "coll/music")
STATE = ".sorvil-copies"
CALL = re.compile(r"^(\d+) +(\w+)\((.*)")
# Said by the run that first writes over files in music/ that no record names; a run killed after it has
# recorded those names, and its re-run does not say it again.
UNRECORDED_NOTE = re.compile(rb"NOTE: \d+ files? in music that sorvil has no record of .*\n")


def errno_for(syscall, index):
    if syscall in WRITES:
        return "ENOSPC"
    if syscall == "openat":  # a denied file, and a process out of descriptors
        return "EMFILE" if index % 2 == 0 else "EACCES"
    return "EACCES" if syscall in ("open", "creat", "chdir", "fchdir") else "EIO"


def build_template(root, samples):
    """root/coll: artists A, B, C, an artist D linking to root/outside, an old list, playlist and copies."""
    songs = {"A": "Aurora Lane/Morning Light.mp3", "B": "Cobalt Sky/Song.MP3", "C": "Brassworks/Fanfare.mp3"}
    for artist, song in songs.items():
        os.makedirs(os.path.join(root, "coll", artist))
        shutil.copy(os.path.join(samples, song), os.path.join(root, "coll", artist))
    os.makedirs(os.path.join(root, "outside"))
    shutil.copy(os.path.join(samples, "Cobalt Sky/Song.MP3"), os.path.join(root, "outside", "Far.mp3"))
    os.symlink("../outside", os.path.join(root, "coll", "D"))
    os.makedirs(os.path.join(root, "coll", "music"))
    for old_copy in ("song0000.mp3", "song0009.mp3"):
        with open(os.path.join(root, "coll", "music", old_copy), "wb") as f:
            f.write(b"an old copy")
    with open(os.path.join(root, "coll", "songlist.ini"), "wb") as f:
        f.write(OLD_LIST)
    with open(os.path.join(root, "coll", "songlist.m3u8"), "wb") as f:
        f.write(OLD_PLAYLIST)


def snapshot(root, skip=()):
    """Every name under root (links not followed) with its type and content; the run's record of its copies
    only by name, since it holds inode numbers and times."""
    seen = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root)
            if relative in skip or any(relative.startswith(s + "/") for s in skip):
                continue
            if os.path.islink(path):
                seen[relative] = "link " + os.readlink(path)
            elif os.path.isdir(path):
                seen[relative] = "folder"
            elif name == STATE:
                seen[relative] = "state"
            else:
                with open(path, "rb") as f:
                    seen[relative] = hashlib.sha256(f.read()).hexdigest()
    return seen


def read_or_none(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def run(sorvil, mode, slot, strace_options, stdout=subprocess.PIPE):
    arguments = ["strace", "-f", "-qq"] + strace_options + ["--", sorvil] if strace_options else [sorvil]
    arguments += {"nocopy": ["nocopy"], "m3u": ["--m3u"]}.get(mode, []) + ["coll"]
    process = subprocess.Popen(arguments, cwd=slot, stdout=stdout, stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = process.communicate(timeout=TIMEOUT)
        return process.returncode, out or b"", err
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, 9)
        process.communicate()
        return "hang", b"", b""


def outcome(slot, result):
    status, out, err = result
    return {"status": status, "out": out, "err": err, "list": read_or_none(os.path.join(slot, "coll/songlist.ini")),
            "playlist": read_or_none(os.path.join(slot, "coll/songlist.m3u8")),
            "music": snapshot(os.path.join(slot, "coll/music")), "rest": snapshot(slot, skip=OWN),
            "partial": [p for p in snapshot(slot) if p.endswith(".partial")]}


def acceptable_list(written, complete, status):
    """The old list, the complete one, or - after a reported failure - the old list without the records of
    copies that were to change, or the records of what was processed: a non-empty run of whole records, each
    artist|title of the complete list in its order (an artist or song that failed is left out; copies are
    numbered anew, a song that could not be read shows 0 s)."""
    if written in (OLD_LIST, complete):
        return True
    if status == 1 and written is not None and set(written.splitlines()) <= set(OLD_LIST.splitlines()):
        return True
    if status != 1 or not written or not written.endswith(b"\n"):
        return False
    keys = [line.split(b"|")[:2] for line in complete.splitlines()]
    records = [line.split(b"|") for line in written.splitlines()]
    remaining = iter(keys)
    return all(len(r) == 4 and r[:2] in remaining for r in records)


def broken_promises(got, clean, template):
    """What the run did wrong, judged against the clean run and the collection it started from."""
    status, broken = got["status"], []
    if status == "hang":
        return ["did not end within %d s" % TIMEOUT]
    if status < 0 or status > 128:
        broken.append("died by signal %d" % (-status if status < 0 else status - 128))
    changed = sorted(k for k in set(got["rest"]) | set(template) if got["rest"].get(k) != template.get(k))
    if changed:
        broken.append("changed beside the list and the copies: " + ", ".join(changed))
    if status != 0 and not acceptable_list(got["list"], clean["list"], status):
        broken.append("songlist.ini is not the old list, the complete one or what was processed: %r"
                      % (got["list"] or b"")[:60])
    if got["partial"]:
        broken.append("left " + ", ".join(got["partial"]))
    differing = [name for what, name in OUTPUTS if got[what] != clean[what]]
    if status == 0 and differing:
        broken.append("exit 0 though these differ from the clean run's: " + ", ".join(differing))
    if status not in (0, 1):
        broken.append("exit status %s, not 1" % status)
    if status != 0 and b"ERROR" not in got["out"] and not got["err"].startswith(b"sorvil: "):
        broken.append("failure not reported (no ERROR on standard output, no message on standard error)")
    return broken


def counted_calls(log, collection_argument):
    """Each syscall's calls in the run's own process, numbered as strace numbers them (per process). Only
    calls from the first one naming FOLDER on count (its stat, the first thing main does): every earlier
    call is the dynamic loader's or the C library's start-up, the same in every run."""
    calls, before, started, main_pid = {}, {}, False, None
    for line in log.splitlines():
        match = CALL.match(line)
        if not match:
            continue
        pid, name, arguments = match.groups()
        main_pid = main_pid or pid
        if pid != main_pid:
            continue
        started = started or ('"%s"' % collection_argument) in arguments
        if not started:
            before[name] = before.get(name, 0) + 1
            continue
        calls.setdefault(name, []).append(before.get(name, 0) + len(calls.get(name, [])) + 1)
    return calls


def sampled(indexes):
    beyond = indexes[EVERY_CALL_UP_TO:]
    step = max(1, -(-len(beyond) // SAMPLED_BEYOND))
    return sorted(set(indexes[:EVERY_CALL_UP_TO] + beyond[::step] + indexes[-1:]))


def fresh(template_root, slot):
    shutil.rmtree(slot, ignore_errors=True)
    shutil.copytree(template_root, slot, symlinks=True)


def clean_run(sorvil, mode, area, template_root):
    """The run without faults: its outputs, and the calls of each syscall that the faults go to."""
    slot, log = os.path.join(area, "clean"), os.path.join(area, "clean.log")
    fresh(template_root, slot)
    traced = ["-o", log, "-e", "trace=" + ",".join("?" + s for s in SYSCALLS)]
    clean = outcome(slot, run(sorvil, mode, slot, traced))
    if clean["status"] != 0 or clean["list"] in (None, OLD_LIST):
        sys.exit("the clean %s run failed: %r %r" % (mode, clean["status"], clean["err"]))
    with open(log, errors="replace") as f:
        return clean, counted_calls(f.read(), "coll")


def faulty_run(sorvil, mode, syscall, index, clean, template_root, template, slots):
    slot = slots.get()
    try:
        fresh(template_root, slot)
        error = errno_for(syscall, index)
        inject = ["-e", "trace=" + syscall, "-e", "inject=%s:error=%s:when=%d" % (syscall, error, index)]
        got = outcome(slot, run(sorvil, mode, slot, ["-o", "/dev/null"] + inject))
        broken = broken_promises(got, clean, template)
        broken += lies_told(slot, template_root) if mode == "copy" else []
        return ["%s %s #%d %s: %s" % (mode, syscall, index, error, "; ".join(broken))] if broken else []
    finally:
        slots.put(slot)


def whole_run_faults(sorvil, slot, template_root):
    """Standard output on a full device, and FOLDER's own stat failing with an I/O error."""
    broken = []
    fresh(template_root, slot)
    with open("/dev/full", "wb") as full:
        status, _, err = run(sorvil, "nocopy", slot, [], stdout=full)
    if status != 1 or not err.startswith(b"sorvil: "):
        broken.append("standard output on /dev/full: exit %s, standard error %r" % (status, err[:80]))
    fresh(template_root, slot)
    status, out, err = run(sorvil, "nocopy", slot, ["-o", "/dev/null", "-P", "coll", "-e", "trace=newfstatat",
                                                      "-e", "inject=newfstatat:error=EIO:when=1"])
    if status != 1 or b"Input/output error" not in out + err:
        broken.append("FOLDER's stat failing with EIO: exit %s, %r" % (status, (out + err)[-100:]))
    return broken


KILLED = set(WRITES) | {"rename", "renameat", "renameat2", "unlink", "unlinkat", "mkdir", "mkdirat", "fsync",
                        "fdatasync", "syncfs", "utimensat", "openat"}
KILLS_SAMPLED = 100  # kill points per scenario at most (every one of the small collection's, about 60)


def file_changing_calls(log):
    """The (syscall, index) of each call of the run that can change a file: opens that create, and the rest of
    KILLED."""
    points = []
    for name, indexes in counted_calls(log, "coll").items():
        if name not in KILLED:
            continue
        if name == "openat":
            opens = [line for line in log.splitlines() if CALL.match(line) and CALL.match(line).group(2) == "openat"]
            indexes = [i for i in indexes if i <= len(opens) and "O_CREAT" in opens[i - 1]]
        points += [(name, i) for i in indexes]
    return sorted(points)


def songs_of(collection):
    """(artist, title) -> the song's bytes, for every song of the collection."""
    songs = {}
    for artist in os.listdir(collection):
        folder = os.path.join(collection, artist)
        if artist.lower() == "music" or not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            if name.lower().endswith(".mp3"):
                with open(os.path.join(folder, name), "rb") as f:
                    songs[(artist.encode(), name[:-4].encode())] = f.read()
    return songs


def entries(collection):
    """(artist, title, copy) of each record of songlist.ini and each entry of songlist.m3u8."""
    found = []
    for record in (read_or_none(os.path.join(collection, "songlist.ini")) or b"").splitlines():
        fields = record.rstrip(b"\r").split(b"|")
        found.append((fields[0], fields[1], b"music/" + fields[2]))
    lines = (read_or_none(os.path.join(collection, "songlist.m3u8")) or b"").split(b"\r\n")
    for info, path in zip(lines, lines[1:]):
        if info.startswith(b"#EXTINF:"):
            found.append(tuple(info.split(b",", 1)[1].split(b" - ", 1)) + (path,))
    return found


def lies_told(slot, template_root):
    """The records of songlist.ini and entries of songlist.m3u8 that name a copy not holding their song: a
    song of the collection, or for the old list's record the old copy it named."""
    collection = os.path.join(slot, "coll")
    songs, lies = songs_of(collection), []
    for artist, title, path in entries(collection):
        copy = read_or_none(os.path.join(collection, path.decode(errors="replace")))
        if (artist, title) == (b"Old Artist", b"Old Song"):
            expected = read_or_none(os.path.join(template_root, "coll", path.decode()))
        else:
            expected = songs.get((artist, title))
        if copy is None or copy != expected:
            lies.append((b"%s|%s|%s" % (artist, title, path)).decode(errors="replace"))
    return ["the list or the playlist lies: " + ", ".join(lies)] if lies else []


def without_counts(output):
    """The console less its closing line, whose counts tell what this very run did."""
    return re.sub(rb"NOTE: [^\n]* failed\n$", b"", output) if isinstance(output, bytes) else output


def comparable(outcome, what):
    """An output of a re-run after a kill, as an uninterrupted run's: standard output less UNRECORDED_NOTE and
    the closing line's counts."""
    return without_counts(UNRECORDED_NOTE.sub(b"", outcome[what])) if what == "out" else outcome[what]


def killed_run(sorvil, scenario, point, uninterrupted, start_root, slots):
    syscall, index = point
    slot = slots.get()
    try:
        fresh(start_root, slot)
        inject = ["-e", "trace=" + syscall, "-e", "inject=%s:signal=SIGKILL:when=%d" % (syscall, index)]
        status = run(sorvil, "copy", slot, ["-o", "/dev/null"] + inject)[0]
        broken = lies_told(slot, start_root)
        again = outcome(slot, run(sorvil, "copy", slot, []))
        differing = [name for what, name in OUTPUTS if comparable(again, what) != comparable(uninterrupted, what)]
        if again["status"] != 0 or differing:
            broken.append("the re-run exits %s, and differs in %s" % (again["status"], ", ".join(differing)))
        where = "%s: killed at %s #%d (%s)" % (scenario, syscall, index, status)
        return [where + ": " + "; ".join(broken)] if broken else []
    finally:
        slots.put(slot)


def kill_scenarios(sorvil, area, template_root):
    """The template itself, and the template after a clean run that kept a playlist with an artist added that
    sorts first (a re-run without --m3u keeps it true)."""
    added = os.path.join(area, "added")
    fresh(template_root, added)
    status = run(sorvil, "m3u", added, [])[0]
    os.makedirs(os.path.join(added, "coll", "0 New"))
    shutil.copy(os.path.join(added, "coll", "C", "Fanfare.mp3"), os.path.join(added, "coll", "0 New", "New.mp3"))
    if status != 0:
        sys.exit("the run before the added artist failed: %r" % status)
    return (("first run", template_root), ("re-run after an artist was added", added))


def kill_jobs(pool, sorvil, area, template_root, slots):
    jobs = []
    for scenario, start_root in kill_scenarios(sorvil, area, template_root):
        slot, log = os.path.join(area, "clean"), os.path.join(area, "kill.log")
        fresh(start_root, slot)
        traced = ["-o", log, "-e", "trace=" + ",".join("?" + s for s in sorted(KILLED))]
        uninterrupted = outcome(slot, run(sorvil, "copy", slot, traced))
        with open(log, errors="replace") as f:
            points = file_changing_calls(f.read())
        step = max(1, -(-len(points) // KILLS_SAMPLED))
        jobs += [pool.submit(killed_run, sorvil, scenario, point, uninterrupted, start_root, slots)
                 for point in sorted(set(points[::step] + points[-1:]))]
    return jobs


def main():
    sorvil, samples = os.path.abspath(sys.argv[1]), sys.argv[2]
    if not shutil.which("strace"):
        sys.exit("strace is missing: tools/scripts/setup-debian.sh test installs it")
    started, violations = time.time(), []
    with tempfile.TemporaryDirectory(prefix="sorvil-faults-") as area:
        template_root = os.path.join(area, "template")
        build_template(template_root, samples)
        template = snapshot(template_root, skip=OWN)
        slots = queue.Queue()
        for n in range(2):
            slots.put(os.path.join(area, "slot%d" % n))
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            jobs = []
            for mode in ("copy", "nocopy"):
                clean, calls = clean_run(sorvil, mode, area, template_root)
                for syscall, indexes in sorted(calls.items()):
                    jobs += [pool.submit(faulty_run, sorvil, mode, syscall, index, clean, template_root, template,
                                         slots) for index in sampled(indexes)]
            for job in jobs:
                violations += job.result()
            kills = kill_jobs(pool, sorvil, area, template_root, slots)
            for job in kills:
                violations += job.result()
        violations += whole_run_faults(sorvil, slots.get(), template_root)

    for violation in violations:
        print(violation)
    print("%d runs with one failed call, %d killed runs; %d broke a promise; %.0f s"
          % (len(jobs), len(kills), len(violations), time.time() - started))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
