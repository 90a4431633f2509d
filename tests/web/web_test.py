#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The web page in a browser engine (--browser: headless Chromium, or Firefox ESR under its own
Xvfb; both on software WebGL), against what the native build shows.

  frames  deterministic frames (?frame=N&answer=no, keys as rinta-capture's --key) of every
          scene, each held against rinta-capture's frame of the same number: mean difference
          of a few levels, scene 7's outlines and scene 2's fog included; and one drawn at the
          window's own pixels (&resolution=native) against rinta-capture --size of that window
  live    the question answered from the keyboard, the demo running, key 6 showing the
          credits' grey, the picture remade at the window's pixels when the window changes,
          Esc ending it with the last frame kept; no console error
  faults  a broken picture and a missing module: a console line each, the demo still runs; the
          page names the file that did not come and the server's answer; a damaged module is
          refused and the demo plays on
  looping a song whose last order jumps back to the first: the page plays on past the song's
          length as rinta-capture does, deterministically (frame against frame) and live, each
          position read the row being heard then (within the music core's 5.8 ms step)
  messages  the loading bar counts the bytes of the total on a slow line; every way the page
          can fail to start ends in a visible message, audio let go: bad
          link parameters, a frame past the song's end, file://, fullscreen refused then
          declined, a code file that does not come (which file, what status)
  phone   a 390 x 844 viewport: the question fits with finger-sized buttons, Ctrl+N is not an
          answer; touch: a tap shows the keys, 6 shows the credits, swipes step the scene,
          End ends; the status line leaves the picture
  serving scripts/serve.py sends NAME.br / NAME.gz in place of NAME with their encoding (the
          same bytes once decoded), never a stale one; the page's pictures decode as the data's
  prepare an answer given while the page prepares is taken before the preparation is over
  audio   the music through the audio thread's player: no deprecated node, a 200 ms main-thread
          stall leaves no gap, a context that starts late takes over without a jump, Esc lets
          the context go
  driver  the harness itself in the engine: a 640 x 480 viewport at one device pixel per CSS
          pixel, its screenshot the right way up, keys reaching the page, scripts seeing the
          page's globals, and every kind of console line read back once
  context the WebGL context lost and given back (WEBGL_lose_context): the picture returns with
          its textures, the song went on meanwhile
  live and phone play a song that never ends (with --make-module), so that a busy machine
  cannot stretch them past the song's end.
  bench   figures, not a test: download size, load to question and to ready (--rate 4M: on a
          4 Mbit/s line), answer to first frame, and each scene's frame time in the page
          against rinta-capture --bench
"""
import argparse
import contextlib
import fcntl
import gzip
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
import browser  # noqa: E402
import serve  # noqa: E402

failures = []


def fail(text):
    print("FAIL:", text)
    failures.append(text)


def mean_levels(png, crop=None):
    """Mean of each channel, 0-255, of a picture or a WIDTHxHEIGHT+X+Y box of it."""
    args = ["convert", png] + (["-crop", crop, "+repage"] if crop else []) + [
        "-format", "%[fx:255*mean.r] %[fx:255*mean.g] %[fx:255*mean.b]", "info:"]
    return [float(v) for v in subprocess.check_output(args, text=True).split()]


def difference(a, b):
    """Mean absolute difference of two pictures, in levels of 255 (all channels)."""
    r = subprocess.run(["compare", "-metric", "MAE", a, b, "null:"], capture_output=True, text=True)
    if r.returncode == 2:
        raise RuntimeError(r.stderr.strip())
    return 255 * float(r.stderr.split("(")[1].split(")")[0])


def errors_in(entries, allow=()):
    return [m for level, m in entries if level == "SEVERE" and not any(a in m for a in allow)]


def no_console_errors(b, what="console errors"):
    """Fails the check with the page's first console errors, if it logged any."""
    errors = errors_in(b.console())
    if errors:
        fail(what + ": " + "; ".join(errors[:5]))


def open_browser():
    return browser.Browser()  # the engine --browser names


# ---- frames -------------------------------------------------------------------------------

# (name, frame, keys): a frame of every scene, forced from the first frame where the song has
# not reached it yet, and one frame far into the song chosen by the music itself.
CASES = [
    ("scene1", 120, []),
    ("scene2-fog", 90, ["1:2"]),
    ("scene3", 90, ["1:3"]),
    ("scene4", 200, ["1:4"]),
    ("scene5", 90, ["1:5"]),
    ("scene6", 192, ["1:6"]),
    ("scene7-outlines", 40, ["1:7"]),
    ("scene8", 90, ["1:8"]),
    ("song-frame-6000", 6000, []),
]


def file_stamp(path):
    st = os.stat(path)
    return [os.path.basename(path), st.st_size, st.st_mtime_ns]


# ?resolution=native in a window of this size against rinta-capture --size of the same.
NATIVE_SIZE = (1280, 960)
NATIVE_CASE = ("scene7-outlines", 40, ["1:7"])


def native_frames(args):
    """rinta-capture's frame of every case. Made once for all engines when --refs names a shared
    place: the first run makes them under a lock, the others wait and reuse them while the
    capture tool and the data are the ones they came from."""
    where = args.refs or os.path.join(args.work, "native")
    os.makedirs(where, exist_ok=True)
    stamp = json.dumps([file_stamp(args.capture), CASES] +
                       sorted(file_stamp(os.path.join(args.data, f)) for f in os.listdir(args.data)))
    refs = {name: os.path.join(where, name, f"frame-{frame:06d}.png") for name, frame, _ in CASES}
    stamp_file = os.path.join(where, "made-from.json")
    with open(os.path.join(where, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        with contextlib.suppress(OSError), open(stamp_file) as f:
            if f.read() == stamp and all(os.path.exists(r) for r in refs.values()):
                return refs
        with contextlib.suppress(OSError):
            os.remove(stamp_file)
        for name, frame, keys in CASES:
            out = os.path.join(where, name)
            shutil.rmtree(out, ignore_errors=True)
            cmd = [args.capture, "--data", args.data, "--png", out, "--frames", str(frame)]
            for k in keys:
                cmd += ["--key", k]
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(stamp_file, "w") as f:
            f.write(stamp)
    return refs


def frames(args):
    refs = native_frames(args)
    name, frame, keys = NATIVE_CASE
    out = os.path.join(args.work, "native-size-" + name)
    shutil.rmtree(out, ignore_errors=True)
    cmd = [args.capture, "--data", args.data, "--png", out, "--frames", str(frame), "--size", "%dx%d" % NATIVE_SIZE]
    for k in keys:
        cmd += ["--key", k]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    native_ref = os.path.join(out, f"frame-{frame:06d}.png")

    diffs = []
    with browser.serve(args.web) as url:
        b = open_browser()
        try:
            if not b.fit_viewport(640, 480):
                fail("the browser window cannot be made 640 x 480")
                return
            for name, frame, keys in CASES:
                query = f"?frame={frame}&answer=no" + "".join(f"&key={k}" for k in keys)
                t0 = time.time()
                b.open(url + "index.html" + query)
                ended = b.wait_for("window.rinta && window.rinta.phase === 'ended' && window.rinta.ended", 300)
                seconds = time.time() - t0
                shot = os.path.join(args.work, f"web-{name}.png")
                b.screenshot(shot)
                if ended != "the frame asked for":
                    fail(f"{name}: the page did not finish frame {frame} ({ended})")
                    continue
                d = difference(refs[name], shot)
                diffs.append(d)
                print(f"{name:16s} frame {frame:5d}: mean difference {d:5.2f} levels ({seconds:.1f} s in the page)")
                if d > args.tolerance:
                    fail(f"{name}: frame {frame} differs from rinta-capture's by {d:.2f} levels on average")
            if diffs:
                print(f"{b.name}: mean difference over {len(diffs)} frames {sum(diffs) / len(diffs):.2f} levels, "
                      f"largest {max(diffs):.2f}")
            # At the window's own pixels: the frame rinta-capture draws at that size, the
            # outlines' width scaled with it (2 pixels at 960 high).
            if not b.fit_viewport(*NATIVE_SIZE):
                fail("the browser window cannot be made %d x %d" % NATIVE_SIZE)
            else:
                name, frame, keys = NATIVE_CASE
                b.open(url + f"index.html?frame={frame}&answer=no&resolution=native"
                       + "".join(f"&key={k}" for k in keys))
                ended = b.wait_for("window.rinta && window.rinta.phase === 'ended' && window.rinta.ended", 300)
                shot = os.path.join(args.work, f"web-native-{name}.png")
                b.screenshot(shot)
                size = b.js("return [canvas.width, canvas.height]")
                if ended != "the frame asked for" or size != list(NATIVE_SIZE):
                    fail(f"native {name}: frame {frame} ({ended}) on a canvas of {size}")
                else:
                    d = difference(native_ref, shot)
                    print(f"native {name} {NATIVE_SIZE[0]}x{NATIVE_SIZE[1]}: mean difference {d:5.2f} levels")
                    if d > args.tolerance:
                        fail(f"native {name}: differs from rinta-capture --size by {d:.2f} levels on average")
            no_console_errors(b)
        finally:
            b.close()

    # What the viewer must see beyond the average: scene 2's fog darkens the far floor like the
    # native frame, and scene 7's outlines are there (the y- and x-runs are lines only).
    shot, ref = os.path.join(args.work, "web-scene7-outlines.png"), refs["scene7-outlines"]
    web7, native7 = sum(mean_levels(shot)), sum(mean_levels(ref))
    if native7 > 3 and abs(web7 - native7) > 0.25 * native7:
        fail(f"scene 7: the outlines' brightness {web7:.1f} is not the native {native7:.1f}")
    shot, ref = os.path.join(args.work, "web-scene2-fog.png"), refs["scene2-fog"]
    for box in ("640x120+0+0", "640x120+0+360"):
        w, n = sum(mean_levels(shot, box)), sum(mean_levels(ref, box))
        if abs(w - n) > 12:
            fail(f"scene 2: the fogged band {box} is {w:.1f} here and {n:.1f} natively")


# ---- live ---------------------------------------------------------------------------------

def is_grey(png, band="16x480+0+0"):
    r, g, bl = mean_levels(png, band)  # the left edge: neither ring nor picture reaches it
    return all(abs(c - 128) < 8 for c in (r, g, bl))


def endless_page(args):
    """The page with a song that never ends: its first order repeats, so the demo stays in its
    first scene until a key says otherwise. For the checks that act on the running demo, which
    a busy machine may stretch past the real song's four minutes (the real song where no
    --make-module is given)."""
    if not args.make_module:
        return args.web
    page = os.path.join(args.work, "endless-page")
    shutil.rmtree(page, ignore_errors=True)
    shutil.copytree(args.web, page)
    subprocess.run([args.make_module, os.path.join(page, "data", "sorvan.it"), "64", "0:63:0"], check=True)
    return page


def frames_behind(b, looks=5):
    """For a few fences put in the GL stream between the live page's calls, the frames the page
    began before each was drawn. A page that runs ahead of its GL shows what it made seconds ago
    (and the music is on by then)."""
    b.js("""const looks = arguments[0], gl = GLctx, counts = (window.rintaBehind = []);
        function look() {
            const from = window.rinta.frames, fence = gl.fenceSync(gl.SYNC_GPU_COMMANDS_COMPLETE, 0);
            gl.flush();
            (function poll() {
                if (gl.getSyncParameter(fence, gl.SYNC_STATUS) !== gl.SIGNALED) return setTimeout(poll, 1);
                gl.deleteSync(fence);
                counts.push(window.rinta.frames - from);
                if (counts.length < looks) setTimeout(look, 50);
            })();
        }
        look();""", looks)
    if not b.wait_for(f"window.rintaBehind.length >= {looks}", 120):
        return None
    return b.js("return window.rintaBehind")


def live(args):
    with browser.serve(endless_page(args)) as url:
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            # At 640 x 480 the classic size, remade on a resize; one sample a pixel, as classic
            # has it, which a software renderer on a busy machine draws in time.
            b.open(url + "index.html?resolution=native&msaa=0")
            if not b.wait_for("window.rinta && window.rinta.phase === 'question'", 60):
                fail("no question")
                return
            text = b.js("return document.getElementById('q-text').textContent + '|' + "
                        "document.getElementById('q-caption').textContent")
            if text != "Would You Like To Run In Fullscreen Mode?|Start FullScreen?":
                fail(f"the question reads {text!r}")
            b.keys(browser.KEY_TAB, browser.KEY_ENTER)  # to No, then press it
            if not b.wait_for("window.rinta.frames > 20", 60):
                fail(f"the demo does not run after the answer (phase {b.js('return window.rinta.phase')})")
                return
            if b.js("return window.rinta.fullscreen") is not False:
                fail("answering No did not run windowed")
            times = b.js("return window.rinta.times")
            print(f"load to question {times.get('question')} ms, answer to first frame "
                  f"{times['firstFrame'] - times['answered']:.0f} ms")
            credits_from = b.js("return window.rinta.frames")
            b.keys("6")

            def credits_stay():
                """Whether the credits are surely still on: they hand the demo on at their 1024th
                frame, which a busy machine's slow looks may reach. Past it, key 6 brings them
                back for good (their hand-over happens once), and this waits until they show."""
                run = b.js("return window.rinta.frames") - credits_from
                if run < 1000:
                    return True
                b.wait_for(f"window.rinta.frames - {credits_from} >= 1100", 600)
                b.keys("6")
                end = time.time() + 60
                while not is_grey(shot) and time.time() < end:
                    time.sleep(0.1)
                    b.screenshot(shot)
                print("live: the credits handed the demo on during the looks; key 6 again")
                return False

            grey = False
            deadline = time.time() + 60  # a busy machine draws a frame in seconds, not ms
            while time.time() < deadline:
                time.sleep(0.1)
                shot = os.path.join(args.work, "live-6.png")
                b.screenshot(shot)
                if is_grey(shot):
                    grey = True
                    break
            if not grey:
                fail(f"key 6 does not show the credits' grey (left band {mean_levels(shot, '16x480+0+0')})")
            else:
                behind = frames_behind(b)
                print(f"live: frames begun while the GL drew what it had: {behind}")
                if behind is None or max(behind) > 8:
                    fail(f"the picture falls behind the frames the page makes: {behind} frames")
                # Scene 1 runs first in every frame and sleeps before scene 6 draws: the page
                # must never show it, since only the swap reaches the canvas.
                for i in range(8):
                    b.screenshot(shot)
                    if not credits_stay():  # the look may have come after the hand-over
                        break
                    if not is_grey(shot):
                        fail("a frame's first scene reached the page before the swap")
                        break
                    time.sleep(0.05)
                # The picture follows the window at its own pixels: remade, not stretched, and
                # drawn on; then back.
                for (w, h), canvas_size, band in (((900, 600), [800, 600], "16x600+60+0"),
                                                  ((640, 480), [640, 480], "16x480+0+0")):
                    credits_stay()
                    b.fit_viewport(w, h)
                    if not b.wait_for(f"canvas.width === {canvas_size[0]} && canvas.height === {canvas_size[1]}", 60):
                        fail(f"in a {w} x {h} window the canvas is {b.js('return [canvas.width, canvas.height]')}, "
                             f"not {canvas_size}")
                        continue
                    deadline = time.time() + 60
                    b.screenshot(shot)
                    while not is_grey(shot, band) and time.time() < deadline:
                        time.sleep(0.1)
                        b.screenshot(shot)
                    if not is_grey(shot, band):
                        fail(f"in a {w} x {h} window the credits' grey is not drawn ({mean_levels(shot, band)})")
            if grey:
                credits_stay()
            frames_before = b.js("return window.rinta.frames")
            b.keys(browser.KEY_ESCAPE)
            if b.wait_for("window.rinta.phase === 'ended'", 60) is None:
                fail("Esc does not end the demo")
            else:
                status = b.js("return document.getElementById('status').textContent")
                if "ended" not in status:
                    fail(f"no line says the demo ended ({status!r})")
                time.sleep(0.5)
                after = b.js("return window.rinta.frames")
                if after > frames_before + 30:
                    fail("frames go on after Esc")
                shot = os.path.join(args.work, "live-ended.png")
                b.screenshot(shot)
                if not is_grey(shot):
                    fail("the last frame did not stay after Esc")
                if b.js("return Module.rintaAudio.ctx") is not None:
                    fail("the audio is still open after Esc")
            no_console_errors(b)
        finally:
            b.close()


# ---- faults -------------------------------------------------------------------------------

def faults(args):
    page = os.path.join(args.work, "page")
    shutil.rmtree(page, ignore_errors=True)
    shutil.copytree(args.web, page)
    os.remove(os.path.join(page, "data", "sorvan.it"))
    broken = os.path.join(page, "data", "tarvel.jpg")
    with open(broken, "rb") as f:
        head = f.read(2000)
    with open(broken, "wb") as f:
        f.write(head)  # cut short: the header reads, the picture does not
    with browser.serve(page) as url:
        b = open_browser()
        try:
            b.open(url + "index.html?answer=no")
            if not b.wait_for("window.rinta && window.rinta.frames > 20", 60):
                fail(f"the demo does not run without its module (phase {b.js('return window.rinta.phase')})")
            lines = [m for _, m in b.console()]
            if not any("texture data/tarvel.jpg" in m and "not loaded" in m for m in lines):
                fail("no console line names the broken picture: " + " | ".join(lines[-5:]))
            if not any("music: cannot open data/sorvan.it" in m for m in lines):
                fail("no console line names the missing module: " + " | ".join(lines[-5:]))
            note = b.js("return document.getElementById('status').textContent")
            if "data/sorvan.it" not in note or "404" not in note:
                fail(f"the page does not say which file did not come, and why ({note!r})")
            if b.js("return window.rinta.phase") != "running":
                fail("the demo stopped")
            # A module that is there but damaged is refused as natively: the demo plays on in
            # silence, where an exception from the decoder once stopped the page at its start.
            with open(os.path.join(page, "data", "sorvan.it"), "wb") as f:
                f.write(b"IMPM" + random.Random(7).randbytes(70000))
            b.open(url + "index.html?answer=no")
            if not b.wait_for("window.rinta && window.rinta.frames > 20", 60):
                fail(f"the demo does not run with a damaged module (phase {b.js('return window.rinta.phase')})")
            if not any("data/sorvan.it is not a module" in m for _, m in b.console()):
                fail("no console line names the damaged module")
        finally:
            b.close()


# ---- looping ------------------------------------------------------------------------------

LOOP_FRAME = 400  # about 6 s of demo time: the 2.5 s song two times over
LOOP_ROW_SAMPLES, LOOP_ROWS, LOOP_RATE = 432, 256, 44100  # make_module's rows, at the page's rate
HEARD_POSITION_SLACK = 0.0065  # the music core's finest step (256 samples), and a little


def heard_position_error(row, at):
    """How far, in seconds, the time `at` on the song's clock lies outside the row `row` of
    the looping song (0 when that row is the one being heard then)."""
    playing = int(at * LOOP_RATE // LOOP_ROW_SAMPLES)  # rows since the start, loops counted
    ahead = (row - playing) % LOOP_ROWS
    ahead = ahead - LOOP_ROWS if ahead >= LOOP_ROWS // 2 else ahead
    start = (playing + ahead) * LOOP_ROW_SAMPLES / LOOP_RATE  # when the row read starts
    end = start + LOOP_ROW_SAMPLES / LOOP_RATE
    return max(start - at, at - end, 0.0)


def looping(args):
    page = os.path.join(args.work, "page")
    native = os.path.join(args.work, "native-data")
    for d in (page, native):
        shutil.rmtree(d, ignore_errors=True)
    shutil.copytree(args.web, page)
    shutil.copytree(args.data, native)
    # 32 orders of 8 rows; the last row of the last order jumps back to order 0 (B00)
    song = os.path.join(page, "data", "sorvan.it")
    subprocess.run([args.make_module, song, "8", "31:7:0"], check=True)
    shutil.copy(song, os.path.join(native, "sorvan.it"))

    out = os.path.join(args.work, "native-loop")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([args.capture, "--data", native, "--png", out, "--frames", str(LOOP_FRAME)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ref = os.path.join(out, f"frame-{LOOP_FRAME:06d}.png")

    with browser.serve(page) as url:
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            b.open(url + f"index.html?frame={LOOP_FRAME}&answer=no")
            ended = b.wait_for("window.rinta && window.rinta.phase === 'ended' && window.rinta.ended", 300)
            if ended != "the frame asked for":
                fail(f"the looping song ended the page before frame {LOOP_FRAME} ({ended})")
            else:
                shot = os.path.join(args.work, "web-loop.png")
                b.screenshot(shot)
                d = difference(ref, shot)
                print(f"looping song, frame {LOOP_FRAME}: mean difference {d:5.2f} levels")
                if d > args.tolerance:
                    fail(f"looping song: frame {LOOP_FRAME} differs from rinta-capture's by {d:.2f} levels")

            # Answered with a key: a gesture, so the audio context may run (and the position
            # is the heard one on its clock) where the engine has an output.
            b.open(url + "index.html")
            if not b.wait_for("window.rinta && window.rinta.phase === 'question'", 60):
                fail("no question")
                return
            b.keys("n")
            if not b.wait_for("window.rinta && window.rinta.frames > 20", 60):
                fail(f"the demo does not run (phase {b.js('return window.rinta && window.rinta.phase')})")
                return
            # The song lasts 2.5 s: look until the position has gone back twice (a busy machine
            # may present a frame a second, so the looks are bounded by time, not by count).
            orders, looks = [], []
            wraps = held = 0
            t0 = time.time()
            while time.time() - t0 < 90 and (wraps < 2 or len(looks) < 30) and -1 not in orders:
                look = b.js("const r = window.rinta; return r.phase === 'running' ? [r.order, r.row, r.heardAt] : null")
                orders.append(look[0] if look else -1)
                if look:
                    looks.append(look)
                    held += look[2] is None
                wraps = sum(1 for a, c in zip(orders, orders[1:]) if 0 <= c < a)
                time.sleep(0.1)
            # Each position read is the row being heard when it was read, on the page's audio
            # clock: rows of 432 samples here, so a position a row off shows, as does one that
            # keeps a block's time (5.8 ms) too late.
            offsets = [heard_position_error(o * 8 + r, at) for o, r, at in looks if at is not None]
            worst = max(offsets, default=0)
            device = b.js("return Module.rintaAudio.device")
            print(f"heard position: {len(offsets)} reads, worst {worst * 1000:.1f} ms off the row being heard "
                  f"({'the audio context' if device else 'the silent'} clock); {held} reads while the page "
                  f"was held up past what it had rendered")
            if worst > HEARD_POSITION_SLACK:
                fail(f"a position read is {worst * 1000:.1f} ms off the row being heard")
            if -1 in orders or b.js("return window.rinta.phase") != "running":
                fail(f"the page stopped while its song loops (ended: {b.js('return window.rinta.ended')})")
            print(f"live: {len(orders)} looks at the order over {time.time() - t0:.0f} s, highest {max(orders)}, "
                  f"went back {wraps} times")
            if max(orders) >= 32 or wraps < 1:
                fail(f"the live position does not go round with the song (orders {orders[:12]}...)")
            no_console_errors(b)
        finally:
            b.close()


# ---- driver -------------------------------------------------------------------------------

# A page that shows what the harness must see right: a WebGL 2 canvas filling the 640 x 480
# viewport, orange with a blue square in its lower left corner (GL's origin), the keys it got,
# and one console line of each kind.
DRIVER_PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><style>html, body { margin: 0; overflow: hidden; background: #000; }
canvas { display: block; }</style></head>
<body><canvas id="c" width="640" height="480"></canvas><script>
window.probe = { keys: [], word: 'page' };
window.addEventListener('keydown', (e) => probe.keys.push(e.key));
const gl = document.getElementById('c').getContext('webgl2', { preserveDrawingBuffer: true });
probe.webgl2 = !!gl;
if (gl) {
  gl.clearColor(1, 0.5, 0, 1);
  gl.clear(gl.COLOR_BUFFER_BIT);
  gl.enable(gl.SCISSOR_TEST);
  gl.scissor(0, 0, 64, 64);
  gl.clearColor(0, 0, 1, 1);
  gl.clear(gl.COLOR_BUFFER_BIT);
}
console.log('driver: a line');
console.warn('driver: a warning');
console.error('driver: an error');
setTimeout(() => { probe.ready = true; throw new Error('driver: uncaught'); }, 0);
</script></body></html>
"""


def driver(args):
    """The harness in this engine: the checks above see nothing it does not show them right."""
    page = os.path.join(args.work, "driver")
    shutil.rmtree(page, ignore_errors=True)
    os.makedirs(page)
    with open(os.path.join(page, "index.html"), "w") as f:
        f.write(DRIVER_PAGE)
    with browser.serve(page) as url:
        b = open_browser()
        try:
            if not b.fit_viewport(640, 480):
                fail(f"the viewport cannot be made 640 x 480 ({b.js('return [innerWidth, innerHeight]')})")
            b.open(url + "index.html")
            if not b.wait_for("window.probe && window.probe.ready", 30):
                fail("the page never ran")
                return
            if b.js("return [arguments[0] + 1, window.probe.word, devicePixelRatio, window.probe.webgl2]", 41) != \
                    [42, "page", 1, True]:
                fail(f"scripts do not see the page as it is: {b.js('return JSON.stringify(window.probe)')}, "
                     f"device pixel ratio {b.js('return devicePixelRatio')}")

            entries, end = [], time.time() + 10
            while time.time() < end and sum("driver:" in m for _, m in entries) < 4:
                entries += b.console()
                time.sleep(0.2)
            ours = sorted((level, m[m.index("driver:"):].rstrip('"')) for level, m in entries if "driver:" in m)
            want = [("INFO", "driver: a line"), ("SEVERE", "driver: an error"), ("SEVERE", "driver: uncaught"),
                    ("WARNING", "driver: a warning")]
            if ours != want:
                fail(f"the console reads {ours}, not {want}")
            b.js("console.error('driver: later')")
            time.sleep(1)
            again = [m for _, m in b.console() if "driver:" in m]
            if len(again) != 1 or "driver: later" not in again[0]:
                fail(f"the console's next read is not only what came since: {again}")

            b.keys("6", browser.KEY_TAB, browser.KEY_ENTER, browser.KEY_ESCAPE)
            got = b.js("return window.probe.keys")
            if got != ["6", "Tab", "Enter", "Escape"]:
                fail(f"the page got the keys {got}")

            shot = os.path.join(args.work, "driver.png")
            b.screenshot(shot)
            size = subprocess.check_output(["identify", "-format", "%w %h", shot], text=True).split()
            if size != ["640", "480"]:
                fail(f"the screenshot is {'x'.join(size)}, not the 640 x 480 viewport")
            for box, colour in (("64x64+0+416", (0, 0, 255)), ("64x64+0+0", (255, 128, 0)),
                                ("64x64+576+416", (255, 128, 0))):
                got = mean_levels(shot, box)
                if any(abs(g - c) > 2 for g, c in zip(got, colour)):
                    fail(f"the screenshot's box {box} is {[round(g) for g in got]}, not {list(colour)}")
        finally:
            b.close()


# ---- context ------------------------------------------------------------------------------

def song_position(b):
    order, row = b.js("return [window.rinta.order, window.rinta.row]")
    return order * 1000 + row


def spread(png):
    """Standard deviation of the picture's levels, 0-255: 0 for a plain clear colour."""
    return float(subprocess.check_output(["convert", png, "-colorspace", "gray", "-format",
                                          "%[fx:255*standard_deviation]", "info:"], text=True))


def context(args):
    with browser.serve(args.web) as url:
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            b.open(url + "index.html?answer=no")
            if not b.wait_for("window.rinta && window.rinta.frames > 20", 60):
                fail(f"the demo does not run (phase {b.js('return window.rinta && window.rinta.phase')})")
                return
            def drawn(shot):
                """Looks until the scene is on the canvas, as long as a busy machine may take
                to draw (and, after a restore, to make its textures again)."""
                deadline = time.time() + 60
                while True:
                    b.screenshot(shot)
                    if sum(mean_levels(shot)) >= 15 and spread(shot) >= 1 or time.time() > deadline:
                        return sum(mean_levels(shot)) >= 15 and spread(shot) >= 1
                    time.sleep(0.5)

            # The credits: a textured picture on grey, steady enough to hold against itself.
            b.keys("6")
            time.sleep(1.5)
            before = os.path.join(args.work, "context-before.png")
            if not drawn(before):
                fail(f"no picture before the context is lost ({mean_levels(before)})")
                return
            b.js("const gl = document.getElementById('canvas').getContext('webgl2');"
                 "window.rintaLose = gl.getExtension('WEBGL_lose_context'); window.rintaGl = gl;"
                 "window.rintaLose.loseContext();")
            if not b.wait_for("window.rintaGl.isContextLost()", 10):
                fail("the context was not lost")
                return
            lost_at, frames_at = song_position(b), b.js("return window.rinta.frames")
            time.sleep(1.5)
            if b.js("return window.rinta.phase") != "running" or b.js("return window.rinta.frames") <= frames_at:
                fail("the demo stopped while the context was lost")
            b.js("window.rintaLose.restoreContext();")
            if b.wait_for("!window.rintaGl.isContextLost()", 10) is None:
                fail("the context did not come back: the page did not ask for it")
                return
            after = os.path.join(args.work, "context-after.png")
            again = drawn(after)
            # The credits pulse and change: the scene is drawn again, not the same picture.
            print(f"after the context came back: mean level {sum(mean_levels(after)) / 3:.1f}, spread "
                  f"{spread(after):.1f} (before: {sum(mean_levels(before)) / 3:.1f}, {spread(before):.1f})")
            if not again:
                fail("the scene is not drawn again after the context came back")
            if song_position(b) <= lost_at:
                fail("the song did not go on")
            no_console_errors(b)
        finally:
            b.close()


# ---- messages ----------------------------------------------------------------------------

def shown_message(b, timeout=30):
    """The page's message box once it is up and visible: its text, or None."""
    return b.wait_for("(() => { const m = document.getElementById('message'); if (!m) return null;"
                      " const r = m.getBoundingClientRect();"
                      " return !m.hidden && r.width > 100 && r.height > 40 && getComputedStyle(m).visibility === 'visible'"
                      " && r.left >= 0 && r.top >= 0 && r.right <= innerWidth && r.bottom <= innerHeight"
                      " && m.innerText.trim(); })()", timeout)


def audio_open(b):
    return b.js("return !!(window.Module && Module.rintaAudio && Module.rintaAudio.ctx)")


def messages(args):
    broken = {}
    for name in ("rinta.wasm", "rinta.js", "page.js"):
        d = os.path.join(args.work, "without-" + name)
        shutil.rmtree(d, ignore_errors=True)
        shutil.copytree(args.web, d)
        for f in (name, name + ".br", name + ".gz"):
            with contextlib.suppress(FileNotFoundError):
                os.remove(os.path.join(d, f))
        broken[name] = d

    b = open_browser()
    try:
        b.fit_viewport(640, 480)
        # Loading on a slow line: the bar counts up to the total, and goes when the page is ready.
        with browser.serve(args.web, rate_bits=8e6) as url:
            b.open(url + "index.html?answer=no")
            seen, labels = set(), set()
            end = time.time() + 120
            while time.time() < end:
                state = b.js("const p = document.getElementById('progress'); return [p && !p.hidden,"
                             " p && p.getAttribute('aria-valuenow'), p && p.innerText, window.rinta && window.rinta.times.ready];")
                if state[0] and state[1] is not None:
                    seen.add(int(state[1]))
                    labels.add(state[2])
                if state[3]:
                    break
                time.sleep(0.1)
            loaded = b.js("return window.rinta && window.rinta.loaded")
            between = sorted(v for v in seen if 0 < v < 100)
            print(f"loading bar: {len(between)} steps between 0 and 100 seen, e.g. {sorted(labels)[:1]}")
            if len(between) < 2 or not any(" of " in t and "MB" in t for t in labels):
                fail(f"no bar counting the bytes loaded of the total (values {sorted(seen)}, labels {sorted(labels)[:3]})")
            if not loaded or loaded["total"] <= 0 or loaded["bytes"] != loaded["total"]:
                fail(f"when ready, the bytes loaded are not the total: {loaded}")
            if not b.wait_for("document.getElementById('progress').hidden", 10):
                fail("the loading bar stays once the page is ready")

        with browser.serve(args.web) as url:
            # Links that cannot be followed: each says which parameter and loads nothing.
            for query, named in [("?frame=-5&answer=no", "frame=-5"), ("?frame=abc&answer=no", "frame=abc"),
                                 ("?bench=1&answer=no&frame=12x", "frame=12x"), ("?frame=0", "frame=0"),
                                 ("?frame=99999999999&answer=no", "frame=99999999999"),
                                 ("?frame=40&key=40", "key=40"), ("?frame=40&key=3:9", "key=3:9"),
                                 ("?frame=40&key=0:esc", "key=0:esc"), ("?answer=maybe", "answer=maybe"),
                                 ("?key=5:2", "key=")]:
                b.open(url + "index.html" + query)
                text = shown_message(b, 20)
                if not text or named not in text:
                    fail(f"{query}: no message naming {named} ({text!r}, phase {b.js('return window.rinta.phase')})")
                elif b.js("return !!(window.Module && Module.calledRun)"):
                    fail(f"{query}: the program ran beside the message")

            # A frame past the song's end: a message offering the last frame, which then shows.
            b.open(url + "index.html?frame=16500&answer=no")
            text = shown_message(b, 300)
            last = b.js("return window.rinta.frames")
            if not text or "16500" not in text or not last or str(last) not in text:
                fail(f"?frame=16500: no message offering the last frame ({text!r}, {b.js('return window.rinta.ended')})")
            else:
                b.js("document.querySelector('#m-links a').click();")
                # The old page answers until the link's page has replaced it.
                b.wait_for("!location.search.includes('frame=16500') && document.readyState === 'complete'", 60)
                ended = b.wait_for("window.rinta && window.rinta.phase === 'ended' && window.rinta.ended", 300)
                shot = os.path.join(args.work, "last-frame.png")
                b.screenshot(shot)
                print(f"past the end: the last frame is {last}; its link ends with {ended!r}, mean {sum(mean_levels(shot)):.0f}")
                if ended != "the frame asked for" or b.js("return window.rinta.frames") != last:
                    fail(f"the offered frame {last} did not show ({ended})")
                elif sum(mean_levels(shot)) < 3:
                    fail(f"frame {last} is a black page")

            # Fullscreen refused (no user gesture behind answer=yes), windowed mode declined.
            b.open(url + "index.html?answer=yes")
            if not b.wait_for("!document.getElementById('question').hidden && "
                              "document.getElementById('q-caption').textContent === 'Vantor GL'", 30):
                fail("a refused fullscreen does not ask for windowed mode")
            else:
                b.keys("n")
                b.wait_for("document.getElementById('q-caption').textContent === 'ERROR'", 10)
                b.keys(browser.KEY_ENTER)
                text = shown_message(b, 10)
                if not text or "fullscreen" not in text or "Reload" not in text:
                    fail(f"declining windowed mode leaves no message ({text!r})")
                if audio_open(b):
                    fail("declining windowed mode leaves the audio open")

        # A code file that does not come: the message names it and the server's answer.
        for name, d in broken.items():
            with browser.serve(d) as url:
                b.open(url + "index.html")
                text = shown_message(b, 60)
                if not text or name not in text or "404" not in text:
                    fail(f"without {name}: no message naming it and its HTTP 404 ({text!r})")
                if audio_open(b):
                    fail(f"without {name}: the audio is open")

        # Opened from the disk: told to serve it over http.
        b.open("file://" + os.path.abspath(os.path.join(args.web, "index.html")))
        text = shown_message(b, 20)
        if not text or "http" not in text or "file://" not in text:
            fail(f"from file://: no message saying to serve the folder over http ({text!r})")
        errors = errors_in(b.console(), allow=("404", "favicon"))
        if errors:
            fail("console errors: " + "; ".join(errors[:5]))
    finally:
        b.close()


# ---- phone --------------------------------------------------------------------------------

def rect(b, selector):
    box = b.js(f"const e = document.querySelector({selector!r}); if (!e) return null;"
               " const r = e.getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom];")
    if box is None:
        raise LookupError(f"nothing on the page is {selector}")
    return box


def centre(box):
    return ((box[0] + box[2]) / 2, (box[1] + box[3]) / 2)


def credits_grey(b, shot):
    """Scene 6's grey on the picture's left edge, above where the touch keys show."""
    b.screenshot(shot)
    top = int(rect(b, "#canvas")[1])
    levels = mean_levels(shot, f"12x160+2+{top + 4}")
    return all(abs(c - 128) < 8 for c in levels), levels


def phone(args):
    b = open_browser()
    try:
        phone_checks(b, args)
    except LookupError as e:
        fail(str(e))
    finally:
        b.close()


def phone_checks(b, args):
    """The checks of phone, on its browser."""
    with browser.serve(endless_page(args)) as url:
        if not b.fit_viewport(390, 844):
            fail(f"the browser window cannot be made 390 x 844 ({b.js('return [innerWidth, innerHeight]')})")
            return
        b.open(url + "index.html")
        if not b.wait_for("window.rinta && window.rinta.phase === 'question'", 60):
            fail("no question")
            return
        q, canvas = rect(b, "#question"), rect(b, "#canvas")
        if q[0] < 0 or q[1] < 0 or q[2] > 390 or q[3] > 844:
            fail(f"the question {q} is not inside the 390 x 844 viewport")
        if canvas[0] < -0.5 or canvas[1] < -0.5 or canvas[2] > 390.5 or canvas[3] > 844.5 or canvas[2] - canvas[0] < 380:
            fail(f"the picture {canvas} is not whole on the screen")
        buttons = b.js("return [...document.querySelectorAll('#q-buttons button')].map((e) => {"
                       " const r = e.getBoundingClientRect(); return [e.textContent, r.width, r.height, r.right]; })")
        for label, w, h, right in buttons:
            if h < 44 or w < 44 or right > 390:
                fail(f"the question's {label} button is {w:.0f} x {h:.0f} at x {right:.0f}: not for a finger")
        text = b.js("return document.getElementById('q-text').textContent + '|' + document.getElementById('q-caption').textContent")
        if text != "Would You Like To Run In Fullscreen Mode?|Start FullScreen?":
            fail(f"the question reads {text!r}")
        shot = os.path.join(args.work, "phone-question.png")
        b.screenshot(shot)
        # The browser's own shortcuts are not answers.
        b.chord(browser.KEY_CONTROL, "n")
        b.chord(browser.KEY_CONTROL, "y")
        time.sleep(0.5)
        if b.js("return document.getElementById('question').hidden"):
            fail("Ctrl+N or Ctrl+Y answered the question")
            return
        b.touch([centre(rect(b, "#q-buttons button:last-child"))])  # No, with a finger
        if not b.wait_for("window.rinta.frames > 20", 60):
            fail(f"the demo does not run after No is tapped (phase {b.js('return window.rinta.phase')})")
            return
        if b.js("return window.rinta.fullscreen") is not False:
            fail("tapping No did not run windowed")

        # Touch: nothing over the picture until the screen is touched.
        if not b.js("return (document.getElementById('touch') || {}).hidden"):
            fail("the touch keys show before the screen is touched")
        mid = centre(canvas)
        b.touch([mid])
        if b.js("return (document.getElementById('touch') || {}).hidden"):
            fail("a tap does not show the touch keys")
        # Each key is pressed right after a tap, which keeps the row up however slow the machine.
        six, end = centre(rect(b, "#touch [aria-label='scene 6']")), centre(rect(b, "#touch [aria-label='end the demo']"))
        b.touch([mid], [six])

        def look(name, want_grey):
            """Looks until the credits' grey is shown (or gone), as long as a busy machine may
            take to draw the next frame; what was seen last."""
            deadline = time.time() + 60
            while True:
                grey, levels = credits_grey(b, os.path.join(args.work, name))
                if grey == want_grey or time.time() > deadline:
                    return grey, levels
                time.sleep(0.1)

        grey, levels = look("touch-6.png", True)
        if not grey:
            fail(f"the touch key 6 does not show the credits' grey ({levels})")
        else:
            left, right = (canvas[0] + 40, mid[1]), (canvas[2] - 40, mid[1])
            b.touch([right, (mid[0], mid[1] + 4), left])  # to the left: the next scene
            grey, levels = look("touch-next.png", False)
            if grey:
                fail(f"a swipe to the left does not step to the next scene ({levels})")
            b.touch([left, (mid[0], mid[1] + 4), right])  # and back
            grey, levels = look("touch-back.png", True)
            if not grey:
                fail(f"a swipe to the right does not step back to scene 6 ({levels})")
        b.touch([mid], [end])
        # a tap shows the keys and End ends in the frames after, each seconds long on a busy machine
        if b.wait_for("window.rinta.phase === 'ended' && window.rinta.ended", 60) != "Esc":
            fail(f"End does not end the demo ({b.js('return window.rinta.ended')})")
        else:
            if audio_open(b):
                fail("the audio is still open after End")
            if not b.wait_for("(document.getElementById('touch') || {}).hidden", 5):
                fail("the touch keys stay over the last frame")
            status = b.js("return document.getElementById('status').textContent")
            if "ended" not in status:
                fail(f"no line says the demo ended ({status!r})")
            # The line is read, then leaves the picture to the last frame.
            if not b.wait_for("getComputedStyle(document.getElementById('status')).visibility === 'hidden'", 30):
                fail("the status line stays over the picture")
        no_console_errors(b)


# ---- serving ------------------------------------------------------------------------------

def fetch(url, encoding=None):
    req = urllib.request.Request(url, headers={"Accept-Encoding": encoding} if encoding else {})
    with urllib.request.urlopen(req, timeout=60) as r:
        return r.headers, r.read()


def serving(args):
    page = os.path.join(args.work, "page")
    shutil.rmtree(page, ignore_errors=True)
    shutil.copytree(args.web, page)
    files = ["index.html", "page.js", "rinta.js", "rinta.wasm", "files.json", "data/sorvan.it"]
    sent = {"br": 0, "gzip": 0, None: 0}
    with browser.serve(page) as url:
        for name in files:
            with open(os.path.join(page, name), "rb") as f:
                original = f.read()
            headers, body = fetch(url + name)
            sent[None] += len(body)
            if headers.get("Content-Encoding") or body != original:
                fail(f"{name}: without Accept-Encoding it is not sent as it is ({headers.get('Content-Encoding')})")
            for encoding, offered in (("br", "gzip, deflate, br"), ("gzip", "gzip, deflate")):
                headers, body = fetch(url + name, offered)
                sent[encoding] += len(body)
                got = headers.get("Content-Encoding")
                if name == "data/sorvan.it" and encoding == "gzip" and got is None:
                    continue  # gzip does not shrink the module enough to keep a .gz of it
                if got != encoding:
                    fail(f"{name} for {offered!r}: Content-Encoding {got!r}, not {encoding}")
                    continue
                decoded = (gzip.decompress(body) if encoding == "gzip" else
                           subprocess.run(["brotli", "-d", "-c"], input=body, capture_output=True, check=True).stdout)
                if decoded != original:
                    fail(f"{name}.{encoding}: decodes to other bytes than {name}")
                if "Accept-Encoding" not in headers.get("Vary", ""):
                    fail(f"{name}.{encoding}: no Vary: Accept-Encoding")
                if name.endswith(".wasm") and headers.get("Content-Type") != "application/wasm":
                    fail(f"{name}.{encoding}: Content-Type {headers.get('Content-Type')}")
        # q=0 refuses an encoding
        headers, _ = fetch(url + "rinta.wasm", "br;q=0, gzip")
        if headers.get("Content-Encoding") != "gzip":
            fail(f"br;q=0 still got {headers.get('Content-Encoding')}")
        # A changed original is never shadowed by its older compressed copy.
        js = os.path.join(page, "page.js")
        with open(js, "ab") as f:
            f.write(b"\n// changed\n")
        headers, body = fetch(url + "page.js", "gzip, br")
        if headers.get("Content-Encoding") or not body.endswith(b"// changed\n"):
            fail(f"a stale page.js.{headers.get('Content-Encoding')} went out in place of the changed page.js")
    print("code and module sent: " + ", ".join(f"{k or 'identity'} {v / 1e6:.2f} MB" for k, v in sent.items()))

    # The pictures went through jpegtran: the same pixels as the data the native program reads.
    if args.data:
        for name in sorted(os.listdir(os.path.join(args.web, "data"))):
            if not name.endswith(".jpg"):
                continue
            pixels = [subprocess.run(["djpeg", "-pnm", os.path.join(d, name)], capture_output=True, check=True).stdout
                      for d in (args.data, os.path.join(args.web, "data"))]
            if pixels[0] != pixels[1]:
                fail(f"data/{name}: the page's copy decodes to other pixels than the data's")


# ---- audio ---------------------------------------------------------------------------------

# Before the page's script creates its context (at the answer): a context whose device takes
# a while to start, as Firefox's often does. It reports itself suspended, and is, until the
# test calls startHeldContext(); holdContext() stops it again, as a device taken away does.
SLOW_CONTEXT = """
const Real = window.AudioContext;
window.AudioContext = class extends Real {
  constructor(options) {
    super(options);
    this.held = true;
    super.suspend();
    window.startHeldContext = () => {
      this.held = false;
      super.resume();
      if (this.heldAt !== undefined) this.staleUntil = performance.now() + 300;
    };
    window.holdContext = () => {
      this.held = true;
      this.heldAt = super.currentTime; // not the output clock: Firefox's may freeze the tab
      super.suspend();
    };
  }
  get state() { return this.held ? 'suspended' : super.state; }
  resume() { return this.held ? Promise.resolve() : super.resume(); }
  // Started again, the output clock reads for a while what it read as it stood, stamped
  // afresh, as Firefox's did at times (the page asks it only in other engines now): a
  // handover from it would put the song's clock ahead.
  getOutputTimestamp() {
    if (performance.now() < (this.staleUntil || 0))
      return { contextTime: this.heldAt, performanceTime: performance.now() - 150 };
    return super.getOutputTimestamp();
  }
};
"""

# Counts the page's questions to the context's output clock. Firefox's froze the whole tab at
# times when asked as its device opened (a deadlock of its own, 3 starts in 20): the page must
# not ask it there.
COUNT_OUTPUT_CLOCK = """
window.outputClockAsked = 0;
const proto = AudioContext.prototype, stamp = proto.getOutputTimestamp;
if (stamp) proto.getOutputTimestamp = function () { window.outputClockAsked++; return stamp.call(this); };
const latency = Object.getOwnPropertyDescriptor(proto, 'outputLatency');
if (latency && latency.get)
  Object.defineProperty(proto, 'outputLatency', {
    configurable: true, get() { window.outputClockAsked++; return latency.get.call(this); } });
"""

# Samples the page's audio clock against the wall clock every few milliseconds.
CLOCK_SAMPLER = """
window.clockSamples = [];
setInterval(() => {
  const a = Module.rintaAudio;
  if (a.opened) window.clockSamples.push([performance.now(), a.time()]);
}, 5);
"""


# The demo's drawing switched off: software GL on a busy machine holds the page up by itself,
# for seconds at times, and the stall the test makes is to be the only one.
NO_DRAWING = """
const gl = document.getElementById('canvas').getContext('webgl2');
for (const f of ['drawArrays', 'drawElements', 'clear', 'readPixels', 'texImage2D', 'texSubImage2D'])
  gl[f] = () => {};
"""

# Notes when the page's renderer runs; longestPumpWait(since) is the longest time between two
# runs from `since` (performance.now() ms) on.
PUMP_WATCH = """
const a = Module.rintaAudio, pump = a.pump.bind(a), runs = [];
a.pump = () => { runs.push(performance.now()); pump(); };
window.longestPumpWait = (since) => {
  let longest = 0;
  for (let i = 1; i < runs.length; ++i) if (runs[i] >= since) longest = Math.max(longest, runs[i] - runs[i - 1]);
  return Math.max(longest, performance.now() - runs[runs.length - 1]);
};
"""


def clock_jumps(samples, handovers, slack=0.1, near=0.05):
    """Steps of the audio clock across a handover (or within `near` seconds of one) that are not
    the wall clock's step within slack seconds: a jump either way, or a clock standing still.
    Elsewhere a device's clock may stand still, when a busy machine holds up its output (seen in
    Firefox 300 ms after its device started, for 150 ms): what is heard stands still with it."""
    bad = []
    for (w0, c0), (w1, c1) in zip(samples, samples[1:]):
        lo, hi = min(c0, c1), max(c0, c1)
        if not any(lo - near <= at <= hi + near for at, _ in handovers):
            continue
        wall, clock = (w1 - w0) / 1000, c1 - c0
        if abs(clock - wall) > slack:
            bad.append((round(w0), round(c0, 3), round(c1, 3)))
    return bad


def audio_stats(b):
    return b.js("return Object.assign({device: Module.rintaAudio.device}, Module.rintaAudio.stats)")


def audio(args):
    """The music through the context's player: no deprecated node, a main-thread stall not
    heard, a slow-starting context taken over without a jump, the context let go at the end."""
    try:
        audio_once(args)
    except browser.NoReply as e:
        # Firefox with a sound server of its own stops answering its driver at times here (1 run
        # in about 15, at the answer, while the device opens): once more, in a fresh one. What the
        # first try found stays counted.
        print(f"audio: {e}; trying once more in a fresh {args.browser}")
        audio_once(args)


def audio_once(args):
    with browser.serve(args.web) as url:
        b = browser.Browser(sound=True)  # an audio output in every engine
        try:
            b.open(url + "index.html")
            if not b.wait_for("window.rinta && window.rinta.phase === 'question'", 60):
                fail("audio: no question")
                return
            b.js(COUNT_OUTPUT_CLOCK)
            b.keys("n")
            heard = b.wait_for("window.rinta.frames > 20 && Module.rintaAudio.stats && Module.rintaAudio.stats.audible > 0", 60)
            asked = b.js("return window.outputClockAsked")
            if args.browser == "firefox" and asked:
                fail(f"audio: the page asked Firefox's output clock {asked} times, which can freeze the tab")
            entries = b.console()
            deprecated = [m for _, m in entries if "deprecat" in m.lower() or "ScriptProcessor" in m]
            if deprecated:
                fail("audio: " + deprecated[0])
            if not heard:
                fail(f"audio: no music heard after the answer ({audio_stats(b)})")
                return
            # A main-thread stall shorter than what is rendered ahead is not heard. A busy
            # machine may still hold the page up by itself, for longer: a try where the page
            # was held up for longer than it renders ahead is not counted.
            b.js(NO_DRAWING)
            b.js(PUMP_WATCH)
            clean = 0
            for attempt in range(8):
                if clean >= 2:
                    break
                time.sleep(1.0)
                before = audio_stats(b)
                t0 = b.js("const t = performance.now(); while (performance.now() - t < 200) {} return t;")
                b.wait_for(f"Module.rintaAudio.stats.frame > {before['frame']} + 66150", 30)  # 1.5 s on
                time.sleep(0.2)
                after = audio_stats(b)
                held = b.js("return window.longestPumpWait(arguments[0])", t0 - 1000)
                missing = after["underrun"] - before["underrun"]
                print(f"audio: a 200 ms stall: {missing} frames missing, {after['played'] - before['played']} "
                      f"played; the renderer's longest wait {held:.0f} ms")
                if held > 750:  # the lead less the output's latency, a block, and a margin
                    continue  # held up for longer than the page renders ahead: says nothing
                clean += 1
                if after["played"] <= before["played"] or missing != 0:
                    fail(f"audio: a 200 ms stall made a gap of {missing} frames (before {before}, after {after})")
                    break
            if clean == 0:
                fail("audio: no try without a longer stall of the machine's own: nothing shown")
            b.keys(browser.KEY_ESCAPE)
            if not b.wait_for("window.rinta.phase === 'ended'", 10) or b.js("return Module.rintaAudio.ctx") is not None:
                fail("audio: the context is still open after Esc")

            # A context that starts well after the song: silent until then, then heard, and
            # the song's clock runs on through the handover.
            b.open(url + "index.html")
            if not b.wait_for("window.rinta && window.rinta.phase === 'question'", 60):
                fail("audio: no question the second time")
                return
            b.js(SLOW_CONTEXT)
            b.keys("n")
            b.wait_for("window.Module && Module.rintaAudio.opened", 60)
            b.js(CLOCK_SAMPLER)
            b.wait_for("Module.rintaAudio.time() > 1.5", 30)
            b.js("window.startHeldContext()")
            heard = b.wait_for("Module.rintaAudio.stats && Module.rintaAudio.stats.audible > 44100 && Module.rintaAudio.device", 30)
            # The context stops and starts again: the silent clock carries the song meanwhile.
            b.js("window.holdContext()")
            held = b.wait_for("!Module.rintaAudio.device", 10)
            time.sleep(1.0)
            b.js("window.startHeldContext()")
            again = b.wait_for("Module.rintaAudio.device", 30)
            time.sleep(1.0)
            samples = b.js("return window.clockSamples")
            handovers = b.js("return Module.rintaAudio.handovers")
            if not held or not again:
                fail(f"audio: a context that stops and runs again is not followed (handovers {handovers})")
            print(f"audio: slow start: handovers {handovers}, {len(samples)} clock samples, "
                  f"{audio_stats(b)}")
            if not heard:
                fail(f"audio: a context that starts late is never heard ({audio_stats(b)}, handovers {handovers})")
            elif not handovers or handovers[0][1] != "device" or handovers[0][0] < 1.5:
                fail(f"audio: the context did not start late as arranged ({handovers})")
            jumps = clock_jumps(samples, handovers)
            if jumps:
                fail(f"audio: the song's clock jumps at the handover (wall ms, from, to: {jumps[:5]})")
            errors = errors_in(entries + b.console())
            if errors:
                fail("audio: console errors: " + "; ".join(errors[:5]))
        finally:
            b.close()


# ---- the question while the page prepares ----------------------------------------------------

# When each key reached the page (the event's own time, on the page's clock).
KEY_TIMES = """
window.keyTimes = [];
window.addEventListener('keydown', (e) => window.keyTimes.push(e.timeStamp), true);
"""


def prepare(args):
    """The question answers at once while the page prepares behind it: an answer given while
    the preparation runs is taken before it is over, and the demo then starts. With --tries N,
    N answers at random moments, for the worst latency from the key to the answer."""
    latencies, shown = [], 0
    with browser.serve(args.web) as url:
        b = open_browser()
        try:
            toReady = None  # seconds from the question to the code being in, as last seen
            for attempt in range(max(args.tries, 3) + 3):
                if shown >= 1 and len(latencies) >= args.tries:
                    break
                b.open(url + "index.html")
                if not b.wait_for("window.rinta && window.rinta.phase === 'question'", 60):
                    fail("prepare: no question")
                    return
                b.js(KEY_TIMES)
                # The key is pressed while the preparation runs, without a look at the page in
                # between (a look waits for the page's task to end): soon after the code came in
                # last time, or the first time once it is seen in.
                if toReady is None:
                    b.wait_for("window.rinta.times.ready", 60, poll=0.02)
                    time.sleep(0.3)
                else:
                    time.sleep(toReady + random.uniform(0.2, 1.2))
                b.keys("n")
                if not b.wait_for("window.rinta.frames > 5", 120):
                    fail(f"prepare: the demo does not run after an answer given while preparing "
                         f"(phase {b.js('return window.rinta.phase')})")
                    return
                t = b.js("return window.rinta.times")
                key = b.js("return window.keyTimes[0]")
                steps = b.js("return window.rinta.prepareSteps") or []
                if steps:
                    step, ms = max(steps, key=lambda s: s[1])
                    print(f"prepare: {len(steps)} steps, the longest {ms} ms (step {step})")
                print(f"prepare: code in at {t['ready']:.0f} ms, key at {key:.0f} ms, answered at "
                      f"{t['answered']:.0f} ms ({t['answered'] - key:.0f} ms later), prepared at {t['prepared']:.0f} ms")
                toReady = (t["ready"] - t["question"]) / 1000
                if not t["ready"] < key < t["prepared"]:
                    continue  # the key came before or after the preparation: says nothing
                latencies.append(t["answered"] - key)
                shown += 1
                if t["answered"] >= t["prepared"]:
                    fail("prepare: an answer given while preparing waited for the preparation to finish")
                    break
            if not shown:
                fail("prepare: no key reached the page while it prepared: nothing shown")
            if latencies:
                print(f"prepare: {len(latencies)} answers while preparing, key to answer worst "
                      f"{max(latencies):.0f} ms, median {sorted(latencies)[len(latencies) // 2]:.0f} ms")
            no_console_errors(b, "prepare: console errors")
        finally:
            b.close()


# ---- bench (figures for people, not a pass/fail check) -------------------------------------

def gzip_size(path):
    return len(subprocess.run(["gzip", "-9c", path], capture_output=True, check=True).stdout)


def bench(args):
    code = ["rinta.wasm", "rinta.js", "page.js", "worklet.js", "index.html"]
    raw = sum(os.path.getsize(os.path.join(args.web, f)) for f in code)
    packed = sum(gzip_size(os.path.join(args.web, f)) for f in code)
    data = sum(os.path.getsize(os.path.join(args.web, "data", f)) for f in os.listdir(os.path.join(args.web, "data"))
               if not f.endswith((".br", ".gz")))  # the compressed copies are not more data
    print(f"code: {raw / 1e6:.2f} MB, {packed / 1e6:.2f} MB gzip -9 ({', '.join(code)}); data: {data / 1e6:.2f} MB")

    frames = args.bench_frames
    # Firefox rounds the page's clock to the millisecond unless told not to: too coarse for the
    # cheap scenes' calls.
    browser.FIREFOX_PREFS["privacy.reduceTimerPrecision"] = False
    line = f" through a {args.rate / 1e6:g} Mbit/s line" if args.rate else ""
    with browser.serve(args.web, rate_bits=args.rate) as url:  # as scripts/web.sh serves it
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            for run in range(3):  # the first visit compiles the wasm; later ones may use the cache
                b.open(url + "index.html")
                b.wait_for("window.rinta && window.rinta.times.prepared", 600)
                b.keys("n")
                b.wait_for("window.rinta.times.firstFrame", 60)
                t = b.js("return window.rinta.times")
                sent = b.js("return performance.getEntriesByType('resource').reduce((s, e) => "
                            "[s[0] + e.encodedBodySize, s[1] + e.decodedBodySize], [0, 0])")
                print(f"visit {run + 1}{line}: load to question {t['question']:.0f} ms, to ready {t['ready']:.0f} ms, "
                      f"prepared {t['prepared']:.0f} ms; answer to first frame {t['firstFrame'] - t['answered']:.0f} ms; "
                      f"{sent[0] / 1e6:.2f} MB sent for {sent[1] / 1e6:.2f} MB")
            if frames <= 0:
                return
            print(f"per scene, each forced for {frames} frames (scene 1 runs beside it):")
            for scene in args.bench_scenes:
                b.open(url + f"index.html?bench=1&answer=no&frame={frames}&key=1:{scene}")
                b.wait_for("window.rinta && window.rinta.bench", 600)
                report = b.js("return window.rinta.bench").splitlines()
                web = report[scene].split()
                idle = re.search(r"nothing to draw: ([\d.]+) ms", report[-1]).group(1)
                out = subprocess.run([args.capture, "--data", args.data, "--bench", "--frames", f"1-{frames}",
                                      "--key", f"1:{scene}"], capture_output=True, text=True).stdout
                line = [l for l in out.splitlines() if l.strip().startswith(f"{scene} ")][0]
                median, p95 = re.search(r"\|\s*([\d.]+)/\s*([\d.]+)", line).groups()  # the full frames
                print(f"  scene {scene}: page median {web[2]} ms (p95 {web[3]}; calls {web[4]} + finish {web[5]}, "
                      f"an idle finish {idle}); rinta-capture median {median} ms (p95 {p95})")
        finally:
            b.close()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("what", choices=["frames", "live", "faults", "looping", "messages", "phone", "serving", "audio",
                                    "prepare", "driver", "context", "bench"])
    p.add_argument("--browser", choices=browser.ENGINES, default="chromium", help="the engine to run the page in")
    p.add_argument("--web", required=True, help="the built page (scripts/web.sh OUT-DIR)")
    p.add_argument("--work", required=True, help="scratch directory")
    p.add_argument("--capture", help="rinta-capture, for the frames")
    p.add_argument("--data", help="the native data directory, for the frames and the pictures' pixels")
    p.add_argument("--refs", help="where rinta-capture's frames are kept for every engine (default: in --work)")
    p.add_argument("--make-module", help="tests/make_module, for the looping song")
    p.add_argument("--tolerance", type=float, default=4.0, help="mean difference allowed, in levels")
    p.add_argument("--bench-frames", type=int, default=120, help="frames each scene is timed over")
    p.add_argument("--bench-scenes", type=int, nargs="+", choices=range(1, 9), default=range(1, 9), metavar="N",
                   help="the scenes to time (all eight)")
    p.add_argument("--rate", type=serve.bits, default=0, help="bench: serve through a line of these bits a second (4M)")
    p.add_argument("--tries", type=int, default=1, help="prepare: answers given, the later ones at random moments")
    args = p.parse_args()
    os.makedirs(args.work, exist_ok=True)
    browser.engine = args.browser
    print(f"{args.what} in {args.browser}")
    {"frames": frames, "live": live, "faults": faults, "looping": looping, "messages": messages, "phone": phone,
     "serving": serving, "audio": audio, "prepare": prepare, "driver": driver, "context": context,
     "bench": bench}[args.what](args)
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("all checks passed")


if __name__ == "__main__":
    main()
