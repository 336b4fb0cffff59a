#!/usr/bin/env python3
"""XeTetraVST inside Ardour 7, headless.

Scans the plug-in with Ardour's scanner, builds a session with ardour7-lua (Dummy backend, 48 kHz):
a 4-channel track with the plug-in inserted and its panner bypassed, a master bus of four
channels, a generated 4-channel recording imported by writing its sources, region and playlist
into the session file, and exports it with different programs, a parameter set from Lua and an
automated parameter. Each export must equal what the shared object gives for the same input when
driven directly (daw_helper), once aligned by the lag measured between them; with a correction
program (announced delay 1024) the export must still line up with the imported recording, which
is Ardour compensating the delay. Ardour must list the plug-in's presets by the programs' names.
Last, the session's state: Ardour keeps the plug-in's chunk in the session file; a program renamed
(by the plug-in itself, as its window would) and a value changed in Ardour, saved, must come back in
a new Ardour process with the name and the output.

Exit status: 0 passed, 1 failed, 77 skipped (a sanitizer build, which Ardour cannot load).
"""

import argparse
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

SCANNER = "/usr/lib/ardour7/ardour-vst-scanner"
LUA_SESSION = "/usr/lib/ardour7/luasession"
LUA_TOOL = "ardour7-lua"

PLUGIN_ID = "1483035697"  # 0x58655431
PLUGIN_NAME = "Xerio Kalen Ambrel"
PROGRAM_NAMES = ["Ambrel - uncalibrated", "1.47cm"] + ["User %d" % i for i in range(2, 8)]
OUTPUT_GAIN_1 = 42  # "Output 1 Gain": 0.5 is 0 dB, 30 dB across the range
OUTPUT_GAIN_2 = 43
RENAMED_PROGRAM = 4
RENAMED = "Hall, row 12"

RATE = 48000
BUFFER_SIZE = 512
SUPERCLOCK_PER_SAMPLE = 282240000 // RATE  # Ardour 7 keeps audio time in superclock ticks
REGION_POSITION = 12345  # not a multiple of any block size
TAIL = 12000
MAX_LAG = 4096

SESSION_NAME = "daw"
TRACK_NAME = "tetra"
EXPORT_FORMAT_ID = "6c3b9f0e-6a43-4d0e-9a57-1f1b0c9e4a71"
EXPORT_PRESET_ID = "0f7d5c2a-3b8e-4d61-a1f4-7e2c9b5d8a13"

# Ardour passes float samples through untouched, and the same shared object computes both sides
# with the same floating-point mode (it sets its own), so the export must equal the direct
# rendering bit for bit once aligned.
TOLERANCE = 0.0
# The correction filters convolve in frames advanced by this many samples (overlap-save), and
# their impulse responses are longer than a frame's overlap, so the output also depends on where
# the frames fall against the signal: shifting it by one sample changes the output by up to about
# -35 dB of its peak. That phase is part of the plug-in's history in the host; it is measured.
CORRECTION_HOP = 1024
# Timeouts, in seconds, of each outside program's run.
SCAN_TIMEOUT = 60
ARDOUR_TIMEOUT = 180


class Failures:
    def __init__(self):
        self.messages = []

    def check(self, condition, message):
        print(("  ok    " if condition else "  FAIL  ") + message)
        if not condition:
            self.messages.append(message)
        return condition


def ardour_environment(home, vst_dir):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                 "XDG_DATA_HOME", "VST_PATH", "LXVST_PLUGINS"):
        env.pop(name, None)
    env["HOME"] = home
    env["LXVST_PATH"] = vst_dir
    return env


def run_bounded(command, env, timeout, log_path):
    """Runs one program in its own process group, killed with its children at the time-out."""
    with open(log_path, "wb") as log:
        process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, 9)
            process.wait()
            status = None
    with open(log_path, "r", errors="replace") as log:
        return status, log.read()


def results(output):
    """The RESULT lines of session.lua, as lists of fields."""
    rows = []
    for line in output.splitlines():
        if line.startswith("RESULT\t"):
            rows.append(line.split("\t")[1:])
    return rows


