// Runs the browser tests against a built site: node web/test/run.mjs SITE_DIR
import { spawnSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const site = process.argv[2];
if (!site || !existsSync(join(site, 'index.html'))) {
  process.stderr.write('usage: node web/test/run.mjs SITE_DIR (a folder made by web/build.mjs)\n');
  process.exit(2);
}
const here = fileURLToPath(new URL('.', import.meta.url));
const result = spawnSync(
  process.execPath,
  ['--test', '--test-concurrency=1', join(here, 'page.test.mjs'), join(here, 'tools.test.mjs')],
  { stdio: 'inherit', env: { ...process.env, KVX_SITE: resolve(site) } },
);
process.exit(result.status ?? 1);
