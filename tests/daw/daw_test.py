#!/usr/bin/env python3
# XeTetraVST inside Ardour 7, headless.
#
# Audio through Ardour equals the shared object driven directly (daw_helper), bit for bit once
# aligned by the announced delay, which Ardour compensates; programs are picked by the names Ardour
# lists them under, switching the delay between 1024 and 0; a parameter set from Lua arrives, an
# automated one steps in one crossfade where the automation puts it; the state Ardour saves with
# the session (the plug-in's chunk, with a program renamed) comes back in a new Ardour process.
#
# Ardour's scanner finds the plug-in; ardour7-lua (Dummy backend, 48 kHz) builds a session with a
# 4-channel track holding it and a 4-channel master; the recording is imported by writing its
# sources, region and playlist into the session file, which the Lua tool cannot do itself.
#
# Exit status: 0 passed, 1 failed, 77 skipped (a sanitizer build, which Ardour cannot load).

import argparse
import base64
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

SCANNER = "/usr/lib/ardour7/ardour-vst-scanner"
PLUGIN_ID = "1483035697"
PROGRAM_NAMES = ["Ambrel - uncalibrated", "1.47cm"] + ["User %d" % i for i in range(2, 8)]
OUTPUT_GAIN_1, OUTPUT_GAIN_2 = 42, 43  # 0.5 is 0 dB, 30 dB across the range
RENAMED_PROGRAM, RENAMED = 4, "Hall, row 12"
RATE, BLOCK = 48000, 512
SUPERCLOCK = 282240000 // RATE  # Ardour 7 keeps audio time in superclock ticks
POSITION = 12345  # where the region starts: not a multiple of any block size
TAIL = 12000
# The correction filters convolve in frames of 1024 samples, and their output depends on where the
# frames fall against the signal. Ardour selects a set between two engine cycles, so its frames
# fall on a multiple of its buffer size: the direct rendering tries each.
CORRECTION_HOP = 1024
# Ardour 7 keeps plug-in automation in beat time, in ticks of 1/1920 beat: 12.5 samples at the
# session's 120 bpm. The step goes where a tick falls on a whole sample, inside the noise and not
# on an engine cycle's boundary, so only a split cycle puts it there exactly.
SWITCH_AT = POSITION + 36005
AUTOMATED, GAIN_SET = 0.3, 0.6  # -6 dB and +3 dB
EXPORT_PRESET = "0f7d5c2a-3b8e-4d61-a1f4-7e2c9b5d8a13"  # tests/daw/export: float WAVE, no dither

failures = []


def check(condition, message):
    print(("  ok    " if condition else "  FAIL  ") + message)
    if not condition:
        failures.append(message)
    return condition


def run(command, env, log_path, timeout=180):
    # One outside program in its own process group, killed with its children at the time-out.
    with open(log_path, "wb") as log:
        process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            status = None
    return status, pathlib.Path(log_path).read_text(errors="replace")


def lua(value):
    # The plan as a Lua table: JSON with tables in braces, keys in brackets.
    if isinstance(value, bool) or not isinstance(value, (list, tuple, dict)):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, dict):
        return "{" + ", ".join("[%s] = %s" % (lua(k), lua(v)) for k, v in value.items()) + "}"
    return "{" + ", ".join(lua(v) for v in value) + "}"


