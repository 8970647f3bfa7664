// The frames the page shows, as a visitor sees them: the page run headful (not
// headless) in Chromium (SwiftShader's WebGL) or Firefox (llvmpipe's) on a private
// Xvfb screen, with its sound to a private PulseAudio null sink, and every change of the
// picture on the X screen taken from outside by screen_frames (built with the desktop
// build's benchmarks). Prints the shown frames a second, their intervals, the pictures
// the page presented and the animation frames the browser ran, the page's own work per
// animation frame, the time from a presented picture to the screen, and the processor
// time each of the browser's processes took per shown frame, with the load.
//   NODE_PATH=build-web/test-driver/node_modules node bench/web/shown_frames.js [OPTION...]
//     --engine=chromium|firefox   (default chromium)
//     --page=test|published|minimal   the test page (default; its record wraps WebGL
//                                 calls), the published page, or bench/web/minimal.html
//     --site=DIR                  the built site to serve (default build-web; the test
//                                 page is its test/ folder), e.g. a copy of another build
//     --query=TEXT                more of the page's address (minimal: mode=blit|clear|2d)
//     --windowed                  the dialog's Fullscreen box off (default: the dialog's
//                                 defaults, full screen at 640 x 480)
//     --seconds=N                 Escape after N s of the production (default: its end)
//     --no-probe                  no wrappers of the page's calls (shown frames, the
//                                 page's stats and processor time only)
//     --runs=N                    N runs one after the other (default 1)
//     --calls                     also count the page's WebGL calls (and the bytes of
//                                 its uploads) per animation frame
//     --snapshot=FILE             a PNG of the screen once the canvas shows (ffmpeg)
//     other --flags go to Chromium
'use strict';
const fs = require('fs');
const path = require('path');
const {spawn} = require('child_process');
const puppeteer = require('puppeteer-core');
const {serve} = require('../../scripts/web/serve.js');
const {startXvfb, startPulseAudio, sleep} = require('../../tests/web/harness.js');

const top = path.resolve(__dirname, '../..');
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const found = args.find((a) => a === `--${name}` || a.startsWith(`--${name}=`));
  if (!found) return fallback;
  return found.includes('=') ? found.slice(found.indexOf('=') + 1) : true;
};
const known = ['engine', 'page', 'query', 'windowed', 'seconds', 'no-probe', 'runs', 'snapshot', 'calls', 'site'];
const chromiumFlags = args.filter((a) => !known.some((k) => a === `--${k}` || a.startsWith(`--${k}=`)));
const engine = option('engine', 'chromium');
const pageKind = option('page', 'test');
const seconds = Number(option('seconds', 0));
const probe = !option('no-probe', false);
const windowed = Boolean(option('windowed', false));
const watcher = process.env.SCREEN_FRAMES || path.join(top, 'build', 'bench', 'web', 'screen_frames');

// The production's scenes and their music times (ms), for shown frames by scene.
const scenes = [['checker stacks', 0, 14230], ['star stream', 14230, 21000],
                ['wired room', 21000, 28000], ['flare field', 28000, 35000],
                ['plasma', 35000, 56000], ['greetings', 56000, 70000]];

// Nearest-rank percentile.
const percentile = (values, p) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length, Math.max(1, Math.ceil(p * sorted.length))) - 1];
};
const spread = (values) => values.length ?
  `median ${percentile(values, 0.5).toFixed(1)} ms, p95 ${percentile(values, 0.95).toFixed(1)} ms` : 'none';
const load = () => fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');

