// Turns the GIF encoder of the pinned npm package gifenc
// (view/rom/package-lock.json) into a C++ header: its CommonJS build wrapped
// so that the page gets one global, `gifenc`, as LUMIVANE_GIFENC_JS.
//
//   node scripts/gifenc-script.mjs ROM_PACKAGE_DIR OUTPUT_HEADER
import { writeScriptHeader } from './inline-script.mjs';

writeScriptHeader('gifenc-script.mjs', process.argv.slice(2), {
  name: 'gifenc',
  file: 'dist/gifenc.js',
  macro: 'LUMIVANE_GIFENC_JS',
  marker: 'GIFEncoder: () => GIFEncoder',
  wrap: (script) =>
    `const gifenc = (() => {\nconst exports = {};\n${script.replace(/\n\/\/# sourceMappingURL=.*\n?$/, '\n')}return exports;\n})();\n`,
});
