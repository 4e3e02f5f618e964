// Turns the QR encoder of the pinned npm package qrcode-generator
// (view/rom/package-lock.json) into a C++ header: its browser script as one
// string literal, LUMIVANE_QRCODE_JS, which the view's page carries inline.
//
//   node scripts/qrcode-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { writeScriptHeader } from './inline-script.mjs';

writeScriptHeader('qrcode-script.mjs', process.argv.slice(2), {
  name: 'qrcode-generator',
  file: 'dist/qrcode.js',
  macro: 'LUMIVANE_QRCODE_JS',
  marker: 'var qrcode = function()',
});
