// What the browser tests and the benchmark page share: the page's folder served over
// http://127.0.0.1 (a page from file:// cannot fetch its .wasm), Debian's chromium started headless
// through puppeteer-core, and helpers that wait for the program and drive it as a user would.
import http from 'node:http';
import crypto from 'node:crypto';
import fs from 'node:fs';
import zlib from 'node:zlib';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png',
               '.htm': 'text/html', '.webmanifest': 'application/manifest+json', '.css': 'text/css'};

// Serves `folder` on a free port of 127.0.0.1 as a plain web server does: each file with its
// validator (an ETag), to be revalidated before use (an unchanged file is answered "not modified");
// with `gzip`, compressed for a browser that accepts it. `counter` (optional) adds up, for each file,
// the bytes of body sent (`counter[name]`) and the requests answered (`counter.requests[name]`).
export async function serve(folder, counter, gzip = false) {
  const compressed = new Map();  // each file's content gzipped once, as a server keeps it
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(folder, name.endsWith('/') ? name + 'index.html' : name);
    if (!file.startsWith(folder) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    let body = fs.readFileSync(file);
    const tag = '"' + crypto.createHash('sha256').update(body).digest('hex').slice(0, 16) + '"';
    const base = path.basename(file);
    if (counter) {
      counter.requests = counter.requests || {};
      counter.requests[base] = (counter.requests[base] || 0) + 1;
    }
    const headers = {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
                     'Cache-Control': 'no-cache', 'ETag': tag};
    if (req.headers['if-none-match'] === tag) {
      res.writeHead(304, headers);
      res.end();
      return;
    }
    if (gzip && /\bgzip\b/.test(req.headers['accept-encoding'] || '')) {
      if (!compressed.has(tag)) compressed.set(tag, zlib.gzipSync(body, {level: 9}));
      body = compressed.get(tag);
      headers['Content-Encoding'] = 'gzip';
    }
    if (counter) counter[base] = (counter[base] || 0) + body.length;
    res.writeHead(200, headers);
    res.end(body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {server, url: `http://127.0.0.1:${server.address().port}/`};
}

export const CHROMIUM = process.env.CADENZO_CHROMIUM || '/usr/bin/chromium';

// `unmuted`: plays to the sound server the environment names (PULSE_SERVER) rather than to the
// muted output puppeteer asks for by default.
export async function launch(extraArgs = [], unmuted = false) {
  return puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    ignoreDefaultArgs: unmuted ? ['--mute-audio'] : [],
    args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--no-first-run',
           '--disable-background-timer-throttling', ...extraArgs],
  });
}

// The checks of one case: each one that fails is said and counted.
let failed = 0;
export function check(ok, what) {
  if (!ok) {
    failed++;
    console.log('FAILED: ' + what);
  }
}
export const failures = () => failed;

// Runs the case `caseName` of `cases` (each an async function of the browser and the page's address)
// on the page served from `site` in a fresh headless chromium, and exits: 0 when it passed, 1 when a
// check failed (each said), 2 for a case that does not exist, 77 when there is no chromium (CTest
// counts that as skipped).
export async function runCase(cases, caseName, site) {
  if (!fs.existsSync(CHROMIUM)) {
    console.log(`skipped: no chromium at ${CHROMIUM} (apt-get install chromium)`);
    process.exit(77);
  }
  if (!cases[caseName]) {
    console.log(`unknown case ${caseName}; cases: ${Object.keys(cases).join(', ')}`);
    process.exit(2);
  }
  const {server, url} = await serve(path.resolve(site));
  const browser = await launch();
  try {
    await cases[caseName](browser, url);
  } catch (e) {
    check(false, e.stack || e);
  } finally {
    await browser.close();
    server.close();
  }
  console.log(failed ? `${caseName}: ${failed} checks failed` : `${caseName}: passed`);
  process.exit(failed ? 1 : 0);
}

// Opens the page at a phone's size and waits until the program has shown its first screen. `settings`
// (the settings record in hexadecimal) is what the page finds kept from an earlier visit; `prepare`
// (optional: a function, or several) runs in the page before any of its own scripts.
export async function open(browser, url, viewport = {width: 390, height: 844, deviceScaleFactor: 1}, settings,
                           prepare) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  for (const f of [].concat(prepare || [])) await page.evaluateOnNewDocument(f);
  if (settings) {
    await page.evaluateOnNewDocument((s) => {
      if (!sessionStorage.getItem('cadenzo-test')) localStorage.setItem('cadenzo:Cadenzo.ini', s);
      sessionStorage.setItem('cadenzo-test', '1');
    }, settings);
  }
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') page.errors.push(m.text()); });
  await page.goto(url);
  await page.waitForFunction(() => window.CadenzoPage && window.CadenzoPage.presented.length > 0, {timeout: 20000});
  return page;
}

