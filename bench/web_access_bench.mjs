// What the page's accessibility layer costs while the metronome ticks: the CPU of chromium's page
// renderer (and of all its processes) per second at 240 bpm in 4/4 on a phone's size, with the layer
// present and with it absent (the page started with `window.CadenzoAccessLayer = false`), in rounds
// that alternate the two, each in a browser of its own; the page's own main-thread work (its tasks'
// time, its layouts and style recalculations, from chromium's performance metrics); and how often the
// layer read the program's tree meanwhile. Run on demand after `scripts/build-web.sh --test` (which installs puppeteer-core
// into the build folder):
//
//   node bench/web_access_bench.mjs [BUILD_FOLDER]        (default build-web)
//
// BENCH_SECONDS (default 20) is each measurement's length, BENCH_ROUNDS (default 3) the rounds.
import path from 'node:path';

const build = path.resolve(process.argv[2] || 'build-web');
const {serve, launch, tap} = await import(path.join(build, 'tests/web/harness.mjs'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const SECONDS = Number(process.env.BENCH_SECONDS || 20);
const ROUNDS = Number(process.env.BENCH_ROUNDS || 3);
const PHONE = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
const AT_240_IN_4_4 = 'd2000100030101';
const START = [61, 88];

// One measurement: CPU ms per second by process type while ticking, and the layer's tree reads.
async function measure(url, layer) {
  const browser = await launch();
  try {
    const page = await browser.newPage();
    await page.setViewport(PHONE);
    await page.evaluateOnNewDocument((s, on) => {
      localStorage.setItem('cadenzo:Cadenzo.ini', s);
      if (!on) window.CadenzoAccessLayer = false;
    }, AT_240_IN_4_4, layer);
    await page.goto(url);
    await page.waitForFunction(() => window.CadenzoPage && CadenzoPage.presented.length > 0, {timeout: 20000});
    const present = await page.evaluate(() => document.getElementById('access') !== null);
    if (present !== layer) throw new Error(`the layer is ${present ? 'present' : 'absent'} where it should not be`);
    await page.keyboard.press('Shift');
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await tap(page, ...START);
    await sleep(2000);
    const cdp = await browser.target().createCDPSession();
    const cpu = async () => {
      const {processInfo} = await cdp.send('SystemInfo.getProcessInfo');
      const by = {all: 0};
      for (const p of processInfo) {
        by[p.type] = (by[p.type] || 0) + p.cpuTime * 1000;
        by.all += p.cpuTime * 1000;
      }
      return by;
    };
    // The renderer's main-thread work for this page alone (less noisy than a process's CPU on a busy
    // machine): its tasks' time, and how often style and layout were worked out again.
    const own = await page.createCDPSession();
    await own.send('Performance.enable');
    const work = async () => Object.fromEntries((await own.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
    const w0 = await work();
    const reads0 = await page.evaluate(() => CadenzoAccess.refreshes);
    const clicks0 = await page.evaluate(() => CadenzoPage.sounds.length);
    const a = await cpu();
    await sleep(SECONDS * 1000);
    const b = await cpu();
    const w1 = await work();
    const reads = (await page.evaluate(() => CadenzoAccess.refreshes)) - reads0;
    const clicks = (await page.evaluate(() => CadenzoPage.sounds.length)) - clicks0;
    await tap(page, ...START);
    return {renderer: (b.renderer - a.renderer) / SECONDS, all: (b.all - a.all) / SECONDS, reads, clicks,
            task: (w1.TaskDuration - w0.TaskDuration) * 1000 / SECONDS,
            layouts: (w1.LayoutCount - w0.LayoutCount) / SECONDS, styles: (w1.RecalcStyleCount - w0.RecalcStyleCount) / SECONDS};
  } finally {
    await browser.close();
  }
}

const {server, url} = await serve(path.join(build, 'site'));
const rows = {absent: [], present: []};
try {
  for (let r = 0; r < ROUNDS; ++r) {
    for (const layer of r % 2 ? [true, false] : [false, true]) {
      const m = await measure(url, layer);
      rows[layer ? 'present' : 'absent'].push(m);
      console.log(`round ${r + 1}, layer ${layer ? 'present' : 'absent '}: renderer ${m.renderer.toFixed(1)} ms/s, ` +
                  `all processes ${m.all.toFixed(1)} ms/s, the page's tasks ${m.task.toFixed(1)} ms/s, ` +
                  `${m.layouts.toFixed(2)} layouts/s, ${m.styles.toFixed(2)} style recalculations/s, ${m.clicks} clicks, ` +
                  `the tree read ${m.reads} times`);
    }
  }
} finally {
  server.close();
}
const median = (v) => [...v].sort((x, y) => x - y)[v.length >> 1];
const absent = median(rows.absent.map((m) => m.renderer)), present = median(rows.present.map((m) => m.renderer));
const allAbsent = median(rows.absent.map((m) => m.all)), allPresent = median(rows.present.map((m) => m.all));
console.log(`\nticking at 240 bpm, ${SECONDS} s a measurement, median of ${ROUNDS}:`);
console.log(`  renderer: ${absent.toFixed(1)} ms/s without the layer, ${present.toFixed(1)} ms/s with it ` +
            `(${(100 * (present / absent - 1)).toFixed(1)} %)`);
const task = (k) => median(rows[k].map((m) => m.task));
console.log(`  the page's tasks: ${task('absent').toFixed(1)} ms/s without, ${task('present').toFixed(1)} ms/s with ` +
            `(${(100 * (task('present') / task('absent') - 1)).toFixed(1)} %)`);
console.log(`  all processes: ${allAbsent.toFixed(1)} ms/s without, ${allPresent.toFixed(1)} ms/s with ` +
            `(${(100 * (allPresent / allAbsent - 1)).toFixed(1)} %)`);
