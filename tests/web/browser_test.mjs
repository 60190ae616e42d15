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
import {serve, launch, open, screenPixels, tap, CHROMIUM} from './harness.mjs';

const [caseName, site, nativeSim] = process.argv.slice(2);
const SKIP = 77;
if (!fs.existsSync(CHROMIUM)) {
  console.log(`skipped: no chromium at ${CHROMIUM} (apt-get install chromium)`);
  process.exit(SKIP);
}

let failures = 0;
function check(ok, what) {
  if (!ok) {
    failures++;
    console.log('FAILED: ' + what);
  }
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// 240 beats per minute, 4/4, the rest as the program's defaults (the settings record, hexadecimal).
const AT_240_IN_4_4 = 'd2000100030101';
const START = [61, 88];  // "Start Metronome" / "Stop"

// The native simulator's screen after a script, as 0xRRGGBB pixels decoded by the browser itself.
async function simScreen(page, script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cadenzo-web-'));
  const png = path.join(dir, 'screen.png');
  execFileSync(nativeSim, ['--dir', dir, '-'], {input: script + `shot ${png}\n`});
  const data = fs.readFileSync(png).toString('base64');
  fs.rmSync(dir, {recursive: true});
  return page.evaluate(async (url) => {
    const img = new Image();
    img.src = url;
    await img.decode();
    const c = new OffscreenCanvas(240, 320), g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, 240, 320).data, out = new Array(240 * 320);
    for (let i = 0; i < out.length; ++i) out[i] = (d[4 * i] << 16) | (d[4 * i + 1] << 8) | d[4 * i + 2];
    return out;
  }, 'data:image/png;base64,' + data);
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

// An AudioWorklet on the node every voice plays through: it hands each rendered quantum, with the
// context frame it starts at, to the page, which keeps the whole output stream.
const RECORDER = `
class Recorder extends AudioWorkletProcessor {
  process(inputs) {
    const channel = inputs[0] && inputs[0][0];
    this.port.postMessage({frame: currentFrame, samples: channel ? channel.slice(0) : null});
    return true;
  }
}
registerProcessor('cadenzo-recorder', Recorder);`;

async function startRecording(page) {
  await page.keyboard.press('Shift');  // a key makes the audio context, as a user's first tap would
  await page.waitForFunction(() => CadenzoPage.audio.state === 'running', {timeout: 10000});
  await page.evaluate(async (code) => {
    const a = CadenzoPage.audio, url = URL.createObjectURL(new Blob([code], {type: 'text/javascript'}));
    await a.ctx.audioWorklet.addModule(url);
    const node = new AudioWorkletNode(a.ctx, 'cadenzo-recorder', {numberOfOutputs: 1});
    window.recorded = new Map();
    node.port.onmessage = (e) => window.recorded.set(e.data.frame, e.data.samples);
    a.output.connect(node);
    node.connect(a.ctx.destination);
  }, RECORDER);
}

const cases = {
  // The first screen, below the navigation bar (its clock shows the time of day), equals the native
  // simulator's pixel for pixel: fonts, controls, bitmaps, all of it. Without -sGLOBAL_BASE=65536 the
  // controls' class names are taken for resource numbers and the screen is nearly empty.
  async 'first-screen'(browser, url) {
    const page = await open(browser, url);
    const web = await screenPixels(page);
    const sim = await simScreen(page, '');
    const diff = differences(web, sim, 26);
    check(diff.length === 0, `${diff.length} pixels differ from the simulator's, e.g. ${diff.slice(0, 5).join('; ')}`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // "Start Metronome" at 240 bpm in 4/4: 40 clicks in the recorded output, each started exactly one
  // beat of frames after the one before, at the frame the schedule chose, sample for sample the
  // converted sound, accents in their order, and each beat's flash in the frame presented for the
  // click's own message time.
  async clicks(browser, url) {
    const page = await open(browser, url, undefined, AT_240_IN_4_4);
    await page.evaluate(() => { CadenzoPage.probes = [[6, 29]]; });
    await startRecording(page);
    await tap(page, ...START);
    await sleep(10100);
    await tap(page, ...START);
    await sleep(400);
    const r = await page.evaluate(() => {
      const a = CadenzoPage.audio, rate = a.ctx.sampleRate;
      const sounds = CadenzoPage.sounds.slice();
      const frames = [...window.recorded.keys()].sort((x, y) => x - y), base = frames[0];
      const last = frames[frames.length - 1] + 128;
      const stream = new Float32Array(last - base);
      for (const f of frames) if (window.recorded.get(f)) stream.set(window.recorded.get(f), f - base);
      // Each sound as heard: from its frame until it ends or the next one starts, against its buffer.
      const result = [];
      for (let k = 0; k < sounds.length; ++k) {
        const s = sounds[k], buffer = s.buffer.getChannelData(0);
        const end = Math.min(s.frame + buffer.length, k + 1 < sounds.length ? sounds[k + 1].frame : Infinity, last);
        let mismatches = 0, loud = 0;
        for (let f = s.frame; f < end; ++f) {
          const want = buffer[f - s.frame], got = stream[f - base];
          if (Math.abs(want - got) > 1e-6) mismatches++;
          if (Math.abs(got) > 0.01) loud++;
        }
        result.push({id: s.id, frame: s.frame, message: s.message, mismatches, loud, length: end - s.frame});
      }
      const presented = CadenzoPage.presented.slice();
      return {rate, result, presented, recordedFrom: base, recordedTo: last};
    });
    const beat = r.rate / 4;
    check(r.result.length === 40, `40 clicks handed to Web Audio, not ${r.result.length}`);
    const accents = [1025, 1027, 1026, 1027];
    r.result.forEach((c, k) => {
      check(c.id === accents[k % 4], `click ${k} is sound ${c.id}, not ${accents[k % 4]}`);
      check(c.frame >= r.recordedFrom && c.frame + c.length <= r.recordedTo, `click ${k} was recorded`);
      check(c.mismatches === 0 && c.loud > 0,
            `click ${k} plays its sound from frame ${c.frame}: ${c.mismatches} of ${c.length} samples differ`);
      if (k > 0) {
        check(c.frame - r.result[k - 1].frame === beat, `click ${k} starts ${c.frame - r.result[k - 1].frame} frames after the one before, not ${beat}`);
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
    if (failures) console.log((await page.evaluate(() => CadenzoPage.trace.map((t) => t.line))).join('\n'));
  },
};

if (!cases[caseName]) {
  console.log(`unknown case ${caseName}; cases: ${Object.keys(cases).join(', ')}`);
  process.exit(2);
}
const {server, url} = await serve(path.resolve(site));
const browser = await launch();
try {
  await cases[caseName](browser, url);
} catch (e) {
  failures++;
  console.log('FAILED: ' + (e.stack || e));
} finally {
  await browser.close();
  server.close();
}
console.log(failures ? `${caseName}: ${failures} checks failed` : `${caseName}: passed`);
process.exit(failures ? 1 : 0);
