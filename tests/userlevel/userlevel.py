"""The window as its user meets it: scenarios run against the built quillon from outside.

Every scenario starts the program with a program folder of its own, drives it through
AT-SPI and real X input, and looks at what a person would see or find on the disk.
run.sh provides the screen, the buses and the sound server; this file only adds what a
scenario needs on top (a tray, a fake file manager)."""

import argparse
import math
import os
import re
import resource
import signal
import struct
import subprocess
import sys
import time
import traceback
import urllib.parse

import pyatspi

import desktop

from desktop import (SLOW, Failure, check, click, click_at, find, find_all, has_state, key, norm,
                     poll, role, showing, text_of, type_text, value_of, wait_box, window, windows, gone, app_for_pid,
                     no_box, tr)

MAIN = "QuillonV3.91"
MONITOR = "Monitor of Quillon-Null-Sink"
RATE_MESSAGE = "取样频率无效, 请输入 1 到 96000 之间的整数!"


class Skipped(Exception):
    pass


class Context:
    def __init__(self, quillon, out, work, cli=None):
        self.quillon = quillon
        self.cli = cli
        self.out = out
        self.work = work
        self.scenario = ""
        self.homes = 0
        self.programs = []
        self.helpers = []
        self.path = os.environ["PATH"]
        self.english = False

    def register(self, pid):
        """Tells run.sh what to end should this script die; with its start time, so a number
        used again by some other process is left alone."""
        try:
            with open(f"/proc/{pid}/stat") as stat:
                started = stat.read().rsplit(")", 1)[1].split()[19]
        except OSError:
            return
        with open(os.path.join(self.work, "pids"), "a") as pids:
            pids.write(f"{pid} {started}\n")

    def new_home(self, counter=None):
        self.homes += 1
        home = os.path.join(self.work, f"home{self.homes}")
        os.makedirs(os.path.join(home, "file"))
        if counter is not None:
            with open(os.path.join(home, "nu.ini"), "w") as ini:
                ini.write(f"{counter}\r\n")
        return home

    def fake_opener(self):
        """An xdg-open of our own, first on the PATH of the programs started from now on, that
        notes what it was asked to open."""
        bin_dir = os.path.join(self.work, "bin")
        log = os.path.join(self.work, "xdg-open.log")
        os.makedirs(bin_dir, exist_ok=True)
        with open(os.path.join(bin_dir, "xdg-open"), "w") as f:
            f.write(f'#!/bin/sh\necho "$@" >> "{log}"\n')
        os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
        os.environ["PATH"] = bin_dir + os.pathsep + self.path
        return log

    def program_env(self, extra=None):
        if not self.english:
            return dict(os.environ, **extra) if extra else None
        # English as a user abroad has it: a set locale, not necessarily generated on this
        # machine (the program reads the variables; Qt falls back to C.UTF-8 for characters).
        env = {k: v for k, v in os.environ.items() if k not in ("LC_ALL", "LC_MESSAGES")}
        env.update(LANG="en_US.UTF-8", LANGUAGE="en")
        env.update(extra or {})
        return env

    def start(self, cmd, log_name):
        """A helper process for this scenario only (a tray, a fake file manager)."""
        log = open(os.path.join(self.out, log_name), "w")
        proc = subprocess.Popen(cmd, stdout=log, stderr=subprocess.STDOUT)
        self.register(proc.pid)
        self.helpers.append(proc)
        return proc


class Quillon:
    """One run of the window program."""

    def __init__(self, ctx, home=None, counter=1, file_limit=None, env=None):
        self.ctx = ctx
        self.home = home or ctx.new_home(counter)
        ctx.programs.append(self)
        for attempt in range(2):
            self.log_path = os.path.join(ctx.out, f"{ctx.scenario}-quillon{len(ctx.programs)}-{attempt}.log")
            log = open(self.log_path, "w")

            def limits():
                if file_limit is not None:
                    resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))

            self.proc = subprocess.Popen([ctx.quillon, "--home", self.home], stdout=log, stderr=subprocess.STDOUT,
                                         preexec_fn=limits, cwd=self.home, env=ctx.program_env(env))
            ctx.register(self.proc.pid)
            try:
                # The accessibility bus can be slow to notice a new program: wait, then try once more.
                self.app = poll(lambda: app_for_pid(self.proc.pid), 20, "the program on the accessibility bus")
                self.main = window(self.app, MAIN, 20)
                break
            except Failure:
                if attempt == 1:
                    raise
                self.proc.kill()
                self.proc.wait()
        if desktop.translation:
            self.check_english()

    def check_english(self):
        """The window speaks English: the record button by its English name, no Chinese in any
        button, box, label, group or tab."""
        self.control("push button", "开始录音")
        named = [a.name for a in find_all(self.main, ("push button", "check box", "label", "panel", "page tab"))]
        named += [text_of(a) for a in find_all(self.main, "label")]
        check(not [n for n in named if desktop.chinese(n)], f"Chinese in the English window: {named}")
        shot = os.path.join(self.ctx.out, "english-window.png")
        if not os.path.exists(shot):
            subprocess.run(["import", "-window", "root", shot], capture_output=True)

    # Reading and using the main window.
    def control(self, roles, name, timeout=10):
        return find(self.main, roles, name, timeout)

    def press(self, name, where=None):
        click(find(where or self.main, "push button", name))

    def status(self):
        bar = find(self.main, "status bar", None)
        return [text_of(l) for l in find_all(bar, "label") if text_of(l)]

    def recording(self):
        return bool(find_all(self.main, "push button", "停止录音"))

    def choose_device(self, name=MONITOR):
        combo = self.control("combo box", "设备")
        click(combo)
        item = poll(lambda: next((i for i in find_all(self.app, "list item", name)
                                  if i.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width > 0), None),
                    10, f"the device {name!r} in the open list")
        click(item)
        poll(lambda: not find_all(self.app, "list item", name) or norm(text_of(combo)) != "", 5, "the list to close")

    def set_file(self, path):
        box = self.control("text", "输出文件")
        click(box)
        key("ctrl+a", "BackSpace")
        if path:
            type_text(path)
        poll(lambda: text_of(box) == path, 5, f"the file box to read {path!r}")

    def set_rate(self, text):
        """Empties the rate box as a user does (Ctrl+A is a control character the box refuses)
        and types text."""
        rate = self.control("text", "取样")
        click(rate)
        key("End", "shift+Home", "BackSpace")
        if text:
            type_text(text)
        check(text_of(rate) == text, f"the rate box reads {text_of(rate)!r} after typing {text!r}")

    def file_box(self):
        return text_of(self.control("text", "输出文件"))

    def start_recording(self):
        self.press("开始录音")
        poll(self.recording, 10, "the record button to read 停止录音")

    def stop_recording(self):
        self.press("停止录音")
        poll(lambda: find_all(self.main, "push button", "开始录音"), 10, "the record button to read 开始录音")

    def box(self, timeout=10):
        return wait_box(self.app, timeout)

    def expect_box(self, title, first_line, timeout=10, answer="OK", while_open=None):
        try:
            box = self.box(timeout)
        except Failure as failure:
            raise Failure(f"expected the box {title!r}: {first_line!r}; {failure}") from None
        box.drawn_icon()
        print(f"  saw {box!r}")
        title, first_line = tr(title), tr(first_line)
        check(box.title == title and box.first_line == first_line,
              f"expected the box {title!r}: {first_line!r}, saw {box!r}")
        check(box.role == "alert", f"the box {box!r} is not announced as an alert")
        check(box.seen_icon == "warning", f"the box {box!r} does not show the warning sign")
        check(box.buttons == ["OK"], f"the box {box!r} does not have one OK button")
        if while_open is not None:
            while_open(box)
        box.answer(answer)
        poll(lambda: no_box(self.app), 5, "the box to close")
        return box

    def alive(self):
        return self.proc.poll() is None

    def close_window(self, title=MAIN):
        subprocess.run(["wmctrl", "-F", "-c", tr(title)], check=True)

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout * SLOW)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program was still running {timeout * SLOW:.0f} s later")

    def quit(self):
        """Closes the main window as its close button does; the program must end cleanly."""
        check(self.alive(), f"the program had ended already with {self.proc.returncode}")
        self.close_window()
        try:
            code = self.proc.wait(15 * SLOW)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise Failure("the program did not end when its window was closed") from None
        check(code == 0, f"the program ended with {code} when its window was closed")

    def sanitizer_report(self):
        with open(self.log_path, errors="replace") as log:
            text = log.read()
        for marker in ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer", "terminate called"):
            if marker in text:
                return text[text.index(marker):][:2000]
        return None


