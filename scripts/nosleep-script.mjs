// Turns the pinned npm package nosleep.js (view/rom/package-lock.json) into a
// C++ header: its browser script as one string literal, LUMIVANE_NOSLEEP_JS,
// with which the view's page keeps a screen awake where the browser has no
// Screen Wake Lock API (any page over plain HTTP but localhost's).
//
//   node scripts/nosleep-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { writeScriptHeader } from './inline-script.mjs';

writeScriptHeader('nosleep-script.mjs', process.argv.slice(2), {
  name: 'nosleep.js',
  file: 'dist/NoSleep.min.js',
  macro: 'LUMIVANE_NOSLEEP_JS',
  marker: '.NoSleep=',
});