// Processor time (ms) of a process tree, by the kind of each process (Chromium's
// --type, Firefox's content process kind, "browser" for the parent).
function cpuByKind(rootPid) {
  const parent = new Map(), times = new Map(), kinds = new Map();
  const tick = 1000 / 100;  // USER_HZ
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      parent.set(Number(entry), Number(fields[1]));
      times.set(Number(entry), (Number(fields[11]) + Number(fields[12])) * tick);
      // Chromium rewrites its processes' command lines into one string.
      const cmdline = fs.readFileSync(`/proc/${entry}/cmdline`, 'utf8').replace(/\0/g, ' ').trim();
      const type = /--type=(\S+)/.exec(cmdline);
      const firefoxKind = / -contentproc /.test(cmdline + ' ') ? cmdline.split(' ').pop() : null;
      kinds.set(Number(entry), type ? type[1] : firefoxKind || 'browser');
    } catch (error) {}  // ended meanwhile
  }
  const result = {};
  const within = (pid) => {
    for (let p = pid; p > 1; p = parent.get(p)) if (p === rootPid) return true;
    return false;
  };
  for (const [pid, ms] of times) {
    if (!within(pid)) continue;
    const kind = kinds.get(pid);
    result[kind] = (result[kind] || 0) + ms;
  }
  return result;
}
function cpuOf(pid) {
  try {
    const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    return (Number(fields[11]) + Number(fields[12])) * 10;
  } catch (error) {
    return 0;
  }
}

// In the page before it loads: the animation frames the browser runs, the page's work
// in each (from the callback to the next request, which the page makes when it
// yields), and each picture copied to the canvas (the page's present), timed on the
// wall clock to match the screen's changes.
function pageProbe(countCalls) {
  const record = window.benchRecord = {frames: [], work: [], presents: [], clocks: [], calls: {}};
  const request = window.requestAnimationFrame.bind(window);
  let began = -1;
  window.requestAnimationFrame = (callback) => {
    if (began >= 0) {
      record.work.push(performance.now() - began);
      began = -1;
    }
    return request((time) => {
      began = performance.now();
      record.frames.push(began);
      callback(time);
    });
  };
  const gl = WebGL2RenderingContext.prototype;
  if (countCalls) {
    for (const name of Object.getOwnPropertyNames(gl)) {
      const call = Object.getOwnPropertyDescriptor(gl, name).value;
      if (typeof call !== 'function' || name === 'constructor') continue;
      gl[name] = function (...callArgs) {
        record.calls[name] = (record.calls[name] || 0) + 1;
        // Emscripten passes its whole heap with an offset and a length.
        let bytes = 0;
        if (name === 'bufferData' || name === 'bufferSubData') {
          bytes = callArgs.length >= 5 ? callArgs[4] : callArgs[1]?.byteLength || 0;
        } else if (name === 'texImage2D' || name === 'texSubImage2D') {
          bytes = callArgs[3] * callArgs[4] * 4;
        }
        if (bytes) record.calls[name + ' bytes'] = (record.calls[name + ' bytes'] || 0) + bytes;
        return call.apply(this, callArgs);
      };
    }
  }
  // A present: a turn of the page that draws into, clears or copies into the canvas's
  // own framebuffer, timed at its last such call.
  let toCanvas = true, touched = -1;
  const present = () => {
    record.presents.push(touched);
    // The test page's hook says which moment of the production the picture is.
    record.clocks.push(window.Module?._lumetra_frame_clock?.() ?? -1);
    touched = -1;
  };
  const bind = gl.bindFramebuffer;
  gl.bindFramebuffer = function (target, framebuffer) {
    if (target !== this.READ_FRAMEBUFFER) toCanvas = framebuffer === null;
    return bind.call(this, target, framebuffer);
  };
  for (const name of ['drawArrays', 'drawElements', 'clear', 'blitFramebuffer']) {
    const call = gl[name];
    gl[name] = function (...callArgs) {
      if (toCanvas) {
        if (touched < 0) queueMicrotask(present);  // once the page's turn is over
        touched = performance.timeOrigin + performance.now();
      }
      return call.apply(this, callArgs);
    };
  }
}

async function launch(display, pulse) {
  const env = {...process.env, DISPLAY: display, PULSE_SERVER: pulse.address};
  if (engine === 'firefox') {
    return puppeteer.launch({
      browser: 'firefox', executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
      headless: false, env, defaultViewport: null,
      args: ['--width=1024', '--height=768'],
      extraPrefsFirefox: {'media.autoplay.default': 0},
    });
  }
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: false, env,
    defaultViewport: null,
    // Without the bar that says the browser is automated, as a visitor's window is.
    ignoreDefaultArgs: ['--enable-automation'],
    // --test-type: no bar over the page about --no-sandbox.
    args: ['--no-sandbox', '--test-type', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--window-position=0,0', '--window-size=1024,768', '--no-first-run',
           '--autoplay-policy=no-user-gesture-required', ...chromiumFlags],
  });
}

