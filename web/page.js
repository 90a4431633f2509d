// SPDX-License-Identifier: MIT
// web/page.js — the page around the wasm build: loading the code and the data (with a progress
// bar), the fullscreen question, the keys and touch, the page's messages, Web Audio for the
// music layer, and the deterministic mode's parameters:
//   index.html?frame=N[&key=FRAME:KEY ...][&answer=no|yes]  demo frame N on the capture clock
//   index.html?answer=no|yes                                  live, without the question
//   index.html?bench=1&answer=no[&frame=N]                   every frame drawn, per-scene times
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

  const audio = {
    ctx: null, node: null, buffer: 0, frames: 2048, rate: 44100, silentFrom: null, timer: 0,
    start() { // in the answer's handler: the user gesture that lets the page make sound
      const Ctx = window.AudioContext || window.webkitAudioContext;
      if (!Ctx) return;
      try {
        this.ctx = new Ctx({ sampleRate: this.rate, latencyHint: 'interactive' });
        this.ctx.resume().catch(() => {}); // a page closed straight after may cut it short
      } catch (e) {
        this.ctx = null;
      }
    },
    open(rate) {
      this.rate = rate;
      this.buffer = this.buffer || Module._malloc(this.frames * 2 * 4);
      if (this.ctx && this.ctx.sampleRate === rate) {
        this.node = this.ctx.createScriptProcessor(this.frames, 0, 2);
        this.node.onaudioprocess = (e) => this.fill(e.outputBuffer, e.playbackTime);
        this.node.connect(this.ctx.destination);
        // A page without an audio device must still move on: the clock falls back to the
        // page's own, silently, as the native build does with no sound card.
        const begun = this.ctx.currentTime;
        setTimeout(() => {
          if (this.node && this.ctx.currentTime === begun) this.silent('the audio clock does not run');
        }, 1500);
      } else {
        this.silent(this.ctx ? 'the audio device does not take ' + rate + ' Hz' : 'no Web Audio');
      }
      return 1;
    },
    silent(why) {
      console.warn('music: no audio output (' + why + '); playing silently');
      if (this.node) { this.node.disconnect(); this.node.onaudioprocess = null; this.node = null; }
      this.silentFrom = performance.now();
      let ahead = 0; // seconds of music rendered on the silent clock
      this.timer = setInterval(() => {
        while (ahead < this.time() + 0.2) {
          Module._rintaAudioFill(this.buffer, this.frames, ahead);
          ahead += this.frames / this.rate;
        }
      }, 20);
    },
    fill(out, at) {
      const n = out.length;
      Module._rintaAudioFill(this.buffer, n, at);
      const samples = Module.HEAPF32.subarray(this.buffer >> 2, (this.buffer >> 2) + 2 * n);
      const left = out.getChannelData(0), right = out.getChannelData(1);
      for (let i = 0; i < n; ++i) {
        left[i] = samples[2 * i];
        right[i] = samples[2 * i + 1];
      }
    },
    time() { // the context time of the sample being heard now: the output's latency behind
      if (this.silentFrom !== null) return (performance.now() - this.silentFrom) / 1000;
      return this.ctx ? this.ctx.currentTime - (this.ctx.outputLatency || 0) : 0;
    },
    close() {
      if (this.node) { this.node.disconnect(); this.node.onaudioprocess = null; this.node = null; }
      if (this.timer) clearInterval(this.timer);
      this.timer = 0;
      if (this.ctx) this.ctx.close();
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

  window.Module = {
    canvas,
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
      // painted): the answer then only starts the song.
      if (!deterministic) {
        setTimeout(() => {
          if (rinta.phase !== 'running') Module._rintaPrepare();
          mark('prepared');
          runtimeReady();
        }, 0);
      } else {
        runtimeReady();
      }
    },
    rintaAudio: audio,
    rintaPage: {
      framePresented(n, order, row) {
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
