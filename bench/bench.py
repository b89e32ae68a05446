#!/usr/bin/env python3
"""Measures the backend's jobs against the bare FFmpeg commands they run, and the backend itself.

Everything runs on media made here with FFmpeg in a scratch folder. The jobs run over the
protocol, with ffmpeg and ffprobe behind wrappers that log every start (one record per child
process, its argument vector included). The bare command of a cut is its logged final encode,
replayed alone; that of the MP4 master is one encode, with the master's settings, of a recording
as long as the spans of its clips together.
"""

import argparse
import json
import os
import platform
import queue
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

FPS = 30
FRAME = "1080x1920"
ARG_SEP = "\x1f"
CALL_SEP = "\x1e"


STARTED = time.monotonic()

# The bench's words have gaps of 0.12 to 0.35 s between them: from 0.2 s on they count as pauses.
JUMP_CUTS_AND_LOUDNESS = {"cut_pauses": True, "pause_min": 0.2, "pause_keep": 0.05,
                          "loudness_target": -14.0}


def log(message):
    print(f"[{time.monotonic() - STARTED:5.0f} s] {message}", file=sys.stderr, flush=True)


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-nostdin", *args], check=True)


# --- media ---------------------------------------------------------------------------------------


def balanced_sum(terms):
    """FFmpeg's expressions nest only so deep: a balanced sum instead of one long chain."""
    if len(terms) <= 8:
        return "+".join(terms)
    half = len(terms) // 2
    return f"({balanced_sum(terms[:half])})+({balanced_sum(terms[half:])})"


def say_words(terms, rng, start, end):
    """Short words with small gaps (below the 0.5 s a pause needs) from `start` to about `end`;
    returns where the words stop."""
    t = start
    while t < end - 0.5:
        word = min(rng.uniform(0.4, 2.2), end - t)
        terms.append(f"between(t,{t:.3f},{t + word:.3f})")
        t += word + rng.uniform(0.12, 0.35)
    return t


def speech_envelope(length, seed):
    """A level of 1 in words, 0 in pauses: a leading silence, a false start, a pause, the last
    take of short words, a silent end. At 60 s the silences last 1.0, 1.6 and 1.5 s; a longer
    recording stretches the parts alike, so the take to encode grows with the recording."""
    rng = random.Random(seed)
    terms = []
    scale = length / 60.0
    t = say_words(terms, rng, 1.0 * scale, 7.0 * scale)
    say_words(terms, rng, t + 1.6 * scale, length - 1.5 * scale)
    return balanced_sum(terms)


def bursts_envelope(length, seed, burst=7.0, pause=3.0):
    """Takes of `burst` seconds of words, each followed by a pause of `pause` seconds: the last
    take is as short as the others."""
    rng = random.Random(seed)
    terms = []
    for start in range(0, int(length), int(burst + pause)):
        say_words(terms, rng, start, start + burst)
    return balanced_sum(terms)


def make_recording(path, length, envelope=speech_envelope):
    """A portrait H.264 High recording at 30 fps whose sound is voice-like noise in bursts, with a
    noise floor 54 dB down in the pauses."""
    level = f"0.002+0.998*(0.65+0.35*sin(25*t))*({envelope(length, 7)})"
    sound = (
        f"anoisesrc=color=pink:amplitude=0.5:sample_rate=48000:duration={length},lowpass=f=2500[n];"
        f"sine=frequency=140:sample_rate=48000:duration={length}[s];"
        f"[n][s]amix=inputs=2,volume='{level}':eval=frame[a]"
    )
    ffmpeg("-f", "lavfi", "-i", f"testsrc2=size={FRAME}:rate={FPS}:duration={length}",
           "-filter_complex", sound, "-map", "0:v", "-map", "[a]", "-c:v", "libx264",
           "-preset", "veryfast", "-profile:v", "high", "-pix_fmt", "yuv420p", "-g", "60",
           "-c:a", "aac", "-b:a", "128k", path)


