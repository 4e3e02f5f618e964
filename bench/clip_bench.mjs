// "Save clip" at its worst, timed in chromium: 600 changes 100 ms apart (60 s),
// every cell changing each time, as the page's own makeClip makes them into a
// GIF, for each panel size asked. Prints one line a size: the median and the
// fastest of the runs, the frames and the file's size.
//
//   node bench/clip_bench.mjs [BUILD_DIR [RUNS [SIZE...]]]
// (default: build/native, 5 runs, 20x4 and 80x4)
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium, startView, until } from '../tests/browser/chromium.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const buildDir = path.resolve(process.argv[2] || path.join(root, 'build/native'));
const runs = Number(process.argv[3] || 5);
const sizes = process.argv.length > 4 ? process.argv.slice(4) : ['20x4', '80x4'];
const CHANGES = 600, GAP_MS = 100;

const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-clip-bench-'));
const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
const { view, url } = await startView(path.join(buildDir, 'lumivane-view'), ['--listen', '127.0.0.1:0', workDir], workDir);
let context;
try {
  context = await launchChromium(userDataDir, { width: 1280, height: 600 });
  const page = context.pages()[0] ?? (await context.newPage());
  for (const size of sizes) {
    await page.goto(`${url}?size=${size}&encoding=hd44780-a00&theme=green`);
    await until('the panel', 5000, async () => (await page.locator('#dots').count()) === 1);
    const times = await page.evaluate(async ({ changes, gap, runs }) => {
      // The kept history the page would have fetched: each version's every
      // cell another character than the one before's, and one more after
      // the span so that the last frame ends where the span does.
      const [columns] = choice.size.split('x').map(Number);
      const row = (i, r) => Array.from({ length: columns }, (_, c) => String.fromCharCode(0x21 + ((i + r * 7 + c) % 94))).join('');
      const now = Date.now() - (changes + 1) * gap;
      kept.length = 0;
      for (let i = 0; i <= changes; i++) kept.push({ version: i + 1, time: now + i * gap, codes: [0, 1, 2, 3].map((r) => row(i, r)) });
      clipMark = 0;
      lookingAt = changes - 1;
      const made = [];
      for (let run = 0; run < runs; run++) {
        const clip = await makeClip();
        made.push({ ms: window.lumivaneClipTimes.at(-1), frames: clip.frames, bytes: clip.bytes.length });
      }
      return made;
    }, { changes: CHANGES, gap: GAP_MS, runs });
    const ms = times.map((t) => t.ms).sort((a, b) => a - b);
    console.log(`${size}: median ${ms[Math.floor(ms.length / 2)].toFixed(0)} ms, fastest ${ms[0].toFixed(0)} ms ` +
      `of ${runs}; ${times[0].frames} frames, ${(times[0].bytes / 1e6).toFixed(2)} MB`);
  }
} finally {
  view.kill();
  if (context) await context.close();
  fs.rmSync(workDir, { recursive: true, force: true });
  fs.rmSync(userDataDir, { recursive: true, force: true });
}
