// The page's sound when its audio context stops or cannot start: a stall never
// freezes the picture, and the sound rejoins it.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {start, go, waitInPage, sleep, engine} = require('./harness.js');

// An audio worklet hears the sound: WebKitGTK has none, and one engine is enough.
const chromiumOnly = {skip: engine !== 'chromium' && 'run in Chromium only'};

let session;
test.before(async () => { if (!chromiumOnly.skip) session = await start(); });
test.after(async () => { if (session) await session.stop(); });

// A soundtrack that tells its own time: a tone that rises by 100 Hz at each whole
// second (300 Hz in the first), silent for the first 20 ms of every second.
function stepsMp3(seconds) {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'lumetra-sound-')), 'steps.mp3');
  execFileSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i',
    `aevalsrc='0.5*sin(2*PI*(300+100*floor(t))*t)*gte(mod(t\\,1)\\,0.02)':s=44100:d=${seconds}`,
    '-ac', '2', '-c:a', 'libmp3lame', '-b:a', '192k', file]);
  const bytes = fs.readFileSync(file).toString('base64');
  fs.rmSync(path.dirname(file), {recursive: true});
  return bytes;
}

// Listens to what the page plays, in the audio thread: each onset (silence, then
// the tone) with the context frame it plays at, the length of the silence, and the
// tone's upward zero crossings over the 50 ms before the silence and the 100 ms
// after it, which say which second it begins.
const onsetListener = `
class Onsets extends AudioWorkletProcessor {
  constructor() {
    super();
    this.quiet = 0;
    this.onset = null;
    this.crossings = [];  // frames of recent upward zero crossings
    this.last = 0;
  }
  process(inputs) {
    const x = inputs[0][0];
    if (!x) return true;
    for (let i = 0; i < x.length; ++i) {
      const v = x[i], frame = currentFrame + i;
      if (this.last < 0 && v >= 0) this.crossings.push(frame);
      this.last = v;
      while (this.crossings.length && this.crossings[0] < frame - 0.2 * sampleRate)
        this.crossings.shift();
      if (this.onset && frame - this.onset.frame >= 0.1 * sampleRate) {
        this.onset.after = this.crossings.filter((c) => c >= this.onset.frame).length;
        this.port.postMessage(this.onset);
        this.onset = null;
      }
      if (Math.abs(v) > 0.09) {
        if (this.quiet > 0.007 * sampleRate && !this.onset) {
          const silent = frame - this.quiet;
          this.onset = {frame, quiet: this.quiet, before: this.crossings.filter(
              (c) => c >= silent - 0.05 * sampleRate && c < silent).length};
        }
        this.quiet = 0;
      } else if (Math.abs(v) < 0.01) {
        ++this.quiet;
      }
    }
    return true;
  }
}
registerProcessor('onsets', Onsets);`;

// Starts, in the page, the onset listener on the sound's way out and a record of the
// picture's clock (the last frame drawn) and of the context's output timestamps.
function listen(page) {
  return page.evaluate(async (code) => {
    const context = Module.audioContext;
    const module = new Blob([code], {type: 'text/javascript'});
    await context.audioWorklet.addModule(URL.createObjectURL(module));
    const node = new AudioWorkletNode(context, 'onsets');
    const mute = context.createGain();
    mute.gain.value = 0;
    Module.audioNode.connect(node);
    node.connect(mute).connect(context.destination);
    window.heard = {onsets: [], clocks: [], stamps: []};
    node.port.onmessage = (event) => window.heard.onsets.push(event.data);
    const note = () => {
      const now = performance.now();
      window.heard.clocks.push([now, Module._lumetra_frame_clock()]);
      const stamp = context.getOutputTimestamp();
      if (stamp.performanceTime > 0)
        window.heard.stamps.push([stamp.performanceTime, stamp.contextTime]);
    };
    window.listening = setInterval(note, 2);
  }, onsetListener);
}

// For each second's onset heard (20 ms of silence between the previous second's
// pitch and its own: a dropout of the sound is no onset): the steady time it reached
// the output (by the output timestamps nearest its context time), and the picture's
// clock then less the stream time it begins.
function offsets(heard, sampleRate) {
  const found = [];
  for (const {frame, quiet, before, after} of heard.onsets) {
    const second = Math.round((after / 0.1 - 300) / 100);
    if (second < 1 || Math.abs(after - (30 + 10 * second)) > 1 ||
        Math.abs(before - (10 + 5 * second)) > 1 || Math.abs(quiet / sampleRate - 0.02) > 0.005)
      continue;
    const contextTime = frame / sampleRate;
    let nearest = heard.stamps[0];
    for (const stamp of heard.stamps)
      if (Math.abs(stamp[1] - contextTime) < Math.abs(nearest[1] - contextTime)) nearest = stamp;
    const at = nearest[0] + (contextTime - nearest[1]) * 1000;
    let clock = -1;
    for (const [when, value] of heard.clocks) if (when <= at) clock = value;
    found.push({at, offset: clock - (second * 1000 + 20)});
  }
  return found;
}

