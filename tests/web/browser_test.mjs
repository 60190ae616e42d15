// The program in a real browser: Debian's chromium, headless, driven through puppeteer-core, on the
// page as built (build-web/site) and served over http://127.0.0.1. One case a run:
//
//   node browser_test.mjs CASE SITE NATIVE_SIM
//
// Exits 0 when the case passes, 1 when it fails (saying why), 77 when there is no chromium (CTest
// counts that as skipped).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {open, screenPixels, tap, clockJumps, attachRecorder, startRecording, recording, countCallbacks, check,
        failures, runCase} from './harness.mjs';

const [caseName, site, nativeSim] = process.argv.slice(2);

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// Two clicks of a run are due one beat of frames apart, or one frame more or less where the run's line
// is moved towards the context's clock (a frame a sound at most, unheard: its output lost or gained
// a few milliseconds, or its clock runs a little off the page's).
const beatApart = (frames, beat) => Math.abs(frames - beat) <= 1;
// 240 beats per minute, 4/4, the rest as the program's defaults (the settings record, hexadecimal).
const AT_240_IN_4_4 = 'd2000100030101';
const START = [61, 88];  // "Start Metronome" / "Stop"

// A PNG as 0xRRGGBB pixels, decoded by the browser itself.
async function decodePng(page, bytes) {
  return page.evaluate(async (url) => {
    const img = new Image();
    img.src = url;
    await img.decode();
    const c = new OffscreenCanvas(240, 320), g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, 240, 320).data, out = new Array(240 * 320);
    for (let i = 0; i < out.length; ++i) out[i] = (d[4 * i] << 16) | (d[4 * i + 1] << 8) | d[4 * i + 2];
    return out;
  }, 'data:image/png;base64,' + bytes.toString('base64'));
}

// Pixels that differ from row `fromRow` down, as "x,y web sim" lines (at most a few).
function differences(web, sim, fromRow) {
  const out = [];
  for (let y = fromRow; y < 320; ++y)
    for (let x = 0; x < 240; ++x) {
      const i = y * 240 + x;
      if (web[i] !== sim[i]) out.push(`${x},${y} ${web[i].toString(16)} ${sim[i].toString(16)}`);
    }
  return out;
}

// A tap whose press and release reach the page back to back (a quick tap, which the program may act
// on before the audio output has woken).
async function quickTap(page, x, y) {
  const r = await page.evaluate(() => {
    const b = document.getElementById('screen').getBoundingClientRect();
    return {left: b.left, top: b.top, scale: b.width / 240};
  });
  const at = {x: r.left + (x + 0.5) * r.scale, y: r.top + (y + 0.5) * r.scale, button: 'left', clickCount: 1};
  const cdp = await page.createCDPSession();
  await Promise.all([cdp.send('Input.dispatchMouseEvent', {type: 'mousePressed', ...at}),
                     cdp.send('Input.dispatchMouseEvent', {type: 'mouseReleased', ...at})]);
  await cdp.detach();
}

// Keeps, when the first screen's image leaves the page (`window.swap`), the canvas as it is about to be
// painted and the image's own pixels (both as 0xRRGGBB), and the page's largest content as it was
// painted (`window.largest`).
function watchFirstScreen() {
  const pixels = (g) => {
    const d = g.getImageData(0, 0, 240, 320).data, out = new Array(240 * 320);
    for (let i = 0; i < out.length; ++i) out[i] = (d[4 * i] << 16) | (d[4 * i + 1] << 8) | d[4 * i + 2];
    return out;
  };
  new MutationObserver((records, observer) => {
    for (const record of records) {
      for (const node of record.removedNodes) {
        if (node.id !== 'first') continue;
        const canvas = document.getElementById('screen'), image = new OffscreenCanvas(240, 320).getContext('2d');
        image.drawImage(node, 0, 0);
        window.swap = {canvasShown: !canvas.hidden, canvas: pixels(canvas.getContext('2d')), image: pixels(image),
                       at: performance.now()};
        observer.disconnect();
      }
    }
  }).observe(document, {childList: true, subtree: true});
  window.largest = [];
  new PerformanceObserver((list) => list.getEntries().forEach((e) => {
    window.largest.push({id: e.element ? e.element.id : null, t: e.startTime});
  })).observe({type: 'largest-contentful-paint', buffered: true});
}

// A screen wake lock as a browser gives it, logging (in `window.lockLog`) each request, each release
// by the page, and each lock the browser took back (`window.loseLock()`, as when the page is hidden);
// `window.setHidden(flag)` hides or shows the page.
function stubWakeLock() {
  window.lockLog = [];
  let held = null, hidden = false;
  Object.defineProperty(document, 'hidden', {get: () => hidden, configurable: true});
  window.setHidden = (flag) => {
    hidden = flag;
    document.dispatchEvent(new Event('visibilitychange'));
  };
  const lose = (sentinel, why) => {
    if (sentinel.released) return;
    sentinel.released = true;
    window.lockLog.push(why);
    sentinel.dispatchEvent(new Event('release'));
  };
  window.loseLock = () => held && lose(held, 'lost');
  Object.defineProperty(navigator, 'wakeLock', {configurable: true, value: {
    request: (type) => {
      window.lockLog.push('request ' + type);
      const sentinel = new EventTarget();
      sentinel.released = false;
      sentinel.release = () => {
        lose(sentinel, 'release');
        return Promise.resolve();
      };
      held = sentinel;
      return Promise.resolve(sentinel);
    }}});
}

