// SPDX-License-Identifier: MIT
// web/page.js — the page around the wasm build: the fullscreen question, the data files, the
// keys, Web Audio for the music layer, and the deterministic mode's parameters:
//   index.html?frame=N[&key=FRAME:KEY ...][&answer=no|yes]  demo frame N on the capture clock
//   index.html?answer=no|yes                                  live, without the question
//   index.html?bench=1&answer=no[&frame=N]                   every frame drawn, per-scene times
// State for tests and the curious: window.rinta (phase, frames, times, ended, bench).
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const frame = parseInt(params.get('frame') || '0', 10) || 0;
  const bench = params.get('bench') === '1';
  const answerParam = params.get('answer');
  const deterministic = frame > 0 || bench;

  const rinta = (window.rinta = { phase: 'loading', frames: 0, times: {}, ended: null, bench: null,
                                  deterministic, fullscreen: null });
  // ms since the navigation began
  const mark = (name) => { rinta.times[name] = Math.round(performance.now() * 10) / 10; };

  const canvas = document.getElementById('canvas');
  const status = document.getElementById('status');
  if (deterministic) document.body.classList.add('exact');

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
      if (ctx.getOutputTimestamp) {
        const ts = ctx.getOutputTimestamp();
        if (ts.contextTime > 0 && ts.performanceTime > 0)
          return Math.min(ctx.currentTime, ts.contextTime + (performance.now() - ts.performanceTime) / 1000);
      }
      return ctx.currentTime - (ctx.outputLatency || ctx.baseLatency || 0);
    },
    runs() { return !!(this.node && this.ctx && this.ctx.state === 'running' && this.ctx.currentTime > 0); },
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

  // ---- the program ---------------------------------------------------------------------------

  let runtimeReady = null;
  const whenReady = new Promise((resolve) => { runtimeReady = resolve; });
  let ending = '';

  window.Module = {
    canvas,
    noInitialRun: true,
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
    preRun: [() => {
      // The data beside the page goes into the file system before main, as data/ in the
      // working directory; a file that is missing stays missing and the engine says so.
      // The names come with rinta.js (Module.rintaDataFiles, from engine/data_files.txt).
      FS.mkdir('/data');
      for (const name of Module.rintaDataFiles) {
        Module.addRunDependency('data/' + name);
        fetch('data/' + name)
          .then((r) => (r.ok ? r.arrayBuffer() : null))
          .then((bytes) => { if (bytes) FS.writeFile('/data/' + name, new Uint8Array(bytes)); })
          .catch(() => {})
          .finally(() => Module.removeRunDependency('data/' + name));
      }
    }],
    onRuntimeInitialized: () => { // code compiled, data in place
      mark('ready');
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
        if (!deterministic) status.textContent = 'rinta has ended (' + why + '). Reload the page to watch it again.';
      },
      message(text, caption) {
        console.warn(caption + ': ' + text);
        if (!deterministic) ask(text, caption, [['OK', true]]);
      },
      bench(report) { rinta.bench = report; },
    },
    onAbort: (what) => { rinta.phase = 'ended'; rinta.ended = 'aborted: ' + what; audio.close(); },
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
    if (!deterministic) audio.start(); // still inside the answer's gesture when it was asked
    if (fullscreen && !deterministic) {
      try {
        await document.documentElement.requestFullscreen();
      } catch (e) {
        const windowed = await ask('The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?',
                                   'Vantor GL', [['Yes', true], ['No', false]]);
        if (!windowed) {
          await ask('Program Will Now Close.', 'ERROR', [['OK', true]]);
          rinta.phase = 'ended';
          rinta.ended = 'declined';
          return;
        }
        fullscreen = false;
      }
    }
    rinta.fullscreen = fullscreen;
    if (rinta.phase !== 'ended') status.textContent = '';
    await whenReady;
    const args = [];
    if (frame > 0) args.push('--frame', String(frame));
    if (bench) args.push('--bench');
    for (const k of params.getAll('key')) args.push('--key', k);
    rinta.phase = 'running';
    canvas.focus();
    listenForKeys();
    mark('main');
    Module.callMain(args);
  }

  window.addEventListener('error', (e) => { console.error('rinta: ' + e.message); });
  window.addEventListener('pagehide', () => audio.close());
  start();
})();
