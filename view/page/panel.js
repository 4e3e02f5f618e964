// The panel, as text cells or as a canvas of dots.
let columns = MAX_COLUMNS, rows = MAX_ROWS, cells = [], canvas = null, context = null, drawn = [];

// The panel's geometry in pixels at `scale` pixels per dot, each part
// rounded up from its quarters of a dot as /screen.png rounds it, so that the
// canvas is the picture within its bezel; the panel's size by default.
function geometryAt(scale, across = columns, down = rows) {
  const pixels = (quarters) => Math.ceil((quarters * scale) / 4);
  const dot = pixels(PANEL.dot), gap = pixels(PANEL.gap), margin = pixels(PANEL.margin);
  const charWidth = 5 * dot + 4 * gap, charHeight = 8 * dot + 7 * gap, charGap = dot + gap;
  return {
    scale, dot, gap, margin, charWidth, charHeight, charGap,
    width: 2 * margin + across * charWidth + (across - 1) * charGap,
    height: 2 * margin + down * charHeight + (down - 1) * charGap,
  };
}
let geometry = geometryAt(1);

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
  if (ENCODINGS[choice.encoding].rom) {
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

// The bare view shows the picture's own pixels, one a screen pixel.
const wholePixels = new URLSearchParams(location.search).get('bare') === '1';

// The smallest whole scale whose canvas is at least as wide as the panel in
// device pixels: the browser then shrinks it to fit by less than a step, and
// where it fits exactly every pixel is the picture's. The bare view takes the
// largest that fits instead, shown at its own size.
function fitCanvas() {
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(display.clientWidth * ratio));
  let scale = Math.max(1, Math.floor(width / geometryAt(1).width));
  while (geometryAt(scale).width < width) scale++;
  if (wholePixels) while (scale > 1 && geometryAt(scale).width > width) scale--;
  geometry = geometryAt(scale);
  canvas.width = geometry.width;
  canvas.height = geometry.height;
  canvas.style.width = wholePixels ? `${geometry.width / ratio}px` : '';
  context.fillStyle = THEMES[choice.theme].backlight;
  context.fillRect(0, 0, canvas.width, canvas.height);
  drawn = [];
  painter = dotPainter(context, geometry, THEMES[choice.theme], choice.encoding);
}

// Draws cells into `target` (a canvas's 2D context) with `geometry` (one of
// geometryAt's), in `theme`, from the glyphs of the encoding `rom`: the live
// panel and the clips alike. Each glyph is drawn once, then copied into its
// cells; sprite(code) is that drawing, which the clip reads (its `target` null).
let painter = null;
function dotPainter(target, geometry, theme, rom) {
  const sprites = new Map();
  const { dot, gap, charWidth, charHeight } = geometry;
  const left = (c) => geometry.margin + c * (charWidth + geometry.charGap);
  const top = (r) => geometry.margin + r * (charHeight + geometry.charGap);
  const sprite = (code) => {
    const key = code < 0x10 ? -1 : code;
    let image = sprites.get(key);
    if (image) return image;
    image = document.createElement('canvas');
    image.width = charWidth;
    image.height = charHeight;
    const g = image.getContext('2d');
    g.fillStyle = theme.backlight;
    g.fillRect(0, 0, charWidth, charHeight);
    if (key < 0) {
      // A user-defined character: only the host's module holds its dots.
      g.fillStyle = theme.off;
      g.fillRect(0, 0, charWidth, 1);
      g.fillRect(0, charHeight - 1, charWidth, 1);
      g.fillRect(0, 0, 1, charHeight);
      g.fillRect(charWidth - 1, 0, 1, charHeight);
    } else {
      const glyph = glyphs[rom];
      for (let y = 0; y < 8; y++) {
        const bits = glyph[code * 8 + y];
        for (let x = 0; x < 5; x++) {
          g.fillStyle = (bits >> (4 - x)) & 1 ? theme.on : theme.off;
          g.fillRect(x * (dot + gap), y * (dot + gap), dot, dot);
        }
      }
    }
    sprites.set(key, image);
    return image;
  };
  return {
    left,
    top,
    sprite,
    drawCell: (r, c, code) => target.drawImage(sprite(code), left(c), top(r)),
    // The pixels a cell's drawing covers: x, y, and one past its right and bottom.
    cellBox: (r, c) => [left(c), top(r), left(c) + charWidth, top(r) + charHeight],
  };
}

// A text encoding's bytes through the browser's decoder of the same name;
// where the browser reads that name as another encoding (latin1 as
// windows-1252), each byte is its own code point, as the view reads it.
const decoders = new Map();
function rowText(bytes) {
  if (!decoders.has(choice.encoding)) {
    const decoder = new TextDecoder(choice.encoding);
    decoders.set(choice.encoding, decoder.encoding === choice.encoding ? decoder : null);
  }
  const decoder = decoders.get(choice.encoding);
  if (!decoder) return Array.from(bytes, (b) => String.fromCharCode(b));
  return Array.from(decoder.decode(new Uint8Array(bytes)));
}

// Where a dot of a cell lies on the canvas (its top-left corner and size, in
// canvas pixels), for the browser test's look at the dots.
window.lumivaneDotAt = (r, c, x, y) => ({
  x: painter.left(c) + x * (geometry.dot + geometry.gap),
  y: painter.top(r) + y * (geometry.dot + geometry.gap),
  size: geometry.dot,
});
// The canvas's pixels per dot, for the browser test's picture of the same.
window.lumivaneScale = () => geometry.scale;

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