// Counts the page's timer, interval and animation-frame callbacks as they run (in `window.fired`);
// run in the page before its own scripts (`open`'s `prepare`, or evaluateOnNewDocument).
export function countCallbacks() {
  window.fired = {timeout: 0, interval: 0, frame: 0};
  for (const [name, kind] of [['setTimeout', 'timeout'], ['setInterval', 'interval'], ['requestAnimationFrame', 'frame']]) {
    const original = window[name];
    window[name] = function (f, ...rest) {
      const counted = typeof f === 'function' ? function (...a) { window.fired[kind]++; return f.apply(this, a); } : f;
      return original.call(window, counted, ...rest);
    };
  }
}

// The screen as the canvas holds it: 240 x 320 pixels, 0xRRGGBB each.
export async function screenPixels(page) {
  return page.evaluate(() => {
    const c = document.getElementById('screen');
    const d = c.getContext('2d').getImageData(0, 0, 240, 320).data;
    const out = new Array(240 * 320);
    for (let i = 0; i < out.length; ++i) out[i] = (d[4 * i] << 16) | (d[4 * i + 1] << 8) | d[4 * i + 2];
    return out;
  });
}

// A tap at screen pixel (x, y): a real pointer press and release at the middle of that pixel.
export async function tap(page, x, y) {
  const r = await page.evaluate(() => {
    const b = document.getElementById('screen').getBoundingClientRect();
    return {left: b.left, top: b.top, scale: b.width / 240};
  });
  const px = r.left + (x + 0.5) * r.scale, py = r.top + (y + 0.5) * r.scale;
  await page.mouse.move(px, py);
  await page.mouse.down();
  await page.mouse.up();
}

// Waits until the page has shown `count` more frames, so what a tap changed is on screen.
export async function settle(page, ms = 300) {
  await new Promise((r) => setTimeout(r, ms));
}

// Where the context's clock jumped against performance.now() by more than `limitMs` (its output
// stalled, or the browser moved it), between two of its timestamps (`history`: [performance ms, frame]
// pairs, as the page keeps them) taken at `from` and `to`; only jumps after `sinceMs`.
export function clockJumps(history, rate, limitMs, sinceMs = -Infinity) {
  const jumps = [];
  for (let i = 1; i < history.length; ++i) {
    const [t0, f0] = history[i - 1], [t1, f1] = history[i];
    const ms = (f1 - f0) / rate * 1000 - (t1 - t0);
    if (t1 > sinceMs && Math.abs(ms) > limitMs) jumps.push({from: t0, to: t1, ms});
  }
  return jumps;
}

// A recorder on the node every voice plays through: an AudioWorklet that keeps each render quantum
// it is given inside the audio thread, from `startRecording` on, and hands them all over at once in
// `recording`, so it adds next to nothing to the audio thread's work.
const RECORDER = `
class Recorder extends AudioWorkletProcessor {
  constructor() {
    super();
    this.kept = null;
    this.port.onmessage = (e) => {
      if (e.data === 'start') this.kept = [];
      else this.port.postMessage(this.kept || []), this.kept = null;
    };
  }
  process(inputs) {
    const channel = inputs[0] && inputs[0][0];
    if (this.kept) this.kept.push([currentFrame, channel ? channel.slice(0) : null]);
    return true;
  }
}
registerProcessor('cadenzo-recorder', Recorder);`;

// Attaches the recorder (the page's audio must be running); it keeps nothing yet.
export async function attachRecorder(page) {
  await page.evaluate(async (code) => {
    const a = CadenzoPage.audio, url = URL.createObjectURL(new Blob([code], {type: 'text/javascript'}));
    await a.ctx.audioWorklet.addModule(url);
    window.recorder = new AudioWorkletNode(a.ctx, 'cadenzo-recorder', {numberOfOutputs: 1});
    a.output.connect(window.recorder);
    window.recorder.connect(a.ctx.destination);
  }, RECORDER);
}

export async function startRecording(page) {
  await page.evaluate(() => window.recorder.port.postMessage('start'));
}

// Ends the recording and leaves it in the page as `window.recording`: {base, stream}, the output
// from context frame `base` on, one channel. The render calls the recorder once for every quantum,
// in order, so the n-th quantum kept starts 128·n frames after the first; its currentFrame only
// anchors that count. Chromium now and then gives one quantum the frame of the one before (the two
// would land on one frame and one of them be lost): the anchor is the frame most quanta agree on.
// Returns how many quanta said otherwise.
export async function recording(page) {
  return page.evaluate(() => new Promise((done) => {
    window.recorder.port.onmessage = (e) => {
      const kept = e.data, votes = new Map();
      kept.forEach(([frame], n) => votes.set(frame - 128 * n, (votes.get(frame - 128 * n) || 0) + 1));
      const base = [...votes.entries()].reduce((a, b) => (b[1] > a[1] ? b : a), [0, 0])[0];
      const stream = new Float32Array(128 * kept.length);
      kept.forEach(([, samples], n) => { if (samples) stream.set(samples, 128 * n); });
      window.recording = {base, stream};
      done(kept.length - (votes.get(base) || 0));
    };
    window.recorder.port.postMessage('dump');
  }));
}
