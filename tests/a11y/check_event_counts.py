#!/usr/bin/python3
"""Counts what a screen reader is sent while Plugsweep works on a large registry: Select All on
2,000 modules, then the removal of all of them. Each action must send a bounded number of
accessibility events, whatever the number of rows, so that a screen reader's queue stays short
and the outcome alert is spoken when it appears. Between the two, a plan that cannot be written
sends the user back to the list: the focus is announced on a row, and Down stays in the list.

Usage: check_event_counts.py BUILD [MODULES] (it starts its own private session bus)
"""

import collections
import os
import shutil
import subprocess
import sys
import tempfile
import time

from gi.repository import GLib
import pyatspi

from a11y_support import (application, check, ending, focus_window, press, pump, run, start_display,
                          states_of, wait_for, write)

TIMEOUT = 120.0
# However many rows, an action may send this many events: the box's own state, focus and the
# window's changes for Select All; the progress dialog's and the alert's appearance for the
# removal, plus its progress reports, at most one every REPORT_SECONDS (the count and the line).
SELECT_ALL_BOUND = 12
REMOVAL_BOUND = 50
REPORT_SECONDS = 3.0
EVENT_TYPES = ("object:state-changed", "object:property-change", "object:value-changed",
               "object:children-changed", "object:text-changed", "object:visible-data-changed",
               "object:active-descendant-changed", "object:selection-changed", "window", "focus")


def find_first(node, predicate, depth=0):
    """The first node in document order that answers predicate; a large list's rows are not
    walked, only its first."""
    if predicate(node):
        return node
    count = node.childCount
    if node.getRoleName() == "list":
        count = min(count, 1)
    for i in range(count):
        child = node.getChildAtIndex(i)
        if child is not None and depth < 12:
            found = find_first(child, predicate, depth + 1)
            if found is not None:
                return found
    return None


def machine(root, count):
    """A registry of count modules, each a small bundle in the module folders."""
    entries = []
    for n in range(count):
        uid = "7A000000-0000-4000-8000-%012d" % n
        folder = "M%05d" % n
        plugin = os.path.join(root, "Library/Printers/Tavix/Modules", folder, folder + ".plugin")
        write(os.path.join(plugin, "Contents/Info.plist"), b"module\n")
        entries.append("<key>%s</key><dict><key>InstallPath</key><string>%s</string>"
                       "<key>ModuleName</key><string>Module %05d vLX</string></dict>" % (uid, plugin, n))
    registry = ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
                "<key>KEP2_KEY_MODULES</key><dict>%s</dict>"
                "<key>KEP2_KEY_VERSION</key><string>2</string></dict></plist>\n" % "".join(entries))
    write(os.path.join(root, "Library/Preferences/com.tavix.KEPL2.plist"), registry.encode())


class Recorder:
    """Every event of the kinds a screen reader listens to, with the time it came."""

    def __init__(self):
        self.events = []
        # Asking each source its role costs a round trip to the program; the removal's events
        # are counted by kind alone.
        self.roles = True
        for kind in EVENT_TYPES:
            pyatspi.Registry.registerEventListener(self.take, kind)

    def take(self, event):
        role = ""
        if self.roles:
            try:
                role = event.source.getRoleName() if event.source is not None else ""
            except GLib.GError:
                role = "?"
        self.events.append((time.monotonic(), event.type, role))

    def settle(self, quiet=1.5, limit=TIMEOUT):
        """Waits until no event has come for quiet seconds."""
        end = time.monotonic() + limit
        while time.monotonic() < end:
            seen = len(self.events)
            pump(quiet)
            if len(self.events) == seen:
                return
        raise SystemExit("the events never stopped coming")

    def since(self, start):
        return [e for e in self.events[start:]]