def move_aside(title, x, y):
    """Drags a window off the main window, as a user would before using what lies under it."""
    ids = subprocess.run(["xdotool", "search", "--name", f"^{tr(title)}$"], capture_output=True,
                         text=True).stdout.split()
    check(ids, f"no window titled {title!r} on the screen")
    for wid in ids:
        subprocess.run(["xdotool", "windowmove", "--sync", wid, str(x), str(y)], capture_output=True)
    time.sleep(0.3 * SLOW)


def picture(q, name):
    """The pixels of one of the display's pictures as the screen shows them."""
    e = find(q.main, "filler", name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return subprocess.run(["import", "-window", "root", "-crop", f"{e.width}x{e.height}+{e.x}+{e.y}", "rgb:-"],
                          capture_output=True, check=True).stdout


def display_moves(q, what):
    """The oscilloscope draws new blocks and the time panel counts on."""
    scope = picture(q, "示波器")
    poll(lambda: picture(q, "示波器") != scope, 5, f"the oscilloscope to draw {what}")
    time_text = [t for t in q.status() if t.startswith(tr("时间: "))]
    poll(lambda: [t for t in q.status() if t.startswith(tr("时间: "))] != time_text, 5,
         f"the time panel to count on {what}")


def recordings(home):
    return os.path.join(home, "file")


def auto_file(home, n):
    return os.path.join(recordings(home), f"录音{n}.wav")


def read_wav(path):
    """(format tag, channels, rate, frames as a list of left samples) of a finished WAV file."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:4] == b"RIFF" and data[8:12] == b"WAVE", f"{path} is not a RIFF/WAVE file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if cid == b"fmt ":
            fmt = struct.unpack("<HHI", data[pos + 8:pos + 16])
        elif cid == b"data":
            samples = data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    check(fmt is not None and samples is not None, f"{path} has no fmt or data chunk")
    return fmt, samples


def levels(path, window_ms=100):
    """RMS of the left channel of a 16-bit stereo PCM file, per window."""
    (tag, channels, rate), data = read_wav(path)
    check(tag == 1 and channels == 2, f"{path}: expected 16-bit stereo PCM, found tag {tag}, {channels} channels")
    frames = len(data) // 4
    left = struct.unpack(f"<{frames * 2}h", data[:frames * 4])[0::2]
    step = rate * window_ms // 1000
    return [math.sqrt(sum(s * s for s in left[i:i + step]) / step) for i in range(0, frames - step + 1, step)]


# ---------------------------------------------------------------------------------------------
# Scenarios


def record_button_boxes(ctx):
    """The record button's boxes, each met the way a user meets it, read and answered."""
    q = Quillon(ctx)
    # No device chosen yet.
    q.press("开始录音")
    q.expect_box("提示", "没有选择硬件设备!")
    # An empty file box wins over the missing device.
    q.set_file("")
    q.press("开始录音")
    q.expect_box("提示", "没有指定输出文件!")
    q.choose_device()
    # A folder that does not exist: the encoder cannot open the file.
    q.set_file("/nonexistent-folder/take.wav")
    q.press("开始录音")
    q.expect_box("提示", "无法初始化编码器!")
    check(not q.recording(), "a recording started without a file")
    # A rate the recording cannot use.
    q.set_file(os.path.join(recordings(q.home), "rate.wav"))
    q.set_rate("0")
    q.press("开始录音")
    q.expect_box("提示", RATE_MESSAGE)
    check(q.alive() and not q.recording(), "the program did not stay idle after the rate message")
    q.quit()


def startup_boxes(ctx):
    """Start-up: an unusable settings file and a recording cut short are both reported."""
    home = ctx.new_home()
    with open(os.path.join(home, "nu.ini"), "w") as ini:
        ini.write("abc\r\n")
    # A take cut short: its sizes were never written, the audio runs to the end of the file.
    with open(os.path.join(recordings(home), "录音7.wav"), "wb") as take:
        take.write(b"RIFF" + struct.pack("<I", 0) + b"WAVE" + b"fmt " +
                   struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + b"data" + struct.pack("<I", 0))
        take.write(bytes(8820))
    q = Quillon(ctx, home=home)
    seen = []
    for _ in range(2):
        box = q.box()
        seen.append(box)
        box.drawn_icon()
        print(f"  saw {box!r}")
        check(box.title == "Quillon" and box.role == "alert" and box.seen_icon == "warning" and box.buttons == ["OK"],
              f"a start-up box is not a warning titled Quillon with one OK button: {box!r}")
        box.answer()
        time.sleep(0.5 * SLOW)
    texts = " | ".join(b.text for b in seen)
    check(any(b.first_line.startswith("设置文件 nu.ini") for b in seen), f"no settings file box: {texts}")
    check(any("录音7.wav" in b.text for b in seen), f"no box about the repaired take: {texts}")
    (tag, channels, rate), data = read_wav(os.path.join(recordings(home), "录音7.wav"))
    check(len(data) == 8820, f"the repaired take holds {len(data)} bytes of audio, not 8820")
    q.quit()


def device_boxes(ctx):
    """A device that goes away while recording, and a start after it."""
    q = Quillon(ctx)
    q.choose_device()
    q.set_file(os.path.join(recordings(q.home), "lost.wav"))
    q.start_recording()
    time.sleep(1.0 * SLOW)
    unload_sink()
    try:
        q.expect_box("Quillon", "录音设备已断开, 录音已停止!", timeout=15)
        check(not q.recording(), "still recording after the device went away")
        # The list follows the sources: the lost one leaves it and takes the choice with it,
        # so a start is refused instead of recording from another source.
        combo = q.control("combo box", "设备")
        poll(lambda: MONITOR not in (text_of(combo) or ""), 10, "the lost device to leave the device box")
        q.set_file(os.path.join(recordings(q.home), "none.wav"))
        q.press("开始录音")
        q.expect_box("提示", "没有选择硬件设备!")
        check(not q.recording(), "recording although the chosen source is gone")
        check(not os.path.exists(os.path.join(recordings(q.home), "none.wav")) or
              os.path.getsize(os.path.join(recordings(q.home), "none.wav")) == 0, "a file was written")
    finally:
        load_sink()
    q.quit()


def write_error_box(ctx):
    """A file that cannot grow: the recording stops, the take is finished, then the box."""
    q = Quillon(ctx, file_limit=256 * 1024)
    q.choose_device()
    q.start_recording()
    q.expect_box("Quillon", "Write error (no disk space left?)!", timeout=20, while_open=lambda box: check(
        not q.recording(), "the recording went on behind the write-error box"))
    (tag, channels, rate), data = read_wav(auto_file(q.home, 1))
    check(tag == 1 and rate == 44100 and len(data) > 100000, "the stopped take is not a finished WAV file")
    check(os.path.exists(auto_file(q.home, 2)), "the next numbered file was not prepared")
    q.quit()


def full_disk_boxes(ctx):
    """A nearly full disk: the warning at the start, then the write error; the take is kept."""
    home = ctx.new_home(1)
    folder = recordings(home)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", folder], capture_output=True).returncode:
        raise Skipped("mounting a small file system needs root")
    q = Quillon(ctx, home=home)
    q.choose_device()
    q.press("开始录音")
    q.expect_box("提示", "磁盘剩余空间不足一分钟的录音!")
    q.expect_box("Quillon", "Write error (no disk space left?)!", timeout=20, while_open=lambda box: check(
        not q.recording(), "the recording went on behind the write-error box"))
    (tag, channels, rate), data = read_wav(auto_file(home, 1))
    check(len(data) > 300000, f"the take on the full disk holds only {len(data)} bytes")
    check(os.path.exists(auto_file(home, 2)), "the next numbered file was not prepared")
    q.quit()


def rate_keys(ctx):
    """The rate box with real keys: digits only, five at most, Backspace, selections."""
    q = Quillon(ctx)
    rate = q.control("text", "取样")

    def typed(keys_before, text, expected):
        click(rate)
        key("End")
        if keys_before:
            key(*keys_before)
        if text:
            type_text(text)
        got = text_of(rate)
        check(got == expected, f"after {keys_before} and {text!r} the rate box reads {got!r}, not {expected!r}")

    clear = ["shift+Home", "BackSpace"]
    cases = [
        # keys first, then typed text, then what the box must read
        (clear, "4a8", "48"),
        ([], "0b0.", "4800"),
        ([], "05", "48000"),  # the fifth digit goes in, the sixth does not
        (["BackSpace"], "", "4800"),
        ([], "1", "48001"),
        (["shift+Home"], "2", "48001"),  # five characters, part selected: still refused
        (clear, "48000", "48000"),  # the list's 44100 must not take over
        (clear, "22050", "22050"),
    ]
    for before, text, expected in cases:
        typed(before, text, expected)
    # A rate typed by hand, even one of the list's, is not a choice from the list: leaving the
    # box offers no format choice.
    key("Tab")
    time.sleep(1.0 * SLOW)
    check(gone(q.app, "选择声音输出格式"), "leaving the box after typing 22050 opened the format chooser")
    check(q.alive(), "the program ended while typing into the rate box")
    q.quit()


def record_listen_delete(ctx):
    """A recording with effects on, the panels moving, listen-back, delete, the next number."""
    q = Quillon(ctx, counter=5)
    check(os.path.exists(auto_file(q.home, 5)), "the numbered file was not prepared at start-up")
    q.choose_device()
    for box in ("回声", "放大器"):
        check_box = q.control("check box", box)
        click(check_box)
        poll(lambda: has_state(check_box, pyatspi.STATE_CHECKED), 5, f"{box} to be checked")
    q.start_recording()
    listen = q.control("push button", "试听")
    poll(lambda: not has_state(listen, pyatspi.STATE_ENABLED), 5, "试听 to be disabled while recording")
    for kind, name in (("combo box", "设备"), ("text", "输出文件"), ("push button", "选择WAV格式")):
        check(not has_state(q.control(kind, name), pyatspi.STATE_ENABLED), f"{name} can be used while recording")
    seen = set()
    poll(lambda: seen.add(tuple(q.status())) or len({s for s in seen if tr("时间: ") + "0:03" in s}) > 0, 15,
         "the time panel to reach 0:03")
    sizes = [s[0] for s in seen]
    check(len(set(sizes)) >= 3, f"the size panel did not advance: {sorted(set(sizes))}")
    check(any(t.startswith(tr("文件大小: ")) and t.endswith("KB") for t in sizes),
          f"sizes shown: {sorted(set(sizes))}")
    q.stop_recording()
    poll(lambda: q.status()[:2] == [tr("文件大小: 0 Bytes"), tr("时间: 0:00")], 5, "the idle panel texts")
    take = auto_file(q.home, 5)
    check(q.file_box() == auto_file(q.home, 6), f"the file box reads {q.file_box()!r} after the stop")
    check(os.path.exists(auto_file(q.home, 6)), "the next numbered file does not exist")
    (tag, channels, rate), data = read_wav(take)
    check(tag == 1 and channels == 2 and rate == 44100, f"the take's format is {tag}, {channels}, {rate}")
    # The panel showed 0:03: at least 2.5 s were recorded by then.
    check(len(data) >= 2.5 * 44100 * 4, f"the take holds {len(data)} bytes, less than 2.5 s")
    with open(os.path.join(q.home, "nu.ini")) as ini:
        check(ini.read().strip() == "6", "the settings file does not hold the next number")

    poll(lambda: has_state(listen, pyatspi.STATE_ENABLED), 5, "试听 to be enabled again")
    click(listen)
    st = window(q.app, "Quillon--试听")
    move_aside("Quillon--试听", 850, 100)
    # Playing: the position moves and the sound server has our stream.
    clock = next(l for l in find_all(st, "label") if " / " in text_of(l))
    poll(lambda: text_of(clock).split(" / ")[0] not in ("0:00", ""), 10, "the listen-back position to move")
    poll(lambda: b"Quillon" in subprocess.run(["pactl", "list", "sink-inputs"], capture_output=True).stdout or
         b"quillon" in subprocess.run(["pactl", "list", "sink-inputs"], capture_output=True).stdout,
         10, "the listen-back stream on the sound server")
    q.press("不满意，删除！", st)
    poll(lambda: gone(q.app, "Quillon--试听"), 5, "the listen-back window to close")
    check(not os.path.exists(take), "the deleted take is still on the disk")

    # The next recording goes to the next number; after the idle time the display moves at once.
    time.sleep(1.0 * SLOW)
    q.start_recording()
    display_moves(q, "after an idle time")
    q.stop_recording()
    poll(lambda: q.status()[:2] == [tr("文件大小: 0 Bytes"), tr("时间: 0:00")], 5, "the idle panel texts")
    check(os.path.getsize(auto_file(q.home, 6)) > 44, "the second take is empty")
    check(q.file_box() == auto_file(q.home, 7), "the file box does not name 录音7.wav")
    q.quit()


def effects_while_recording(ctx):
    """The amplifier's slider moved while recording: the take gets louder at that point."""
    q = Quillon(ctx)
    q.choose_device()
    click(q.control("check box", "放大器"))
    q.start_recording()
    time.sleep(2.0 * SLOW)
    q.press("设置")
    fx = window(q.app, "特效设置")
    click(find(fx, "page tab", "放大器"))
    slider = find(fx, "slider", "增强")
    check(value_of(slider) == 3, f"the boost slider opens at {value_of(slider)}, not 3")
    click(slider)
    key("End")
    poll(lambda: value_of(slider) == 12, 5, "the boost slider to reach 12")
    check(any(text_of(l) == "12 dB" for l in find_all(fx, "label")), "the boost label does not read 12 dB")
    check(q.recording(), "the recording stopped while the settings window was open")
    q.close_window("特效设置")
    poll(lambda: gone(q.app, "特效设置"), 5, "the settings window to close")
    time.sleep(2.0 * SLOW)
    q.stop_recording()
    rms = levels(auto_file(q.home, 1))
    check(max(rms) > 100, "the take is silent")
    check(len(rms) > 30, f"the take is only {len(rms) / 10:.1f} s long")
    before = sorted(rms[3:13])[5]
    after = sorted(rms[-12:-2])[5]
    ratio = after / before if before > 0 else 0
    print(f"  level before {before:.0f}, after {after:.0f}, ratio {ratio:.2f} (9 dB is 2.82)")
    check(2.5 < ratio < 3.2, f"the level changed by {ratio:.2f}, not by 9 dB")
    # One step, not a drift: the level crosses the middle between both once.
    middle = math.sqrt(before * after)
    crossings = sum(1 for a, b in zip(rms, rms[1:]) if (a < middle) != (b < middle))
    check(crossings == 1, f"the level crossed {middle:.0f} {crossings} times")
    q.quit()


def sound_activated(ctx):
    """Sound-activated: nothing is written while waiting; a burst makes a take with its pre-roll
    and its silent tail, and the take's end on silence ends the recording."""
    q = Quillon(ctx)
    q.choose_device()
    q.press("设置")
    fx = window(q.app, "特效设置")
    click(find(fx, "page tab", "自动录音"))
    click(find(fx, "check box", "声控录音: 有声音时才录"))
    for name, keys in (("触发电平:", ["minus", "1", "0"]), ("预录:", ["0", "period", "5"])):
        click(find(fx, "spin button", name))
        key("ctrl+a")
        key(*keys)
        key("Tab")
    check(value_of(find(fx, "spin button", "触发电平:")) == -10, "the trigger level did not take -10")
    click(find(fx, "check box", "静音后结束:"))
    click(find(fx, "spin button", "静音后结束:"))
    key("ctrl+a")
    type_text("1")
    key("Tab")
    q.close_window("特效设置")
    poll(lambda: gone(q.app, "特效设置"), 5, "the settings window to close")
    q.start_recording()
    poll(lambda: "等待声音..." in q.status(), 5, "the time panel to say it waits for sound")
    time.sleep(1.5 * SLOW)
    take = auto_file(q.home, 1)
    check(os.path.getsize(take) <= 46, f"{os.path.getsize(take)} bytes written while waiting for sound")
    # A burst well above the tone that plays all along (-20 dBFS), under the trigger (-10 dBFS).
    burst = os.path.join(ctx.work, "burst.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", burst, "synth", "1", "sine", "440",
                    "vol", "0.7"], check=True)
    subprocess.run(["paplay", "--device=quillon_null", burst], check=True)
    poll(lambda: find_all(q.main, "push button", "开始录音"), 10,
         "the recording to end after a second of silence")
    (tag, channels, rate), data = read_wav(take)
    seconds = len(data) / (2 * channels) / rate
    print(f"  the take lasts {seconds:.2f} s (0.5 s pre-roll + 1 s burst + 1 s of silence)")
    check(abs(seconds - 2.5) < 0.2, f"the take lasts {seconds:.2f} s, not 2.5 s")
    q.quit()


