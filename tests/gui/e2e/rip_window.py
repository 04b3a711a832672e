#!/usr/bin/env python3
"""Starts the installed tonalda on a generated disc and rips its first track the way a keyboard
and screen-reader user would: the track list takes the focus through the accessibility bus, Space
checks the first row, "Rip checked tracks" is pressed by its accessible name, the row's status
becomes "Encoded", and the MP3 file is found in the rip folder of the hive. Exit ends the program."""
import os
import subprocess
import sys
import time

import pyatspi

from drive_window import TIMEOUT, fail, find_application, find_named, press, wait_for


def rip_folder():
    """The Output "Rippath" of the hive."""
    section = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\Output]"
    inside = False
    with open(os.environ["TONALDA_HIVE"], encoding="utf-8") as hive:
        for line in hive:
            line = line.rstrip("\r\n")
            if line.startswith("["):
                inside = line.lower() == section.lower()
            elif inside and line.lower().startswith('"rippath"='):
                return line.split("=", 1)[1].strip('"').replace("\\\\", "\\")
    fail("the hive names no rip folder")


def files_ending(folder, ending):
    found = []
    for root, _, names in os.walk(folder):
        found += [os.path.join(root, name) for name in names if name.endswith(ending)]
    return found


def state(node, which):
    return node.getState().contains(which)


def tab_to(node, most=60):
    """Tab through the window's controls until the control has the keyboard focus."""
    for _ in range(most):
        if state(node, pyatspi.STATE_FOCUSED):
            return
        subprocess.run(["xdotool", "key", "Tab"], check=True, timeout=TIMEOUT)
        time.sleep(0.1)
    fail("Tab never reached the track list")


def main():
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    program = subprocess.Popen([os.environ["TONALDA_PROGRAM"]], env=env)
    try:
        app = wait_for("the program on the accessibility bus", find_application)
        tracks = wait_for("the track list", lambda: find_named(app, "Tracks", pyatspi.ROLE_TABLE))
        wait_for("the disc's tracks in the list", lambda: find_named(tracks, "Track 01"))
        rip = wait_for("the rip command", lambda: find_named(app, "Rip checked tracks"))
        folder = rip_folder()
        if files_ending(folder, ".mp3"):
            fail("the rip folder %s holds MP3 files before the rip" % folder)

        # The keyboard goes to the program's window and Tab takes it into the list; Space checks
        # the row the focus rests on, the first.
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(program.pid),
                        "--name", "Tonalda", "windowfocus", "--sync"], check=True, timeout=TIMEOUT)
        tab_to(tracks)
        subprocess.run(["xdotool", "key", "space"], check=True, timeout=TIMEOUT)
        check = tracks.queryTable().getAccessibleAt(0, 0)
        wait_for("the first track to be checked", lambda: state(check, pyatspi.STATE_CHECKED))

        press(rip)
        wait_for("the first track to be encoded", lambda: find_named(tracks, "Encoded"),
                 timeout=120)
        ripped = files_ending(folder, ".mp3")
        if len(ripped) != 1 or os.path.getsize(ripped[0]) < 1000:
            fail("expected one MP3 file in %s, found %r" % (folder, ripped))
        if "Track 01" not in os.path.basename(ripped[0]):
            fail("the MP3 file %s is not named after the first track" % ripped[0])

        press(find_named(app, "Exit"))
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
    print("rip_window: the installed program ripped the checked first track to %s" % ripped[0])


if __name__ == "__main__":
    main()
