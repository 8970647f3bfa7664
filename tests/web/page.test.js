// The page as a user meets it: the dialog, a whole run with its sound, Escape, touch,
// the 16-bit picture, full screen, error boxes and what the page says when it fails. The
// whole run in every engine, the rest in Chromium.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {start, go, waitInPage, record, sleep, site, engine} = require('./harness.js');

const chromiumOnly = {skip: engine !== 'chromium' && 'run in Chromium only'};

let session;
test.before(async () => { session = await start(); });
test.after(async () => { await session.stop(); });

const statusText = (page) => page.$eval('#status', (status) => status.textContent);

test('the dialog shows its controls with their defaults; Cancel ends the program', chromiumOnly,
     async () => {
  const page = await session.open();
  const dialog = await page.evaluate(() => ({
    title: document.querySelector('#dialog h1').textContent,
    resolutions: [...document.querySelectorAll('#resolution option')].map((o) => o.text),
    selected: document.querySelector('#resolution').selectedOptions[0].text,
    boxes: ['fullscreen', 'truecolor', 'music'].map((id) => document.getElementById(id).checked),
    labels: [...document.querySelectorAll('#dialog label, #dialog button')]
                .map((e) => e.textContent.trim()),
    focused: document.activeElement.id,
  }));
  assert.deepStrictEqual(dialog, {
    title: 'Config',
    resolutions: ['640 x 480', '800 x 600', '1024 x 768', '1280 x 960'],
    selected: '640 x 480',
    boxes: [true, true, true],
    labels: ['Resolution 640 x 480800 x 6001024 x 7681280 x 960', 'Fullscreen', 'True Color',
             'Music', 'Go!', 'Cancel'],
    focused: 'go',
  });
  await page.click('#cancel');
  await waitInPage(page, () => window.lumetraExitCode === 0, null, 10000, 'the end');
  assert.strictEqual(await statusText(page), 'Lumetra was cancelled.');
  await page.close();
});

test('a whole run plays its sound in step and ends by itself after 70 s', {timeout: 180000},
     async () => {
  const page = await session.open('stats=1');
  // The chosen size is the canvas's.
  await page.select('#resolution', '1');
  await go(page, {fullscreen: false});
  await waitInPage(page, () => Module._lumetra_frame_clock() > 0, null, 30000, 'the first frame');
  assert.deepStrictEqual(await page.evaluate(() => [Module.canvas.width, Module.canvas.height]),
                         [800, 600]);
  // A tap on the sound's way out, and the clock against the audio context's time.
  await page.evaluate(() => {
    window.tap = Module.audioContext.createAnalyser();
    Module.audioNode.connect(window.tap);
  });
  const samples = [];
  let loudest = 0;
  let heldFor;  // how far the clock ran while the audio context was suspended
  while (!(await page.evaluate(() => window.lumetraExitCode !== undefined))) {
    const sample = await page.evaluate(() => {
      const wave = new Float32Array(window.tap.fftSize);
      window.tap.getFloatTimeDomainData(wave);
      const context = Module.audioContext;
      return {clock: Module._lumetra_frame_clock(), audio: context.currentTime,
              peak: Math.max(...wave.map(Math.abs)),
              latency: 1000 * (context.outputLatency || 0), base: 1000 * (context.baseLatency || 0)};
    });
    if (sample.clock > 5000 && sample.clock < 65000) samples.push(sample);
    loudest = Math.max(loudest, sample.peak);
    // The clock follows the sound as heard: with the context suspended for 1.5 s (less
    // than the 3 s after which it would run on without the sound), it stands still.
    if (heldFor === undefined && sample.clock > 20000) {
      const before = await page.evaluate(() => Module.audioContext.suspend().then(
          () => Module._lumetra_frame_clock()));
      await sleep(1500);
      heldFor = await page.evaluate(() => Module._lumetra_frame_clock()) - before;
      await page.evaluate(() => Module.audioContext.resume());
    }
    await sleep(250);
  }
  console.log(`the clock ran ${heldFor} ms while the audio context was suspended for 1.5 s`);
  assert.ok(heldFor < 100, `the clock ran ${heldFor} ms while the sound was held`);
  assert.ok(loudest > 0.05, `the output stayed silent (peak ${loudest})`);
  // Slope of clock against context time, by least squares.
  const n = samples.length;
  const mx = samples.reduce((s, p) => s + p.audio, 0) / n;
  const my = samples.reduce((s, p) => s + p.clock, 0) / n;
  const slope = samples.reduce((s, p) => s + (p.audio - mx) * (p.clock - my), 0) /
                samples.reduce((s, p) => s + (p.audio - mx) ** 2, 0) / 1000;
  const lag = samples.map((p) => p.clock - (my + slope * 1000 * (p.audio - mx)));
  console.log(`clock rate against the audio context ${slope.toFixed(4)} over ${n} samples, ` +
              `spread ${Math.min(...lag).toFixed(1)} to ${Math.max(...lag).toFixed(1)} ms`);
  assert.ok(Math.abs(slope - 1) < 0.01, `clock rate ${slope} of the audio context's`);

  assert.strictEqual(await page.evaluate(() => window.lumetraExitCode), 0);
  assert.strictEqual(await statusText(page), 'Lumetra has ended.');
  const {log, errors, presents} = await record(page);
  const report = log.join('\n');
  assert.match(report, /swap interval\s+none to ask for/);
  console.log(`${engine}: ` + report.slice(report.indexOf('Lumetra stats')));
  // The clock counts the delay the engine reports after its context's time (its output
  // latency at least), and a frame's way to the screen at least to the next refresh.
  const median = (label) => Number(new RegExp(`${label}\\s+median ([\\d.]+)`).exec(report)?.[1]);
  const latency = samples.map((p) => p.latency).sort((a, b) => a - b)[n >> 1];
  const base = samples.map((p) => p.base).sort((a, b) => a - b)[n >> 1];
  const delay = median('output delay');
  assert.ok(delay >= latency - 1 && delay <= latency + base + 15,
            `output delay ${delay} ms; the engine reports ${latency} + ${base} ms`);
  assert.ok(median('way to screen') >= median('drawing') - 1 && median('picture lead') > 0,
            'the picture lead is not the way to the screen');
  // Every picture presented was drawn: none is a copy alone, which WebKit shows black.
  console.log(`${engine}: ${presents.presented} pictures presented, ${presents.copyOnly} ` +
              `copies alone; page errors: ${errors.length ? errors.join(' | ') : 'none'}`);
  assert.deepStrictEqual(errors, []);
  assert.strictEqual(presents.copyOnly, 0);
  // One routine per 15 ms of the 70 s: 4667. A busy machine may let a few go (more than
  // eight frames late); one routine per display refresh would be 4200 at 60 Hz.
  const routines = Number(/frame routines\s+(\d+)/.exec(report)?.[1]);
  assert.ok(routines >= 4667 * 0.95 && routines <= 4667 + 47, `${routines} frame routines in the run`);
  await page.close();
});

