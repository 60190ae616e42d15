// Cadenzo's page on a real sound server, in one browser engine, as heard: run it inside a private
// PipeWire session (pipewire_session.sh), which records the sink's monitor with parec:
//
//   pipewire_session.sh node real_output_test.mjs ENGINE SITE NATIVE_SIM [--plant late]
//
// ENGINE: chromium, firefox or webkit. The plain "two clocks" page (two_clocks.html) is measured
// first in the same browser and session (60 s at 240 beats a minute in 4/4), then Cadenzo's page
// plays: the same; the first click after a 30-s pause; the first after the page was hidden and shown
// again; a tempo change in a run (a tap on the scroll bar); timestamps that step by 100 ms in a run;
// then, beside the control again, 60 s at 30 beats a minute. In every run each click is handed to Web
// Audio at its frame, ahead of the context's clock, each interval handed is its messages' distance in
// frames (one beat in a steady run) within one frame, every click handed is heard, and the intervals
// between the same beat of successive bars as heard are within 0.1 ms of those handed: at least 95 %
// of them, or where the control at that tempo itself falls short of 95 %, no fewer than its share
// less 5 points. A browser's own output that skips or repeats a buffer now and then, as Chromium's
// and Firefox's do here (512 frames, about once a minute or more), moves every later click at once:
// such steps are counted and printed, for the control as for the page, and the share is judged with
// them taken out. A run of 15 clicks with one step in it would otherwise fail on the output's fault
// alone; a click heard off on its own is no step and still counts against the page.
//
// --plant late hands one click over 150 ms late (a fault planted in the page): the run passes only
// when the checks catch it.
//
// Exits 0 when it passes, 1 when a check fails (saying which), 77 when the engine is missing.
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {serve} from './harness.mjs';
import {launchEngine, missing} from './engines.mjs';
import {START, TEMPO_PAGE_LEFT, sleep, settingsFor, controlFolder, record, onsets, openCadenzo, handedSince,
        soundCount, playControl, figures, line, HEADER} from './real_output.mjs';

const [engine, site, nativeSim, ...options] = process.argv.slice(2);
const plantLate = options.includes('--plant') && options[options.indexOf('--plant') + 1] === 'late';
if (missing(engine)) {
  console.log(`skipped: ${missing(engine)}`);
  process.exit(77);
}
const here = path.dirname(fileURLToPath(import.meta.url));

const failures = [];
function check(ok, what) {
  if (!ok) {
    failures.push(what);
    console.log('FAILED: ' + what);
  }
}

// The page's log of the last `count` sounds (with the fit's restarts, the anchors and the lag).
async function showLog(page, count) {
  const log = await page.run(`return CadenzoPage.trace.filter((t) => /^(sound|audio)/.test(t.line))
                                .slice(-${count + 2}).map((t) => t.line);`);
  console.log(log.map((l) => '  ' + l).join('\n'));
}

// One run of the metronome, recorded: `body` starts and stops it. Checks the clicks handed and heard
// against the bounds and returns the handed clicks with the figures.
async function run(page, name, dir, bpm, floor, body) {
  const from = await soundCount(page);
  const stop = await record(dir);
  await body();
  await sleep(600);  // the last click is heard
  const heard = onsets(await stop());
  const {rate, sounds} = await handedSince(page, from);
  const f = figures({rate, frames: sounds.map((s) => s.frame), messages: sounds.map((s) => s.message),
                     ids: sounds.map((s) => s.id), heard, bpm});
  if (process.env.CADENZO_KEEP) {
    // For a look afterwards: the clicks, the onsets, the output's timestamps and the page's log, in a
    // folder of the engine's own (made if missing).
    const more = await page.run(`return {history: CadenzoPage.audio.history, trace: CadenzoPage.trace.map((t) => t.line)};`);
    const keep = path.join(process.env.CADENZO_KEEP, engine + (options.length ? '-planted' : ''));
    fs.mkdirSync(keep, {recursive: true});
    fs.writeFileSync(path.join(keep, name.replace(/\W+/g, '-') + '.json'), JSON.stringify({rate, sounds, heard, ...more}));
  }
  console.log(line(name, f) + offs(f));
  check(sounds.length > 4, `${name}: ${sounds.length} clicks handed`);
  sounds.forEach((s, k) => check(s.frame === s.scheduled && s.lead > 0,
                                 `${name}: click ${k} handed late (frame ${s.frame}, due ${s.scheduled}, ` +
                                 `${(s.lead * 1000).toFixed(1)} ms ahead of the context's clock)`));
  check(f.off.length === 0, `${name}: handed intervals not their messages' distance at clicks ${f.off.join(', ')}`);
  if (f.off.length || sounds.some((s) => s.frame !== s.scheduled)) await showLog(page, sounds.length);
  check(f.missing.length === 0, `${name}: clicks ${f.missing.join(', ')} not heard`);
  check(f.bars > 0 && f.heldShare >= floor - 1e-9,
        `${name}: ${f.held} of ${f.bars} bar intervals within 0.1 ms (the output's ${f.steps.length} steps ` +
        `taken out), under ${(100 * floor).toFixed(1)} %`);
  return {sounds, f};
}

// Where a run was off: the first bar intervals off, and the output's steps.
const offs = (f) => (f.bad.length ? `  (off: ${f.bad.slice(0, 6).join(', ')})` : '') +
                    (f.steps.length ? `  (steps at ${f.steps.map((s) => `${s.at}: ${s.ms.toFixed(2)} ms`).join(', ')})` : '');

const messageSteps = (sounds) => sounds.slice(1).map((s, k) => s.message - sounds[k].message);

