// Serves a folder as static files on 127.0.0.1 (the browser build's page and data).
// Usage: node serve.js FOLDER [PORT]; PORT 0 picks a free one. Prints the address.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.png': 'image/png',
};

function serve(root, port) {
  root = path.resolve(root);
  const server = http.createServer((request, response) => {
    let name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    if (name.endsWith('/')) name += 'index.html';
    const file = path.join(root, path.normalize(name));
    if (!file.startsWith(root + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, body) => {
      if (error) {
        response.writeHead(404, {'Content-Type': 'text/plain'}).end('not found\n');
        return;
      }
      response.writeHead(200, {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-cache',
      });
      response.end(body);
    });
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