class DawTest:
    def __init__(self, options, work):
        self.options, self.work = options, work
        self.home, self.vst = os.path.join(work, "home"), os.path.join(work, "vst")
        self.recording = os.path.join(work, "recording")
        self.session_dir = os.path.join(work, "daw")  # named as the session
        for d in (self.vst, self.recording):
            os.makedirs(d)
        shutil.copytree(os.path.join(os.path.dirname(os.path.abspath(__file__)), "export"),
                        os.path.join(self.home, ".config", "ardour7", "export"))
        self.env = {k: v for k, v in os.environ.items() if k not in (
            "DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
            "VST_PATH", "LXVST_PLUGINS")}
        self.env.update(HOME=self.home, LXVST_PATH=self.vst)

    def helper(self, *args):
        out = subprocess.run([self.options.helper] + [str(a) for a in args], env=self.env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        if out.returncode != 0:
            raise RuntimeError("daw_helper %s: %s" % (args[0], out.stderr.decode(errors="replace")))
        return json.loads(out.stdout)

    def ardour(self, mode, name, job=None):
        # One ardour7-lua run; its RESULT rows, or None. Ardour 7.3 sometimes crashes in export
        # teardown, after the file is written and closed (the run counts as done once it says
        # "exported"; the comparison then reads the file whole), or earlier: a run is tried
        # three times.
        plan_path = os.path.join(self.work, name + ".lua")
        with open(plan_path, "w") as f:
            f.write("return " + lua(dict(self.plan, job=job or {})) + "\n")
        for attempt in (1, 2, 3):
            status, output = run(["ardour7-lua", self.options.lua, mode, plan_path], self.env,
                                 os.path.join(self.work, "%s-%d.log" % (name, attempt)))
            rows = [l.split("\t")[1:] for l in output.splitlines() if l.startswith("RESULT\t")]
            if any(r[0] == "error" for r in rows):
                check(False, "ardour7-lua %s: %s" % (name, [r for r in rows if r[0] == "error"]))
                return None
            if status is not None and (status == 0 and ["done"] in rows or ["exported"] in rows):
                return rows
            print("ardour7-lua %s: status %s, attempt %d of 3:\n%s"
                  % (name, status, attempt, "\n".join(output.splitlines()[-8:])))
        check(False, "ardour7-lua %s failed three times (logs in %s)" % (name, self.work))
        return None

    def import_recording(self):
        # What Ardour's import would do: the capsule files become the session's sources, a
        # 4-channel region over them goes into the track's playlist at POSITION.
        path = os.path.join(self.session_dir, "daw.ardour")
        tree = ET.parse(path)
        root = tree.getroot()
        ids = iter(range(int(root.get("id-counter")) + 1, 1 << 62))
        audio_dir = os.path.join(self.session_dir, "interchange", "daw", "audiofiles")
        os.makedirs(audio_dir, exist_ok=True)
        sources = []
        for f in sorted(os.listdir(self.recording)):  # capsules 1 to 4
            shutil.copy(os.path.join(self.recording, f), audio_dir)
            sources.append(str(next(ids)))
            ET.SubElement(root.find("Sources"), "Source", {
                "name": f, "type": "audio", "flags": "", "id": sources[-1],
                "captured-for": "tetra", "channel": "0", "origin": "", "gain": "1"})

        def region(parent, name, whole_file, position):
            # No fades: the recording must reach the plug-in exactly as written.
            a = dict(x.split("=") for x in (
                "muted=0 opaque=1 locked=0 video-locked=0 automatic=0 import=1 external=0"
                " sync-marked=0 left-of-split=0 right-of-split=0 hidden=0 position-locked=0"
                " valid-transients=0 start=a0 sync-position=a0 ancestral-start=a0"
                " ancestral-length=a0@a0 stretch=1 shift=1 layering-index=0 contents=0"
                " envelope-active=0 default-fade-in=0 default-fade-out=0 fade-in-active=0"
                " fade-out-active=0 scale-amplitude=1 type=audio first-edit=nothing channels=4"
            ).split())
            a.update({"name": name, "whole-file": "1" if whole_file else "0", "tags": "",
                      "id": str(next(ids)), "length": "a%d@a%d" % (
                          self.frames * SUPERCLOCK, position * SUPERCLOCK)})
            for i, source in enumerate(sources):
                a["source-%d" % i] = a["master-source-%d" % i] = source
            return ET.SubElement(parent, "Region", a)

        region(root.find("Regions"), "capsules", True, 0)
        playlist = root.find("Playlists/Playlist[@name='tetra']")
        ET.SubElement(region(playlist, "capsules.1", False, POSITION), "Envelope", {"default": "yes"})
        ET.SubElement(root.find("Locations"), "Location", {
            "id": str(next(ids)), "name": "session", "start": "a0",
            "end": "a%d" % (self.end * SUPERCLOCK), "flags": "IsSessionRange", "locked": "0",
            "timestamp": "0", "cue": "0"})
        root.set("id-counter", str(next(ids)))
        tree.write(path, encoding="UTF-8", xml_declaration=True)

    def export_and_compare(self, name, program, presets, params=(), automation=None,
                           restored=False):
        # An export of the whole session after picking `presets` and setting `params` (a
        # restored session as it loads), against the recording through the shared object at
        # `program` with `params`.
        folder = os.path.join(self.work, "export", name)
        os.makedirs(folder)
        job = {"name": name, "presets": presets, "params": [] if restored else list(params),
               "automation": automation or [], "folder": folder}

        def exported():
            files = [f for f in os.listdir(folder) if f.endswith(".wav")]
            return os.path.join(folder, files[0]) if len(files) == 1 else ""

        rows = self.ardour("render", "render-" + name, job)
        if not check(rows is not None and exported(), "%s: %s, exported" % (name, presets)):
            return False
        def direct(preroll, *then):
            return self.helper("compare", self.options.plugin, self.recording, exported(), POSITION,
                               self.end, BLOCK, program, preroll,
                               *["%d=%r" % p for p in params], *then)

        # Every phase is tried, so that a wrong delay cannot hide behind a wrong phase; the
        # direct rendering must trail the export by exactly the delay the program announces.
        preroll, c = min(((p, direct(p)) for p in range(0, CORRECTION_HOP, BLOCK)),
                         key=lambda x: max(x[1]["error"]))
        delay = c["initial_delay"]
        check([["latency", str(delay)]] == [r for r in rows if r[0] == "latency"],
              "  Ardour's plug-in latency is the announced %d" % delay)
        check(c["frames"] == self.end, "  %d frames exported" % c["frames"])
        if automation:
            s = direct(preroll, "then", "%d=%r" % (OUTPUT_GAIN_1, AUTOMATED))
            check(s["last_equal_before"] + 1 == SWITCH_AT and
                  0 < s["first_equal_after"] - SWITCH_AT <= RATE * 4 // 1000,
                  "  the step at %d is one crossfade of at most 4 ms: %d to %d" % (
                      SWITCH_AT, s["last_equal_before"], s["first_equal_after"]))
        else:
            check(max(c["error"]) == 0.0, "  aligned samples equal bit for bit (max error %s)"
                  % c["error"])
        return True

    def rename_in_session(self):
        # The chunk Ardour saved with the session, through the plug-in: program RENAMED_PROGRAM
        # selected and renamed, as a user does in the plug-in's window before saving.
        path = os.path.join(self.session_dir, "daw.ardour")
        tree = ET.parse(path)
        chunk = tree.getroot().find("./Routes/Route/Processor[@type='lxvst']/lxvst/chunk")
        if not check(chunk is not None and (chunk.text or "").strip(),
                     "Ardour keeps the plug-in's state as a chunk in the session file"):
            return False
        saved, renamed = (pathlib.Path(self.work, n) for n in ("saved.bin", "renamed.bin"))
        saved.write_bytes(base64.b64decode(chunk.text))
        self.helper("rename", self.options.plugin, saved, RENAMED_PROGRAM, RENAMED, renamed)
        chunk.text = base64.b64encode(renamed.read_bytes()).decode("ascii")
        chunk.set("program", str(RENAMED_PROGRAM))  # Ardour keeps the current program beside it
        tree.write(path, encoding="UTF-8", xml_declaration=True)
        return True

    def test(self):
        # Ardour trusts its scan cache only when it is newer, by whole seconds, than the plug-in.
        plugin = os.path.join(self.vst, "XeTetraVST.so")
        shutil.copyfile(self.options.plugin, plugin)
        os.utime(plugin, (time.time() - 120, time.time() - 120))
        status, output = run([SCANNER, "-f", plugin], dict(self.env, LD_LIBRARY_PATH="/usr/lib/ardour7"),
                             os.path.join(self.work, "scan.log"), 60)
        if not check(status == 0, "Ardour's scanner loads the plug-in (status %s)" % status):
            return print(output)
        recording = self.helper("generate", self.recording)
        self.frames = recording["frames"]
        self.end = POSITION + self.frames + TAIL
        self.plan = {"rate": RATE, "buffer_size": BLOCK, "session_dir": self.session_dir,
                     "session_name": "daw", "track_name": "tetra", "plugin_id": PLUGIN_ID,
                     "num_programs": len(PROGRAM_NAMES), "export_preset": EXPORT_PRESET,
                     "end": self.end}
        rows = self.ardour("create", "create")
        if rows is None:
            return
        presets = [r[2] for r in rows if r[0] == "preset"]
        check(presets == PROGRAM_NAMES, "Ardour lists the programs as presets by name: %s" % presets)
        self.import_recording()

        # One export per Ardour run. Programs are switched in the loaded session before exporting,
        # so Ardour must follow the announced delay from 0 to 1024 and back.
        if not (self.export_and_compare("spacing", 1, ["User 2", "1.47cm"]) and
                self.export_and_compare("automated", 3, ["1.47cm", "User 3"],
                                        [(OUTPUT_GAIN_2, GAIN_SET)], automation=[{
                    "param": OUTPUT_GAIN_1, "points": [[0, 0.5], [SWITCH_AT, AUTOMATED]]}])):
            return
        # The state through a saved session: one Ardour process selects the renamed program by
        # its name, changes a value and saves; a new one exports the session as it loads.
        if not self.rename_in_session():
            return
        rows = self.ardour("render", "save", {"name": "saved", "presets": [RENAMED], "save": True,
                                              "params": [[OUTPUT_GAIN_2, GAIN_SET]]})
        if check(rows is not None and ["saved"] in rows, "Ardour restored the state, listed the"
                 " renamed program by its name, set Output 2 Gain and saved the session"):
            self.export_and_compare("restored", RENAMED_PROGRAM, [], [(OUTPUT_GAIN_2, GAIN_SET)],
                                    restored=True)


def main():
    parser = argparse.ArgumentParser(description="XeTetraVST inside Ardour 7, headless.")
    for option in ("--plugin", "--helper", "--lua"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    options.plugin = os.path.realpath(options.plugin)
    missing = [p for p in (SCANNER, shutil.which("ardour7-lua")) if not p or not os.access(p, os.X_OK)]
    if missing or not os.path.isfile(options.plugin):
        print("daw_test: Ardour 7 (Debian package ardour, scripts/install-deps.sh) or the built"
              " plug-in is missing", file=sys.stderr)
        return 1
    if b"libasan" in subprocess.run(["ldd", options.plugin], stdout=subprocess.PIPE).stdout:
        print("daw_test: %s is a sanitizer build, which Ardour cannot load; skipped" % options.plugin)
        return 77
    work = tempfile.mkdtemp(prefix="xetetra-daw-")
    DawTest(options, work).test()  # the work folder stays when anything fails
    if failures:
        print("daw_test: FAILED (work folder %s): %s" % (work, "; ".join(failures)))
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("daw_test: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
