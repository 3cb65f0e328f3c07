#!/usr/bin/env python3
"""Times sorvil on a collection of real-size songs against what a user would
use instead; run by bench/collection.sh, which builds the programs first.

The collection is made at run time in a scratch folder: two 4-minute songs are
encoded once with lame from the benchmarks' test signal (CBR 160 kbit/s, which
starts with an "Info" frame, and VBR -V 2, which starts with a "Xing" frame),
then every song of the collection is one of them behind its own ID3v2.3 tag
(a TIT2 title and some padding), SONGS_PER_ARTIST songs to an artist folder.
The encoded songs are kept in --sources for later runs; the collections are
made in --work and removed after each part.

Commands that are compared run in turn, round after round, so that a change in
the machine's load falls on all of them; the figures are medians. "Cold" means
that the page cache of every song (and of every copy) was dropped first with
posix_fadvise(POSIX_FADV_DONTNEED) after a sync; the file system's metadata
stays cached. Wall time comes from the clock, CPU time (user + system) from
wait4(), peak memory from /usr/bin/time (a small parent: a child's max RSS
would include what this Python process held before the exec).
"""
import argparse
import os
import platform
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timezone

from measure import cpu_model  # the benchmarks name the machine alike

SONGS_PER_ARTIST = 10
# The album layout: ALBUMS_PER_ARTIST albums of SONGS_PER_ALBUM songs to an
# artist, against the same songs directly in the same artist folders.
ALBUMS_PER_ARTIST = 10
SONGS_PER_ALBUM = 10
DROP_CACHES = "/proc/sys/vm/drop_caches"
SIGNAL_SECONDS = 240
BYTES_PER_SECOND_AT_160K = 160000 // 8
TIME = "/usr/bin/time"

# The listing a user would write instead: one process, every song's length.
MUTAGEN_LISTING = r"""
import os, sys
from mutagen.mp3 import MP3
for folder, subfolders, files in os.walk(sys.argv[1]):
    subfolders[:] = sorted(name for name in subfolders if name.lower() != "music")
    for name in sorted(files):
        if name.lower().endswith(".mp3"):
            path = os.path.join(folder, name)
            print(path, MP3(path).info.length)
"""


# ---- making the songs ------------------------------------------------------

def encode(signal_writer, work, seconds, lame_options, target):
    """Encodes `seconds` of the test signal with lame into target (made once)."""
    if os.path.exists(target):
        return target
    raw = os.path.join(work, "signal.raw")
    if not os.path.exists(raw):
        subprocess.run([signal_writer, str(SIGNAL_SECONDS), raw], check=True)
    source = raw
    if seconds != SIGNAL_SECONDS:  # longer or shorter: the 4-minute signal repeated or cut
        source = os.path.join(work, f"signal-{seconds}.raw")
        write_repeated(raw, source, seconds * 44100 * 4)
    partial = target + ".partial"
    subprocess.run(["lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed", "--little-endian",
                    "-m", "j"] + lame_options + [source, partial], check=True, stderr=subprocess.DEVNULL)
    os.replace(partial, target)
    if source != raw:
        os.remove(source)
    return target


def write_repeated(source, target, size):
    with open(source, "rb") as f:
        data = f.read()
    with open(target, "wb") as out:
        while size > 0:
            out.write(data[:size])
            size -= min(size, len(data))


def cbr_seconds_for(megabytes):
    return round(megabytes * 1e6 / BYTES_PER_SECOND_AT_160K)


def id3v2_tag(title, padding):
    """An ID3v2.3 tag holding one TIT2 frame (ISO-8859-1 text) and padding."""
    frame_data = b"\x00" + title.encode("latin-1")
    frame = b"TIT2" + struct.pack(">I", len(frame_data)) + b"\x00\x00" + frame_data
    size = len(frame) + padding
    synchsafe = bytes((size >> shift) & 0x7F for shift in (21, 14, 7, 0))
    return b"ID3\x03\x00\x00" + synchsafe + frame + bytes(padding)


