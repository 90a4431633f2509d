# SPDX-License-Identifier: MIT
"""Headless Chromium for the web tests, driven over WebDriver (Debian's chromium-driver) with
nothing but the standard library: a static server for the page, a browser session with a
640 x 480 window and software WebGL, and the few commands the tests use."""
import base64
import contextlib
import functools
import http.server
import json
import os
import socket
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request

CHROMIUM = os.environ.get("RINTA_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("RINTA_CHROMEDRIVER", "/usr/bin/chromedriver")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@contextlib.contextmanager
def serve(directory):
    """Serves directory on 127.0.0.1 as scripts/web.sh does; yields the base URL."""
    handler = functools.partial(QuietHandler, directory=directory)
    handler.extensions_map = dict(QuietHandler.extensions_map, **{".wasm": "application/wasm", ".js": "text/javascript"})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}/"
    finally:
        server.shutdown()
        server.server_close()


class Browser:
    def __init__(self, width=640, height=480):
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
            "pageLoadStrategy": "normal"}}}
        reply = self._call("POST", "/session", caps)
        self.session = reply["value"]["sessionId"]

    def fit_viewport(self, width, height):
        """Sizes the window so that the page's viewport is width x height exactly."""
        for _ in range(3):
            inner = self.js("return [innerWidth, innerHeight];")
            if inner == [width, height]:
                return True
            rect = self.cmd("GET", "/window/rect")
            self.cmd("POST", "/window/rect", {"width": rect["width"] + width - inner[0],
                                              "height": rect["height"] + height - inner[1]})
        return self.js("return [innerWidth, innerHeight];") == [width, height]

    def _call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, timeout=300) as r:
            return json.loads(r.read().decode())

    def cmd(self, method, path, body=None):
        return self._call(method, f"/session/{self.session}{path}", body)["value"]

    def open(self, url):
        self.cmd("POST", "/url", {"url": url})

    def js(self, script, *args):
        return self.cmd("POST", "/execute/sync", {"script": script, "args": list(args)})

    def wait_for(self, expression, timeout=120, poll=0.1):
        """Waits until the page expression is truthy; returns its value, or None on timeout."""
        end = time.time() + timeout
        while time.time() < end:
            value = self.js(f"return {expression};")
            if value:
                return value
            time.sleep(poll)
        return None

    def screenshot(self, path):
        # On a starved machine the driver may give up waiting for the renderer's next frame
        # (an HTTP 500 naming a timeout): that says nothing about the page, so ask again.
        for attempt in range(4):
            try:
                png = base64.b64decode(self.cmd("GET", "/screenshot"))
                break
            except urllib.error.HTTPError as e:
                body = e.read().decode(errors="replace")
                if attempt == 3 or "timeout" not in body.lower():
                    raise RuntimeError(f"screenshot refused: {body[:300]}") from e
                time.sleep(1)
        with open(path, "wb") as f:
            f.write(png)

    def keys(self, *names):
        """Presses and releases each key in turn (a character, or a WebDriver key code)."""
        actions = []
        for k in names:
            actions += [{"type": "keyDown", "value": k}, {"type": "pause", "duration": 60}, {"type": "keyUp", "value": k}]
        self.cmd("POST", "/actions", {"actions": [{"type": "key", "id": "keyboard", "actions": actions}]})

    def chord(self, *names):
        """Holds the keys down in turn, then lets them go in the reverse order (Control, "n")."""
        actions = [{"type": "keyDown", "value": k} for k in names] + [{"type": "pause", "duration": 60}]
        actions += [{"type": "keyUp", "value": k} for k in reversed(names)]
        self.cmd("POST", "/actions", {"actions": [{"type": "key", "id": "keyboard", "actions": actions}]})

    def touch(self, *strokes):
        """Touches the page with one finger, stroke after stroke: each a list of viewport points
        (x, y), pressed at the first, moved through the rest, lifted at the last (one point taps)."""
        actions = []
        for stroke in strokes:
            x, y = stroke[0]
            actions += [{"type": "pointerMove", "x": int(x), "y": int(y), "duration": 0, "origin": "viewport"},
                        {"type": "pointerDown", "button": 0}]
            for x, y in stroke[1:]:
                actions.append({"type": "pointerMove", "x": int(x), "y": int(y), "duration": 120, "origin": "viewport"})
            actions += [{"type": "pointerUp", "button": 0}, {"type": "pause", "duration": 150}]
        self.cmd("POST", "/actions", {"actions": [{"type": "pointer", "id": "finger", "parameters": {"pointerType": "touch"},
                                                   "actions": actions}]})
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


KEY_TAB = "\ue004"
KEY_ENTER = "\ue007"
KEY_ESCAPE = "\ue00c"
KEY_CONTROL = "\ue009"
