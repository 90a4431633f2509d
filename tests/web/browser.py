# SPDX-License-Identifier: MIT
"""The two browser engines the web tests run in, driven with nothing but the standard library:
headless Chromium over WebDriver (Debian's chromium-driver), and Firefox ESR over its own
Marionette protocol (Debian has no geckodriver), headed under a private Xvfb, since headless
Firefox has no WebGL on software GL. Both give the same small API: open, js, wait_for,
screenshot (of the viewport, at device pixel ratio 1), keys, console, fit_viewport, close; and
a static server for the page."""
import base64
import contextlib
import json
import math
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import serve as page_server  # noqa: E402  scripts/serve.py, as scripts/web.sh serves the page

CHROMIUM = os.environ.get("RINTA_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("RINTA_CHROMEDRIVER", "/usr/bin/chromedriver")
FIREFOX = os.environ.get("RINTA_FIREFOX", "/usr/bin/firefox-esr")

ENGINES = ("chromium", "firefox")
# The engine Browser() starts when none is named; the test harness sets it from --browser.
engine = os.environ.get("RINTA_BROWSER", "chromium")


def Browser(name=None, width=640, height=480, sound=False):
    """A fresh session of the named engine (default: the module's engine). sound: an audio
    output for the page (Chromium always has one; Firefox gets a sound server of its own)."""
    return {"chromium": Chromium, "firefox": Firefox}[name or engine](width, height, sound)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def serve(directory, rate_bits=0):
    """Serves directory on 127.0.0.1 as scripts/web.sh does (its precompressed copies where
    fresh, optionally through a line of rate_bits a second); yields the base URL."""
    server = page_server.make_server(directory, rate_bits=rate_bits)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


class Session:
    """What both engines share; each gives _window_rect, _set_window_size and the commands."""
    name = ""

    def wait_for(self, expression, timeout=120, poll=0.1):
        """Waits until the page expression is truthy; returns its value, or None on timeout."""
        end = time.time() + timeout
        while time.time() < end:
            value = self.js(f"return {expression};")
            if value:
                return value
            time.sleep(poll)
        return None

    def fit_viewport(self, width, height):
        """Sizes the window so that the page's viewport is width x height exactly."""
        for _ in range(3):
            inner = self.js("return [innerWidth, innerHeight];")
            if inner == [width, height]:
                return True
            rect = self._window_rect()
            self._set_window_size(rect["width"] + width - inner[0], rect["height"] + height - inner[1])
        return self.js("return [innerWidth, innerHeight];") == [width, height]

    @staticmethod
    def _key_actions(names):
        """Each key pressed and released in turn (a character, or a WebDriver key code)."""
        actions = []
        for k in names:
            actions += [{"type": "keyDown", "value": k}, {"type": "pause", "duration": 60}, {"type": "keyUp", "value": k}]
        return [{"type": "key", "id": "keyboard", "actions": actions}]

    @staticmethod
    def _chord_actions(names):
        actions = [{"type": "keyDown", "value": k} for k in names] + [{"type": "pause", "duration": 60}]
        actions += [{"type": "keyUp", "value": k} for k in reversed(names)]
        return [{"type": "key", "id": "keyboard", "actions": actions}]

    @staticmethod
    def _touch_actions(strokes):
        actions = []
        for stroke in strokes:
            x, y = stroke[0]
            actions += [{"type": "pointerMove", "x": int(x), "y": int(y), "duration": 0, "origin": "viewport"},
                        {"type": "pointerDown", "button": 0}]
            for x, y in stroke[1:]:
                actions.append({"type": "pointerMove", "x": int(x), "y": int(y), "duration": 120, "origin": "viewport"})
            actions += [{"type": "pointerUp", "button": 0}, {"type": "pause", "duration": 150}]
        return [{"type": "pointer", "id": "finger", "parameters": {"pointerType": "touch"}, "actions": actions}]


# ---- Chromium, headless, over WebDriver ----------------------------------------------------

class Chromium(Session):
    name = "chromium"

    def __init__(self, width=640, height=480, sound=False):
        self.port = free_port()
        self.profile = tempfile.mkdtemp(prefix="rinta-chromium-")
        self.driver = subprocess.Popen([CHROMEDRIVER, f"--port={self.port}"], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.base = f"http://127.0.0.1:{self.port}"
        for _ in range(100):
            try:
                self._call("GET", "/status")
                break
            except OSError:
                time.sleep(0.1)
        args = ["--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--no-first-run", "--disable-quic", f"--user-data-dir={self.profile}",
                f"--window-size={width},{height}", "--hide-scrollbars", "--force-device-scale-factor=1",
                "--disable-gpu-vsync", "--disable-renderer-backgrounding", "--disable-background-timer-throttling"]
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": CHROMIUM, "args": args},
            "goog:loggingPrefs": {"browser": "ALL"},
            # A busy machine may hold the page's thread in one frame for long: a script waits
            # for it as Firefox's session does, rather than the default 30 s.
            "pageLoadStrategy": "normal", "timeouts": {"script": 300000, "pageLoad": 300000}}}}
        reply = self._call("POST", "/session", caps)
        self.session = reply["value"]["sessionId"]

    def _call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=300) as r:
                return json.loads(r.read().decode())
        except urllib.error.HTTPError as e:  # the driver's own words, not only its HTTP status
            try:
                value = json.loads(e.read().decode())["value"]
                words = f"{value.get('error')}: {value.get('message')}"
            except (ValueError, KeyError, TypeError, AttributeError):
                raise e from None
            raise RuntimeError(f"{method} {path}: {words}") from None

    def cmd(self, method, path, body=None):
        return self._call(method, f"/session/{self.session}{path}", body)["value"]

    def _window_rect(self):
        return self.cmd("GET", "/window/rect")

    def _set_window_size(self, width, height):
        self.cmd("POST", "/window/rect", {"width": width, "height": height})

    def open(self, url):
        self.cmd("POST", "/url", {"url": url})

    def js(self, script, *args):
        return self.cmd("POST", "/execute/sync", {"script": script, "args": list(args)})

    def screenshot(self, path):
        # On a starved machine the driver may give up waiting for the renderer's next frame
        # (its error names a timeout, after 10 s): that says nothing about the page, so ask
        # again, for as long as a page check waits for anything.
        deadline = time.time() + 120
        while True:
            try:
                png = base64.b64decode(self.cmd("GET", "/screenshot"))
                break
            except RuntimeError as e:
                if time.time() > deadline or "timeout" not in str(e).lower():
                    raise RuntimeError(f"screenshot refused: {str(e)[:300]}") from None
                time.sleep(1)
        with open(path, "wb") as f:
            f.write(png)

    def keys(self, *names):
        """Presses and releases each key in turn (a character, or a WebDriver key code)."""
        self.cmd("POST", "/actions", {"actions": self._key_actions(names)})

    def chord(self, *names):
        """Holds the keys down in turn, then lets them go in the reverse order (Control, "n")."""
        self.cmd("POST", "/actions", {"actions": self._chord_actions(names)})

    def touch(self, *strokes):
        """Touches the page with one finger, stroke after stroke: each a list of viewport points
        (x, y), pressed at the first, moved through the rest, lifted at the last (one point taps)."""
        self.cmd("POST", "/actions", {"actions": self._touch_actions(strokes)})
        self.cmd("DELETE", "/actions")

    def console(self):
        """Console entries since the last call: (level, message)."""
        entries = self.cmd("POST", "/se/log", {"type": "browser"})
        return [(e["level"], e["message"]) for e in entries]

    def close(self):
        with contextlib.suppress(Exception):
            self._call("DELETE", f"/session/{self.session}")
        self.driver.terminate()
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.driver.wait(10)
        subprocess.run(["rm", "-rf", self.profile])


