// Turns the QR encoder of the pinned npm package qrcode-generator
// (view/rom/package-lock.json) into a C++ header: its browser script as one
// string literal, LUMIVANE_QRCODE_JS, which the view's page carries inline.
//
//   node scripts/qrcode-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { readPackageScript, writeScriptHeader } from './script-header.mjs';

const { output, version, script } = readPackageScript('qrcode-script.mjs', 'qrcode-generator', 'dist/qrcode.js');
if (!script.includes('var qrcode = function()')) {
  console.error('qrcode-script: the encoder is not a script the page can hold inline');
  process.exit(1);
}
writeScriptHeader(output, `scripts/qrcode-script.mjs from qrcode-generator ${version}`,
  'LUMIVANE_QRCODE_JS', script);
