// The screen stays awake while the view is shown: by the Screen Wake Lock API
// where the page is a secure context (localhost), else by nosleep.js, whose
// silent video a browser plays only after a tap. A lock the system drops when
// the page is hidden is taken again when it shows again.
const awake = { lock: null, video: null, kept: false };

function showAwake(kept, why) {
  awake.kept = kept;
  document.getElementById('awake').textContent = '\u00b7 ' + (kept ? 'screen kept awake' : why);
}

async function keepAwake() {
  if (document.visibilityState !== 'visible') return;
  if ('wakeLock' in navigator) {
    if (awake.lock) return;
    try {
      awake.lock = await navigator.wakeLock.request('screen');
      awake.lock.addEventListener('release', () => {
        awake.lock = null;
        showAwake(false, 'screen may sleep');
      });
      showAwake(true);
    } catch (e) {
      showAwake(false, 'screen may sleep: tap to keep it awake');
    }
    return;
  }
  if (!awake.video) {
    showAwake(false, 'screen may sleep: tap to keep it awake');
    return;
  }
  try {
    await awake.video.enable();
    showAwake(true);
  } catch (e) {
    showAwake(false, 'screen may sleep: tap to keep it awake');
  }
}

// The first tap is the gesture a browser wants before it plays a video; it
// also takes a wake lock that was refused before any tap.
function keepAwakeFromTap() {
  if (!('wakeLock' in navigator) && !awake.video) awake.video = new NoSleep();
  if (!awake.kept) keepAwake();
}

document.addEventListener('click', keepAwakeFromTap);
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'visible') keepAwake();
});
keepAwake();
