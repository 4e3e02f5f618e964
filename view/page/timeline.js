// The timeline under the panel: the changes the view kept, to drag back
// through. The panel then shows the screen as it was and "live" gives way to
// its time; changes that come meanwhile are counted, and move nothing.
const kept = [];          // {version, time, codes}, oldest first, from /history.json
let lookingAt = null;     // the index in kept the panel shows; null: live
let clipMark = null;      // the index marked as a clip's start; null: none
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

function lookingBack() { return lookingAt !== null; }
function lookingBackLabel() { return lookingAt === null ? null : 'at ' + clockOf(kept[lookingAt].time); }

// The versions after the last one held, a piece at a time; one fetch at once,
// another after it when a change came meanwhile.
let fetching = false, fetchAgain = false;
async function fetchHistory() {
  if (fetching) { fetchAgain = true; return; }
  fetching = true;
  try {
    for (;;) {
      fetchAgain = false;
      const since = kept.length ? kept[kept.length - 1].time : 0;
      const answer = await fetch(`/history.json?since=${since}`, { cache: 'no-store' });
      if (!answer.ok) break;
      const { versions, more } = await answer.json();
      const last = kept.length ? kept[kept.length - 1].version : 0;
      for (const entry of versions) if (entry.version > last) kept.push(entry);
      if (kept.length && kept[kept.length - 1].version === changeSeen) clockSeen(kept[kept.length - 1]);
      if (!more && !fetchAgain) break;
    }
  } catch (e) { /* the next change tries again */ }
  fetching = false;
  drawTimeline();
}

// Each screen event: the live screen, and the history to fetch. A change
// seen as it came (not the first screen) tells the view's clock.
let changeSeen = null, firstScreen = true;
function timelineSaw(screen, codes) {
  if (!firstScreen && (!kept.length || screen.version !== kept[kept.length - 1].version)) changeSeen = screen.version;
  firstScreen = false;
  liveCodes = codes;
  // A restarted view counts its versions afresh: its history is another.
  if (kept.length && screen.version < kept[kept.length - 1].version) {
    kept.length = 0;
    lookingAt = clipMark = null;
  }
  if (screen.version > 0) fetchHistory();
}

function lookAt(index) {
  if (kept.length === 0) return;
  index = Math.max(0, Math.min(index, kept.length - 1));
  lookingAt = index === kept.length - 1 ? null : index;
  show(lookingAt === null && liveCodes ? liveCodes : codesOf(kept[index]));
  drawTimeline();
  showStatus(found ? 'live' : 'waiting');
}
const goLive = () => lookAt(kept.length - 1);
const shownIndex = () => (lookingAt === null ? kept.length - 1 : lookingAt);

function drawTimeline() {
  scrub.max = String(Math.max(0, kept.length - 1));
  scrub.value = String(shownIndex());
  scrub.disabled = kept.length < 2;
  const newer = lookingAt === null ? 0 : kept.length - 1 - lookingAt;
  document.getElementById('newer').textContent = newer ? `${newer} newer` : '';
  document.getElementById('to-live').hidden = lookingAt === null;
  document.getElementById('moment').textContent =
    lookingAt === null ? '' : `${dateOf(kept[lookingAt].time)} ${clockOf(kept[lookingAt].time)}`;
  document.getElementById('mark').textContent =
    clipMark === null ? 'mark clip start' : `clip from ${clockOf(kept[clipMark].time)} \u00d7`;
}

scrub.addEventListener('input', () => lookAt(Number(scrub.value)));
document.getElementById('to-live').addEventListener('click', goLive);
document.getElementById('mark').addEventListener('click', () => {
  clipMark = clipMark === null && kept.length ? shownIndex() : null;
  drawTimeline();
});
// Left and right step one change, End goes back to live, Home to the oldest,
// wherever the focus is but in a chooser; the slider does the same by itself.
document.addEventListener('keydown', (event) => {
  if (event.target === scrub || event.target.tagName === 'SELECT') return;
  const steps = { ArrowLeft: () => lookAt(shownIndex() - 1), ArrowRight: () => lookAt(shownIndex() + 1), End: goLive, Home: () => lookAt(0) };
  if (!steps[event.key] || event.altKey || event.ctrlKey || event.metaKey) return;
  event.preventDefault();
  steps[event.key]();
});