def run_session_script(lua, mode, plan_path, env, work, attempt_name, finished=None):
    """One ardour7-lua run, retried (twice at most) if Ardour dies before its work is done; one
    retry left about one test run in a hundred failing on Ardour's own crash. Ardour 7.3 often
    corrupts its heap when an export ends and crashes while freeing the export's objects, after
    the file is written and closed: `finished(rows)` tells whether the run's work got done
    regardless, so such a crash is reported and the file checked like any other."""
    for attempt in (1, 2, 3):
        log_path = os.path.join(work, "%s-%d.log" % (attempt_name, attempt))
        started = time.monotonic()
        status, output = run_bounded([LUA_TOOL, lua, mode, plan_path], env, ARDOUR_TIMEOUT,
                                     log_path)
        rows = results(output)
        elapsed = time.monotonic() - started
        errors = [r for r in rows if r[0] == "error"]
        if errors:
            return rows, "ardour7-lua %s: %s (log %s)" % (attempt_name, errors[0][1], log_path)
        if status == 0 and any(r[0] == "done" for r in rows):
            print("ardour7-lua %s: %.1f s" % (attempt_name, elapsed))
            return rows, None
        reason = ("timed out after %d s" % ARDOUR_TIMEOUT if status is None
                  else "exit status %d" % status)
        if status is not None and finished is not None and finished(rows):
            print("ardour7-lua %s: %.1f s; Ardour then died (%s) in its export teardown, after the"
                  " export had finished: a fault of Ardour's, not of the plug-in; the file is"
                  " checked like any other" % (attempt_name, elapsed, reason))
            return rows, None
        tail = "\n".join("    " + line for line in output.splitlines()[-8:])
        print("ardour7-lua %s: %s before its work was done (attempt %d); last output:\n%s"
              % (attempt_name, reason, attempt, tail))
        if attempt < 3:
            print("ardour7-lua %s: RETRYING (attempt %d of 3)" % (attempt_name, attempt + 1))
    return rows, "ardour7-lua %s failed three times (logs in %s)" % (attempt_name, work)


def wave_frames(path):
    """Frames in a closed WAVE file of 4 float channels, None if it is not complete."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        return None
    at = 12
    while at + 8 <= len(data):
        size = int.from_bytes(data[at + 4:at + 8], "little")
        if data[at:at + 4] == b"data":
            return size // 16 if at + 8 + size <= len(data) else None
        at += 8 + size + (size & 1)
    return None


def lua_value(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        return repr(value)
    if isinstance(value, str):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    if isinstance(value, list):
        return "{" + ", ".join(lua_value(v) for v in value) + "}"
    if isinstance(value, dict):
        return "{" + ", ".join("[%s] = %s" % (lua_value(k), lua_value(v))
                               for k, v in value.items()) + "}"
    raise TypeError(value)


def write_plan(path, plan):
    with open(path, "w") as f:
        f.write("return " + lua_value(plan) + "\n")


def write_export_preset(home):
    """A float WAVE at the session's rate, no normalising, no dither: what the export needs to be
    comparable sample by sample. Ardour reads presets from its user configuration folder."""
    folder = os.path.join(home, ".config", "ardour7", "export")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "xetetra-float.format"), "w") as f:
        f.write("""<?xml version="1.0" encoding="UTF-8"?>
<ExportFormatSpecification name="XeTetra test float" id="%s" with-cue="false" with-toc="false" with-mp4chaps="false" command="" analyse="false" soundcloud-upload="false">
  <Encoding id="F_WAV" type="T_Sndfile" extension="wav" name="WAV" has-sample-format="true" channel-limit="256"/>
  <SampleRate rate="SR_Session"/>
  <SRCQuality quality="SRC_SincBest"/>
  <EncodingOptions>
    <Option name="sample-format" value="SF_Float"/>
    <Option name="dithering" value="D_None"/>
    <Option name="tag-metadata" value="false"/>
    <Option name="tag-support" value="false"/>
    <Option name="broadcast-info" value="false"/>
  </EncodingOptions>
  <Processing>
    <Normalize enabled="false" loudness="false" dbfs="0" lufs="-23" dbtp="-1"/>
    <Silence>
      <Start>
        <Trim enabled="false"/>
        <Add enabled="false">
          <Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/>
        </Add>
      </Start>
      <End>
        <Trim enabled="false"/>
        <Add enabled="false">
          <Duration format="Timecode" hours="0" minutes="0" seconds="0" frames="0"/>
        </Add>
      </End>
    </Silence>
  </Processing>
