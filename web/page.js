// SPDX-License-Identifier: MIT
// web/page.js — the page around the wasm build: the fullscreen question, the data files, the
// keys, Web Audio for the music layer, and the deterministic mode's parameters:
//   index.html?frame=N[&key=FRAME:KEY ...][&answer=no|yes]  demo frame N on the capture clock
//   index.html?answer=no|yes                                  live, without the question
//   index.html?bench=1&answer=no[&frame=N]                   every frame drawn, per-scene times
//   any of them &resolution=classic|native|WxH &msaa=N         the render size and samples, as the
//                                                             program's --resolution and --msaa
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

  const audio = {
    ctx: null, node: null, buffer: 0, frames: 2048, rate: 44100, silentFrom: null, timer: 0,
    start() { // in the answer's handler: the user gesture that lets the page make sound
      const Ctx = window.AudioContext || window.webkitAudioContext;
      if (!Ctx) return;
      try {
        this.ctx = new Ctx({ sampleRate: this.rate, latencyHint: 'interactive' });
        this.ctx.resume();
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

  // ---- the program ---------------------------------------------------------------------------

  let runtimeReady = null;
  const whenReady = new Promise((resolve) => { runtimeReady = resolve; });
  let ending = '';

  // ---- render size: read by web/render.cpp as the program reads --resolution and --msaa -----

  const rintaRender = { resolution: params.get('resolution'), msaa: params.get('msaa') };

  window.Module = {
    canvas,
    rintaRender,
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
        if (!deterministic) status.textContent = 'rinta has ended (' + why + '). Reload the page to watch it again.';
      },
      message(text, caption) {
        console.warn(caption + ': ' + text);
        if (!deterministic) ask(text, caption, [['OK', true]]);
      },
      bench(report) { rinta.bench = report; },
    },
    onAbort: (what) => { rinta.phase = 'ended'; rinta.ended = 'aborted: ' + what; },
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
  start();
})();
