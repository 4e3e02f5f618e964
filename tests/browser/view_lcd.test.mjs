// The live view as the host's own module shows it, in a real browser: a
// 20x4 area drawn dot by dot from the HD44780 A00 ROM, text outside the area
// reported, changes drawn without a reload, the choosers kept across a
// reload, a phone's width, an unknown value in the URL, the picture link, and
// the time each update takes while the screen changes every 100 ms, and a
// clip of those changes.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_FRAME_SECONDS: how long the screen changes every 100 ms (default
// 60). LUMIVANE_BROWSER_OUT: where the screenshots (view-dots*.png) and the
// update times (view-dots-update-times.json) go.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, sleep, startView, until } from './chromium.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;
const FRAME_SECONDS = Number(process.env.LUMIVANE_FRAME_SECONDS || 60);

// The datasheet's drawings of the cells the test looks at (A00), from the
// tests' own copy that the C++ tests read too.
const GLYPHS = JSON.parse(fs.readFileSync(new URL('../support/datasheet_glyphs.json', import.meta.url))).glyphs;
const a00 = (code) => GLYPHS.find((glyph) => glyph.rom === 'A00' && Number(glyph.code) === code).dots;
const DRAWINGS = { T: a00(0x54), degree: a00(0xdf), block: a00(0xff), arrow: a00(0x7e) };

// A cell of the canvas read back as its 5x8 dots: '#' where the dot's centre
// has the theme's lit colour.
const cellDots = (page, r, c) =>
  page.evaluate(
    ([r, c]) => {
      const canvas = document.getElementById('dots');
      const context = canvas.getContext('2d');
      const lines = [];
      for (let y = 0; y < 8; y++) {
        let line = '';
        for (let x = 0; x < 5; x++) {
          const dot = window.lumivaneDotAt(r, c, x, y);
          const [red, green, blue] = context.getImageData(
            Math.floor(dot.x + dot.size / 2), Math.floor(dot.y + dot.size / 2), 1, 1).data;
          line += red + green + blue < 3 * 0x50 ? '#' : '.';
        }
        lines.push(line);
      }
      return lines;
    },
    [r, c],
  );

