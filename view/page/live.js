let version = null;
let found = false;
let lastChange = null;

function showStatus(state) {
  const words = { live: 'live', reconnecting: 'reconnecting', waiting: 'waiting for the page', connecting: 'connecting' };
  document.getElementById('status').className = 'status ' + state;
  document.getElementById('state').textContent = lookingBackLabel() || words[state];
  document.getElementById('changed').textContent =
    lastChange ? '\u00b7 last change ' + lastChange.toLocaleTimeString() : '';
}

function onScreen(event) {
  const screen = JSON.parse(event.data);
  if (choice.size === null) {
    settle(screen.display);
    fillChooser('size', SIZES);
    fillChooser('encoding', Object.keys(ENCODINGS));
    fillChooser('theme', Object.keys(THEMES));
    build();
  }
  // A restarted server counts its versions afresh: the rows are always shown.
  if (screen.version !== version) {
    version = screen.version;
    if (screen.version > 0) lastChange = new Date();
  }
  const screenCodes = codesOf(screen);
  timelineSaw(screen, screenCodes);
  // Looking back, the panel stays where the timeline put it.
  if (!lookingBack()) show(screenCodes);
  found = screen.found;
  document.getElementById('page').textContent = 'page: ' + screen.page;
  showStatus(found ? 'live' : 'waiting');
}

let source = null;
function connect() {
  source = new EventSource(serverUrl('/events'));
  source.addEventListener('screen', onScreen);
  source.onerror = () => {
    showStatus('reconnecting');
    // The browser retries by itself unless the server refused the stream.
    if (source.readyState === EventSource.CLOSED) {
      source.close();
      setTimeout(connect, 2000);
    }
  };
}
connect();

// The address with its token comes only to a browser that holds the token;
// without one (loopback) there is nothing to offer.
async function offerShare() {
  let url = null;
  try {
    const answer = await fetch('/share.json', { cache: 'no-store' });
    if (answer.ok) url = (await answer.json()).url;
  } catch (e) { /* no code to offer */ }
  if (typeof url !== 'string') return;
  const button = document.getElementById('share');
  const code = document.getElementById('share-code');
  button.hidden = false;
  button.addEventListener('click', () => {
    if (!code.hidden) { code.hidden = true; return; }
    const qr = qrcode(0, 'M');
    qr.addData(url, 'Byte');
    qr.make();
    document.getElementById('share-qr').src = qr.createDataURL(6, 4);
    code.hidden = false;
  });
}
offerShare();
