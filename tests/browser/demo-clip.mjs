// Makes the README's clip with the product: lumivane-view serves the demo's
// folder, chromium opens it as a 40x4 A00 module, lumivane-host runs its demo,
// and the page's "Save clip" saves the demo from its first change on.
//
//   node tests/browser/demo-clip.mjs [BUILD_DIR [OUTPUT]]
// (default: build/demo, docs/demo-clip.gif; run scripts/demo.sh first)
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium, sleep, until } from './chromium.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const buildDir = path.resolve(process.argv[2] || path.join(root, 'build/demo'));
const output = path.resolve(process.argv[3] || path.join(root, 'docs/demo-clip.gif'));
const view = spawn(path.join(buildDir, 'lumivane-view'), ['--listen', '127.0.0.1:0', buildDir],
  { stdio: ['ignore', 'pipe', 'inherit'] });
let started = '';
view.stdout.on('data', (chunk) => (started += chunk));
const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
let context;
try {
  const url = await until('the start line', 10000, () => started.match(/^Lumivane view: (http:\S+) /m)?.[1]);
  context = await launchChromium(userDataDir, { width: 1280, height: 600 });
  const page = context.pages()[0] ?? (await context.newPage());
  await page.goto(`${url}?size=40x4&encoding=hd44780-a00&theme=green`);
  await until('the panel', 5000, async () => (await page.locator('#dots').count()) === 1);
  await sleep(500);
  const before = await page.evaluate(() => first + count);  // the position of the next change
  const host = spawn(path.join(buildDir, 'lumivane-host'), [], { cwd: buildDir, stdio: 'ignore' });
  await new Promise((resolve) => host.on('exit', resolve));
  await sleep(1000);
  await until('the demo in the timeline', 5000, () => page.evaluate((n) => first + count > n + 1, before));
  await page.evaluate((position) => { clipMark = position; }, before);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#clip')]);
  await download.saveAs(output);
  console.log(`wrote ${output} (${fs.statSync(output).size} bytes)`);
} finally {
  if (context) await context.close();
  view.kill();
  fs.rmSync(userDataDir, { recursive: true, force: true });
}
