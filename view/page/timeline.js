// The timeline under the panel: the changes the view kept, to drag back
// through. The panel then shows the screen as it was and "live" gives way to
// its time; changes that come meanwhile are counted, and move nothing.
//
// The page holds only pieces of the history: each answer of /history.json
// says where all kept changes are (`count` positions from `first`), the
// newest piece is fetched as changes come, and a piece around any other
// position when the timeline goes there.
const PIECE = 200;        // changes fetched at once around a position
const HELD = 20 * PIECE;  // changes held before those far from the timeline are let go
const kept = new Map();   // position -> {version, time, position, codes}: the pieces held
let first = 0, count = 0; // the positions the view keeps, as its last answer said
let tail = null;          // the position after the newest piece held; null: none yet
let lookingAt = null;     // the position the panel shows; null: live
let clipMark = null;      // the position marked as a clip's start; null: none
let liveCodes = null;     // the screen now, to go back to
const scrub = document.getElementById('scrub');

const codesOf = (entry) => entry.codes.map((row) => Array.from(row, (ch) => ch.charCodeAt(0)));
const pad = (n, width = 2) => String(n).padStart(width, '0');
const clockOf = (ms) => {
  const d = new Date(ms);
  return `${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}.${pad(d.getMilliseconds(), 3)}`;
};
const dateOf = (ms) => {
  const d = new Date(ms);
  return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}`;
};

const newest = () => first + count - 1;
const shownPosition = () => (lookingAt === null ? newest() : lookingAt);
function lookingBack() { return lookingAt !== null; }
function lookingBackLabel() { return lookingAt === null ? null : 'at ' + clockOf(kept.get(lookingAt).time); }

// One answer of /history.json for `query`: its versions, and where the kept
// ones are now. Null when the view did not answer.
async function askHistory(query) {
  const answer = await fetch(`/history.json?${query}`, { cache: 'no-store' });
  if (!answer.ok) return null;
  const history = await answer.json();
  first = history.first;
  count = history.count;
  return history;
}

// The versions of an answer held; what the view no longer keeps, and past
// HELD what lies far from both the timeline and the newest, let go, but for
// the change shown and the clip's mark.
function hold(versions) {
  for (const entry of versions) kept.set(entry.position, entry);
  const near = shownPosition();
  for (const position of kept.keys()) {
    const far = kept.size > HELD && Math.abs(position - near) > PIECE && position < newest() - PIECE;
    if ((position < first || far) && position !== lookingAt && position !== clipMark) kept.delete(position);
  }
}

// The newest piece, then what comes after it; one fetch at once, another
// after it when a change came meanwhile. The first asks only where the kept
// changes are, then for the last piece of them.
let fetching = false, fetchAgain = false;
async function fetchNewest() {
  if (fetching) { fetchAgain = true; return; }
  fetching = true;
  try {
    if (tail === null && (await askHistory('limit=0'))) tail = Math.max(first, first + count - PIECE);
    for (;;) {
      fetchAgain = false;
      if (tail === null) break;
      // Fallen more than a piece behind: the last piece, leaving a gap.
      const from = Math.max(tail, first + count - PIECE, first);
      const history = await askHistory(`from=${from}&limit=${PIECE}`);
      if (!history) break;
      hold(history.versions);
      tail = history.versions.length ? history.versions.at(-1).position + 1 : Math.max(from, first + count);
      const seen = history.versions.find((entry) => entry.version === changeSeen);
      if (seen) clockSeen(seen);
      if (!history.more && !fetchAgain) break;
    }
  } catch (e) { /* the next change tries again */ }
  fetching = false;
  drawTimeline();
}

// The kept change at `position`, fetched with the piece around it when not
// held; null when the view no longer keeps it.
async function entryAt(position) {
  if (!kept.has(position)) {
    const history = await askHistory(`from=${Math.max(first, position - PIECE / 2)}&limit=${PIECE}`);
    if (history) hold(history.versions);
  }
  return kept.get(position) || null;
}

// Each screen event: the live screen, and the history to fetch. A change
// seen as it came (not the first screen) tells the view's clock.
let changeSeen = null, firstScreen = true, lastVersion = null;
function timelineSaw(screen, codes) {
  if (!firstScreen && screen.version !== lastVersion) changeSeen = screen.version;
  firstScreen = false;
  liveCodes = codes;
  // A restarted view counts its versions afresh: its history is another.
  if (lastVersion !== null && screen.version < lastVersion) {
    kept.clear();
    first = count = 0;
    tail = lookingAt = clipMark = null;
  }
  lastVersion = screen.version;
  if (screen.version > 0) fetchNewest();
}

// Shows the kept change at `position` (the newest: live), once it is held.
let wanted = null;
async function lookAt(position) {
  if (count === 0) return;
  position = Math.max(first, Math.min(position, newest()));
  wanted = position;
  const entry = position === newest() ? null : await entryAt(position);
  if (wanted !== position) return;  // the timeline moved on meanwhile
  lookingAt = entry ? position : null;
  show(lookingAt === null && liveCodes ? liveCodes : codesOf(entry));
  drawTimeline();
  showStatus(found ? 'live' : 'waiting');
}
const goLive = () => lookAt(newest());

function drawTimeline() {
  scrub.max = String(Math.max(0, count - 1));
  scrub.value = String(shownPosition() - first);
  scrub.disabled = count < 2;
  const newer = lookingAt === null ? 0 : newest() - lookingAt;
  document.getElementById('newer').textContent = newer ? `${newer} newer` : '';
  document.getElementById('to-live').hidden = lookingAt === null;
  const shown = lookingAt === null ? null : kept.get(lookingAt);
  document.getElementById('moment').textContent = shown ? `${dateOf(shown.time)} ${clockOf(shown.time)}` : '';
  const mark = clipMark === null ? null : kept.get(clipMark);
  document.getElementById('mark').textContent =
    clipMark === null ? 'mark clip start' : `clip from ${mark ? clockOf(mark.time) : 'mark'} \u00d7`;
}

scrub.addEventListener('input', () => lookAt(first + Number(scrub.value)));
document.getElementById('to-live').addEventListener('click', goLive);
document.getElementById('mark').addEventListener('click', () => {
  clipMark = clipMark === null && count ? shownPosition() : null;
  if (clipMark !== null && !kept.has(clipMark)) entryAt(clipMark).then(drawTimeline);
  drawTimeline();
});
// Left and right step one change, End goes back to live, Home to the oldest,
// wherever the focus is but in a chooser; the slider does the same by itself.
document.addEventListener('keydown', (event) => {
  if (event.target === scrub || event.target.tagName === 'SELECT') return;
  const steps = { ArrowLeft: () => lookAt(shownPosition() - 1), ArrowRight: () => lookAt(shownPosition() + 1), End: goLive, Home: () => lookAt(first) };
  if (!steps[event.key] || event.altKey || event.ctrlKey || event.metaKey) return;
  event.preventDefault();
  steps[event.key]();
});
