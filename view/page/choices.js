'use strict';
const ROMS = {
  'hd44780-a00': '@LUMIVANE_ROM_A00_HEX@',
  'hd44780-a02': '@LUMIVANE_ROM_A02_HEX@',
};
const SIZES = ['8x1', '8x2', '16x1', '16x2', '16x4', '20x1', '20x2', '20x4', '24x2', '40x1', '40x2', '40x4', '80x4'];
const ENCODINGS = ['windows-1252', 'latin1', 'utf-8', 'hd44780-a00', 'hd44780-a02'];
// Kept in step with the PNG's palettes (view/lcd/lcd_picture.cpp).
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