test('the dots page: a 20x4 A00 panel, hidden text, changes, choices kept, a phone', { timeout: 60000 + FRAME_SECONDS * 1000 }, async () => {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-lcd-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  const pagePath = path.join(workDir, 'logs', 'index.htm');
  const pageFile = () => (fs.existsSync(pagePath) ? fs.readFileSync(pagePath, 'latin1') : '');
  const { view, url } = await startView(VIEW, ['--listen', '127.0.0.1:0', workDir], workDir);
  const host = spawn(HOST, ['--lines'], { cwd: workDir, stdio: ['pipe', 'ignore', 'pipe'] });
  const send = (text) => host.stdin.write(Buffer.from(text + '\n', 'latin1'));
  let context;
  try {
    // Row 1: "Temp 21°C", a bar of full blocks, and text at column 30.
    send('Temp 21\xdfC \xff\xff\xff' + ' '.repeat(16) + 'beyond');
    send('\x7e next');
    send('row three');
    send('row four');
    await until('the host to write the rows', 10000, () => pageFile().includes('row four'));

    context = await launchChromium(userDataDir, { width: 1280, height: 520 });
    const page = context.pages()[0] ?? (await context.newPage());
    let navigations = 0;
    page.on('framenavigated', (frame) => {
      if (frame === page.mainFrame()) navigations += 1;
    });
    await page.goto(`${url}?size=20x4&encoding=hd44780-a00`);
    await until('the dots to show row 1', 5000, async () =>
      (await page.locator('#dots').count()) === 1 && JSON.stringify(await cellDots(page, 0, 0)) === JSON.stringify(DRAWINGS.T));
    assert.deepEqual(await cellDots(page, 0, 7), DRAWINGS.degree);
    assert.deepEqual(await cellDots(page, 0, 10), DRAWINGS.block);
    assert.equal(await page.textContent('#notice'), 'text beyond 20x4 is hidden');
    assert.equal(await page.locator('#display .cell').count(), 0, 'no text cells beside the dots');
    const href = await page.getAttribute('#save', 'href');
    assert.equal(href, '/screen.png?size=20x4&theme=green&encoding=hd44780-a00');
    fs.mkdirSync(OUT_DIR, { recursive: true });
    await page.screenshot({ path: path.join(OUT_DIR, 'view-dots.png') });

    // A change is drawn without loading the page again; the notice goes once
    // the hidden text has scrolled off.
    send('Temp 22\xdfC');
    await until('the change to show', 2000, async () =>
      JSON.stringify(await cellDots(page, 0, 0)) === JSON.stringify(DRAWINGS.arrow));
    assert.deepEqual(await cellDots(page, 3, 7), DRAWINGS.degree);
    assert.equal(await page.textContent('#notice'), '');
    assert.equal(navigations, 1);

    // The picture the link saves is the screen, as a PNG.
    const picture = await page.evaluate(async (href) => {
      const response = await fetch(href);
      return { type: response.headers.get('content-type'), size: (await response.arrayBuffer()).byteLength };
    }, href);
    assert.equal(picture.type, 'image/png');
    assert.ok(picture.size > 100);

    // A theme chosen on the page survives a reload, and a later visit of
    // plain / shows the stored choices.
    await page.selectOption('#theme', 'oled');
    assert.match(page.url(), /theme=oled/);
    await page.reload();
    await page.goto(url);
    await until('the stored choices', 5000, async () => (await page.locator('#dots').count()) === 1);
    assert.equal(await page.inputValue('#size'), '20x4');
    assert.equal(await page.inputValue('#encoding'), 'hd44780-a00');
    assert.equal(await page.inputValue('#theme'), 'oled');
    await page.screenshot({ path: path.join(OUT_DIR, 'view-dots-oled.png') });
    await page.selectOption('#theme', 'green');

    // A phone: the 20x4 panel fills the width, each character at least 12
    // CSS px wide, nothing scrolls sideways; in the dots and as text.
    await page.setViewportSize({ width: 390, height: 700 });
    await sleep(300);  // the panel redraws at its new size
    const phone = await page.evaluate(() => {
      const canvas = document.getElementById('dots');
      const pixels = canvas.getBoundingClientRect().width / canvas.width;
      const first = window.lumivaneDotAt(0, 0, 0, 0);
      const second = window.lumivaneDotAt(0, 1, 0, 0);
      return { page: document.documentElement.scrollWidth, character: (second.x - first.x) * pixels };
    });
    assert.ok(phone.page <= 390, `the page is ${phone.page} px wide on a 390 px screen`);
    assert.ok(phone.character >= 12, `a character takes ${phone.character} px`);
    assert.deepEqual(await cellDots(page, 0, 0), DRAWINGS.arrow);
    await page.screenshot({ path: path.join(OUT_DIR, 'view-dots-phone.png') });
    await page.selectOption('#encoding', 'windows-1252');
    const text = await page.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      cell: document.querySelector('#display .cell').getBoundingClientRect().width,
      cells: document.querySelectorAll('#display .row:first-child .cell').length,
      row: document.querySelector('#display .row:nth-child(4)').textContent.trimEnd(),
    }));
    assert.ok(text.page <= 390, `the page is ${text.page} px wide on a 390 px screen`);
    assert.ok(text.cell >= 12, `a text cell is ${text.cell} px wide`);
    assert.equal(text.cells, 20);
    assert.equal(text.row, 'Temp 22\u00dfC');
    await page.screenshot({ path: path.join(OUT_DIR, 'view-text-phone.png') });

    // An unknown value in the URL: the default, said in the notice, never
    // a blank panel.
    await page.setViewportSize({ width: 1280, height: 520 });
    await page.goto(`${url}?size=99x9&encoding=hd44780-a00&theme=pink`);
    await until('the fallback panel', 5000, async () =>
      (await page.locator('#dots').count()) === 1 && JSON.stringify(await cellDots(page, 3, 7)) === JSON.stringify(DRAWINGS.degree));
    assert.match(await page.textContent('#notice'), /unknown size "99x9": showing the default/);
    assert.match(await page.textContent('#notice'), /unknown theme "pink"/);
    assert.equal(await page.inputValue('#size'), '80x4');

    await page.screenshot({ path: path.join(OUT_DIR, 'view-dots-fallback.png') });

    // The time each update takes in the browser, with a change every 100 ms.
    await page.goto(`${url}?size=20x4&encoding=hd44780-a00&theme=green`);
    await until('the panel', 5000, async () => (await page.locator('#dots').count()) === 1);
    await page.evaluate(() => (window.lumivaneUpdateTimes.length = 0));
    const changes = FRAME_SECONDS * 10;
    for (let i = 0; i < changes; i++) {
      send(`tick ${i} ${'\xff'.repeat(i % 12)}`);
      await sleep(100);
    }
    await sleep(500);
    const times = await page.evaluate(() => window.lumivaneUpdateTimes.slice());
    times.sort((a, b) => a - b);
    const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
    // A clip of the ticks (60 s and 600 changes by default), as "Save clip"
    // makes it from a mark at the first: its frames and its time to make.
    const clip = await page.evaluate(async () => {
      const ticks = await askHistory('limit=10000');
      clipMark = ticks.versions.find((entry) => entry.codes.some((row) => row.startsWith('tick 0 '))).position;
      const made = await makeClip();
      clipMark = null;
      return { frames: made.frames, bytes: made.bytes.length, ms: window.lumivaneClipTimes.at(-1) };
    });
    const figures = {
      changes, updates: times.length, median_ms: at(0.5), p99_ms: at(0.99), max_ms: times[times.length - 1],
      clip_frames: clip.frames, clip_bytes: clip.bytes, clip_ms: Math.round(clip.ms),
    };
    fs.writeFileSync(path.join(OUT_DIR, 'view-dots-update-times.json'), JSON.stringify(figures, null, 1));
    console.log(`dots page updates: ${JSON.stringify(figures)}`);
    assert.ok(times.length >= changes * 0.9, `${times.length} updates for ${changes} changes`);
    assert.ok(clip.frames >= changes * 0.9, `${clip.frames} frames in the clip of ${changes} changes`);

    host.stdin.end();
  } finally {
    if (host.exitCode === null) host.kill();
    if (view.exitCode === null) view.kill();
    if (context) await context.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
