#!/usr/bin/env python3
"""Starts the installed tonalda and drives its main window through AT-SPI: every control is found
by its accessible name, the view switches are pressed and change what is enabled, the status
display names the virtual drive, and Exit ends the program cleanly."""
import os
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 30


def fail(message):
    print("drive_window: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = probe()
        if result:
            return result
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def find_application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name in ("tonalda", "Tonalda"):
            return app
    return None


def controls(node, found):
    """Every accessible under node, by name (the first of each name wins)."""
    try:
        name = node.name
    except Exception:
        return found
    if name and name not in found:
        found[name] = node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            controls(child, found)
    return found


def sensitive(node):
    return node.getState().contains(pyatspi.STATE_SENSITIVE)


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def main():
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    program = subprocess.Popen([os.environ["TONALDA_PROGRAM"]], env=env)
    try:
        app = wait_for("the program on the accessibility bus", find_application)
        names = ["Rip", "Convert", "Option", "Help", "Minimize", "Exit", "Artist", "Album",
                 "Genre", "Play", "Pause", "Stop", "Previous", "Next", "Seek", "Volume",
                 "Player status"]
        found = wait_for("every control of the main window",
                         lambda: (lambda c: c if all(n in c for n in names) else None)(
                             controls(app, {})))

        # The start-up view is the ripper (the installer's Misc settings): the disc fields work,
        # and the status display names the drive that serves the demo disc.
        if not sensitive(found["Artist"]):
            fail("the Artist field is disabled on the Ripper view")
        status = found["Player status"].description
        if "STOP" not in status or "Virtual" not in status:
            fail("the status display shows %r, not STOP and the virtual drive" % status)
        # The player is not built in yet: its controls are grey and say why.
        if sensitive(found["Play"]) or "not available" not in found["Play"].description:
            fail("Play should be disabled with a reason, it has %r" % found["Play"].description)

        press(found["Convert"])
        wait_for("the disc fields to grey out on the Encoder view",
                 lambda: not sensitive(found["Artist"]) and not sensitive(found["Genre"]))
        press(found["Rip"])
        wait_for("the disc fields to come back on the Ripper view",
                 lambda: sensitive(found["Artist"]))

        press(found["Exit"])
        try:
            code = program.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            fail("Exit did not end the program")
        if code != 0:
            fail("the program ended with status %d" % code)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    print("drive_window: the installed program started, answered by name and exited")


if __name__ == "__main__":
    main()
