// Cadenzo's page on a real sound server, in each browser engine, beside the plain "two clocks"
// page (tests/web/two_clocks.html) playing the same clicks in the same browser and session. Run it
// inside a private PipeWire session after `scripts/build-web.sh --test`:
//
//   tests/web/pipewire_session.sh node bench/web_real_output.mjs [BUILD] [ENGINE...]
//
// (BUILD: default build-web; ENGINE: chromium, firefox, webkit; default all three; BENCH_SECONDS
// and BENCH_BPM change the run, default 60 s at 240 beats a minute in 4/4.) The sink's monitor is
// recorded by parec at 100 ms; for each engine it prints Cadenzo's page and the control: the
// intervals between the frames handed to Web Audio (one beat is exact), the clicks handed, heard,
// missing and heard twice, the share of intervals between the same beat of successive bars within
// 0.1 ms of those handed, the output's own steps (a skipped or repeated buffer moves every later
// click at once) and the share with them taken out, and the timing left after one offset for each
// beat of the bar (SD and largest). The figures are those the tests judge by
// (tests/web/real_output.mjs).
import path from 'node:path';

const args = process.argv.slice(2);
const build = path.resolve(args[0] && !['chromium', 'firefox', 'webkit'].includes(args[0]) ? args.shift() : 'build-web');
const engines = args.length ? args : ['chromium', 'firefox', 'webkit'];
const seconds = Number(process.env.BENCH_SECONDS || 60), bpm = Number(process.env.BENCH_BPM || 240);
const tests = path.join(build, 'tests/web');
const {serve} = await import(path.join(tests, 'harness.mjs'));
const {launchEngine, missing} = await import(path.join(tests, 'engines.mjs'));
const {START, sleep, settingsFor, controlFolder, record, onsets, openCadenzo, playControl, figures, line, HEADER} =
  await import(path.join(tests, 'real_output.mjs'));

const control = controlFolder(path.join(build, 'native/cadenzo-sim'), tests);
const site = await serve(path.join(build, 'site')), controlSite = await serve(control.dir);
console.log(`${bpm} beats a minute in 4/4 for ${seconds} s, recorded from the sink's monitor at 100 ms`);
console.log(HEADER.replace('run                 ', 'engine    page      '));
for (const engine of engines) {
  if (missing(engine)) {
    console.log(`${engine}: skipped, ${missing(engine)}`);
    continue;
  }
  const browser = await launchEngine(engine);
  try {
    const page = await openCadenzo(browser, site.url, settingsFor(bpm));
    await sleep(1000);
    const stop = await record(control.dir);
    await page.tap(...START);
    await sleep(seconds * 1000);
    await page.tap(...START);
    await sleep(600);
    const ours = await page.run(`return {rate: CadenzoPage.audio.ctx.sampleRate,
      sounds: CadenzoPage.sounds.map((s) => ({frame: s.frame, message: s.message, id: s.id})),
      trace: CadenzoPage.trace.filter((t) => /^audio-/.test(t.line)).map((t) => t.line),
      anchors: (CadenzoPage.trace.filter((t) => /^sound /.test(t.line)).pop() || {line: ''}).line.split(' ').slice(6)};`);
    const heard = onsets(await stop());
    await page.close();
    const theirs = await playControl(browser, controlSite.url, control.dir, bpm, seconds);
    const f = figures({rate: ours.rate, frames: ours.sounds.map((s) => s.frame), messages: ours.sounds.map((s) => s.message),
                       ids: ours.sounds.map((s) => s.id), heard, bpm});
    console.log(line(`${engine.padEnd(9)} Cadenzo`, f));
    console.log(line(`${engine.padEnd(9)} control`, figures({...theirs, bpm})));
    console.log(`  ${engine}: the run's restarts of the fit, anchors and lag (ms) at its end: ${ours.anchors.join(' ')}`);
    for (const l of ours.trace) console.log(`  ${engine}: ${l}`);
  } catch (e) {
    console.log(`${engine}: failed, ${e.stack || e}`);
  } finally {
    await browser.close();
  }
}
site.server.close();
controlSite.server.close();
control.remove();
