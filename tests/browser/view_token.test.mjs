// The view beyond loopback in a real browser: chromium opens the URL the view
// printed, ends on the same URL without the token and sees the screen; a
// fresh browser without that URL gets 403 and nothing of the screen. The
// invited browser's "open on another device" shows a QR code that zbarimg
// (Debian's zbar-tools) reads back as the printed URL, token and all.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where view-token.png, view-token-share.png,
// view-token-qr.png and view-token-403.png go.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, startView, until } from './chromium.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;

test('the printed URL lets a browser in and leaves the address bar; no URL, no screen', { timeout: 90000 }, async () => {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-token-'));
  fs.writeFileSync(path.join(workDir, 'script'), 'pos 1 1\nwrite Only for invited eyes, and nobody else\n');
  execFileSync(HOST, ['--fast', 'script'], { cwd: workDir, stdio: 'ignore' });

  const { view, url } = await startView(VIEW, ['--listen', '0.0.0.0:0', workDir], workDir,
    /^Lumivane view: (http:\/\/\S+\/\?token=[A-Za-z0-9_-]{22}) \(page: /m);
  const contexts = [];
  try {
    const bare = url.replace(/\?token=.*$/, '');
    fs.mkdirSync(OUT_DIR, { recursive: true });

    const invited = await launchChromium(fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-')),
      { width: 1280, height: 420 });
    contexts.push(invited);
    const page = invited.pages()[0] ?? (await invited.newPage());
    await page.goto(url);
    await until('the address bar to lose the token', 5000, () => page.url() === bare);
    await until('the grid to show the screen', 5000, async () =>
      (await page.locator('#display .row').first().textContent())?.trimEnd() === 'Only for invited eyes, and nobody else');
    assert.equal(await page.textContent('#state'), 'live');
    await page.screenshot({ path: path.join(OUT_DIR, 'view-token.png') });

    const share = page.locator('#share');
    await share.waitFor({ state: 'visible', timeout: 5000 });
    assert.equal(await share.textContent(), 'open on another device');
    assert.equal(await page.locator('#share-code').isVisible(), false);
    await share.click();
    const qr = page.locator('#share-qr');
    await qr.waitFor({ state: 'visible', timeout: 5000 });
    const qrFile = path.join(OUT_DIR, 'view-token-qr.png');
    await qr.screenshot({ path: qrFile });
    await page.screenshot({ path: path.join(OUT_DIR, 'view-token-share.png'), fullPage: true });
    assert.equal(execFileSync('zbarimg', ['--raw', '-q', qrFile], { encoding: 'utf8' }).trim(), url);

    // Another browser, without the printed URL.
    const stranger = await launchChromium(fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-')),
      { width: 800, height: 300 });
    contexts.push(stranger);
    const other = stranger.pages()[0] ?? (await stranger.newPage());
    const response = await other.goto(bare);
    assert.equal(response.status(), 403);
    const text = await other.textContent('body');
    assert.match(text, /Open the address that lumivane-view printed/);
    assert.doesNotMatch(text, /invited eyes/);
    assert.equal(await other.locator('#share').count(), 0);
    const shared = await other.goto(`${bare}share.json`);
    assert.equal(shared.status(), 403);
    assert.ok(!(await shared.text()).includes(url.replace(/^.*token=/, '')), 'the 403 holds no token');
    const screen = await other.goto(`${bare}screen.json`);
    assert.equal(screen.status(), 403);
    await other.screenshot({ path: path.join(OUT_DIR, 'view-token-403.png') });
  } finally {
    for (const context of contexts) await context.close();
    view.kill('SIGTERM');
  }
});