test('Escape ends a run; 16 bits draw through a 5/6/5 picture', chromiumOnly, async () => {
  const page = await session.open();
  // Enter on the list starts as Go! does.
  await go(page, {fullscreen: false, truecolor: false, music: true}, 'enter');
  await waitInPage(page, () => Module._lumetra_frame_clock() > 3000, null, 60000, 'frame 3000');
  const levels = await page.evaluate(() => {
    const at = Module._lumetra_read_picture();
    const pixels = Module.HEAPU8.subarray(at, at + Module.canvas.width * Module.canvas.height * 4);
    const seen = [new Set(), new Set(), new Set()];
    for (let i = 0; i < pixels.length; i += 4)
      for (let c = 0; c < 3; ++c) seen[c].add(pixels[i + c]);
    return seen.map((s) => s.size);
  });
  assert.ok(levels[0] <= 32 && levels[1] <= 64 && levels[2] <= 32 && levels[1] > 8,
            `levels per channel ${levels}`);
  await page.keyboard.press('Escape');
  await waitInPage(page, () => window.lumetraExitCode === 0, null, 10000, 'the end');
  assert.strictEqual(await statusText(page), 'Lumetra has ended.');
  await page.close();
});

test('a tap on the picture shows End, which ends the run; Watch again starts anew',
     chromiumOnly,
     async () => {
  const page = await session.open();
  await go(page, {fullscreen: false, music: false});
  await waitInPage(page, () => Module._lumetra_frame_clock() > 1000, null, 60000, 'frame 1000');
  await page.tap('#canvas');
  await page.waitForSelector('#end', {visible: true, timeout: 5000});
  await page.tap('#end');
  await waitInPage(page, () => window.lumetraExitCode === 0, null, 10000, 'the end');
  assert.strictEqual(await statusText(page), 'Lumetra has ended.');
  await Promise.all([page.waitForNavigation(), page.click('#again')]);
  await page.waitForSelector('#dialog:not([hidden])', {timeout: 60000});
  await page.close();
});

