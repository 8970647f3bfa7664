// The browser build's page in Debian's Chromium (headless, SwiftShader's WebGL),
// driven by puppeteer-core, served from build-web/ on 127.0.0.1.
'use strict';
const path = require('path');
const fs = require('fs');
const {execFileSync} = require('child_process');
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

// One browser and one server for a test file; extra Chromium flags may be given.
async function start(flags = []) {
  const server = await serve(site, 0);
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--window-size=1024,768', ...flags],
  });
  const base = `http://127.0.0.1:${server.address().port}/`;
  return {
    browser,
    // A new page at index.html?query, with its console kept, once the dialog shows;
    // before it loads, setup(arg) runs in it if given.
    async open(query = '', setup, arg) {
      const page = await browser.newPage();
      await page.setViewport({width: 1024, height: 768});
      page.log = [];
      page.on('console', (message) => {
        page.log.push(message.text());
        if (process.env.LUMETRA_WEB_ECHO) console.log('page: ' + message.text());
      });
      page.on('pageerror', (error) => page.log.push('page error: ' + error.message));
      if (setup) await page.evaluateOnNewDocument(setup, arg);
      await page.goto(base + (query ? '?' + query : ''));
      await page.waitForSelector('#dialog:not([hidden])', {timeout: 60000});
      return page;
    },
    async stop() {
      await browser.close();
      server.close();
    },
  };
}

// Sets the dialog's boxes as given (undefined leaves one as it is) and presses Go!.
async function go(page, boxes = {}) {
  for (const [id, wanted] of Object.entries(boxes)) {
    if (wanted !== undefined && (await page.$eval('#' + id, (box) => box.checked)) !== wanted)
      await page.click('#' + id);
  }
  await page.click('#go');
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

module.exports = {start, go, waitInPage, comparePicture, renderReference, sleep, site, build};
