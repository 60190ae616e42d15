// The browser version's figures, from Debian's chromium (headless) on the page as built, beside the
// same figures for two small metronome pages of our own in bench/anchors (stand-ins for the plain
// "two clocks" demo and a small installable metronome; nothing is fetched from elsewhere). Run on
// demand after `scripts/build-web.sh --test` (which installs puppeteer-core into the build folder):
//
//   node bench/web_bench.mjs [BUILD_FOLDER [EARLIER_SITE]]   (default build-web; about 11 minutes)
//   tests/web/pipewire_session.sh node bench/web_bench.mjs ...  (the same on a real sound server)
//
// EARLIER_SITE (a copy of an earlier build's site/ folder) adds its download, for a before and after.
// A blank page of ours (bench/anchors/blank) gives the browser's own floor: what chromium's renderer
// spends on any page at rest. Prints, for each page: its download (each file and the total, raw and
// gzipped), the bytes a first visit takes on the wire (served gzipped, the service worker's own
// fetches included), the time from navigation to the first screen painted (the largest content's
// paint: cold, warm with the service worker, and cold on a phone's slow CPU (4x) and link (9 Mbit/s,
// 150 ms); each the median of seven, the pages taken in turn), and the CPU of chromium's page renderer
// and audio service per second at rest after a sound and while ticking at 240 bpm (its first 20 s and
// the next 20 s: the first also holds V8 optimising the page's hot code, and on chromium's fake output
// either may hold a stretch where the renderer's and the audio service's figures rise together, the
// output's own), with the page's own timer, interval and animation-frame callbacks counted at rest.
// Then, for Cadenzo, at 240 bpm in 4/4 for 60 s, the intervals between click starts in frames (as
// handed to Web Audio, and each checked against the output recorded by an AudioWorklet), the delay
// from each click's timer to its sound handed to Web Audio (which must stay inside the latency the
// page chose: 60 ms, or more where the context holds more) and how far ahead of the context's clock it
// was.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import {fileURLToPath} from 'node:url';

