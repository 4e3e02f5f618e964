// The panel alone. Kiosk: on the whole screen of a spare phone or tablet
// (?kiosk=1, the "full screen" button, a double tap on the panel); a tap
// shows the controls for a while, Escape or the button leaves. Bare: on a
// transparent page for a stream or a dashboard (?bare=1, &bezel=0 without
// the bezel), with nothing else.
const asked = new URLSearchParams(location.search);
const bare = asked.get('bare') === '1';
// A bare view framed by another site gets no cookie: its requests carry the
// token its own address was given.
const bareToken = bare ? asked.get('token') : null;
const bezel = document.getElementById('bezel');
const kioskButton = document.getElementById('kiosk');
const CONTROLS_SHOWN_MS = 4000, DOUBLE_TAP_MS = 350;

function serverUrl(path) {
  return bareToken === null ? path : `${path}?bare=1&token=${encodeURIComponent(bareToken)}`;
}

const inKiosk = () => document.body.classList.contains('kiosk');

// The panel keeps its shape and takes the window's whole width or height.
function fitPanel() {
  if (!inKiosk() && !bare) {
    bezel.style.width = '';
    return;
  }
  bezel.style.width = window.innerWidth + 'px';
  const shape = bezel.offsetWidth / bezel.offsetHeight;
  bezel.style.width = Math.floor(Math.min(window.innerWidth, window.innerHeight * shape)) + 'px';
}

function enterKiosk() {
  document.body.classList.add('kiosk');
  kioskButton.textContent = 'leave full screen';
  fitPanel();
  requestFullScreen();
}

// Browsers allow full screen only from a tap; ?kiosk=1 asks again at the first.
function requestFullScreen() {
  const root = document.documentElement;
  if (root.requestFullscreen && !document.fullscreenElement)
    root.requestFullscreen({ navigationUI: 'hide' }).catch(() => { /* the window then */ });
}

function leaveKiosk() {
  document.body.classList.remove('kiosk', 'show-controls');
  kioskButton.textContent = 'full screen';
  fitPanel();
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
}

let controlsTimer = null;
function showControls() {
  document.body.classList.add('show-controls');
  clearTimeout(controlsTimer);
  controlsTimer = setTimeout(() => document.body.classList.remove('show-controls'), CONTROLS_SHOWN_MS);
}

kioskButton.addEventListener('click', () => (inKiosk() ? leaveKiosk() : enterKiosk()));

let lastPanelTap = 0;
document.addEventListener('click', (event) => {
  if (bare || event.target.closest('#kiosk')) return;
  const onPanel = bezel.contains(event.target);
  const now = event.timeStamp;
  const doubleTap = onPanel && now - lastPanelTap < DOUBLE_TAP_MS;
  lastPanelTap = doubleTap ? 0 : onPanel ? now : 0;
  if (doubleTap) {
    if (inKiosk()) leaveKiosk();
    else enterKiosk();
  } else if (inKiosk()) {
    requestFullScreen();
    showControls();
  }
});
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && inKiosk()) leaveKiosk();
});
// The browser's own way out of full screen (Escape, a back gesture) leaves
// too; full screen granted after the kiosk was left is given back.
document.addEventListener('fullscreenchange', () => {
  if (!document.fullscreenElement && inKiosk()) leaveKiosk();
  else if (document.fullscreenElement && !inKiosk()) document.exitFullscreen().catch(() => {});
});

window.addEventListener('resize', fitPanel);
new ResizeObserver(fitPanel).observe(display);
if (bare) {
  document.documentElement.classList.add('bare');
  document.body.classList.add('bare');
  if (asked.get('bezel') === '0') document.body.classList.add('no-bezel');
  fitPanel();
} else if (asked.get('kiosk') === '1') {
  enterKiosk();
}
