// What the tests and the benchmark on a real sound server share: the sink's monitor recorded with
// parec, the clicks found in it, Cadenzo's page driven in any engine (engines.mjs), the plain "two
// clocks" page beside it, and the figures both judge by. Run inside pipewire_session.sh (a null sink
// "test" at 48 kHz).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {spawn, execFileSync} from 'node:child_process';

export const RATE = 48000;  // the sink's, and so the recording's
export const START = [61, 88];  // "Start Metronome" / "Stop Metronome"
export const TEMPO_PAGE_LEFT = [100, 57];  // the tempo scroll bar left of its thumb at 240: 10 slower
export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The settings record (hexadecimal) for `bpm` in 4/4, the rest as the program's defaults.
export function settingsFor(bpm) {
  return (bpm - 30).toString(16).padStart(2, '0') + '000100030101';
}

// A folder with the three clicks the program plays (1025 strong, 1026 secondary, 1027 other beats)
// as WAVE files, the control page beside them, and room for recordings. `remove()` deletes it.
export function controlFolder(nativeSim, testFolder) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cadenzo-control-'));
  execFileSync(nativeSim, ['--export-sounds', dir]);
  fs.copyFileSync(path.join(testFolder, 'two_clocks.html'), path.join(dir, 'two_clocks.html'));
  return {dir, remove: () => fs.rmSync(dir, {recursive: true, force: true})};
}

// Records the sink's monitor until the returned function is called; that gives the samples.
export async function record(dir) {
  const file = path.join(dir, 'monitor.raw');
  const parec = spawn('parec', ['--device=test.monitor', '--format=float32le', '--rate=' + RATE, '--channels=1',
                                '--latency-msec=100', file], {stdio: 'ignore'});
  await sleep(300);  // the stream is connected and recording
  return async () => {
    parec.kill('SIGINT');
    await new Promise((r) => parec.on('exit', r));
    const b = fs.readFileSync(file);
    fs.rmSync(file);
    return new Float32Array(b.buffer, b.byteOffset, b.length >> 2);
  };
}

