// Cadenzo's page on a real sound server, in each browser engine, beside the plain "two clocks"
// page (tests/web/two_clocks.html) playing the same clicks in the same browser and session. Run it
// inside a private PipeWire session after `scripts/build-web.sh --test`:
//
//   tests/web/pipewire_session.sh node bench/web_real_output.mjs [BUILD] [ENGINE...]
//
// (BUILD: default build-web; ENGINE: chromium, firefox, webkit; default all three; BENCH_SECONDS
// and BENCH_BPM change the run, default 60 s at 240 beats a minute in 4/4.) The sink's monitor is
// recorded by parec at 100 ms; for each page it prints: the intervals between the frames handed to
// Web Audio (one beat is exact), the clicks handed and heard, the share of intervals between the
// same beat of successive bars within 0.1 ms of a bar, and the timing left after one offset for
// each beat of the bar (SD and largest).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {spawn, execFileSync} from 'node:child_process';

const args = process.argv.slice(2);
const build = path.resolve(args[0] && !['chromium', 'firefox', 'webkit'].includes(args[0]) ? args.shift() : 'build-web');
const engines = args.length ? args : ['chromium', 'firefox', 'webkit'];
const seconds = Number(process.env.BENCH_SECONDS || 60), bpm = Number(process.env.BENCH_BPM || 240);
const {serve} = await import(path.join(build, 'tests/web/harness.mjs'));
const {launchEngine, missing} = await import(path.join(build, 'tests/web/engines.mjs'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const RATE = 48000;  // the sink's, and so the recording's

// The clicks the program plays, as WAVE files beside the control page.
const control = fs.mkdtempSync(path.join(os.tmpdir(), 'cadenzo-control-'));
execFileSync(path.join(build, 'native/cadenzo-sim'), ['--export-sounds', control]);
fs.copyFileSync(path.join(build, 'tests/web/two_clocks.html'), path.join(control, 'two_clocks.html'));

// Records the sink's monitor until the returned function is called; that gives the samples.
function record() {
  const file = path.join(control, 'monitor.raw');
  const parec = spawn('parec', ['--device=test.monitor', '--format=float32le', '--rate=' + RATE, '--channels=1',
                                '--latency-msec=100', file], {stdio: 'ignore'});
  return async () => {
    parec.kill('SIGINT');
    await new Promise((r) => parec.on('exit', r));
    const b = fs.readFileSync(file);
    return new Float32Array(b.buffer, b.byteOffset, b.length >> 2);
  };
}

// The starts of the clicks heard: where the signal first rises over a tenth of its peak after 50 ms
// below it, to a fraction of a frame.
function onsets(x) {
  let peak = 0;
  for (const v of x) peak = Math.max(peak, Math.abs(v));
  const level = peak / 10, quiet = RATE / 20, out = [];
  let below = quiet;
  for (let i = 1; i < x.length; ++i) {
    const a = Math.abs(x[i]);
    if (a > level && below >= quiet) {
      const p = Math.abs(x[i - 1]);
      out.push(i - 1 + (level - p) / (a - p));
    }
    below = a > level ? 0 : below + 1;
  }
  return out;
}

function figures(handed, rate, heard) {
  const beat = rate * 60 / bpm, beatHeard = RATE * 60 / bpm;
  let exact = 0;
  for (let k = 1; k < handed.length; ++k) exact += Math.abs(handed[k] - handed[k - 1] - beat) <= 1;
  let bars = 0, within = 0;
  for (let k = 4; k < heard.length; ++k, ++bars) within += Math.abs(heard[k] - heard[k - 4] - 4 * beatHeard) <= RATE / 1e4;
  const res = heard.map((t, k) => t - k * beatHeard), mean = [0, 0, 0, 0], count = [0, 0, 0, 0];
  res.forEach((r, k) => { mean[k % 4] += r; count[k % 4]++; });
  const left = res.map((r, k) => (r - mean[k % 4] / count[k % 4]) / RATE * 1000);
  const sd = Math.sqrt(left.reduce((s, v) => s + v * v, 0) / Math.max(1, left.length));
  const largest = left.reduce((m, v) => Math.max(m, Math.abs(v)), 0);
  return {handed: handed.length, exact: `${exact}/${Math.max(0, handed.length - 1)}`, heard: heard.length,
          bars: bars ? (100 * within / bars).toFixed(1) + ' %' : '-', sd: sd.toFixed(3), largest: largest.toFixed(2)};
}

const site = await serve(path.join(build, 'site')), controlSite = await serve(control);
const settings = {240: 'd2000100030101', 30: '1e000100030101'}[bpm] || 'd2000100030101';
console.log(`${bpm} beats a minute in 4/4 for ${seconds} s, recorded from the sink's monitor at 100 ms`);
console.log('engine    page      handed exact-beat  heard  bars<=0.1ms  residual SD / largest (ms)');
for (const engine of engines) {
  if (missing(engine)) {
    console.log(`${engine}: skipped, ${missing(engine)}`);
    continue;
  }
  const browser = await launchEngine(engine);
  try {
    // Cadenzo: the settings kept from an earlier visit, then the page; its first tap starts sound.
    const first = await browser.page(site.url + 'Cadenzo.htm');
    await first.run(`localStorage.setItem('cadenzo:Cadenzo.ini', '${settings}'); return true;`);
    await first.close();
    const page = await browser.page(site.url);
    await page.run(`while (!(window.CadenzoPage && CadenzoPage.presented.length)) await new Promise((r) => setTimeout(r, 50));
                    CadenzoPage.startAudio();
                    for (let i = 0; i < 100 && CadenzoPage.audio.state !== 'running'; ++i) await new Promise((r) => setTimeout(r, 50));
                    return CadenzoPage.audio.state;`);
    const tap = `const t = Math.floor(performance.now());
                 CadenzoPage.events.push([0, 61, 88, 0, 0, t], [2, 61, 88, 0, 0, t]); CadenzoPage.wake(); return t;`;
    await sleep(1000);
    let stop = record();
    await page.run(tap);
    await sleep(seconds * 1000);
    await page.run(tap);
    await sleep(500);
    const ours = await page.run(`return {rate: CadenzoPage.audio.ctx.sampleRate, frames: CadenzoPage.sounds.map((s) => s.frame),
                                        trace: CadenzoPage.trace.filter((t) => /^audio-/.test(t.line)).map((t) => t.line)};`);
    const oursHeard = onsets(await stop());
    await page.close();
    // The control, the same clicks in the same browser and session.
    const plain = await browser.page(controlSite.url + 'two_clocks.html');
    await plain.run('return await Control.load();');
    stop = record();
    await plain.run(`Control.start(${bpm}, 4, ${seconds}); return true;`);
    await sleep(seconds * 1000 + 500);
    const theirs = await plain.run('return {rate: Control.ctx.sampleRate, frames: Control.handed};');
    const theirsHeard = onsets(await stop());
    await plain.close();
    for (const [name, r, heard] of [['Cadenzo', ours, oursHeard], ['control', theirs, theirsHeard]]) {
      const f = figures(r.frames, r.rate, heard);
      console.log(`${engine.padEnd(9)} ${name.padEnd(9)} ${String(f.handed).padStart(6)} ${f.exact.padStart(10)} ` +
                  `${String(f.heard).padStart(6)} ${f.bars.padStart(12)}  ${f.sd} / ${f.largest}`);
    }
    for (const line of ours.trace) console.log(`  ${engine}: ${line}`);
  } catch (e) {
    console.log(`${engine}: failed, ${e.stack || e}`);
  } finally {
    await browser.close();
  }
}
site.server.close();
controlSite.server.close();
fs.rmSync(control, {recursive: true});
