#!/usr/bin/python3
"""Drives the running quillon window from outside (AT-SPI and real X input) while null
sinks come and go: the device list follows, the chosen device stays chosen, and a
recording goes on while other devices change. Usage: window-devices.py HOME"""
import glob
import os
import subprocess
import sys
import time

import pyatspi


def find_app():
    for _ in range(150):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and 'quillon' in (app.name or '').lower():
                return app
        time.sleep(0.1)
    sys.exit('the window never appeared on the accessibility bus')


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def combo(app, index):  # 0: devices, 1: recording lines
    return [n for n in walk(app) if n.getRoleName() == 'combo box'][index]


def entries(box):
    return [n for n in walk(box) if n.getRoleName() == 'list item']


def names(box):
    return [n.name for n in entries(box)]


def click(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(['xdotool', 'mousemove', str(e.x + e.width // 2), str(e.y + e.height // 2), 'click', '1'],
                   check=True)


def button(app, name):
    found = [n for n in walk(app) if n.getRoleName() == 'push button' and n.name == name]
    return found[0] if found else None


def wait_for(condition, seconds=6.0):
    end = time.time() + seconds
    while time.time() < end and not condition():
        time.sleep(0.1)
    return condition()


def load(name):
    return subprocess.run(['pactl', 'load-module', 'module-null-sink', 'sink_name=' + name,
                           'sink_properties=device.description=' + name],
                          capture_output=True, text=True, check=True).stdout.strip()


def unload(module):
    subprocess.run(['pactl', 'unload-module', module], check=True)


failures = []


def check(ok, what):
    print(('ok: ' if ok else 'FAILED: ') + what)
    if not ok:
        failures.append(what)


home = sys.argv[1]
app = find_app()
tag = 'qwin%d' % os.getpid()
monitor = {k: 'Monitor of %s_%s' % (tag, k) for k in 'abcd'}
modules = {'a': load(tag + '_a'), 'b': load(tag + '_b')}
check(wait_for(lambda: monitor['b'] in names(combo(app, 0))), 'the list shows sources loaded while it is open')

click(combo(app, 0))
time.sleep(0.5)
click([n for n in entries(combo(app, 0)) if n.name == monitor['b']][0])
check(wait_for(lambda: names(combo(app, 1)) == [monitor['b']]), 'choosing a source lists its one line')

unload(modules.pop('a'))
modules['c'] = load(tag + '_c')
check(wait_for(lambda: monitor['c'] in names(combo(app, 0)) and monitor['a'] not in names(combo(app, 0))),
      'the list follows a source going and another coming')
check(names(combo(app, 1)) == [monitor['b']], 'the chosen source stays chosen after an earlier one went')

button(app, '开始录音').queryAction().doAction(0)
time.sleep(1.5)
unload(modules.pop('c'))
modules['d'] = load(tag + '_d')
time.sleep(2)
stop = button(app, '停止录音')
check(stop is not None, 'the recording goes on while other sources change')
check(monitor['c'] in names(combo(app, 0)), 'the list is left alone under a running recording')
if stop is not None:
    stop.queryAction().doAction(0)
check(wait_for(lambda: monitor['d'] in names(combo(app, 0))), 'the list catches up once the recording stopped')
check(names(combo(app, 1)) == [monitor['b']], 'and the chosen source is still chosen')
check(not [n for n in walk(app) if n.getRoleName() == 'alert'], 'no message box was shown')
for module in modules.values():
    unload(module)
takes = sorted(glob.glob(os.path.join(home, 'file', '*.wav')), key=os.path.getsize)
size = os.path.getsize(takes[-1]) if takes else 0
# A null sink's monitor may start late by up to 2 s; the rest must all be there.
check(size > 46 + 176400 * 1.5, 'the take holds audio on both sides of the changes (%d bytes)' % size)
sys.exit(1 if failures else 0)
