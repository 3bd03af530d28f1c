"""What the accessibility checks share: a private session bus, a virtual display, the bus's
applications, the keyboard, and the tally of checks.

Each check runs itself again under dbus-run-session with a runtime folder of its own. Without
XDG_RUNTIME_DIR the accessibility bus launcher puts its socket in ~/.cache/at-spi/bus, which two
checks run at once would share and remove under each other.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402

import pyatspi  # noqa: E402

TIMEOUT = 60.0
failures = []
passes = []


def run(main):
    """Runs main inside a private session bus and exits with its status."""
    if os.environ.get("A11Y_CHECK_IN_SESSION") == "1":
        sys.exit(main())
    runtime = tempfile.mkdtemp(prefix="a11y-runtime-")
    try:
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, A11Y_CHECK_IN_SESSION="1")
        status = subprocess.run(["dbus-run-session", "--", sys.executable, os.path.abspath(sys.argv[0])]
                                + sys.argv[1:], env=env).returncode
    finally:
        shutil.rmtree(runtime, ignore_errors=True)
    sys.exit(status)


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    (passes if condition else failures).append(what)


def ending():
    print("%d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


def pump(seconds):
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(what, probe, seconds=TIMEOUT):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            value = probe()
        except GLib.GError:
            # A program that is busy answers late; asked again, it answers.
            value = None
        if value:
            return value
        pump(0.1)
    raise SystemExit("timed out waiting for " + what)


def states_of(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name and app.childCount > 0:
            return app
    return None


def start_display():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=[write_end],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise SystemExit("Xvfb did not start")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


def press(display, key):
    subprocess.run(["xdotool", "key", key], env=dict(os.environ, DISPLAY=display), check=True)


def focus_window(display, title, seconds=TIMEOUT):
    env = dict(os.environ, DISPLAY=display)
    ids = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", title],
                         env=env, capture_output=True, text=True, timeout=seconds).stdout.split()
    for window in ids:
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, timeout=seconds)
