// SPDX-License-Identifier: MIT
// web/worklet.js's player under node, with the audio thread's globals stood in for: blocks
// played at the frames they are stamped with, whatever order the audio thread's quanta and the
// blocks' arrival come in; what is missing, late and audible counted; reset and stop.
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const vm = require('vm');

function load() {
  const scope = { currentFrame: 0, sampleRate: 44100, registered: null };
  scope.AudioWorkletProcessor = class {
    constructor() {
      this.port = { posted: [], onmessage: null, postMessage(m) { this.posted.push(m); } };
    }
  };
  scope.registerProcessor = (name, cls) => { scope.registered = cls; };
  vm.createContext(scope);
  vm.runInContext(fs.readFileSync(path.join(__dirname, '../../web/worklet.js'), 'utf8'), scope);
  const player = new scope.registered();
  const send = (m) => player.port.onmessage({ data: m });
  const quantum = (n = 128) => { // one call of process at the current frame; returns [left, right]
    const out = [[new Float32Array(n), new Float32Array(n)]];
    const alive = player.process([], out);
    scope.currentFrame += n;
    return { left: out[0][0], right: out[0][1], alive };
  };
  return { scope, player, send, quantum };
}

// A block of `frames` stereo frames whose left sample i is start + i (right: its negative).
function block(frame, frames, start = 1) {
  const data = new Float32Array(2 * frames);
  for (let i = 0; i < frames; ++i) { data[2 * i] = start + i; data[2 * i + 1] = -(start + i); }
  return { frame, data };
}

const tests = {
  'blocks stamped back to back play without a gap, each sample at its frame'() {
    const { send, quantum, player } = load();
    send(block(0, 100, 1));
    send(block(100, 200, 101));
    const a = quantum(128), b = quantum(128);
    for (let i = 0; i < 128; ++i) assert.strictEqual(a.left[i], i + 1);
    for (let i = 0; i < 128; ++i) assert.strictEqual(b.right[i], -(129 + i)); // across the two blocks
    assert.strictEqual(player.stats.underrun, 0);
    assert.strictEqual(player.stats.played, 256);
  },
  'nothing is missing before the first block; after it, every frame without music is'() {
    const { send, quantum, player } = load();
    quantum(); quantum(); // the player runs before the page has sent anything
    assert.strictEqual(player.stats.underrun, 0);
    send(block(256, 128));
    quantum();
    assert.strictEqual(player.stats.played, 128);
    quantum(); // the page was held up: nothing for these frames
    assert.strictEqual(player.stats.underrun, 128);
  },
  'a block that comes late plays from where the clock is: its past part is dropped, not shifted'() {
    const { send, quantum, player } = load();
    send(block(0, 128, 1));
    quantum();
    quantum(); // frames 128-255: the next block was not there
    send(block(128, 256, 129)); // stamped for 128, here at 256
    const c = quantum();
    for (let i = 0; i < 128; ++i) assert.strictEqual(c.left[i], 257 + i, 'frame ' + (256 + i));
    assert.strictEqual(player.stats.underrun, 128);
    assert.strictEqual(player.stats.late, 128);
  },
  'a block stamped ahead waits for its frame, in silence not counted before the first'() {
    const { send, quantum, player } = load();
    send(block(200, 128, 1));
    const a = quantum(), b = quantum();
    assert.ok(a.left.every((v) => v === 0));
    for (let i = 0; i < 128; ++i) assert.strictEqual(b.left[i], i < 72 ? 0 : i - 72 + 1);
    assert.strictEqual(player.stats.underrun, 0);
  },
  'audible counts frames with sound; silence played is not audible'() {
    const { send, quantum, player } = load();
    const b = block(0, 128);
    b.data.fill(0, 0, 2 * 28);
    send(b);
    quantum();
    assert.strictEqual(player.stats.played, 128);
    assert.strictEqual(player.stats.audible, 100);
  },
  'reset drops what is queued and counts from the next block; stop ends the player'() {
    const { send, quantum, player } = load();
    send(block(0, 128));
    quantum();
    send(block(128, 1024));
    send({ reset: true }); // the page's clock starts over on the context's
    const a = quantum();
    assert.ok(a.left.every((v) => v === 0), 'stale music played after a reset');
    assert.strictEqual(player.stats.underrun, 0);
    send(block(512, 128));
    send({ stop: true });
    assert.strictEqual(quantum().alive, false);
    assert.ok(player.port.posted.length > 0, 'no report at the stop');
  },
  'reports come several times a second'() {
    const { send, quantum, player } = load();
    send(block(0, 44100));
    for (let i = 0; i < 44100 / 128; ++i) quantum();
    assert.ok(player.port.posted.length >= 10, player.port.posted.length + ' reports in a second');
    assert.strictEqual(player.port.posted[player.port.posted.length - 1].underrun, 0);
  },
};

let failed = 0;
for (const [name, fn] of Object.entries(tests)) {
  try {
    fn();
    console.log('ok   ' + name);
  } catch (e) {
    failed++;
    console.log('FAIL ' + name + '\n     ' + e.message);
  }
}
process.exit(failed ? 1 : 0);