# ---- Firefox ESR, headed under its own Xvfb, over Marionette -------------------------------

# A quiet profile: no first-run pages, updates, telemetry or other calls home (nothing outside
# this machine answers, and their failures would land in the console), the page's console on
# standard output for console(), and one device pixel per CSS pixel.
FIREFOX_PREFS = {
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.page": 0,
    "browser.startup.homepage": "about:blank",
    "browser.startup.homepage_override.mstone": "ignore",
    "startup.homepage_welcome_url": "about:blank",
    "startup.homepage_welcome_url.additional": "",
    "browser.aboutwelcome.enabled": False,
    "browser.newtabpage.enabled": False,
    "browser.tabs.warnOnClose": False,
    "browser.sessionstore.resume_from_crash": False,
    "browser.warnOnQuit": False,
    "app.update.disabledForTesting": True,
    "app.update.auto": False,
    "app.normandy.enabled": False,
    "app.shield.optoutstudies.enabled": False,
    "messaging-system.rsexperimentloader.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "datareporting.healthreport.uploadEnabled": False,
    "toolkit.telemetry.enabled": False,
    "toolkit.telemetry.unified": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "toolkit.startup.max_resumed_crashes": -1,
    "extensions.update.enabled": False,
    "extensions.blocklist.enabled": False,
    "extensions.getAddons.cache.enabled": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "browser.safebrowsing.blockedURIs.enabled": False,
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "network.dns.disablePrefetch": True,
    "network.prefetch-next": False,
    "browser.region.network.url": "",
    "browser.region.update.enabled": False,
    "services.settings.server": "data:,",
    "media.gmp-manager.url": "",
    "dom.disable_beforeunload": True,
    "devtools.console.stdout.content": True,
    "devtools.console.stdout.chrome": False,
    "messaging-system.log": "off",
    "layout.css.devPixelsPerPx": "1.0",
    "ui.prefersReducedMotion": 1,
}

