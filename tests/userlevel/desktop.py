"""Drives a running quillon from outside: controls found through AT-SPI by role and
accessible name, keys and clicks sent as real X input with xdotool."""

import os
import re
import subprocess
import time
import xml.etree.ElementTree

import pyatspi
from gi.repository import GLib

# The sanitizer build runs several times slower; every wait stretches with it.
SLOW = float(os.environ.get("QUILLON_USERLEVEL_SLOW", "1"))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# Pop-up menus are no child of the application on the accessibility bus; they are met
# through the event that shows them.
popups = []


def _shown(event):
    try:
        if event.detail1 and event.source.getRoleName() in ("popup menu", "menu"):
            popups.append(event.source)
    except Exception:
        pass


pyatspi.Registry.registerEventListener(_shown, "object:state-changed:showing")


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def poll(probe, timeout, what):
    """Returns the first true value of probe() within timeout seconds (scaled)."""
    end = time.monotonic() + timeout * SLOW
    last_error = None
    while True:
        pump()
        try:
            value = probe()
            if value:
                return value
        except Exception as error:  # the tree changes under us while windows come and go
            last_error = error
        if time.monotonic() > end:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Failure(f"timed out waiting for {what}{detail}")
        time.sleep(0.1)


def norm(name):
    # A label's colon is part of the name it gives its buddy; the test names the control.
    return (name or "").strip().rstrip(":：").strip()


# The program's texts in the language it runs in: empty for Chinese, its own language.
translation = {}


def load_translation(ts_path):
    """Takes the English texts from the program's own Qt Linguist file, so that the English
    run checks the translation the program really ships."""
    for message in xml.etree.ElementTree.parse(ts_path).getroot().iterfind("./context[name='Quillon']/message"):
        source = message.findtext("source").replace("&", "")
        english = (message.findtext("translation") or "").replace("&", "")
        if not english:
            continue  # unfinished: tr() refuses it should a scenario need it
        translation[source] = english
        # A control is named by its label without the colon ("设备" for "设备:").
        translation.setdefault(norm(source), norm(english))


def chinese(text):
    return any("\u4e00" <= c <= "\u9fff" or "\u3000" <= c <= "\u303f" or "\uff00" <= c <= "\uffef"
               for c in text or "")


def tr(text):
    """What the program shows for one of its Chinese texts (unchanged for texts of others)."""
    if not translation or text is None:
        return text
    english = translation.get(text, translation.get(norm(text), text))
    # A text the translation lacks would let the English run accept Chinese on the screen.
    check(not chinese(english), f"no English for {text!r} in the translation")
    return english


def children(acc):
    try:
        count = acc.childCount
    except Exception:
        return []
    result = []
    for i in range(count):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            result.append(child)
    return result


def walk(acc, depth=0):
    yield acc
    if depth < 40:
        for child in children(acc):
            yield from walk(child, depth + 1)


def role(acc):
    try:
        return acc.getRoleName()
    except Exception:
        return ""


def has_state(acc, state):
    try:
        return acc.getState().contains(state)
    except Exception:
        return False


def showing(acc):
    return has_state(acc, pyatspi.STATE_SHOWING)


def labels(acc):
    """The names a screen reader gives a control: its own, and those of the labels naming it."""
    names = [acc.name]
    try:
        for relation in acc.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    except Exception:
        pass
    return [norm(n) for n in names]


def find_all(root, roles=None, name=None, only_showing=True):
    if isinstance(roles, str):
        roles = (roles,)
    name = tr(name)
    found = []
    for acc in walk(root):
        if roles is not None and role(acc) not in roles:
            continue
        if name is not None and norm(name) not in labels(acc):
            continue
        if only_showing and not showing(acc):
            continue
        found.append(acc)
    return found


def find(root, roles, name, timeout=10):
    name = tr(name)  # here, so that a missing translation is told at once
    return poll(lambda: (find_all(root, roles, name) or [None])[0], timeout, f"a {roles} named {name!r}")


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except Exception:
        return acc.name


