#!/usr/bin/env python3
"""Starts the installed tonalda and drives its main window through AT-SPI: every control is found
by its accessible name, the view switches are pressed and change what is enabled, the status
display names the virtual drive, the Options sheet changes the output format on its Output page and
writes it into the hive, and Exit ends the program cleanly."""
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


def find_named(node, name, role=None):
    """The first accessible under node with that name (and role), or None."""
    try:
        if node.name == name and (role is None or node.getRole() == role):
            return node
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return None
    for child in children:
        if child is not None:
            found = find_named(child, name, role)
            if found is not None:
                return found
    return None


def labelled(node, label_text):
    """The control that the label of that text names (on Linux a list is found through its label,
    its own name being the chosen item)."""
    label = find_named(node, label_text, pyatspi.ROLE_LABEL)
    if label is None:
        return None
    for relation in label.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR and relation.getNTargets():
            return relation.getTarget(0)
    return None


def hive_value(group, name):
    """The text after '"name"=' in the hive's section of the group, or None."""
    section = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\%s]" % group
    inside = False
    with open(os.environ["TONALDA_HIVE"], encoding="utf-8") as hive:
        for line in hive:
            line = line.rstrip("\r\n")
            if line.startswith("["):
                inside = line.lower() == section.lower()
            elif inside and line.lower().startswith('"%s"=' % name.lower()):
                return line.split("=", 1)[1]
    return None


def change_output_format(app, found):
    """Options, the Output tab, the next output format, OK; gives the value the hive holds then."""
    before = hive_value("Output", "format")
    if before is None:
        fail("the hive has no Output format")
    press(found["Option"])
    sheet = wait_for("the Options sheet", lambda: find_named(app, "Options", pyatspi.ROLE_DIALOG))
    press(wait_for("the Output tab", lambda: find_named(sheet, "Output", pyatspi.ROLE_PAGE_TAB)))
    combo = wait_for("the Output Format list", lambda: labelled(sheet, "Output Format"))
    # A click opens the list where the screen reader says it is; Down and Return take the next
    # format.
    box = combo.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", "--sync", str(box.x + box.width // 2),
                    str(box.y + box.height // 2), "click", "1"], check=True, timeout=TIMEOUT)
    wait_for("the list to open", lambda: combo.getState().contains(pyatspi.STATE_EXPANDED))
    subprocess.run(["xdotool", "key", "Down", "Return"], check=True, timeout=TIMEOUT)
    press(find_named(sheet, "OK", pyatspi.ROLE_PUSH_BUTTON))
    wait_for("the sheet to close", lambda: find_named(app, "Options", pyatspi.ROLE_DIALOG) is None)
    expected = "dword:%08x" % (int(before.split(":")[1], 16) + 1)
    after = wait_for("the new format in the hive",
                     lambda: hive_value("Output", "format") == expected and expected)
    return after


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
        # The drive plays by itself: Play works on the Ripper view even without a sound server.
        if not sensitive(found["Play"]):
            fail("Play is disabled on the Ripper view: %r" % found["Play"].description)

        press(found["Convert"])
        wait_for("the disc fields to grey out on the Encoder view",
                 lambda: not sensitive(found["Artist"]) and not sensitive(found["Genre"]))
        # The file player and the volume need the sound server, which this machine lacks: both
        # are grey and say why.
        for name in ("Play", "Volume"):
            wait_for("%s to be grey for want of a sound server" % name,
                     lambda: not sensitive(found[name])
                     and "Sound server" in found[name].description)
        press(found["Rip"])
        wait_for("the disc fields to come back on the Ripper view",
                 lambda: sensitive(found["Artist"]))

        format_written = change_output_format(app, found)

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
    print("drive_window: the installed program started, answered by name, stored the output "
          "format %s from its Options sheet and exited" % format_written)


if __name__ == "__main__":
    main()