const build = path.resolve(process.argv[2] || 'build-web');
const site = path.join(build, 'site');
const anchors = path.join(path.dirname(fileURLToPath(import.meta.url)), 'anchors');
const {serve, launch, open, tap, clockJumps, attachRecorder, startRecording, recording, countCallbacks} =
  await import(path.join(build, 'tests/web/harness.mjs'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const stats = (v) => {
  const s = [...v].sort((a, b) => a - b);
  return {min: s[0], median: s[s.length >> 1], max: s[s.length - 1]};
};
const fmt = (n, d = 1) => n.toFixed(d);
// Inside a sound server's session (tests/web/pipewire_session.sh sets PULSE_SERVER) the CPU and the
// 60 s at 240 bpm are measured with chromium playing to it unmuted, as a phone's browser plays to its
// own output; elsewhere to chromium's fake output, whose own cost swings (see the header).
const realOutput = !!process.env.PULSE_SERVER;
const PHONE = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
const AT_240_IN_4_4 = 'd2000100030101';
const SCREEN_ROUNDS = 7;

// The pages compared: how each is told to start and stop ticking at 240 bpm.
const pages = [
  {name: 'Cadenzo', folder: site,
   async start(page) {
     await page.keyboard.press('Shift');
     await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
     await tap(page, 61, 88);
   },
   async stop(page) { await tap(page, 61, 88); }},
  {name: 'two clocks (stand-in)', folder: path.join(anchors, 'two-clocks'),
   async start(page) {
     await page.evaluate(() => { document.getElementById('tempo').value = 240; });
     await page.click('#play');
   },
   async stop(page) { await page.click('#play'); }},
  {name: 'small metronome (stand-in)', folder: path.join(anchors, 'small-metronome'),
   async start(page) {
     await page.evaluate(() => { document.getElementById('tempo').value = 240; });
     await page.click('#play');
   },
   async stop(page) { await page.click('#play'); }},
  // Nothing to start: its CPU "ticking" is its rest again.
  {name: 'blank (the browser alone)', folder: path.join(anchors, 'blank'), async start() {}, async stop() {}},
];

// Keeps the times the largest content was painted (`window.largest`), from before the page's scripts.
function watchLargest() {
  window.largest = [];
  new PerformanceObserver((list) => list.getEntries().forEach((e) => window.largest.push(e.startTime)))
      .observe({type: 'largest-contentful-paint', buffered: true});
}

// A new profile in `browser`. Now and then, in a long series, Chromium answers the request with
// "Session with given id not found"; asked again, it gives one.
async function newContext(browser) {
  for (let attempt = 1; ; ++attempt) {
    try {
      return await browser.createBrowserContext();
    } catch (e) {
      if (attempt === 3) throw e;
      await sleep(500);
    }
  }
}

// Opens `url` in `context` at a phone's size; resolves once the first screen has been painted.
async function visit(context, url, slow) {
  const page = await context.newPage();
  await page.setViewport(PHONE);
  await page.evaluateOnNewDocument(countCallbacks);
  await page.evaluateOnNewDocument(watchLargest);
  if (slow) {
    const cdp = await page.createCDPSession();
    await cdp.send('Emulation.setCPUThrottlingRate', {rate: 4});
    await cdp.send('Network.emulateNetworkConditions', {offline: false, latency: 150,
                                                       downloadThroughput: 9e6 / 8, uploadThroughput: 9e6 / 8});
  }
  await page.goto(url, {waitUntil: 'load', timeout: 60000});
  await page.waitForFunction(() => window.largest.length > 0, {timeout: 60000});
  await sleep(300);
  return page;
}
const painted = (page) => page.evaluate(() => window.largest[window.largest.length - 1]);
// Cadenzo's own first frame: the program starts once the first screen is on the display.
const usable = (page) => page.evaluate(() => new Promise((done) => {
  const wait = () => (window.CadenzoPage && CadenzoPage.presented.length ? done(CadenzoPage.presented[0].shown)
                                                                         : setTimeout(wait, 20));
  wait();
}));

// The CPU time of one browser's processes by type (ms).
async function cpuOf(browser) {
  const cdp = await browser.target().createCDPSession();
  return async () => {
    const {processInfo} = await cdp.send('SystemInfo.getProcessInfo');
    const by = {};
    for (const p of processInfo) by[p.type] = (by[p.type] || 0) + p.cpuTime * 1000;
    return by;
  };
}
const perSecond = (a, b, seconds, type) => ((b[type] || 0) - (a[type] || 0)) / seconds;
const allPerSecond = (a, b, seconds) => Object.keys(b).map((k) => `${k} ${fmt(perSecond(a, b, seconds, k))}`).join(', ');

// Each file of a folder, raw and gzipped; the totals.
function download(folder) {
  let raw = 0, gz = 0;
  for (const f of fs.readdirSync(folder).sort()) {
    const body = fs.readFileSync(path.join(folder, f)), z = zlib.gzipSync(body, {level: 9}).length;
    raw += body.length;
    gz += z;
    console.log(`  ${f.padEnd(22)} ${String(body.length).padStart(9)} ${String(z).padStart(9)}`);
  }
  console.log(`  ${'total'.padEnd(22)} ${String(raw).padStart(9)} ${String(gz).padStart(9)}`);
  return gz;
}
if (process.argv[3]) {
  console.log(`earlier build (${process.argv[3]}): download (file: bytes, gzipped)`);
  download(path.resolve(process.argv[3]));
}

// ---- Download and a first visit on the wire, page by page, in one browser; each page keeps its
// visited context (with its service worker, if any) for the warm visits below.
const table = pages.map((anchor) => ({name: anchor.name}));
const visits = await launch();
const served = [];
try {
  for (const [k, anchor] of pages.entries()) {
    const row = table[k];
    console.log(`${anchor.name}: download (file: bytes, gzipped)`);
    const gz = row.download = download(anchor.folder);
    const counter = {};
    const {server, url} = await serve(anchor.folder, counter, true);
    const context = await newContext(visits);
    served.push({server, url, context, cold: [], warm: [], slow: [], ready: [], slowReady: []});
    const page = await visit(context, url);
    if (anchor.name === 'Cadenzo') await usable(page);
    await page.evaluate(() => 'serviceWorker' in navigator && navigator.serviceWorker.getRegistration().then(
        (r) => r && navigator.serviceWorker.ready));
    await sleep(1000);
    await page.close();
    row.firstVisit = Object.entries(counter).filter(([k]) => k !== 'requests').reduce((a, [, v]) => a + v, 0);
    console.log(`  first visit on the wire: ${row.firstVisit} bytes (${fmt(row.firstVisit / gz, 2)} x the download); ` +
                `requests: ${JSON.stringify(counter.requests)}`);
  }

  // ---- First screen painted, the pages taken in turn (the order reversed every other round), so that
  // the machine's own swings fall on all of them alike: cold (a fresh profile each time), warm (the
  // context of the first visit, its service worker's copy), and cold on the slow CPU and link.
  for (let round = 0; round < SCREEN_ROUNDS; ++round) {
    const order = [...pages.keys()];
    if (round % 2) order.reverse();
    for (const k of order) {
      const s = served[k], cadenzo = pages[k].name === 'Cadenzo';
      for (const slow of [false, true]) {
        const fresh = await newContext(visits);
        const p = await visit(fresh, s.url, slow);
        (slow ? s.slow : s.cold).push(await painted(p));
        if (cadenzo) (slow ? s.slowReady : s.ready).push(await usable(p));
        await fresh.close();
      }
      const p = await visit(s.context, s.url);
      s.warm.push(await painted(p));
      await p.close();
    }
  }
  for (const [k, s] of served.entries()) {
    const row = table[k];
    row.cold = stats(s.cold).median;
    row.warm = stats(s.warm).median;
    row.slow = stats(s.slow).median;
    const each = (v) => v.map((t) => fmt(t, 0)).join(', ');
    console.log(`${row.name}: first screen painted (ms, median of ${SCREEN_ROUNDS}): cold ${fmt(row.cold)} ` +
                `(${each(s.cold)}), warm ${fmt(row.warm)} (${each(s.warm)}), slow CPU and link ${fmt(row.slow)} ` +
                `(${each(s.slow)})` + (s.ready.length ? `; the program's own first frame: cold ` +
                `${fmt(stats(s.ready).median)}, slow ${fmt(stats(s.slowReady).median)}` : ''));
  }
} finally {
  await visits.close();
  for (const s of served) s.server.close();
}

for (const [k, anchor] of pages.entries()) {
  const row = table[k];
  // ---- CPU at rest after a sound, and while ticking at 240 bpm: a browser of its own.
  const quiet = await serve(anchor.folder);
  const own = await launch([], realOutput);
  try {
    const context = await newContext(own);
    const page = await context.newPage();
    await page.setViewport(PHONE);
    await page.evaluateOnNewDocument(countCallbacks);
    if (anchor.name === 'Cadenzo') {
      await page.evaluateOnNewDocument((s) => localStorage.setItem('cadenzo:Cadenzo.ini', s), AT_240_IN_4_4);
    }
    await page.goto(quiet.url);
    if (anchor.name === 'Cadenzo') await usable(page);
    const cpu = await cpuOf(own);
    await anchor.start(page);
    await sleep(1000);
    await anchor.stop(page);
    await sleep(9000);  // Cadenzo rests 6.5 s after its last sound
    await page.evaluate(() => { window.fired = {timeout: 0, interval: 0, frame: 0}; });
    const rest0 = await cpu();
    await sleep(10000);
    const rest1 = await cpu();
    row.fired = await page.evaluate(() => window.fired);
    await anchor.start(page);
    await sleep(1000);
    const tick0 = await cpu();
    await sleep(20000);
    const tick1 = await cpu();
    await sleep(20000);
    const tick2 = await cpu();
    await anchor.stop(page);
    row.rest = {renderer: perSecond(rest0, rest1, 10, 'renderer')};
    row.tick = {renderer: perSecond(tick0, tick1, 20, 'renderer')};
    row.steady = {renderer: perSecond(tick1, tick2, 20, 'renderer')};
    console.log(`  CPU at rest after a sound (ms/s, by process): ${allPerSecond(rest0, rest1, 10)}; the page's ` +
                `callbacks in 10 s: ${JSON.stringify(row.fired)}`);
    console.log(`  CPU ticking at 240 bpm (ms/s, by process), its first 20 s: ${allPerSecond(tick0, tick1, 20)}; ` +
                `the next 20 s: ${allPerSecond(tick1, tick2, 20)}`);
  } finally {
    await own.close();
    quiet.server.close();
  }
}
console.log('\nside by side (download and first visit in KB gzipped; times in ms; CPU in ms/s, on ' +
            (realOutput ? `the sound server at ${process.env.PULSE_SERVER})` : "chromium's fake output)"));
console.log('  page                        download first-visit  cold  warm  slow  rest-renderer  tick-renderer  ' +
            'tick-steady');
for (const r of table) {
  console.log(`  ${r.name.padEnd(27)} ${fmt(r.download / 1024).padStart(8)} ${fmt(r.firstVisit / 1024).padStart(11)} ` +
              `${fmt(r.cold, 0).padStart(5)} ${fmt(r.warm, 0).padStart(5)} ${fmt(r.slow, 0).padStart(5)} ` +
              `${fmt(r.rest.renderer).padStart(14)} ${fmt(r.tick.renderer).padStart(14)} ` +
              `${fmt(r.steady.renderer).padStart(12)}`);
}
const small = table.find((r) => r.name.startsWith('small metronome'));
console.log(`  first screen against the small metronome's: ` + table.filter((r) => r !== small).map((r) =>
    `${r.name} cold ${fmt(r.cold / small.cold, 2)}, warm ${fmt(r.warm / small.warm, 2)}, slow ${fmt(r.slow / small.slow, 2)}`)
    .join('; '));

const {server, url} = await serve(site);
const browser = await launch([], realOutput);
try {
  // ---- 60 s at 240 bpm in 4/4, recorded at the output.
  const page = await open(browser, url, undefined, 'd2000100030101');
  const cdp = await browser.target().createCDPSession();  // process figures come from the browser's target
  const cpu = async () => {
    const {processInfo} = await cdp.send('SystemInfo.getProcessInfo');
    const by = {};
    for (const p of processInfo) by[p.type] = (by[p.type] || 0) + p.cpuTime;
    return by;
  };
  await page.keyboard.press('Shift');
  await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
  await attachRecorder(page);  // it keeps the output inside the audio thread: next to nothing in the CPU figures
  await sleep(2000);
  await startRecording(page);
  await tap(page, 61, 88);
  const tick0 = await cpu();
  await sleep(60000);
  const tick1 = await cpu();
  await tap(page, 61, 88);
  await sleep(500);
  const relabelled = await recording(page);
  const r = await page.evaluate(() => {
    const a = CadenzoPage.audio, rate = a.ctx.sampleRate, sounds = CadenzoPage.sounds;
    const {base, stream} = window.recording;
    const wrong = [];
    sounds.forEach((s, k) => {
      const b = s.buffer.getChannelData(0);
      const end = Math.min(b.length, k + 1 < sounds.length ? sounds[k + 1].frame - s.frame : b.length);
      let differ = 0, first = -1;
      for (let i = 0; i < end; ++i) if (Math.abs(b[i] - stream[s.frame + i - base]) > 1e-6 && differ++ === 0) first = i;
      if (differ) wrong.push(`${k}: ${differ} of ${end} samples differ from +${first}`);
    });
    return {rate, wrong, history: a.history, messages: sounds.map((s) => s.message), frames: sounds.map((s) => s.frame), delays: sounds.map((s) => s.scheduledAt - s.message),
            leads: sounds.map((s) => s.lead * 1000), latency: a.ctx.baseLatency, output: a.ctx.outputLatency,
            chosen: Number(CadenzoPage.trace.find((t) => t.line.startsWith('audio-open web ')).line.split(' ')[4])};
  });
  // Where the context's own clock jumped against performance.now() (its output stalled): by more
  // than 5 ms, and more than the context's own buffer (its clock advances a buffer at a time: with
  // 20 ms of buffer it reads +-10 ms against performance.now() twice a second without a stall).
  const jumpMs = Math.max(5, r.latency * 1000);
  const jumps = clockJumps(r.history, r.rate, jumpMs);
  const intervals = {};
  for (let k = 1; k < r.frames.length; ++k) intervals[r.frames[k] - r.frames[k - 1]] = (intervals[r.frames[k] - r.frames[k - 1]] || 0) + 1;
  console.log(`context: ${r.rate} Hz, baseLatency ${fmt(r.latency * 1000)} ms, outputLatency ${fmt(r.output * 1000)} ms;` +
              ` the page's latency ${r.chosen} ms`);
  console.log(`clicks in 60 s: ${r.frames.length}; intervals between starts (frames: count): ` +
              Object.entries(intervals).map(([k, v]) => `${k}: ${v}`).join(', ') + ` (one beat = ${r.rate / 4})`);
  for (let k = 1; k < r.frames.length; ++k) {
    if (r.frames[k] - r.frames[k - 1] === r.rate / 4) continue;
    const near = jumps.filter((j) => j.to >= r.messages[k - 1] - 500 && j.to <= r.messages[k] + 100);
    console.log(`  click ${k}: ${r.frames[k] - r.frames[k - 1]} frames after the one before; the context's clock ` +
                (near.length ? 'jumped ' + near.map((j) => `${fmt(j.ms)} ms`).join(', ') + ' just before' : 'did not jump'));
  }
  console.log(`the context's clock jumped (its output stalled, > ${fmt(jumpMs)} ms) ${jumps.length} times: ` +
              jumps.map((j) => `${fmt(j.ms)} ms at ${fmt(j.to / 1000)} s`).join(', '));
  console.log(`clicks not found sample for sample at their frame in the recorded output: ${r.wrong.length}` +
              (r.wrong.length ? ` (clicks ${r.wrong.join('; ')})` : '') +
              `; render quanta that came with another quantum's frame: ${relabelled}`);
  const d = stats(r.delays), l = stats(r.leads);
  console.log(`timer to sound handed to Web Audio (ms): min ${fmt(d.min, 2)} median ${fmt(d.median, 2)} max ${fmt(d.max, 2)}` +
              ` spread ${fmt(d.max - d.min, 2)} (inside the ${r.chosen} ms latency: ${d.max < r.chosen ? 'yes' : 'NO'})`);
  console.log(`start ahead of the context's clock when handed over (ms): min ${fmt(l.min, 2)} median ${fmt(l.median, 2)} max ${fmt(l.max, 2)}`);
  const per = (a, b) => Object.keys(b).map((k) => `${k} ${fmt((b[k] - (a[k] || 0)) * 1000, 0)} ms`).join(', ');
  console.log(`CPU per minute, ticking: ${per(tick0, tick1)}`);
} finally {
  await browser.close();
  server.close();
}
