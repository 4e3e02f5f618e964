// Turns the GIF encoder of the pinned npm package gifenc
// (view/rom/package-lock.json) into a C++ header: its CommonJS build wrapped
// so that the page gets one global, `gifenc`, as LUMIVANE_GIFENC_JS.
//
//   node scripts/gifenc-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { writeScriptHeader } from './script-header.mjs';

const [packageDir, output] = process.argv.slice(2);
if (!packageDir || !output) {
  console.error('usage: node gifenc-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER');
  process.exit(2);
}
const encoder = join(packageDir, 'node_modules', 'gifenc');
const { version } = JSON.parse(readFileSync(join(encoder, 'package.json'), 'utf8'));
const script = readFileSync(join(encoder, 'dist', 'gifenc.js'), 'utf8');
if (!script.includes('GIFEncoder: () => GIFEncoder')) {
  console.error('gifenc-script: the encoder is not the CommonJS build this wraps');
  process.exit(1);
}
const wrapped = `const gifenc = (() => {\nconst exports = {};\n${script.replace(/\n\/\/# sourceMappingURL=.*\n?$/, '\n')}return exports;\n})();\n`;
writeScriptHeader(output, `scripts/gifenc-script.mjs from gifenc ${version}`,
  'LUMIVANE_GIFENC_JS', wrapped);
