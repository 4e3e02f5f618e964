#include "view/view_page.h"

namespace view {

// Row texts only ever reach the document through textContent, one character
// per cell: whatever markup a row holds shows as the characters it is made of.
const char kViewPage[] = R"html(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Lumivane view</title>
<link rel="icon" href="data:,">
<style>
  :root { color-scheme: dark; }
  * { box-sizing: border-box; }
  body {
    margin: 0; min-height: 100vh; padding: 16px;
    display: flex; flex-direction: column; align-items: center; justify-content: center; gap: 14px;
    background: #191b1d; color: #b8bcc0; font: 14px/1.4 system-ui, sans-serif;
  }
  .bezel {
    width: 100%; max-width: 1500px; padding: 1.6%;
    background: linear-gradient(#333638, #232527); border-radius: 12px;
    box-shadow: inset 0 0 0 2px #0e0f10, 0 6px 24px #000b;
  }
  .panel {
    container-type: inline-size; padding: 1.4% 1.2%; border-radius: 5px;
    background: radial-gradient(ellipse at 50% 40%, #a8dd62 0%, #86c544 55%, #6aa633 100%);
    box-shadow: inset 0 0 14px #0007;
  }
  .row { display: grid; grid-template-columns: repeat(80, 1fr); gap: 0.14cqw; margin: 0.3cqw 0; }
  .cell {
    height: 2.3cqw; overflow: hidden; text-align: center; white-space: pre;
    font: 1.75cqw/2.3cqw "DejaVu Sans Mono", Consolas, "Liberation Mono", monospace;
    color: #102c06; background: #00000012; text-shadow: 0 0 0.2cqw #10300666;
  }
  .status { display: flex; gap: 0.6em; align-items: center; flex-wrap: wrap; justify-content: center; }
  .dot { width: 0.7em; height: 0.7em; border-radius: 50%; background: #777; }
  .live .dot { background: #6ccf3a; }
  .reconnecting .dot { background: #e0a030; }
  .waiting .dot { background: #c85050; }
  .page { font-size: 12px; color: #7d8286; word-break: break-all; text-align: center; }
</style>
</head>
<body>
<div class="bezel"><div class="panel" id="display" aria-label="the display"></div></div>
<div class="status" id="status"><span class="dot"></span><span id="state">connecting</span><span id="changed"></span></div>
<div class="page" id="page"></div>
<script>
'use strict';
const COLUMNS = 80;
const ROWS = 4;
const display = document.getElementById('display');
const cells = [];
for (let r = 0; r < ROWS; r++) {
  const row = document.createElement('div');
  row.className = 'row';
  const rowCells = [];
  for (let c = 0; c < COLUMNS; c++) {
    const cell = document.createElement('span');
    cell.className = 'cell';
    cell.textContent = ' ';
    row.appendChild(cell);
    rowCells.push(cell);
  }
  display.appendChild(row);
  cells.push(rowCells);
}

let version = null;
let found = false;
let lastChange = null;

function showRows(rows) {
  for (let r = 0; r < ROWS; r++) {
    const chars = Array.from(rows[r] || '');
    for (let c = 0; c < COLUMNS; c++) {
      const ch = c < chars.length ? chars[c] : ' ';
      if (cells[r][c].textContent !== ch) cells[r][c].textContent = ch;
    }
  }
}

function showStatus(state) {
  const words = { live: 'live', reconnecting: 'reconnecting', waiting: 'waiting for the page', connecting: 'connecting' };
  document.getElementById('status').className = 'status ' + state;
  document.getElementById('state').textContent = words[state];
  document.getElementById('changed').textContent =
    lastChange ? '\u00b7 last change ' + lastChange.toLocaleTimeString() : '';
}

function onScreen(event) {
  const screen = JSON.parse(event.data);
  // A restarted server counts its versions afresh: the rows are always shown.
  if (screen.version !== version) {
    version = screen.version;
    if (screen.version > 0) lastChange = new Date();
  }
  showRows(screen.rows);
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
</script>
</body>
</html>
)html";

}  // namespace view
