// A small static server for the built site: node serve.mjs SITE_DIR PORT [HOST]
// Also used by the browser tests, which import serveSite().
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.awl': 'text/plain; charset=utf-8',
  '.txt': 'text/plain; charset=utf-8',
};

// The file a request names, never one outside the site.
async function fileFor(root, url) {
  let path;
  try {
    path = decodeURIComponent(new URL(url, 'http://localhost').pathname);
  } catch {
    return null;
  }
  const file = resolve(join(root, path));
  if (file !== root && !file.startsWith(root + sep)) return null;
  const info = await stat(file).catch(() => null);
  // A folder is always asked for with its slash, so that the page's relative URLs stay in it.
  if (info?.isDirectory() && !path.endsWith('/')) return { redirect: `${path}/` };
  if (info?.isDirectory()) return fileFor(root, `${path}index.html`);
  return info?.isFile() ? { file, size: info.size } : null;
}

export function serveSite(siteDir, port = 0, host = '127.0.0.1') {
  const root = resolve(siteDir);
  const server = createServer(async (request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') {
      response.writeHead(405, { Allow: 'GET, HEAD' }).end();
      return;
    }
    const found = await fileFor(root, request.url);
    if (found?.redirect) {
      response.writeHead(301, { Location: encodeURI(found.redirect) }).end();
      return;
    }
    if (found === null) {
      response.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' }).end('not found\n');
      return;
    }
    response.writeHead(200, {
      'Content-Type': TYPES[extname(found.file).toLowerCase()] ?? 'application/octet-stream',
      'Content-Length': found.size,
      'X-Content-Type-Options': 'nosniff',
      'Cache-Control': 'no-cache',
    });
    if (request.method === 'HEAD') response.end();
    else createReadStream(found.file).pipe(response);
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, host, () => done(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [site, port = '8080', host = '127.0.0.1'] = process.argv.slice(2);
  if (!site) {
    process.stderr.write('usage: node serve.mjs SITE_DIR [PORT] [HOST]\n');
    process.exit(2);
  }
  const server = await serveSite(site, Number(port), host);
  const { address, port: bound } = server.address();
  process.stdout.write(`serving ${resolve(site)} at http://${address}:${bound}/\n`);
}
