#!/usr/bin/python3
"""Runs one window on a virtual display with the accessibility bridge on, dumps the tree that a
screen reader sees, and checks its checklist: the list's name, each row a check box named by its
text, the disabled rows' state and reason, and what Space does to the focused row (a state-change
event and the checked state) and to a disabled row (nothing).

Usage: check_checklist_tree.py host|plugsweep BUILD (it starts its own private session bus)
"""

import os
import shutil
import subprocess
import sys
import tempfile

import pyatspi

from a11y_support import (application, check, ending, focus_window, press, pump, run, start_display,
                          states_of, wait_for, write)


def describe(node):
    states = sorted(states_of(node) & {"enabled", "sensitive", "focusable", "focused", "checked",
                                       "checkable", "showing", "default", "modal"})
    line = "[%s] %r" % (node.getRoleName(), node.name)
    if node.description:
        line += " description=%r" % node.description
    return line + (" " + " ".join(states) if states else "")


def dump(node, depth=0, out=None):
    out = [] if out is None else out
    out.append("  " * depth + describe(node))
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            dump(child, depth + 1, out)
    return out


def find_all(node, predicate, found=None):
    found = [] if found is None else found
    if predicate(node):
        found.append(node)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            find_all(child, predicate, found)
    return found


def host_setup(build, home, root):
    """Oxlade's pane with one host found, one whose folder is gone (a disabled row)."""
    prefs = os.path.join(home, "Library/Preferences")
    found = os.path.join(home, "Applications/Photo Editor 6/Plug-ins")
    os.makedirs(found)
    write(os.path.join(prefs, "com.tavix.PSPath.PE6"), b"Photo Editor 6\0" + found.encode() + b"\0")
    gone = os.path.join(home, "Applications/Photo Editor 5/Plug-ins")
    write(os.path.join(prefs, "com.tavix.PSPath.PE5"), b"Photo Editor 5\0" + gone.encode() + b"\0")
    return [os.path.join(build, "bin/installer-host"), os.path.join(build, "Oxlade.bundle")], "installer-host"


def plugsweep_setup(build, home, root):
    """Plugsweep with two registered modules and one outside the module folders (a disabled row)."""
    entries = []
    for uid, name, folder in (("6F1B2C3D-0001-4A5B-9C8D-00000000A1F0", "Alpha vLX Module", "Alpha"),
                              ("6F1B2C3D-0002-4A5B-9C8D-00000000B2E1", "Beta vLX", "Beta"),
                              ("6F1B2C3D-0003-4A5B-9C8D-00000000C3D2", "Outside vLX Module", "/Outside")):
        if folder.startswith("/"):
            plugin = os.path.join(root, "opt" + folder, folder[1:] + ".plugin")
        else:
            plugin = os.path.join(root, "Library/Printers/Tavix/Modules", folder, folder + ".plugin")
        write(os.path.join(plugin, "Contents/MacOS", folder.lstrip("/")), b"module\n")
        entries.append("<key>%s</key><dict><key>InstallPath</key><string>%s</string>"
                       "<key>ModuleName</key><string>%s</string><key>Version</key><string>2.1.0</string>"
                       "</dict>" % (uid, plugin, name))
    registry = ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
                "<key>KEP2_KEY_MODULES</key><dict>%s</dict>"
                "<key>KEP2_KEY_VERSION</key><string>2</string></dict></plist>\n" % "".join(entries))
    write(os.path.join(root, "Library/Preferences/com.tavix.KEPL2.plist"), registry.encode())
    os.makedirs(os.path.join(home, "Library/Preferences"), exist_ok=True)
    return [os.path.join(build, "Plugsweep.app/Contents/MacOS/Plugsweep")], "Plugsweep"


def checklist(app):
    lists = find_all(app, lambda n: n.getRoleName() == "list" and n.childCount > 0 and
                     all(n.getChildAtIndex(i).getRoleName() == "check box" for i in range(n.childCount)))
    return lists[0] if lists else None


