// Lighthouse's mobile audit of the page as built (performance and accessibility), from Debian's
// chromium, the page served gzipped as a web server would. Lighthouse itself comes from npm, installed
// on first use into the build folder (BUILD_FOLDER/bench-lighthouse); it is not part of the tests or CI.
// Run on demand after `scripts/build-web.sh --test`:
//
//   node bench/web_lighthouse.mjs [BUILD_FOLDER]       (default build-web; about a minute)
//
// Prints each category's score (0-100) and every audit of those categories that did not pass, with
// its figure where it has one (the paints, blocking time, layout shift).
import fs from 'node:fs';
import path from 'node:path';
import {execFileSync, spawn} from 'node:child_process';

const LIGHTHOUSE = '13.5.0';
const build = path.resolve(process.argv[2] || 'build-web');
const {serve, CHROMIUM} = await import(path.join(build, 'tests/web/harness.mjs'));

const tools = path.join(build, 'bench-lighthouse');
const cli = path.join(tools, 'node_modules/lighthouse/cli/index.js');
if (!fs.existsSync(cli)) {
  fs.mkdirSync(tools, {recursive: true});
  fs.writeFileSync(path.join(tools, 'package.json'), JSON.stringify({private: true}));
  console.log(`installing lighthouse ${LIGHTHOUSE} from npm into ${tools}`);
  execFileSync('npm', ['install', '--no-audit', '--no-fund', `lighthouse@${LIGHTHOUSE}`], {cwd: tools, stdio: 'inherit'});
}

const {server, url} = await serve(path.join(build, 'site'), undefined, true);
try {
  const report = path.join(tools, 'report.json');
  // Lighthouse's own mobile preset: a phone's screen, a 4x slower CPU and a slow 4G link, simulated.
  // Run beside this process's server (a synchronous child would hold up the server's answers).
  const code = await new Promise((done) => spawn(process.execPath, [
    cli, url, '--quiet', '--form-factor=mobile', '--output=json', `--output-path=${report}`,
    '--only-categories=performance,accessibility', '--chrome-flags=--headless --no-sandbox'],
  {env: {...process.env, CHROME_PATH: CHROMIUM}, stdio: 'inherit'}).on('exit', done));
  if (code !== 0) throw new Error(`lighthouse ended with ${code}`);
  const r = JSON.parse(fs.readFileSync(report, 'utf8'));
  for (const [id, category] of Object.entries(r.categories)) {
    console.log(`${category.title}: ${Math.round(category.score * 100)}`);
    for (const ref of category.auditRefs) {
      const a = r.audits[ref.id];
      if (a.score === null || a.score >= 0.9) continue;
      console.log(`  ${a.id} (${id}, weight ${ref.weight}): score ${a.score}` +
                  (a.displayValue ? `, ${a.displayValue}` : '') + ` - ${a.title}`);
    }
  }
  for (const id of ['first-contentful-paint', 'largest-contentful-paint', 'total-blocking-time', 'cumulative-layout-shift',
                    'speed-index']) {
    if (r.audits[id]) console.log(`${r.audits[id].title}: ${r.audits[id].displayValue}`);
  }
} finally {
  server.close();
}