</ExportFormatSpecification>
""" % EXPORT_FORMAT_ID)
    with open(os.path.join(folder, "xetetra-float.preset"), "w") as f:
        f.write("""<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="%s" name="XeTetra test float">
  <ExportFormat id="%s"/>
  <ExportFilename>
    <Folder relative="false" path=""/>
    <Field name="label" enabled="false"/>
    <Field name="session" enabled="false"/>
    <Field name="snapshot" enabled="false"/>
    <Field name="timespan" enabled="true"/>
    <Field name="revision" enabled="false"/>
    <Field name="time" enabled="false" value="T_None"/>
    <Field name="date" enabled="false" value="D_None"/>
  </ExportFilename>
</ExportPreset>
""" % (EXPORT_PRESET_ID, EXPORT_FORMAT_ID))


def import_recording(session_dir, files, frames):
    """What Ardour's import would do, which its Lua tool cannot: the capsule files become the
    session's sources, a 4-channel region over them goes into the track's playlist."""
    path = os.path.join(session_dir, SESSION_NAME + ".ardour")
    tree = ET.parse(path)
    root = tree.getroot()
    next_id = int(root.get("id-counter")) + 1

    def new_id():
        nonlocal next_id
        next_id += 1
        return str(next_id - 1)

    audio_dir = os.path.join(session_dir, "interchange", SESSION_NAME, "audiofiles")
    os.makedirs(audio_dir, exist_ok=True)
    sources = root.find("Sources")
    source_ids = []
    for f in files:
        name = os.path.basename(f)
        shutil.copyfile(f, os.path.join(audio_dir, name))
        source_id = new_id()
        source_ids.append(source_id)
        ET.SubElement(sources, "Source", {
            "name": name, "type": "audio", "flags": "", "id": source_id,
            "captured-for": TRACK_NAME, "channel": "0", "origin": "", "gain": "1"})

    def region_attributes(name, whole_file, position):
        a = {
            "name": name, "muted": "0", "opaque": "1", "locked": "0", "video-locked": "0",
            "automatic": "0", "whole-file": "1" if whole_file else "0", "import": "1",
            "external": "0", "sync-marked": "0", "left-of-split": "0", "right-of-split": "0",
            "hidden": "0", "position-locked": "0", "valid-transients": "0", "start": "a0",
            "length": "a%d@a%d" % (frames * SUPERCLOCK_PER_SAMPLE,
                                  position * SUPERCLOCK_PER_SAMPLE),
            "sync-position": "a0", "ancestral-start": "a0", "ancestral-length": "a0@a0",
            "stretch": "1", "shift": "1", "layering-index": "0", "tags": "", "contents": "0",
            "envelope-active": "0", "default-fade-in": "0", "default-fade-out": "0",
            # No fades: the recording must reach the plug-in exactly as written.
            "fade-in-active": "0", "fade-out-active": "0", "scale-amplitude": "1",
            "id": new_id(), "type": "audio", "first-edit": "nothing", "channels": "4"}
        for i, source_id in enumerate(source_ids):
            a["source-%d" % i] = source_id
            a["master-source-%d" % i] = source_id
        return a

    ET.SubElement(root.find("Regions"), "Region", region_attributes("capsules", True, 0))
    playlist = None
    for p in root.find("Playlists").findall("Playlist"):
        if p.get("name") == TRACK_NAME:
            playlist = p
    if playlist is None:
        raise RuntimeError("no playlist %s in %s" % (TRACK_NAME, path))
    region = ET.SubElement(playlist, "Region",
                           region_attributes("capsules.1", False, REGION_POSITION))
    ET.SubElement(region, "Envelope", {"default": "yes"})

    end = REGION_POSITION + frames + TAIL
    locations = root.find("Locations")
    ET.SubElement(locations, "Location", {
        "id": new_id(), "name": "session", "start": "a0",
        "end": "a%d" % (end * SUPERCLOCK_PER_SAMPLE), "flags": "IsSessionRange", "locked": "0",
        "timestamp": "0", "cue": "0"})
    root.set("id-counter", str(next_id))
    tree.write(path, encoding="UTF-8", xml_declaration=True)
    return end


def session_routing(session_dir):
    """Track output k to master input k, panners bypassed, the plug-in in the track."""
    root = ET.parse(os.path.join(session_dir, SESSION_NAME + ".ardour")).getroot()
    found = {}
    for route in root.find("Routes").findall("Route"):
        name = route.get("name")
        for io in route.findall("IO"):
            if io.get("direction") == "Output" and name == TRACK_NAME:
                found["track_out"] = [[c.get("other") for c in p.findall("Connection")]
                                      for p in io.findall("Port") if p.get("type") == "audio"]
        for proc in route.findall("Processor"):
            if proc.get("type") == "main-outs":
                shell = proc.find("PannerShell")
                found[name + "_panner_bypassed"] = shell is not None and shell.get("bypassed") == "1"
            if proc.get("type") == "lxvst":
                found["plugin"] = (name, proc.get("unique-id"))
    return found


def helper(helper_path, args, env):
    out = subprocess.run([helper_path] + args, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=120, check=False)
    if out.returncode != 0:
        raise RuntimeError("daw_helper %s: status %d: %s" % (args[0], out.returncode,
                                                            out.stderr.decode(errors="replace")))
    return json.loads(out.stdout.decode())


def find_export(folder, name):
    candidates = [f for f in os.listdir(folder) if f.endswith(".wav")] if os.path.isdir(folder) else []
    exact = [f for f in candidates if f == name + ".wav"]
    chosen = exact or candidates
    return os.path.join(folder, chosen[0]) if len(chosen) == 1 else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--plugin", required=True)
    parser.add_argument("--helper", required=True)
    parser.add_argument("--lua", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    options = parser.parse_args()
    started = time.monotonic()

    missing = [p for p in (SCANNER, LUA_SESSION) if not os.access(p, os.X_OK)]
    if shutil.which(LUA_TOOL) is None:
        missing.append(LUA_TOOL)
    if missing:
        print("daw_test: Ardour 7 is missing (%s); install the Debian package ardour, e.g. with"
              " scripts/install-deps.sh" % ", ".join(missing), file=sys.stderr)
        return 1
    plugin = os.path.realpath(options.plugin)
    if not os.path.isfile(plugin):
        print("daw_test: %s does not exist; build the XeTetraVST target first" % plugin,
              file=sys.stderr)
        return 1
    ldd = subprocess.run(["ldd", plugin], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if b"libasan" in ldd.stdout:
        print("daw_test: %s is a sanitizer build, which Ardour cannot load; skipped" % plugin)
        return 77

    work = tempfile.mkdtemp(prefix="xetetra-daw-")
    failures = Failures()
    try:
        status = run(options, plugin, work, failures)
    finally:
        if options.keep:
            print("daw_test: work folder kept: %s" % work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print("daw_test: %.1f s in all" % (time.monotonic() - started))
    if status != 0 or failures.messages:
        print("daw_test: FAILED: " + "; ".join(failures.messages))
        return 1
    print("daw_test: passed")
    return 0


def run(options, plugin, work, failures):
    home = os.path.join(work, "home")
    vst_dir = os.path.join(work, "vst")
    os.makedirs(home)
    os.makedirs(vst_dir)
    # Ardour trusts its scan cache only when it is newer, by whole seconds, than the plug-in.
    vst_copy = os.path.join(vst_dir, "XeTetraVST.so")
    shutil.copyfile(plugin, vst_copy)
    past = time.time() - 120
    os.utime(vst_copy, (past, past))
    env = ardour_environment(home, vst_dir)
    write_export_preset(home)

    status, output = run_bounded([SCANNER, "-f", vst_copy],
                                 dict(env, LD_LIBRARY_PATH="/usr/lib/ardour7"), SCAN_TIMEOUT,
                                 os.path.join(work, "scan.log"))
    if not failures.check(status == 0, "Ardour's scanner loads the plug-in (status %s)" % status):
        print(output)
        return 1

    recording_dir = os.path.join(work, "recording")
    os.makedirs(recording_dir)
    recording = helper(options.helper, ["generate", recording_dir], env)
    impulse_at = REGION_POSITION + recording["impulse"]
    direct_names = helper(options.helper, ["names", plugin], env)["programs"]

    session_dir = os.path.join(work, SESSION_NAME)
    export_dir = os.path.join(work, "export")
    plan = {
        "rate": RATE, "buffer_size": BUFFER_SIZE, "session_dir": session_dir,
        "session_name": SESSION_NAME, "track_name": TRACK_NAME, "plugin_id": PLUGIN_ID,
        "num_programs": len(PROGRAM_NAMES), "export_preset": EXPORT_PRESET_ID,
        "export_dir": export_dir,
    }
    plan_path = os.path.join(work, "create.lua")
    write_plan(plan_path, plan)
    rows, error = run_session_script(options.lua, "create", plan_path, env, work, "create")
    if not failures.check(error is None, error or "session created with the plug-in inserted"):
        return 1

    print("The session:")
    plugin_row = next(r for r in rows if r[0] == "plugin")
    failures.check(plugin_row[1] == PLUGIN_NAME and plugin_row[2] == PLUGIN_ID
                   and plugin_row[3] == "51",
                   "Ardour instantiates %s, ID %s, 51 parameters: got %s"
                   % (PLUGIN_NAME, PLUGIN_ID, plugin_row[1:4]))
    failures.check(plugin_row[4:7] == ["4", "4", "1"],
                   "one instance with 4 inputs and 4 outputs: got %s" % plugin_row[4:7])
    routing_row = next(r for r in rows if r[0] == "routing")
    failures.check(routing_row[1:5] == ["4", "4", "4", "4"],
                   "track and master have 4 inputs and 4 outputs: got %s" % routing_row[1:5])

    end = import_recording(session_dir, recording["files"], recording["frames"])
    routing = session_routing(session_dir)
    failures.check(routing.get("track_out") == [["Master/audio_in %d" % k] for k in range(1, 5)],
                   "track output k feeds master input k alone: %s" % routing.get("track_out"))
    failures.check(routing.get(TRACK_NAME + "_panner_bypassed") and
                   routing.get("Master_panner_bypassed"), "track and master panners bypassed")
    failures.check(routing.get("plugin") == (TRACK_NAME, PLUGIN_ID),
                   "the session file holds the plug-in on the track: %s" % (routing.get("plugin"),))

    print("Presets as Ardour lists them (the programs' names, by index):")
    failures.check(direct_names == PROGRAM_NAMES,
                   "the shared object names its programs %s" % direct_names)
    info_presets = [r for r in rows if r[0] == "info_preset"]
    instance_presets = [r for r in rows if r[0] == "preset"]
    for index, name in enumerate(PROGRAM_NAMES):
        uri = "VST:%s:%04d" % (PLUGIN_ID, index)
        labels = [r[2] for r in info_presets if r[1] == uri]
        # The plug-in browser numbers the entries itself, "<index> - <name>".
        failures.check(labels in ([name], ["%d - %s" % (index, name)]),
                       "plug-in list preset %s is %r: got %s" % (uri, name, labels))
        label = [r[3] for r in instance_presets if r[2] == uri]
        failures.check(label == [name], "instance preset %s is labelled %r: got %s"
                       % (uri, name, label))
    failures.check(len(info_presets) == len(PROGRAM_NAMES),
                   "%d presets listed: got %d" % (len(PROGRAM_NAMES), len(info_presets)))
    created_latency = next(r for r in rows if r[0] == "latency")
    print("  Ardour's latency after inserting (plug-in, track, worst route, worst output, I/O): "
          + ", ".join(created_latency[2:]))

    # One export per Ardour run (see run_session_script). Programs are switched back and forth
    # in the loaded session before exporting, so Ardour must follow the announced delay from 1024
    # to 0 and back; one user program gets a parameter set from Lua, another an automated output
    # gain that steps down in the middle of the noise burst.
    # Ardour 7 keeps plugin automation in beat time, in ticks of 1/1920 beat: 12.5 samples at the
    # session's 120 bpm. The step goes where a tick falls on a whole sample, inside the noise
    # burst and not on an engine cycle's boundary, so only a cycle split puts it there exactly.
    switch_at = REGION_POSITION + 36005
    automated_value = 0.3  # -6 dB
    gain_set = 0.6  # +3 dB
    jobs = [
        {"name": "spacing", "programs": [2, 1]},
        {"name": "uncalibrated", "programs": [0]},
        {"name": "user2", "programs": [1, 2], "params": [[OUTPUT_GAIN_2, gain_set]]},
        {"name": "automated", "programs": [3],
         "automation": [{"param": OUTPUT_GAIN_1,
                         "points": [[0, 0.5], [switch_at, automated_value]]}]},
    ]
    print("Exports against the shared object driven directly:")
    for job in jobs:
        if not render_and_check(options, job, plan, env, work, export_dir, plugin, recording_dir,
                                end, impulse_at, switch_at, automated_value, failures):
            return 1

    print("The plug-in's state through a saved session and a new Ardour process:")
    if not rename_in_session(options, session_dir, plugin, env, work, failures):
        return 1
    # One Ardour process selects the renamed program by its name, changes a value and saves.
    uri = "VST:%s:%04d" % (PLUGIN_ID, RENAMED_PROGRAM)
    save_job = {"name": "saved", "presets": [[RENAMED, uri]],
                "params": [[OUTPUT_GAIN_2, gain_set]], "save": True, "folder": export_dir,
                "start": 0, "end": end}
    plan_path = os.path.join(work, "save.lua")
    write_plan(plan_path, dict(plan, job=save_job))
    rows, error = run_session_script(options.lua, "render", plan_path, env, work, "save")
    if not failures.check(error is None and any(r[0] == "saved" for r in rows),
                          error or "Ardour restored the state, selected %r, set Output 2 Gain and"
                          " saved the session" % RENAMED):
        return 1
    failures.check(not any(r[0] == "preset_missing" for r in rows),
                   "  Ardour lists the restored program by its new name")
    # A new one loads the session and exports without touching anything.
    restored = {"name": "restored", "programs": [RENAMED_PROGRAM],
                "params": [[OUTPUT_GAIN_2, gain_set]], "restored": True}
    if not render_and_check(options, restored, plan, env, work, export_dir, plugin, recording_dir,
                            end, impulse_at, switch_at, automated_value, failures):
        return 1
    return 0


def rename_in_session(options, session_dir, plugin, env, work, failures):
    """The chunk Ardour saved with the session, through the plug-in: program RENAMED_PROGRAM
    selected and renamed, as a user does in the plug-in's window before saving."""
    path = os.path.join(session_dir, SESSION_NAME + ".ardour")
    tree = ET.parse(path)
    chunk = tree.getroot().find("./Routes/Route/Processor[@type='lxvst']/lxvst/chunk")
    if not failures.check(chunk is not None and bool((chunk.text or "").strip()),
                          "Ardour keeps the plug-in's state as a chunk in the session file"):
        return False
    saved, renamed = os.path.join(work, "ardour-bank.bin"), os.path.join(work, "renamed-bank.bin")
    with open(saved, "wb") as f:
        f.write(base64.b64decode(chunk.text))
    result = helper(options.helper, ["rename", plugin, saved, str(RENAMED_PROGRAM), RENAMED,
                                     renamed], env)
    failures.check(result["program"] == RENAMED, "  the plug-in took Ardour's chunk and renamed"
                   " program %d to %r" % (RENAMED_PROGRAM, result["program"]))
    with open(renamed, "rb") as f:
        chunk.text = base64.b64encode(f.read()).decode("ascii")
    # Ardour records the current program beside the chunk.
    chunk.set("program", str(RENAMED_PROGRAM))
    tree.write(path, encoding="UTF-8", xml_declaration=True)
    return True


