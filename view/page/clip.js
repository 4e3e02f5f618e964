// "Save clip": the screen over a span as an animated GIF, drawn as the panel
// draws its dots (the chosen ROM; A00 under a text encoding, as the PNG), each
// change a frame shown for as long as the screen showed it. The span is the
// last 30 s up to the moment shown, or from the mark on the timeline to it
// (either way round).
const CLIP_MS = 30000;
const CLIP_MAX_WIDTH = 1200;  // pixels: a 20x4 panel at 4 a dot, an 80x4 at 2

// The kept changes from position `from` to `last` whose time passes
// `after`, fetched in pieces of the most an answer holds.
async function fetchSpan(from, last, after = -1) {
  const span = [];
  for (;;) {
    const history = await askHistory(`from=${from}&since=${after + 1}&limit=10000`);
    if (!history) throw new Error('the view did not answer for its history');
    for (const entry of history.versions) if (entry.position <= last) span.push(entry);
    if (!history.more || !history.versions.length || history.versions.at(-1).position >= last) return span;
    from = history.versions.at(-1).position + 1;
  }
}

// The span's [start, end) in the view's clock, and its frames' entries,
// fetched from the view.
async function clipSpan() {
  const shown = shownPosition();
  const last = clipMark === null ? shown : Math.max(clipMark, shown);
  // A change lasts until the next; the live one until now, on the view's
  // clock as near as the last change seen tells it.
  const next = last < newest() ? await entryAt(last + 1) : null;
  const end = next ? next.time : Math.max((await entryAt(last)).time + 1, Date.now() - clockSkew);
  if (clipMark !== null) {
    const frames = await fetchSpan(Math.min(clipMark, shown), last);
    return { start: frames[0].time, end, frames };
  }
  // The screen at the start, then every change after it.
  const start = end - CLIP_MS;
  const frames = await fetchSpan(first, last, start);
  const before = (frames.length ? frames[0].position : last + 1) - 1;
  if (before >= first) frames.unshift(await entryAt(before));
  return { start: Math.max(start, frames[0].time), end, frames };
}

// How far this browser's clock runs ahead of the view's, from the changes
// seen as they came.
let clockSkew = 0;
function clockSeen(entry) { clockSkew = Date.now() - entry.time; }

function placeFrame(bytes, descriptor, x, y) {
  if (bytes[descriptor] !== 0x2c) throw new Error('no image descriptor where the GIF encoder puts it');
  bytes.set([x & 0xff, x >> 8, y & 0xff, y >> 8], descriptor + 1);
}

// Each pixel's index in the palette. The panel is drawn in its three colours
// only, so most pixels are one of them exactly; any other (a dot's edge at a
// fraction of a pixel) goes to the nearest.
function paletteIndices(pixels, palette) {
  const words = new Uint32Array(pixels.buffer, pixels.byteOffset, pixels.length / 4);
  const exact = palette.map(([r, g, b]) => new Uint32Array(new Uint8Array([r, g, b, 255]).buffer)[0]);
  const indices = new Uint8Array(words.length);
  for (let i = 0; i < words.length; i++) {
    const word = words[i];
    const found = word === exact[0] ? 0 : word === exact[1] ? 1 : word === exact[2] ? 2 : -1;
    indices[i] = found >= 0 ? found
      : gifenc.nearestColorIndex(palette, [pixels[i * 4], pixels[i * 4 + 1], pixels[i * 4 + 2]]);
  }
  return indices;
}

const rgbOf = (hex) => [1, 3, 5].map((i) => parseInt(hex.substr(i, 2), 16));

// The pixels a clip's frames may hold in all before it is drawn a scale
// smaller: gifenc's LZW takes some 20 ns a pixel, and a clip is made in
// under 2 s. Sixty seconds of a 20x4 screen changing whole every 100 ms come
// at 2 pixels a dot; a clock that changes a few cells stays at 4.
const CLIP_MAX_PIXELS = 24e6;

// The colour table's indices of the backlight, a lit and an unlit dot.
// gifenc's LZW hashes a pixel's index into the high bits of its table's
// keys: indices far apart spread the keys, and it runs a third faster than
// with 0, 1 and 2.
const CLIP_INDICES = [0x40, 0x80, 0xc0];

// The cells each frame changes, and the box around them (first row and
// column, last row and column; null for none), from the codes of the frames.
function cellChanges(frames, columns, rows) {
  const drawnCodes = [];
  return frames.map((entry) => {
    const cells = [];
    let firstRow = rows, firstColumn = columns, lastRow = -1, lastColumn = -1;
    for (let r = 0; r < rows; r++) {
      const row = entry.codes[r] || '';
      for (let c = 0; c < columns; c++) {
        const code = c < row.length ? row.charCodeAt(c) : 0x20;
        if (drawnCodes[r * columns + c] === code) continue;
        drawnCodes[r * columns + c] = code;
        cells.push(r, c, code);
        firstRow = Math.min(firstRow, r);
        lastRow = r;
        firstColumn = Math.min(firstColumn, c);
        lastColumn = Math.max(lastColumn, c);
      }
    }
    return { cells, box: lastRow < 0 ? null : [firstRow, firstColumn, lastRow, lastColumn] };
  });
}