// The longest time the picture's clock stood still within [from, to].
function longestStill(clocks, from, to) {
  let longest = 0, since = from, last;
  for (const [when, value] of clocks) {
    if (when < from || when > to) continue;
    if (value !== last) {
      longest = Math.max(longest, when - since);
      since = when;
      last = value;
    }
  }
  return Math.max(longest, to - since);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

test('after a 10 s stall the picture moves on at once and the sound rejoins it',
     {timeout: 120000, ...chromiumOnly}, async () => {
  const page = await session.open();
  await page.evaluate((bytes) => Module.FS.writeFile('/data/lumetra.mp3',
      Uint8Array.from(atob(bytes), (c) => c.charCodeAt(0))), stepsMp3(40));
  await go(page, {fullscreen: false, music: true});
  await waitInPage(page, () => Module._lumetra_frame_clock() > 0, null, 60000, 'the first frame');
  await listen(page);
  await waitInPage(page, () => Module._lumetra_frame_clock() > 5500, null, 30000, 'frame 5500');
  const suspended = await page.evaluate(
      () => Module.audioContext.suspend().then(() => performance.now()));
  await sleep(10000);
  const resumed = await page.evaluate(
      () => Module.audioContext.resume().then(() => performance.now()));
  await sleep(8000);
  const heard = await page.evaluate(() => {
    clearInterval(window.listening);
    return window.heard;
  });
  const sampleRate = await page.evaluate(() => Module.audioContext.sampleRate);
  await page.keyboard.press('Escape');
  await waitInPage(page, () => window.lumetraExitCode === 0, null, 10000, 'the end');
  await page.close();

  const found = offsets(heard, sampleRate);
  const before = found.filter((o) => o.at < suspended).map((o) => o.offset);
  const after = found.filter((o) => o.at > resumed).map((o) => o.offset);
  const end = heard.clocks[heard.clocks.length - 1][0];
  const stillDuring = longestStill(heard.clocks, suspended, resumed);
  const stillAfter = longestStill(heard.clocks, resumed, end);
  const stillBefore = longestStill(heard.clocks, suspended - 3000, suspended);
  console.log(`picture still at most ${stillBefore.toFixed(0)} ms in the 3 s before the stall, ` +
              `for ${stillDuring.toFixed(0)} ms in the stall, at most ` +
              `${stillAfter.toFixed(0)} ms after it; picture less sound: ` +
              `before ${JSON.stringify(before.map(Math.round))}, ` +
              `after ${JSON.stringify(after.map(Math.round))}`);
  assert.ok(before.length >= 3 && after.length >= 3, JSON.stringify(found));
  // The picture waits for the sound up to the 3 s stall limit, then runs on without it.
  assert.ok(stillDuring > 2500 && stillDuring < 4500, `still ${stillDuring} ms in the stall`);
  assert.ok(stillAfter < 1500, `the picture stood still ${stillAfter} ms after the stall`);
  // Picture and sound as far apart as before the stall, give or take two frames and
  // what a busy machine adds.
  assert.ok(Math.abs(median(after) - median(before)) <= 50, `before ${before}, after ${after}`);
});

test('an audio context that cannot start shows the sound\'s error box', {timeout: 60000, ...chromiumOnly},
     async () => {
  // A context that stays suspended whatever the page asks.
  const page = await session.open('', () => {
    const Real = window.AudioContext;
    window.AudioContext = class extends Real {
      constructor(options) {
        super(options);
        super.suspend();
      }
      resume() { return new Promise(() => {}); }
    };
  });
  await go(page, {fullscreen: false, music: true});
  await waitInPage(page, () => window.lumetraExitCode !== undefined, null, 30000, 'the end');
  const box = await page.evaluate(() => ({
    shown: !document.getElementById('box').hidden,
    caption: document.getElementById('box-caption').textContent,
    text: document.getElementById('box-text').textContent,
    frames: Module._lumetra_frame_clock(),
  }));
  assert.deepStrictEqual(box, {shown: true, caption: 'FMOD',
                               text: 'Error initializing output device', frames: -1});
  assert.strictEqual(await page.evaluate(() => window.lumetraExitCode), 0);
  await page.close();
});