def make_collection(folder, sources, songs):
    """songs songs, SONGS_PER_ARTIST to an artist, taking the sources in turn;
    returns the collection's bytes."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    bodies = []
    for path in sources:
        with open(path, "rb") as f:
            bodies.append(f.read())
    total = 0
    for song in range(songs):
        artist = os.path.join(folder, f"Artist {song // SONGS_PER_ARTIST + 1:04d}")
        if song % SONGS_PER_ARTIST == 0:
            os.makedirs(artist)
        title = f"Title {song + 1:05d}"
        # A tag of its own size: songs of a real collection are rarely of one size.
        data = id3v2_tag(f"{title} (tagged)", 256 + song) + bodies[song % len(bodies)]
        with open(os.path.join(artist, title + ".mp3"), "wb") as out:
            out.write(data)
        total += len(data)
    os.sync()
    return total


def make_album_collection(folder, source, songs, in_albums):
    """songs songs, ALBUMS_PER_ARTIST * SONGS_PER_ALBUM to an artist, in album
    folders or directly in the artist folder; the same names and bytes either way."""
    shutil.rmtree(folder, ignore_errors=True)
    with open(source, "rb") as f:
        body = f.read()
    per_artist = ALBUMS_PER_ARTIST * SONGS_PER_ALBUM
    for song in range(songs):
        parent = os.path.join(folder, f"Artist {song // per_artist + 1:03d}")
        if in_albums:
            parent = os.path.join(parent, f"Album {song % per_artist // SONGS_PER_ALBUM + 1:02d}")
        os.makedirs(parent, exist_ok=True)
        title = f"Title {song + 1:05d}"
        with open(os.path.join(parent, title + ".mp3"), "wb") as out:
            out.write(id3v2_tag(f"{title} (tagged)", 256 + 97 * (song % 11)) + body)
    os.sync()


# ---- running and timing ----------------------------------------------------

def run_once(command, cwd, output=None):
    """Runs command under /usr/bin/time; returns wall seconds, CPU seconds and
    peak RSS in KiB. Its standard output goes to the file `output` if named."""
    with tempfile.NamedTemporaryFile(mode="r") as report:
        out = open(output, "wb") if output else subprocess.DEVNULL
        try:
            start = time.perf_counter()
            child = subprocess.Popen([TIME, "-f", "%M", "-o", report.name] + command, cwd=cwd,
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(child.pid, 0)
            wall = time.perf_counter() - start
        finally:
            if output:
                out.close()
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"collection: {' '.join(command)} in {cwd} failed")
        return wall, usage.ru_utime + usage.ru_stime, int(report.read().split()[-1])


def files_under(folder):
    for parent, _, files in os.walk(folder):
        for name in files:
            yield os.path.join(parent, name)


def drop_cache(folder):
    """Drops the page cache of every file under folder (written back first)."""
    os.sync()
    for path in files_under(folder):
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW)
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def drop_every_cache(folder):
    """The page cache, the folder entries and the inodes of the whole machine
    (a walk of folders reads them), when allowed; else the songs' pages only."""
    if not os.access(DROP_CACHES, os.W_OK):
        drop_cache(folder)
        return
    os.sync()
    with open(DROP_CACHES, "w") as f:
        f.write("3\n")


class Case:
    """One command of an alternated measurement and what it needs first."""

    def __init__(self, label, command, cwd, before=None, after=None, warm_up=False):
        self.label, self.command, self.cwd = label, command, cwd
        self.before, self.after, self.warm_up = before, after, warm_up
        self.walls, self.cpus, self.rss = [], [], []

    def run(self, record=True):
        if self.before:
            self.before()
        os.sync()  # no write-back of an earlier run's files during this one
        wall, cpu, rss = run_once(self.command, self.cwd)
        if self.after:
            self.after()
        if record:
            self.walls.append(wall)
            self.cpus.append(cpu)
            self.rss.append(rss)

    def result(self):
        return {"wall": statistics.median(self.walls), "cpu": statistics.median(self.cpus),
                "rss_kib": max(self.rss), "runs": len(self.walls)}