// Browsers keep Escape for leaving full screen; leaving it ends the run instead. Safari
// before 16.4 has only the prefixed calls.
for (const calls of ['standard', 'prefixed']) {
  test(`full screen (${calls} calls): the picture fills the screen without a cursor, and ` +
       'leaving it ends the run', chromiumOnly, async () => {
    const page = await session.open('', (calls) => {
      if (calls !== 'prefixed') return;
      delete Element.prototype.requestFullscreen;
      delete Document.prototype.exitFullscreen;
      delete Document.prototype.fullscreenElement;
    }, calls);
    await go(page, {fullscreen: true, music: false});
    await waitInPage(page, () => Module._lumetra_frame_clock() > 1000, null, 60000, 'frame 1000');
    assert.deepStrictEqual(await page.evaluate(() => [document.webkitFullscreenElement?.id,
        getComputedStyle(Module.canvas).width, getComputedStyle(Module.canvas).height,
        getComputedStyle(Module.canvas).cursor]), ['stage', '1024px', '768px', 'none']);
    await page.evaluate(() => (document.exitFullscreen || document.webkitExitFullscreen).call(document));
    await waitInPage(page, () => window.lumetraExitCode === 0, null, 10000, 'the end');
    await page.close();
  });
}

test('a page that cannot start says why and what to do', chromiumOnly, async () => {
  for (const [address, missing, expected] of [
    [`file://${site}/index.html`, '', /cannot run from a file .* web server/],
    ['', 'lumetra.data', /could not load lumetra\.data \(404.*Reload the page/],
    ['', 'lumetra.wasm', /could not load lumetra\.wasm \(404.*Reload the page/],
    ['', 'webgl2', /draws with WebGL 2, which this browser does not give the page/]]) {
    const page = await session.browser.newPage();
    await page.evaluateOnNewDocument((missing) => {
      const getContext = HTMLCanvasElement.prototype.getContext;
      HTMLCanvasElement.prototype.getContext = function(kind, ...rest) {
        return kind === missing ? null : getContext.call(this, kind, ...rest);
      };
    }, missing);
    await page.setRequestInterception(true);
    page.on('request', (request) => (request.url().endsWith('/' + missing)
        ? request.respond({status: 404, body: ''}) : request.continue()));
    await page.goto(address || session.base);
    await waitInPage(page, (re) => new RegExp(re).test(document.getElementById('status').textContent),
                     expected.source, 30000, String(expected));
    await page.close();
  }
});

test('a crash or a lost WebGL context ends picture, sound and full screen, and says so',
     chromiumOnly, async () => {
  for (const [fault, expected] of [
    [() => { GLctx.drawArrays = () => { throw new Error('a test fault'); }; },
     /stopped on an error \(a test fault\)/],
    [() => GLctx.getExtension('WEBGL_lose_context').loseContext(), /WebGL context away/]]) {
    const page = await session.open();
    await go(page, {fullscreen: true, music: true});
    await waitInPage(page, () => Module._lumetra_frame_clock() > 1000, null, 60000, 'frame 1000');
    await page.evaluate(fault);
    await waitInPage(page, (re) => new RegExp(re).test(document.getElementById('status').textContent),
                     expected.source, 10000, String(expected));
    assert.deepStrictEqual(await page.evaluate(() => [
      Boolean(document.fullscreenElement), Module.audioContext.state === 'closed' || !Module.audioNode,
      document.getElementById('again').hidden]), [false, true, false]);
    await page.close();
  }
});

test('a damaged picture shows the desktop\'s error box and exit code', chromiumOnly,
     async () => {
  const page = await session.open();
  await page.evaluate(() => {
    const file = Module.FS.readFile('/data/flare.tqz');
    Module.FS.writeFile('/data/flare.tqz', file.subarray(0, file.length / 2));
  });
  await go(page, {fullscreen: false, music: false});
  await waitInPage(page, () => window.lumetraExitCode !== undefined, null, 30000, 'the end');
  const box = await page.evaluate(() => ({
    shown: !document.getElementById('box').hidden,
    caption: document.getElementById('box-caption').textContent,
    text: document.getElementById('box-text').textContent,
  }));
  assert.strictEqual(box.shown, true);
  assert.strictEqual(box.caption, 'Error');
  assert.match(box.text, /^Runtime error 100 at 0x[0-9A-F]{8}$/);
  assert.strictEqual(await page.evaluate(() => window.lumetraExitCode), 100);
  await page.close();
});