def compressed_format(ctx):
    """The format chooser: a compressed format chosen, the take written in it."""
    q = Quillon(ctx)
    q.choose_device()
    shown = text_of(q.control("text", "WAV格式"))
    # The stereo box and a rate chosen from the list offer the choice; cancelled, nothing changes.
    rate_combo = q.control("combo box", "取样")
    ext = rate_combo.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    for what, act in (("立体声", lambda: click(q.control("check box", "立体声"))),
                      ("立体声", lambda: click(q.control("check box", "立体声"))),
                      ("22050", lambda: (click_at(ext.x + ext.width - 8, ext.y + ext.height // 2),
                                         click(find(rate_combo, "list item", "22050"))))):
        act()
        chooser = window(q.app, "选择声音输出格式")
        click(find(chooser, "push button", "取消"))
        poll(lambda: gone(q.app, "选择声音输出格式"), 5, f"the chooser offered by {what} to close")
        check(text_of(q.control("text", "WAV格式")) == shown, f"a cancelled choice after {what} changed the format")
    check(has_state(q.control("check box", "立体声"), pyatspi.STATE_CHECKED), "立体声 is not checked again")
    check(text_of(q.control("text", "取样")) == "22050", "the rate list did not set 22050")
    q.press("选择WAV格式")
    chooser = window(q.app, "选择声音输出格式")
    tags = find(chooser, "combo box", "格式类别")
    click(tags)
    items = poll(lambda: [i for i in find_all(tags, "list item") if i.name and i.name != "PCM"
                          and i.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width > 0], 5,
                 "the format tags")
    names = [i.name for i in items]
    wanted = next((i for i in items if "ADPCM" in i.name), items[0])
    tag = wanted.name
    click(wanted)
    lists = [l for l in find_all(chooser, "list") if role(l.parent) != "combo box"]
    check(lists, "the chooser shows no list of attributes")
    attributes = next((l for l in lists if tr("属性") in desktop.labels(l)), lists[0])
    first = poll(lambda: [i for i in find_all(attributes, "list item")], 5, "the attributes of " + tag)[0]
    attribute = first.name
    click(first)
    click(find(chooser, "push button", "确定"))
    poll(lambda: gone(q.app, "选择声音输出格式"), 5, "the chooser to close")
    shown = text_of(q.control("text", "WAV格式"))
    check(shown == f"{tag} - {attribute}", f"the format box reads {shown!r}, not {tag} - {attribute} ({names})")
    q.start_recording()
    time.sleep(2.0 * SLOW)
    q.stop_recording()
    take = auto_file(q.home, 1)
    (fmt_tag, channels, rate), data = read_wav(take)
    check(fmt_tag != 1, f"the take was written as PCM after choosing {tag}")
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name:format=duration",
                            "-of", "default=nw=1", take], capture_output=True, text=True)
    print(f"  chose {tag} - {attribute}; ffprobe: {probe.stdout.split()}")
    check(probe.returncode == 0 and "pcm_s16le" not in probe.stdout, f"ffprobe: {probe.stdout} {probe.stderr}")
    duration = float(next(l for l in probe.stdout.split() if l.startswith("duration=")).split("=")[1])
    check(duration > 1.5, f"the compressed take lasts {duration} s")
    q.quit()


