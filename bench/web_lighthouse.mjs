// Lighthouse's mobile audit of the page as built (performance and accessibility), from Debian's
// chromium, the page served gzipped as a web server would. Lighthouse itself comes from npm, installed
// on first use into the build folder (BUILD_FOLDER/bench-lighthouse); it is not part of the tests or CI.
// Run on demand after `scripts/build-web.sh --test`:
//
//   node bench/web_lighthouse.mjs [BUILD_FOLDER] [RUNS]   (default build-web, 5 runs; 15 s a run)
//
// A single audit of the performance varies by ten points and more from run to run on the same build
// (the blocking time is measured from the tasks as they ran on this machine), so the audit is run
// RUNS times, as Lighthouse's own advice on variability says. Prints each run's scores and figures
// (first and largest paint, blocking time, speed index), the median of each, and every audit that did
// not pass in the run whose performance score is the median.
import fs from 'node:fs';
import path from 'node:path';
import {execFileSync, spawn} from 'node:child_process';

const LIGHTHOUSE = '13.5.0';
const build = path.resolve(process.argv[2] || 'build-web');
const runs = Math.max(1, Number(process.argv[3] || 5));
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
const FIGURES = ['first-contentful-paint', 'largest-contentful-paint', 'total-blocking-time', 'cumulative-layout-shift',
                 'speed-index'];
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
try {
  const report = path.join(tools, 'report.json');
  const results = [];
  for (let k = 0; k < runs; ++k) {
    // Lighthouse's own mobile preset: a phone's screen, a 4x slower CPU and a slow 4G link, simulated.
    // Run beside this process's server (a synchronous child would hold up the server's answers).
    const code = await new Promise((done) => spawn(process.execPath, [
      cli, url, '--quiet', '--form-factor=mobile', '--output=json', `--output-path=${report}`,
      '--only-categories=performance,accessibility', '--chrome-flags=--headless --no-sandbox'],
    {env: {...process.env, CHROME_PATH: CHROMIUM}, stdio: 'inherit'}).on('exit', done));
    if (code !== 0) throw new Error(`lighthouse ended with ${code}`);
    const r = JSON.parse(fs.readFileSync(report, 'utf8'));
    results.push(r);
    console.log(`run ${k + 1}: ` + Object.values(r.categories).map((c) => `${c.title} ${Math.round(c.score * 100)}`).join(', ') +
                '; ' + FIGURES.filter((id) => r.audits[id]).map((id) => `${r.audits[id].title} ${r.audits[id].displayValue}`).join(', '));
  }
  for (const [id, category] of Object.entries(results[0].categories)) {
    console.log(`${category.title}: median ${Math.round(median(results.map((r) => r.categories[id].score)) * 100)}`);
  }
  for (const id of FIGURES.filter((f) => results[0].audits[f])) {
    const unit = results[0].audits[id].numericUnit === 'millisecond' ? ' ms' : '';
    console.log(`${results[0].audits[id].title}: median ${+median(results.map((r) => r.audits[id].numericValue)).toFixed(3)}${unit}`);
  }
  // What did not pass, in the run in the middle.
  const middle = median(results.map((r) => r.categories.performance.score));
  const r = results.find((x) => x.categories.performance.score === middle);
  for (const [id, category] of Object.entries(r.categories)) {
    for (const ref of category.auditRefs) {
      const a = r.audits[ref.id];
      if (a.score === null || a.score >= 0.9) continue;
      console.log(`  ${a.id} (${id}, weight ${ref.weight}): score ${a.score}` +
                  (a.displayValue ? `, ${a.displayValue}` : '') + ` - ${a.title}`);
    }
  }
} finally {
  server.close();
}
