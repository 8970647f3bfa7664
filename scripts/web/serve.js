// Serves a folder as static files on 127.0.0.1 (the browser build's page and data).
// Usage: node serve.js FOLDER [PORT]; PORT 0 picks a free one. Prints the address.
// Responses carry validators (ETag, Last-Modified) and are revalidated on each visit,
// so a second visit of an unchanged page transfers only headers; a client that
// accepts gzip gets the files compressed (each compressed once while it is unchanged).
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.png': 'image/png',
};
const uncompressed = new Set(['.png']);  // already compressed

// Whether an Accept-Encoding header admits gzip (listed, or as *, without q=0).
function acceptsGzip(header) {
  const weights = {};
  for (const part of (header || '').split(',')) {
    const [name, ...params] = part.trim().toLowerCase().split(';');
    const q = params.map((p) => /^\s*q=([\d.]+)\s*$/.exec(p)).find(Boolean);
    weights[name] = q ? Number(q[1]) : 1;
  }
  return (weights.gzip ?? weights['*'] ?? 0) > 0;
}

// Whether the client's copy, named by If-None-Match or dated by If-Modified-Since, is
// still this one.
function clientHasIt(request, tag, modified) {
  const match = request.headers['if-none-match'];
  if (match !== undefined)
    return match.split(',').some((t) => t.trim() === '*' || t.trim().replace(/^W\//, '') === tag);
  const since = Date.parse(request.headers['if-modified-since'] || '');
  return since >= Math.floor(modified.getTime() / 1000) * 1000;
}

function serve(root, port) {
  root = path.resolve(root);
  const compressed = new Map();  // file -> {tag, body: Promise<Buffer>}
  const gzipOf = (file, tag) => {
    let entry = compressed.get(file);
    if (!entry || entry.tag !== tag) {
      entry = {tag, body: fs.promises.readFile(file).then((body) => new Promise(
          (resolve, reject) => zlib.gzip(body, (e, out) => (e ? reject(e) : resolve(out)))))};
      compressed.set(file, entry);
    }
    return entry.body;
  };
  const server = http.createServer(async (request, response) => {
    const fail = (status, text, headers = {}) =>
      response.writeHead(status, {'Content-Type': 'text/plain', ...headers}).end(text + '\n');
    if (request.method !== 'GET' && request.method !== 'HEAD')
      return fail(405, 'method not allowed', {Allow: 'GET, HEAD'});
    let name;
    try {
      name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch {
      return fail(400, 'malformed address');
    }
    if (name.endsWith('/')) name += 'index.html';
    const file = path.join(root, path.normalize(name));
    if (!file.startsWith(root + path.sep)) return fail(403, 'forbidden');
    try {
      const stats = await fs.promises.stat(file);
      if (!stats.isFile()) return fail(404, 'not found');
      const gzip = !uncompressed.has(path.extname(file)) &&
                   acceptsGzip(request.headers['accept-encoding']);
      // Each encoding of a version is a representation of its own, with a tag of its own.
      const version = `${stats.size.toString(16)}-${Math.floor(stats.mtimeMs).toString(16)}`;
      const tag = `"${version}${gzip ? '-gz' : ''}"`;
      const headers = {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-cache', 'ETag': tag, 'Last-Modified': stats.mtime.toUTCString(),
        'Vary': 'Accept-Encoding',
      };
      if (clientHasIt(request, tag, stats.mtime)) return response.writeHead(304, headers).end();
      const body = gzip ? await gzipOf(file, tag) : await fs.promises.readFile(file);
      if (gzip) headers['Content-Encoding'] = 'gzip';
      headers['Content-Length'] = body.length;
      response.writeHead(200, headers).end(request.method === 'HEAD' ? undefined : body);
    } catch {
      if (!response.headersSent) fail(404, 'not found');
    }
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

module.exports = {serve};

if (require.main === module) {
  const [root, port] = process.argv.slice(2);
  if (!root) {
    console.error('usage: node serve.js FOLDER [PORT]');
    process.exit(2);
  }
  serve(root, Number(port || 8080)).then((server) => {
    console.log(`Serving ${path.resolve(root)} at http://127.0.0.1:${server.address().port}/`);
  });
}
