// Assembles the page: bundles the page code with CodeMirror and the worker
// code (esbuild), and writes one HTML file holding the styles, the code, the
// engine module (its WebAssembly inlined) and the examples, so that it works
// opened from disk with nothing fetched.
//
//   node web/build-page.mjs ENGINE_JS EXAMPLES_DIR OUT_HTML
import { readFileSync, writeFileSync, readdirSync, statSync, mkdirSync } from 'node:fs';
import { dirname, join, relative } from 'node:path';
import { fileURLToPath } from 'node:url';
import * as esbuild from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const [engineJs, examplesDir, outHtml] = process.argv.slice(2);
if (!outHtml) {
  console.error('usage: node web/build-page.mjs ENGINE_JS EXAMPLES_DIR OUT_HTML');
  process.exit(2);
}

function examples(dir) {
  const found = {};
  const walk = (d) => {
    for (const name of readdirSync(d).sort()) {
      const p = join(d, name);
      if (statSync(p).isDirectory()) walk(p);
      else if (name.endsWith('.txt')) found[relative(dir, p).replace(/\.txt$/, '')] = readFileSync(p, 'utf8');
    }
  };
  walk(dir);
  return found;
}

// Text that may stand inside <script>: nothing in it can close the element
// or open an HTML comment. Each replacement means the same in JavaScript
// strings, templates and regular expressions.
function scriptSafe(code) {
  return code.replace(/<\/(script)/gi, '<\\/$1').replace(/<!--/g, '<\\!--');
}

const common = { bundle: true, minify: true, format: 'iife', target: 'es2020', write: false, logLevel: 'warning' };

const worker = await esbuild.build({ ...common, entryPoints: [join(here, 'src/worker.js')] });
const workerSource = worker.outputFiles[0].text;
const engineSource = readFileSync(engineJs, 'utf8');

const virtual = {
  name: 'virtual',
  setup(build) {
    build.onResolve({ filter: /^virtual:/ }, (args) => ({ path: args.path, namespace: 'virtual' }));
    build.onLoad({ filter: /.*/, namespace: 'virtual' }, (args) => {
      if (args.path === 'virtual:examples') {
        return { contents: `export const EXAMPLES = ${JSON.stringify(examples(examplesDir))};`, loader: 'js' };
      }
      return {
        contents: `export const ENGINE_SOURCE = ${JSON.stringify(engineSource)};\n` +
          `export const WORKER_SOURCE = ${JSON.stringify(workerSource)};`,
        loader: 'js',
      };
    });
  },
};

const page = await esbuild.build({ ...common, entryPoints: [join(here, 'src/main.js')], plugins: [virtual] });
const css = await esbuild.transform(readFileSync(join(here, 'src/style.css'), 'utf8'), { loader: 'css', minify: true });

const html = readFileSync(join(here, 'src/page.html'), 'utf8')
  .replace('/*STYLE*/', () => css.code.trim().replace(/<\/(style)/gi, '<\\/$1'))
  .replace('/*SCRIPT*/', () => scriptSafe(page.outputFiles[0].text.trim()));
mkdirSync(dirname(outHtml), { recursive: true });
writeFileSync(outHtml, html);
console.log(`${outHtml}: ${html.length} bytes`);
