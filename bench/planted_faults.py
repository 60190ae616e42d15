#!/usr/bin/python3
"""Plants single faults in a copy of the tree and tells which ones the tests catch.

Each fault breaks one promise the architecture makes of the platform stand-in or the sound path
with a small textual patch. For each: the patch is applied to a scratch copy of the committed tree
(never to this one), the test binaries that could see it are rebuilt, a chosen set of tests runs,
and the file is put back. A fault is caught when a test fails; it survived when all pass.

    bench/planted_faults.py [--list] [NAME-REGEX]

The copy lives in build-faults/ (FAULTS_DIR overrides) and is built once, then rebuilt
incrementally per fault (ccache helps the first build). It is made afresh from HEAD on each run, so
commit what is to be measured. The sound-server and real-output tests are never run.
Exit status: 0 when every fault planted was caught, 1 when one survived, 2 on a broken run.
"""
import os
import re
import shutil
import subprocess
import sys
import time

# name, promise, [(file, old, new), ...], build targets, ctest regex
FAULTS = [
    ("posted-after-input", "posted messages come before input",
     [("platform/core/message.cpp", "if (!g_posted.empty()) {", "if (!g_posted.empty() && g_input.empty()) {")],
     ["platform_tests"], r"^Messages\."),
    ("paint-after-timer", "a paint comes before a due timer",
     [("platform/core/message.cpp", "if (Window *w = FindPaint()) {",
       "if (Window *w = FindPaint(); w && std::none_of(Timers().begin(), Timers().end(), "
       "[](const Timer &t) { return !Before(host::Now(), t.due); })) {")],
     ["platform_tests"], r"^Messages\."),
    ("invalidation-replaces", "many invalidations give one paint covering their union",
     [("platform/core/paint.cpp", "    w->update.push_back(r);\n}", "    w->update.assign(1, r);\n}")],
     ["platform_tests"], r"^(Messages|WindowsPaint)\."),
    ("beginpaint-keeps-region", "BeginPaint validates the update region",
     [("platform/core/paint.cpp", "    bool erase = w->erase;\n    w->update.clear();", "    bool erase = w->erase;")],
     ["platform_tests"], r"^(Messages|WindowsPaint)\."),
    ("timer-schedule-slips", "a late dispatch does not delay the next tick",
     [("platform/core/message.cpp", "earliest->due += (late / earliest->interval + 1) * earliest->interval;",
       "earliest->due = now + earliest->interval;")],
     ["platform_tests", "program_tests"], r"^(Messages|Metronome)\."),
    ("settimer-keeps-period", "SetTimer on a running id restarts its period",
     [("platform/core/timers.cpp", "t = Timer{handle, id, elapse, due, proc};", "t = Timer{handle, id, elapse, t.due, proc};")],
     ["platform_tests", "program_tests"], r"^(Messages|Metronome|Tuning)\."),
    ("timers-outlive-window", "timers die with their window",
     [("platform/core/timers.cpp", "return t.window == handle; }", "return t.window == handle && false; }")],
     ["platform_tests"], r"^Messages\."),
    ("timers-due-together-reversed", "timers due at once tick in the order they were set",
     [("platform/core/message.cpp", "(!earliest || Before(t.due, earliest->due))",
       "(!earliest || !Before(earliest->due, t.due))")],
     ["platform_tests"], r"^Messages\."),
    ("timerproc-and-wndproc", "a timer procedure runs instead of the window procedure",
     [("platform/core/message.cpp", "        proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);\n        return 0;",
       "        proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);")],
     ["platform_tests"], r"^Messages\."),
    ("message-time-is-now", "every message carries the time it was generated",
     [("platform/core/message.cpp", "if (msg->message != WM_PAINT) g_messageTime = msg->time;",
       "if (msg->message != WM_PAINT) g_messageTime = host::Now();")],
     ["platform_tests", "program_tests", "program_sim_tests"], r"^(Messages|Metronome|Tuning|EndToEnd)\."),
    ("sound-at-now", "a sound is placed at its message's time + the latency",
     [("platform/core/sound.cpp", "wave->rate, core::CurrentMessageTime());", "wave->rate, host::Now());")],
     ["program_tests", "program_sim_tests"], r"^(Metronome|Tuning|EndToEnd)\."),
    ("hidden-child-leaves-pixels", "hiding a child invalidates the parent area beneath it",
     [("platform/core/window.cpp", "    if (w->parent == nullptr || IsVisible(w->parent)) LayoutChanged();",
       "    if (show && (w->parent == nullptr || IsVisible(w->parent))) LayoutChanged();")],
     ["platform_tests", "program_tests", "program_sim_tests"], r"^(WindowsPaint|Tuning|EndToEnd)\."),
    ("combo-text-after-selendok", "a combo box's text is its new choice when CBN_SELENDOK is sent",
     [("platform/controls/combobox.cpp", "    bool changed = false;\n    if (ok && c->highlighted",
       "    bool changed = false;\n    NotifyParent(combo, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);\n"
       "    if (!(c = StateOf<ComboBox>(combo))) return;\n    if (ok && c->highlighted"),
      ("platform/controls/combobox.cpp",
       "    Changed(combo, changed ? a11y::Change::Value : a11y::Change::State);\n"
       "    NotifyParent(combo, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);\n",
       "    Changed(combo, changed ? a11y::Change::Value : a11y::Change::State);\n")],
     ["controls_tests", "program_tests"], r"^(ComboBoxes|Metronome|Routing)\."),
    ("accelerator-to-focus", "accelerators reach the main window whatever control has the focus",
     [("platform/core/message.cpp", "SendMessageW(TopLevelOf(FromHandle(handle))->handle, WM_COMMAND",
       "SendMessageW(GetFocus() ? GetFocus() : handle, WM_COMMAND")],
     ["program_sim_tests", "controls_tests"], r"^(EndToEnd|KeyboardOnly|Keyboard)\."),
    ("accelerator-ignores-shift", "accelerators need exactly their modifiers",
     [("platform/core/message.cpp", "        if (bool(e.flags & FSHIFT) != IsKeyDown(VK_SHIFT)) continue;\n", "")],
     ["program_sim_tests", "controls_tests"], r"^(EndToEnd|KeyboardOnly|Keyboard)\."),
    ("space-does-not-press", "Space presses a focused button or box",
     [("platform/controls/button.cpp", "if (key == VK_SPACE && !b->tracking) {", "if (key == VK_RETURN && !b->tracking) {")],
     ["controls_tests", "program_sim_tests"], r"^(Buttons|Keyboard|KeyboardOnly)\."),
    ("shift-tab-forward", "Shift+Tab moves the focus backwards",
     [("platform/core/keyboard.cpp", "NextStop(active, from, e.shift)", "NextStop(active, from, false)")],
     ["controls_tests", "program_sim_tests"], r"^(Keyboard|KeyboardOnly)\."),
    ("home-pages", "Home on a scroll bar goes to its start",
     [("platform/controls/scrollbar.cpp", "case VK_HOME: return SB_LEFT;", "case VK_HOME: return SB_PAGELEFT;")],
     ["controls_tests", "program_sim_tests"], r"^(ScrollBars|Keyboard|KeyboardOnly)\."),
    ("icon-mask-unchecked", "every length in a resource is bounds-checked",
     [("platform/core/resfile.cpp",
       "    if (maskStride * static_cast<std::size_t>(layout.height) > data.size - maskAt) return false;\n", "")],
     ["resources_test"], r"^(ResourceReader|ResourceApi|CompiledResources)\."),
    ("host-path-separator", "host paths are shown with \\ and map back exactly",
     [("platform/core/files.cpp", "        if (c == u'\\\\') {", "        if (c == u'/') {")],
     ["platform_tests", "program_sim_tests"], r"^(HostPaths|Files|FileSafety|SettingsFiles|ProgramFolder)\."),
    ("save-not-durable", "the settings are made durable before they replace the old record",
     [("platform/core/files.cpp", "    if (fsync(f->fd) != 0) return errno;\n", "")],
     ["platform_tests", "program_sim_tests"], r"^(Files|FileSafety|SettingsFiles)\."),
    ("runtime-folder-group-open", "a runtime folder open to anyone but the user is refused",
     [("platform/host/sdl/instances.cpp", "if ((info.st_mode & 077) != 0) {", "if ((info.st_mode & 007) != 0) {")],
     ["desktop_host_tests"], r"^(Copies|Modes/RuntimeFolder)\."),
    ("wait-excludes-its-end", "a wait fires every timer due up to and including its end",
     [("platform/host/headless/headless_host.cpp", "if (hasDeadline && std::int32_t(deadline - g_waitUntil) <= 0) {",
       "if (hasDeadline && std::int32_t(deadline - g_waitUntil) < 0) {")],
     ["program_sim_tests", "dialogs_sim_tests"], r"^(EndToEnd|KeyboardOnly|DialogsSim|Settings)\."),
    ("new-sound-does-not-cut", "one voice: a new sound cuts off the one playing at its start",
     [("platform/host/sound/scheduler.cpp",
       "std::int64_t stop = next == entries_.end() ? end : std::min(end, next->frame);",
       "std::int64_t stop = end;")],
     ["program_sim_tests", "desktop_host_tests"], r"^(EndToEnd|Scheduler)\."),
    ("late-sound-dropped", "a sound a little late starts whole at the first frame still open",
     [("platform/host/sound/scheduler.cpp",
       "        if (double(earliest - frame) > double(latencyNs_) * 1e-9 * timing_.rate) return false;\n"
       "        frame = earliest;", "        return false;")],
     ["desktop_host_tests"], r"^(Scheduler|SoundManager)\."),
    ("waiting-sounds-lost", "sounds asked for while no output plays are placed when one starts",
     [("platform/host/sound/scheduler.cpp", "if (frame >= Earliest(nowNs) && Place(entry, nowNs, &scheduled)",
       "if (frame < 0 && Place(entry, nowNs, &scheduled)")],
     ["desktop_host_tests"], r"^(Scheduler|SoundManager)\."),
    ("clock-not-restarted-after-gap", "the device clock fit restarts after a gap",
     [("platform/host/sound/device_clock.cpp", "    if (std::fabs(off) > gap) {", "    if (std::fabs(off) > gap && false) {")],
     ["desktop_host_tests"], r"^(DeviceClock|Scheduler)\."),
    ("clock-rate-assumed", "the device's rate is measured, never assumed",
     [("platform/host/sound/device_clock.cpp", "    if (weight_ < 3 || cxx_ <= 0) return nominal_;\n    // The slope",
       "    return nominal_;\n    // The slope")],
     ["desktop_host_tests"], r"^(DeviceClock|Scheduler)\."),
    ("clock-line-jumps", "the schedule line follows the fit smoothly, never jumping within a run",
     [("platform/host/sound/device_clock.cpp", "lock_ = Line{nowNs, lock_.At(nowNs), rate + pull / kSteerSeconds};",
       "lock_ = Line{nowNs, fitNow, rate};")],
     ["desktop_host_tests"], r"^(DeviceClock|Scheduler)\."),
    ("clock-stall-unseen", "a device that stopped asking is taken to go on from now",
     [("platform/host/sound/device_clock.cpp", "double(nowNs - lastT_) * 1e-9 > stall_", "double(nowNs - lastT_) * 1e-9 > 1000 * stall_")],
     ["desktop_host_tests"], r"^(DeviceClock|Scheduler)\."),
    ("conversion-linear", "each sound is converted once with good quality",
     [("platform/host/sound/sound_cache.cpp", "SRC_SINC_MEDIUM_QUALITY", "SRC_LINEAR")],
     ["desktop_host_tests"], r"^(SoundConversion|SoundCache)\."),
    ("web-nominal-band-off", "the browser's output keeps whole-millisecond intervals exact (nominal rate)",
     [("platform/host/web/web_host.cpp", "constexpr double kNominalBand = 3e-6;", "constexpr double kNominalBand = 0;")],
     ["desktop_host_tests"], r"^(DeviceClock|Scheduler)\."),
]