# A console line on Firefox's standard output: the page's console calls ("console.warn: ...")
# and its uncaught errors ("JavaScript error: URL, line N: ..."), as Chromium's log levels.
CONSOLE_LINE = re.compile(r"^(console\.(\w+)|JavaScript (error|warning)): (.*)$")
LEVELS = {"error": "SEVERE", "assert": "SEVERE", "warn": "WARNING", "warning": "WARNING"}
PAGE_SOURCE = ("http:", "https:", "data:", "blob:", "file:")


class NoReply(RuntimeError):
    """The browser stopped answering its driver altogether."""


class Marionette:
    """Firefox's remote protocol: "LENGTH:JSON" both ways over TCP, [0, id, name, params] out,
    [1, id, error, result] back."""

    def __init__(self, port, timeout, alive):
        end = time.time() + timeout
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
                break
            except OSError:
                if time.time() > end or not alive():
                    raise RuntimeError(f"Firefox's Marionette never listened on port {port}")
                time.sleep(0.2)
        self.sock.settimeout(330)  # past the session's page-load and script limits, which say more
        self.buf = b""
        self.id = 0
        hello = self._receive()
        if hello.get("marionetteProtocol") != 3:
            raise RuntimeError(f"unexpected Marionette greeting {hello}")

    def _receive(self):
        while b":" not in self.buf:
            self._read()
        length, rest = self.buf.split(b":", 1)
        length = int(length)
        self.buf = rest
        while len(self.buf) < length:
            self._read()
        message, self.buf = self.buf[:length], self.buf[length:]
        return json.loads(message)

    def _read(self):
        chunk = self.sock.recv(1 << 20)
        if not chunk:
            raise RuntimeError("Firefox closed the Marionette connection")
        self.buf += chunk

    def __call__(self, name, params=None):
        self.id += 1
        data = json.dumps([0, self.id, name, params or {}]).encode()
        self.sock.sendall(str(len(data)).encode() + b":" + data)
        try:
            while True:
                kind, mid, error, result = self._receive()
                if kind == 1 and mid == self.id:
                    break
        except TimeoutError:
            raise NoReply(f"{name}: no reply from Firefox in {self.sock.gettimeout():.0f} s") from None
        if error:
            raise RuntimeError(f"{name}: {error.get('error')}: {error.get('message')}")
        return result

    def close(self):
        self.sock.close()


# Firefox will not make its window narrower than this.
FIREFOX_NARROWEST = 500