NAMED = {
    # window: (role, name) of every control a screen reader must announce by its own name
    MAIN: [("combo box", "设备"), ("combo box", "线路"), ("slider", "声音"), ("text", "输出文件"),
           ("push button", "选择输出文件"), ("text", "WAV格式"), ("push button", "选择WAV格式"), ("text", "取样"),
           ("check box", "立体声"), ("push button", "打开文件夹"), ("check box", "回声"), ("check box", "周相移动"),
           ("check box", "放大器"), ("check box", "均衡器"), ("push button", "开始录音"), ("push button", "试听"),
           ("push button", "设置"), ("push button", "关于"), ("push button", "最小化至系统托盘")],
    "特效设置": [("slider", "长度 (毫秒)"), ("slider", "音效增强"), ("slider", "Dry"), ("slider", "Wet"),
             ("slider", "回放"), ("slider", "扫描速度"), ("slider", "扫描范围"), ("slider", "频率"),
             ("slider", "增强")] + [("slider", f) for f in ("80 Hz", "191 Hz", "455 Hz", "1 kHz", "2 kHz",
                                                             "6 kHz", "14 kHz")],
    "Quillon--试听": [("push button", "不满意，删除！"), ("push button", "打开所在文件夹"), ("push button", "关闭")],
    "Quillon-关于我们": [("push button", "确定"), ("push button", "帮助(H)")],
}
TABS = {"长度 (毫秒)": "回响", "音效增强": "回响", "Dry": "周相移动", "Wet": "周相移动", "回放": "周相移动",
        "扫描速度": "周相移动", "扫描范围": "周相移动", "频率": "周相移动", "增强": "放大器"}


