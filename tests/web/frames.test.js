// The page draws what the desktop draws: frames of the same moments, from the same
// seed and the same 15 ms clock steps, against lumetra-render's.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {start, go, waitInPage, comparePicture, renderReference, record, engine} =
    require('./harness.js');

// Rasterisers differ by a level or two along edges and may place a line a pixel
// apart; a missing line, a missing or filled wire frame, a garbled quad or a wrong
// colour moves the worst block, even against the closest match within a pixel, by
// tens of levels.
const kMeanLimit = 1.5;
const kWorstNearBlockLimit = 16;

// In the wired room, edges run toward the viewer and out through the eye's plane
// (22050, 22200, 24300, 25500). 25507 lies between frames: the frame on screen is 25500.
const moments = [
  [5010, 'checker stack'],
  [22050, 'wired room'],
  [22200, 'wired room'],
  [24000, 'spike star room, wired'],
  [24300, 'wired room'],
  [25507, 'wired room'],
  [31005, 'flare field'],
  [38010, 'plasma'],
  [60000, 'greetings'],
];

test('frames match the offline renderer at the same moments', {timeout: 240000}, async () => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'lumetra-web-'));
  const session = await start();
  try {
    const page = await session.open();
    // Frames at exact 15 ms steps from seed 1, held at the first moment.
    await page.evaluate((hold) => Module._lumetra_step_frames(1, hold), moments[0][0]);
    await go(page, {fullscreen: false, truecolor: true, music: false});

    // The loading picture, during its two seconds.
    await waitInPage(page, () => Module.canvas.style.visibility === 'visible' &&
                                 Module._lumetra_frame_clock() === -1, null, 30000,
                     'the loading picture');
    const results = [];
    const loading = await comparePicture(
        page, renderReference(['--loading'], path.join(work, 'loading.png')));
    results.push(['loading picture', loading]);

    for (const [at, name] of moments) {
      // A moment between frames: the page stops at the frame lumetra-render shows.
      const shown = at - at % 15;
      await page.evaluate((hold) => Module._lumetra_step_frames(1, hold), at);
      await waitInPage(page, (shown) => Module._lumetra_frame_clock() >= shown, shown, 120000,
                       `the frame on screen at ${at} ms`);
      assert.strictEqual(await page.evaluate(() => Module._lumetra_frame_clock()), shown);
      const reference = renderReference(['--at', String(at)], path.join(work, `${at}.png`));
      results.push([`${name} (${at} ms)`, await comparePicture(page, reference)]);
    }
    for (const [name, r] of results) {
      console.log(`${engine}, ${name}: mean ${r.mean?.toFixed(3)}, worst 8x8 block ${r.worst?.toFixed(2)}, ` +
                  `within a pixel ${r.worstNear?.toFixed(2)}`);
    }
    const {log, errors} = await record(page);
    assert.deepStrictEqual(errors, []);
    for (const [name, r] of results) {
      assert.ok(r.mean <= kMeanLimit && r.worstNear <= kWorstNearBlockLimit,
                `${name}: ${JSON.stringify(r)} (logs: ${log.slice(-5).join(' | ')})`);
    }
  } finally {
    await session.stop();
    fs.rmSync(work, {recursive: true, force: true});
  }
});