def focused_row(table):
    for i in range(table.childCount):
        if "focused" in states_of(table.getChildAtIndex(i)):
            return table.getChildAtIndex(i)
    return None


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("host", "plugsweep"):
        raise SystemExit(__doc__)
    kind, build = sys.argv[1], os.path.abspath(sys.argv[2])
    workdir = tempfile.mkdtemp(prefix="a11y-")
    home, root = os.path.join(workdir, "home"), os.path.join(workdir, "root")
    os.makedirs(home)
    os.makedirs(root)
    command, app_name = (host_setup if kind == "host" else plugsweep_setup)(build, home, root)

    xvfb, display = start_display()
    runtime = os.path.join(workdir, "runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, DISPLAY=display, HOME=home, PLATFORM_ROOT=root, XDG_RUNTIME_DIR=runtime,
               QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               LANG="C.UTF-8", LANGUAGE="", LC_ALL="")
    program = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    events = []
    try:
        os.environ["DISPLAY"] = display
        app = wait_for(app_name + " on the accessibility bus", lambda: application(app_name))
        table = wait_for("the checklist", lambda: checklist(app))
        frame = app.getChildAtIndex(0)
        focus_window(display, frame.name)
        row = wait_for("a focused row", lambda: focused_row(table))

        print("== accessible tree at start")
        print("\n".join(dump(app)), flush=True)

        check(table.name != "", "the checklist is named: %r" % table.name)
        names = [table.getChildAtIndex(i).name for i in range(table.childCount)]
        check(all(names), "every row is named by its text: %r" % names)
        for i in range(table.childCount):
            item = table.getChildAtIndex(i)
            enabled = "enabled" in states_of(item)
            check("focusable" in states_of(item), "row %r is focusable" % item.name)
            if enabled:
                check(item.description == "", "enabled row %r has no description repeating its name" % item.name)
            else:
                check("sensitive" not in states_of(item), "disabled row %r is not sensitive" % item.name)
                check(item.description != "" and item.description != item.name,
                      "disabled row %r gives its reason: %r" % (item.name, item.description))
        if kind == "host":
            disabled = [table.getChildAtIndex(i) for i in range(table.childCount)
                        if "enabled" not in states_of(table.getChildAtIndex(i))]
            check(any(d.name == "Photo Editor 5" for d in disabled), "the host that is gone is a disabled row")
        else:
            disabled = [table.getChildAtIndex(i) for i in range(table.childCount)
                        if "enabled" not in states_of(table.getChildAtIndex(i))]
            check([d.name for d in disabled] == ["Outside vLX Module"],
                  "the module outside the module folders is the one disabled row")

        check("checked" not in states_of(row), "the focused row %r starts unticked" % row.name)
        listener = lambda event: events.append((event.type, event.source.name, event.detail1))  # noqa: E731
        pyatspi.Registry.registerEventListener(listener, "object:state-changed:checked")
        press(display, "space")
        wait_for("the row's state-change event", lambda: any(e[1] == row.name for e in events), 20)
        check((("object:state-changed:checked", row.name, 1) in events),
              "Space on %r sends checked=1: %r" % (row.name, events))
        check("checked" in states_of(row), "the row %r is checked after Space" % row.name)

        print("== accessible tree after Space on %r" % row.name)
        print("\n".join(dump(app)), flush=True)

        disabled_index = next((i for i in range(table.childCount)
                               if "enabled" not in states_of(table.getChildAtIndex(i))), None)
        if disabled_index is not None:
            target = table.getChildAtIndex(disabled_index)
            press(display, "Home")
            for _ in range(disabled_index):
                press(display, "Down")
            wait_for("focus on the disabled row", lambda: "focused" in states_of(target), 20)
            check("focused" in states_of(target), "the keyboard focus rests on the disabled row %r" % target.name)
            events.clear()
            press(display, "space")
            pump(1.0)
            check("checked" not in states_of(target) and not events,
                  "Space leaves the disabled row %r alone: %r" % (target.name, events))
    finally:
        program.terminate()
        try:
            output = program.communicate(timeout=10)[0]
        except subprocess.TimeoutExpired:
            program.kill()
            output = program.communicate()[0]
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(workdir, ignore_errors=True)
    print("== program output\n" + output)
    return ending()


if __name__ == "__main__":
    run(main)
