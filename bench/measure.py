#!/usr/bin/env python3
"""Times the decoder and the sorvil tool against reference programs; run by
bench/run.sh, which builds everything first and names the inputs.

Every program is run as a child process, all of them the same way: wall time
from the clock, CPU time (user + system) from wait4(), each the median of
--runs runs after one unmeasured run that warms the page cache. A decoder and
ffmpeg decoding the same file run alternately, so that a change in the
machine's load falls on both. Peak memory (max RSS) comes from one more run
under /usr/bin/time, a small parent, since a child's max RSS includes what its
parent held before the exec. CPU time is the figure to compare: on a machine
busy with other work the wall time is noisy.
"""
import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timezone

SONGS = 500
ARTISTS = 20
TIME = "/usr/bin/time"


def run_once(command, cwd=None):
    """Runs command; returns (wall seconds, CPU seconds)."""
    start = time.perf_counter()
    child = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"measure: {' '.join(command)} failed")
    return wall, usage.ru_utime + usage.ru_stime


def peak_rss_kib(command, cwd=None):
    with tempfile.NamedTemporaryFile(mode="r") as report:
        subprocess.run([TIME, "-f", "%M", "-o", report.name] + command, cwd=cwd, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(report.read().split()[-1])


def measure(command, runs, before=None, cwd=None):
    """Median wall time and median CPU time over runs, and the peak RSS."""
    def prepare():
        if before:
            before()
        os.sync()  # no write-back of an earlier run's files during this one

    prepare()
    run_once(command, cwd)  # warm-up
    walls, cpus = [], []
    for _ in range(runs):
        prepare()
        wall, cpu = run_once(command, cwd)
        walls.append(wall)
        cpus.append(cpu)
    prepare()
    return {"wall": statistics.median(walls), "cpu": statistics.median(cpus), "rss_kib": peak_rss_kib(command, cwd)}


def measure_alternately(commands, runs):
    """measure() for several commands at once, their runs taken in turn."""
    walls = [[] for _ in commands]
    cpus = [[] for _ in commands]
    for command in commands:
        os.sync()
        run_once(command)  # warm-up
    for _ in range(runs):
        for i, command in enumerate(commands):
            os.sync()
            wall, cpu = run_once(command)
            walls[i].append(wall)
            cpus[i].append(cpu)
    os.sync()
    return [{"wall": statistics.median(walls[i]), "cpu": statistics.median(cpus[i]), "rss_kib": peak_rss_kib(command)}
            for i, command in enumerate(commands)]


def audio_seconds(pcm_path, channels=2, rate=44100):
    """The length of raw 16-bit PCM in seconds."""
    return os.path.getsize(pcm_path) / (2 * channels * rate)


def in_process_speed(bench_program, name):
    """Times real time of one Google Benchmark in the program (no process start,
    no file I/O): its CPU-time counter when it has one, else its wall-time one."""
    result = subprocess.run([bench_program, f"--benchmark_filter=^{name}/", "--benchmark_format=json"],
                            capture_output=True, text=True)
    if result.returncode != 0:
        return None
    for entry in json.loads(result.stdout)["benchmarks"]:
        for counter in ("x_realtime_cpu", "x_realtime"):
            if counter in entry:
                return entry[counter]
    return None


def make_collection(folder, sources):
    """ARTISTS artist folders holding SONGS songs in all, copies of real encoded files."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for song in range(SONGS):
        artist = os.path.join(folder, f"Artist {song % ARTISTS + 1:02d}")
        os.makedirs(artist, exist_ok=True)
        shutil.copyfile(sources[song % len(sources)], os.path.join(artist, f"Song {song // ARTISTS + 1:02d}.mp3"))
    return sum(os.path.getsize(os.path.join(d, f)) for d, _, files in os.walk(folder) for f in files)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True, help="scratch folder for the collection and copies")
    parser.add_argument("--layer2", required=True)
    parser.add_argument("--layer3", required=True)
    parser.add_argument("--layer3-vbr", required=True)
    parser.add_argument("--songs", nargs="+", required=True, help="encoded songs to copy into the collection")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    decode_tool = os.path.join(args.build, "tools", "sorvil-decode")
    sorvil = os.path.join(args.build, "sorvil")
    ffmpeg = shutil.which("ffmpeg")
    rows = []

    print("== whole-process decode of 4-minute files to raw PCM files, alternating with ffmpeg", flush=True)
    ours_out = os.path.join(args.work, "sorvil-decode.pcm")
    theirs_out = os.path.join(args.work, "ffmpeg.pcm")
    for label, short, path, bench_program, bench_name in (
            ("Layer II, 44.1 kHz stereo 192 kbit/s", "Layer II", args.layer2, "bench_decode_layer2",
             "DecodeInProcess"),
            ("Layer III, 44.1 kHz joint stereo 128 kbit/s", "Layer III 128k", args.layer3, "bench_decode_layer3",
             "BM_DecodeFile"),
            ("Layer III, 44.1 kHz joint stereo VBR (lame -V 2)", "Layer III VBR", args.layer3_vbr,
             "bench_decode_layer3", "BM_DecodeVbrFile")):
        ours_command = [decode_tool, path, ours_out]
        commands = [ours_command]
        if ffmpeg:
            commands.append([ffmpeg, "-nostdin", "-v", "error", "-threads", "1", "-i", path,
                             "-f", "s16le", "-y", theirs_out])
        results = measure_alternately(commands, args.runs)
        ours = results[0]
        theirs = results[1] if ffmpeg else None
        seconds = audio_seconds(ours_out)
        inside = in_process_speed(os.path.join(args.build, "bench", bench_program), bench_name)
        input_mib = os.path.getsize(path) / 2**20
        rows.append(("decode", label, seconds, ours, theirs, (short, inside, input_mib)))
        print(f"  {label}: {seconds:.0f} s of audio; sorvil-decode {ours}; ffmpeg {theirs}; in process {inside}",
              flush=True)
        for out in (ours_out, theirs_out):
            if os.path.exists(out):
                os.remove(out)

    print(f"== {SONGS} songs by {ARTISTS} artists", flush=True)
    collection = os.path.join(args.work, "collection")
    total_bytes = make_collection(collection, args.songs)

    def clear_outputs():
        shutil.rmtree(os.path.join(collection, "music"), ignore_errors=True)
        listing = os.path.join(collection, "songlist.ini")
        if os.path.exists(listing):
            os.remove(listing)

    copy_target = os.path.join(args.work, "copy")
    clear_outputs()
    cp = measure(["cp", "-r", collection, copy_target], args.runs,
                 before=lambda: shutil.rmtree(copy_target, ignore_errors=True))
    shutil.rmtree(copy_target, ignore_errors=True)
    print(f"  cp -r: {cp}", flush=True)
    for mode, command in (("copy", [sorvil]), ("nocopy", [sorvil, "nocopy"])):
        result = measure(command, args.runs, before=clear_outputs, cwd=collection)
        subprocess.run(command, cwd=collection, check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(collection, "songlist.ini"), "rb") as listing:
            records = listing.read().count(b"\n")
        if records != SONGS:
            sys.exit(f"measure: sorvil {mode} wrote {records} records instead of {SONGS}")
        clear_outputs()
        rows.append(("collection", mode, total_bytes, result, cp, None))
        print(f"  sorvil {mode}: {result}", flush=True)

    print_table(rows)


def print_table(rows):
    now = datetime.now(timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    print()
    print(f"Machine: {cpu_model()}, nproc {len(os.sched_getaffinity(0))}, {platform.system()} {platform.release()}; "
          f"{now}. Medians; CPU = user + system time; x = times real time.")
    print()
    print("| Measure | Sorvil | Reference | Sorvil against reference |")
    print("|---|---|---|---|")
    memory = []
    harness = []
    for kind, label, size, ours, theirs, extra in rows:
        if kind == "decode":
            short, inside, input_mib = extra
            ours_text = f"{ours['cpu'] * 1000:.0f} ms CPU ({size / ours['cpu']:.0f}x), {ours['wall'] * 1000:.0f} ms wall"
            if theirs:
                ref_text = (f"ffmpeg -threads 1: {theirs['cpu'] * 1000:.0f} ms CPU ({size / theirs['cpu']:.0f}x), "
                            f"{theirs['wall'] * 1000:.0f} ms wall")
                ratio = (f"{ours['cpu'] / theirs['cpu']:.2f} of the CPU time "
                         f"({theirs['cpu'] / ours['cpu']:.2f}x as fast); wall {ours['wall'] / theirs['wall']:.2f}")
            else:
                ref_text, ratio = "ffmpeg not installed", "-"
            print(f"| {label}, 4 min, `sorvil-decode IN OUT` (whole process) | {ours_text} | {ref_text} | {ratio} |")
            memory.append((f"{short} decode (input {input_mib:.1f} MiB)", ours, "ffmpeg", theirs))
            if inside:
                harness.append((label, inside))
        else:
            command = "sorvil" if label == "copy" else "sorvil nocopy"
            ours_text = f"{ours['wall'] * 1000:.0f} ms wall, {ours['cpu'] * 1000:.0f} ms CPU"
            ref_text = f"cp -r: {theirs['wall'] * 1000:.0f} ms wall, {theirs['cpu'] * 1000:.0f} ms CPU"
            ratio = f"{ours['wall'] / theirs['wall']:.2f}x the time (wall)"
            print(f"| `{command}` over {SONGS} songs, {ARTISTS} artists ({size / 1e6:.1f} MB) "
                  f"| {ours_text} | {ref_text} | {ratio} |")
            memory.append((f"`{command}`, {SONGS} songs", ours, "cp -r", theirs))
    for label, ours, reference, theirs in memory:
        ref_text = f"{reference}: {theirs['rss_kib'] / 1024:.1f} MiB" if theirs else "-"
        print(f"| Peak memory (max RSS), {label} | {ours['rss_kib'] / 1024:.1f} MiB | {ref_text} | |")
    for label, inside in harness:
        print(f"| {label}: decoder alone, in-process harness (no process start, no file output) "
              f"| {inside:.0f}x CPU | | |")


if __name__ == "__main__":
    main()