const control = controlFolder(nativeSim, here);
const pageSite = await serve(path.resolve(site)), controlSite = await serve(control.dir);
const browser = await launchEngine(engine);
try {
  console.log(`${engine} on the PipeWire session, recorded from the sink's monitor`);
  console.log(HEADER);
  if (plantLate) {
    // A click handed over 150 ms after its timer, past its frame: the checks must say so.
    const page = await openCadenzo(browser, pageSite.url, settingsFor(240));
    await page.run(`const hand = CadenzoPage.startSound; let n = 0;
      CadenzoPage.startSound = function (...a) {
        if (++n === 6) setTimeout(() => hand.apply(this, a), 150); else hand.apply(this, a);
      };
      return true;`);
    await run(page, 'planted late click', control.dir, 240, 0.95, async () => {
      await page.tap(...START);
      await sleep(4000);
      await page.tap(...START);
    });
    const caught = failures.some((w) => /click 5 handed late/.test(w)) && failures.some((w) => /bar intervals/.test(w));
    console.log(caught ? 'the planted late click was caught' : 'FAILED: the planted late click was not caught');
    failures.length = caught ? 0 : 1;
  } else {
    // The control at `bpm` for 60 s: gives the floor of the share of bar intervals within the bound.
    const controlFloor = async (bpm) => {
      const c = figures({...(await playControl(browser, controlSite.url, control.dir, bpm, 60)), bpm});
      console.log(line(`control at ${bpm} bpm`, c) + offs(c));
      check(c.missing.length === 0, `control: clicks ${c.missing.join(', ')} not heard (the rig itself loses clicks)`);
      return c.heldShare < 0.95 ? Math.max(0, c.heldShare - 0.05) : 0.95;
    };
    const floor = await controlFloor(240);

    let page = await openCadenzo(browser, pageSite.url, settingsFor(240));
    const steady = await run(page, '240 bpm', control.dir, 240, floor, async () => {
      await page.tap(...START);
      await sleep(60000);
      await page.tap(...START);
    });
    check(messageSteps(steady.sounds).every((d) => d === 250), '240 bpm: a click not 250 ms after the one before');

    // Half a minute of silence (a browser may rest an output that long silent), then a run.
    await sleep(30000);
    await run(page, 'after a 30-s pause', control.dir, 240, floor, async () => {
      await page.tap(...START);
      await sleep(4000);
      await page.tap(...START);
    });

    // Hidden (another tab in front, or the window hidden) and shown again, then a run.
    await page.hide();
    await sleep(500);
    check(await page.run('return document.hidden;'), 'the page was hidden');
    await sleep(7500);
    await page.show();
    await sleep(500);
    check(!(await page.run('return document.hidden;')), 'the page was shown again');
    await run(page, 'after hidden, shown', control.dir, 240, floor, async () => {
      await page.tap(...START);
      await sleep(4000);
      await page.tap(...START);
    });

    // A tap on the scroll bar in a run: the next click comes the new interval after the tap (never
    // before it, never twice, none lost) and the run carries on at 230 beats a minute.
    const change = await run(page, 'tempo change', control.dir, 240, floor, async () => {
      await page.tap(...START);
      await sleep(3100);
      await page.tap(...TEMPO_PAGE_LEFT);
      await sleep(3000);
      await page.tap(...START);
    });
    const steps = messageSteps(change.sounds), at = steps.findIndex((d) => d !== 250);
    check(at > 8 && steps.slice(0, at).every((d) => d === 250) && steps.slice(at + 1).every((d) => d === 260) &&
          steps[at] >= 260 && steps[at] < 250 + 260 && steps.length - at > 8,
          `tempo change: clicks came ${steps.join(' ')} ms apart`);

    // The context's timestamps step by 100 ms in a run (as an output that stopped for a while shows
    // them): the run keeps its anchor, every click one beat after the one before. A new run (over
    // 3 s after the last click), so that what the output lost under the runs before is not carried.
    await sleep(3500);
    const before = await soundCount(page);
    await page.run(`const reports = CadenzoPage.audio.reports, push = reports.push, at = performance.now() + 1500;
      reports.push = function (r) { return push.call(this, performance.now() > at ? [r[0], r[1] - 4800] : r); };
      window.unstep = () => { reports.push = push; };
      return true;`);
    await page.tap(...START);
    await sleep(4000);
    await page.tap(...START);
    await page.run('window.unstep(); return true;');
    const stepped = await handedSince(page, before);
    const f = figures({rate: stepped.rate, frames: stepped.sounds.map((s) => s.frame),
                       messages: stepped.sounds.map((s) => s.message), heard: [], bpm: 240});
    check(f.handed >= 12 && f.off.length === 0,
          `timestamps that step: ${f.handed} clicks, handed intervals not one beat at clicks ${f.off.join(', ')}`);
    if (f.off.length) await showLog(page, f.handed);
    await page.close();

    // 30 beats a minute for 60 s: two seconds between clicks, one run all the same.
    const slowFloor = await controlFloor(30);
    page = await openCadenzo(browser, pageSite.url, settingsFor(30));
    const slow = await run(page, '30 bpm', control.dir, 30, slowFloor, async () => {
      await page.tap(...START);
      await sleep(60500);
      await page.tap(...START);
    });
    check(messageSteps(slow.sounds).every((d) => d === 2000), '30 bpm: a click not 2000 ms after the one before');
    await page.close();
  }
} catch (e) {
  check(false, e.stack || String(e));
} finally {
  await browser.close();
  pageSite.server.close();
  controlSite.server.close();
  control.remove();
}
console.log(failures.length ? `${engine}: ${failures.length} checks failed` : `${engine}: passed`);
process.exit(failures.length ? 1 : 0);