def render_and_check(options, job, plan, env, work, export_dir, plugin, recording_dir, end,
                     impulse_at, switch_at, automated_value, failures):
    name = job["name"]
    folder = os.path.join(export_dir, name)
    os.makedirs(folder)
    program = job["programs"][-1]
    # A restored session is exported as it loads; the direct rendering makes its settings by hand.
    restored = job.get("restored", False)
    presets = [] if restored else [[PROGRAM_NAMES[p], "VST:%s:%04d" % (PLUGIN_ID, p)]
                                   for p in job["programs"]]
    lua_job = {"name": name, "presets": presets,
               "params": [] if restored else job.get("params", []),
               "automation": job.get("automation", []), "folder": folder, "start": 0, "end": end}
    plan_path = os.path.join(work, "render-%s.lua" % name)
    write_plan(plan_path, dict(plan, job=lua_job))

    def finished(rows):
        exported = find_export(folder, name)
        return (any(r[:2] == ["exported", name] for r in rows) and exported is not None
                and wave_frames(exported) == end)

    rows, error = run_session_script(options.lua, "render", plan_path, env, work,
                                     "render-" + name, finished)
    if not failures.check(error is None, error or "%s: session reloaded, %s, exported"
                          % (name, " then ".join(repr(p[0]) for p in presets) or "as it was")):
        return False
    if restored:
        labels = [r[3] for r in rows if r[0] == "preset" and r[1] == str(program)]
        failures.check(labels == [RENAMED], "  program %d is listed as %r: got %s"
                       % (program, RENAMED, labels))
    missing = [r[1] for r in rows if r[0] == "preset_missing"]
    failures.check(not missing, "  Ardour found the presets by the programs' names (missing: %s;"
                   " loaded by number instead)" % missing)
    failures.check(any(r[:2] == ["playlist", "1"] for r in rows),
                   "  the reloaded track's playlist holds the imported region")
    latencies = [r[1:] for r in rows if r[0] == "latency"]
    exported = find_export(folder, name)
    if not failures.check(exported is not None, "  one exported file"):
        return True

    settings = ["%d=%r" % (p[0], p[1]) for p in job.get("params", [])]

    def direct(path, preroll, extra):
        return helper(options.helper, ["render", plugin, recording_dir, path, str(REGION_POSITION),
                                       str(end), str(BUFFER_SIZE), str(program),
                                       str(preroll)] + extra, env)

    def compare(path):
        return helper(options.helper, ["compare", exported, path, str(impulse_at), str(MAX_LAG)],
                      env)

    reference = os.path.join(work, "reference-%s.wav" % name)
    rendered = direct(reference, 0, settings)
    announced = rendered["initial_delay"]
    failures.check(rendered["program"] == PROGRAM_NAMES[program],
                   "  driven directly, program %d is %r, announced delay %d"
                   % (program, rendered["program"], announced))
    print("  Ardour's latencies (plug-in, track, worst route, worst output, I/O) after each step: "
          + "; ".join("%s: %s" % (l[0], ", ".join(l[1:])) for l in latencies))
    failures.check(latencies[-1][1] == str(announced),
                   "  Ardour's plug-in latency at export equals the announced %d" % announced)
    c = compare(reference)
    # The correction filters' output depends on where their frames fall (see CORRECTION_HOP);
    # Ardour selects a set between two engine cycles, so the frames fall on a multiple of its
    # buffer size: find which. (Whatever the program announces: a wrong announcement must not
    # hide behind a wrong phase.)
    phase = 0
    phase_matters = False
    for preroll in range(BUFFER_SIZE, CORRECTION_HOP, BUFFER_SIZE):
        candidate = os.path.join(work, "reference-%s-%d.wav" % (name, preroll))
        direct(candidate, preroll, settings)
        other = compare(candidate)
        phase_matters = phase_matters or other["max_error"] != c["max_error"]
        if max(other["max_error"]) < max(c["max_error"]):
            c, reference, phase = other, candidate, preroll
    if phase_matters:
        print("  the correction filters' frames fall %d frames later in Ardour than in the direct"
              " rendering" % phase)
    failures.check(c["frames"] == end, "  exported %d frames: got %d" % (end, c["frames"]))
    # The direct rendering is late by the plug-in's delay; the export must be ahead of it by
    # exactly that: Ardour compensated.
    failures.check(c["lag"] == announced,
                   "  the direct rendering lags the export by %d frames (correlation %.6f, next"
                   " best %.6f): the announced delay" % (c["lag"], c["correlation"],
                                                        c["second_correlation"]))
    failures.check(c["reference_impulse_peak"] - impulse_at == announced,
                   "  directly, the impulse recorded at %d peaks in W at %d, %d late"
                   % (impulse_at, c["reference_impulse_peak"],
                      c["reference_impulse_peak"] - impulse_at))
    failures.check(c["exported_impulse_peak"] == impulse_at,
                   "  exported, it peaks in W at %d, %d off the recording: aligned"
                   % (c["exported_impulse_peak"], c["exported_impulse_peak"] - impulse_at))
    if job.get("automation"):
        after = os.path.join(work, "reference-%s-after.wav" % name)
        direct(after, phase, settings + ["%d=%r" % (OUTPUT_GAIN_1, automated_value)])
        stored = [int(r[2]) for r in rows if r[0] == "automation" and float(r[3]) == automated_value]
        failures.check(stored == [switch_at], "  the automation list holds the step at frame %d (%s)"
                       % (switch_at, stored))
        check_automation(options, exported, reference, after, c["lag"], switch_at, env, failures)
        return True
    failures.check(all(e <= TOLERANCE for e in c["max_error"]),
                   "  aligned samples match: max error W X Y Z %s (tolerance %g; peaks %s)"
                   % (fmt(c["max_error"]), TOLERANCE, fmt(c["peak"])))
    failures.check(c["unmatched_peak"] == 0.0,
                   "  the last %d exported frames, past the direct rendering's end, are silent"
                   % (c["unmatched_samples"] // 4))
    if settings:
        # The parameter set from Lua is what made the difference: without it, no match.
        plain = os.path.join(work, "reference-%s-plain.wav" % name)
        direct(plain, phase, [])
        p = compare(plain)
        failures.check(p["max_error"][1] > 0.1 * p["peak"][1] and p["max_error"][0] == 0.0,
                       "  without the parameter set in the session only X would differ, by %s"
                       % fmt([p["max_error"][1]]))
    return True


def check_automation(options, exported, before, after, lag, switch_at, env, failures):
    """Up to the automation's step the export equals the program as it is; from the step the
    plug-in crossfades to the program with the automated gain, which it equals once the fade
    (4 ms) is over: one clean change, starting at the frame the automation puts it."""
    s = helper(options.helper, ["switch", exported, before, after, str(lag), str(TOLERANCE)], env)
    first_new = s["last_frame_off_after"] + 1
    last_old = s["first_frame_off_before"] - 1
    fade = RATE * 4 // 1000
    failures.check(s["differing_samples"] > 0, "  the step changes the output at all")
    failures.check(last_old + 1 == switch_at,
                   "  the change starts at frame %d, where the automation puts it (export equal to"
                   " the first gain through frame %d)" % (switch_at, last_old))
    failures.check(0 < first_new - switch_at <= fade,
                   "  one clean crossfade: equal to the second gain from frame %d on, %d frames"
                   " after the step (at most %d)" % (first_new, first_new - switch_at, fade))


def fmt(values):
    return "[" + ", ".join("%.3g" % v for v in values) + "]"


if __name__ == "__main__":
    sys.exit(main())
