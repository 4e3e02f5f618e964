// The live view in a real browser: lumivane-view serves a directory that
// lumivane-host (follow mode) draws into, and Debian's chromium shows the
// rows in its grid as characters, takes each change without a reload, and
// reconnects by itself when the server comes back.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where the screenshot goes (default: a temp folder):
// view-first.png with the first four rows, view.png after a change,
// view-phone.png on a phone's width.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, startView, until } from './chromium.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;
// A change travels: the page file, the view's next look at it (every 50 ms),
// the event, the grid.
const CHANGE_LIMIT_MS = 1000;


// Starts lumivane-view; resolves with the process and the URL of its start line.

// The grid as it shows: each row's 80 cells, trailing blanks dropped.
const gridRows = (page) =>
  page.evaluate(() => Array.from(document.querySelectorAll('#display .row'), (row) => row.textContent.trimEnd()));

test('the live view shows the rows as characters and takes changes without a reload', { timeout: 90000 }, async () => {
  assert.ok(VIEW, 'LUMIVANE_VIEW names the lumivane-view program');
  assert.ok(HOST, 'LUMIVANE_HOST names the lumivane-host program');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-browser-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  const pagePath = path.join(workDir, 'logs', 'index.htm');
  const pageFile = () => (fs.existsSync(pagePath) ? fs.readFileSync(pagePath, 'latin1') : '');

  let { view, url } = await startView(VIEW, ['--listen', '127.0.0.1:0', workDir], workDir);
  const host = spawn(HOST, ['--lines'], { cwd: workDir, stdio: ['pipe', 'ignore', 'pipe'] });
  let context;
  try {
    host.stdin.write('Lumivane in <b>chromium</b> & "quotes"\nrow two\nrow three\nrow four\n');
    await until('the host to write four rows', 10000, () => pageFile().includes('row four'));

    context = await launchChromium(userDataDir, { width: 1280, height: 420 });
    const page = context.pages()[0] ?? (await context.newPage());
    let navigations = 0;
    page.on('framenavigated', (frame) => {
      if (frame === page.mainFrame()) navigations += 1;
    });
    await page.goto(url);
    const rows = ['Lumivane in <b>chromium</b> & "quotes"', 'row two', 'row three', 'row four'];
    await until('the grid to show the rows', 5000, async () =>
      JSON.stringify(await gridRows(page)) === JSON.stringify(rows));
    assert.equal(await page.locator('#display .row').first().locator('span').count(), 80);
    // Markup in a row is characters on the display, never elements.
    assert.equal(await page.locator('#display b').count(), 0);
    assert.equal(await page.textContent('#state'), 'live');
    fs.mkdirSync(OUT_DIR, { recursive: true });
    await page.screenshot({ path: path.join(OUT_DIR, 'view-first.png') });

    // A change: the grid shows it within the limit, and the page is never
    // loaded again.
    const stamp = `changed at ${new Date().toISOString()}`;
    host.stdin.write(`${stamp}\n`);
    await until('the host to write the change', 5000, () => pageFile().includes(stamp));
    const changedAt = Date.now();
    await until('the grid to show the change', CHANGE_LIMIT_MS, async () => (await gridRows(page))[3] === stamp);
    console.log(`the grid showed the change ${Date.now() - changedAt} ms after the host wrote it`);
    assert.deepEqual(await gridRows(page), ['row two', 'row three', 'row four', stamp]);
    assert.equal(navigations, 1);
    assert.match(await page.textContent('#changed'), /last change \d/);
    await page.screenshot({ path: path.join(OUT_DIR, 'view.png') });

    // The page goes away: the view says it waits for it, and keeps the rows.
    fs.rmSync(pagePath);
    await until('the status to say waiting', 5000, async () => (await page.textContent('#state')) === 'waiting for the page');
    assert.deepEqual(await gridRows(page), ['row two', 'row three', 'row four', stamp]);
    host.stdin.write('the page is back\n');
    await until('the page to come back', 5000, async () => (await gridRows(page))[3] === 'the page is back');
    assert.equal(await page.textContent('#state'), 'live');

    // On a phone's width the whole grid fits, without scrolling sideways.
    await page.setViewportSize({ width: 390, height: 640 });
    const widths = await page.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      grid: document.querySelector('#display').getBoundingClientRect().width,
    }));
    assert.ok(widths.page <= 390, `the page is ${widths.page} px wide on a 390 px screen`);
    assert.ok(widths.grid > 300, `the grid is ${widths.grid} px wide on a 390 px screen`);
    await page.screenshot({ path: path.join(OUT_DIR, 'view-phone.png') });

    // The server goes away and comes back on the same port: the page says so
    // and picks up by itself.
    view.kill('SIGTERM');
    assert.equal(await view.exited, 0, view.output());
    await until('the status to say reconnecting', 10000, async () => (await page.textContent('#state')) === 'reconnecting');
    ({ view } = await startView(VIEW, ['--listen', new URL(url).host, workDir], workDir));
    host.stdin.write('after the restart\n');
    await until('the grid to show a change after the restart', 15000, async () => (await gridRows(page))[3] === 'after the restart');
    assert.equal(await page.textContent('#state'), 'live');
    assert.equal(navigations, 1);

    host.stdin.end();
  } finally {
    if (host.exitCode === null) host.kill();
    if (view.exitCode === null) view.kill();
    if (context) await context.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
