#!/usr/bin/python3
"""The real cadenzo as a screen reader sees it, on a private AT-SPI bus (atspi_session.sh sets it up).

Usage: atspi_check.py CADENZO CONFIG_DIR TRACE_FILE
Finds the program on the bus, checks every control of the main window (role, name, state), the tempo
slider's value and range, Start's click action (a click in the program's trace, the new name heard as
an event), Sound unchecked through the interface (kept in the settings written at exit), and About
and Help as dialogs with their "ok" button. Prints one line per check; exits 1 on the first failure.
"""
import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

cadenzo, config, trace = sys.argv[1:4]
failures = 0


def check(ok, what):
    global failures
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures += 1


def pump(seconds):
    """Serve pyatspi's events for a while."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.01)


def until(predicate, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        pump(0.05)
    return predicate()


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "Cadenzo":
            return app
    return None


def walk(node, out):
    for child in node:
        if child is None:
            continue
        out.append(child)
        walk(child, out)
    return out


def by(objects, role, name=None):
    return [o for o in objects if o.getRole() == role and (name is None or o.name == name)]


def states(o):
    return o.getState()


# A runtime folder of its own: another copy running on the machine is then not found and brought forward.
runtime = os.path.join(config, "run")
os.makedirs(runtime, mode=0o700, exist_ok=True)
env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime, CADENZO_TRACE=trace,
           SDL_AUDIODRIVER="dummy", CADENZO_AUDIO="sdl", CADENZO_SCALE="1")
program = subprocess.Popen([cadenzo], env=env)
try:
    app = until(find_app, 20)
    check(app is not None, "the program is on the accessibility bus as an application named Cadenzo")
    if app is None:
        sys.exit(1)
    frames = [c for c in app if c is not None and c.getRole() == pyatspi.ROLE_FRAME]
    check(len(frames) == 1, "one frame: the main window")
    objects = walk(frames[0], [])

    start = by(objects, pyatspi.ROLE_PUSH_BUTTON, "Start Metronome")
    check(len(start) == 1, "a push button named Start Metronome")
    notes = [o.name for o in by(objects, pyatspi.ROLE_PUSH_BUTTON) if o.name != "Start Metronome"]
    check(notes == ["A1", "A2", "A3", "D min", "Bb1", "Bb2", "Bb3", "Bb maj"], "the eight note buttons: %s" % notes)
    boxes = by(objects, pyatspi.ROLE_CHECK_BOX)
    check([b.name for b in boxes] == ["Sound", "Color"], "check boxes Sound and Color")
    check(all(states(b).contains(pyatspi.STATE_CHECKED) for b in boxes), "both checked")
    radios = by(objects, pyatspi.ROLE_RADIO_BUTTON)
    check([r.name for r in radios] == ["none", "1 sec", "3 sec", "1x", "3x", "5x"], "six radio buttons")
    checked = [r.name for r in radios if states(r).contains(pyatspi.STATE_CHECKED)]
    check(checked == ["none", "1x"], "none and 1x selected: %s" % checked)
    relations = radios[1].getRelationSet()
    group = [r for r in relations if r.getRelationType() == pyatspi.RELATION_MEMBER_OF]
    check(len(group) == 1 and group[0].getNTargets() == 3, "1 sec is a member of a group of three")
    groupings = [g.name for g in by(objects, pyatspi.ROLE_GROUPING)]
    check(groupings == ["Delay", "Repeat"], "the group boxes as named groupings: %s" % groupings)
    combos = by(objects, pyatspi.ROLE_COMBO_BOX)
    check([c.name for c in combos] == ["None", "Concert"], "two drop-down lists named by their choice")
    check(len(combos) == 2 and combos[0].childCount == 7, "the time signature's seven items")
    labels = [o.name for o in walk(frames[0], []) if o.getRole() == pyatspi.ROLE_LABEL]
    check(labels[:2] == ["Metronome Speed = 60 Beats/Minute", "Tuning Notes"] and len(labels) == 3,
          "the coloured bars as labels: %s" % labels)
    sliders = by(objects, pyatspi.ROLE_SLIDER)
    check(len(sliders) == 1, "one slider")
    value = sliders[0].queryValue()
    check((value.currentValue, value.minimumValue, value.maximumValue) == (60, 30, 240),
          "the tempo slider reports %s in %s...%s" % (value.currentValue, value.minimumValue, value.maximumValue))
    for o in objects:
        if o.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
                           pyatspi.ROLE_SLIDER, pyatspi.ROLE_COMBO_BOX):
            s = states(o)
            if not (s.contains(pyatspi.STATE_SHOWING) and s.contains(pyatspi.STATE_ENABLED)
                    and s.contains(pyatspi.STATE_FOCUSABLE)):
                check(False, "%s is showing, enabled and focusable" % o.name)
                break
    else:
        check(True, "every control is showing, enabled and focusable")

    # Start through the interface: its click action.
    heard = []
    pyatspi.Registry.registerEventListener(lambda e: heard.append((e.source.name, e.type)),
                                           "object:property-change:accessible-name")
    action = start[0].queryAction()
    check(action.nActions == 1 and action.getName(0) == "click", "Start has the action click")
    action.doAction(0)
    renamed = until(lambda: start[0].name == "Stop Metronome", 5)
    check(renamed, "Start's name becomes Stop Metronome")
    check(until(lambda: any(name == "Stop Metronome" for name, _ in heard), 5),
          "the name change is heard as an event")
    pump(1.5)
    with open(trace) as f:
        clicks = [line for line in f if " sound 1026 " in line or line.startswith("sound 1026")]
    check(len(clicks) >= 1, "a click is in the program's record (%d)" % len(clicks))

    # The tempo through the interface.
    value.currentValue = 63
    check(until(lambda: sliders[0].queryValue().currentValue == 63, 5), "the slider set to 63")
    check(until(lambda: "63" in sliders[0].name, 5), "and named by the tempo bar's new text: " + sliders[0].name)

    # Sound unchecked through the interface.
    boxes[0].queryAction().doAction(0)
    check(until(lambda: not states(boxes[0]).contains(pyatspi.STATE_CHECKED), 5), "Sound unchecked")

    # A time signature chosen from the list's items.
    item = combos[0].getChildAtIndex(2)
    check(item.name == "3/4" and item.queryAction().getName(0) == "press", "the list's third item, 3/4, presses")
    item.queryAction().doAction(0)
    check(until(lambda: combos[0].name == "3/4", 5), "pressing it chooses 3/4")
    check(until(lambda: item.getState().contains(pyatspi.STATE_SELECTED), 5), "and it is the selected item")

    # About by its key, Help from the Tools menu (the window is at scale 1: its pixels are the screen's).
    def dialog():
        for c in app:
            if c is not None and c.getRole() == pyatspi.ROLE_DIALOG:
                return c
        return None

    def xdotool(*args):
        subprocess.run(["xdotool"] + list(args), check=False, timeout=10)

    xdotool("search", "--sync", "--class", "cadenzo", "windowfocus", "--sync")
    # Tab from the keyboard: the focus, heard as a state change, is on the slider.
    focused = []
    pyatspi.Registry.registerEventListener(
        lambda e: focused.append(e.source.name) if e.detail1 else None, "object:state-changed:focused")
    xdotool("key", "Tab")
    check(until(lambda: states(sliders[0]).contains(pyatspi.STATE_FOCUSED), 5), "Tab puts the focus on the slider")
    check(until(lambda: sliders[0].name in focused, 5), "and the focus is heard")
    window = subprocess.run(["xdotool", "search", "--class", "cadenzo"], capture_output=True, text=True,
                            timeout=10).stdout.split()
    for title, opening in (("About Cadenzo", [("key", "ctrl+a")]),
                           ("Help", [("click", 16, 307), ("click", 30, 259)])):
        for step in opening:
            if step[0] == "key":
                xdotool("key", step[1])
            elif window:
                xdotool("mousemove", "--window", window[0], str(step[1]), str(step[2]), "click", "1")
                pump(0.3)
        shown = until(dialog, 5)
        check(shown is not None and shown.name == title, "%s appears as a dialog" % title)
        if shown is None:
            continue
        ok = [o for o in walk(shown, []) if o.getRole() == pyatspi.ROLE_PUSH_BUTTON]
        check([o.name for o in ok] == ["ok"], "with its ok button")
        texts = [o.name for o in walk(shown, []) if o.getRole() == pyatspi.ROLE_LABEL]
        check(any("Cadenzo v2.1" in t for t in texts), "and its text")
        if ok:
            ok[0].queryAction().doAction(0)
        check(until(lambda: dialog() is None, 5), "its ok closes it")
finally:
    program.send_signal(signal.SIGTERM)
    try:
        program.wait(10)
    except subprocess.TimeoutExpired:
        program.kill()

with open(os.path.join(config, "cadenzo", "Cadenzo.ini"), "rb") as f:
    record = f.read()
check(len(record) == 7 and record[5] == 0 and record[6] == 1, "Sound off in the settings written at exit")
check(len(record) == 7 and record[0] == 33, "the tempo 63 kept")
check(len(record) == 7 and record[4] == 2, "the time signature 3/4 kept")
print("checks done: %d failed" % failures, flush=True)
sys.exit(1 if failures else 0)