// How long after its due time (message time + the latency) the frame a sound was placed at is heard, by
// the timestamps the output gave from when it was handed over until 100 ms after it was due (the median
// of their answers; NaN: none). Later ones tell of the output after it was heard: time the output
// loses then (a fake output under load falls a buffer behind now and then) is not this sound's.
function heardLate(history, rate, sound, latency) {
  const due = sound.message + latency;
  const heard = history.filter(([perf]) => perf > sound.scheduledAt && perf <= due + 100)
                       .map(([perf, frame]) => perf + (sound.scheduled - frame) / rate * 1000).sort((x, y) => x - y);
  return heard.length ? heard[heard.length >> 1] - due : NaN;
}

// Runs a simulator script in the page as a user would: taps and keys for real, waits in real time;
// `shot NAME` keeps the screen as it is then under that name. Returns the screens kept.
async function playScript(page, script) {
  const shots = {};
  for (const line of script.split('\n')) {
    const [command, ...args] = line.trim().split(/\s+/);
    if (command === 'tap') await tap(page, Number(args[0]), Number(args[1]));
    else if (command === 'wait') await sleep(Number(args[0]));
    else if (command === 'shot') shots[args[0]] = await screenPixels(page);
    else if (command === 'key') {
      const parts = args[0].split('+'), name = parts.pop();
      const code = {f1: 'F1', return: 'Enter', escape: 'Escape', tab: 'Tab', space: 'Space', left: 'ArrowLeft',
                    right: 'ArrowRight', up: 'ArrowUp', down: 'ArrowDown', pageup: 'PageUp', pagedown: 'PageDown',
                    home: 'Home', end: 'End', f4: 'F4'}[name] || 'Key' + name.toUpperCase();
      if (parts.includes('ctrl')) await page.keyboard.down('Control');
      await page.keyboard.press(code);
      if (parts.includes('ctrl')) await page.keyboard.up('Control');
    }
  }
  await sleep(300);  // the last frames reach the screen (they are shown 60 ms after their message)
  return shots;
}

// The same script on the native simulator: its trace, the screens it kept and the settings it wrote.
async function simulate(page, script, settings) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cadenzo-web-'));
  if (settings) fs.writeFileSync(path.join(dir, 'Cadenzo.ini'), Buffer.from(settings, 'hex'));
  const names = [];
  const text = script.replace(/^shot (\S+)$/gm, (m, name) => {
    names.push(name);
    return `shot ${path.join(dir, name + '.png')}`;
  });
  const trace = execFileSync(nativeSim, ['--dir', dir, '-'], {input: text}).toString();
  const shots = {};
  for (const name of names) shots[name] = await decodePng(page, fs.readFileSync(path.join(dir, name + '.png')));
  const ini = path.join(dir, 'Cadenzo.ini');
  const written = fs.existsSync(ini) ? fs.readFileSync(ini).toString('hex') : '';
  fs.rmSync(dir, {recursive: true});
  return {trace, shots, settings: written};
}

// Sounds as (id, time since the first) pairs, from the trace or from the page's log.
const simSounds = (trace) => {
  const s = trace.split('\n').filter((l) => / sound /.test(l)).map((l) => l.split(' ').map(Number));
  return s.map(([t, , id]) => [id, t - s[0][0]]);
};
const pageSounds = (log) => log.map((s) => [s.id, s.message - log[0].message]);

// The context's output timestamps say a time yet to come, as WebKitGTK's do: the page takes them as
// unusable (run in the page before its own scripts).
function futureStamps() {
  const stamp = AudioContext.prototype.getOutputTimestamp;
  AudioContext.prototype.getOutputTimestamp = function () {
    return {contextTime: stamp.call(this).contextTime, performanceTime: performance.now() + 100};
  };
}

// The output at rest (see 'quiet-at-rest'); `unstamped`: with futureStamps.
async function quietAtRest(browser, url, unstamped) {
  const page = await open(browser, url, undefined, AT_240_IN_4_4,
                          unstamped ? [countCallbacks, futureStamps] : countCallbacks);
  await page.keyboard.press('Shift');
  await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
  await tap(page, ...START);
  await sleep(1100);
  await tap(page, ...START);
  await page.waitForFunction(() => CadenzoPage.audio.resting, {timeout: 10000})
      .catch(() => check(false, 'the output rests within 10 s of the last click'));
  await sleep(300);
  const counted = await page.evaluate(async () => {
    window.fired = {timeout: 0, interval: 0, frame: 0};
    await new Promise((done) => document.defaultView.setTimeout.call(window, done, 10000));
    return {fired: window.fired, context: CadenzoPage.audio.ctx.state, unstamped: !!CadenzoPage.audio.unstamped};
  });
  // The wait above is the test's own timer, counted once.
  check(counted.fired.timeout === 1 && counted.fired.interval === 0 && counted.fired.frame === 0,
        `at rest for 10 s: ${JSON.stringify(counted.fired)} (the test's own timer counts 1)`);
  check(counted.unstamped === unstamped, `the timestamps taken as ${counted.unstamped ? 'unusable' : 'usable'}`);
  check(counted.context === (unstamped ? 'running' : 'suspended'), `the context at rest is ${counted.context}`);
  const before = await page.evaluate(() => CadenzoPage.sounds.length);
  await tap(page, ...START);
  await sleep(1400);
  await tap(page, ...START);
  const r = await page.evaluate(() => ({rate: CadenzoPage.audio.ctx.sampleRate,
                                        sounds: CadenzoPage.sounds.map((s) => s.scheduled)}));
  const again = r.sounds.slice(before);
  check(again.length >= 5, `5 clicks after rest, not ${again.length}`);
  for (let k = 1; k < again.length; ++k)
    check(beatApart(again[k] - again[k - 1], r.rate / 4), `click ${k} after rest is due ${again[k] - again[k - 1]} frames after the one before`);
  check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
}

