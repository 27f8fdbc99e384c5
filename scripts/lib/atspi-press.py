#!/usr/bin/python3
"""Presses buttons of a running program through the accessibility bus, as a screen reader would.

Usage: atspi-press.py APP [--wait SECONDS] STEP...
  STEP is a button's accessible name (pressed once it is there and enabled) or
  sleep:SECONDS. Exits 1 naming the step that could not be done.
"""
import sys
import time

import pyatspi


def find_app(name, deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        time.sleep(0.3)
    return None


def find_button(node, name, depth=0):
    if node is None or depth > 30:
        return None
    try:
        if node.getRoleName() == "push button" and node.name == name:
            return node
        for i in range(node.childCount):
            found = find_button(node.getChildAtIndex(i), name, depth + 1)
            if found is not None:
                return found
    except Exception:  # a window that closed while we looked
        return None
    return None


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    app_name, steps = argv[1], argv[2:]
    wait = 20.0
    if steps[0] == "--wait":
        wait, steps = float(steps[1]), steps[2:]
    app = find_app(app_name, time.time() + wait)
    if app is None:
        print(f"no application '{app_name}' on the accessibility bus", file=sys.stderr)
        return 1
    for step in steps:
        if step.startswith("sleep:"):
            time.sleep(float(step[6:]))
            continue
        deadline = time.time() + wait
        while True:
            button = find_button(app, step)
            if button is not None and button.getState().contains(pyatspi.STATE_ENABLED):
                button.queryAction().doAction(0)
                print(f"pressed {step}")
                break
            if time.time() > deadline:
                print(f"no enabled button '{step}' in '{app_name}'", file=sys.stderr)
                return 1
            time.sleep(0.3)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
