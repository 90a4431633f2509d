#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The web page in headless Chromium (software WebGL), against what the native build shows.

  frames  deterministic frames (?frame=N&answer=no, keys as rinta-capture's --key) of every
          scene, each held against rinta-capture's frame of the same number: mean difference
          of a few levels, scene 7's outlines and scene 2's fog included; and one drawn at the
          window's own pixels (&resolution=native) against rinta-capture --size of that window
  live    the question answered from the keyboard, the demo running, key 6 showing the
          credits' grey, Esc ending it with the last frame kept; no console error
  faults  a broken picture and a missing module: a console line each, the demo still runs
  looping a song whose last order jumps back to the first: the page plays on past the song's
          length as rinta-capture does, deterministically (frame against frame) and live
  context the WebGL context lost and given back (WEBGL_lose_context): the picture returns with
          its textures, the song went on meanwhile
  bench   figures, not a test: download size, load to question, answer to first frame, and
          each scene's frame time in the page against rinta-capture --bench
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.error

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

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


def open_browser():
    b = browser.Browser()
    return b


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


# ?resolution=native in a window of this size against rinta-capture --size of the same.
NATIVE_SIZE = (1280, 960)
NATIVE_CASE = ("scene7-outlines", 40, ["1:7"])


def frames(args):
    os.makedirs(args.work, exist_ok=True)
    refs = {}
    for name, frame, keys in CASES:
        out = os.path.join(args.work, "native-" + name)
        shutil.rmtree(out, ignore_errors=True)
        cmd = [args.capture, "--data", args.data, "--png", out, "--frames", str(frame)]
        for k in keys:
            cmd += ["--key", k]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        refs[name] = os.path.join(out, f"frame-{frame:06d}.png")
    name, frame, keys = NATIVE_CASE
    out = os.path.join(args.work, "native-size-" + name)
    shutil.rmtree(out, ignore_errors=True)
    cmd = [args.capture, "--data", args.data, "--png", out, "--frames", str(frame), "--size", "%dx%d" % NATIVE_SIZE]
    for k in keys:
        cmd += ["--key", k]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    native_ref = os.path.join(out, f"frame-{frame:06d}.png")

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
                print(f"{name:16s} frame {frame:5d}: mean difference {d:5.2f} levels ({seconds:.1f} s in the page)")
                if d > args.tolerance:
                    fail(f"{name}: frame {frame} differs from rinta-capture's by {d:.2f} levels on average")
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
            errors = errors_in(b.console())
            if errors:
                fail("console errors: " + "; ".join(errors[:5]))
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

def is_grey(png):
    r, g, bl = mean_levels(png, "16x480+0+0")  # the left edge: neither ring nor picture reaches it
    return all(abs(c - 128) < 8 for c in (r, g, bl))


def live(args):
    with browser.serve(args.web) as url:
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            b.open(url + "index.html")
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
            b.keys("6")
            grey = False
            for i in range(40):
                time.sleep(0.1)
                shot = os.path.join(args.work, "live-6.png")
                b.screenshot(shot)
                if is_grey(shot):
                    grey = True
                    break
            if not grey:
                fail(f"key 6 does not show the credits' grey (left band {mean_levels(shot, '16x480+0+0')})")
            else:
                # Scene 1 runs first in every frame and sleeps before scene 6 draws: the page
                # must never show it, since only the swap reaches the canvas.
                for i in range(8):
                    b.screenshot(shot)
                    if not is_grey(shot):
                        fail("a frame's first scene reached the page before the swap")
                        break
                    time.sleep(0.05)
            frames_before = b.js("return window.rinta.frames")
            b.keys(browser.KEY_ESCAPE)
            if b.wait_for("window.rinta.phase === 'ended'", 10) is None:
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
            errors = errors_in(b.console())
            if errors:
                fail("console errors: " + "; ".join(errors[:5]))
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
            if b.js("return window.rinta.phase") != "running":
                fail("the demo stopped")
        finally:
            b.close()


# ---- looping ------------------------------------------------------------------------------

LOOP_FRAME = 400  # about 6 s of demo time: the 2.5 s song two times over


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

            b.open(url + "index.html?answer=no")
            if not b.wait_for("window.rinta && window.rinta.frames > 20", 60):
                fail(f"the demo does not run (phase {b.js('return window.rinta && window.rinta.phase')})")
                return
            orders = []
            t0 = time.time()
            while time.time() - t0 < 7:  # the song's length is 2.5 s
                orders.append(b.js("return window.rinta.phase === 'running' ? window.rinta.order : -1"))
                time.sleep(0.1)
            if -1 in orders or b.js("return window.rinta.phase") != "running":
                fail(f"the page stopped while its song loops (ended: {b.js('return window.rinta.ended')})")
            wraps = sum(1 for a, c in zip(orders, orders[1:]) if c < a)
            print(f"live: {len(orders)} looks at the order over 7 s, highest {max(orders)}, went back {wraps} times")
            if max(orders) >= 32 or wraps < 1:
                fail(f"the live position does not go round with the song (orders {orders[:12]}...)")
            errors = errors_in(b.console())
            if errors:
                fail("console errors: " + "; ".join(errors[:5]))
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


def patient_screenshot(b, path, tries=4):
    """A screenshot, asked again while a busy renderer does not answer in time."""
    for i in range(tries):
        try:
            return b.screenshot(path)
        except urllib.error.HTTPError:
            if i == tries - 1:
                raise
            time.sleep(2)


def context(args):
    with browser.serve(args.web) as url:
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            b.open(url + "index.html?answer=no")
            if not b.wait_for("window.rinta && window.rinta.frames > 20", 60):
                fail(f"the demo does not run (phase {b.js('return window.rinta && window.rinta.phase')})")
                return
            # The credits: a textured picture on grey, steady enough to hold against itself.
            b.keys("6")
            time.sleep(1.5)
            before = os.path.join(args.work, "context-before.png")
            patient_screenshot(b, before)
            if sum(mean_levels(before)) < 15 or spread(before) < 1:
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
            time.sleep(1.5)
            after = os.path.join(args.work, "context-after.png")
            patient_screenshot(b, after)
            # The credits pulse and change: the scene is drawn again, not the same picture.
            print(f"after the context came back: mean level {sum(mean_levels(after)) / 3:.1f}, spread "
                  f"{spread(after):.1f} (before: {sum(mean_levels(before)) / 3:.1f}, {spread(before):.1f})")
            if sum(mean_levels(after)) < 15 or spread(after) < 1:
                fail("the scene is not drawn again after the context came back")
            if song_position(b) <= lost_at:
                fail("the song did not go on")
            errors = errors_in(b.console())
            if errors:
                fail("console errors: " + "; ".join(errors[:5]))
        finally:
            b.close()


# ---- bench (figures for people, not a pass/fail check) -------------------------------------

def gzip_size(path):
    return len(subprocess.run(["gzip", "-9c", path], capture_output=True, check=True).stdout)


def bench(args):
    code = ["rinta.wasm", "rinta.js", "page.js", "index.html"]
    raw = sum(os.path.getsize(os.path.join(args.web, f)) for f in code)
    packed = sum(gzip_size(os.path.join(args.web, f)) for f in code)
    data = sum(os.path.getsize(os.path.join(args.web, "data", f)) for f in os.listdir(os.path.join(args.web, "data")))
    print(f"code: {raw / 1e6:.2f} MB, {packed / 1e6:.2f} MB gzip -9 ({', '.join(code)}); data: {data / 1e6:.2f} MB")

    frames = args.bench_frames
    with browser.serve(args.web) as url:
        b = open_browser()
        try:
            b.fit_viewport(640, 480)
            for run in range(3):  # the first visit compiles the wasm; later ones may use the cache
                b.open(url + "index.html")
                b.wait_for("window.rinta && window.rinta.times.prepared", 120)
                b.keys("n")
                b.wait_for("window.rinta.times.firstFrame", 60)
                t = b.js("return window.rinta.times")
                print(f"visit {run + 1}: load to question {t['question']:.0f} ms, to ready {t['ready']:.0f} ms, "
                      f"prepared {t['prepared']:.0f} ms; answer to first frame {t['firstFrame'] - t['answered']:.0f} ms")
            if frames <= 0:
                return
            print(f"per scene, each forced for {frames} frames (scene 1 runs beside it):")
            for scene in range(1, 9):
                b.open(url + f"index.html?bench=1&answer=no&frame={frames}&key=1:{scene}")
                b.wait_for("window.rinta && window.rinta.bench", 600)
                web = b.js("return window.rinta.bench").splitlines()[scene].split()
                out = subprocess.run([args.capture, "--data", args.data, "--bench", "--frames", f"1-{frames}",
                                      "--key", f"1:{scene}"], capture_output=True, text=True).stdout
                line = [l for l in out.splitlines() if l.strip().startswith(f"{scene} ")][0]
                median, p95 = re.search(r"\|\s*([\d.]+)/\s*([\d.]+)", line).groups()  # the full frames
                print(f"  scene {scene}: page median {web[2]} ms (p95 {web[3]}); "
                      f"rinta-capture median {median} ms (p95 {p95})")
        finally:
            b.close()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("what", choices=["frames", "live", "faults", "looping", "context", "bench"])
    p.add_argument("--web", required=True, help="the built page (scripts/web.sh OUT-DIR)")
    p.add_argument("--work", required=True, help="scratch directory")
    p.add_argument("--capture", help="rinta-capture, for the frames")
    p.add_argument("--data", help="the native data directory, for the frames")
    p.add_argument("--make-module", help="tests/make_module, for the looping song")
    p.add_argument("--tolerance", type=float, default=4.0, help="mean difference allowed, in levels")
    p.add_argument("--bench-frames", type=int, default=120, help="frames each scene is timed over")
    args = p.parse_args()
    os.makedirs(args.work, exist_ok=True)
    {"frames": frames, "live": live, "faults": faults, "looping": looping, "context": context,
     "bench": bench}[args.what](args)
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("all checks passed")


if __name__ == "__main__":
    main()