def value_of(acc):
    return acc.queryValue().currentValue


def centre(acc):
    ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    check(ext.width > 0 and ext.height > 0, f"{role(acc)} {acc.name!r} has no size on screen")
    return ext.x + ext.width // 2, ext.y + ext.height // 2


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def click(acc, button=1):
    x, y = centre(acc)
    click_at(x, y, button)


def click_at(x, y, button=1):
    # No --sync: it waits for a motion event that never comes when the pointer is there already.
    xdotool("mousemove", x, y)
    time.sleep(0.1)
    xdotool("click", button)
    time.sleep(0.15 * SLOW)


def type_text(text):
    xdotool("type", "--delay", 80, text)
    time.sleep(0.2 * SLOW)


def key(*keys):
    xdotool("key", "--delay", 60, *keys)
    time.sleep(0.2 * SLOW)


def app_for_pid(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        try:
            if app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def windows(app):
    """The application's top-level windows now on screen."""
    return [w for w in children(app) if showing(w)]


def window(app, title, timeout=10):
    title = tr(title)
    return poll(lambda: next((w for w in windows(app) if w.name == title), None), timeout, f"the window {title!r}")


def gone(app, title):
    return all(w.name != tr(title) for w in windows(app))


class Box:
    """A message box as the user sees it."""

    def __init__(self, acc):
        self.acc = acc
        self.title = acc.name
        self.role = role(acc)
        labels = [text_of(l) for l in find_all(acc, "label")]
        texts = [t for t in labels if t]
        self.text = texts[0] if texts else ""
        self.first_line = self.text.split("\n")[0]
        self.buttons = [b.name for b in find_all(acc, "push button")]
        self.seen_icon = "?"

    def __repr__(self):
        return f"<{self.role} {self.title!r}: {self.text!r} {self.buttons} icon={self.seen_icon}>"

    def drawn_icon(self):
        """The icon once the box is painted (None when it shows none within a few seconds)."""
        try:
            self.seen_icon = poll(self.icon, 3, "the box's icon on the screen")
        except Failure:
            self.seen_icon = None
        return self.seen_icon

    def icon(self):
        """What the box's icon looks like on the screen: the warning sign is yellow, the
        information sign blue, the critical one red."""
        images = find_all(self.acc, "image")
        if not images:
            return None
        ext = images[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if ext.width <= 0 or ext.height <= 0:
            return None
        pixels = subprocess.run(["import", "-window", "root", "-crop", f"{ext.width}x{ext.height}+{ext.x}+{ext.y}",
                                 "+repage", "-depth", "8", "txt:-"], capture_output=True, text=True).stdout
        counts = {"warning": 0, "information": 0, "critical": 0}
        for match in re.finditer(r"\((\d+),(\d+),(\d+)", pixels):
            r, g, b = (int(v) for v in match.groups())
            if r > 200 and g > 150 and b < 100:
                counts["warning"] += 1
            elif b > 150 and r < 100:
                counts["information"] += 1
            elif r > 180 and g < 80 and b < 80:
                counts["critical"] += 1
        kind = max(counts, key=counts.get)
        return kind if counts[kind] >= ext.width * ext.height // 10 else None

    def answer(self, button="OK"):
        click(find(self.acc, "push button", button))


ANSWERS = {"OK", "Yes", "No", "确定", "是", "否"}


def is_box(w):
    if role(w) not in ("alert", "dialog"):
        return False
    names = {b.name for b in find_all(w, "push button")}
    return bool(names) and names <= ANSWERS | {"Cancel", "取消", "Show Details...", "Help"} and bool(names & ANSWERS)


def wait_box(app, timeout=10):
    try:
        return Box(poll(lambda: next((w for w in windows(app) if is_box(w)), None), timeout, "a message box"))
    except Failure as failure:
        shown = [(role(w), w.name) for w in windows(app)]
        raise Failure(f"{failure}; windows on screen: {shown}") from None


def no_box(app):
    return not any(is_box(w) for w in windows(app))