def accessible_names(ctx):
    """Every control of the four windows is found by its own name, not its group's; help opens."""
    opened = ctx.fake_opener()
    home = ctx.new_home(1)
    with open(os.path.join(home, "bangzhu.htm"), "w") as page:
        page.write("<html></html>")
    q = Quillon(ctx, home=home)
    missing = []

    def look(win, title):
        shown = None
        for kind, name in NAMED[title]:
            tab = TABS.get(name, "均衡器" if name.endswith("Hz") else None)
            if title == "特效设置" and tab != shown:
                click(find(win, "page tab", tab))
                shown = tab
            if not find_all(win, kind, name):
                missing.append(f"{title}: {kind} {name!r}")

    look(q.main, MAIN)
    pictures = [p.name for p in find_all(find(q.main, "panel", "效果"), "filler")]
    check(len(pictures) == 4 and len(set(pictures)) == 4 and tr("效果") not in pictures,
          f"the pictures are announced as {pictures}")
    q.press("设置")
    look(window(q.app, "特效设置"), "特效设置")
    q.close_window("特效设置")
    poll(lambda: gone(q.app, "特效设置"), 5, "the settings window to close")
    q.press("试听")
    look(window(q.app, "Quillon--试听"), "Quillon--试听")
    move_aside("Quillon--试听", 850, 100)
    q.press("关于")
    about = window(q.app, "Quillon-关于我们")
    look(about, "Quillon-关于我们")
    check(not missing, "not found by name: " + "; ".join(missing))
    # Help hands the page in the program folder to the desktop's viewer.
    click(find(about, "push button", "帮助(H)"))
    page = "file://" + os.path.join(q.home, "bangzhu.htm")
    poll(lambda: os.path.exists(opened) and open(opened).read().split() == [page], 10, f"{page} to be opened")
    q.quit()


def close_with_windows_open(ctx):
    """Closing the main window while recording, with About and listen-back open, ends it all."""
    q = Quillon(ctx)
    q.choose_device()
    q.start_recording()
    time.sleep(1.0 * SLOW)
    q.stop_recording()
    q.press("试听")
    window(q.app, "Quillon--试听")
    move_aside("Quillon--试听", 850, 100)
    q.press("关于")
    window(q.app, "Quillon-关于我们")
    move_aside("Quillon-关于我们", 850, 600)
    q.start_recording()
    time.sleep(1.0 * SLOW)
    q.close_window()
    code = q.wait_exit()
    check(code == 0, f"the program ended with {code}")
    (tag, channels, rate), data = read_wav(auto_file(q.home, 2))
    check(len(data) > 44100, "the take running at the close was not finished")
    check(os.path.exists(auto_file(q.home, 3)), "the next numbered file was not prepared at the close")


def start_tray(ctx):
    proc = ctx.start(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "200",
                      "--height", "24", "--transparent", "false"], f"{ctx.scenario}-trayer.log")
    time.sleep(1.0)
    return proc


def tray_icon_position(q):
    """The icon's window, embedded in the tray: a small window of ours inside trayer's panel."""
    def probe():
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(q.proc.pid)],
                             capture_output=True, text=True).stdout.split()
        for wid in ids:
            geo = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                                 text=True).stdout
            g = dict(line.split("=") for line in geo.split())
            if int(g["WIDTH"]) <= 32 and int(g["HEIGHT"]) <= 32 and int(g["Y"]) < 30:
                return int(g["X"]) + int(g["WIDTH"]) // 2, int(g["Y"]) + int(g["HEIGHT"]) // 2
        return None

    return poll(probe, 10, "the icon in the tray")


def tray_menu_choose(q, entry):
    x, y = tray_icon_position(q)
    desktop.popups.clear()
    click_at(x, y, 3)
    menu = poll(lambda: next((m for m in desktop.popups if showing(m)), None), 5, "the tray menu")
    entries = [i.name for i in find_all(menu, "menu item")]
    check(entries == [tr("显示Quillon"), tr("开始录音"), tr("停止录音"), tr("退出")], f"the tray menu holds {entries}")
    click(find(menu, "menu item", entry))


