// The picture is the page: the dots panel, placed at a known scale, shot by
// chromium, against /screen.png of the same size, encoding, theme and scale
// with its bezel (as the picture shows it) cut off, pixel for pixel. The canvas's rounded clip is the
// stated tolerance, counted: a pixel in a corner's square of the radius's side
// may differ, one on the canvas's outer edge by 1 in a channel (the clip's
// anti-aliasing there); every other pixel must be the picture's.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where view-picture-*.png go.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, startView, until } from './chromium.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;
const CORNER_RADIUS = 5; // view.css: .panel canvas's border-radius, in CSS px

const CASES = [
  { size: '20x4', encoding: 'hd44780-a00', theme: 'green', scale: 3 },
  { size: '16x2', encoding: 'hd44780-a02', theme: 'oled', scale: 5 },
];

// Both PNGs decoded by the page's own chromium, compared pixel by pixel:
// the panel's at (x, y) against the picture's at (x + bezel, y + bezel).
function compareInPage([panelBase64, pictureBase64, radius]) {
  const decode = async (base64) => {
    const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
      { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    return { width: bitmap.width, height: bitmap.height, data: context.getImageData(0, 0, bitmap.width, bitmap.height).data };
  };
  return Promise.all([decode(panelBase64), decode(pictureBase64)]).then(([panel, picture]) => {
    // The bezel as the picture shows it: the run of its corner's colour along
    // the middle row.
    const same = (i, j) => [0, 1, 2].every((k) => picture.data[i + k] === picture.data[j + k]);
    const middle = Math.floor(picture.height / 2) * picture.width * 4;
    let bezel = 0;
    while (bezel < picture.width && same(middle + bezel * 4, 0)) bezel++;
    const result = { panel: [panel.width, panel.height], picture: [picture.width, picture.height], bezel, corners: 0, edge: 0, elsewhere: 0, first: null };
    if (picture.width - panel.width !== 2 * bezel || picture.height - panel.height !== 2 * bezel) return result;
    const inCorner = (x, y) =>
      (x < radius || x >= panel.width - radius) && (y < radius || y >= panel.height - radius);
    const onEdge = (x, y) => x === 0 || y === 0 || x === panel.width - 1 || y === panel.height - 1;
    for (let y = 0; y < panel.height; y++) {
      for (let x = 0; x < panel.width; x++) {
        const p = (y * panel.width + x) * 4;
        const q = ((y + bezel) * picture.width + x + bezel) * 4;
        const difference = Math.max(...[0, 1, 2].map((i) => Math.abs(panel.data[p + i] - picture.data[q + i])));
        if (difference === 0) continue;
        if (inCorner(x, y)) result.corners++;
        else if (onEdge(x, y) && difference <= 1) result.edge++;
        else if (result.elsewhere++ === 0) result.first = { x, y, panel: Array.from(panel.data.slice(p, p + 3)), picture: Array.from(picture.data.slice(q, q + 3)) };
      }
    }
    return result;
  });
}

test('the dots panel is /screen.png within its bezel, pixel for pixel', { timeout: 90000 }, async () => {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-picture-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  // Every kind of cell: text, ROM-only codes, a full block, a user-defined
  // character (an outline) and blanks.
  fs.writeFileSync(path.join(workDir, 'script'),
    'pos 1 1\nwrite Temp 21\\xdfC \\xff\\xff\\x7e\\x7f\n' +
    'pos 1 2\nwrite \\x01 user-defined\n' +
    'pos 4 3\nwrite \\xe4\\xf6\\xfc\\xa5 row three\n' +
    'pos 1 4\nwrite 0123456789ABCDEFGHIJ\n');
  execFileSync(HOST, ['--fast', 'script'], { cwd: workDir, stdio: 'ignore' });
  const { view, url } = await startView(VIEW, ['--listen', '127.0.0.1:0', workDir], workDir);
  let context;
  try {
    context = await launchChromium(userDataDir, { width: 1280, height: 720 });
    const page = context.pages()[0] ?? (await context.newPage());
    fs.mkdirSync(OUT_DIR, { recursive: true });
    for (const c of CASES) {
      const name = `${c.size}-${c.encoding}-${c.theme}-scale${c.scale}`;
      const query = new URLSearchParams({ size: c.size, encoding: c.encoding, theme: c.theme });
      await page.goto(`${url}?${query}`);
      await until('the dots', 5000, async () => (await page.locator('#dots').count()) === 1);
      // The panel as wide as the canvas at the case's scale, on whole pixels.
      const width = await page.evaluate((scale) => geometryAt(scale).width, c.scale);
      await page.addStyleTag({ content: `#display { position: fixed; left: 0; top: 0; width: ${width}px; }` });
      await until(`the canvas at scale ${c.scale}`, 5000, () => page.evaluate((s) => window.lumivaneScale() === s, c.scale));
      const panelFile = path.join(OUT_DIR, `view-picture-${name}-panel.png`);
      const panel = await page.locator('#dots').screenshot({ path: panelFile });
      query.set('scale', String(c.scale));
      const picture = Buffer.from(await (await fetch(`${url}screen.png?${query}`)).arrayBuffer());
      fs.writeFileSync(path.join(OUT_DIR, `view-picture-${name}-png.png`), picture);

      const result = await page.evaluate(compareInPage, [panel.toString('base64'), picture.toString('base64'), CORNER_RADIUS]);
      console.log(`${name}: ${JSON.stringify(result)}`);
      assert.deepEqual(result.picture, result.panel.map((side) => side + 2 * result.bezel),
        `${name}: the panel is not the picture less its bezel of ${result.bezel} px`);
      assert.equal(result.elsewhere, 0, `${name}: ${result.elsewhere} pixels differ, the first ${JSON.stringify(result.first)}`);
      assert.ok(result.corners <= 4 * CORNER_RADIUS * CORNER_RADIUS, `${name}: ${result.corners} corner pixels differ`);
      assert.ok(result.edge <= 2 * (result.panel[0] + result.panel[1]), `${name}: ${result.edge} edge pixels differ`);
    }
  } finally {
    if (view.exitCode === null) view.kill();
    if (context) await context.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
