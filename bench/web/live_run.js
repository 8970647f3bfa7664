// A whole run of the test page with the dialog's defaults, in headless Chromium (or the
// engine LUMETRA_WEB_BROWSER names, see tests/web/harness.js), and its figures: the
// LUMETRA_STATS report (frame routines, frames presented, presented interval), the
// pictures presented to the canvas, page errors, and the music clock's rate against
// the audio context's time.
//   NODE_PATH=build-web/test-driver/node_modules node bench/web/live_run.js [--refresh=HZ] [CHROMIUM FLAG...]
// --refresh=HZ stands in for a display of that rate: the page's animation frames come
// from a timer every 1000/HZ ms instead of headless Chromium's 60 Hz. Other flags go
// to Chromium, for example --disable-frame-rate-limit --disable-gpu-vsync (animation
// frames as fast as the page asks for them).
'use strict';
const {start, go, record, sleep, engine} = require('../../tests/web/harness.js');

(async () => {
  const args = process.argv.slice(2);
  const refresh = Number(args.find((a) => a.startsWith('--refresh='))?.split('=')[1]);
  const session = await start(args.filter((a) => !a.startsWith('--refresh=')));
  const page = await session.open('stats=1', refresh ? (hz) => {
    let next = performance.now();
    window.requestAnimationFrame = (callback) => {
      next = Math.max(next + 1000 / hz, performance.now());
      return setTimeout(() => callback(performance.now()), next - performance.now());
    };
  } : undefined, refresh);
  await go(page);
  const samples = [];
  while (!(await page.evaluate(() => window.lumetraExitCode !== undefined))) {
    const sample = await page.evaluate(() => ({clock: Module._lumetra_frame_clock(),
                                              audio: Module.audioContext.currentTime}));
    if (sample.clock > 5000 && sample.clock < 65000) samples.push(sample);
    await sleep(250);
  }
  const n = samples.length;
  const mx = samples.reduce((s, p) => s + p.audio, 0) / n;
  const my = samples.reduce((s, p) => s + p.clock, 0) / n;
  const slope = samples.reduce((s, p) => s + (p.audio - mx) * (p.clock - my), 0) /
                samples.reduce((s, p) => s + (p.audio - mx) ** 2, 0) / 1000;
  const {log, errors, presents} = await record(page);
  const report = log.join('\n');
  console.log(`${engine}: ` + report.slice(report.indexOf('Lumetra stats')));
  console.log(`  presented       ${presents.presented} pictures, ${presents.copyOnly} of them copies alone`);
  console.log(`  page errors     ${errors.length ? errors.join(' | ') : 'none'}`);
  console.log(`  audio clock     ${slope.toFixed(4)} of the audio context's time (${n} samples)`);
  await session.stop();
})();
