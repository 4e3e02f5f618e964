// What the history's browser tests share: the panel as shown against the
// shown version's picture, and a time as the timeline's label writes it.

// The panel on the page and the kept version's PNG (scale 4), both read as
// 20x4 cells of 5x8 dots, '#' where a dot is lit. The PNG's geometry at
// scale 4: a bezel of 16 px and a margin of 12, 4 px dots 1 px apart, 5 px
// between characters.
export const panelAgainstPicture = (page) =>
  page.evaluate(async () => {
    const version = kept.get(shownPosition()).version;
    const answer = await fetch(`/screen.png?version=${version}&size=20x4&encoding=hd44780-a00&scale=4`);
    const bitmap = await createImageBitmap(await answer.blob());
    const picture = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
    picture.drawImage(bitmap, 0, 0);
    const panel = document.getElementById('dots').getContext('2d');
    const lit = (context, x, y) => {
      const [red, green, blue] = context.getImageData(Math.floor(x), Math.floor(y), 1, 1).data;
      return red + green + blue < 3 * 0x50 ? '#' : '.';
    };
    const shown = [], drawn = [];
    for (let r = 0; r < 4; r++) {
      let panelRow = '', pictureRow = '';
      for (let c = 0; c < 20; c++) {
        for (let y = 0; y < 8; y++) {
          for (let x = 0; x < 5; x++) {
            const dot = window.lumivaneDotAt(r, c, x, y);
            panelRow += lit(panel, dot.x + dot.size / 2, dot.y + dot.size / 2);
            pictureRow += lit(picture, 28 + c * 29 + x * 5 + 2, 28 + r * 44 + y * 5 + 2);
          }
        }
      }
      shown.push(panelRow);
      drawn.push(pictureRow);
    }
    return { version, status: answer.status, shown, drawn };
  });

export const clockOf = (ms) => {
  const d = new Date(ms);
  const pad = (n, w = 2) => String(n).padStart(w, '0');
  return `${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}.${pad(d.getMilliseconds(), 3)}`;
};