// The screen's changes over the canvas, as [monotonic ms, wall-clock ms].
function watchScreen(display, rect) {
  const child = spawn(watcher, ['--rect', rect.join(',')],
                      {env: {...process.env, DISPLAY: display}, stdio: ['pipe', 'pipe', 'inherit']});
  const shown = [];
  let text = '', summary = '';
  child.stdout.on('data', (chunk) => {
    text += chunk;
    const lines = text.split('\n');
    text = lines.pop();
    for (const line of lines) {
      const f = line.split(' ');
      if (f[0] === 'end') summary = line;
      else shown.push([Number(f[1]), Number(f[2])]);
    }
  });
  const ended = new Promise((resolve) => child.on('exit', resolve));
  return {shown, async stop() {
    child.stdin.end();
    await ended;
    return summary;
  }};
}

async function run(index) {
  const x = await startXvfb();
  const pulse = await startPulseAudio();
  const built = path.resolve(option('site', path.join(top, 'build-web')));
  const siteDir = pageKind === 'published' ? built :
                  pageKind === 'minimal' ? __dirname : path.join(built, 'test');
  const server = await serve(siteDir, 0);
  const browser = await launch(x.display, pulse);
  const browserPid = browser.process().pid;
  const logs = [];
  try {
    const [page] = await browser.pages();
    page.on('console', (message) => logs.push(message.text()));
    if (probe) await page.evaluateOnNewDocument(pageProbe, Boolean(option('calls', false)));
    const query = [pageKind === 'minimal' ? '' : 'stats=1', option('query', '')];
    if (pageKind === 'minimal' && !windowed) query.push('fullscreen=1');
    const address = `http://127.0.0.1:${server.address().port}/` +
                    (pageKind === 'minimal' ? 'minimal.html' : '') + '?' +
                    query.filter(Boolean).join('&');
    await page.goto(address);
    if (pageKind === 'minimal') {
      await page.waitForSelector('#go');
    } else {
      await page.waitForSelector('#dialog:not([hidden])', {timeout: 60000});
      if (windowed) await page.click('#fullscreen');
    }
    const loadBefore = load();
    await page.click('#go');
    // The loading picture's two seconds, then the canvas where the screen shows it.
    await sleep(2500);
    const full = await page.evaluate(() => Boolean(document.fullscreenElement));
    const rect = await page.evaluate(() => {
      const r = document.getElementById('canvas').getBoundingClientRect();
      // The page's view lies at the bottom of the window, centred across it.
      const left = window.screenX + (window.outerWidth - window.innerWidth) / 2;
      const topEdge = window.screenY + window.outerHeight - window.innerHeight;
      return [left + r.left, topEdge + r.top, r.width, r.height].map(Math.round);
    });
    rect[2] = Math.min(rect[2], 1024 - rect[0]);
    rect[3] = Math.min(rect[3], 768 - rect[1]);
    if (option('snapshot')) {
      await new Promise((resolve) => spawn('ffmpeg', ['-loglevel', 'error', '-y', '-f', 'x11grab',
          '-video_size', '1024x768', '-i', x.display, '-frames:v', '1', option('snapshot')],
          {stdio: 'inherit'}).on('exit', resolve));
    }
    const screen = watchScreen(x.display, rect);
    const cpuBefore = {...cpuByKind(browserPid), Xvfb: cpuOf(x.xvfb.pid)};
    const started = performance.now();
    const limit = seconds > 0 ? seconds * 1000 : 90000;
    while (!(await page.evaluate(() => window.lumetraExitCode !== undefined)) &&
           performance.now() - started < limit) {
      await sleep(250);
    }
    const elapsedMs = performance.now() - started;
    const cpuAfter = {...cpuByKind(browserPid), Xvfb: cpuOf(x.xvfb.pid)};
    const loadAfter = load();
    const summary = await screen.stop();
    if (pageKind === 'minimal') {
      await page.evaluate(() => { window.lumetraExitCode = 0; });
    } else if (await page.evaluate(() => window.lumetraExitCode === undefined)) {
      await page.keyboard.press('Escape');
      await page.waitForFunction(() => window.lumetraExitCode !== undefined, {timeout: 20000});
    }
    await sleep(300);
    const record = probe ? await page.evaluate(() => window.benchRecord) : null;

    // The canvas's changes from the end of the loading picture to the end of the run.
    const shown = screen.shown;
    const intervals = shown.slice(1).map((s, i) => s[0] - shown[i][0]);
    const span = shown.length > 1 ? (shown[shown.length - 1][0] - shown[0][0]) / 1000 : 0;
    console.log(`${engine}, ${pageKind} page${option('site') ? ' of ' + option('site') : ''}${option('query', '') ? ' ?' + option('query') : ''}, ` +
                `${full ? 'full screen' : windowed ? 'windowed' : 'windowed (full screen refused)'}, run ${index + 1}: canvas at ${rect.join(',')} ` +
                `on the screen, load ${loadBefore} -> ${loadAfter}`);
    console.log(`  shown frames    ${shown.length} in ${span.toFixed(1)} s: ` +
                `${(shown.length / Math.max(span, 1e-9)).toFixed(1)} a second; interval ${spread(intervals)}`);
    console.log(`  screen          ${summary}  (damage events, reads)`);
    const stats = logs.join('\n');
    const statsAt = stats.indexOf('Lumetra stats');
    if (statsAt >= 0) {
      for (const line of stats.slice(statsAt).split('\n').slice(1, 5))
        console.log('  stats ' + line.trim());
    }
    if (record) {
      const inWindow = (t) => t >= shown[0]?.[1] && t <= shown[shown.length - 1]?.[1];
      const presents = record.presents.filter(inWindow);
      const frameIntervals = record.frames.slice(1).map((t, i) => t - record.frames[i]);
      console.log(`  presented       ${presents.length} pictures in the same time, of ` +
                  `${record.frames.length} animation frames run (interval ${spread(frameIntervals)})`);
      console.log(`  page work       ${spread(record.work)} per animation frame ` +
                  `(callback to the next request)`);
      // Each change of the screen against the last picture presented before it.
      const toScreen = [];
      const byScene = scenes.map(() => []);
      let p = 0;
      for (const [monotonic, wall] of shown) {
        while (p + 1 < record.presents.length && record.presents[p + 1] <= wall) ++p;
        if (record.presents[p] > wall) continue;
        toScreen.push(wall - record.presents[p]);
        const clock = record.clocks[p];
        const scene = scenes.findIndex(([, first, last]) => clock >= first && clock < last);
        if (scene >= 0) byScene[scene].push(monotonic);
      }
      console.log(`  to the screen   ${spread(toScreen)} from the last present to the change`);
      if (record.clocks.some((c) => c > 0)) {
        console.log('  by scene        ' + scenes.map(([name, first, last], i) =>
            `${name} ${(byScene[i].length / ((last - first) / 1000)).toFixed(1)}`).join(', ') +
            ' shown frames a second');
      }
      const perFrame = Object.entries(record.calls).sort((a, b) => b[1] - a[1])
          .map(([name, count]) => `${name} ${(count / record.frames.length).toFixed(1)}`);
      if (perFrame.length) console.log(`  calls           per animation frame: ${perFrame.join(', ')}`);
    }
    const shownCount = Math.max(shown.length, 1);
    const cpu = Object.keys(cpuAfter).map((kind) => [kind, (cpuAfter[kind] - (cpuBefore[kind] || 0))])
        .filter(([, ms]) => ms > 0).sort((a, b) => b[1] - a[1]);
    console.log(`  processor       ` + cpu.map(([kind, ms]) =>
        `${kind} ${(ms / shownCount).toFixed(1)}`).join(', ') +
        ` ms per shown frame (${(cpu.reduce((s, [, ms]) => s + ms, 0) / elapsedMs * 100).toFixed(0)} % of one core)`);
  } finally {
    await browser.close().catch(() => {});
    server.close();
    x.xvfb.kill();
    pulse.stop();
  }
}

(async () => {
  if (!fs.existsSync(watcher)) {
    console.error(`${watcher} is missing: build the screen_frames target (scripts/build.sh screen_frames)`);
    process.exit(1);
  }
  const runs = Number(option('runs', 1));
  for (let i = 0; i < runs; ++i) await run(i);
  process.exit(0);
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