def make_cut_clip(path, length):
    """A clip as the cut writes it: portrait H.264/AAC with handle tags for its content."""
    ffmpeg("-f", "lavfi", "-i", f"testsrc2=size={FRAME}:rate={FPS}:duration={length}",
           "-f", "lavfi", "-i", f"sine=frequency=220:sample_rate=48000:duration={length}",
           "-c:v", "libx264", "-preset", "veryfast", "-profile:v", "high", "-pix_fmt", "yuv420p",
           "-c:a", "aac", "-b:a", "192k", "-metadata", "TAVELMOR_C_IN=0.0",
           "-metadata", f"TAVELMOR_C_OUT={length - 0.1:.1f}",
           "-movflags", "+faststart+use_metadata_tags", path)


def copies(source, folder, count):
    os.makedirs(folder, exist_ok=True)
    paths = []
    for i in range(count):
        path = os.path.join(folder, f"clip_{i:04d}_cut.mp4")
        shutil.copyfile(source, path)
        paths.append(path)
    return paths


# --- child-process log ---------------------------------------------------------------------------


class Call:
    """One child process the backend started: its argument vector and how long it ran."""

    def __init__(self, record):
        start, end, *self.args = record.rstrip(ARG_SEP).split(ARG_SEP)
        self.seconds = (int(end) - int(start)) / 1e9


class ToolLog:
    """A folder of ffmpeg and ffprobe wrappers, put first on the backend's search path: each runs
    the real program and then logs its argument vector with its start and end."""

    def __init__(self, folder):
        self.folder = folder
        self.file = os.path.join(folder, "calls.log")
        os.makedirs(folder, exist_ok=True)
        for tool in ("ffmpeg", "ffprobe"):
            real = shutil.which(tool)
            script = os.path.join(folder, tool)
            # The record goes to the log in one write: children that end together (the probes
            # of an export) must not mix their records.
            with open(script, "w") as out:
                out.write("#!/bin/sh\n"
                          "start=$(date +%s%N)\n"
                          f"'{real}' \"$@\"\n"
                          "status=$?\n"
                          f"record=$(printf '%s\\037' \"$start\" \"$(date +%s%N)\" {tool} \"$@\")\n"
                          f"printf '%s\\036' \"$record\" >> '{self.file}'\n"
                          "exit $status\n")
            os.chmod(script, 0o755)

    def take(self):
        """The calls logged since the last take."""
        if not os.path.exists(self.file):
            return []
        with open(self.file, encoding="utf-8", errors="replace") as text:
            records = text.read().split(CALL_SEP)
        os.remove(self.file)
        return [Call(r) for r in records if r]


# --- the backend over its protocol ---------------------------------------------------------------


