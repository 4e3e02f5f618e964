// The screen's history in a real browser at a phone's width: ten changes at
// known gaps, each scrubbed back to (keys, mouse and touch) and its panel
// compared dot by dot with /screen.png?version=N; a change while looking
// back that moves nothing; back to live; and a clip of the ten saved as a
// GIF and decoded with Pillow: one frame per change, in order, each delay
// within 10 ms of its recorded gap.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where the screenshots (view-history-*.png) and the
// clip (view-history-clip.gif) go.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, startView, until } from './chromium.mjs';
import { clockOf, panelAgainstPicture } from './history_panel.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;
// The gaps between the ten changes, in ms: each a frame's delay in the clip.
const GAPS = [150, 230, 90, 310, 120, 270, 180, 400, 60, 200];

test('the history: scrub back to each change, a clip of them decoded', { timeout: 90000 }, async () => {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-history-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  const { view, url } = await startView(VIEW, ['--listen', '127.0.0.1:0', workDir], workDir);
  // lumivane-host runs a script from its standard input: a Write for each change.
  const runHost = (script) => {
    const host = spawn(HOST, ['-'], { cwd: workDir, stdio: ['pipe', 'ignore', 'inherit'] });
    host.stdin.end(script);
    return new Promise((resolve) => host.on('exit', resolve));
  };
  let context;
  try {
    context = await launchChromium(userDataDir, { width: 390, height: 800 }, { hasTouch: true });
    const page = context.pages()[0] ?? (await context.newPage());
    await page.goto(`${url}?size=20x4&encoding=hd44780-a00&theme=green`);
    await until('the panel', 5000, async () => (await page.locator('#dots').count()) === 1);

    // Init's screen with row 2 blank, then ten changes at known gaps, a bar on
    // row 2 one full block longer each time, and one more that ends the tenth's.
    const script = GAPS.map((gap, i) => `pos 1 2\nwrite ${'\\xff'.repeat(i + 1)} step\nsleep ${gap}\n`).join('');
    const blank = `pos 1 2\nwrite ${' '.repeat(20)}\nsleep 300\n`;
    assert.equal(await runHost(blank + script + 'pos 1 3\nwrite after the ten\n'), 0);
    await until('the timeline to hold all', 5000, () =>
      page.evaluate(() => count >= 12 && kept.get(newest())?.codes[2].startsWith('after the ten')));
    const versions = await page.evaluate(() => [...kept.values()].sort((a, b) => a.position - b.position)
      .map(({ version, time, position, codes }) => ({ version, time, position, row: codes[1] })));
    assert.equal(versions.length, await page.evaluate(() => count), 'every kept change held');
    const before = versions.length - GAPS.length - 1;
    const ten = versions.slice(before, before + GAPS.length);
    ten.forEach((entry, i) => assert.match(entry.row, new RegExp(`^\u00ff{${i + 1}} step`), `version ${entry.version}`));
    const recorded = ten.map((entry, i) => versions[before + i + 1].time - entry.time);
    console.log(`recorded gaps: ${JSON.stringify(recorded)} ms`);
    assert.equal(await page.textContent('#state'), 'live');

    // Left steps back one change at a time, from wherever the focus is.
    await page.locator('body').click({ position: { x: 5, y: 5 } });
    for (let i = GAPS.length - 1; i >= 0; i--) {
      await page.keyboard.press('ArrowLeft');
      const entry = ten[i];
      const shown = await panelAgainstPicture(page);
      assert.equal(shown.version, entry.version);
      assert.equal(shown.status, 200);
      assert.deepEqual(shown.shown, shown.drawn, `the panel of version ${entry.version}`);
      assert.equal(await page.textContent('#state'), `at ${clockOf(entry.time)}`);
      assert.equal(await page.textContent('#newer'), `${GAPS.length - i} newer`);
    }
    await page.screenshot({ path: path.join(OUT_DIR, 'view-history-phone.png') });

    // A change while looking back: counted, the panel stays.
    const still = await panelAgainstPicture(page);
    assert.equal(await runHost('pos 1 4\nwrite while looking back\n'), 0);
    await until('the newer count', 5000, async () =>
      Number((await page.textContent('#newer')).split(' ')[0]) > GAPS.length);
    assert.deepEqual((await panelAgainstPicture(page)).shown, still.shown);
    assert.equal(await page.textContent('#state'), `at ${clockOf(ten[0].time)}`);

    // Right steps forward; the slider takes the keys too.
    await page.keyboard.press('ArrowRight');
    assert.equal((await panelAgainstPicture(page)).version, ten[1].version);
    await page.focus('#scrub');
    await page.keyboard.press('ArrowRight');
    const stepped = await panelAgainstPicture(page);
    assert.equal(stepped.version, ten[2].version);
    assert.deepEqual(stepped.shown, stepped.drawn);

    // The mouse drags the slider to the oldest change.
    const box = await page.locator('#scrub').boundingBox();
    const thumb = await page.evaluate(() => Number(scrub.value) / Number(scrub.max));
    await page.mouse.move(box.x + 8 + thumb * (box.width - 16), box.y + box.height / 2);
    await page.mouse.down();
    await page.mouse.move(box.x - 40, box.y + box.height / 2, { steps: 8 });
    await page.mouse.up();
    const oldest = await panelAgainstPicture(page);
    assert.equal(oldest.version, versions[0].version);
    assert.deepEqual(oldest.shown, oldest.drawn);
    assert.match(await page.textContent('#moment'), /^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$/);

    // A touch at the slider's right end is live again; End from a step back too.
    await page.touchscreen.tap(box.x + box.width - 2, box.y + box.height / 2);
    await until('live after the touch', 2000, async () => (await page.textContent('#state')) === 'live');
    assert.equal(await page.textContent('#newer'), '');
    assert.ok(await page.locator('#to-live').isHidden());
    await page.locator('body').click({ position: { x: 5, y: 5 } });
    await page.keyboard.press('ArrowLeft');
    assert.match(await page.textContent('#state'), /^at /);
    assert.ok(await page.locator('#to-live').isVisible());
    await page.keyboard.press('End');
    assert.equal(await page.textContent('#state'), 'live');
    const phoneWidth = await page.evaluate(() => document.documentElement.scrollWidth);
    assert.ok(phoneWidth <= 390, `the page is ${phoneWidth} px wide on a 390 px screen`);

    // A clip of the ten: marked at the first, saved at the tenth.
    await page.evaluate((position) => lookAt(position), versions[before].position);
    await page.click('#mark');
    await page.evaluate((position) => lookAt(position), versions[before + GAPS.length - 1].position);
    await page.screenshot({ path: path.join(OUT_DIR, 'view-history-clip-span.png') });
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#clip')]);
    const start = new Date(ten[0].time);
    const pad = (n) => String(n).padStart(2, '0');
    assert.equal(download.suggestedFilename(),
      `lumivane-${start.getFullYear()}${pad(start.getMonth() + 1)}${pad(start.getDate())}-` +
      `${pad(start.getHours())}${pad(start.getMinutes())}${pad(start.getSeconds())}.gif`);
    const clipPath = path.join(OUT_DIR, 'view-history-clip.gif');
    await download.saveAs(clipPath);
    // Debian's Pillow (python3-pil, for Debian's python3): each frame's delay
    // and its count of lit pixels (the theme's dark dot colour), which grows
    // by one full block a frame.
    const decoded = JSON.parse(execFileSync('/usr/bin/python3', ['-c', `
import json, sys
from PIL import Image, ImageSequence
clip = Image.open(sys.argv[1])
frames = []
for frame in ImageSequence.Iterator(clip):
    rgb = frame.convert('RGB')
    lit = sum(1 for pixel in rgb.getdata() if pixel == (0x1a, 0x2c, 0x08))
    frames.append({'delay': frame.info.get('duration'), 'lit': lit, 'size': rgb.size})
print(json.dumps({'format': clip.format, 'loop': clip.info.get('loop'), 'frames': frames}))
`, clipPath]).toString());
    console.log(`clip: ${JSON.stringify(decoded.frames.map((f) => [f.delay, f.lit]))}`);
    assert.equal(decoded.format, 'GIF');
    assert.equal(decoded.loop, 0);
    assert.equal(decoded.frames.length, GAPS.length, 'one frame per change');
    decoded.frames.forEach((frame, i) => {
      assert.ok(Math.abs(frame.delay - recorded[i]) <= 10, `frame ${i}: ${frame.delay} ms for a gap of ${recorded[i]} ms`);
    });
    const block = decoded.frames[1].lit - decoded.frames[0].lit;
    assert.ok(block > 0);
    decoded.frames.forEach((frame, i) => assert.equal(frame.lit, decoded.frames[0].lit + i * block, `frame ${i} in order`));

    // By default a clip is the last 30 s up to now: every change since the
    // page was drawn (under 30 s ago) and the one before, if any.
    await page.click('#mark');
    await page.keyboard.press('End');
    const live = await page.evaluate(async () => {
      const { frames } = await clipSpan();
      return { frames: frames.length, last: frames[frames.length - 1].version, newest: kept.get(newest()).version };
    });
    assert.equal(live.last, live.newest);
    assert.ok(live.frames >= GAPS.length + 2);
    await page.setViewportSize({ width: 1280, height: 600 });
    await page.keyboard.press('ArrowLeft');
    await page.screenshot({ path: path.join(OUT_DIR, 'view-history-desktop.png') });
  } finally {
    if (view.exitCode === null) view.kill();
    if (context) await context.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
