// Bytes a visitor's browser transfers to reach the page's dialog through the preview
// server (scripts/web/serve.js), on a first visit and on a second one with the
// browser's cache (headers included, as the network reports them).
// Usage, after ./test.sh --web (or ./web.sh and the test driver's install):
//   NODE_PATH=build-web/test-driver/node_modules node bench/web/transfer.js
'use strict';
const path = require('path');
const puppeteer = require('puppeteer-core');
const {serve} = require('../../scripts/web/serve.js');

const top = path.resolve(__dirname, '../..');

async function visit(page, url) {
  const cdp = await page.createCDPSession();
  await cdp.send('Network.enable');
  const bytes = new Map();  // request -> bytes on the wire
  const statuses = new Map();
  cdp.on('Network.responseReceived', (e) => statuses.set(e.requestId, e.response.status));
  cdp.on('Network.loadingFinished', (e) => bytes.set(e.requestId, e.encodedDataLength));
  await page.goto(url);
  await page.waitForSelector('#dialog:not([hidden])', {timeout: 120000});
  await cdp.detach();
  const total = [...bytes.values()].reduce((a, b) => a + b, 0);
  const answers = [...statuses.values()].join(' ');
  return {total, answers};
}

(async () => {
  const server = await serve(process.env.LUMETRA_WEB_SITE || path.join(top, 'build-web'), 0);
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
  try {
    const url = `http://127.0.0.1:${server.address().port}/`;
    const page = await browser.newPage();
    for (const name of ['first visit', 'second visit']) {
      const {total, answers} = await visit(page, url);
      console.log(`${name}: ${(total / 1e6).toFixed(3)} MB (${total} bytes; answers ${answers})`);
    }
  } finally {
    await browser.close();
    server.close();
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
