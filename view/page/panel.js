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

// The panel's size in dots: its cells, their gaps and the backlight's margin.
const panelDots = (columns, rows) => ({
  wide: 2 * MARGIN + columns * charWidth + (columns - 1) * CHAR_GAP,
  high: 2 * MARGIN + rows * charHeight + (rows - 1) * CHAR_GAP,
});

function fitCanvas() {
  const scale = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(display.clientWidth * scale));
  const dots = panelDots(columns, rows);
  unit = width / dots.wide;
  canvas.width = width;
  canvas.height = Math.round(dots.high * unit);
  context.fillStyle = THEMES[choice.theme].backlight;
  context.fillRect(0, 0, canvas.width, canvas.height);
  drawn = [];
  painter = dotPainter(context, unit, THEMES[choice.theme], choice.encoding);
}

// Draws cells into `target` (a canvas's 2D context), `unit` pixels a dot, in
// `theme` from the glyphs of the ROM `rom`: the live panel and the clips alike.
// Each glyph is drawn once, then copied into its cells.
let painter = null;
function dotPainter(target, unit, theme, rom) {
  const sprites = new Map();
  // A cell's top-left corner, on whole pixels so that copies stay sharp.
  const left = (c) => Math.round((MARGIN + c * (charWidth + CHAR_GAP)) * unit);
  const top = (r) => Math.round((MARGIN + r * (charHeight + CHAR_GAP)) * unit);
  const sprite = (code) => {
    const key = code < 0x10 ? -1 : code;
    let image = sprites.get(key);
    if (image) return image;
    image = document.createElement('canvas');
    image.width = spriteWidth;
    image.height = spriteHeight;
    const g = image.getContext('2d');
    g.fillStyle = theme.backlight;
    g.fillRect(0, 0, image.width, image.height);
    if (key < 0) {
      // A user-defined character: only the host's module holds its dots.
      g.strokeStyle = theme.off;
      g.lineWidth = Math.max(1, unit * 0.3);
      g.strokeRect(1, 1, charWidth * unit, charHeight * unit);
    } else {
      const glyph = glyphs[rom];
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
  };
  const spriteWidth = Math.ceil(charWidth * unit) + 2, spriteHeight = Math.ceil(charHeight * unit) + 2;
  return {
    left,
    top,
    drawCell: (r, c, code) => target.drawImage(sprite(code), left(c) - 1, top(r) - 1),
    // The pixels a cell's drawing covers: x, y, and one past its right and bottom.
    cellBox: (r, c) => [left(c) - 1, top(r) - 1, left(c) - 1 + spriteWidth, top(r) - 1 + spriteHeight],
  };
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
  x: painter.left(c) + x * (1 + DOT_GAP) * unit,
  y: painter.top(r) + y * (1 + DOT_GAP) * unit,
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
          painter.drawCell(r, c, code);
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