// The starts of the clicks heard, in frames of the recording: where the signal first rises over a
// tenth of its peak after 50 ms below it, to a fraction of a frame.
export function onsets(x) {
  let peak = 0;
  for (const v of x) peak = Math.max(peak, Math.abs(v));
  const level = peak / 10, quiet = RATE / 20, out = [];
  if (peak < 1e-3) return out;
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

// Cadenzo's page with the settings `hex` kept from an earlier visit, its sound started as a user's
// first tap starts it. Gives the engine's page and `tap(x, y)` (a press and release at that screen
// pixel, stamped with the page's own time, through the pointer handlers' path: the press wakes a
// resting output first and waits with the release until the output tells the time again).
export async function openCadenzo(browser, url, hex) {
  const first = await browser.page(url + 'Cadenzo.htm');
  await first.run(`localStorage.setItem('cadenzo:Cadenzo.ini', '${hex}'); return true;`);
  await first.close();
  // WebKitGTK now and then leaves a context made without a user's gesture suspended for good (after
  // another page's context closed): a user would load the page again.
  let page, a;
  for (let attempt = 0; attempt < 3 && (!a || a.state !== 'running'); ++attempt) {
    if (page) await page.close();
    page = await browser.page(url);
    a = await page.run(`
      while (!(window.CadenzoPage && CadenzoPage.presented.length)) await new Promise((r) => setTimeout(r, 50));
      CadenzoPage.startAudio();
      for (let i = 0; i < 160 && CadenzoPage.audio.state !== 'running'; ++i) await new Promise((r) => setTimeout(r, 50));
      const a = CadenzoPage.audio, ts = a.ctx && a.ctx.getOutputTimestamp ? a.ctx.getOutputTimestamp() : {};
      return {state: a.state, context: a.ctx && a.ctx.state, time: a.ctx && a.ctx.currentTime,
              ts: [ts.contextTime, ts.performanceTime], now: performance.now()};`);
  }
  if (a.state !== 'running') {
    throw new Error(`the page's audio is ${a.state}: the context ${a.context} at ${a.time} s, its timestamp ` +
                    `${a.ts[0]} s at ${a.ts[1]} ms, ${a.now} ms`);
  }
  page.tap = (x, y) => page.run(`const t = Math.floor(performance.now());
    CadenzoPage.startAudio(); CadenzoPage.push(0, ${x}, ${y}, 0, 0, t); CadenzoPage.push(2, ${x}, ${y}, 0, 0, t);
    return t;`);
  return page;
}

// The page's sounds handed to Web Audio from `from` (an index into its log) on: frame, the frame it was
// due at, message time, sound, and how far ahead of the context's clock it was handed (s).
export async function handedSince(page, from) {
  return page.run(`const a = CadenzoPage.audio;
    return {rate: a.ctx.sampleRate, sounds: CadenzoPage.sounds.slice(${from}).map((s) =>
      ({id: s.id, frame: s.frame, scheduled: s.scheduled, message: s.message, lead: s.lead}))};`);
}
export const soundCount = (page) => page.run('return CadenzoPage.sounds.length;');

// The control: the same clicks placed by the plain pattern, at `bpm` in 4/4 for `seconds`,
// recorded. Gives {rate, frames, heard}.
export async function playControl(browser, url, dir, bpm, seconds) {
  const plain = await browser.page(url + 'two_clocks.html');
  try {
    await plain.run('return await Control.load();');
    const stop = await record(dir);
    await plain.run(`Control.start(${bpm}, 4, ${seconds}); return true;`);
    await sleep(seconds * 1000 + 600);
    const r = await plain.run('return {rate: Control.ctx.sampleRate, frames: Control.handed};');
    const heard = onsets(await stop());
    // Its context closed, so that the next page's finds the output free (WebKitGTK keeps a context
    // of a page left open for a while).
    await plain.run('await Control.ctx.close(); return true;');
    return {...r, heard};
  } finally {
    await plain.close();
  }
}

// Bounds, in frames: a handed interval is its messages' distance in frames (one beat in a steady run)
// within one frame; an interval between the same beat of successive bars as heard is within 0.1 ms
// (4.8 frames at 48 kHz) of the one handed.
export const HANDED_FRAMES = 1;
export const BAR_FRAMES = RATE / 1e4;

// Each click handed (`at`: its start in frames of the recording, from the first) paired with the
// onset heard for it, in order: each click's onset is the one nearest where the click before was
// heard plus their distance as handed, within 45 % of the distance to its neighbours (so a run the
// output delayed once is paired on after the delay, which then shows in one interval). The first
// click is tried on each of the first three onsets (one may come before the run); the pairing that
// hears the most clicks is kept. Gives the onset for each click (undefined: not heard) and the
// onsets no click accounts for.
function pair(at, heard) {
  let best = null;
  for (let first = 0; first < Math.min(3, heard.length); ++first) {
    let offset = heard[first] - at[0], found = 0;
    const used = new Set(), onset = at.map((a, k) => {
      const room = 0.45 * Math.min(k > 0 ? a - at[k - 1] : Infinity, k + 1 < at.length ? at[k + 1] - a : Infinity);
      let near = -1;
      heard.forEach((h, i) => {
        if (!used.has(i) && Math.abs(h - a - offset) <= room &&
            (near < 0 || Math.abs(h - a - offset) < Math.abs(heard[near] - a - offset))) near = i;
      });
      if (near < 0) return undefined;
      used.add(near);
      offset = heard[near] - a;
      ++found;
      return heard[near];
    });
    if (!best || found > best.found) best = {onset, found, extra: heard.length - used.size};
  }
  return best || {onset: at.map(() => undefined), extra: 0};
}

// What a run was: the handed intervals that are not their messages' distance (or, for the control,
// not one beat), clicks handed, heard and missing, onsets no click accounts for, and the intervals
// between the same beat of successive bars (`beats` a bar) heard against those handed: how many,
// how many within the bound, the timing left after one offset for each beat of the bar (SD and
// largest, ms). `messages` may be absent (the control: its clicks are due one beat apart). `ids`
// (the sound of each click) pairs each click with the one before of the same sound where the bar's
// accents moved (a tempo change in a run moves them on by a beat): their attacks start alike.
//
// The output's steps: a browser's output that skips or repeats a buffer moves every later click at
// once. Such a step shows in the interval of each sound that spans it, all by the same amount, and
// in no later one. `steps` lists them (the first click moved, and by how many ms); `held` counts the
// bar intervals within the bound once the steps are taken out. A click heard off on its own (handed
// late, say) is no step: the next click of another sound is heard where it was due.
export function figures({rate, frames, messages, ids, heard, bpm, beats = 4}) {
  const off = [];
  for (let k = 1; k < frames.length; ++k) {
    const want = messages ? (messages[k] - messages[k - 1]) * rate / 1000 : rate * 60 / bpm;
    if (Math.abs(frames[k] - frames[k - 1] - want) > HANDED_FRAMES) off.push(k);
  }
  const at = frames.map((f) => (f - frames[0]) / rate * RATE);  // handed, in frames of the recording
  const {onset, extra} = pair(at, heard);
  const missing = onset.flatMap((o, k) => (o === undefined ? [k] : []));
  // Each judged click k (from the second bar on), the click it is paired with, and how far the
  // interval between them as heard is from the one handed (NaN: one of them not heard).
  const judged = [];
  for (let k = beats; k < at.length; ++k) {
    let j = k - beats;
    if (ids) while (j > 0 && ids[j] !== ids[k]) --j;
    judged.push({k, j, miss: onset[k] - onset[j] - (at[k] - at[j])});
  }
  const steps = [];
  const spanned = (c) => steps.reduce((sum, s) => sum + (c.j < s.at && s.at <= c.k ? s.frames : 0), 0);
  for (const c of judged) {
    const r = c.miss - spanned(c);
    if (!(Math.abs(r) > BAR_FRAMES)) continue;  // within, or not heard
    const moved = judged.filter((d) => d.k >= c.k && d.j < c.k);
    if (moved.length >= 2 && moved.every((d) => Math.abs(d.miss - spanned(d) - r) <= BAR_FRAMES)) {
      steps.push({at: c.k, frames: r});
    }
  }
  let within = 0, held = 0;
  const bad = [];
  for (const c of judged) {
    if (Math.abs(c.miss) <= BAR_FRAMES) within++;
    else bad.push(`${c.k}: ${Number.isNaN(c.miss) ? 'not heard' : (Math.abs(c.miss) / RATE * 1000).toFixed(2) + ' ms'}`);
    if (Math.abs(c.miss - spanned(c)) <= BAR_FRAMES) held++;
  }
  const bars = judged.length;
  const group = (k) => (ids ? ids[k] : k % beats);  // clicks that start their attack alike
  const res = onset.flatMap((t, k) => (t === undefined ? [] : [[group(k), t - at[k]]]));
  const mean = new Map(), count = new Map();
  res.forEach(([g, r]) => { mean.set(g, (mean.get(g) || 0) + r); count.set(g, (count.get(g) || 0) + 1); });
  const left = res.map(([g, r]) => (r - mean.get(g) / count.get(g)) / RATE * 1000);
  return {handed: frames.length, off, heard: heard.length, missing, extra, bars, within, bad,
          share: bars ? within / bars : NaN, held, heldShare: bars ? held / bars : NaN,
          steps: steps.map((s) => ({at: s.at, ms: s.frames / RATE * 1000})),
          sd: Math.sqrt(left.reduce((s, v) => s + v * v, 0) / Math.max(1, left.length)),
          largest: left.reduce((m, v) => Math.max(m, Math.abs(v)), 0)};
}

// One line of figures.
export function line(name, f) {
  const exact = `${f.handed - 1 - f.off.length}/${Math.max(0, f.handed - 1)}`;
  const pc = (v) => (f.bars ? (100 * v).toFixed(1) + ' %' : '-');
  return `${name.padEnd(20)} ${String(f.handed).padStart(6)} ${exact.padStart(10)} ${String(f.heard).padStart(6)} ` +
         `${String(f.missing.length).padStart(7)} ${String(f.extra).padStart(5)} ${pc(f.share).padStart(12)} ` +
         `${String(f.steps.length).padStart(6)} ${pc(f.heldShare).padStart(11)}  ` +
         `${f.sd.toFixed(3)} / ${f.largest.toFixed(2)}`;
}
export const HEADER = 'run                  handed exact-beat  heard missing extra  bars<=0.1ms  steps  but steps  ' +
                      'residual SD / largest (ms)';
