// A long history in a real browser at a phone's width: the page's first load
// asks only where the kept changes are and fetches the newest piece of them;
// Home then fetches the piece at the oldest, whose panel is its picture
// (/screen.png?version=N), and Right steps on within that piece.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where the screenshot (view-history-long.png) goes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, startView, until } from './chromium.mjs';
import { clockOf, panelAgainstPicture } from './history_panel.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;
const CHANGES = 20000;

test('a long history: the page fetches the pieces the timeline shows', { timeout: 110000 }, async () => {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-history-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  const { view, url } = await startView(VIEW, ['--listen', '127.0.0.1:0', workDir], workDir);
  let context;
  try {
    // Changes as fast as the host makes them, each seen by the view as it
    // came or a few at once: most of them kept.
    const script = Array.from({ length: CHANGES }, (_, i) => `pos 1 1\nwrite change ${i}\n`).join('');
    const host = spawn(HOST, ['--fast', '-'], { cwd: workDir, stdio: ['pipe', 'ignore', 'inherit'] });
    host.stdin.end(script);
    assert.equal(await new Promise((resolve) => host.on('exit', resolve)), 0);
    const ask = async (query) => (await fetch(`${url.replace(/\/?(\?.*)?$/, '')}/history.json?${query}`)).json();
    const newestKept = async () => {
      const { first, count } = await ask('limit=0');
      return count ? (await ask(`from=${first + count - 1}`)).versions[0] : null;
    };
    await until('the last change kept', 5000, async () => (await newestKept())?.codes[0].startsWith(`change ${CHANGES - 1}`));
    const { first, count } = await ask('limit=0');
    const oldest = (await ask(`from=${first}&limit=2`)).versions;
    console.log(`kept: ${count} changes from position ${first}`);
    assert.ok(count >= 5000, `${count} changes kept`);

    context = await launchChromium(userDataDir, { width: 390, height: 800 });
    const page = context.pages()[0] ?? (await context.newPage());
    const fetched = [];
    page.on('response', (response) => {
      if (!response.url().includes('/history.json')) return;
      response.json().then((answer) => fetched.push({ url: response.url(), versions: answer.versions.length }),
        () => { /* the page closed first */ });
    });
    await page.goto(`${url}?size=20x4&encoding=hd44780-a00&theme=green`);
    await until('the newest piece', 10000, () => page.evaluate(() => tail !== null && kept.has(newest())));
    await until('its answers read', 2000, () => fetched.length >= 2);
    const firstLoad = fetched.reduce((sum, answer) => sum + answer.versions, 0);
    console.log(`first load: ${JSON.stringify(fetched)}`);
    assert.ok(firstLoad <= 200, `the first load fetched ${firstLoad} of ${count} changes`);
    assert.equal(await page.evaluate(() => kept.size), firstLoad);
    assert.equal(await page.evaluate(() => count), count);

    // Home: the oldest, fetched now and drawn as its picture.
    await page.locator('body').click({ position: { x: 5, y: 5 } });
    await page.keyboard.press('Home');
    await until('the oldest shown', 5000, async () => (await page.textContent('#state')) === `at ${clockOf(oldest[0].time)}`);
    const shown = await panelAgainstPicture(page);
    assert.equal(shown.version, oldest[0].version);
    assert.equal(shown.status, 200);
    assert.deepEqual(shown.shown, shown.drawn, `the panel of version ${shown.version}`);
    assert.equal(await page.textContent('#newer'), `${count - 1} newer`);
    assert.equal(await page.evaluate(() => scrub.value), '0');
    await page.keyboard.press('ArrowRight');
    const next = await panelAgainstPicture(page);
    assert.equal(next.version, oldest[1].version);
    assert.deepEqual(next.shown, next.drawn);
    const all = fetched.reduce((sum, answer) => sum + answer.versions, 0);
    assert.ok(all <= 2 * 200, `${all} changes fetched in all`);
    await page.screenshot({ path: path.join(OUT_DIR, 'view-history-long.png') });
  } finally {
    if (view.exitCode === null) view.kill();
    if (context) await context.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