class Firefox(Session):
    name = "firefox"

    def __init__(self, width=640, height=480, sound=False):
        self.dir = tempfile.mkdtemp(prefix="rinta-firefox-")
        self.xvfb = self.pulse = self.firefox = self.marionette = None
        self.log_at = 0
        self.zoom, self.zoomed = 1.0, False
        try:
            self._start(width, height, sound)
        except BaseException:
            self.close()
            raise

    def _start(self, width, height, sound):
        display = self._start_xvfb()
        profile = os.path.join(self.dir, "profile")
        os.makedirs(profile)
        port = free_port()
        with open(os.path.join(profile, "user.js"), "w") as f:
            for key, value in dict(FIREFOX_PREFS, **{"marionette.port": port}).items():
                f.write(f"user_pref({json.dumps(key)}, {json.dumps(value)});\n")
        env = {k: v for k, v in os.environ.items() if k not in ("MOZ_HEADLESS", "WAYLAND_DISPLAY")}
        # llvmpipe for WebGL, on this display only
        env.update(DISPLAY=display, LIBGL_ALWAYS_SOFTWARE="1", MOZ_CRASHREPORTER_DISABLE="1", XDG_SESSION_TYPE="x11",
                   HOME=self.dir, XDG_RUNTIME_DIR=self.dir)
        if sound:
            env["PULSE_SERVER"] = self._start_sound_server()
        self.log = os.path.join(self.dir, "firefox.log")
        with open(self.log, "wb") as out:
            # System access lets the session zoom the page (fit_viewport's phone-sized viewports).
            self.firefox = subprocess.Popen([FIREFOX, "--marionette", "-remote-allow-system-access", "--no-remote", "--profile", profile,
                                             "-width", str(width), "-height", str(height), "about:blank"],
                                            env=env, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        try:
            self.marionette = Marionette(port, 90, lambda: self.firefox.poll() is None)
        except RuntimeError as e:
            raise RuntimeError(f"{e}; Firefox said:\n{self._log_tail()}") from None
        self.marionette("WebDriver:NewSession", {"capabilities": {"alwaysMatch": {
            "pageLoadStrategy": "normal", "timeouts": {"script": 300000, "pageLoad": 300000}}}})
        self._set_window_size(width, height)

    def _start_xvfb(self):
        read, write = os.pipe()
        try:
            self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x1400x24",
                                          "-nolisten", "tcp", "-noreset"], pass_fds=(write,),
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.close(write)
        number = b""
        with os.fdopen(read, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        return ":" + number.decode().strip()

    def _start_sound_server(self):
        """A PulseAudio server of its own with a null sink: the page's audio runs as on a
        viewer's machine (without one, Firefox has no output and the page plays silently).
        Only where asked: with it the page's other checks stopped answering in Firefox at times
        (a script call with no reply), which the audio check is to show, not every check."""
        socket_path = os.path.join(self.dir, "pulse-native")
        env = dict(os.environ, HOME=self.dir, XDG_RUNTIME_DIR=self.dir)
        env.pop("PULSE_SERVER", None)
        log = os.path.join(self.dir, "pulseaudio.log")
        with open(log, "wb") as out:
            self.pulse = subprocess.Popen(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                                           "--log-target=stderr", "-L", "module-null-sink sink_name=rinta",
                                           "-L", f"module-native-protocol-unix socket={socket_path} auth-anonymous=1"],
                                          env=env, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(socket_path) or self.pulse.poll() is not None:
                break
            time.sleep(0.1)
        if not os.path.exists(socket_path):
            with open(log, errors="replace") as f:
                raise RuntimeError("PulseAudio did not start:\n" + f.read()[-2000:])
        return "unix:" + socket_path

    def _log_tail(self):
        with contextlib.suppress(OSError), open(self.log, errors="replace") as f:
            return "".join(f.readlines()[-20:])
        return ""

    def _window_rect(self):
        return self.marionette("WebDriver:GetWindowRect")

    def _set_window_size(self, width, height):
        self.marionette("WebDriver:SetWindowRect", {"width": width, "height": height})

    def fit_viewport(self, width, height):
        """As Session's; a viewport narrower than Firefox's narrowest window (a phone's) is had
        by zooming the page, as a phone's screen does: the page sees width x height CSS pixels
        at a device pixel ratio above 1, and screenshots are scaled back to CSS pixels."""
        # Firefox keeps 60 units to a CSS pixel: of the zooms it can have exactly, the least
        # that brings the window to its narrowest.
        self.zoom = 60 / math.floor(60 * width / FIREFOX_NARROWEST) if width < FIREFOX_NARROWEST else 1.0
        self._apply_zoom()
        for _ in range(4):
            inner = self.js("return [innerWidth, innerHeight];")
            if inner == [width, height]:
                return True
            rect = self._window_rect()
            self._set_window_size(round(rect["width"] + (width - inner[0]) * self.zoom),
                                  round(rect["height"] + (height - inner[1]) * self.zoom))
        return self.js("return [innerWidth, innerHeight];") == [width, height]

    def _apply_zoom(self):
        if self.zoom == 1.0 and not self.zoomed:
            return
        self.marionette("Marionette:SetContext", {"value": "chrome"})
        try:
            self.js("gBrowser.selectedBrowser.fullZoom = arguments[0];", self.zoom)
        finally:
            self.marionette("Marionette:SetContext", {"value": "content"})
        self.zoomed = self.zoom != 1.0

    def open(self, url):
        self.marionette("WebDriver:Navigate", {"url": url})
        self._apply_zoom()  # a new document starts at the default zoom

    def js(self, script, *args):
        return self.marionette("WebDriver:ExecuteScript", {"script": script, "args": list(args)}).get("value")

    def screenshot(self, path):
        png = base64.b64decode(self.marionette("WebDriver:TakeScreenshot", {"full": False, "hash": False})["value"])
        with open(path, "wb") as f:
            f.write(png)
        if self.zoomed:
            size = self.js("return innerWidth + 'x' + innerHeight;")
            subprocess.run(["convert", path, "-resize", size + "!", path], check=True)

    def keys(self, *names):
        """Presses and releases each key in turn (a character, or a WebDriver key code)."""
        self._perform(self._key_actions(names))

    def chord(self, *names):
        """Holds the keys down in turn, then lets them go in the reverse order (Control, "n")."""
        self._perform(self._chord_actions(names))

    def touch(self, *strokes):
        """As Chromium's: one finger, stroke after stroke, in viewport (CSS) points."""
        self._perform(self._touch_actions(strokes))

    def _perform(self, actions):
        self.marionette("WebDriver:PerformActions", {"actions": actions})
        self.marionette("WebDriver:ReleaseActions")

    def console(self):
        """The page's console entries since the last call: (level, message), with Chromium's
        level names (SEVERE, WARNING, INFO)."""
        with open(self.log, "rb") as f:
            f.seek(self.log_at)
            text = f.read()
        cut = text.rfind(b"\n") + 1  # a line still being written waits for the next call
        self.log_at += cut
        entries = []
        for line in text[:cut].decode(errors="replace").splitlines():
            m = CONSOLE_LINE.match(line)
            if m:
                if m.group(3) and not m.group(4).startswith(PAGE_SOURCE):
                    entries.append(None)  # the browser's own script, not the page's
                    continue
                message = m.group(4)
                if m.group(2) and message.startswith('"') and message.endswith('"'):
                    with contextlib.suppress(ValueError):
                        message = json.loads(message)  # a single string, as the page gave it
                entries.append((LEVELS.get(m.group(2) or m.group(3), "INFO"), message))
            elif entries and line.startswith(("  ", "\t")):
                # The page's messages are one line each (its strings come escaped); indented
                # lines under one are the browser's own logging.
                entries[-1] = None
        return [e for e in entries if e]

    def close(self):
        if self.marionette:
            with contextlib.suppress(Exception):
                self.marionette("WebDriver:DeleteSession")
            with contextlib.suppress(Exception):
                self.marionette("Marionette:Quit")
            self.marionette.close()
        for proc in (self.firefox, self.pulse, self.xvfb):
            if proc is None:
                continue
            with contextlib.suppress(subprocess.TimeoutExpired):
                proc.wait(15 if proc is self.firefox else 0.01)
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


KEY_TAB = "\ue004"
KEY_ENTER = "\ue007"
KEY_ESCAPE = "\ue00c"
KEY_CONTROL = "\ue009"