def tray_put_away_and_restore(ctx):
    """With a tray: put away, the menu's 显示Quillon, and 退出 with About open."""
    start_tray(ctx)
    q = Quillon(ctx)
    q.choose_device()
    tray_menu_choose(q, "开始录音")
    poll(q.recording, 10, "the tray's 开始录音 to start a recording")
    q.press("最小化至系统托盘")
    poll(lambda: not showing(q.main), 5, "the window to leave the screen")
    listed = subprocess.run(["wmctrl", "-l"], capture_output=True, text=True).stdout
    check(MAIN not in listed, "the put-away window is still listed by the window manager")
    # A left click on the icon does nothing.
    click_at(*tray_icon_position(q))
    time.sleep(0.5 * SLOW)
    check(not showing(q.main), "a left click on the icon brought the window back")
    tray_menu_choose(q, "显示Quillon")
    poll(lambda: showing(q.main), 5, "the window to come back")
    check(q.recording(), "the recording did not go on while the window was put away")
    display_moves(q, "when the window came back")
    q.press("关于")
    window(q.app, "Quillon-关于我们")
    move_aside("Quillon-关于我们", 850, 600)
    q.press("最小化至系统托盘")
    poll(lambda: not showing(q.main), 5, "the window to leave the screen")
    tray_menu_choose(q, "退出")
    code = q.wait_exit()
    check(code == 0, f"the program ended with {code}")
    (tag, channels, rate), data = read_wav(auto_file(q.home, 1))
    check(len(data) > 44100, "the take running at 退出 was not finished")


def minimise_without_tray(ctx):
    """Without a tray the put-away button minimises the window."""
    q = Quillon(ctx)
    q.press("最小化至系统托盘")
    poll(lambda: has_state(q.main, pyatspi.STATE_ICONIFIED) or "Iconic" in wm_state(q), 5,
         "the window to be minimised")
    q.quit()


def wm_state(q):
    wid = subprocess.run(["xdotool", "search", "--name", "^" + MAIN + "$"], capture_output=True,
                         text=True).stdout.split()
    return "".join(subprocess.run(["xprop", "-id", w, "WM_STATE"], capture_output=True, text=True).stdout
                   for w in wid)


def bad_rate_then_format(ctx):
    """A bad rate, then the format button or 立体声: the rate message, no chooser, no crash."""
    q = Quillon(ctx)
    for text, action in (("", ("push button", "选择WAV格式")), ("0", ("check box", "立体声")),
                         ("0", ("push button", "选择WAV格式"))):
        q.set_rate(text)
        click(q.control(*action))
        try:
            box = q.box(timeout=5)
        except Failure:
            check(q.alive(), f"the program ended after {action[1]} with the rate {text!r}")
            raise
        check(box.first_line == tr(RATE_MESSAGE), f"after {action[1]} with the rate {text!r}: {box!r}")
        box.answer()
        check(gone(q.app, "选择声音输出格式"), "the format chooser opened on a bad rate")
    check(q.alive(), "the program ended")
    q.quit()


def delete_refused_while_recording(ctx):
    """Listen-back's delete refuses the file that is being recorded again."""
    q = Quillon(ctx)
    q.choose_device()
    take = os.path.join(recordings(q.home), "again.wav")
    q.set_file(take)
    q.start_recording()
    time.sleep(1.0 * SLOW)
    q.stop_recording()
    q.press("试听")
    st = window(q.app, "Quillon--试听")
    move_aside("Quillon--试听", 850, 100)
    q.set_file(take)
    q.start_recording()
    time.sleep(1.0 * SLOW)
    q.press("不满意，删除！", st)
    try:
        q.expect_box("Quillon", "这个文件正在录音, 不能删除!", timeout=5)
    finally:
        check(os.path.exists(take), "the file being recorded was deleted")
    check(q.recording(), "the recording stopped")
    time.sleep(1.0 * SLOW)
    q.stop_recording()
    (tag, channels, rate), data = read_wav(take)
    check(len(data) > 44100 * 4, "the take recorded again is not complete")
    q.quit()


def overwrite_question(ctx):
    """The file dialog asks about the file that will be written, take.wav, not take."""
    q = Quillon(ctx)
    folder = recordings(q.home)
    for name in ("take", "take.wav"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"keep me")
    q.press("选择输出文件")
    dialog = poll(lambda: next((w for w in windows(q.app) if role(w) == "dialog"), None), 10, "the file dialog")
    click(find(dialog, "text", "File name"))
    type_text(os.path.join(folder, "take"))
    key("Return")
    box = q.box()
    print(f"  question: {box!r}")
    check("take.wav" in box.text, f"the question does not name take.wav: {box.text!r}")
    box.answer("No") if find_all(box.acc, "push button", "No") else box.answer("否")
    key("Escape")
    poll(lambda: not any(role(w) == "dialog" for w in windows(q.app)), 5, "the file dialog to close")
    with open(os.path.join(folder, "take.wav"), "rb") as f:
        check(f.read() == b"keep me", "take.wav changed")
    q.quit()


FILE_MANAGER = r'''
import sys, time
from gi.repository import Gio, GLib
XML = """<node><interface name="org.freedesktop.FileManager1"><method name="ShowItems">
<arg type="as" direction="in"/><arg type="s" direction="in"/></method></interface></node>"""
log, delay = sys.argv[1], float(sys.argv[2])
def note(line):
    with open(log, "a") as f:
        f.write(line + "\n")
def answer(invocation):
    invocation.return_value(None)
    note(f"answered {time.time()}")
    return False
def call(conn, sender, path, iface, method, params, invocation):
    note("asked " + " ".join(params.unpack()[0]))
    GLib.timeout_add(int(delay * 1000), answer, invocation)
def acquired(conn, name):
    conn.register_object("/org/freedesktop/FileManager1", Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0],
                         call, None, None)
Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.FileManager1", 0, acquired, None, None)
GLib.MainLoop().run()
'''


def open_folder_async(ctx):
    """打开文件夹 with a file manager slow to answer: the window stays live, one folder opens."""
    calls = os.path.join(ctx.work, "showitems.log")
    fallback = ctx.fake_opener()
    script = os.path.join(ctx.work, "filemanager.py")
    with open(script, "w") as f:
        f.write(FILE_MANAGER)
    # Slower than a person waits, quicker than the program gives up on it.
    ctx.start(["/usr/bin/python3", script, calls, "2.5"], f"{ctx.scenario}-filemanager.log")
    q = Quillon(ctx)
    q.press("打开文件夹")
    poll(lambda: os.path.exists(calls), 5, "the file manager to be asked")
    # While the file manager thinks, the window must take a click.
    echo = q.control("check box", "回声")
    click(echo)
    poll(lambda: has_state(echo, pyatspi.STATE_CHECKED), 10, "回声 to be checked")
    took_click = time.time()

    def log():
        with open(calls) as f:
            return f.read().split("\n")

    answered = float(poll(lambda: next((l.split()[1] for l in log() if l.startswith("answered")), None), 10,
                          "the file manager to answer"))
    print(f"  the click on 回声 took effect {answered - took_click:.2f} s before the file manager answered")
    check(took_click < answered, "the window took no click while the file manager was thinking")
    asked = [l.split()[1] for l in log() if l.startswith("asked")]
    wanted = "file://" + auto_file(q.home, 1)
    check([urllib.parse.unquote(a) for a in asked] == [wanted], f"ShowItems was asked for {asked}, not {wanted}")
    time.sleep(1.0 * SLOW)
    check(not os.path.exists(fallback), "the folder was opened a second time by xdg-open")
    q.quit()


# ---------------------------------------------------------------------------------------------
# Control from outside: quillon-cli ctl, the shortcut portal, the sleep inhibitor.

STANDINS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standins.py")
BUS_NAME = "io.github.quillon.Quillon"


