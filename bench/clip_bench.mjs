// "Save clip" at its worst, timed in chromium: 600 changes of every cell,
// kept by lumivane-view as lumivane-host made them, made into a GIF by the
// page's own makeClip (its span fetched from the view included), for each
// panel size asked. The changes come 5 ms apart, which only the frames'
// delays see. Prints one line a size: the median and the fastest of the
// runs, the frames and the file's size.
//
//   node bench/clip_bench.mjs [BUILD_DIR [RUNS [SIZE...]]]
// (default: build/native, 5 runs, 20x4 and 80x4)
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium, startView, until } from '../tests/browser/chromium.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const buildDir = path.resolve(process.argv[2] || path.join(root, 'build/native'));
const runs = Number(process.argv[3] || 5);
const sizes = process.argv.length > 4 ? process.argv.slice(4) : ['20x4', '80x4'];
const CHANGES = 600;

const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-clip-bench-'));
const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
const { view, url } = await startView(path.join(buildDir, 'lumivane-view'), ['--listen', '127.0.0.1:0', workDir], workDir);
let context;
try {
  // Each change writes all four rows at once (a Write of 320 characters
  // wraps), every cell another character than the one before's; one more
  // after the last ends its frame.
  const screen = (i) => Array.from({ length: 320 }, (_, c) => String.fromCharCode(0x21 + ((i + c) % 94)))
    .join('').replace(/\\/g, '\\\\');
  const script = Array.from({ length: CHANGES + 1 }, (_, i) => `pos 1 1\nwrite ${screen(i)}\nsleep 5\n`).join('');
  const host = spawn(path.join(buildDir, 'lumivane-host'), ['-'], { cwd: workDir, stdio: ['pipe', 'ignore', 'inherit'] });
  host.stdin.end(script);
  await new Promise((resolve) => host.on('exit', resolve));
  context = await launchChromium(userDataDir, { width: 1280, height: 600 });
  const page = context.pages()[0] ?? (await context.newPage());
  for (const size of sizes) {
    await page.goto(`${url}?size=${size}&encoding=hd44780-a00&theme=green`);
    await until('the history', 10000, () => page.evaluate(() => tail !== null && kept.has(newest())));
    const made = await page.evaluate(async (runs) => {
      // From the host's first change to the one before its last.
      const { versions } = await askHistory('limit=10000');
      clipMark = versions.find((entry) => entry.codes[0].startsWith('!"#$')).position;
      lookingAt = newest() - 1;
      const clips = [];
      for (let run = 0; run < runs; run++) {
        const clip = await makeClip();
        clips.push({ ms: window.lumivaneClipTimes.at(-1), frames: clip.frames, bytes: clip.bytes.length });
      }
      return clips;
    }, runs);
    const ms = made.map((clip) => clip.ms).sort((a, b) => a - b);
    console.log(`${size}: median ${ms[Math.floor(ms.length / 2)].toFixed(0)} ms, fastest ${ms[0].toFixed(0)} ms ` +
      `of ${runs}; ${made[0].frames} frames, ${(made[0].bytes / 1e6).toFixed(2)} MB`);
  }
} finally {
  view.kill();
  if (context) await context.close();
  fs.rmSync(workDir, { recursive: true, force: true });
  fs.rmSync(userDataDir, { recursive: true, force: true });
}
