// "Save clip": the screen over a span as an animated GIF, drawn as the panel
// draws its dots (the chosen ROM; A00 under a text encoding, as the PNG), each
// change a frame shown for as long as the screen showed it. The span is the
// last 30 s up to the moment shown, or from the mark on the timeline to it
// (either way round).
const CLIP_MS = 30000;
const CLIP_MAX_WIDTH = 1200;  // pixels: a 20x4 panel at 4 a dot, an 80x4 at 2

// The span's [start, end) in the view's clock, and its frames' entries.
function clipSpan() {
  const shown = shownIndex();
  const last = clipMark === null ? shown : Math.max(clipMark, shown);
  // A change lasts until the next; the live one until now, on the view's
  // clock as near as the last change seen tells it.
  const end = last + 1 < kept.length ? kept[last + 1].time
    : Math.max(kept[last].time + 1, Date.now() - clockSkew);
  const start = clipMark === null ? end - CLIP_MS : kept[Math.min(clipMark, shown)].time;
  // The screen at the start, then every change before the end.
  let first = kept.findIndex((entry) => entry.time > start) - 1;
  if (first < -1) first = kept.length - 1;
  first = Math.max(0, first);
  const frames = [];
  for (let i = first; i < kept.length && kept[i].time < end; i++) frames.push(kept[i]);
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

function makeClip() {
  const started = performance.now();
  const { start, end, frames } = clipSpan();
  const [columns, rows] = choice.size.split('x').map(Number);
  // A text encoding's clip is drawn in the first ROM's dots.
  const rom = ENCODINGS[choice.encoding].rom ? choice.encoding
    : Object.keys(ENCODINGS).find((name) => ENCODINGS[name].rom);
  const theme = THEMES[choice.theme];
  let scale = 1;
  while (scale < 4 && geometryAt(scale + 1, columns, rows).width <= CLIP_MAX_WIDTH) scale++;
  const geometry = geometryAt(scale, columns, rows);
  const { width, height } = geometry;
  const canvas = document.createElement('canvas');
  canvas.width = width;
  canvas.height = height;
  const context = canvas.getContext('2d', { willReadFrequently: true });
  context.fillStyle = theme.backlight;
  context.fillRect(0, 0, width, height);
  const painter = dotPainter(context, geometry, theme, rom);
  const palette = [theme.backlight, theme.on, theme.off].map(rgbOf);
  const gif = gifenc.GIFEncoder();
  const drawnCodes = [];
  frames.forEach((entry, i) => {
    // Only the cells that changed are drawn, and only the box around them
    // goes into the frame, over the last one.
    let box = i === 0 ? [0, 0, width, height] : null;
    const codes = codesOf(entry);
    for (let r = 0; r < rows; r++) {
      for (let c = 0; c < columns; c++) {
        const code = c < (codes[r] || []).length ? codes[r][c] : 0x20;
        if (drawnCodes[r * columns + c] === code) continue;
        painter.drawCell(r, c, code);
        drawnCodes[r * columns + c] = code;
        const cell = painter.cellBox(r, c);
        box = box ? [Math.min(box[0], cell[0]), Math.min(box[1], cell[1]), Math.max(box[2], cell[2]), Math.max(box[3], cell[3])] : cell;
      }
    }
    // A change outside the area shown still takes its time: one pixel.
    const [x, y, right, bottom] = box ? [Math.max(0, box[0]), Math.max(0, box[1]), Math.min(width, box[2]), Math.min(height, box[3])] : [0, 0, 1, 1];
    const from = i === 0 ? start : entry.time;
    const until = i + 1 < frames.length ? frames[i + 1].time : end;
    const pixels = context.getImageData(x, y, right - x, bottom - y).data;
    const at = gif.bytesView().length;
    gif.writeFrame(paletteIndices(pixels, palette), right - x, bottom - y,
      { palette: i === 0 ? palette : null, delay: until - from, repeat: 0, dispose: 1 });
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
document.getElementById('clip').addEventListener('click', () => {
  if (kept.length === 0) return;
  const clip = makeClip();
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([clip.bytes], { type: 'image/gif' }));
  link.download = clip.name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
});
