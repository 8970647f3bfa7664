// The page's sound when its audio context stops or cannot start: a stall never
// freezes the picture, and the sound rejoins it.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {start, go, waitInPage, sleep, engine} = require('./harness.js');

// One engine is enough: the sound layer is the same in every one.
const chromiumOnly = {skip: engine !== 'chromium' && 'run in Chromium only'};

let session;
test.before(async () => { if (!chromiumOnly.skip) session = await start(); });
test.after(async () => { if (session) await session.stop(); });

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

// Where the sound stands after the stall is the shared stall rule's, measured against
// what is heard by the music tests; here the picture's side of it.
test('after a 10 s stall the picture moves on at once', {timeout: 120000, ...chromiumOnly},
     async () => {
  const page = await session.open();
  await go(page, {fullscreen: false, music: true});
  await waitInPage(page, () => Module._lumetra_frame_clock() > 5500, null, 60000, 'frame 5500');
  await page.evaluate(() => {
    window.clocks = [];
    window.listening = setInterval(
        () => window.clocks.push([performance.now(), Module._lumetra_frame_clock()]), 2);
  });
  const suspended = await page.evaluate(
      () => Module.audioContext.suspend().then(() => performance.now()));
  await sleep(10000);
  const resumed = await page.evaluate(
      () => Module.audioContext.resume().then(() => performance.now()));
  await sleep(5000);
  const clocks = await page.evaluate(() => {
    clearInterval(window.listening);
    return window.clocks;
  });
  await page.keyboard.press('Escape');
  await waitInPage(page, () => window.lumetraExitCode === 0, null, 10000, 'the end');
  await page.close();

  const stillDuring = longestStill(clocks, suspended, resumed);
  const stillAfter = longestStill(clocks, resumed, clocks[clocks.length - 1][0]);
  console.log(`picture still ${stillDuring.toFixed(0)} ms in the stall, at most ` +
              `${stillAfter.toFixed(0)} ms after it`);
  // The picture waits for the sound up to the 3 s stall limit, then runs on without it.
  assert.ok(stillDuring > 2500 && stillDuring < 4500, `still ${stillDuring} ms in the stall`);
  assert.ok(stillAfter < 1500, `the picture stood still ${stillAfter} ms after the stall`);
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