def ctl(ctx, command, home):
    """quillon-cli ctl COMMAND --home HOME: (exit status, output, seconds it took)."""
    if ctx.cli is None:
        raise Skipped("no quillon-cli given (--cli)")
    began = time.monotonic()
    done = subprocess.run([ctx.cli, "ctl", command, "--home", home], capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout.strip(), time.monotonic() - began


def ctl_ok(ctx, command, home):
    code, out, took = ctl(ctx, command, home)
    ctx.ctl_seconds = max(getattr(ctx, "ctl_seconds", 0.0), took)
    check(code == 0, f"ctl {command} ended with {code}: {out!r}")
    # The window answers at once, with a box open too.
    check(took < 3 * SLOW, f"ctl {command} took {took:.1f} s")
    return out


def log_lines(path):
    try:
        with open(path) as f:
            return f.read().splitlines()
    except OSError:
        return []


def standin(ctx, kind, *args):
    log = os.path.join(ctx.work, f"{ctx.scenario}-{kind}.log")
    ctx.start(["/usr/bin/python3", STANDINS, kind, log, *args], f"{ctx.scenario}-{kind}-out.log")
    poll(lambda: "ready" in log_lines(log), 10, f"the {kind} stand-in")
    return log


def private_bus(ctx, name):
    """A bus of its own, for a service that lives on the system bus."""
    socket = os.path.join(ctx.work, name)
    ctx.start(["dbus-daemon", "--session", f"--address=unix:path={socket}", "--nofork", "--nopidfile"],
              f"{ctx.scenario}-{name}.log")
    poll(lambda: os.path.exists(socket), 10, f"the bus {name}")
    return f"unix:path={socket}"


def ctl_window(ctx):
    """ctl: no window (exit 3), start with a box open, status, mark, a second window, toggle."""
    home = ctx.new_home()
    for command in ("start", "stop", "toggle", "mark", "status"):
        code, out, _ = ctl(ctx, command, home)
        check(code == 3, f"ctl {command} without a window ended with {code}: {out!r}")
    ctx.start(["dbus-monitor", "--session", "type='signal',interface='org.freedesktop.DBus.Properties'"],
              f"{ctx.scenario}-signals.log")
    signals = os.path.join(ctx.out, f"{ctx.scenario}-signals.log")
    q = Quillon(ctx, home=home)
    check(ctl_ok(ctx, "status", home) == "idle", "the idle window's status is not idle")

    # No device yet: the button's own box, raised after ctl has its answer; while it is open
    # further calls answer with the state and raise nothing more.
    def while_open(box):
        ctl_ok(ctx, "start", home)
        ctl_ok(ctx, "toggle", home)
        check(ctl_ok(ctx, "status", home) == "idle", "the status changed while the box was open")

    ctl_ok(ctx, "start", home)
    q.expect_box("提示", "没有选择硬件设备!", while_open=while_open)
    time.sleep(1.0 * SLOW)
    check(no_box(q.app), "a call made while the box was open raised another box")

    q.choose_device()
    ctl_ok(ctx, "start", home)
    status = poll(lambda: (lambda s: s if s.startswith("recording ") else None)(ctl_ok(ctx, "status", home)), 10,
                  "ctl status to say recording")
    poll(q.recording, 5, "the record button to read 停止录音")
    time.sleep(2.0 * SLOW)
    _, file, seconds = ctl_ok(ctx, "status", home).rsplit(" ", 2)
    check(file == auto_file(home, 1) and int(seconds) >= 1, f"ctl status says {status!r}, then {file} {seconds}")
    ctl_ok(ctx, "mark", home)
    ctl_ok(ctx, "start", home)  # recording already: nothing changes
    # A second window for the same folder hands over and ends; the first one goes on.
    second = subprocess.run([ctx.quillon, "--home", home], capture_output=True, text=True, timeout=30 * SLOW,
                            env=ctx.program_env())
    check(second.returncode == 0, f"the second window ended with {second.returncode}: {second.stderr[-500:]}")
    check(len([w for w in windows(q.app) if w.name == tr(MAIN)]) == 1, "there is more than one main window")
    check(q.recording(), "the recording stopped when the second window was started")
    other = ctx.new_home()
    code, _, _ = ctl(ctx, "status", other)
    check(code == 3, f"ctl status for another folder ended with {code}, not 3")
    ctl_ok(ctx, "toggle", home)
    poll(lambda: ctl_ok(ctx, "status", home) == "idle", 10, "ctl status to say idle after toggle")
    poll(lambda: not q.recording(), 5, "the record button to read 开始录音")
    (tag, channels, rate), data = read_wav(auto_file(home, 1))
    check(len(data) >= 44100 * 4 * 2, f"the take holds {len(data)} bytes")
    ctl_ok(ctx, "toggle", home)
    poll(lambda: ctl_ok(ctx, "status", home).startswith("recording " + auto_file(home, 2)), 10,
         "the second take through toggle")
    ctl_ok(ctx, "stop", home)
    poll(lambda: ctl_ok(ctx, "status", home) == "idle", 10, "ctl stop to end the take")
    time.sleep(0.5 * SLOW)
    heard = "\n".join(log_lines(signals))
    for state in ("recording", "idle"):
        check(f'string "{state}"' in heard and BUS_NAME in heard,
              f"no PropertiesChanged with State {state} was seen")
    check(re.search(r'string "Seconds"\s+variant\s+int64 [1-9]', heard), "no PropertiesChanged of the seconds was seen")
    q.quit()
    code, _, _ = ctl(ctx, "status", home)
    check(code == 3, f"ctl status after the window closed ended with {code}, not 3")
    print(f"  the slowest ctl answer took {ctx.ctl_seconds:.2f} s")


def portal_shortcut(ctx):
    """The shortcut portal: bound at start-up, each press toggles; sleep held through the portal."""
    log = standin(ctx, "portal")
    # No logind: the portal's inhibitor is the one taken.
    q = Quillon(ctx, env={"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={ctx.work}/no-system-bus"})
    poll(lambda: f"bind toggle-recording {tr('开始或停止录音')}" in log_lines(log), 10, "the shortcut to be bound")
    q.choose_device()
    ctx.helpers[-1].send_signal(signal.SIGUSR1)
    poll(q.recording, 10, "the shortcut to start a recording")
    poll(lambda: any(l.startswith("portal-inhibit 4 ") for l in log_lines(log)), 10, "the portal's inhibitor")
    time.sleep(1.0 * SLOW)
    ctx.helpers[-1].send_signal(signal.SIGUSR1)
    poll(lambda: not q.recording(), 10, "the shortcut to stop the recording")
    poll(lambda: any(l.startswith("portal-release ") for l in log_lines(log)), 10, "the portal's inhibitor to go")
    check(not any(tr("无法阻止休眠") in t for t in q.status()), f"the status bar notes no inhibitor: {q.status()}")
    (tag, channels, rate), data = read_wav(auto_file(q.home, 1))
    check(len(data) > 44100 * 4 // 2, f"the take holds {len(data)} bytes")
    q.quit()


def sleep_inhibitor(ctx):
    """logind's inhibitor is held while recording and let go at the stop; without one, a note."""
    address = private_bus(ctx, "system-bus")
    log = standin(ctx, "logind", address)
    q = Quillon(ctx, env={"DBUS_SYSTEM_BUS_ADDRESS": address})
    q.choose_device()
    q.start_recording()
    poll(lambda: "inhibit sleep:idle Quillon " + tr("正在录音") + " block" in log_lines(log), 10,
         "logind to be asked for the inhibitor")
    time.sleep(1.0 * SLOW)
    check("released" not in log_lines(log), "the inhibitor went while recording")
    q.stop_recording()
    poll(lambda: "released" in log_lines(log), 10, "the inhibitor to be let go at the stop")
    q.quit()
    # quillon-cli record holds one too, and says so when it cannot.
    if ctx.cli is None:
        raise Skipped("no quillon-cli given (--cli)")
    for system_bus, held in ((address, True), (f"unix:path={ctx.work}/no-system-bus", False)):
        done = subprocess.run([ctx.cli, "record", "--seconds", "1", "--home", ctx.new_home()], capture_output=True,
                              text=True, timeout=60, env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=system_bus))
        check(done.returncode == 0, f"quillon-cli record ended with {done.returncode}: {done.stderr}")
        check(("nothing keeps the computer awake" in done.stderr) != held, f"quillon-cli record said: {done.stderr!r}")
    calls = log_lines(log)
    check(calls.count("inhibit sleep:idle Quillon Recording block") == 1 and calls.count("released") == 2,
          f"logind saw {calls}")
    # Neither logind nor a portal: a note in the status bar, once, and the take goes on.
    q = Quillon(ctx, env={"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={ctx.work}/no-system-bus"})
    q.choose_device()
    for _ in range(2):
        q.start_recording()
        poll(lambda: tr("无法阻止休眠") in q.status(), 10, "the note in the status bar")
        check(no_box(q.app), "a box came up about the inhibitor")
        time.sleep(1.0 * SLOW)
        check(q.recording(), "the recording stopped without an inhibitor")
        q.stop_recording()
    check(q.status().count(tr("无法阻止休眠")) == 1, f"the note is not there once: {q.status()}")
    q.quit()


# name, group, smoke (also in the release build), function
SCENARIOS = [
    ("record_button_boxes", "boxes", True, record_button_boxes),
    ("startup_boxes", "boxes", False, startup_boxes),
    ("write_error_box", "boxes", False, write_error_box),
    ("full_disk_boxes", "boxes", False, full_disk_boxes),
    ("rate_keys", "rate", True, rate_keys),
    ("record_listen_delete", "record", True, record_listen_delete),
    ("effects_while_recording", "record", False, effects_while_recording),
    ("sound_activated", "handsfree", False, sound_activated),
    ("compressed_format", "format", False, compressed_format),
    ("accessible_names", "windows", True, accessible_names),
    ("close_with_windows_open", "windows", True, close_with_windows_open),
    ("tray_put_away_and_restore", "tray", False, tray_put_away_and_restore),
    ("minimise_without_tray", "tray", False, minimise_without_tray),
    ("bad_rate_then_format", "faults", False, bad_rate_then_format),
    ("delete_refused_while_recording", "faults", False, delete_refused_while_recording),
    ("overwrite_question", "faults", False, overwrite_question),
    ("open_folder_async", "faults", False, open_folder_async),
    ("ctl_window", "remote", True, ctl_window),
    ("portal_shortcut", "remote", False, portal_shortcut),
    ("sleep_inhibitor", "remote", False, sleep_inhibitor),
    # Last: it takes the null sink, and the tone playing into it, away.
    ("device_boxes", "device", False, device_boxes),
]


def unload_sink():
    """Takes the null sink away, and the stand-in the server would put in its place, so no
    other source can take the lost one's place in the list."""
    out = subprocess.run(["pactl", "list", "short", "modules"], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if "sink_name=quillon_null" in line or "module-always-sink" in line:
            subprocess.run(["pactl", "unload-module", line.split()[0]], check=True)


def load_sink():
    subprocess.run(["pactl", "load-module", "module-null-sink", "sink_name=quillon_null",
                    "sink_properties=device.description=Quillon-Null-Sink"], check=True, capture_output=True)
    subprocess.run(["pactl", "load-module", "module-always-sink"], check=True, capture_output=True)


def screenshots(ctx, name):
    shot = os.path.join(ctx.out, f"{name}-screen.png")
    subprocess.run(["import", "-window", "root", shot], capture_output=True)
    listed = subprocess.run(["wmctrl", "-l"], capture_output=True, text=True).stdout
    for i, line in enumerate(listed.splitlines()):
        wid = line.split()[0]
        subprocess.run(["import", "-window", wid, os.path.join(ctx.out, f"{name}-window{i}.png")],
                       capture_output=True)
    with open(os.path.join(ctx.out, f"{name}-windows.txt"), "w") as f:
        f.write(listed)


def run(ctx, name, function):
    ctx.scenario = name
    ctx.programs = []
    began = time.monotonic()
    print(f"== {name}: {function.__doc__.strip().splitlines()[0]}", flush=True)
    try:
        function(ctx)
        for q in ctx.programs:
            report = q.sanitizer_report()
            check(report is None, f"the program reported:\n{report}")
        print(f"   passed in {time.monotonic() - began:.1f} s", flush=True)
        return True
    except Skipped as why:
        print(f"   SKIPPED: {why}", flush=True)
        return True
    except Exception as error:
        if not isinstance(error, Failure):
            traceback.print_exc()
        print(f"   FAILED in {time.monotonic() - began:.1f} s: {error}", flush=True)
        screenshots(ctx, name)
        for q in ctx.programs:
            report = q.sanitizer_report()
            if report:
                print(f"   the program reported:\n{report}")
        return False
    finally:
        for proc in [q.proc for q in ctx.programs] + ctx.helpers:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        ctx.helpers = []
        os.environ["PATH"] = ctx.path
        for home in range(1, ctx.homes + 1):
            subprocess.run(["umount", os.path.join(ctx.work, f"home{home}", "file")], capture_output=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillon", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--group")
    parser.add_argument("--scenario")
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--english", metavar="TS", help="run the program in English, its texts taken from TS")
    parser.add_argument("--cli", help="quillon-cli, for the scenarios that control the window from outside")
    args = parser.parse_args()
    chosen = [(n, f) for n, g, smoke, f in SCENARIOS
              if (args.group in (None, g)) and (args.scenario in (None, n)) and (smoke or not args.smoke)]
    if not chosen:
        print("no scenario matches", file=sys.stderr)
        return 2
    ctx = Context(os.path.abspath(args.quillon), args.out, args.work,
                  os.path.abspath(args.cli) if args.cli else None)
    if args.english:
        desktop.load_translation(args.english)
        ctx.english = True
    failed = [n for n, f in chosen if not run(ctx, n, f)]
    print(f"{len(chosen) - len(failed)} of {len(chosen)} scenarios passed" +
          (f"; failed: {', '.join(failed)}" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