def summary(events):
    counts = collections.Counter("%s on %s" % (kind, role) for _, kind, role in events)
    return ", ".join("%d %s" % (n, what) for what, n in counts.most_common(8))


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) == 3 else 2000
    workdir = tempfile.mkdtemp(prefix="a11y-events-")
    home, root = os.path.join(workdir, "home"), os.path.join(workdir, "root")
    os.makedirs(os.path.join(home, "Library/Preferences"))
    machine(root, count)
    # The machine root is this test's own, so the removal runs with the test's rights: a stand-in
    # for pkexec starts the launcher directly.
    pkexec = os.path.join(workdir, "pkexec-as-caller")
    write(pkexec, b'#!/bin/sh\nexec "$@"\n', 0o755)

    xvfb, display = start_display()
    runtime = os.path.join(workdir, "runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, DISPLAY=display, HOME=home, PLATFORM_ROOT=root, XDG_RUNTIME_DIR=runtime,
               PLATFORM_PKEXEC=pkexec, QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_QPA_PLATFORM="xcb", LANG="C.UTF-8", LANGUAGE="", LC_ALL="")
    # Into a file: a removal logs a line per step, more than a pipe nobody reads holds.
    log = open(os.path.join(workdir, "program.log"), "w+")
    program = subprocess.Popen([os.path.join(build, "Plugsweep.app/Contents/MacOS/Plugsweep")], env=env,
                               stdout=log, stderr=subprocess.STDOUT)
    try:
        os.environ["DISPLAY"] = display
        app = wait_for("Plugsweep on the accessibility bus", lambda: application("Plugsweep"), TIMEOUT)
        table = wait_for("the checklist", lambda: find_first(
            app, lambda n: n.getRoleName() == "list" and n.childCount >= count))
        focus_window(display, app.getChildAtIndex(0).name, TIMEOUT)
        box = find_first(app, lambda n: n.getRoleName() == "check box" and n.name == "Select All")
        check(box is not None, "the Select All box is on the bus")
        recorder = Recorder()
        recorder.settle()

        start = len(recorder.events)
        press(display, "alt+s")
        wait_for("the rows ticked", lambda: "checked" in states_of(table.getChildAtIndex(count - 1)), 30)
        recorder.settle()
        events = recorder.since(start)
        print("Select All on %d rows: %d events: %s" % (count, len(events), summary(events)), flush=True)
        check(len(events) <= SELECT_ALL_BOUND,
              "Select All sends at most %d events, not one per row: %d" % (SELECT_ALL_BOUND, len(events)))
        check(any(kind == "object:state-changed:checked" and role == "check box" for _, kind, role in events),
              "Select All announces its own new state")
        check("checked" in states_of(table.getChildAtIndex(0)), "the first row reads as ticked")

        # A plan that cannot be written (a folder in its place): Back to List, the alert's
        # default, gives the list the focus, announced on a row, and Down stays in the list.
        plan = os.path.join(home, "Library/Preferences/com.tavix.pluginUnInstall.plist")
        os.makedirs(plan)
        press(display, "alt+u")
        wait_for("the alert about the plan", lambda: find_first(
            application("Plugsweep") or app, lambda n: n.getRoleName() == "alert"), 30)
        recorder.settle()
        start = len(recorder.events)
        press(display, "Return")
        first = wait_for("the focus on a row", lambda: "focused" in states_of(table.getChildAtIndex(0)), 30)
        recorder.settle()
        events = recorder.since(start)
        check(first and any(kind in ("focus:", "object:state-changed:focused") and role == "check box"
                            for _, kind, role in events),
              "after Back to List the focused row is announced: %s" % summary(events))
        press(display, "Down")
        wait_for("Down on the next row", lambda: "focused" in states_of(table.getChildAtIndex(1)), 30)
        check("focused" not in states_of(box), "Down stays in the list")
        os.rmdir(plan)

        recorder.roles = False
        start = len(recorder.events)
        pressed = time.monotonic()
        press(display, "alt+u")
        alert = wait_for("the outcome alert", lambda: find_first(
            application("Plugsweep") or app, lambda n: n.getRoleName() == "alert"), TIMEOUT)
        shown = time.monotonic()
        recorder.settle()
        events = recorder.since(start)
        before_alert = [e for e in events if e[0] < shown]
        print("removal of %d modules (%.1f s): %d events, %d before the alert: %s"
              % (count, shown - pressed, len(events), len(before_alert), summary(events)), flush=True)
        # The reports come at a human pace: their number follows the time the removal takes,
        # never the number of modules.
        reports = int((shown - pressed) / REPORT_SECONDS) + 2
        values = [kind for _, kind, _ in events if kind.startswith("object:property-change:accessible-value")]
        names = [kind for _, kind, _ in events if kind.startswith("object:property-change:accessible-name")]
        descriptions = [kind for _, kind, _ in events
                        if kind.startswith("object:property-change:accessible-description")]
        check(len(events) <= REMOVAL_BOUND + 2 * reports,
              "the removal sends at most %d events, not one per module: %d" % (REMOVAL_BOUND + 2 * reports, len(events)))
        check(len(values) <= reports, "the count is reported at most every %.0f s: %d reports in %.1f s"
              % (REPORT_SECONDS, len(values), shown - pressed))
        check(len(names) <= 12 + reports and len(descriptions) <= 2,
              "names and descriptions do not change per module: %d and %d" % (len(names), len(descriptions)))
        check(alert.name != "", "the alert is named by its title: %r" % alert.name)
        check("showing" in states_of(alert), "the alert is showing")
        press(display, "Return")
    finally:
        program.terminate()
        try:
            program.wait(timeout=10)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
        log.seek(0)
        output = log.read()
        log.close()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(workdir, ignore_errors=True)
        lines = output.splitlines()
        print("== program output (%d lines, the first and last 10)\n%s" %
              (len(lines), "\n".join(lines[:10] + ["..."] + lines[-10:])), flush=True)
    return ending()


if __name__ == "__main__":
    run(main)
