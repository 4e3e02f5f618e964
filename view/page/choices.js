'use strict';
// The display's lists, made at build time from the view's C++ tables.
const SIZES = @LUMIVANE_SIZES_JS@;
const MAX_COLUMNS = @LUMIVANE_MAX_COLUMNS_JS@;
const MAX_ROWS = @LUMIVANE_MAX_ROWS_JS@;
const ENCODINGS = @LUMIVANE_ENCODINGS_JS@;
const THEMES = @LUMIVANE_THEMES_JS@;
// The panel's parts in quarters of a dot.
const PANEL = @LUMIVANE_PANEL_JS@;
const display = document.getElementById('display');
const glyphs = {};
for (const [name, { rom: hex }] of Object.entries(ENCODINGS)) {
  if (!hex) continue;
  const table = new Uint8Array(256 * 8);
  for (let i = 0; i < table.length; i++) table[i] = parseInt(hex.substr(i * 2, 2), 16);
  glyphs[name] = table;
}

// The choices: from the URL, else from this browser's last choice, else the
// server's own options. Every choice is written back to both.
const choice = { size: null, encoding: null, theme: null };
// Each choice's value as the view itself reads it, in its own spelling, or
// null when the view would refuse it.
const canonical = {
  size: (v) => {
    const [, columns, rows] = /^([0-9]{1,3})[xX]([0-9]{1,3})$/.exec(v) || [];
    const c = Number(columns), r = Number(rows);
    return c >= 1 && c <= MAX_COLUMNS && r >= 1 && r <= MAX_ROWS ? `${c}x${r}` : null;
  },
  encoding: (v) => {
    const name = String(v).toLowerCase();
    for (const [known, { aliases }] of Object.entries(ENCODINGS))
      if (name === known || (name && aliases.includes(name))) return known;
    return null;
  },
  theme: (v) => (Object.hasOwn(THEMES, v) ? v : null),
};
const FALLBACK = {
  size: `${MAX_COLUMNS}x${MAX_ROWS}`,
  encoding: Object.keys(ENCODINGS)[0],
  theme: Object.keys(THEMES)[0],
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
    let value = asked === null ? null : canonical[key](asked);
    if (asked !== null && value === null) notices.push(`unknown ${key} "${asked.slice(0, 24)}": showing the default`);
    const kept = stored(key);
    if (value === null && asked === null && kept !== null) value = canonical[key](kept);
    if (value === null) value = canonical[key](defaults[key]) || FALLBACK[key];
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
  if (ENCODINGS[choice.encoding].rom) picture.set('encoding', choice.encoding);
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
