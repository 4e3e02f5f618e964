// A spare phone, a stream and a dashboard, in a real browser: kiosk mode at a
// phone's size in landscape (the panel alone across the width, a tap shows
// the controls, Escape, the button and a double tap), the wake lock on
// localhost and nosleep.js's fallback from the first tap on a non-secure
// origin, the bare view's transparency, the manifest's installability, and
// framing refused outside the bare view given its token.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where the screenshots (view-kiosk*.png,
// view-bare*.png, view-framed.png) go.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, sleep, startView, until } from './chromium.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;
const TOKEN = 'kiosk-test-token_0123456789';
const PHONE = { width: 844, height: 390 };
// Each row written across the whole screen, over what the start-up screen left.
const ROWS = [' Lumivane      12:34', 'CPU  38\xdfC  \xff\xff\xff\xff\xff', 'GPU  51\xdfC  \xff\xff\xff', 'Net \x7e 2.4 MB/s'];
const SCREEN = ROWS.map((row, i) => `pos 1 ${i + 1}\nwrite ${row.padEnd(80)}\n`).join('');
// A name for 127.0.0.1 that chromium does not count as secure.
const PLAIN_NAME = 'lumivane.test';
const RESOLVE_PLAIN_NAME = [`--host-resolver-rules=MAP ${PLAIN_NAME} 127.0.0.1, MAP dashboard.test 127.0.0.1`];

function drawScreen() {
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-kiosk-'));
  fs.writeFileSync(path.join(workDir, 'script'), Buffer.from(SCREEN, 'latin1'));
  execFileSync(HOST, ['--fast', 'script'], { cwd: workDir, stdio: 'ignore' });
  return workDir;
}

