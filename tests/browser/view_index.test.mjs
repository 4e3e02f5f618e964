// /index.htm in a real browser: the page file's rows may hold any markup the
// host sent, and none of it reaches out. Rows naming an image, a style sheet,
// a frame and a video on a loopback server of the test's own: chromium shows
// the page, and that server is asked for nothing.
//
// LUMIVANE_VIEW: the lumivane-view program. LUMIVANE_HOST: lumivane-host.
// LUMIVANE_BROWSER_OUT: where view-index-inert.png goes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { OUT_DIR, launchChromium, sleep, until } from './chromium.mjs';

const VIEW = process.env.LUMIVANE_VIEW;
const HOST = process.env.LUMIVANE_HOST;

test('the page file served as /index.htm fetches nothing its rows name', { timeout: 60000 }, async () => {
  assert.ok(VIEW && HOST, 'LUMIVANE_VIEW and LUMIVANE_HOST name the programs');
  const workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-view-index-'));
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-chromium-'));
  const asked = [];
  const tracker = http.createServer((request, response) => {
    asked.push(request.url);
    response.end();
  });
  await new Promise((resolve) => tracker.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${tracker.address().port}`;
  const rows = [
    `<img src="${origin}/img">`,
    `<link rel=stylesheet href="${origin}/css">`,
    `<iframe src="${origin}/frame"></iframe>`,
    `<video src="${origin}/video" autoplay></video>`,
  ];
  const host = spawn(HOST, ['--fast', '-'], { cwd: workDir, stdio: ['pipe', 'ignore', 'pipe'] });
  host.stdin.end(rows.map((row, i) => `pos 1 ${i + 1}\nwrite ${row}\n`).join(''));
  await new Promise((resolve) => host.on('exit', resolve));
  const pagePath = path.join(workDir, 'logs', 'index.htm');
  assert.ok(fs.readFileSync(pagePath, 'latin1').includes(rows[3]), 'the host wrote the rows');

  const view = spawn(VIEW, ['--listen', '127.0.0.1:0', workDir], { cwd: workDir, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  view.stdout.on('data', (chunk) => (output += chunk));
  let context;
  try {
    const url = await until('the start line', 10000, () => output.match(/^Lumivane view: (http:\S+) \(page: /m)?.[1]);
    context = await launchChromium(userDataDir, { width: 1280, height: 420 });
    const page = context.pages()[0] ?? (await context.newPage());
    const response = await page.goto(new URL('/index.htm', url).href);
    assert.equal(response.status(), 200);
    await sleep(1500);
    assert.deepEqual(asked, [], `the rows' addresses were asked for: ${asked.join(', ')}`);
    fs.mkdirSync(OUT_DIR, { recursive: true });
    await page.screenshot({ path: path.join(OUT_DIR, 'view-index-inert.png') });
  } finally {
    if (context) await context.close();
    view.kill();
    tracker.close();
    fs.rmSync(workDir, { recursive: true, force: true });
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
});