class Backend:
    def __init__(self, binary, home, tools=None):
        env = dict(os.environ, HOME=home)
        if tools:
            env["PATH"] = tools.folder + os.pathsep + env.get("PATH", "")
        self.started = time.monotonic()
        self.proc = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, env=env)
        first = json.loads(self.proc.stdout.readline())
        self.ready_seconds = time.monotonic() - self.started
        assert first.get("event") == "ready", first
        self.events = queue.Queue()
        self.progress = []  # (seconds since the start, event) of every progress event
        self.count_states = False
        self.states = 0
        self.states_done = threading.Event()
        self.states_wanted = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            if self.count_states:
                if line.startswith(b'{"event": "state"'):
                    self.states += 1
                    if self.states >= self.states_wanted:
                        self.states_done.set()
                continue
            event = json.loads(line)
            if event.get("event") == "progress":
                self.progress.append((time.monotonic() - self.started, event))
            self.events.put(event)

    def send(self, cmd, payload=None):
        line = json.dumps({"cmd": cmd, "payload": payload if payload is not None else {}})
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def wait_for(self, event, timeout=3600):
        """The next event of that name; every failure report on the way ends the bench."""
        deadline = time.monotonic() + timeout
        while True:
            got = self.events.get(timeout=max(0.0, deadline - time.monotonic()))
            if got.get("event") == "log" and got.get("level") == "error":
                raise RuntimeError("backend reported: " + got.get("message", ""))
            if got.get("event") == "error":
                raise RuntimeError("backend error: " + got.get("message", ""))
            if got.get("event") == event:
                return got

    def drain(self):
        while not self.events.empty():
            self.events.get()

    def cpu_seconds(self):
        """CPU time of the backend and of all its children that it has waited for."""
        with open(f"/proc/{self.proc.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        ticks = sum(int(f) for f in fields[11:15])  # utime, stime, cutime, cstime
        return ticks / os.sysconf("SC_CLK_TCK")

    def peak_kib(self):
        with open(f"/proc/{self.proc.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        raise RuntimeError("no VmHWM")

    def get_states(self, count):
        """Sends `count` get_state commands at once; seconds until the last state event came."""
        self.drain()
        self.states = 0
        self.states_wanted = count
        self.states_done.clear()
        self.count_states = True
        lines = (json.dumps({"cmd": "get_state", "payload": {}}).encode() + b"\n") * count
        start = time.monotonic()
        writer = threading.Thread(target=lambda: (self.proc.stdin.write(lines),
                                                  self.proc.stdin.flush()))
        writer.start()
        finished = self.states_done.wait(600)
        seconds = time.monotonic() - start
        writer.join()
        self.count_states = False
        if not finished:
            raise RuntimeError(f"only {self.states} of {count} state events")
        return seconds

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(30)


class Cost:
    """Wall time and CPU time (user and system, children included) of one run."""

    def __init__(self, wall=0.0, cpu=0.0):
        self.wall = wall
        self.cpu = cpu

    def __add__(self, other):
        return Cost(self.wall + other.wall, self.cpu + other.cpu)


def ratio_text(job, bare):
    return (f"wall {job.wall:.1f} s / {bare.wall:.1f} s = {job.wall / bare.wall:.3f}x, "
            f"CPU {job.cpu:.1f} s / {bare.cpu:.1f} s = {job.cpu / bare.cpu:.3f}x")


def job_cost(backend, cmd, payload, before=None):
    """Runs one job to its notify event (`before` is sent first, inside the measure)."""
    backend.drain()
    cpu = backend.cpu_seconds()
    start = time.monotonic()
    if before:
        backend.send(*before)
    backend.send(cmd, payload)
    backend.wait_for("notify")
    wall = time.monotonic() - start
    # Every child has been waited for before the job reports, so its time is counted.
    return Cost(wall, backend.cpu_seconds() - cpu)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_bare(args):
    """One logged FFmpeg command run alone, the way the backend runs it (outputs captured)."""
    cpu = children_cpu()
    start = time.monotonic()
    done = subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True)
    cost = Cost(time.monotonic() - start, children_cpu() - cpu)
    if done.returncode != 0:
        raise RuntimeError("bare command failed: " + done.stderr.decode(errors="replace")[-600:])
    return cost


def encode_progress(progress):
    """The progress events from the cut's encode step ("Exportiere") to the step after it: how
    many came within the encode, over how many seconds, and the largest gap between two."""
    start = next(i for i, (_, e) in enumerate(progress) if e["status"].startswith("Exportiere"))
    end = next(i for i in range(start + 1, len(progress))
               if progress[i][1]["status"] != progress[start][1]["status"])
    times = [t for t, _ in progress[start:end + 1]]
    return end - start - 1, times[-1] - times[0], max(b - a for a, b in zip(times, times[1:]))


def is_encode(call):
    return call.args[0] == "ffmpeg" and "libx264" in call.args


def child_kind(call):
    """What a child process of a job does, from its argument vector."""
    args = call.args
    if args[0] == "ffprobe":
        return "probe"
    if "-filter_complex" in args and "f32le" in args:
        return "group encode"
    if "libx264" in args:
        return "encode"
    if "concat" in args:
        return "join"
    if any("silencedetect" in arg for arg in args):
        return "take analysis" if "-ss" in args else "recording analysis"
    return "other"


def children_text(calls, in_order=True):
    """Each child with its own time (in order), or each kind with its count and time."""
    if in_order:
        return ", ".join(f"{child_kind(c)} {c.seconds:.2f} s" for c in calls)
    kinds = {}
    for call in calls:
        count, seconds = kinds.get(child_kind(call), (0, 0.0))
        kinds[child_kind(call)] = (count + 1, seconds + call.seconds)
    return ", ".join(f"{count} {kind} {seconds:.2f} s" for kind, (count, seconds) in kinds.items())


def bare_master_args(source, out):
    """One encode of `source` with the settings of the MP4 master: the portrait frame at 60 fps,
    H.264 High at CRF 18, AAC at 192 kbit/s."""
    frame = "scale=1080:1920:force_original_aspect_ratio=decrease,pad=1080:1920:(ow-iw)/2:(oh-ih)/2," \
            "setsar=1,format=yuv420p"
    return ["ffmpeg", "-y", "-nostdin", "-i", source, "-map", "0:v:0", "-map", "0:a?", "-vf", frame,
            "-c:v", "libx264", "-pix_fmt", "yuv420p", "-profile:v", "high", "-crf", "18",
            "-preset", "fast", "-c:a", "aac", "-b:a", "192k", "-r", "60", "-movflags",
            "+faststart", out]


def peak_memory_kib(args):
    """The peak resident memory of one command, run alone in a Python of its own so no earlier
    child counts."""
    probe = ("import resource, subprocess, sys\n"
             "subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, capture_output=True, check=True)\n"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    done = subprocess.run([sys.executable, "-c", probe, *args], capture_output=True, text=True,
                          check=True)
    return int(done.stdout)


def encodes_text(job, encodes):
    """The job against the encodes it ran, as timed inside the job: the backend's own cost."""
    inside = sum(call.seconds for call in encodes)
    return f"wall {job.wall:.1f} s / {inside:.1f} s = {job.wall / inside:.3f}x", job.wall / inside


# --- the measures --------------------------------------------------------------------------------


class Bench:
    def __init__(self, binary, scratch):
        self.binary = binary
        self.scratch = scratch
        self.home = os.path.join(scratch, "home")
        os.makedirs(os.path.join(self.home, "Desktop"), exist_ok=True)
        self.tools = ToolLog(os.path.join(scratch, "tools"))
        self.rows = []

    def path(self, *names):
        return os.path.join(self.scratch, *names)

    def backend(self, logged=True):
        return Backend(self.binary, self.home, self.tools if logged else None)

    def row(self, measure, value, target, met):
        self.rows.append((measure, value, target, "yes" if met else "NO"))

    def cut(self, recording, label, target, memory=False, compare=True, rounds=1, settings=None):
        """The cut job over the protocol, with `settings` added to its payload, then (with
        `compare`) its final encode alone, `rounds` times in turn; the best of each counts, which
        keeps a slower spell of the machine out of the ratio. Returns the job's cost and the final
        encode's seconds inside the job."""
        jobs, bares = [], []
        for round_ in range(rounds):
            out = self.path(f"out_cut_{label}_{round_}")
            backend = self.backend()
            idle_kib = backend.peak_kib()
            backend.send("set_config", {"output_folder": out})
            backend.wait_for("state")
            self.tools.take()
            job = job_cost(backend, "start_cut",
                           {"resolution": "Hochformat 1080x1920", **(settings or {})},
                           before=("add_cut_files", {"paths": [recording]}))
            cut_kib = backend.peak_kib()
            backend.close()
            calls = self.tools.take()
            encodes = [c for c in calls if is_encode(c)]
            assert len(encodes) == 1, [c.args for c in calls]
            jobs.append((job, calls, encodes, encode_progress(backend.progress)))
            if compare:
                bares.append(run_bare(encodes[0].args[:-1] + [self.path(f"bare_cut_{label}.mp4")]))
        job, calls, encodes, (events, seconds, gap) = min(jobs, key=lambda j: j[0].wall)
        self.row(f"cut {label}: progress events within its encode",
                 f"{events} in {seconds:.1f} s ({events / seconds:.2f} a second), largest gap "
                 f"{gap:.2f} s", "<= 4 a second", events / seconds <= 4.0)
        best = f", best of {rounds}" if rounds > 1 else ""
        clip = float(encodes[0].args[encodes[0].args.index("-t") + 1])
        label = f"{label} ({clip:.1f} s clip)"
        text, ratio = encodes_text(job, encodes)
        self.row(f"cut {label}: job / its final encode inside it{best}", text,
                 f"<= {target:.2f}x", ratio <= target)
        if compare:
            bare = min(bares, key=lambda b: b.wall)
            self.row(f"cut {label}: job / bare final encode run alone{best}",
                     ratio_text(job, bare), f"<= {target:.2f}x", job.wall / bare.wall <= target)
        self.row(f"cut {label}: its {len(calls)} children, in order", children_text(calls), "",
                 True)
        if memory:
            self.row("backend peak memory idle (VmHWM)", f"{idle_kib / 1024:.1f} MiB", "< 16 MiB",
                     idle_kib < 16 * 1024)
            self.row("backend peak memory with a cut (VmHWM)", f"{cut_kib / 1024:.1f} MiB",
                     "< 16 MiB", cut_kib < 16 * 1024)
        return job, encodes[0].seconds

    def cuts(self, recording, short_take, rounds):
        """The cuts of the 60 s recordings, as they are and with jump cuts (the gaps between the
        words count as pauses) and a loudness target. Returns the plain long take's cost and its
        final encode's seconds."""
        log("Cut of a 60 s recording with a short last take ...")
        self.cut(short_take, "short take", 1.10, rounds=rounds)
        log("Cut of a 60 s recording with a long last take ...")
        long_take = self.cut(recording, "long take", 1.03, memory=True, rounds=rounds)
        log("The same cuts with jump cuts and a loudness target ...")
        self.cut(short_take, "short take, jump cuts + loudness", 1.10, rounds=rounds,
                 settings=JUMP_CUTS_AND_LOUDNESS)
        self.cut(recording, "long take, jump cuts + loudness", 1.03, rounds=rounds,
                 settings=JUMP_CUTS_AND_LOUDNESS)
        # The settings file keeps them: null takes each back to its default for the exports.
        backend = self.backend(logged=False)
        backend.send("set_config", {key: None for key in JUMP_CUTS_AND_LOUDNESS})
        backend.wait_for("state")
        backend.close()
        return long_take

    def master(self, clips, span, label, compare=True, rounds=1):
        """The MP4 master over the protocol, then (with `compare`) one bare encode of the joined
        span with the master's settings, from a recording as long as the clips' spans together,
        `rounds` times in turn, the best of each counting. Returns the job's cost and the seconds
        of its FFmpeg runs inside the job."""
        jobs, bares = [], []
        joined = self.path(f"joined_{label}.mp4")
        if compare:
            make_cut_clip(joined, span * len(clips))
        for round_ in range(rounds):
            out = self.path(f"out_master_{label}_{round_}")
            backend = self.backend()
            backend.send("set_config", {"output_folder": out})
            backend.wait_for("state")
            backend.send("add_master_files", {"paths": clips})
            backend.wait_for("state")
            self.tools.take()
            job = job_cost(backend, "start_export", {"mode": "mp4"})
            master_kib = backend.peak_kib()
            backend.close()
            jobs.append((job, self.tools.take(), master_kib))
            if compare:
                bares.append(run_bare(bare_master_args(joined, self.path(f"bare_{label}.mp4"))))
        job, calls, master_kib = min(jobs, key=lambda j: j[0].wall)
        best = f", best of {rounds}" if rounds > 1 else ""
        runs = [c for c in calls if c.args[0] == "ffmpeg"]
        text, ratio = encodes_text(job, runs)
        self.row(f"mp4 master of {len(clips)} clips: job / its FFmpeg runs inside it{best}", text,
                 "<= 1.05x", ratio <= 1.05)
        if compare:
            bare = min(bares, key=lambda b: b.wall)
            self.row(f"mp4 master of {len(clips)} clips: job / one bare encode of the joined "
                     f"span ({span * len(clips):.1f} s){best}", ratio_text(job, bare), "<= 1.25x",
                     job.wall / bare.wall <= 1.25)
        self.row(f"mp4 master of {len(clips)} clips: its {len(calls)} children",
                 children_text(calls, in_order=False), "", True)
        if compare:
            largest = max(runs, key=lambda c: c.args.count("-i"))
            job_temp = os.path.dirname(largest.args[-1])
            replay = self.path(f"replay_{label}")
            os.makedirs(replay, exist_ok=True)
            run_kib = peak_memory_kib([arg.replace(job_temp, replay) for arg in largest.args])
            # The encoder's memory does not grow with the length: 8 s of the span tell it.
            bare_kib = peak_memory_kib(
                bare_master_args(joined, self.path(f"bare_{label}.mp4"))[:-1] +
                ["-t", "8", self.path(f"bare_{label}.mp4")])
            self.row(f"mp4 master of {len(clips)} clips: peak memory of its largest FFmpeg run "
                     f"({largest.args.count('-i')} inputs) / of the bare encode",
                     f"{run_kib / 1024:.0f} MiB / {bare_kib / 1024:.0f} MiB", "bounded", True)
        self.row(f"mp4 master of {len(clips)} clips: backend peak memory (VmHWM)",
                 f"{master_kib / 1024:.1f} MiB", "< 16 MiB", master_kib < 16 * 1024)
        return job, sum(call.seconds for call in runs)

    def timeline(self, clips, mode, count_children):
        """A timeline export ("xml", "fcpxml"), timed without the wrappers; with `count_children`
        run once more to count the children it starts."""
        out = self.path(f"out_{mode}_{len(clips)}")
        costs = {}
        for logged in (False, True) if count_children else (False,):
            backend = self.backend(logged)
            backend.send("set_config", {"output_folder": out})
            backend.wait_for("state")
            backend.send("add_master_files", {"paths": clips})
            backend.wait_for("state")
            self.tools.take()
            costs[logged] = job_cost(backend, "start_export", {"mode": mode})
            backend.close()
        cost = costs[False]
        self.row(f"{mode} export of {len(clips)} clips", f"wall {cost.wall:.2f} s, CPU {cost.cpu:.2f} s"
                 f" ({cost.wall / len(clips) * 1000:.0f} ms per clip)", "", True)
        if count_children:
            children = len(self.tools.take())
            per_clip = children / len(clips)
            self.row(f"{mode} export of {len(clips)} clips: children started",
                     f"{children} ({per_clip:.2f} per clip)", "<= 1 per clip", per_clip <= 1.0)
        return cost

    def backend_figures(self, clips):
        readies = []
        for _ in range(20):
            backend = self.backend(logged=False)
            readies.append(backend.ready_seconds)
            backend.close()
        ready = statistics.median(readies)
        self.row("backend start to ready (median of 20)",
                 f"{ready * 1000:.1f} ms (max {max(readies) * 1000:.1f} ms)", "<= 20 ms",
                 ready <= 0.020)

        backend = self.backend(logged=False)
        backend.send("add_master_files", {"paths": clips[:100]})
        backend.wait_for("state")
        seconds = backend.get_states(10000)
        self.row("10,000 get_state with 100 master entries", f"{seconds:.2f} s", "< 1 s",
                 seconds < 1.0)

        many = self.path("many")
        os.makedirs(many, exist_ok=True)
        paths = []
        for i in range(5000):
            path = os.path.join(many, f"take_{i:05d}.mp4")
            open(path, "w").close()
            paths.append(path)
        backend.send("clear_master_queue")
        backend.wait_for("state")
        start = time.monotonic()
        backend.send("add_master_files", {"paths": paths})
        state = backend.wait_for("state")
        seconds = time.monotonic() - start
        assert len(state["mas_files"]) == 5000
        self.row("add_master_files with 5,000 paths", f"{seconds:.2f} s", "< 1 s", seconds < 1.0)
        peak = backend.peak_kib()
        backend.close()
        self.row("backend peak memory after these (VmHWM)", f"{peak / 1024:.1f} MiB", "< 16 MiB",
                 peak < 16 * 1024)

    def linearity(self, measure, base, four_times, encodes=None):
        """4x against 1x; `encodes` gives the seconds of the FFmpeg encodes in both, the floor."""
        text = ratio_text(four_times, base)
        if encodes:
            text += f"; its encodes {encodes[1]:.1f} s / {encodes[0]:.1f} s = " \
                    f"{encodes[1] / encodes[0]:.3f}x"
        self.row(f"linearity, {measure}: 4x / 1x", text, "<= 4.2x",
                 four_times.wall / base.wall <= 4.2)


def machine_text():
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    version = subprocess.run(["ffmpeg", "-version"], capture_output=True, text=True)
    first = version.stdout.splitlines()[0].split(" Copyright")[0] if version.stdout else "?"
    load = os.getloadavg()
    return (f"{cpu}, {os.cpu_count()} cores, {platform.system()} {platform.release()}, {first}; "
            f"load average {load[0]:.1f} at start")


def print_table(rows, machine):
    widths = [max(len(str(r[i])) for r in rows + [("measure", "figure", "target", "met")])
              for i in range(4)]
    line = "| " + " | ".join("{:<%d}" % w for w in widths) + " |"
    print(f"Machine: {machine}, {os.getloadavg()[0]:.1f} at the end")
    print(line.format("measure", "figure", "target", "met"))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line.format(*r))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--backend", required=True, help="the backend's program file")
    parser.add_argument("--long", action="store_true",
                        help="also the 4x cases of the cut and the MP4 master (about five minutes more)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    parser.add_argument("--cuts", action="store_true",
                        help="only the cuts of the 60 s recordings, plain and with jump cuts and "
                             "loudness (about three minutes)")
    parser.add_argument("--rounds", type=int, default=2,
                        help="rounds of the 60 s cuts and the 5-clip master against their bare "
                             "commands; the best of each counts (default 2; the 50-clip master "
                             "runs once)")
    options = parser.parse_args()

    machine = machine_text()
    scratch = tempfile.mkdtemp(prefix="tavelmor_bench_")
    bench = Bench(os.path.abspath(options.backend), scratch)
    try:
        log(f"Scratch folder: {scratch}")
        log("Making media ...")
        recording = bench.path("recording_60s.mp4")
        make_recording(recording, 60)
        short_take = bench.path("recording_60s_bursts.mp4")
        make_recording(short_take, 60, bursts_envelope)
        clip_source = bench.path("clip_4s.mp4")
        make_cut_clip(clip_source, 4)
        short_source = bench.path("clip_2s.mp4")
        make_cut_clip(short_source, 2)
        master_clips = copies(clip_source, bench.path("master_clips"), 5)
        xml_clips = copies(short_source, bench.path("xml_clips"), 800)

        if options.cuts:
            bench.cuts(recording, short_take, options.rounds)
            return
        log("Backend figures ...")
        bench.backend_figures(xml_clips)
        log("xml exports ...")
        xml_1 = bench.timeline(xml_clips[:200], "xml", count_children=True)
        xml_4 = bench.timeline(xml_clips, "xml", count_children=False)
        bench.linearity("xml export (200 -> 800 clips)", xml_1, xml_4)
        log("fcpxml export ...")
        bench.timeline(xml_clips[:200], "fcpxml", count_children=True)
        cut_1, cut_encode_1 = bench.cuts(recording, short_take, options.rounds)
        log("MP4 master of 5 clips ...")
        master_1, master_encodes_1 = bench.master(master_clips, 3.9, "5", rounds=options.rounds)
        log("MP4 master of 50 clips ...")
        bench.master(copies(short_source, bench.path("master_clips_50"), 50), 1.9, "50")
        if options.long:
            log("Cut of a 240 s recording ...")
            long_recording = bench.path("recording_240s.mp4")
            make_recording(long_recording, 240)
            cut_4, cut_encode_4 = bench.cut(long_recording, "240 s", 1.03, compare=False)
            bench.linearity("cut (60 s -> 240 s recording)", cut_1, cut_4,
                            (cut_encode_1, cut_encode_4))
            log("MP4 master of 20 clips ...")
            master_4, master_encodes_4 = bench.master(
                copies(clip_source, bench.path("master_clips_20"), 20), 3.9, "20", compare=False)
            bench.linearity("mp4 master (5 -> 20 clips)", master_1, master_4,
                            (master_encodes_1, master_encodes_4))
    finally:
        if bench.rows:
            print_table(bench.rows, machine)
        if options.keep:
            log(f"Kept {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
