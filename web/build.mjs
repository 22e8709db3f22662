// Builds the browser edition into one folder that any static server can serve from any path:
//   node web/build.mjs SITE_DIR ENGINE_DIR EXAMPLES_DIR
// ENGINE_DIR holds kvx-engine.js and kvx-engine.wasm; EXAMPLES_DIR the *.awl examples and their
// *.scn scenarios.
import { copyFile, mkdir, readFile, readdir, rm, writeFile } from 'node:fs/promises';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import * as esbuild from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));

function usage(message) {
  process.stderr.write(`${message}\nusage: node build.mjs SITE_DIR ENGINE_DIR EXAMPLES_DIR\n`);
  process.exit(2);
}

// The index the Beispiele menu is built from: each example's file name, its TITLE= line and
// its scenario, when it has one.
async function copyExamples(from, to) {
  await mkdir(to, { recursive: true });
  const names = (await readdir(from)).filter((name) => name.endsWith('.awl')).sort();
  const index = [];
  for (const name of names) {
    const text = await readFile(join(from, name), 'utf8');
    const title = /^\s*TITLE=(.*)$/m.exec(text)?.[1].trim() ?? '';
    await writeFile(join(to, name), text);
    const scenario = name.replace(/\.awl$/, '.scn');
    const scenarioText = await readFile(join(from, scenario), 'utf8').catch(() => null);
    if (scenarioText === null) {
      index.push({ name, title });
    } else {
      await writeFile(join(to, scenario), scenarioText);
      index.push({ name, title, scenario });
    }
  }
  await writeFile(join(to, 'index.json'), `${JSON.stringify(index, null, 1)}\n`);
  return names.length;
}

async function bundle(entry, outfile, format) {
  await esbuild.build({
    entryPoints: [join(here, 'src', entry)],
    outfile,
    bundle: true,
    minify: true,
    sourcemap: false,
    format,
    target: ['es2022'],
    legalComments: 'none',
    logLevel: 'warning',
  });
}

async function main() {
  const [site, engine, examples] = process.argv.slice(2).map((arg) => resolve(arg));
  if (!examples) usage('three folders are needed');
  await rm(site, { recursive: true, force: true });
  await mkdir(site, { recursive: true });
  // The worker loads the engine with importScripts, so it is a classic script.
  await bundle('main.js', join(site, 'app.js'), 'esm');
  await bundle('worker.js', join(site, 'worker.js'), 'iife');
  for (const file of ['kvx-engine.js', 'kvx-engine.wasm']) {
    await copyFile(join(engine, file), join(site, file)).catch((error) =>
      usage(`${join(engine, file)}: ${error.code ?? error.message}`),
    );
  }
  for (const file of await readdir(join(here, 'static'))) {
    await copyFile(join(here, 'static', file), join(site, basename(file)));
  }
  const count = await copyExamples(examples, join(site, 'examples'));
  if (count === 0) usage(`${examples}: no *.awl examples`);
}

await main();
