#include "view/view_page.h"

#include "view/character_rom_table.h"  // LUMIVANE_ROM_A00_HEX, LUMIVANE_ROM_A02_HEX
#include "view/qrcode_script.h"        // LUMIVANE_QRCODE_JS

namespace view {

// Row texts only ever reach the document through textContent, one character
// per cell: whatever markup a row holds shows as the characters it is made of.
// Under a ROM encoding the cells are drawn as the module draws them, dot by dot
// from the same glyph table the PNG is drawn from; only the cells whose code
// changed are drawn again.
const char kViewPage[] = R"html(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Lumivane view</title>
<link rel="icon" href="data:,">
<style>
  :root { color-scheme: dark; --cols: 80; }
  * { box-sizing: border-box; }
  html, body { overflow-x: hidden; }
  body {
    margin: 0; min-height: 100vh; padding: 16px 8px;
    display: flex; flex-direction: column; align-items: center; justify-content: center; gap: 12px;
    background: #191b1d; color: #b8bcc0; font: 14px/1.4 system-ui, sans-serif;
  }
  .bezel {
    width: 100%; max-width: min(1500px, calc(var(--cols) * 56px + 80px)); padding: max(6px, 1.2%);
    background: linear-gradient(#333638, #232527); border-radius: 12px;
    box-shadow: inset 0 0 0 2px #0e0f10, 0 6px 24px #000b;
  }
  .panel {
    container-type: inline-size; padding: 1.4% 1.2%; border-radius: 5px;
    background: var(--backlight, #9cc83a);
    box-shadow: inset 0 0 14px #0007;
  }
  .panel.dots { padding: 0; line-height: 0; }
  .panel canvas { width: 100%; display: block; border-radius: 5px; }
  .row { display: grid; grid-template-columns: repeat(var(--cols), 1fr); gap: calc(11cqw / var(--cols)); margin: calc(24cqw / var(--cols)) 0; }
  .cell {
    height: calc(184cqw / var(--cols)); overflow: hidden; text-align: center; white-space: pre;
    font: calc(140cqw / var(--cols)) / calc(184cqw / var(--cols)) "DejaVu Sans Mono", Consolas, "Liberation Mono", monospace;
    color: var(--ink, #1a2c08); background: #00000012;
  }
  .controls { display: flex; gap: 10px; flex-wrap: wrap; justify-content: center; align-items: center; }
  .controls label { display: flex; gap: 4px; align-items: center; }
  .controls select { background: #26292b; color: #d8dcdf; border: 1px solid #44484b; border-radius: 4px; padding: 2px 4px; }
  .controls a { color: #8fc4ff; }
  .controls button { background: #26292b; color: #d8dcdf; border: 1px solid #44484b; border-radius: 4px; padding: 2px 8px; font: inherit; }
  .share img { display: block; image-rendering: pixelated; }
  .notice { color: #e0b050; min-height: 1.4em; text-align: center; }
  .status { display: flex; gap: 0.6em; align-items: center; flex-wrap: wrap; justify-content: center; }
  .dot { width: 0.7em; height: 0.7em; border-radius: 50%; background: #777; }
  .live .dot { background: #6ccf3a; }
  .reconnecting .dot { background: #e0a030; }
  .waiting .dot { background: #c85050; }
  .page { font-size: 12px; color: #7d8286; word-break: break-all; text-align: center; }
</style>
</head>
<body>
<div class="bezel" id="bezel"><div class="panel" id="display" aria-label="the display"></div></div>
<div class="notice" id="notice"></div>
<div class="controls">
  <label>size <select id="size"></select></label>
  <label>encoding <select id="encoding"></select></label>
  <label>theme <select id="theme"></select></label>
  <a id="save" href="/screen.png" download="lumivane.png">save picture</a>
  <button id="share" type="button" hidden>open on another device</button>
</div>
<div class="share" id="share-code" hidden><img id="share-qr" alt="QR code of this view's address"></div>
<div class="status" id="status"><span class="dot"></span><span id="state">connecting</span><span id="changed"></span></div>
<div class="page" id="page"></div>
<script>
)html" LUMIVANE_QRCODE_JS R"html(</script>
<script>
'use strict';
const ROMS = {
  'hd44780-a00': ')html" LUMIVANE_ROM_A00_HEX R"html(',
  'hd44780-a02': ')html" LUMIVANE_ROM_A02_HEX R"html(',
};
const SIZES = ['8x1', '8x2', '16x1', '16x2', '16x4', '20x1', '20x2', '20x4', '24x2', '40x1', '40x2', '40x4', '80x4'];
const ENCODINGS = ['windows-1252', 'latin1', 'utf-8', 'hd44780-a00', 'hd44780-a02'];
// Kept in step with the PNG's palettes (view/lcd_picture.cpp).
const THEMES = {
  green: { backlight: '#9cc83a', on: '#1a2c08', off: '#8fba35' },
  blue: { backlight: '#1f3fd0', on: '#f0f6ff', off: '#2b4ddb' },
  amber: { backlight: '#f2a01e', on: '#3a1c00', off: '#e3941b' },
  white: { backlight: '#e9ecee', on: '#1c2024', off: '#dadee1' },
  oled: { backlight: '#000000', on: '#d8f0ff', off: '#12161a' },
};
const MAX_ROWS = 4;
const display = document.getElementById('display');
const glyphs = {};
for (const [name, hex] of Object.entries(ROMS)) {
  const table = new Uint8Array(256 * 8);
  for (let i = 0; i < table.length; i++) table[i] = parseInt(hex.substr(i * 2, 2), 16);
  glyphs[name] = table;
}

// The choices: from the URL, else from this browser's last choice, else the
// server's own options. Every choice is written back to both.
const choice = { size: null, encoding: null, theme: null };
const valid = {
  size: (v) => /^([1-9]|[1-7][0-9]|80)x[1-4]$/.test(v),
  encoding: (v) => ENCODINGS.includes(v),
  theme: (v) => Object.hasOwn(THEMES, v),
};
const notices = [];

function stored(key) {
  try { return localStorage.getItem('lumivane.' + key); } catch (e) { return null; }
}
function store(key, value) {
  try { localStorage.setItem('lumivane.' + key, value); } catch (e) { /* private mode */ }
}

function settle(defaults) {
  const params = new URLSearchParams(location.search);
  for (const key of Object.keys(choice)) {
    const asked = params.get(key);
    let value = null;
    if (asked !== null && valid[key](asked)) value = asked;
    else if (asked !== null) notices.push(`unknown ${key} "${asked.slice(0, 24)}": showing the default`);
    const kept = stored(key);
    if (value === null && asked === null && kept !== null && valid[key](kept)) value = kept;
    if (value === null) value = valid[key](defaults[key]) ? defaults[key] : { size: '80x4', encoding: 'windows-1252', theme: 'green' }[key];
    choice[key] = value;
    store(key, value);
  }
  pictureLink();
}

// A choice made here goes into the URL too, so that the address can be shared.
function remember() {
  const params = new URLSearchParams(location.search);
  for (const key of Object.keys(choice)) {
    store(key, choice[key]);
    params.set(key, choice[key]);
  }
  history.replaceState(null, '', '?' + params.toString());
  pictureLink();
}

function pictureLink() {
  const picture = new URLSearchParams({ size: choice.size, theme: choice.theme });
  if (ROMS[choice.encoding]) picture.set('encoding', choice.encoding);
  const save = document.getElementById('save');
  save.href = '/screen.png?' + picture.toString();
  save.download = `lumivane-${choice.size}.png`;
}

function fillChooser(id, values) {
  const select = document.getElementById(id);
  select.replaceChildren();
  const all = values.includes(choice[id]) ? values : [...values, choice[id]];
  for (const value of all) {
    const option = document.createElement('option');
    option.value = option.textContent = value;
    select.appendChild(option);
  }
  select.value = choice[id];
  select.onchange = () => {
    choice[id] = select.value;
    notices.length = 0;
    remember();
    build();
    if (codes) show(codes);
  };
}

// The panel, as text cells or as a canvas of dots.
let columns = 80, rows = 4, cells = [], canvas = null, context = null, drawn = [], unit = 1;
// In dots: a dot, the gap between dots, the wider one between characters,
// the backlight's margin.
const DOT_GAP = 0.25, CHAR_GAP = 1.25, MARGIN = 2;
const charWidth = 5 + 4 * DOT_GAP, charHeight = 8 + 7 * DOT_GAP;

function build() {
  [columns, rows] = choice.size.split('x').map(Number);
  document.documentElement.style.setProperty('--cols', String(columns));
  const theme = THEMES[choice.theme];
  display.style.setProperty('--backlight', theme.backlight);
  display.style.setProperty('--ink', theme.on);
  display.replaceChildren();
  cells = [];
  drawn = [];
  canvas = null;
  if (ROMS[choice.encoding]) {
    display.className = 'panel dots';
    canvas = document.createElement('canvas');
    canvas.id = 'dots';
    display.appendChild(canvas);
    context = canvas.getContext('2d');
    fitCanvas();
  } else {
    display.className = 'panel';
    for (let r = 0; r < rows; r++) {
      const row = document.createElement('div');
      row.className = 'row';
      const rowCells = [];
      for (let c = 0; c < columns; c++) {
        const cell = document.createElement('span');
        cell.className = 'cell';
        cell.textContent = ' ';
        row.appendChild(cell);
        rowCells.push(cell);
      }
      display.appendChild(row);
      cells.push(rowCells);
    }
  }
}

function fitCanvas() {
  const scale = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(display.clientWidth * scale));
  const dotsWide = 2 * MARGIN + columns * charWidth + (columns - 1) * CHAR_GAP;
  const dotsHigh = 2 * MARGIN + rows * charHeight + (rows - 1) * CHAR_GAP;
  unit = width / dotsWide;
  canvas.width = width;
  canvas.height = Math.round(dotsHigh * unit);
  context.fillStyle = THEMES[choice.theme].backlight;
  context.fillRect(0, 0, canvas.width, canvas.height);
  drawn = [];
  sprites = new Map();
}

// Each glyph is drawn once per size and theme, then copied into its cells.
let sprites = new Map();
function sprite(code) {
  const key = code < 0x10 ? -1 : code;
  let image = sprites.get(key);
  if (image) return image;
  const theme = THEMES[choice.theme];
  image = document.createElement('canvas');
  image.width = Math.ceil(charWidth * unit) + 2;
  image.height = Math.ceil(charHeight * unit) + 2;
  const g = image.getContext('2d');
  g.fillStyle = theme.backlight;
  g.fillRect(0, 0, image.width, image.height);
  if (key < 0) {
    // A user-defined character: only the host's module holds its dots.
    g.strokeStyle = theme.off;
    g.lineWidth = Math.max(1, unit * 0.3);
    g.strokeRect(1, 1, charWidth * unit, charHeight * unit);
  } else {
    const glyph = glyphs[choice.encoding];
    for (let y = 0; y < 8; y++) {
      const bits = glyph[code * 8 + y];
      for (let x = 0; x < 5; x++) {
        g.fillStyle = (bits >> (4 - x)) & 1 ? theme.on : theme.off;
        g.fillRect(1 + x * (1 + DOT_GAP) * unit, 1 + y * (1 + DOT_GAP) * unit, unit, unit);
      }
    }
  }
  sprites.set(key, image);
  return image;
}

// A cell's top-left corner on the canvas, on whole pixels so that copies stay sharp.
const cellLeft = (c) => Math.round((MARGIN + c * (charWidth + CHAR_GAP)) * unit);
const cellTop = (r) => Math.round((MARGIN + r * (charHeight + CHAR_GAP)) * unit);

function drawCell(r, c, code) {
  context.drawImage(sprite(code), cellLeft(c) - 1, cellTop(r) - 1);
}

const decoders = {
  'windows-1252': new TextDecoder('windows-1252'),
  'utf-8': new TextDecoder('utf-8'),
};
function rowText(bytes) {
  if (choice.encoding === 'latin1') return Array.from(bytes, (b) => String.fromCharCode(b));
  return Array.from(decoders[choice.encoding].decode(new Uint8Array(bytes)));
}

// Where a dot of a cell lies on the canvas (its top-left corner and size, in
// canvas pixels), for the browser test's look at the dots.
window.lumivaneDotAt = (r, c, x, y) => ({
  x: cellLeft(c) + x * (1 + DOT_GAP) * unit,
  y: cellTop(r) + y * (1 + DOT_GAP) * unit,
  size: unit,
});

// Each update's time in ms, for the browser test's figures.
window.lumivaneUpdateTimes = [];
let codes = null;

function show(newCodes) {
  const started = performance.now();
  codes = newCodes;
  let beyond = false;
  for (let r = 0; r < MAX_ROWS; r++) {
    const bytes = codes[r] || [];
    for (let c = r < rows ? columns : 0; c < bytes.length; c++) if (bytes[c] !== 0x20) beyond = true;
  }
  if (canvas) {
    for (let r = 0; r < rows; r++) {
      const bytes = codes[r] || [];
      for (let c = 0; c < columns; c++) {
        const code = c < bytes.length ? bytes[c] : 0x20;
        const key = r * columns + c;
        if (drawn[key] !== code) {
          drawCell(r, c, code);
          drawn[key] = code;
        }
      }
    }
  } else {
    for (let r = 0; r < rows; r++) {
      const chars = rowText(codes[r] || []);
      for (let c = 0; c < columns; c++) {
        const ch = c < chars.length ? chars[c] : ' ';
        if (cells[r][c].textContent !== ch) cells[r][c].textContent = ch;
      }
    }
  }
  const lines = [...notices];
  if (beyond) lines.push(`text beyond ${choice.size} is hidden`);
  document.getElementById('notice').textContent = lines.join(' \u00b7 ');
  window.lumivaneUpdateTimes.push(performance.now() - started);
}

let resizeTimer = null;
new ResizeObserver(() => {
  if (!canvas) return;
  clearTimeout(resizeTimer);
  resizeTimer = setTimeout(() => {
    if (!canvas) return;
    fitCanvas();
    if (codes) show(codes);
  }, 50);
}).observe(display);

let version = null;
let found = false;
let lastChange = null;

function showStatus(state) {
  const words = { live: 'live', reconnecting: 'reconnecting', waiting: 'waiting for the page', connecting: 'connecting' };
  document.getElementById('status').className = 'status ' + state;
  document.getElementById('state').textContent = words[state];
  document.getElementById('changed').textContent =
    lastChange ? '\u00b7 last change ' + lastChange.toLocaleTimeString() : '';
}

function onScreen(event) {
  const screen = JSON.parse(event.data);
  if (choice.size === null) {
    settle(screen.display);
    fillChooser('size', SIZES);
    fillChooser('encoding', ENCODINGS);
    fillChooser('theme', Object.keys(THEMES));
    build();
  }
  // A restarted server counts its versions afresh: the rows are always shown.
  if (screen.version !== version) {
    version = screen.version;
    if (screen.version > 0) lastChange = new Date();
  }
  show(screen.codes.map((row) => Array.from(row, (ch) => ch.charCodeAt(0))));
  found = screen.found;
  document.getElementById('page').textContent = 'page: ' + screen.page;
  showStatus(found ? 'live' : 'waiting');
}

let source = null;
function connect() {
  source = new EventSource('/events');
  source.addEventListener('screen', onScreen);
  source.onerror = () => {
    showStatus('reconnecting');
    // The browser retries by itself unless the server refused the stream.
    if (source.readyState === EventSource.CLOSED) {
      source.close();
      setTimeout(connect, 2000);
    }
  };
}
connect();

// The address with its token comes only to a browser that holds the token;
// without one (loopback) there is nothing to offer.
async function offerShare() {
  let url = null;
  try {
    const answer = await fetch('/share.json', { cache: 'no-store' });
    if (answer.ok) url = (await answer.json()).url;
  } catch (e) { /* no code to offer */ }
  if (typeof url !== 'string') return;
  const button = document.getElementById('share');
  const code = document.getElementById('share-code');
  button.hidden = false;
  button.addEventListener('click', () => {
    if (!code.hidden) { code.hidden = true; return; }
    const qr = qrcode(0, 'M');
    qr.addData(url, 'Byte');
    qr.make();
    document.getElementById('share-qr').src = qr.createDataURL(6, 4);
    code.hidden = false;
  });
}
offerShare();
</script>
</body>
</html>
)html";

}  // namespace view