def alternate(cases, runs):
    for case in cases:
        if case.warm_up:
            case.run(record=False)
    for _ in range(runs):
        for case in cases:
            case.run()
    return [case.result() for case in cases]


def load_average():
    return " ".join(f"{value:.1f}" for value in os.getloadavg())


def records_in(folder):
    with open(os.path.join(folder, "songlist.ini"), "rb") as listing:
        return listing.read().count(b"\n")


# ---- the parts of a run ----------------------------------------------------

class Bench:
    def __init__(self, args):
        self.args = args
        self.sorvil = args.sorvil
        self.listing = [args.mutagen_python, "-c", MUTAGEN_LISTING]

    def say(self, text):
        print(text, flush=True)

    def song_sources(self):
        a = self.args
        cbr = encode(a.signal_writer, a.work, SIGNAL_SECONDS, ["-b", "160"],
                     os.path.join(a.sources, "cbr160.mp3"))  # lame writes an Info frame on CBR
        vbr = encode(a.signal_writer, a.work, SIGNAL_SECONDS, ["-V", "2"],
                     os.path.join(a.sources, "vbr-v2.mp3"))  # and a Xing frame on VBR
        return [cbr, vbr]

    def cbr_song(self, megabytes):
        a = self.args
        return encode(a.signal_writer, a.work, cbr_seconds_for(megabytes), ["-b", "160"],
                      os.path.join(a.sources, f"cbr160-{megabytes}MB.mp3"))

    def clear_outputs(self, folder):
        shutil.rmtree(os.path.join(folder, "music"), ignore_errors=True)
        for name in ("songlist.ini",):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))

    def nocopy_against_mutagen(self, folder, runs, warm=True):
        """nocopy and the mutagen listing, cold then (unless not wanted) warm."""
        cold = alternate([Case("nocopy", [self.sorvil, "nocopy"], folder, before=lambda: drop_cache(folder)),
                          Case("mutagen", self.listing + [folder], folder, before=lambda: drop_cache(folder))],
                         runs)
        if not warm:
            return cold, None
        warm = alternate([Case("nocopy", [self.sorvil, "nocopy"], folder, warm_up=True),
                          Case("mutagen", self.listing + [folder], folder, warm_up=True)], runs)
        return cold, warm

    def main_collection(self):
        a = self.args
        folder = os.path.join(a.work, "collection")
        self.say(f"== making {a.songs} songs in {a.songs // SONGS_PER_ARTIST} artist folders")
        size = make_collection(folder, self.song_sources(), a.songs)
        self.say(f"   {size / 1e9:.2f} GB; load {load_average()}")
        rows = []

        self.say("== sorvil nocopy against the mutagen listing, cold and warm")
        cold, warm = self.nocopy_against_mutagen(folder, a.runs)
        if records_in(folder) != a.songs:
            sys.exit(f"collection: sorvil nocopy listed {records_in(folder)} songs instead of {a.songs}")
        rows.append(("`sorvil nocopy`, cold cache", cold[0], "mutagen listing, one process", cold[1], "≤ 0.75"))
        rows.append(("`sorvil nocopy`, warm cache", warm[0], "mutagen listing, one process", warm[1], "≤ 0.5"))
        self.say(f"   cold {cold}\n   warm {warm}")

        self.say("== sorvil (copy) against cp -r, both until sync returns, cold")
        target = os.path.join(a.work, "cp-target")

        def before_copy():
            self.clear_outputs(folder)
            shutil.rmtree(target, ignore_errors=True)
            drop_cache(folder)

        copy = alternate([Case("copy", ["sh", "-c", '"$0" && sync', self.sorvil], folder, before=before_copy),
                          Case("cp -r", ["sh", "-c", 'cp -r "$0" "$1" && sync', folder, target], a.work,
                               before=before_copy)], a.runs)
        shutil.rmtree(target, ignore_errors=True)
        rows.append(("`sorvil; sync` (copy), cold cache", copy[0], "`cp -r` of the collection; `sync`", copy[1],
                     "≤ 1.0"))
        self.say(f"   {copy}")

        self.say("== copy-mode re-runs after changes against sorvil nocopy, cold")
        rows += self.reruns_against_nocopy(folder)

        syscalls = self.strace_counts(folder) if a.strace else None
        self.clear_outputs(folder)
        shutil.rmtree(folder)
        return size, rows, syscalls

    def reruns_against_nocopy(self, folder):
        """Copy-mode re-runs after a first copy run, each after one change that the case makes before it and
        takes back after it (with an untimed run that puts the copies back), against nocopy. A copy written
        anew is a file of a new inode and birth time; a moved one keeps both."""
        a = self.args
        self.clear_outputs(folder)
        first_console = os.path.join(a.work, "first-console.txt")
        run_once([self.sorvil], folder, output=first_console)
        with open(os.path.join(folder, "songlist.ini"), "rb") as f:
            first_list = f.read()
        artists = sorted(name for name in os.listdir(folder) if name.startswith("Artist "))
        middle, aside = artists[len(artists) // 2], os.path.join(a.work, "aside")
        new_artist = os.path.join(folder, "0 New Artist")

        def add_first():
            os.makedirs(new_artist)
            shutil.copy(files_in(os.path.join(folder, artists[0]))[0], os.path.join(new_artist, "New.mp3"))

        changes = [
            ("nothing changed", lambda: None, lambda: None, 0),
            ("a new first artist of one song", add_first, lambda: shutil.rmtree(new_artist), 1),
            ("an artist of 10 songs removed from the middle", lambda: os.rename(os.path.join(folder, middle), aside),
             lambda: os.rename(aside, os.path.join(folder, middle)), 0),
            ("an artist folder renamed", lambda: os.rename(os.path.join(folder, middle), os.path.join(folder, "Z")),
             lambda: os.rename(os.path.join(folder, "Z"), os.path.join(folder, middle)), 0),
        ]
        written, cases = {}, [Case("nocopy", [self.sorvil, "nocopy"], folder, before=lambda: drop_cache(folder))]
        for label, change, undo, expected in changes:
            births = {}

            def before(change=change, births=births):
                births["old"] = copy_births(folder)
                change()
                drop_cache(folder)

            def after(label=label, undo=undo, births=births):
                written.setdefault(label, []).append(len(copy_births(folder) - births["old"]))
                extra = set(os.listdir(os.path.join(folder, "music"))) - listed_copies(folder) - {".sorvil-copies"}
                if extra:
                    sys.exit(f"collection: after '{label}', music/ holds copies the list does not name: {extra}")
                undo()
                run_once([self.sorvil], folder)  # puts the copies back as they were

            cases.append(Case(label, [self.sorvil], folder, before=before, after=after))
        results = alternate(cases, a.runs)
        console = os.path.join(a.work, "rerun-console.txt")
        run_once([self.sorvil], folder, output=console)
        with open(os.path.join(folder, "songlist.ini"), "rb") as f:
            same = songs_lines(console) == songs_lines(first_console) and f.read() == first_list
        rows = []
        for (label, _, _, expected), result in zip(changes, results[1:]):
            counts = written[label]
            rows.append((f"`sorvil` re-run, cold cache, {label}: {max(counts)} copies written (new or changed "
                         f"songs: {expected})", result, "`sorvil nocopy`, cold cache", results[0], "≤ 1.5"))
            self.say(f"   {label}: {result}, written {counts}")
        self.say(f"   nocopy {results[0]}; the last re-run's console and list the same as the first run's: {same}")
        return rows

    def card(self):
        """The whole collection on a FAT32 image mounted through fusefat: re-runs against nocopy over the same
        card, each after the card was unmounted and mounted again (so its inode numbers are new and its cache
        cold) and the page cache dropped. Copies written are counted apart, untimed, from the temporary files
        a traced re-run creates."""
        a = self.args
        image, card = os.path.join(a.work, "card.img"), os.path.join(a.work, "card")
        folder = os.path.join(card, "collection")
        os.makedirs(card, exist_ok=True)
        subprocess.run(["truncate", "-s", f"{a.card_songs * 12 + 200}M", image], check=True)
        cluster = ["-s", str(a.card_cluster_kib * 2)] if a.card_cluster_kib else []  # in 512-byte sectors
        subprocess.run(["mkfs.vfat", "-F", "32"] + cluster + [image], check=True, stdout=subprocess.DEVNULL)
        mount = ["fusefat", "-o", "rw+", image, card]

        def remount(unmount=True):
            if unmount:
                subprocess.run(["fusermount", "-u", card], check=True)
            subprocess.run(mount, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            drop_every_cache(card)

        remount(unmount=False)
        try:
            self.say(f"== the card: {a.card_songs} songs on FAT32 through fusefat")
            size = make_collection(folder, self.song_sources(), a.card_songs)
            self.say(f"   {size / 1e9:.2f} GB; first copy run")
            first = run_once([self.sorvil], folder, output=os.path.join(a.work, "card-first.txt"))
            self.say(f"   first copy {first[0]:.1f} s")
            new_artist = os.path.join(folder, "0 New Artist")
            source = files_in(os.path.join(folder, "Artist 0001"))[0]

            def add_first():
                os.makedirs(new_artist)
                shutil.copyfile(source, os.path.join(new_artist, "New.mp3"))  # fusefat keeps no modes
                remount()

            def take_back():
                shutil.rmtree(new_artist)
                run_once([self.sorvil], folder)  # puts the copies back as they were

            changes = [("nothing changed", remount, lambda: None, 0),
                       ("a new first artist of one song", add_first, take_back, 1)]
            written = {}
            for label, change, undo, _ in changes:
                change()
                log = os.path.join(a.work, "card-calls")
                subprocess.run(["strace", "-f", "-qq", "-e", "trace=openat", "-o", log, self.sorvil], cwd=folder,
                               check=True, stdout=subprocess.DEVNULL)
                with open(log) as calls:
                    written[label] = sum(".mp3.partial\", O_WRONLY|O_CREAT" in line for line in calls)
                undo()
            cases = [Case("nocopy", [self.sorvil, "nocopy"], folder, before=remount)]
            cases += [Case(label, [self.sorvil], folder, before=change, after=undo) for label, change, undo, _ in changes]
            results = alternate(cases, a.runs)
        finally:
            subprocess.run(["fusermount", "-u", card])
            os.remove(image)
        rows = []
        for (label, _, _, expected), result in zip(changes, results[1:]):
            rows.append((f"`sorvil` re-run on the FAT32 card, {label}: {written[label]} copies written (new or "
                         f"changed songs: {expected})", result, "`sorvil nocopy` on the card", results[0], "≤ 1.5"))
            self.say(f"   {label}: {result}, written {written[label]}")
        self.say(f"   nocopy {results[0]}; first copy {first[0]:.1f} s")
        return size, rows

    def strace_counts(self, folder):
        """System calls of one warm nocopy run under strace -c -f."""
        if not shutil.which("strace"):
            self.say("== strace is not installed: no system call counts")
            return None
        self.say("== strace -c -f of one sorvil nocopy run (warm)")
        report = os.path.join(self.args.work, "strace.txt")
        subprocess.run(["strace", "-c", "-f", "-o", report, self.sorvil, "nocopy"], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        counts = {}
        with open(report) as f:
            for line in f:
                fields = line.split()
                # % time, seconds, usecs/call, calls, [errors,] syscall
                if len(fields) >= 5 and fields[0][0].isdigit() and fields[-1] != "total":
                    counts[fields[-1]] = int(fields[3])
        return counts

    def growth(self):
        """nocopy (and the mutagen listing) per song: by song size, by song count."""
        a = self.args
        rows = []
        for megabytes in a.sizes:
            rows.append(self.growth_row(a.size_songs, megabytes, "separate encodes"))
        for songs in a.counts:
            rows.append(self.growth_row(songs, a.count_megabytes, "every song its own file, no links"))
        return rows

    def growth_row(self, songs, megabytes, note):
        a = self.args
        folder = os.path.join(a.work, "growth")
        source = self.cbr_song(megabytes)
        self.say(f"== {songs} songs of {megabytes} MB (CBR 160 kbit/s)")
        size = make_collection(folder, [source], songs)
        cold, warm = self.nocopy_against_mutagen(folder, a.growth_runs, a.growth_warm)
        if records_in(folder) != songs:
            sys.exit(f"collection: sorvil nocopy listed {records_in(folder)} songs instead of {songs}")
        shutil.rmtree(folder)
        self.say(f"   cold {cold}\n   warm {warm}")
        return songs, size, os.path.getsize(source), cold, warm, note


    def albums(self):
        """sorvil nocopy over songs in album folders against the same songs
        directly in the artist folders, cold and warm."""
        a = self.args
        source = self.cbr_song(a.album_megabytes)
        flat, nested = os.path.join(a.work, "flat"), os.path.join(a.work, "albums")
        self.say(f"== {a.songs} songs of {a.album_megabytes} MB, flat and in albums of {SONGS_PER_ALBUM}")
        make_album_collection(flat, source, a.songs, False)
        make_album_collection(nested, source, a.songs, True)
        cold = alternate([Case("flat", [self.sorvil, "nocopy"], flat, before=lambda: drop_every_cache(flat)),
                          Case("albums", [self.sorvil, "nocopy"], nested, before=lambda: drop_every_cache(nested))],
                         a.album_runs)
        warm = alternate([Case("flat", [self.sorvil, "nocopy"], flat, warm_up=True),
                          Case("albums", [self.sorvil, "nocopy"], nested, warm_up=True)], a.album_runs)
        for folder in (flat, nested):
            if records_in(folder) != a.songs:
                sys.exit(f"collection: sorvil nocopy listed {records_in(folder)} songs in {folder}")
            shutil.rmtree(folder)
        self.say(f"   cold {cold}\n   warm {warm}")
        return os.path.getsize(source), cold, warm


def files_in(folder):
    return sorted(os.path.join(folder, name) for name in os.listdir(folder))


def copy_births(folder):
    """(inode, birth time) of every copy in folder/music: a mark that a rename keeps and a new file lacks, and
    that, unlike an extended attribute, does not change the copy's change time."""
    music = os.path.join(folder, "music")
    copies = [os.path.join(music, name) for name in os.listdir(music) if name.startswith("song")]
    if not copies:
        return set()
    out = subprocess.run(["stat", "--printf", "%i %w\\n"] + copies, capture_output=True, text=True, check=True)
    return set(out.stdout.splitlines())


def listed_copies(folder):
    with open(os.path.join(folder, "songlist.ini"), "rb") as f:
        return {line.split(b"|")[2].decode() for line in f.read().splitlines()}


def songs_lines(console_file):
    with open(console_file, "rb") as f:
        return [line for line in f.read().splitlines() if not line.startswith(b"MUSIC directory")]


# ---- the report ------------------------------------------------------------

def seconds(value):
    return f"{value:.2f} s" if value >= 1 else f"{value * 1000:.0f} ms"


def per_song(value, songs):
    micro = value / songs * 1e6
    return f"{micro:.0f} µs" if micro < 1000 else f"{micro / 1000:.1f} ms"


def album_report(args, albums):
    song_bytes, cold, warm = albums
    cache = "page cache, folder entries and inodes dropped (drop_caches 3)" if os.access(DROP_CACHES, os.W_OK) \
        else "the songs' page cache dropped"
    lines = [f"{args.songs} songs of {song_bytes / 1e6:.2f} MB in {args.songs // (ALBUMS_PER_ARTIST * SONGS_PER_ALBUM)} "
             f"artist folders: {ALBUMS_PER_ARTIST} albums of {SONGS_PER_ALBUM} songs each, against the same songs "
             f"directly in the artist folders; `sorvil nocopy`, medians of {args.album_runs} alternated runs; "
             f"cold = {cache}:", "",
             "| Run | flat: wall (CPU) | in albums: wall (CPU) | Ratio (wall) | Goal |", "|---|---|---|---|---|"]
    for label, (flat, nested) in (("cold", cold), ("warm", warm)):
        lines.append(f"| {label} | {seconds(flat['wall'])} ({seconds(flat['cpu'])}) | {seconds(nested['wall'])} "
                     f"({seconds(nested['cpu'])}) | {nested['wall'] / flat['wall']:.2f}x | ≤ 1.1x |")
    return lines + [""]


def result_table(rows):
    lines = ["| Run | sorvil: wall (CPU), peak memory | Against | that: wall (CPU), peak memory | Ratio (wall) "
             "| Goal |", "|---|---|---|---|---|---|"]
    for label, ours, against, theirs, goal in rows:
        lines.append(f"| {label} | {seconds(ours['wall'])} ({seconds(ours['cpu'])}), "
                     f"{ours['rss_kib'] / 1024:.1f} MiB | {against} | {seconds(theirs['wall'])} "
                     f"({seconds(theirs['cpu'])}), {theirs['rss_kib'] / 1024:.1f} MiB "
                     f"| {ours['wall'] / theirs['wall']:.2f}x | {goal}x |")
    return lines + [""]


def report(args, start_load, main, growth, albums=None, card=None):
    now = datetime.now(timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    fs = subprocess.run(["df", "--output=fstype", args.work], capture_output=True, text=True).stdout.split()[-1]
    lines = [
        f"Machine: {cpu_model()}, nproc {len(os.sched_getaffinity(0))}, {memory:.0f} GiB RAM, "
        f"{platform.system()} {platform.release()}, collection on {fs}; sorvil {args.revision}; {now}. "
        f"Load average at the start {start_load}, at the end {load_average()} (other work ran beside: wall "
        f"times are noisy). Medians of {args.runs} alternated runs ({args.growth_runs} for the growth runs); "
        f"cold = page cache of every song and copy dropped with posix_fadvise(POSIX_FADV_DONTNEED) after a "
        f"sync; peak memory = max RSS from /usr/bin/time.",
        ""]
    if main:
        size, rows, syscalls = main
        lines += [
            f"{args.songs} songs in {args.songs // SONGS_PER_ARTIST} artist folders, {size / 1e9:.2f} GB "
            f"(4-minute lame encodes, CBR 160 kbit/s with an Info frame and VBR -V 2 with a Xing frame, "
            f"each behind its own ID3v2.3 title):",
            ""] + result_table(rows)
        if syscalls:
            total = sum(syscalls.values())
            top = sorted(syscalls.items(), key=lambda item: -item[1])[:8]
            lines += [f"`strace -c -f` of one warm `sorvil nocopy` run over the {args.songs} songs: "
                      f"{total:,} system calls, {total / args.songs:,.1f} a song.", "",
                      "| System call | Calls | A song |", "|---|---|---|"]
            lines += [f"| `{name}` | {calls:,} | {calls / args.songs:,.1f} |" for name, calls in top]
            lines.append("")
    if card:
        size, rows = card
        clusters = f"{args.card_cluster_kib} KiB clusters" if args.card_cluster_kib else "mkfs.vfat's clusters"
        lines += [f"The card: {args.card_songs} songs, {size / 1e9:.2f} GB, on a FAT32 image ({clusters}) mounted "
                  f"through fusefat, unmounted and mounted again and the page cache dropped before each run:", ""]
        lines += result_table(rows)
    if growth:
        lines += ["How the cost grows (`sorvil nocopy` and the mutagen listing, time a song; CBR 160 kbit/s "
                  "songs, each behind its own ID3v2.3 title, 10 to an artist folder):", "",
                  "| Songs | Song size | Collection | nocopy cold | nocopy warm | mutagen cold | mutagen warm "
                  "| nocopy peak memory | Songs made as |",
                  "|---|---|---|---|---|---|---|---|---|"]
        for songs, size, song_bytes, cold, warm, note in growth:
            lines.append(f"| {songs:,} | {song_bytes / 1e6:.1f} MB | {size / 1e9:.2f} GB "
                         f"| {per_song(cold[0]['wall'], songs)} | {per_song(warm[0]['wall'], songs) if warm else '-'} "
                         f"| {per_song(cold[1]['wall'], songs)} | {per_song(warm[1]['wall'], songs) if warm else '-'} "
                         f"| {cold[0]['rss_kib'] / 1024:.1f} MiB | {note} |")
        lines.append("")
    if albums:
        lines += album_report(args, albums)
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sorvil", required=True)
    parser.add_argument("--signal-writer", required=True, help="bench_write_signal")
    parser.add_argument("--mutagen-python", required=True, help="a python3 that imports mutagen")
    parser.add_argument("--work", required=True, help="scratch folder")
    parser.add_argument("--sources", required=True, help="folder that keeps the encoded songs between runs")
    parser.add_argument("--revision", default="unknown")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--songs", type=int, default=1000)
    parser.add_argument("--parts", default="main,growth", help="main, growth, albums, card, comma-separated")
    parser.add_argument("--card-songs", type=int, default=200, help="songs of the card part (about 5 MB each)")
    parser.add_argument("--card-cluster-kib", type=int, default=0,
                        help="the card's cluster size (default: mkfs.vfat's choice, 4 KiB for 200 songs)")
    parser.add_argument("--no-strace", dest="strace", action="store_false")
    parser.add_argument("--growth-runs", type=int, default=3)
    parser.add_argument("--no-growth-warm", dest="growth_warm", action="store_false",
                        help="growth runs with a cold cache only (half the time)")
    parser.add_argument("--size-songs", type=int, default=100)
    parser.add_argument("--sizes", type=float, nargs="*", default=[1, 5, 50], help="song sizes in MB")
    parser.add_argument("--counts", type=int, nargs="*", default=[1000, 10000], help="song counts")
    parser.add_argument("--count-megabytes", type=float, default=1)
    parser.add_argument("--album-megabytes", type=float, default=0.3, help="song size of the albums part")
    parser.add_argument("--album-runs", type=int, default=7)
    parser.add_argument("--report", help="also write the markdown report to this file")
    args = parser.parse_args()
    args.sizes = [int(size) if size == int(size) else size for size in args.sizes]
    args.count_megabytes = int(args.count_megabytes) if args.count_megabytes == int(args.count_megabytes) \
        else args.count_megabytes

    os.makedirs(args.sources, exist_ok=True)
    bench = Bench(args)
    start_load = load_average()
    parts = args.parts.split(",")
    main_figures = bench.main_collection() if "main" in parts else None
    growth = bench.growth() if "growth" in parts else None
    albums = bench.albums() if "albums" in parts else None
    card = bench.card() if "card" in parts else None
    text = report(args, start_load, main_figures, growth, albums, card)
    print()
    print(text)
    if args.report:
        with open(args.report, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