def Mirror(source, target):
    """Makes `target` hold what `source` holds, touching only the files that differ (its build/ stays)."""
    wanted = set()
    for folder, _, files in os.walk(source):
        for f in files:
            relative = os.path.relpath(os.path.join(folder, f), source)
            wanted.add(relative)
            src, dst = os.path.join(source, relative), os.path.join(target, relative)
            with open(src, "rb") as a:
                data = a.read()
            if os.path.isfile(dst) and not os.path.islink(dst):
                with open(dst, "rb") as b:
                    if b.read() == data:
                        continue
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy2(src, dst)
    for folder, dirs, files in os.walk(target):
        if os.path.relpath(folder, target) == ".":
            dirs[:] = [d for d in dirs if d != "build"]
        for f in files:
            relative = os.path.relpath(os.path.join(folder, f), target)
            if relative not in wanted:
                os.remove(os.path.join(target, relative))


def run(command, cwd, log):
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def main():
    args = sys.argv[1:]
    if args and args[0] == "--list":
        for name, promise, *_ in FAULTS:
            print(f"{name:32} {promise}")
        return 0
    only = re.compile(args[0]) if args else None
    repo = subprocess.run(["git", "rev-parse", "--show-toplevel"], cwd=os.path.dirname(os.path.abspath(__file__)),
                          capture_output=True, text=True, check=True).stdout.strip()
    work = os.environ.get("FAULTS_DIR", os.path.join(repo, "build-faults"))
    tree = os.path.join(work, "tree")
    build = os.path.join(tree, "build")
    log = os.path.join(work, "faults.log")
    os.makedirs(tree, exist_ok=True)
    open(log, "w").close()
    # The committed tree, laid over the copy: files that did not change keep their times, so the
    # copy's build stays valid from one run to the next.
    archive = subprocess.run(["git", "archive", "HEAD"], cwd=repo, capture_output=True, check=True).stdout
    stage = os.path.join(work, "stage")
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    subprocess.run(["tar", "-x", "-C", stage], input=archive, check=True)
    Mirror(stage, tree)
    shutil.rmtree(stage)
    jobs = os.environ.get("FAULTS_JOBS", "2")
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")) and run(["cmake", "--preset", "default"], tree, log):
        print(f"configuring the copy failed: see {log}")
        return 2
    print("building the copy ...", flush=True)
    if run(["cmake", "--build", "build", "-j", jobs, "--target", "cadenzo_checks"], tree, log):
        print(f"building the copy failed: see {log}")
        return 2

    caught = survived = broken = 0
    for name, promise, patches, targets, tests in FAULTS:
        if only and not only.search(name):
            continue
        started = time.monotonic()
        originals = {}
        applied = True
        for path, old, new in patches:
            full = os.path.join(tree, path)
            current = open(full).read()
            originals.setdefault(full, current)
            if current.count(old) != 1:
                applied = False
                break
            open(full, "w").write(current.replace(old, new))
        verdict = "NOT PLANTED"  # its text is no longer in the file: the fault needs updating
        if applied:
            with open(log, "a") as out:
                out.write(f"\n=== {name}\n")
            if run(["cmake", "--build", "build", "-j", jobs, "--target", *targets], tree, log):
                verdict = "broken (does not build)"
            else:
                failed = run(["ctest", "--test-dir", "build", "-j", jobs, "-R", tests, "-LE", "real-output|sound-server",
                              "--timeout", "120", "--no-tests=error"], tree, log)
                verdict = "caught" if failed else "SURVIVED"
        for full, text in originals.items():
            open(full, "w").write(text)
        if verdict == "caught":
            caught += 1
        elif verdict == "SURVIVED":
            survived += 1
        else:
            broken += 1
        print(f"{verdict:10} {name:32} {promise} ({time.monotonic() - started:.0f} s)", flush=True)
    # The copy is left as committed, its build brought back in step for the next run.
    run(["cmake", "--build", "build", "-j", jobs, "--target", "cadenzo_checks"], tree, log)
    print(f"{caught} caught, {survived} survived, {broken} not planted of {caught + survived + broken} faults")
    return 2 if broken else (1 if survived else 0)


if __name__ == "__main__":
    sys.exit(main())