// A box of cells' size in pixels in `geometry`: x, y, width and height.
function pixelBox(geometry, [firstRow, firstColumn, lastRow, lastColumn]) {
  const { margin, charWidth, charHeight, charGap } = geometry;
  const across = lastColumn - firstColumn + 1, down = lastRow - firstRow + 1;
  return [margin + firstColumn * (charWidth + charGap), margin + firstRow * (charHeight + charGap),
    across * charWidth + (across - 1) * charGap, down * charHeight + (down - 1) * charGap];
}

// A frame's box in pixels in `geometry`: the first frame the whole panel, one
// that changed no cell shown a single pixel (it still takes its time).
function frameBox(geometry, { box }, i) {
  if (i === 0) return [0, 0, geometry.width, geometry.height];
  return box ? pixelBox(geometry, box) : [0, 0, 1, 1];
}

async function makeClip() {
  const started = performance.now();
  const { start, end, frames } = await clipSpan();
  const [columns, rows] = choice.size.split('x').map(Number);
  // A text encoding's clip is drawn in the first ROM's dots.
  const rom = ENCODINGS[choice.encoding].rom ? choice.encoding
    : Object.keys(ENCODINGS).find((name) => ENCODINGS[name].rom);
  const theme = THEMES[choice.theme];
  const changes = cellChanges(frames, columns, rows);
  const pixelsAt = (scale) => {
    const geometry = geometryAt(scale, columns, rows);
    return changes.reduce((sum, change, i) => {
      const [, , boxWidth, boxHeight] = frameBox(geometry, change, i);
      return sum + boxWidth * boxHeight;
    }, 0);
  };
  let scale = 1;
  while (scale < 4 && geometryAt(scale + 1, columns, rows).width <= CLIP_MAX_WIDTH &&
         pixelsAt(scale + 1) <= CLIP_MAX_PIXELS) scale++;
  const geometry = geometryAt(scale, columns, rows);
  const { width, height, charWidth, charHeight } = geometry;
  // The painter's cells, each read once as colour indices, a row at a time,
  // and copied into place as its drawCell copies them onto a canvas; the
  // margins and gaps are the backlight.
  const painter = dotPainter(null, geometry, theme, rom);
  const palette = [theme.backlight, theme.on, theme.off].map(rgbOf);
  const table = Array.from({ length: 256 }, () => palette[0]);
  CLIP_INDICES.forEach((index, colour) => { table[index] = palette[colour]; });
  const cellPixels = new Map();
  const pixelsOf = (code) => {
    let pixels = cellPixels.get(code);
    if (!pixels) {
      const sprite = painter.sprite(code);
      const indices = paletteIndices(sprite.getContext('2d').getImageData(0, 0, charWidth, charHeight).data, palette)
        .map((colour) => CLIP_INDICES[colour]);
      pixels = Array.from({ length: charHeight }, (_, y) => indices.subarray(y * charWidth, (y + 1) * charWidth));
      cellPixels.set(code, pixels);
    }
    return pixels;
  };
  const shown = new Uint8Array(width * height).fill(CLIP_INDICES[0]);
  const gif = gifenc.GIFEncoder();
  frames.forEach((entry, i) => {
    // Only the cells that changed are copied in, and only the box around
    // them goes into the frame, over the last one.
    const { cells } = changes[i];
    for (let at = 0; at < cells.length; at += 3) {
      const [r, c, code] = [cells[at], cells[at + 1], cells[at + 2]];
      const pixels = pixelsOf(code);
      const x = painter.left(c), y = painter.top(r);
      for (let dy = 0; dy < charHeight; dy++) shown.set(pixels[dy], (y + dy) * width + x);
    }
    const [x, y, boxWidth, boxHeight] = frameBox(geometry, changes[i], i);
    let framePixels = shown;
    if (boxWidth * boxHeight < shown.length) {
      framePixels = new Uint8Array(boxWidth * boxHeight);
      for (let dy = 0; dy < boxHeight; dy++) {
        const row = (y + dy) * width + x;
        framePixels.set(shown.subarray(row, row + boxWidth), dy * boxWidth);
      }
    }
    const from = i === 0 ? start : entry.time;
    const until = i + 1 < frames.length ? frames[i + 1].time : end;
    const at = gif.bytesView().length;
    gif.writeFrame(framePixels, boxWidth, boxHeight,
      { palette: i === 0 ? table : null, delay: until - from, repeat: 0, dispose: 1 });
    // gifenc puts every frame at the top left: its image descriptor, after the
    // 8 bytes of the frame's control block, is told where this one goes.
    if (i > 0) placeFrame(gif.bytesView(), at + 8, x, y);
  });
  gif.finish();
  const d = new Date(start);
  const name = `lumivane-${d.getFullYear()}${pad(d.getMonth() + 1)}${pad(d.getDate())}-` +
    `${pad(d.getHours())}${pad(d.getMinutes())}${pad(d.getSeconds())}.gif`;
  window.lumivaneClipTimes.push(performance.now() - started);
  return { bytes: gif.bytes(), name, frames: frames.length };
}

// Each clip's time to make in ms, for the browser test's figures.
window.lumivaneClipTimes = [];
document.getElementById('clip').addEventListener('click', async () => {
  if (count === 0) return;
  const clip = await makeClip();
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([clip.bytes], { type: 'image/gif' }));
  link.download = clip.name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
});
