// Turns the QR encoder of the pinned npm package qrcode-generator
// (view/rom/package-lock.json) into a C++ header: its browser script as one
// string literal, LUMIVANE_QRCODE_JS, which the view's page carries inline.
//
//   node scripts/qrcode-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { writeScriptHeader } from './script-header.mjs';

const [packageDir, output] = process.argv.slice(2);
if (!packageDir || !output) {
  console.error('usage: node qrcode-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER');
  process.exit(2);
}
const encoder = join(packageDir, 'node_modules', 'qrcode-generator');
const { version } = JSON.parse(readFileSync(join(encoder, 'package.json'), 'utf8'));
const script = readFileSync(join(encoder, 'dist', 'qrcode.js'), 'utf8');
if (!script.includes('var qrcode = function()')) {
  console.error('qrcode-script: the encoder is not a script the page can hold inline');
  process.exit(1);
}
writeScriptHeader(output, `scripts/qrcode-script.mjs from qrcode-generator ${version}`,
  'LUMIVANE_QRCODE_JS', script);
