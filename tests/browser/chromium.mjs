// What the browser tests share: Debian's chromium started headless through
// playwright-core, polling for a condition, where screenshots go, and the
// view started as a process.
//
// LUMIVANE_BROWSER_OUT: where the screenshots go (default: a temp folder).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const OUT_DIR =
  process.env.LUMIVANE_BROWSER_OUT || fs.mkdtempSync(path.join(os.tmpdir(), 'lumivane-browser-out-'));

// The machine has no network beyond loopback: everything chromium would
// fetch for itself is turned off.
const CHROMIUM_FLAGS = [
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
  '--disable-quic',
  '--no-proxy-server',
];

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Resolves with check()'s first truthy value, looking every stepMs; throws
// after limitMs.
export async function until(what, limitMs, check, stepMs = 50) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`gave up after ${limitMs} ms waiting for ${what}`);
    await sleep(stepMs);
  }
}

// A headless chromium with a profile of its own in userDataDir; `more`:
// further flags in `args`, and any other option of playwright's context
// (hasTouch, isMobile).
export function launchChromium(userDataDir, viewport, more = {}) {
  const { args = [], ...options } = more;
  return chromium.launchPersistentContext(userDataDir, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [...CHROMIUM_FLAGS, ...args],
    viewport,
    ...options,
  });
}

// Starts `program` (lumivane-view) with `args` in `cwd` and resolves once it
// prints its start line, with the URL that line names. `view.exited` resolves
// with its exit status; `view.output()` is all it printed.
export async function startView(program, args, cwd, url = /^Lumivane view: (http:\S+) \(page: /m) {
  const view = spawn(program, args, { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  let errors = '';
  view.stdout.on('data', (chunk) => (output += chunk));
  view.stderr.on('data', (chunk) => (errors += chunk));
  view.exited = new Promise((resolve) => view.on('exit', (code) => resolve(code)));
  view.output = () => output + errors;
  return { view, url: await until('the start line', 10000, () => output.match(url)?.[1]) };
}
