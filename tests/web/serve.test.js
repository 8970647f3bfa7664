// The preview server (./web.sh --serve): it outlives bad requests, compresses for
// clients that accept it, and lets a second visit revalidate instead of download.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const http = require('http');
const path = require('path');
const zlib = require('zlib');
const {serve} = require('../../scripts/web/serve.js');
const {site, engine} = require('./harness.js');

const get = (port, address, headers = {}) => new Promise((resolve, reject) => {
  http.get({host: '127.0.0.1', port, path: address, headers}, (response) => {
    const chunks = [];
    response.on('data', (chunk) => chunks.push(chunk));
    response.on('end', () => resolve({statusCode: response.statusCode, headers: response.headers,
                                      body: Buffer.concat(chunks)}));
  }).on('error', reject);
});

// The server alone: once, with the Chromium run.
test('a malformed address is refused; gzip when accepted; an unchanged file is 304',
     {skip: engine !== 'chromium' && 'run with Chromium only'}, async () => {
  const server = await serve(site, 0);
  const port = server.address().port;
  try {
    assert.strictEqual((await get(port, '/%E0%A4%A')).statusCode, 400);
    const packed = await get(port, '/lumetra.wasm', {'Accept-Encoding': 'gzip, deflate'});
    assert.ok(zlib.gunzipSync(packed.body).equals(fs.readFileSync(path.join(site, 'lumetra.wasm'))));
    const again = await get(port, '/lumetra.wasm', {'If-None-Match': packed.headers.etag,
                                                   'Accept-Encoding': 'gzip'});
    assert.deepStrictEqual([again.statusCode, again.body.length], [304, 0]);
  } finally {
    server.close();
  }
});
