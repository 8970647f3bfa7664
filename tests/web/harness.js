// The browser build's test page in Debian's Chromium, Firefox or WebKit, driven by
// puppeteer-core or W3C WebDriver, served from build-web/test/ on 127.0.0.1.
'use strict';
const path = require('path');
const fs = require('fs');
const {execFileSync, spawn} = require('child_process');
const net = require('net');
const os = require('os');
const puppeteer = require('puppeteer-core');
const {serve} = require('../../scripts/web/serve.js');

const top = path.resolve(__dirname, '../..');
// The test page: the published one with the hooks the tests call.
const site = process.env.LUMETRA_WEB_SITE || path.join(top, 'build-web', 'test');
const build = process.env.LUMETRA_BUILD || path.join(top, 'build');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls fn in the page until it returns something truthy; its last value on timeout
// is in the error.
async function waitInPage(page, fn, arg, timeoutMs, what) {
  const end = Date.now() + timeoutMs;
  let last;
  while (Date.now() < end) {
    last = await page.evaluate(fn, arg);
    if (last) return last;
    await sleep(100);
  }
  throw new Error(`timed out after ${timeoutMs} ms waiting for ${what} (last: ${JSON.stringify(last)})`);
}

// The browser engine of this run: LUMETRA_WEB_BROWSER=chromium (the default, headless
// with SwiftShader's WebGL), firefox (Debian's firefox-esr under a private Xvfb,
// through WebDriver BiDi) or webkit (WebKitGTK's MiniBrowser under a private Xvfb,
// through WebKitWebDriver's W3C WebDriver). Firefox and WebKit draw WebGL on llvmpipe.
const engine = process.env.LUMETRA_WEB_BROWSER || 'chromium';

// The X servers, sound servers and drivers started here end with this process.
const children = [];
process.on('exit', () => children.forEach((child) => child.kill()));
const spawnChild = (...args) => {
  const child = spawn(...args);
  children.push(child);
  return child;
};

// A private X server for the headful browsers; resolves with it and its display.
function startXvfb() {
  const xvfb = spawnChild('Xvfb',
                          ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                          {stdio: ['ignore', 'ignore', 'inherit', 'pipe']});
  return new Promise((resolve, reject) => {
    let text = '';
    xvfb.stdio[3].on('data', (chunk) => {
      text += chunk;
      // The number and its newline come separately.
      if (text.includes('\n')) resolve({xvfb, display: ':' + text.trim()});
    });
    xvfb.on('exit', (code) => reject(new Error(`Xvfb ended with ${code}`)));
  });
}

// A private PulseAudio server with a null sink, for Firefox (which plays nothing, and
// so never starts an audio context, without a sound output); resolves with it and its
// address.
async function startPulseAudio() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumetra-pulse-'));
  const daemon = spawnChild('pulseaudio', [
    '-n', '--daemonize=no', '--exit-idle-time=-1', '--disallow-exit', '--use-pid-file=no',
    '--load=module-null-sink sink_name=null', '--load=module-native-protocol-unix',
  ], {stdio: 'ignore', env: {...process.env, HOME: dir, PULSE_RUNTIME_PATH: dir}});
  const socket = path.join(dir, 'native');
  for (const end = Date.now() + 30000; !fs.existsSync(socket); await sleep(100)) {
    if (Date.now() > end || daemon.exitCode !== null) throw new Error('pulseaudio did not start');
  }
  return {
    address: 'unix:' + socket,
    stop() {
      daemon.kill();
      fs.rmSync(dir, {recursive: true, force: true});
    },
  };
}

