// The page in a real browser: lumivane-host (follow mode) draws four rows,
// Debian's chromium shows them with the <b> markup in bold, and when the host
// changes the screen the open page picks it up by its own 5 s reload.
//
// LUMIVANE_HOST: the lumivane-host program (its driver module beside it).
// LUMIVANE_BROWSER_OUT: where the screenshots go (default: a temp folder):
// screenshot-first.png with the first four rows, screenshot.png after the change.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { OUT_DIR, launchChromium, until } from './chromium.mjs';

const HOST = process.env.LUMIVANE_HOST;
// The page asks for a reload every 5 s; loading a local file takes little more.
const RELOAD_LIMIT_MS = 8000;


// The rows as the browser shows them: the text of the <pre>, each row's
// trailing padding dropped. Every row ends in <br> and a line end, which the
// <pre> shows as an empty line of its own; those are left out.
async function shownRows(page) {
  try {
    const text = await page.evaluate(() => document.querySelector('pre')?.innerText ?? '');
    return text
      .split('\n')
      .filter((line) => line.trim() !== '')
      .map((line) => line.trimEnd());
  } catch {
    return []; // the page was reloading
  }
}

test('the page shows the rows, renders <b> bold and reloads by itself', { timeout: 90000 }, async () => {
  assert.ok(HOST, 'LUMIVANE_HOST names the lumivane-host program');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-browser-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  const pagePath = path.join(workDir, 'logs', 'index.htm');
  const pageFile = () => (fs.existsSync(pagePath) ? fs.readFileSync(pagePath, 'latin1') : '');

  const host = spawn(HOST, ['--lines'], { cwd: workDir, stdio: ['pipe', 'pipe', 'pipe'] });
  let output = '';
  let errors = '';
  host.stdout.on('data', (chunk) => (output += chunk));
  host.stderr.on('data', (chunk) => (errors += chunk));
  const exited = new Promise((resolve) => host.on('exit', (code) => resolve(code)));

  let context;
  try {
    host.stdin.write('Lumivane in <b>chromium</b>\nrow two\nrow three\nrow four\n');
    await until('the host to write four rows', 10000, () => pageFile().includes('row four'));

    context = await launchChromium(userDataDir, { width: 900, height: 260 });
    const page = context.pages()[0] ?? (await context.newPage());
    await page.goto(pathToFileURL(pagePath).href);

    assert.deepEqual(await shownRows(page), ['Lumivane in chromium', 'row two', 'row three', 'row four']);
    fs.mkdirSync(OUT_DIR, { recursive: true });
    await page.screenshot({ path: path.join(OUT_DIR, 'screenshot-first.png') });

    const weights = await page.evaluate(() => ({
      bold: getComputedStyle(document.querySelector('pre b')).fontWeight,
      plain: getComputedStyle(document.querySelector('pre')).fontWeight,
      boldText: document.querySelector('pre b').textContent,
    }));
    assert.equal(weights.boldText, 'chromium');
    assert.ok(Number(weights.bold) >= 700, `<b> renders with font-weight ${weights.bold}`);
    assert.ok(Number(weights.plain) < 600, `plain text renders with font-weight ${weights.plain}`);

    // Change the screen through the host while the page stays open; the page
    // is never reloaded from here.
    const stamp = `changed at ${new Date().toISOString()}`;
    host.stdin.write(`${stamp}\n`);
    await until('the host to write the change', 5000, () => pageFile().includes(stamp));
    const changedAt = Date.now();
    const rows = await until('the open page to show the change', RELOAD_LIMIT_MS, async () => {
      const shown = await shownRows(page);
      return shown.includes(stamp) ? shown : null;
    });
    console.log(`the open page showed the change ${Date.now() - changedAt} ms after the host wrote it`);
    assert.deepEqual(rows, ['row two', 'row three', 'row four', stamp]);

    await page.screenshot({ path: path.join(OUT_DIR, 'screenshot.png') });

    host.stdin.end();
    assert.equal(await exited, 0, errors);
    assert.ok(output.endsWith(`page: ${pagePath}\nlog: ${path.join(workDir, 'logs', 'lumivane.log')}\n`), output);
  } finally {
    if (host.exitCode === null) host.kill();
    if (context) await context.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
