// Turns the GIF encoder of the pinned npm package gifenc
// (view/rom/package-lock.json) into a C++ header: its CommonJS build wrapped
// so that the page gets one global, `gifenc`, as LUMIVANE_GIFENC_JS.
//
//   node scripts/gifenc-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { readPackageScript, writeScriptHeader } from './script-header.mjs';

const { output, version, script } = readPackageScript('gifenc-script.mjs', 'gifenc', 'dist/gifenc.js');
if (!script.includes('GIFEncoder: () => GIFEncoder')) {
  console.error('gifenc-script: the encoder is not the CommonJS build this wraps');
  process.exit(1);
}
const wrapped = `const gifenc = (() => {\nconst exports = {};\n${script.replace(/\n\/\/# sourceMappingURL=.*\n?$/, '\n')}return exports;\n})();\n`;
writeScriptHeader(output, `scripts/gifenc-script.mjs from gifenc ${version}`,
  'LUMIVANE_GIFENC_JS', wrapped);