// A free TCP port on 127.0.0.1.
function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const {port} = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// The page calls the tests make in every engine, over W3C WebDriver (WebKit's driver
// has no BiDi; its key presses give the page no user activation, so no sound).
class WebDriverPage {
  constructor(driver, session) {
    this.driver = driver;
    this.session = session;
  }
  async command(method, route, body) {
    const response = await fetch(`${this.driver}/session/${this.session}${route}`, {
      method, headers: {'Content-Type': 'application/json'},
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const answer = await response.json();
    if (!response.ok) throw new Error(`WebDriver ${route}: ${JSON.stringify(answer.value)}`);
    return answer.value;
  }
  // fn(...args) in the page, awaited; its result as JSON.
  async evaluate(fn, ...args) {
    const script = `const done = arguments[arguments.length - 1];
      Promise.resolve().then(() => (${fn})(...[...arguments].slice(0, -1))).then(
        (value) => done({value}), (error) => done({error: String(error && error.stack || error)}));`;
    const result = await this.command('POST', '/execute/async', {script, args});
    if (result.error) throw new Error(`in the page: ${result.error}`);
    return result.value;
  }
  $eval(selector, fn) {
    return this.evaluate(`(selector) => (${fn})(document.querySelector(selector))`, selector);
  }
  async element(selector) {
    const found = await this.command('POST', '/element', {using: 'css selector', value: selector});
    return Object.values(found)[0];
  }
  async click(selector) {
    await this.command('POST', `/element/${await this.element(selector)}/click`, {});
  }
  select(selector, value) {
    return this.evaluate((selector, value) => {
      document.querySelector(selector).value = value;
    }, selector, value);
  }
  async close() {
    await this.command('POST', '/url', {url: 'about:blank'});
  }
}

// One browser and one server for a test file; extra Chromium flags may be given.
async function start(flags = []) {
  const server = await serve(site, 0);
  const base = `http://127.0.0.1:${server.address().port}/`;
  const x = engine === 'chromium' ? null : await startXvfb();
  const pulse = engine === 'firefox' ? await startPulseAudio() : null;
  const stopped = async () => {
    server.close();
    if (x) x.xvfb.kill();
    if (pulse) pulse.stop();
  };
  if (engine === 'webkit') return startWebKit(base, x.display, stopped);
  const browser = engine === 'firefox' ?
    await puppeteer.launch({
      browser: 'firefox',
      executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
      headless: false,  // headless Firefox has no WebGL without a GPU
      env: {...process.env, DISPLAY: x.display, PULSE_SERVER: pulse.address},
      args: ['--width=1024', '--height=768'],
      extraPrefsFirefox: {'media.autoplay.default': 0},
    }) :
    await puppeteer.launch({
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
             '--window-size=1024,768', ...flags],
    });
  return {
    browser,
    base,
    // A new page at index.html?query, once the dialog shows; before it loads, setup(arg)
    // runs in it if given.
    async open(query = '', setup, arg) {
      const page = await browser.newPage();
      await page.setViewport({width: 1024, height: 768});
      if (process.env.LUMETRA_WEB_ECHO) page.on('console', (m) => console.log('page: ' + m.text()));
      if (setup) await page.evaluateOnNewDocument(setup, arg);
      await page.goto(base + (query ? '?' + query : ''));
      await page.waitForSelector('#dialog:not([hidden])', {timeout: 60000});
      return page;
    },
    async stop() {
      await browser.close();
      await stopped();
    },
  };
}

// WebKitGTK's MiniBrowser through WebKitWebDriver: one window, each page loaded into it.
async function startWebKit(base, display, stopped) {
  const port = await freePort();
  const driverProcess = spawnChild(process.env.WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver',
                              [`--port=${port}`], {stdio: 'ignore', env: {...process.env, DISPLAY: display}});
  const driver = `http://127.0.0.1:${port}`;
  let session;
  for (const end = Date.now() + 30000; !session;) {
    try {
      const response = await fetch(`${driver}/session`, {
        method: 'POST', headers: {'Content-Type': 'application/json'},
        body: JSON.stringify({capabilities: {alwaysMatch: {'webkitgtk:browserOptions': {
          binary: process.env.MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
          args: ['--automation']}}}}),
      });
      const answer = await response.json();
      if (!response.ok) throw new Error(JSON.stringify(answer.value));
      session = answer.value.sessionId;
    } catch (error) {
      // The driver may not listen yet.
      if (Date.now() > end) throw error;
      await sleep(200);
    }
  }
  const page = new WebDriverPage(driver, session);
  await page.command('POST', '/timeouts', {script: 300000});
  await page.command('POST', '/window/rect', {width: 1024, height: 768});
  return {
    async open(query = '') {
      await page.command('POST', '/url', {url: base + (query ? '?' + query : '')});
      await waitInPage(page, () => !document.getElementById('dialog').hidden, null, 60000,
                       'the dialog');
      return page;
    },
    async stop() {
      await fetch(`${driver}/session/${session}`, {method: 'DELETE'}).catch(() => {});
      driverProcess.kill();
      await stopped();
    },
  };
}

// The test page's record (web/test_page.js): the console's lines, the page's errors,
// and the pictures presented to the canvas, copies with nothing drawn among them.
function record(page) {
  return page.evaluate(() => ({log: lumetraLog, errors: lumetraErrors, presents: lumetraPresents}));
}

// Sets the dialog's boxes as given (undefined leaves one as it is) and presses Go!, or
// with how 'enter', Enter on the resolution list.
async function go(page, boxes = {}, how = 'click') {
  for (const [id, wanted] of Object.entries(boxes)) {
    if (wanted !== undefined && (await page.$eval('#' + id, (box) => box.checked)) !== wanted)
      await page.click('#' + id);
  }
  if (how === 'enter') {
    await page.focus('#resolution');
    await page.keyboard.press('Enter');
  } else {
    await page.click('#go');
  }
}

// The picture the page last drew against a PNG file: mean absolute difference over
// all channels, the worst 8 x 8 block's mean, and the same with each pixel's difference
// from its closest match within a pixel (rasterisers may place an edge a pixel apart),
// in levels of 255.
function comparePicture(page, pngFile) {
  const png = fs.readFileSync(pngFile).toString('base64');
  return page.evaluate(async (png, dump) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const want = context.getImageData(0, 0, image.width, image.height).data;
    const width = Module.canvas.width, height = Module.canvas.height;
    if (width !== image.width || height !== image.height) return {size: [width, height]};
    const at = Module._lumetra_read_picture();
    const got = Module.HEAPU8.subarray(at, at + width * height * 4);
    // A pixel's difference from the one at the same place, and from the closest match
    // within one pixel either way (in both directions: what one picture lacks and what
    // it has in excess), summed over the channels.
    const diff = (a, b, i, j) => Math.abs(a[i] - b[j]) + Math.abs(a[i + 1] - b[j + 1]) +
                                 Math.abs(a[i + 2] - b[j + 2]);
    const near = (a, b, x, y) => {
      let best = Infinity;
      for (let ny = Math.max(y - 1, 0); ny <= Math.min(y + 1, height - 1); ++ny)
        for (let nx = Math.max(x - 1, 0); nx <= Math.min(x + 1, width - 1); ++nx)
          best = Math.min(best, diff(a, b, (y * width + x) * 4, (ny * width + nx) * 4));
      return best;
    };
    let total = 0, worst = 0, worstNear = 0;
    for (let by = 0; by < height; by += 8) {
      for (let bx = 0; bx < width; bx += 8) {
        let sum = 0, sumNear = 0, count = 0;
        for (let y = by; y < Math.min(by + 8, height); ++y) {
          for (let x = bx; x < Math.min(bx + 8, width); ++x) {
            sum += diff(got, want, (y * width + x) * 4, (y * width + x) * 4);
            sumNear += Math.max(near(got, want, x, y), near(want, got, x, y));
            count += 3;
          }
        }
        total += sum;
        worst = Math.max(worst, sum / count);
        worstNear = Math.max(worstNear, sumNear / count);
      }
    }
    const result = {mean: total / (width * height * 3), worst, worstNear};
    if (dump) {
      context.putImageData(new ImageData(new Uint8ClampedArray(got), width, height), 0, 0);
      result.png = canvas.toDataURL('image/png').split(',')[1];
    }
    return result;
  }, png, Boolean(process.env.LUMETRA_WEB_DUMP)).then((result) => {
    // LUMETRA_WEB_DUMP=DIR keeps the page's picture beside the reference, to look at.
    if (result.png) {
      const name = path.basename(pngFile, '.png');
      fs.copyFileSync(pngFile, path.join(process.env.LUMETRA_WEB_DUMP, name + '-desktop.png'));
      fs.writeFileSync(path.join(process.env.LUMETRA_WEB_DUMP, name + '-web.png'),
                       Buffer.from(result.png, 'base64'));
      delete result.png;
    }
    return result;
  });
}

// lumetra-render's frame of the same moment (args: --at MS, or --loading), as a PNG.
function renderReference(args, out) {
  execFileSync(path.join(build, 'lumetra-render'), [...args, '-q', '-o', out], {cwd: build});
  return out;
}

module.exports = {start, go, waitInPage, comparePicture, renderReference, record, sleep, site,
                  build, engine, startXvfb, startPulseAudio};
