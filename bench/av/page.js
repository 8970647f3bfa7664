// The page (build-web/) in a headful browser on this display (DISPLAY), its sound to
// PULSE_SERVER, driven by puppeteer-core: opens the page, presses Go! with the
// dialog's defaults (640 x 480, music) but windowed (without a window manager the
// browser's full screen keeps its bars), or in full screen when asked, writes the
// picture's place on the screen ("X Y W H") to RECT_FILE, and closes the browser when
// the run has ended (at most after 120 s). AV_SCREEN is the screen's size (1024x768).
// The page runs with ?stats=1: its timing report (its sound's delay, its picture's
// lead) goes to standard error, each line as "page stats: LINE".
//   node page.js chromium|firefox SITE RECT_FILE [fullscreen]
'use strict';
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');
const {serve} = require('../../scripts/web/serve.js');

const [engine, site, rectFile, mode] = process.argv.slice(2);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
  const server = await serve(path.resolve(site), 0);
  const base = `http://127.0.0.1:${server.address().port}/`;
  const [width, height] = (process.env.AV_SCREEN || '1024x768').split('x').map(Number);
  const browser = engine === 'firefox' ?
    await puppeteer.launch({
      browser: 'firefox',
      executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
      headless: false,
      defaultViewport: null,
      args: [`--width=${width}`, `--height=${height}`],
      extraPrefsFirefox: {'media.autoplay.default': 0},
    }) :
    await puppeteer.launch({
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: false,
      defaultViewport: null,
      // Software WebGL; sound without a click; and nothing that reaches for the network.
      args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
             '--autoplay-policy=no-user-gesture-required', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             '--window-position=0,0', `--window-size=${width},${height}`],
    });
  try {
    const page = (await browser.pages())[0] || await browser.newPage();
    // The page's own timing report (?stats=1): its sound's delay and its picture's lead.
    const logs = [];
    page.on('console', (message) => logs.push(message.text()));
    await page.goto(base + '?stats=1');
    await page.waitForSelector('#dialog:not([hidden])', {timeout: 120000});
    if ((mode === 'fullscreen') !== await page.$eval('#fullscreen', (box) => box.checked))
      await page.click('#fullscreen');
    await page.click('#go');
    // The picture's place on the screen once the run shows it (and, in full screen,
    // once the window has taken the whole screen).
    let rect;
    for (const end = Date.now() + 30000; Date.now() < end; await sleep(200)) {
      rect = await page.evaluate((fullscreen) => {
        const canvas = document.getElementById('canvas');
        const r = canvas.getBoundingClientRect();
        if (r.width < 64 || (fullscreen && !document.fullscreenElement)) return null;
        // The page's viewport within the window: the browser's bars are above it.
        const left = window.screenX + (window.outerWidth - window.innerWidth) / 2;
        const top = window.screenY + window.outerHeight - window.innerHeight;
        return {x: Math.round(left + r.left), y: Math.round(top + r.top),
                w: Math.round(r.width), h: Math.round(r.height),
                fullscreen: Boolean(document.fullscreenElement),
                window: [window.screenX, window.screenY, window.outerWidth, window.outerHeight,
                         window.innerWidth, window.innerHeight]};
      }, mode === 'fullscreen');
      if (rect) break;
    }
    if (!rect) throw new Error('the run did not show its picture');
    console.error(`picture at ${JSON.stringify(rect)}`);
    fs.writeFileSync(rectFile, `${rect.x} ${rect.y} ${rect.w} ${rect.h}\n`);
    // The end: the page offers to watch again, or shows an error box.
    for (const end = Date.now() + 120000; Date.now() < end; await sleep(500)) {
      const state = await page.evaluate(() => ({
        again: !document.getElementById('again').hidden,
        box: document.getElementById('box').hidden ? '' :
          document.getElementById('box-caption').textContent + ': ' +
          document.getElementById('box-text').textContent,
      }));
      if (state.box) console.error(`the page showed a box: ${state.box}`);
      if (state.again || state.box) break;
    }
    const report = logs.join('\n');
    const stats = report.indexOf('Lumetra stats');
    for (const line of stats < 0 ? [] : report.slice(stats).split('\n').slice(1))
      console.error(`page stats: ${line.trim()}`);
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
