// SPDX-License-Identifier: MIT
// web/worklet.js — the music's player on the audio thread. The main thread (page.js) renders
// the song a few hundred milliseconds ahead and posts it here in blocks, each stamped with
// the context frame it is to be heard at; this plays them as stamped, so a main-thread stall
// shorter than the lead is never heard, and the song's position stays on the context's clock.
// It reports what it played: frames played, frames of music that were not there in time
// (underrun, counted from the first block played), frames that came too late to play, and
// frames with sound in them.
'use strict';

class RintaPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = []; // { frame, data (interleaved stereo), used }, in frame order
    this.started = false; // a block has been played: from then on a missing frame is a gap
    this.stopped = false;
    this.stats = { played: 0, underrun: 0, late: 0, audible: 0, frame: 0 };
    this.sinceReport = 0;
    this.port.onmessage = (e) => {
      const m = e.data;
      if (m.data) {
        this.queue.push({ frame: m.frame, data: m.data, used: 0 });
      } else if (m.reset) { // the page's clock starts over on this context's: what is queued is stale
        this.queue.length = 0;
        this.started = false;
      } else if (m.stop) {
        this.queue.length = 0;
        this.stopped = true;
        this.report();
      }
    };
  }

  report() {
    this.port.postMessage(Object.assign({}, this.stats));
    this.sinceReport = 0;
  }

  process(inputs, outputs) {
    const out = outputs[0];
    const left = out[0];
    const right = out.length > 1 ? out[1] : null;
    const n = left.length;
    const first = currentFrame; // eslint-disable-line no-undef
    let f = 0;
    while (f < n) {
      const at = first + f;
      // Blocks wholly before this frame were posted too late to be heard.
      while (this.queue.length && this.queue[0].frame + this.queue[0].data.length / 2 <= at) {
        const gone = this.queue.shift();
        this.stats.late += gone.data.length / 2 - gone.used;
      }
      const block = this.queue[0];
      if (!block || block.frame > at) { // nothing for this frame: silence up to the next block
        const upto = block ? Math.min(n, block.frame - first) : n;
        if (this.started && !this.stopped) this.stats.underrun += upto - f;
        f = upto;
        continue;
      }
      const from = at - block.frame;
      const take = Math.min(n - f, block.data.length / 2 - from);
      if (from > block.used) this.stats.late += from - block.used; // its start came too late
      const d = block.data;
      let audible = 0;
      for (let i = 0; i < take; ++i) {
        const l = d[2 * (from + i)], r = d[2 * (from + i) + 1];
        left[f + i] = l;
        if (right) right[f + i] = r;
        if (l !== 0 || r !== 0) ++audible;
      }
      block.used = from + take;
      this.stats.played += take;
      this.stats.audible += audible;
      this.started = true;
      f += take;
    }
    this.stats.frame = first + n;
    this.sinceReport += n;
    if (this.sinceReport >= sampleRate / 20) this.report(); // eslint-disable-line no-undef
    return !this.stopped;
  }
}

registerProcessor('rinta-player', RintaPlayer);