// Runs `body` with the view over the host's screen and the browsers it
// opens, and stops them all whatever happens.
async function withView(args, body) {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  fs.mkdirSync(OUT_DIR, { recursive: true });
  const workDir = drawScreen();
  const { view, url } = await startView(VIEW, [...args, workDir], workDir);
  const contexts = [];
  const browser = async (viewport, more) => {
    const context = await launchChromium(fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-')), viewport, more);
    contexts.push(context);
    return { context, page: context.pages()[0] ?? (await context.newPage()) };
  };
  try {
    await body({ url, origin: new URL(url).origin, port: new URL(url).port, browser });
  } finally {
    for (const context of contexts) await context.close();
    view.kill('SIGTERM');
  }
}

const live = (page) => until('the view to be live', 10000, async () => (await page.textContent('#state')) === 'live');

// Reads a screenshot's pixels in chromium itself: the pixels outside `rect`
// that are not `outside` ([r, g, b, a]), and when `inside` (a PNG data URL
// of rect's size) is given, the pixels within rect that differ from it,
// squares of `corner` px at its corners left out (the panel's round corners).
async function countPixels(context, screenshot, rect, outside, inside = null, corner = 0) {
  const page = await context.newPage();
  try {
    return await page.evaluate(async ({ shot, rect, outside, inside, corner }) => {
      const pixels = async (url) => {
        const blob = await (await fetch(url)).blob();
        const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
        const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
        const g = canvas.getContext('2d');
        g.drawImage(bitmap, 0, 0);
        return g.getImageData(0, 0, bitmap.width, bitmap.height);
      };
      const image = await pixels(shot);
      const reference = inside ? await pixels(inside) : null;
      let wrongOutside = 0, wrongInside = 0, firstWrong = null;
      for (let y = 0; y < image.height; y++) {
        for (let x = 0; x < image.width; x++) {
          const at = (y * image.width + x) * 4;
          const px = image.data.slice(at, at + 4);
          const dx = x - rect.x, dy = y - rect.y;
          if (dx < 0 || dy < 0 || dx >= rect.width || dy >= rect.height) {
            if (px.some((v, i) => v !== outside[i])) wrongOutside++;
            continue;
          }
          if (!reference) continue;
          const edgeX = dx < corner || dx >= rect.width - corner, edgeY = dy < corner || dy >= rect.height - corner;
          if (edgeX && edgeY) continue;
          const ref = (dy * reference.width + dx) * 4;
          if (px.some((v, i) => v !== reference.data[ref + i])) {
            wrongInside++;
            firstWrong ??= { x, y, px: Array.from(px), ref: Array.from(reference.data.slice(ref, ref + 4)) };
          }
        }
      }
      return { width: image.width, height: image.height, wrongOutside, wrongInside, firstWrong };
    }, { shot: 'data:image/png;base64,' + screenshot.toString('base64'), rect, outside, inside, corner });
  } finally {
    await page.close();
  }
}

// The pixels a box of the layout is painted on: chromium snaps its edges to
// the nearest whole pixel.
function pixelRect(box) {
  const x = Math.round(box.x), y = Math.round(box.y);
  return { x, y, width: Math.round(box.x + box.width) - x, height: Math.round(box.y + box.height) - y };
}

const CONTROLS = ['.controls', '#kiosk', '#size', '.status', '#awake', '.notice', '.page'];
async function visibleControls(page) {
  const shown = [];
  for (const selector of CONTROLS) if (await page.locator(selector).isVisible()) shown.push(selector);
  return shown;
}

test('kiosk on a phone in landscape: the panel alone across the width; a tap shows the controls; Escape, the button and a double tap', { timeout: 90000 }, async () => {
  await withView(['--listen', '127.0.0.1:0', '--size', '20x4', '--encoding', 'hd44780-a00', '--theme', 'blue'], async ({ url, browser }) => {
    const { context, page } = await browser(PHONE, { hasTouch: true, isMobile: true });
    await page.goto(`${url}?kiosk=1`);
    await live(page);
    await sleep(300);  // the dots redrawn at the panel's final size
    const layout = await page.evaluate(() => ({
      panel: document.getElementById('bezel').getBoundingClientRect().toJSON(),
      scrollWidth: document.documentElement.scrollWidth,
      scrollHeight: document.documentElement.scrollHeight,
    }));
    assert.equal(layout.panel.x, 0);
    assert.equal(layout.panel.width, PHONE.width, 'the panel fills the width');
    assert.ok(layout.panel.height <= PHONE.height && layout.panel.height > PHONE.height / 2, `the panel is ${layout.panel.height} px high`);
    assert.ok(layout.scrollWidth <= PHONE.width && layout.scrollHeight <= PHONE.height, 'nothing scrolls');
    assert.deepEqual(await visibleControls(page), []);
    const shot = await page.screenshot({ path: path.join(OUT_DIR, 'view-kiosk-844x390.png') });
    const black = await countPixels(context, shot, pixelRect(layout.panel), [0, 0, 0, 255]);
    assert.equal(black.wrongOutside, 0, 'nothing but the panel on a black screen');

    // A tap: the controls for a few seconds, then the panel alone again.
    await page.tap('#display');
    await until('the controls', 2000, async () => (await page.locator('.controls').isVisible()));
    assert.ok(await page.locator('#kiosk').isVisible());
    assert.ok(await page.locator('#awake').isVisible());
    await page.screenshot({ path: path.join(OUT_DIR, 'view-kiosk-tapped.png') });
    await until('the controls to hide again', 8000, async () => (await visibleControls(page)).length === 0, 200);

    // Escape leaves; the button comes back and puts the page in full screen.
    await page.keyboard.press('Escape');
    assert.equal(await page.evaluate(() => document.body.classList.contains('kiosk')), false);
    assert.ok(await page.locator('#kiosk').isVisible());
    assert.equal(await page.textContent('#kiosk'), 'full screen');
    await page.click('#kiosk');
    await until('full screen', 3000, () => page.evaluate(() => document.fullscreenElement !== null));
    assert.ok(await page.evaluate(() => document.body.classList.contains('kiosk')));
    await page.tap('#display');
    await page.locator('#kiosk').waitFor({ state: 'visible', timeout: 2000 });
    assert.equal(await page.textContent('#kiosk'), 'leave full screen');
    await page.click('#kiosk');
    await until('full screen left', 3000, () => page.evaluate(() => document.fullscreenElement === null));
    assert.equal(await page.evaluate(() => document.body.classList.contains('kiosk')), false);

    // A double tap on the panel goes in, another comes out.
    await page.dblclick('#display');
    await until('kiosk again', 3000, () => page.evaluate(() => document.body.classList.contains('kiosk')));
    await page.dblclick('#display');
    await until('kiosk left', 3000, () => page.evaluate(() => !document.body.classList.contains('kiosk')));

    // As text cells, the 20x4 panel fills the width as well.
    await page.goto(`${url}?kiosk=1&encoding=windows-1252`);
    await live(page);
    const text = await page.evaluate(() => document.getElementById('bezel').getBoundingClientRect().toJSON());
    assert.equal(text.width, PHONE.width, 'the text panel fills the width');
    assert.ok(text.height <= PHONE.height, `the text panel is ${text.height} px high`);
    assert.deepEqual(await visibleControls(page), []);
    await page.screenshot({ path: path.join(OUT_DIR, 'view-kiosk-text.png') });

    // The README's picture: the kiosk screenshot in a phone's frame.
    const phone = await context.newPage();
    await phone.setViewportSize({ width: PHONE.width + 120, height: PHONE.height + 80 });
    await phone.setContent(`<body style="margin:0;background:#d9dcdf;display:grid;place-items:center;height:100vh">
      <div style="padding:14px 44px;background:#121314;border-radius:46px;box-shadow:0 10px 30px #0006,inset 0 0 0 2px #333">
      <img style="display:block;border-radius:10px" src="data:image/png;base64,${shot.toString('base64')}"></div></body>`);
    await phone.screenshot({ path: path.join(OUT_DIR, 'view-kiosk-phone.png') });
  });
});

test('the screen kept awake: a wake lock on localhost, taken again when the page shows again', { timeout: 60000 }, async () => {
  await withView(['--listen', '127.0.0.1:0'], async ({ port, browser }) => {
    const { context, page } = await browser({ width: 900, height: 400 });
    const origin = `http://localhost:${port}`;
    const cdp = await context.newCDPSession(page);
    await cdp.send('Browser.grantPermissions', { origin, permissions: ['wakeLockScreen'] });
    await page.addInitScript(() => {
      window.lumivaneWakeRequests = [];
      const request = navigator.wakeLock.request.bind(navigator.wakeLock);
      navigator.wakeLock.request = (type) => {
        window.lumivaneWakeRequests.push(type);
        return request(type);
      };
    });
    await page.goto(`${origin}/`);
    await live(page);
    assert.equal(await page.evaluate(() => window.isSecureContext), true);
    await until('the lock', 5000, async () => (await page.textContent('#awake')) === '\u00b7 screen kept awake');
    assert.deepEqual(await page.evaluate(() => window.lumivaneWakeRequests), ['screen']);

    // The system drops the lock while the page is hidden; shown again, the
    // page takes it again.
    await page.evaluate(() => awake.lock.release());
    await until('the lock dropped', 3000, async () => (await page.textContent('#awake')) === '\u00b7 screen may sleep');
    await page.evaluate(() => document.dispatchEvent(new Event('visibilitychange')));
    await until('the lock again', 3000, async () => (await page.textContent('#awake')) === '\u00b7 screen kept awake');
    assert.deepEqual(await page.evaluate(() => window.lumivaneWakeRequests), ['screen', 'screen']);
  });
});

test('over plain HTTP beyond localhost: nosleep.js from the first tap', { timeout: 60000 }, async () => {
  // A name other than this computer's is answered only with the token, as a
  // phone on the network is.
  await withView(['--listen', '127.0.0.1:0', '--token', TOKEN], async ({ port, browser }) => {
    const { page } = await browser({ width: 900, height: 400 }, { args: RESOLVE_PLAIN_NAME });
    await page.goto(`http://${PLAIN_NAME}:${port}/?token=${TOKEN}`);
    await live(page);
    assert.deepEqual(await page.evaluate(() => [window.isSecureContext, 'wakeLock' in navigator]), [false, false]);
    assert.equal(await page.textContent('#awake'), '\u00b7 screen may sleep: tap to keep it awake');
    assert.equal(await page.evaluate(() => awake.video), null, 'nothing plays before a tap');
    await page.click('#display');
    await until('the screen kept awake', 5000, async () => (await page.textContent('#awake')) === '\u00b7 screen kept awake');
    assert.equal(await page.evaluate(() => awake.video.noSleepVideo.paused), false, "nosleep.js's video plays");
  });
});

test('bare: only the panel on a transparent page, its exact pixels, no scroll bars', { timeout: 60000 }, async () => {
  await withView(['--listen', '127.0.0.1:0', '--size', '20x4', '--encoding', 'hd44780-a00'], async ({ url, browser }) => {
    const { context, page } = await browser({ width: 900, height: 500 });
    for (const [query, name] of [['?bare=1&bezel=0', 'view-bare-no-bezel.png'], ['?bare=1', 'view-bare.png']]) {
      await page.goto(url + query);
      await live(page);
      await sleep(300);
      const look = await page.evaluate(() => {
        const canvas = document.getElementById('dots');
        return {
          bezel: document.getElementById('bezel').getBoundingClientRect().toJSON(),
          canvas: canvas.getBoundingClientRect().toJSON(),
          pixels: [canvas.width, canvas.height],
          dots: canvas.toDataURL('image/png'),
          scroll: [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
          shown: [...document.body.children].filter((e) => e.id !== 'bezel' && e.getClientRects().length > 0).map((e) => e.className),
        };
      });
      assert.deepEqual(look.shown, [], 'nothing shows but the panel');
      assert.ok(look.scroll[0] <= 900 && look.scroll[1] <= 500, 'no scroll bars');
      assert.ok(look.bezel.width === 900 || Math.abs(look.bezel.height - 500) <= 1, `the panel is sized to the window: ${JSON.stringify(look.bezel)}`);
      const shot = await page.screenshot({ path: path.join(OUT_DIR, name), omitBackground: true });
      if (query.includes('bezel=0')) {
        assert.deepEqual([look.canvas.width, look.canvas.height], look.pixels, 'one canvas pixel a screen pixel');
        const counted = await countPixels(context, shot, pixelRect(look.canvas), [0, 0, 0, 0], look.dots, 6);
        assert.equal(counted.wrongOutside, 0, 'alpha 0 outside the panel');
        assert.equal(counted.wrongInside, 0, `the panel's own pixels inside: ${JSON.stringify(counted.firstWrong)}`);
      } else {
        const counted = await countPixels(context, shot, pixelRect(look.bezel), [0, 0, 0, 0]);
        assert.equal(counted.wrongOutside, 0, 'alpha 0 outside the panel and its bezel');
      }
    }
  });
});

test("the manifest: chromium's installability check on localhost finds nothing, through the token's cookie", { timeout: 60000 }, async () => {
  await withView(['--listen', '127.0.0.1:0', '--token', TOKEN], async ({ port, browser }) => {
    const { context, page } = await browser({ width: 900, height: 400 });
    await page.goto(`http://localhost:${port}/?token=${TOKEN}`);
    assert.equal(page.url(), `http://localhost:${port}/`);
    await live(page);
    const cdp = await context.newCDPSession(page);
    const manifest = await until('the manifest', 10000, async () => {
      const answer = await cdp.send('Page.getAppManifest');
      return answer.data ? answer : null;
    });
    assert.deepEqual(manifest.errors, []);
    assert.equal(manifest.url, `http://localhost:${port}/manifest.webmanifest`);
    const parsed = JSON.parse(manifest.data);
    assert.equal(parsed.start_url, `/?kiosk=1&token=${TOKEN}`);
    assert.equal(parsed.display, 'fullscreen');
    const { installabilityErrors } = await until('the installability check', 10000, async () => {
      const answer = await cdp.send('Page.getInstallabilityErrors');
      return answer.installabilityErrors.some((e) => e.errorId === 'manifest-empty') ? null : answer;
    });
    assert.deepEqual(installabilityErrors, []);
  });
});

// Another site frames the view: a page of frames served on another port
// (another origin of the same site, which gets the cookie) and on another
// name (another site, which gets none).
test('framing: only the bare view given its token shows in another site; everything else is refused', { timeout: 60000 }, async () => {
  await withView(['--listen', '127.0.0.1:0', '--token', TOKEN], async ({ port, browser }) => {
    const view = `http://127.0.0.1:${port}`;
    const frames = {
      bare: `${view}/?bare=1&token=${TOKEN}&size=20x4&encoding=hd44780-a00`,
      view: `${view}/`,
      kiosk: `${view}/?kiosk=1`,
      bareCookie: `${view}/?bare=1`,
      page: `${view}/index.htm`,
    };
    const dashboard = http.createServer((request, response) => {
      response.setHeader('Content-Type', 'text/html');
      response.end('<!doctype html><body style="background:#345">' +
        Object.entries(frames).map(([name, src]) => `<iframe name="${name}" src="${src}" width="400" height="150"></iframe>`).join('') + '</body>');
    });
    await new Promise((resolve) => dashboard.listen(0, '127.0.0.1', resolve));
    try {
      const { page } = await browser({ width: 900, height: 400 }, { args: RESOLVE_PLAIN_NAME });
      await page.goto(`${view}/?token=${TOKEN}`);  // the cookie, for the same site's frames
      await live(page);
      for (const host of ['127.0.0.1', 'dashboard.test']) {
        const refused = [];
        page.on('console', (message) => /frame-ancestors/.test(message.text()) && refused.push(message.text()));
        await page.goto(`http://${host}:${dashboard.address().port}/`);
        const bare = page.frame({ name: 'bare' });
        await until(`the bare frame live on ${host}`, 10000, async () =>
          (await bare.evaluate(() => document.getElementById('state').textContent).catch(() => '')) === 'live');
        assert.equal(await bare.evaluate(() => document.body.classList.contains('bare')), true);
        for (const name of ['view', 'kiosk', 'bareCookie', 'page']) {
          const frame = page.frame({ name });
          await until(`${name} refused on ${host}`, 5000, async () =>
            (await frame.evaluate(() => document.getElementById('state')?.textContent ?? null).catch(() => null)) === null
            && frame.url() !== 'about:blank');
        }
        await until(`chromium's word on ${host}`, 5000, () => refused.length >= 4);
        await page.screenshot({ path: path.join(OUT_DIR, `view-framed-${host}.png`) });
      }
    } finally {
      dashboard.close();
    }
  });
});