const cases = {
  // The first screen, below the navigation bar (its clock shows the time of day), equals the native
  // simulator's pixel for pixel: fonts, controls, bitmaps, all of it. Without -sGLOBAL_BASE=65536 the
  // controls' class names are taken for resource numbers and the screen is nearly empty.
  //
  // Until then the page shows the simulator's first screen as an image (drawn at build time, the
  // page's largest content when first painted); when the canvas takes its place, in the same frame,
  // it holds the same pixels (below the bar, whose clock the image shows at the simulator's 9:00).
  // On a phone (390 x 844 at 3 device pixels a pixel) the screen fills the width, in proportion,
  // and nothing scrolls; the user may zoom.
  async 'first-screen'(browser, url) {
    const page = await open(browser, url, {width: 390, height: 844, deviceScaleFactor: 3}, undefined, watchFirstScreen);
    const web = await screenPixels(page);
    const sim = (await simulate(page, 'shot first')).shots.first;
    const diff = differences(web, sim, 26);
    check(diff.length === 0, `${diff.length} pixels differ from the simulator's, e.g. ${diff.slice(0, 5).join('; ')}`);
    const swap = await page.evaluate(() => window.swap);
    check(swap !== undefined, 'the first screen image was replaced');
    if (swap) {
      const image = differences(swap.image, sim, 0);
      check(image.length === 0, `the first screen image: ${image.length} pixels differ from the simulator's first screen, ` +
                                `e.g. ${image.slice(0, 3).join('; ')}`);
      const changed = differences(swap.canvas, swap.image, 26);
      check(swap.canvasShown && changed.length === 0,
            `when the image left, the canvas ${swap.canvasShown ? 'was' : 'was not'} shown and ${changed.length} ` +
            `pixels differed from the image, e.g. ${changed.slice(0, 3).join('; ')}`);
      const largest = await page.evaluate(() => window.largest);
      check(largest.length > 0 && largest[0].id === 'first' && largest[0].t < swap.at,
            `the largest content first painted: ${JSON.stringify(largest)}`);
    }
    const layout = await page.evaluate(() => {
      const r = document.getElementById('screen').getBoundingClientRect();
      return {width: r.width, height: r.height, scrolls: document.scrollingElement.scrollHeight > window.innerHeight,
              viewport: document.querySelector('meta[name=viewport]').content};
    });
    check(layout.width === 390 && layout.height === 520 && !layout.scrolls,
          `on a 390 px wide phone the screen is ${layout.width} x ${layout.height} px${layout.scrolls ? ' and scrolls' : ''}`);
    check(!/user-scalable|maximum-scale/.test(layout.viewport), `the user may zoom: ${layout.viewport}`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // "Start Metronome" at 240 bpm in 4/4: 40 clicks in the recorded output, each due one beat of
  // frames after the one before (to the frame) and started at that frame, sample for sample the converted sound,
  // accents in their order, and each beat's flash in the frame presented for the click's own message
  // time. A click may start after its frame only where the page handed it
  // over too late for that frame (the context renders its latency ahead of what is heard), and then
  // whole at the first frame it can still play.
  async clicks(browser, url) {
    const page = await open(browser, url, undefined, AT_240_IN_4_4);
    await page.evaluate(() => { CadenzoPage.probes = [[6, 29]]; });
    await page.keyboard.press('Shift');  // a key makes the audio context, as a user's first tap would
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running', {timeout: 10000});
    await attachRecorder(page);
    await startRecording(page);
    await tap(page, ...START);
    await sleep(10100);
    await tap(page, ...START);
    await sleep(400);
    const relabelled = await recording(page);
    if (relabelled) console.log(`note: ${relabelled} render quanta came with another quantum's frame`);
    const r = await page.evaluate(() => {
      const a = CadenzoPage.audio, rate = a.ctx.sampleRate;
      const sounds = CadenzoPage.sounds.slice();
      const {base, stream} = window.recording, last = base + stream.length;
      // Each sound as heard: from its frame until it ends or the next one starts, against its buffer.
      const result = [];
      for (let k = 0; k < sounds.length; ++k) {
        const s = sounds[k], buffer = s.buffer.getChannelData(0);
        const end = Math.min(s.frame + buffer.length, k + 1 < sounds.length ? sounds[k + 1].frame : Infinity, last);
        let mismatches = 0, loud = 0, firstWrong = -1;
        for (let f = s.frame; f < end; ++f) {
          const want = buffer[f - s.frame], got = stream[f - base];
          if (Math.abs(want - got) > 1e-6 && mismatches++ === 0) firstWrong = f;
          if (Math.abs(got) > 0.01) loud++;
        }
        result.push({id: s.id, frame: s.frame, scheduled: s.scheduled, message: s.message, mismatches, loud,
                     length: end - s.frame, firstWrong, handed: s.scheduledAt - s.message});
      }
      const presented = CadenzoPage.presented.slice();
      // The output as the program opened it: its rate, the frames ahead of the one heard that the
      // context already holds, and the latency chosen.
      const open = CadenzoPage.trace.find((t) => t.line.startsWith('audio-open web ')).line.split(' ').map(Number);
      return {rate, result, presented, recordedFrom: base, recordedTo: last, history: a.history, guardMs: open[3] / rate * 1000,
              latencyMs: open[4]};
    });
    const beat = r.rate / 4;
    check(r.result.length === 40, `40 clicks handed to Web Audio, not ${r.result.length}`);
    const accents = [1025, 1027, 1026, 1027];
    r.result.forEach((c, k) => {
      check(c.id === accents[k % 4], `click ${k} is sound ${c.id}, not ${accents[k % 4]}`);
      check(c.frame >= r.recordedFrom && c.frame + c.length <= r.recordedTo, `click ${k} was recorded`);
      check(c.mismatches === 0 && c.loud > 0,
            `click ${k} plays its sound from frame ${c.frame}: ${c.mismatches} of ${c.length} samples differ, ` +
            `the first at +${c.firstWrong - c.frame}`);
      if (c.frame !== c.scheduled) {
        const late = ((c.frame - c.scheduled) / r.rate * 1000).toFixed(1), room = r.latencyMs - r.guardMs;
        const excused = c.frame > c.scheduled && c.handed > room - 3;
        if (excused) console.log(`note: click ${k} was handed over ${c.handed.toFixed(1)} ms after its message ` +
                                 `(room ${room.toFixed(1)} ms) and started ${late} ms late`);
        check(excused, `click ${k} starts at frame ${c.frame}, ${late} ms after its due frame ${c.scheduled}, ` +
                       `handed over ${c.handed.toFixed(1)} ms after its message`);
      }
      // The run keeps its anchor: every click is due one beat after the one before, to the frame,
      // whatever the context's timestamps did meanwhile.
      if (k > 0) {
        check(beatApart(c.scheduled - r.result[k - 1].scheduled, beat),
              `click ${k} is due ${c.scheduled - r.result[k - 1].scheduled} frames after the one before, not ${beat}`);
      }
      if (k > 0) {
        check(c.message - r.result[k - 1].message === 250, `click ${k}'s message comes 250 ms after the one before`);
      }
      // The frame made for the click's message is shown (at or after its due time), and it is the one
      // in which the bar's colour changes.
      const i = r.presented.findIndex((p) => p.message === c.message);
      check(i > 0, `a frame for click ${k}'s message time ${c.message} was presented`);
      if (i > 0) {
        check(r.presented[i].shown >= r.presented[i].due, `click ${k}'s frame was shown before its due time`);
        check(r.presented[i].probes[0] !== r.presented[i - 1].probes[0], `click ${k}'s frame shows the flash`);
      }
    });
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
    if (failures()) console.log((await page.evaluate(() => CadenzoPage.trace.map((t) => t.line))).join('\n'));
  },

  // The page opened and its sound started, then left silent for over half a minute (the time after
  // which a browser may move a silent output elsewhere): the page has suspended its output; a tap on
  // Start wakes it, and the first click is heard when it is due; the first clicks of a run are
  // each exactly one beat apart, and the context's clock has not moved in the silence's last seconds
  // (a stall that comes straight back, as on a busy machine, moves nothing; an output moved elsewhere
  // moves it).
  async 'clicks-after-silence'(browser, url) {
    const page = await open(browser, url, undefined, AT_240_IN_4_4);
    await page.keyboard.press('Shift');
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await sleep(33000);
    const rested = await page.evaluate(() => CadenzoPage.audio.resting && CadenzoPage.audio.ctx.state === 'suspended');
    check(rested, 'the output was suspended after the silence began');
    const tapped = await page.evaluate(() => performance.now());
    await tap(page, ...START);
    await sleep(1400);
    await tap(page, ...START);
    const r = await page.evaluate(() => {
      const a = CadenzoPage.audio;
      return {rate: a.ctx.sampleRate, history: a.history, sounds: CadenzoPage.sounds.map((s) => s.scheduled),
              first: CadenzoPage.sounds[0], latency: Number(CadenzoPage.trace.find((t) => t.line.startsWith('audio-open web '))
                                                               .line.split(' ')[4])};
    });
    // The first click is heard when it is due: the time the output took to wake cost it nothing.
    const early = heardLate(r.history, r.rate, r.first, r.latency);
    check(r.first.frame === r.first.scheduled && Math.abs(early) <= 2,
          `the first click starts at frame ${r.first.frame} (due ${r.first.scheduled}), heard ${early.toFixed(2)} ms ` +
          'after its due time');
    // From 25 s after the context started, 5 s before a browser may move its silent output, until the
    // tap: a browser moves it at about 30.5 s (without the level under hearing, 9 ms here). A stall
    // earlier in the silence, or one under the tap's own work, that a busy machine never gives back
    // (its output lost that time for good) moves the clock too: the clicks are one beat apart all
    // the same (checked below), because the fit followed it.
    const jumps = clockJumps(r.history, r.rate, 5, r.history[0][0] + 25000).filter((j) => j.to < tapped);
    const moved = jumps.reduce((sum, j) => sum + j.ms, 0);
    check(r.sounds.length >= 5, `5 clicks in 1.4 s, not ${r.sounds.length}`);
    for (let k = 1; k < r.sounds.length; ++k)
      check(beatApart(r.sounds[k] - r.sounds[k - 1], r.rate / 4),
            `click ${k} is due ${r.sounds[k] - r.sounds[k - 1]} frames after the one before, not ${r.rate / 4}`);
    check(Math.abs(moved) <= 5, `the context's clock moved ${moved.toFixed(1)} ms: it jumped ` +
                                jumps.map((j) => `${j.ms.toFixed(1)} ms at ${(j.to / 1000).toFixed(1)} s`).join(', '));
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // At rest (the output suspended), a quick tap on a note, whose sound starts at once: the note is
  // heard when it is due, because the tap reaches the program only once the woken output tells the
  // time again (the timestamps from before it slept are a second old).
  async 'note-after-rest'(browser, url) {
    const page = await open(browser, url);
    await page.keyboard.press('Shift');
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await tap(page, 31, 139);  // A1, once: its sound is converted to the output's rate (tens of ms) now
    await page.waitForFunction(() => CadenzoPage.audio.resting, {timeout: 20000})
        .catch(() => check(false, 'the output rests once nothing has played for a while'));
    await sleep(1000);
    await quickTap(page, 31, 139);
    await sleep(600);
    const r = await page.evaluate(() => ({
      rate: CadenzoPage.audio.ctx.sampleRate, history: CadenzoPage.audio.history, note: CadenzoPage.sounds[1],
      latency: Number(CadenzoPage.trace.find((t) => t.line.startsWith('audio-open web ')).line.split(' ')[4])}));
    check(r.note !== undefined, 'the note is handed to Web Audio');
    if (r.note) {
      // Placed where it is heard when due; on a busy machine the woken output and the program may
      // hand it over a few milliseconds too late for that frame, and it then starts whole just after.
      const late = heardLate(r.history, r.rate, r.note, r.latency), after = (r.note.frame - r.note.scheduled) / r.rate * 1000;
      if (after) console.log(`note: the note was handed over ${(r.note.scheduledAt - r.note.message).toFixed(1)} ms after ` +
                             `its tap and starts ${after.toFixed(1)} ms after its frame`);
      check(Math.abs(late) <= 2 && after >= 0 && after < 20,
            `the note is placed at a frame heard ${late.toFixed(2)} ms after its due time, and starts ${after.toFixed(1)} ` +
            'ms after that frame');
    }
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // At rest after a run of clicks (the metronome stopped, nothing playing): within a few seconds the
  // page's output is suspended and for the next 10 s no timer, interval or animation frame of the
  // page runs; Start then ticks again, each click one beat after the one before.
  'quiet-at-rest': (browser, url) => quietAtRest(browser, url, false),
  // The same where the output's timestamps are unusable (a time yet to come, as WebKitGTK's): the
  // output rests running, not suspended (the page could not see it settle after a resume).
  'quiet-at-rest-unstamped': (browser, url) => quietAtRest(browser, url, true),

  // The screen stays on while the metronome ticks: a wake lock is asked for when it starts, asked for
  // again when the page comes back into view after the browser took it back, and released as soon as
  // the metronome stops (not once the sound has rested). Ticking with the colours alone (no sound)
  // keeps it too, and so do notes repeating, between the notes. Without the Wake Lock API the
  // metronome ticks all the same.
  async 'wake-lock'(browser, url) {
    const page = await open(browser, url, undefined, AT_240_IN_4_4, stubWakeLock);
    await page.keyboard.press('Shift');
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await sleep(300);
    check((await page.evaluate(() => window.lockLog.length)) === 0, 'no wake lock before a sound');
    await tap(page, ...START);
    await sleep(700);
    let log = await page.evaluate(() => window.lockLog.slice());
    check(log.join() === 'request screen', `while ticking: ${log.join()}`);
    await page.evaluate(() => {
      window.setHidden(true);
      window.loseLock();
    });
    await sleep(300);
    await page.evaluate(() => window.setHidden(false));
    await sleep(300);
    log = await page.evaluate(() => window.lockLog.slice());
    check(log.join() === 'request screen,lost,request screen', `hidden and shown again: ${log.join()}`);
    await tap(page, ...START);
    await sleep(500);
    log = await page.evaluate(() => window.lockLog.slice());
    check(log.join() === 'request screen,lost,request screen,release', `0.5 s after Stop: ${log.join()}`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
    await page.close();  // one tab holds the program

    // The metronome's Sound box off (the colours alone), notes repeated 3 times with a delay of 3 s.
    const quiet = await open(browser, url, undefined, 'd2020300030001', stubWakeLock);
    await quiet.keyboard.press('Shift');
    await quiet.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await tap(quiet, ...START);
    await sleep(700);
    log = await quiet.evaluate(() => window.lockLog.slice());
    check(log.join() === 'request screen', `ticking without sound: ${log.join()}`);
    check((await quiet.evaluate(() => CadenzoPage.sounds.length)) === 0, 'the metronome without sound plays none');
    await tap(quiet, ...START);
    await sleep(500);
    log = await quiet.evaluate(() => window.lockLog.slice());
    check(log.join() === 'request screen,release', `stopped: ${log.join()}`);
    await tap(quiet, 31, 139);  // the first note button: a new note every 5.05 s
    await sleep(5600);  // past the second note, in the gap before the third
    log = await quiet.evaluate(() => window.lockLog.slice());
    check(log.join() === 'request screen,release,request screen', `notes repeating, between notes: ${log.join()}`);
    check((await quiet.evaluate(() => CadenzoPage.sounds.length)) === 2, 'two notes so far');
    check(quiet.errors.length === 0, 'page errors: ' + quiet.errors.join('; '));

    await quiet.close();
    const plain = await open(browser, url, undefined, AT_240_IN_4_4, () => { delete Navigator.prototype.wakeLock; });
    await plain.keyboard.press('Shift');
    await plain.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await tap(plain, ...START);
    await sleep(1100);
    check((await plain.evaluate(() => !('wakeLock' in navigator) && CadenzoPage.sounds.length)) >= 3,
          'without the Wake Lock API the metronome ticks');
    check(plain.errors.length === 0, 'page errors without the Wake Lock API: ' + plain.errors.join('; '));
  },

  // A page frozen while the metronome ticks (as a phone saving power freezes it) and thawed 2 s later:
  // no burst of the clicks it missed (their messages keep the metronome's own beat, one beat apart at
  // least), and the next click comes within a beat, heard when it is due.
  async frozen(browser, url) {
    const page = await open(browser, url, undefined, AT_240_IN_4_4);
    await page.keyboard.press('Shift');
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running');
    await tap(page, ...START);
    await sleep(1000);
    const cdp = await page.createCDPSession();
    await cdp.send('Page.setWebLifecycleState', {state: 'frozen'});
    await sleep(2000);
    await cdp.send('Page.setWebLifecycleState', {state: 'active'});
    const thawed = await page.evaluate(() => performance.now());
    await sleep(1500);
    await tap(page, ...START);
    const r = await page.evaluate(() => {
      const open = CadenzoPage.trace.find((t) => t.line.startsWith('audio-open web ')).line.split(' ').map(Number);
      return {rate: CadenzoPage.audio.ctx.sampleRate, latencyMs: open[4], history: CadenzoPage.audio.history,
              sounds: CadenzoPage.sounds.map((s) => ({message: s.message, frame: s.frame, scheduled: s.scheduled,
                                                      scheduledAt: s.scheduledAt}))};
    });
    const s = r.sounds, next = s.find((c) => c.scheduledAt >= thawed);
    for (let k = 1; k < s.length; ++k) {
      check(s[k].message - s[k - 1].message >= 250 && (s[k].message - s[k - 1].message) % 250 === 0,
            `click ${k}'s message comes ${s[k].message - s[k - 1].message} ms after the one before`);
      // Either side of the pause (the context's own frames stopped while the page was frozen), each
      // click is due one beat of frames after the one before.
      if (s[k] !== next) {
        check(beatApart(s[k].scheduled - s[k - 1].scheduled, r.rate / 4),
              `click ${k} is due ${s[k].scheduled - s[k - 1].scheduled} frames after the one before`);
      }
    }
    // What the output told after the thaw, should a check fail: when (ms after the thaw) and where
    // it then stood (ms later than at the first of these timestamps), an output catching up in jumps.
    const told = r.history.filter(([perf]) => perf > thawed - 50 && perf < thawed + 1000);
    const jumps = () => ' (timestamps after the thaw: ' + told.map(([perf, frame]) => (perf - thawed).toFixed(0) + ':' +
        ((perf - told[0][0]) - (frame - told[0][1]) / r.rate * 1000).toFixed(1)).join(' ') + ')';
    check(next !== undefined && next.scheduledAt - thawed < 250 + r.latencyMs,
          `a click comes within a beat of the thaw (${next ? (next.scheduledAt - thawed).toFixed(0) + ' ms' : 'none'})` +
          jumps());
    if (next) {
      const late = heardLate(r.history, r.rate, next, r.latencyMs);
      check(next.frame === next.scheduled && Math.abs(late) <= 2,
            `the first click after the thaw starts at frame ${next.frame} (due ${next.scheduled}), heard ` +
            `${late.toFixed(2)} ms after its due time` + jumps());
    }
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // A tuning note set to repeat 3 times; again, stopped after its first time with "Stop"; About from
  // the Tools menu and its "ok"; F1 opens the help page in a new tab. The sounds and the screens
  // match the simulator's for the same script, and so does the spacing of the repeats (their timer
  // runs on its own schedule; a tap's sound follows the tap as soon as the page handles it, which
  // the simulator's virtual clock does at once).
  async 'notes-about-help'(browser, url) {
    const settings = 'd2000300000101';  // repeat 3x
    const script = ['tap 31 139', 'wait 1500', 'shot playing', 'wait 2000', 'tap 31 139', 'wait 500', 'tap 30 255',
                    'wait 1500', 'tap 20 306', 'wait 200',
                    'tap 20 241', 'wait 300', 'shot about', 'tap 226 12', 'wait 300', 'shot closed'].join('\n');
    const page = await open(browser, url, undefined, settings);
    await page.keyboard.press('Shift');  // the audio context, so the first note is heard too
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running', {timeout: 10000});
    // What the schedule tells the page: where each source starts and ends, and which one a stop cuts.
    await page.evaluate(() => {
      const start = CadenzoPage.startSound, stop = CadenzoPage.stopSound;
      window.told = [];
      CadenzoPage.startSound = function (id, ptr, samples, frame, end, ...rest) {
        window.told.push({start: frame, end: end, length: samples.length});
        return start.call(this, id, ptr, samples, frame, end, ...rest);
      };
      CadenzoPage.stopSound = function (from, frame) {
        window.told.push({stops: from, at: frame});
        return stop.call(this, from, frame);
      };
    });
    const web = await playScript(page, script);
    const want = await simulate(page, script, settings);
    const heard = pageSounds(await page.evaluate(() => CadenzoPage.sounds.map((s) => ({id: s.id, message: s.message}))));
    const simHeard = simSounds(want.trace);
    check(heard.length === 4 && heard.length === simHeard.length &&
          heard.every((s, k) => s[0] === simHeard[k][0]) && heard[2][1] - heard[1][1] === simHeard[2][1] - simHeard[1][1],
          `sounds ${JSON.stringify(heard)}, the simulator's ${JSON.stringify(simHeard)}`);
    for (const name of ['playing', 'about', 'closed']) {
      const diff = differences(web[name], want.shots[name], 26);
      check(diff.length === 0, `screen '${name}': ${diff.length} pixels differ, e.g. ${diff.slice(0, 3).join('; ')}`);
    }
    const help = browser.waitForTarget((t) => t.url().includes('Cadenzo.htm'), {timeout: 5000});
    await page.keyboard.press('F1');
    const target = await help.catch(() => null);
    check(target && new URL(target.url()).hash === '#Main_Contents', 'F1 opens the help page at #Main_Contents');
    if (target) {
      const helpPage = await target.page();
      await helpPage.waitForFunction(() => document.readyState === 'complete');
      check((await helpPage.evaluate(() => document.getElementById('Main_Contents') !== null ||
                                           document.getElementsByName('Main_Contents').length > 0)),
            'the help page has the anchor it was opened at');
    }
    // The metronome started and a note tapped between two clicks: the next click cuts the note.
    await tap(page, ...START);
    await sleep(100);
    await tap(page, 31, 139);
    await sleep(600);
    await tap(page, ...START);
    await sleep(300);
    const told = await page.evaluate(() => window.told);
    const starts = told.filter((t) => t.start !== undefined).sort((a, b) => a.start - b.start);
    const stops = told.filter((t) => t.stops !== undefined);
    const cutAt = (a, b) => stops.some((t) => t.stops === a.start && t.at === b.start);
    const wrong = starts.filter((a, k) => {
      const b = starts[k + 1];
      if (b && b.start < a.start + a.length) return a.end !== b.start && !cutAt(a, b);  // cut where b starts
      return a.end !== a.start + a.length;  // whole
    });
    check(stops.length > 0 && wrong.length === 0 && stops.every((t) => starts.some((a) => a.start === t.stops)),
          `each source whole or stopped where the next starts: ${JSON.stringify(wrong)} of ${JSON.stringify(told)}`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // The keyboard alone, as on the desktop: Tab to the tempo bar, Right three times (63 beats a minute),
  // Tab to Start and Space: clicks 952 ms apart; Space stops them; Tab on to the first note button and
  // Space plays its note. The sounds and the last screen (its focus rectangle included) are the
  // simulator's for the same keys.
  async keyboard(browser, url) {
    const script = ['key tab', 'key right', 'key right', 'key right', 'key tab', 'key space', 'wait 2100',
                    'key space', 'wait 300', 'key tab', 'key tab', 'key tab', 'key tab', 'key space', 'wait 500',
                    'shot end'].join('\n');
    const page = await open(browser, url);
    await page.keyboard.press('Shift');  // the audio context, so the first click is heard too
    await page.waitForFunction(() => CadenzoPage.audio.state === 'running', {timeout: 10000});
    const web = await playScript(page, script);
    const want = await simulate(page, script);
    const heard = pageSounds(await page.evaluate(() => CadenzoPage.sounds.map((s) => ({id: s.id, message: s.message}))));
    const simHeard = simSounds(want.trace);
    check(simHeard.length === 3 && simHeard[1][1] - simHeard[0][1] === 952, `the simulator's sounds ${JSON.stringify(simHeard)}`);
    check(heard.length === simHeard.length && heard.every((s, k) => s[0] === simHeard[k][0]) &&
          heard[1][1] - heard[0][1] === simHeard[1][1] - simHeard[0][1],
          `sounds ${JSON.stringify(heard)}, the simulator's ${JSON.stringify(simHeard)}`);
    const diff = differences(web.end, want.shots.end, 26);
    check(diff.length === 0, `screen 'end': ${diff.length} pixels differ, e.g. ${diff.slice(0, 3).join('; ')}`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // Settings changed by taps are written when the page is left (pagehide ends the program as Exit
  // does) and found again after a reload: the record equals the one the simulator writes for the
  // same taps, and the reloaded first screen equals the simulator's started with that record.
  async 'settings-reload'(browser, url) {
    const script = 'tap 229 38\ntap 229 38\ntap 189 249\ntap 131 249\nwait 300';
    const page = await open(browser, url);
    await playScript(page, script);
    await page.reload();
    await page.waitForFunction(() => window.CadenzoPage && CadenzoPage.presented.length > 0);
    await sleep(300);
    const kept = await page.evaluate(() => localStorage.getItem('cadenzo:Cadenzo.ini'));
    const want = await simulate(page, script + '\nkey ctrl+q');
    check(kept === want.settings && kept && kept.length === 14, `kept ${kept}, the simulator wrote ${want.settings}`);
    const restarted = await simulate(page, 'shot first', want.settings);
    const diff = differences(await screenPixels(page), restarted.shots.first, 26);
    check(diff.length === 0, `the reloaded screen: ${diff.length} pixels differ, e.g. ${diff.slice(0, 3).join('; ')}`);
    check(want.settings !== (await simulate(page, 'key ctrl+q')).settings, 'the taps changed the settings');
    // Away and back: a page restored from the back/forward cache (whose program ended as it was left)
    // starts afresh, with the settings kept.
    await page.goto(url + 'Cadenzo.htm');
    await page.goBack();
    await page.waitForFunction(() => window.CadenzoPage && CadenzoPage.presented.length > 0 && !CadenzoPage.ended,
                               {timeout: 10000}).catch(() => check(false, 'the program runs again after going back'));
    await sleep(300);
    const back = differences(await screenPixels(page), restarted.shots.first, 26);
    check(back.length === 0, `the screen after going back: ${back.length} pixels differ`);
  },

  // Installable and offline: the manifest names the icons (which load), and once the service worker
  // has cached the page it starts with the network off.
  async offline(browser, url) {
    const page = await open(browser, url);
    const manifest = await (await fetch(url + 'manifest.webmanifest')).json();
    check(manifest.display === 'standalone' && manifest.orientation === 'portrait', 'standalone, portrait');
    for (const size of [192, 512]) {
      const icon = manifest.icons.find((i) => i.sizes === `${size}x${size}`);
      const loaded = icon && await page.evaluate(async (src) => {
        const img = new Image();
        img.src = src;
        await img.decode();
        return [img.naturalWidth, img.naturalHeight];
      }, icon.src);
      check(loaded && loaded[0] === size && loaded[1] === size, `the ${size} px icon: ${JSON.stringify(loaded)}`);
    }
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.setOfflineMode(true);
    await page.reload();
    await page.waitForFunction(() => window.CadenzoPage && CadenzoPage.presented.length > 0, {timeout: 10000})
        .catch(() => check(false, 'the page starts offline'));
    const controlled = await page.evaluate(() => navigator.serviceWorker.controller !== null);
    check(controlled, 'the service worker answers the page');
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // A second tab of the page finds the first: it asks the first to come forward (whose title then
  // says so), shows one line saying Cadenzo is already open, and runs no program of its own.
  async 'second-tab'(browser, url) {
    const first = await open(browser, url);
    const second = await browser.newPage();
    await second.goto(url);
    await second.waitForFunction(() => window.CadenzoPage && CadenzoPage.ended, {timeout: 10000});
    const note = await second.evaluate(() => !document.getElementById('note').hidden &&
                                             document.getElementById('note').textContent);
    check(note === 'Cadenzo is already open in another tab.', `the second tab says: ${note}`);
    await first.waitForFunction(() => CadenzoPage.trace.some((t) => t.line === 'foreground'), {timeout: 5000})
        .catch(() => check(false, 'the first tab was asked to come forward'));
    check((await first.title()).startsWith('\u266A'), `the first tab's title signals it: ${await first.title()}`);
    check(!(await first.evaluate(() => CadenzoPage.ended)), 'the first tab still runs the program');
    check(first.errors.length === 0, 'page errors: ' + first.errors.join('; '));
  },

  // A page opened behind another draws no frames until it is shown; its program starts all the same,
  // and draws its first screen once shown.
  async 'opened-hidden'(browser, url) {
    const page = await browser.newPage();
    page.errors = [];
    page.on('pageerror', (e) => page.errors.push(String(e)));
    const front = await browser.newPage();
    await front.bringToFront();
    await page.goto(url);
    check((await page.evaluate(() => document.visibilityState)) === 'hidden', 'the page was opened hidden');
    // (polled by a timer: a hidden page runs no animation frames)
    const started = await page.waitForFunction(() => window.CadenzoPage, {polling: 100, timeout: 5000})
      .then(() => true, () => false);
    check(started, 'the program started in a hidden page');
    await page.bringToFront();
    await front.close();
    const shown = await page.waitForFunction(() => window.CadenzoPage && CadenzoPage.presented.length > 0, {timeout: 10000})
      .then(() => true, () => false);
    check(shown, 'the program drew its screen once the page was shown');
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // No Web Audio: the program runs silently and the navigation bar shows it, as the simulator's
  // does with --no-sound (the bar left of its clock compared); the metronome still flashes.
  async 'no-sound'(browser, url) {
    const page = await browser.newPage();
    page.errors = [];
    page.on('pageerror', (e) => page.errors.push(String(e)));
    await page.evaluateOnNewDocument(() => { delete window.AudioContext; delete window.webkitAudioContext; });
    await page.goto(url);
    await page.waitForFunction(() => window.CadenzoPage && CadenzoPage.presented.length > 0);
    await sleep(300);
    const web = await screenPixels(page);
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cadenzo-web-'));
    execFileSync(nativeSim, ['--no-sound', '--dir', dir, '-'], {input: `shot ${dir}/s.png\n`});
    const sim = await decodePng(page, fs.readFileSync(`${dir}/s.png`));
    fs.rmSync(dir, {recursive: true});
    let differ = 0;
    for (let y = 0; y < 320; ++y)
      for (let x = 0; x < (y < 26 ? 180 : 240); ++x) differ += web[y * 240 + x] !== sim[y * 240 + x];
    check(differ === 0, `${differ} pixels differ from the simulator's silent screen`);
    await tap(page, ...START);
    await sleep(1500);
    check((await page.evaluate(() => CadenzoPage.sounds.length)) === 0, 'no sound is handed to Web Audio');
    check((await page.evaluate(() => new Set(CadenzoPage.presented.map((p) => p.message)).size)) > 2,
          'the metronome still runs');
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },
};

await runCase(cases, caseName, site);
