// The browser version's figures, from Debian's chromium (headless) on the page as built. Run on
// demand after `scripts/build-web.sh --test` (which installs puppeteer-core into the build folder):
//
//   node bench/web_bench.mjs [BUILD_FOLDER]          (default build-web; about 3 minutes)
//
// Prints: the page's download size (each file and the total, raw and gzipped); the time from
// navigation to the first frame shown (5 loads); at 240 bpm in 4/4 for 60 s, the intervals between
// click starts in frames (as handed to Web Audio, and each checked against the output recorded by an
// AudioWorklet), the delay from each click's timer to its sound handed to Web Audio (which must stay
// inside the latency the page chose: 60 ms, or more where the context holds more) and how far ahead
// of the context's clock it was; the CPU time of
// chromium's processes (the page's renderer, the audio service, the rest) per minute while ticking
// and while idle.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

const build = path.resolve(process.argv[2] || 'build-web');
const site = path.join(build, 'site');
const {serve, launch, open, tap, clockJumps, attachRecorder, startRecording, recording} =
  await import(path.join(build, 'tests/web/harness.mjs'));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const stats = (v) => {
  const s = [...v].sort((a, b) => a - b);
  return {min: s[0], median: s[s.length >> 1], max: s[s.length - 1]};
};
const fmt = (n, d = 1) => n.toFixed(d);

// ---- Download size.
console.log('download (file: bytes, gzipped)');
let raw = 0, gz = 0;
for (const f of fs.readdirSync(site).sort()) {
  const body = fs.readFileSync(path.join(site, f)), z = zlib.gzipSync(body, {level: 9}).length;
  raw += body.length;
  gz += z;
  console.log(`  ${f.padEnd(22)} ${String(body.length).padStart(9)} ${String(z).padStart(9)}`);
}
console.log(`  ${'total'.padEnd(22)} ${String(raw).padStart(9)} ${String(gz).padStart(9)}`);

const {server, url} = await serve(site);
const browser = await launch();
try {
  // ---- Navigation to first frame: performance.now() counts from the navigation's start.
  const firsts = [];
  for (let i = 0; i < 5; ++i) {
    const context = await browser.createBrowserContext();
    const page = await open(context, url);
    firsts.push(await page.evaluate(() => CadenzoPage.presented[0].shown));
    await context.close();
  }
  const f = stats(firsts);
  console.log(`navigation to first frame (ms, 5 loads): min ${fmt(f.min)} median ${fmt(f.median)} max ${fmt(f.max)}`);

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
  const idle0 = await cpu();
  await sleep(60000);
  const idle1 = await cpu();
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
  // Where the context's own clock jumped against performance.now() (its output stalled).
  const jumps = clockJumps(r.history, r.rate, 5);
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
  console.log(`the context's clock jumped (its output stalled, > 5 ms) ${jumps.length} times: ` +
              jumps.map((j) => `${fmt(j.ms)} ms at ${fmt(j.to / 1000)} s`).join(', '));
  console.log(`clicks not found sample for sample at their frame in the recorded output: ${r.wrong.length}` +
              (r.wrong.length ? ` (clicks ${r.wrong.join('; ')})` : '') +
              `; render quanta that came with another quantum's frame: ${relabelled}`);
  const d = stats(r.delays), l = stats(r.leads);
  console.log(`timer to sound handed to Web Audio (ms): min ${fmt(d.min, 2)} median ${fmt(d.median, 2)} max ${fmt(d.max, 2)}` +
              ` spread ${fmt(d.max - d.min, 2)} (inside the ${r.chosen} ms latency: ${d.max < r.chosen ? 'yes' : 'NO'})`);
  console.log(`start ahead of the context's clock when handed over (ms): min ${fmt(l.min, 2)} median ${fmt(l.median, 2)} max ${fmt(l.max, 2)}`);
  const per = (a, b) => Object.keys(b).map((k) => `${k} ${fmt((b[k] - (a[k] || 0)) * 1000, 0)} ms`).join(', ');
  console.log(`CPU per minute, idle:    ${per(idle0, idle1)}`);
  console.log(`CPU per minute, ticking: ${per(tick0, tick1)}`);
} finally {
  await browser.close();
  server.close();
}
