// SPDX-License-Identifier: MIT
// web/page.js — the page around the wasm build: loading the code and the data (with a progress
// bar), the fullscreen question, the keys and touch, the page's messages, Web Audio for the
// music layer, and the deterministic mode's parameters:
//   index.html?frame=N[&key=FRAME:KEY ...][&answer=no|yes]  demo frame N on the capture clock
//   index.html?answer=no|yes                                  live, without the question
//   index.html?bench=1&answer=no[&frame=N]                   every frame drawn, the last shown; per-scene times
//   any of them &resolution=classic|native|WxH &msaa=N         the render size and samples, as the
//                                                             program's --resolution and --msaa
// State for tests and the curious: window.rinta (phase, frames, times, ended, bench, message,
// loaded).
'use strict';

(function () {
  const rinta = (window.rinta = { phase: 'loading', frames: 0, times: {}, ended: null, bench: null,
                                  deterministic: false, fullscreen: null, message: null,
                                  loaded: { bytes: 0, total: 0 } });
  // ms since the navigation began
  const mark = (name) => { rinta.times[name] = Math.round(performance.now() * 10) / 10; };

  const canvas = document.getElementById('canvas');
  const status = document.getElementById('status');

  // ---- the link's parameters ---------------------------------------------------------------
  // Checked before anything loads: a link that cannot be followed says why instead of running
  // something else (a frame that does not read as a number used to run the live demo, or bench
  // the whole song).

  const MAX_FRAME = 2147483647; // the wasm side reads frame numbers as 32-bit longs
  const KEY_NAMES = /^([1-8]|left|right|esc)$/;

  function readParameters(search) {
    const params = new URLSearchParams(search);
    const problems = [];
    const shown = (text) => (text.length > 40 ? text.slice(0, 40) + '…' : text);
    const frameNumber = (text) => (/^[0-9]{1,10}$/.test(text) && +text >= 1 && +text <= MAX_FRAME ? +text : 0);
    const one = (name) => {
      const all = params.getAll(name);
      if (all.length > 1) problems.push(`${name}= is given ${all.length} times: give it once.`);
      return all.length ? all[0] : null;
    };
    const p = { frame: 0, bench: false, answer: null, keys: [], problems };
    const frame = one('frame');
    if (frame !== null) {
      p.frame = frameNumber(frame);
      if (!p.frame) problems.push(`frame=${shown(frame)} is not a frame number: frames are whole numbers from 1.`);
    }
    const bench = one('bench');
    if (bench !== null) {
      if (bench !== '0' && bench !== '1') problems.push(`bench=${shown(bench)} is neither 1 nor 0.`);
      p.bench = bench === '1';
    }
    const answer = one('answer');
    if (answer !== null) {
      if (answer !== 'yes' && answer !== 'no') problems.push(`answer=${shown(answer)} is neither yes nor no.`);
      else p.answer = answer;
    }
    for (const key of params.getAll('key')) {
      const colon = key.indexOf(':');
      if (colon < 0 || !frameNumber(key.slice(0, colon)) || !KEY_NAMES.test(key.slice(colon + 1)))
        problems.push(`key=${shown(key)} is not FRAME:KEY (FRAME from 1; KEY 1 to 8, left, right or esc).`);
      else p.keys.push(key);
    }
    if (p.keys.length && !p.frame && !p.bench) problems.push('key= presses keys only in a frame=N or bench=1 run.');
    return p;
  }

  const params = readParameters(location.search);
  const frame = params.frame;
  const bench = params.bench;
  const answerParam = params.answer;
  const deterministic = frame > 0 || bench;
  rinta.deterministic = deterministic;
  if (deterministic) document.body.classList.add('exact');

  // ---- the page's last word: a visible message, the audio let go ----------------------------

  let stopped = false;
  function stop(caption, text, links) { // links: [label, href]
    if (stopped) return;
    stopped = true;
    console.warn('rinta: ' + caption + ': ' + text);
    rinta.phase = 'ended';
    rinta.ended = rinta.ended || caption;
    rinta.message = caption + ': ' + text;
    loads.abort();
    progress.hide();
    touch.hide();
    box.hidden = true;
    releaseAudio();
    document.getElementById('m-caption').textContent = caption;
    document.getElementById('m-text').textContent = text;
    const row = document.getElementById('m-links');
    row.textContent = '';
    for (const [label, href] of links || []) {
      const a = document.createElement('a');
      a.textContent = label;
      a.href = href;
      row.appendChild(a);
    }
    row.hidden = !row.childNodes.length;
    document.getElementById('message').hidden = false;
  }
  const plainPage = () => location.pathname;
  const withFrame = (n) => {
    const p = new URLSearchParams(location.search);
    p.set('frame', String(n));
    return location.pathname + '?' + p.toString();
  };

  function releaseAudio() {
    const a = window.Module && Module.rintaAudio;
    if (a && typeof a.close === 'function') {
      try { a.close(); } catch (e) { console.warn('rinta: closing the audio: ' + e.message); }
    }
  }

  // A passing note (a data file that did not come): shown for a while, then out of the picture.
  let noteTimer = 0;
  function note(text, seconds) {
    status.textContent = text;
    status.classList.add('shown');
    clearTimeout(noteTimer);
    noteTimer = setTimeout(() => status.classList.remove('shown'), (seconds || 8) * 1000);
  }

  // ---- loading: the code and the data, bytes loaded of the total ----------------------------
  // files.json (written by scripts/web.sh) names every file with its size, so the bar has a
  // total from the start and the data comes beside the code rather than after it.

  const progress = {
    el: document.getElementById('progress'),
    current: '',
    painted: false,
    add(name, bytes) {
      rinta.loaded.bytes += bytes;
      this.current = name;
      if (!this.painted) {
        this.painted = true;
        requestAnimationFrame(() => { this.painted = false; this.paint(); });
      }
    },
    paint() {
      if (this.el.hidden) return;
      const mb = (n) => (n / 1e6).toFixed(1);
      const { bytes, total } = rinta.loaded;
      const what = this.current ? 'Loading ' + this.current : 'Loading';
      const bar = this.el.querySelector('.fill');
      const label = this.el.querySelector('.label');
      if (total > 0) {
        const part = Math.min(1, bytes / total);
        bar.style.width = (part * 100).toFixed(1) + '%';
        this.el.setAttribute('aria-valuenow', String(Math.round(part * 100)));
        label.textContent = `${what}: ${mb(bytes)} of ${mb(total)} MB`;
      } else {
        label.textContent = `${what}: ${mb(bytes)} MB`;
      }
    },
    hide() { this.el.hidden = true; },
  };

  const loads = new AbortController(); // a page that has stopped fetches nothing more

  class LoadError extends Error {
    constructor(file, why) {
      super(file + ': ' + why);
      this.file = file;
      this.why = why;
    }
  }

  // The response to name with a body that counts into the bar as it is read.
  async function fetchCounted(name) {
    let r;
    try {
      r = await fetch(name, { signal: loads.signal });
    } catch (e) { // no answer at all: the server is gone, or the scheme lets nothing be fetched
      throw new LoadError(name, 'the server gave no answer (' + e.message + ')');
    }
    if (!r.ok) throw new LoadError(name, `HTTP ${r.status} ${r.statusText}`.trim());
    if (!r.body) return r;
    const reader = r.body.getReader();
    const body = new ReadableStream({
      async pull(out) {
        let chunk;
        try {
          chunk = await reader.read();
        } catch (e) {
          out.error(new LoadError(name, 'the transfer broke off (' + e.message + ')'));
          return;
        }
        if (chunk.done) {
          out.close();
        } else {
          progress.add(name, chunk.value.byteLength);
          out.enqueue(chunk.value);
        }
      },
    });
    return new Response(body, { status: r.status, headers: r.headers });
  }

  async function fetchBytes(name) {
    const r = await fetchCounted(name);
    try {
      return new Uint8Array(await r.arrayBuffer());
    } catch (e) {
      throw e instanceof LoadError ? e : new LoadError(name, 'the transfer broke off (' + e.message + ')');
    }
  }

  function loadFailed(e) {
    if (e instanceof LoadError) {
      stop('rinta cannot start', `${e.file} could not be loaded: ${e.why}. The page needs all of its files: ` +
           'copy the whole folder that scripts/web.sh builds to the server, then reload.', [['Reload', location.href]]);
    } else {
      stop('rinta cannot start', 'loading failed: ' + (e && e.message ? e.message : e) + '. Reload the page to try again.',
           [['Reload', location.href]]);
    }
  }

  const data = {}; // 'data/NAME' -> Promise of its bytes, or null when it did not come
  const dataFailures = [];
  function loadData(name) {
    if (!data[name]) {
      data[name] = fetchBytes(name).catch((e) => {
        if (stopped) return null;
        const why = e instanceof LoadError ? e.why : String(e);
        dataFailures.push(name + ' (' + why + ')');
        console.warn('rinta: ' + name + ' could not be loaded: ' + why + '; the demo goes on without it');
        note('Not loaded: ' + dataFailures.join(', ') + '. The demo goes on without it.', 12);
        return null;
      });
    }
    return data[name];
  }

  let wasmModule = null;
  async function load() {
    let manifest = {};
    try {
      const r = await fetch('files.json', { signal: loads.signal });
      if (r.ok) manifest = await r.json();
      else console.warn(`rinta: files.json: HTTP ${r.status}; loading without the sizes`);
    } catch (e) {
      console.warn('rinta: files.json: ' + e.message + '; loading without the sizes');
    }
    rinta.loaded.total = Object.values(manifest).reduce((sum, n) => sum + (Number(n) || 0), 0);
    progress.paint();
    const wasm = fetchCounted('rinta.wasm').then((r) => {
      // Compiled while it streams in; the type is ours, so a host's odd MIME type does not matter.
      const typed = new Response(r.body, { headers: { 'Content-Type': 'application/wasm' } });
      const compiled = WebAssembly.compileStreaming ? WebAssembly.compileStreaming(typed)
                                                     : typed.arrayBuffer().then((b) => WebAssembly.compile(b));
      return compiled.catch((e) => {
        throw e instanceof LoadError ? e : new LoadError('rinta.wasm', 'the browser cannot compile it (' + e.message + ')');
      });
    });
    wasm.catch(loadFailed);
    wasmModule = wasm;
    for (const name of Object.keys(manifest)) if (name.startsWith('data/')) loadData(name);
    const code = new TextDecoder().decode(await fetchBytes('rinta.js'));
    if (stopped) return;
    const script = document.createElement('script');
    script.textContent = code + '\n//# sourceURL=rinta.js';
    document.body.appendChild(script);
  }

  // A script or other resource of the page itself that does not come (index.html names them).
  window.addEventListener('error', (e) => {
    const el = e.target;
    if (!el || el === window || !(el.src || el.href)) return;
    const url = el.src || el.href;
    const name = url.replace(location.href.replace(/[^/]*$/, ''), '');
    fetch(url, { method: 'HEAD' }).then((r) => `HTTP ${r.status} ${r.statusText}`.trim(),
                                       (x) => 'the server gave no answer (' + x.message + ')')
      .then((why) => loadFailed(new LoadError(name, why)));
  }, true);

  // ---- message boxes: the question, and anything the program has to say --------------------

  const box = document.getElementById('question');
  function ask(text, caption, buttons) { // buttons: [label, value]; the first is the default
    return new Promise((resolve) => {
      document.getElementById('q-caption').textContent = caption;
      document.getElementById('q-text').textContent = text;
      const row = document.getElementById('q-buttons');
      row.textContent = '';
      const made = buttons.map(([label, value]) => {
        const b = document.createElement('button');
        b.textContent = label;
        b.addEventListener('click', () => finish(value));
        row.appendChild(b);
        return b;
      });
      function onKey(e) { // as a message box: Tab and arrows move, Enter and Space press, Y and N answer
        if (stopped) return;
        if (e.ctrlKey || e.altKey || e.metaKey) return; // the browser's shortcuts, not answers
        const at = made.indexOf(document.activeElement);
        if (e.key === 'Tab' || e.key === 'ArrowLeft' || e.key === 'ArrowRight') {
          const step = e.key === 'ArrowLeft' || (e.key === 'Tab' && e.shiftKey) ? -1 : 1;
          made[(Math.max(at, 0) + step + made.length) % made.length].focus();
        } else if (e.key === 'Enter' || e.key === ' ') {
          finish(buttons[Math.max(at, 0)][1]);
        } else {
          const hit = buttons.find(([label]) => label[0].toLowerCase() === e.key.toLowerCase());
          if (!hit) return;
          finish(hit[1]);
        }
        e.preventDefault();
      }
      function finish(value) {
        window.removeEventListener('keydown', onKey, true);
        box.hidden = true;
        resolve(value);
      }
      window.addEventListener('keydown', onKey, true);
      box.hidden = false;
      made[0].focus();
    });
  }

  // ---- Web Audio for web/music.cpp ---------------------------------------------------------
  // The song is rendered on this thread, ahead of what is heard (from a timer and from every
  // frame), and posted in blocks to the player on the audio thread (worklet.js), each stamped
  // with the context frame it will be heard at; no round trip to this thread per audio block,
  // so a stall here shorter than the lead is not heard. The music core stamps each block's
  // position with the page's audio clock (time()): the context's output timestamp while the
  // context runs, a silent clock of the page's own while it does not (before it has started,
  // however long that takes, or without any audio device), each taking over from the other
  // where it stands, so the song's position never jumps.

  const audio = {
    ctx: null, node: null, rate: 44100, buffer: 0, opened: false, timer: 0, waited: 0,
    runningFrom: 0, runningFromContext: 0, // when the context was first seen running, and its output clock then
    block: 1024,   // frames rendered at a time (23 ms)
    lead: 1.0,     // seconds rendered ahead of what is heard, on the context's clock: a
                   // frame that holds this thread for most of a second is not heard
    silentLead: 0.03, // and on the silent clock: what is rendered there is never heard
    device: false, // the clock is the context's (else the silent one)
    offset: 0,     // page clock = context time heard + offset, while on the context
    silentBase: 0, silentFrom: 0, // page clock = silentBase + seconds since silentFrom, while silent
    ahead: 0,      // the page time rendered up to
    nextFrame: 0,  // the context frame the next block is heard at
    last: 0,       // the latest time() given: the clock never goes back
    stats: { played: 0, underrun: 0, late: 0, audible: 0, frame: 0 }, // the player's report
    handovers: [], // [page time, 'device' or 'silent'] at each change of clock
    // Whether the context's output clock is asked. Firefox's asks its audio server for the
    // device's latency while it holds its audio graph, and the whole tab froze for good when
    // that met the device's own callback (3 starts in 20 here, as the device opened): there
    // the clock is the context's time less its base latency.
    outputClock: !/\bFirefox\//.test(navigator.userAgent),
    start() { // in the answer's handler: the user gesture that lets the page make sound
      const Ctx = window.AudioContext || window.webkitAudioContext;
      if (!Ctx) return;
      let ctx;
      try {
        ctx = this.ctx = new Ctx({ sampleRate: this.rate, latencyHint: 'interactive' });
        ctx.resume().catch(() => {});
      } catch (e) {
        this.ctx = null;
        return;
      }
      if (!ctx.audioWorklet) {
        console.warn('music: this browser has no AudioWorklet; playing silently');
        return;
      }
      ctx.audioWorklet.addModule('worklet.js').then(() => {
        if (this.ctx !== ctx) return; // closed meanwhile
        this.node = new AudioWorkletNode(ctx, 'rinta-player',
                                         { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2] });
        this.node.port.onmessage = (e) => { this.stats = e.data; };
        this.node.connect(ctx.destination);
        this.pump();
      }).catch((e) => console.warn('music: the audio player did not load (' + e + '); playing silently'));
      // A context the browser has not let start yet (no gesture) starts with the next one.
      const nudge = () => { if (this.ctx && this.ctx.state === 'suspended') this.ctx.resume().catch(() => {}); };
      window.addEventListener('keydown', nudge, true);
      window.addEventListener('pointerdown', nudge, true);
    },
    open(rate) { // FSOUND_Init: the page's clock starts, silent until the context runs
      this.rate = rate;
      this.buffer = this.buffer || Module._malloc(this.block * 2 * 4);
      if (!this.ctx) {
        console.warn('music: no Web Audio; playing silently');
      } else if (this.ctx.sampleRate !== rate) {
        console.warn('music: the audio device does not take ' + rate + ' Hz; playing silently');
        this.ctx.close().catch(() => {});
        this.ctx = null;
        this.node = null;
      }
      this.opened = true;
      this.device = false;
      this.silentBase = 0;
      this.silentFrom = performance.now();
      this.ahead = this.last = 0;
      this.waited = this.silentFrom;
      this.timer = setInterval(() => this.pump(), 20);
      return 1;
    },
    contextHeard() { // the context time of the sample at the output now
      const ctx = this.ctx;
      if (this.outputClock && ctx.getOutputTimestamp) {
        const ts = ctx.getOutputTimestamp();
        if (ts.contextTime > 0 && ts.performanceTime > 0)
          // Some engines move currentTime in bursts of their device's blocks: bounded by it the
          // clock would stand still and then jump, so it may run a block's worth ahead of it.
          return Math.min(ctx.currentTime + 0.25, ts.contextTime + (performance.now() - ts.performanceTime) / 1000);
      }
      return ctx.currentTime - ((this.outputClock && ctx.outputLatency) || ctx.baseLatency || 0);
    },
    runs() {
      const ctx = this.ctx;
      if (!(this.node && ctx && ctx.state === 'running' && ctx.currentTime > 0)) {
        this.runningFrom = 0;
        return false;
      }
      if (this.device || !this.outputClock || !ctx.getOutputTimestamp) return true;
      // Taken over once the output's own clock reads afresh and has moved since the context
      // ran, so that the reading the handover is made from and the later ones agree. Until
      // then an output clock may read nothing, or what it read before the context stood (at
      // times with a fresh stamp; Firefox's did, when it was asked), and a handover made
      // meanwhile put the song's clock 100-250 ms ahead, held still until the output caught
      // up. An engine whose output clock never reads is taken at its word after a second.
      const now = performance.now();
      const ts = ctx.getOutputTimestamp();
      if (!this.runningFrom) {
        this.runningFrom = now;
        this.runningFromContext = ts.contextTime;
      }
      return (ts.contextTime > this.runningFromContext && ts.performanceTime > 0 && now - ts.performanceTime < 200) ||
             now - this.runningFrom > 1000;
    },
    follow() { // hands the clock over when the context starts or stops running
      const runs = this.runs();
      if (runs === this.device) return;
      const now = this.time();
      if (runs) {
        this.offset = now - this.contextHeard();
        this.node.port.postMessage({ reset: true });
        // What was rendered ahead on the silent clock is not heard; the next block is heard
        // where it belongs on the context's clock, on its grid of frames.
        this.nextFrame = Math.round((this.ahead - this.offset) * this.rate);
        this.ahead = this.nextFrame / this.rate + this.offset;
      } else {
        this.silentBase = now;
        this.silentFrom = performance.now();
      }
      this.device = runs;
      this.handovers.push([now, runs ? 'device' : 'silent']);
    },
    pump() { // renders ahead of what is heard; on the context's clock, posts it to the player
      if (!this.opened) return;
      this.follow();
      if (!this.device && this.ctx && performance.now() - this.waited > 1500) {
        this.waited = Infinity; // said once: a slow start is not a dead device
        console.warn('music: the audio device has not started yet; playing silently until it does');
      }
      const target = this.time() + (this.device ? this.lead : this.silentLead);
      const heap = this.buffer >> 2;
      while (this.ahead < target) {
        Module._rintaAudioFill(this.buffer, this.block, this.ahead);
        if (this.device) {
          // A block already past the player is not sent: the song still moves on through it.
          if ((this.nextFrame + this.block) / this.rate > this.ctx.currentTime) {
            const data = Module.HEAPF32.slice(heap, heap + 2 * this.block);
            this.node.port.postMessage({ frame: this.nextFrame, data }, [data.buffer]);
          }
          this.nextFrame += this.block;
          this.ahead = this.nextFrame / this.rate + this.offset;
        } else {
          this.ahead += this.block / this.rate;
        }
      }
    },
    time() { // the page's audio clock: the time of the sample being heard now, in seconds
      if (!this.opened) return this.last;
      const t = this.device ? this.contextHeard() + this.offset
                            : this.silentBase + (performance.now() - this.silentFrom) / 1000;
      this.last = Math.max(this.last, t);
      return this.last;
    },
    close() { // FSOUND_Close, and whenever the page ends: the device is let go
      this.opened = false;
      if (this.timer) clearInterval(this.timer);
      this.timer = 0;
      if (this.node) {
        this.node.port.postMessage({ stop: true });
        this.node.disconnect();
        this.node = null;
      }
      if (this.ctx) this.ctx.close().catch(() => {});
      this.ctx = null;
    },
  };

  // ---- keys: virtual-key codes, as the shell's key table has them --------------------------

  function virtualKey(e) {
    switch (e.key) {
      case 'Escape': return 0x1b;
      case 'ArrowLeft': return 0x25;
      case 'ArrowRight': return 0x27;
      case 'ArrowUp': return 0x26;
      case 'ArrowDown': return 0x28;
      case 'Enter': return 0x0d;
      case ' ': return 0x20;
    }
    if (/^Digit[0-9]$/.test(e.code)) return e.code.charCodeAt(5);
    if (/^Key[A-Z]$/.test(e.code)) return e.code.charCodeAt(3);
    return 0;
  }
  function listenForKeys() {
    const send = (down) => (e) => {
      const vk = virtualKey(e);
      if (!vk || rinta.phase !== 'running') return;
      Module._rintaKeyEvent(vk, down);
      if (vk >= 0x25 && vk <= 0x28) e.preventDefault(); // arrows must not scroll the page
    };
    window.addEventListener('keydown', send(1));
    window.addEventListener('keyup', send(0));
  }

  // ---- touch: the program's keys from taps and swipes ----------------------------------------
  // Invisible until the screen is touched: a swipe to the left or right steps the scene as the
  // arrows do; a tap shows a row of buttons for scenes 1 to 8, the arrows and the end, which
  // goes away again when the screen is not touched for a while.

  const touch = {
    el: document.getElementById('touch'),
    timer: 0,
    start: null,
    build() {
      const buttons = [['◀', 0x25, 'previous scene']];
      for (let i = 1; i <= 8; ++i) buttons.push([String(i), 0x30 + i, 'scene ' + i]);
      buttons.push(['▶', 0x27, 'next scene'], ['End', 0x1b, 'end the demo']);
      for (const [label, vk, name] of buttons) {
        const b = document.createElement('button');
        b.textContent = label;
        b.setAttribute('aria-label', name);
        b.dataset.vk = String(vk);
        b.addEventListener('click', (e) => { e.stopPropagation(); this.press(vk); this.show(); });
        this.el.appendChild(b);
      }
      const stage = document.getElementById('stage');
      stage.addEventListener('pointerdown', (e) => {
        if (e.pointerType === 'mouse' || !this.live()) return;
        this.start = { x: e.clientX, y: e.clientY, id: e.pointerId };
      });
      stage.addEventListener('pointerup', (e) => {
        const s = this.start;
        if (!s || s.id !== e.pointerId) return;
        this.start = null;
        const dx = e.clientX - s.x, dy = e.clientY - s.y;
        if (Math.abs(dx) >= 40 && Math.abs(dx) > 1.5 * Math.abs(dy)) {
          this.press(dx < 0 ? 0x27 : 0x25); // the picture is pushed on: to the left is the next one
          this.show();
        } else if (Math.abs(dx) < 20 && Math.abs(dy) < 20) {
          this.show(); // and a while longer when it is up already
        }
      });
      stage.addEventListener('pointercancel', () => { this.start = null; });
    },
    live() { return rinta.phase === 'running' && !deterministic && !stopped; },
    press(vk) {
      if (!this.live()) return;
      Module._rintaKeyEvent(vk, 1);
      setTimeout(() => { if (rinta.phase === 'running') Module._rintaKeyEvent(vk, 0); }, 80);
    },
    show() {
      if (!this.live()) return;
      this.el.hidden = false;
      clearTimeout(this.timer);
      this.timer = setTimeout(() => this.hide(), 5000);
    },
    hide() {
      clearTimeout(this.timer);
      this.el.hidden = true;
    },
  };
  touch.build();

  // ---- the program ---------------------------------------------------------------------------

  let runtimeReady = null;
  const whenReady = new Promise((resolve) => { runtimeReady = resolve; });
  let ending = '';

  // ---- render size: read by web/render.cpp as the program reads --resolution and --msaa -----

  const renderParams = new URLSearchParams(location.search); // checked by the program, as its options
  const rintaRender = { resolution: renderParams.get('resolution'), msaa: renderParams.get('msaa') };

  window.Module = {
    canvas,
    rintaRender,
    noInitialRun: true,
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
    instantiateWasm(imports, receive) { // the module compiled while it came in (load above)
      wasmModule.then((compiled) => WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled)))
        .catch((e) => loadFailed(e instanceof LoadError ? e : new LoadError('rinta.wasm', 'it does not start (' + e.message + ')')));
      return {};
    },
    preRun: [() => {
      // The data beside the page goes into the file system before main, as data/ in the
      // working directory; a file that is missing stays missing and the engine says so.
      // The names come with rinta.js (Module.rintaDataFiles, from engine/data_files.txt).
      FS.mkdir('/data');
      for (const name of Module.rintaDataFiles) {
        Module.addRunDependency('data/' + name);
        loadData('data/' + name)
          .then((bytes) => { if (bytes) FS.writeFile('/data/' + name, bytes); })
          .finally(() => Module.removeRunDependency('data/' + name));
      }
    }],
    onRuntimeInitialized: () => { // code compiled, data in place
      mark('ready');
      progress.hide();
      // While the question is up, everything but the music gets ready (after the dialog has
      // painted): the answer then only starts the song. In short steps, each its own task, so
      // that an answer given meanwhile is taken at once; the rest runs on after it.
      if (!deterministic) {
        const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));
        (async () => {
          await nextTask();
          rinta.prepareSteps = []; // [step, ms] of each step, for the curious
          for (let step = 0, next; ; step = next) {
            const t0 = performance.now();
            next = Module._rintaPrepareStep(step);
            rinta.prepareSteps.push([step, Math.round(performance.now() - t0)]);
            if (next <= 0) break;
            rinta.preparing = next;
            await nextTask();
          }
          rinta.preparing = 0;
          mark('prepared');
          runtimeReady();
        })();
      } else {
        runtimeReady();
      }
    },
    rintaAudio: audio,
    rintaPage: {
      framePresented(n, order, row) {
        // The audio clock the position below was read at, in seconds; null where nothing
        // rendered reached that time (the page was held up for longer than it renders ahead,
        // and the position read is then the last one heard).
        rinta.heardAt = audio.ahead > audio.last ? audio.last : null;
        audio.pump(); // every frame as well as the timer: a long frame's stall eats no lead
        rinta.frames = n;
        rinta.order = order; // the song position after the frame, as heard (-1 without music)
        rinta.row = row;
        if (n === 1 || (deterministic && !rinta.times.firstFrame)) mark('firstFrame');
      },
      ended(why) {
        if (rinta.phase === 'ended') return;
        ending = why;
        rinta.phase = 'ended';
        rinta.ended = why;
        audio.close(); // however it ends, the audio device is let go
        mark('ended');
        touch.hide();
        if (!deterministic) {
          note('rinta has ended (' + why + '). Reload the page to watch it again.', 8);
        } else if (frame > 0 && why !== 'the frame asked for' && why !== 'Esc' && !bench) {
          // A frame past the song's end: what there is to see is the last one.
          const last = rinta.frames;
          stop('No frame ' + frame, `The demo ends (${why}) before frame ${frame}` +
               (last > 0 ? `; its last frame is ${last}.` : '.'),
               last > 0 ? [['Show frame ' + last, withFrame(last)]] : []);
        }
      },
      message(text, caption) {
        console.warn(caption + ': ' + text);
        if (!deterministic) ask(text, caption, [['OK', true]]);
      },
      bench(report) { rinta.bench = report; },
    },
    onAbort: (what) => {
      rinta.ended = 'aborted: ' + what;
      stop('rinta stopped', 'the program stopped with an error (' + what + '). Reload the page to start again.',
           [['Reload', location.href]]);
    },
  };

  async function question() {
    mark('question');
    rinta.phase = 'question';
    const yes = await ask('Would You Like To Run In Fullscreen Mode?', 'Start FullScreen?', [['Yes', true], ['No', false]]);
    mark('answered');
    return yes;
  }

  async function start() {
    let fullscreen = answerParam === 'yes';
    if (answerParam !== 'yes' && answerParam !== 'no') fullscreen = await question();
    if (stopped) return;
    if (!deterministic) audio.start(); // still inside the answer's gesture when it was asked
    if (fullscreen && !deterministic) {
      try {
        if (!document.documentElement.requestFullscreen) throw new Error('no fullscreen in this browser');
        await document.documentElement.requestFullscreen();
      } catch (e) {
        const windowed = await ask('The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?',
                                   'Vantor GL', [['Yes', true], ['No', false]]);
        if (!windowed) {
          await ask('Program Will Now Close.', 'ERROR', [['OK', true]]);
          rinta.ended = 'declined';
          stop('rinta has closed', 'the browser did not let the page go fullscreen (' + (e && e.message ? e.message : e) +
               '), and windowed mode was declined. Reload the page to start again, and answer No to watch it in the window.',
               [['Reload', plainPage()]]);
          return;
        }
        fullscreen = false;
      }
    }
    if (stopped) return;
    rinta.fullscreen = fullscreen;
    if (!progress.el.hidden) progress.paint();
    await whenReady;
    if (stopped) return;
    const args = [];
    if (frame > 0) args.push('--frame', String(frame));
    if (bench) args.push('--bench');
    for (const k of params.keys) args.push('--key', k);
    rinta.phase = 'running';
    canvas.focus();
    listenForKeys();
    mark('main');
    Module.callMain(args);
  }

  window.addEventListener('error', (e) => {
    if (!(e instanceof ErrorEvent)) return; // a resource that did not come: above
    console.error('rinta: ' + e.message);
    if (rinta.phase === 'loading' || rinta.phase === 'question') loadFailed(e.error || new Error(e.message));
  });

  window.addEventListener('pagehide', () => audio.close());

  if (location.protocol === 'file:') {
    stop('rinta cannot start from a file', 'a page opened from file:// may not fetch its code and data. Serve the ' +
         'folder over http: run scripts/web.sh, or python3 -m http.server in the folder, and open ' +
         'http://127.0.0.1:8000/ (the port it names).');
  } else if (params.problems.length) {
    stop('This link cannot be shown', params.problems.join(' ') + ' Open the page without them to watch the demo.',
         [['Watch the demo', plainPage()]]);
  } else {
    progress.el.hidden = false;
    load().catch(loadFailed);
    start();
  }
})();
