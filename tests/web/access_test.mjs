// The page's accessibility layer in a real browser (Debian's chromium, headless, through puppeteer-core):
// what a screen reader finds in Chromium's own accessibility tree, what its actions do, the keyboard
// alone, and where the elements lie. One case a run:
//
//   node access_test.mjs CASE SITE NATIVE_SIM
//
// Exits 0 when the case passes, 1 when it fails (saying why), 77 when there is no chromium.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {execFileSync} from 'node:child_process';
import {open, screenPixels, tap, attachRecorder, startRecording, recording, check, runCase} from './harness.mjs';

const [caseName, site, nativeSim] = process.argv.slice(2);

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const CLICKS = [1025, 1026, 1027];  // the metronome's clicks (strong accent, secondary accent, other beats)
const SOUND_BOX = [150, 79];       // the Sound check box on the screen

// Chromium's accessibility tree of the page, as a screen reader reads it: the nodes that are not
// ignored, each as {role, name, value, props: {checked, valuemin, ...}, children (node ids), id}.
async function axTree(page) {
  const cdp = await page.createCDPSession();
  const {nodes} = await cdp.send('Accessibility.getFullAXTree');
  await cdp.detach();
  return nodes.filter((n) => !n.ignored).map((n) => ({
    id: n.nodeId, role: n.role && n.role.value, name: n.name ? n.name.value : '',
    value: n.value ? n.value.value : undefined, children: n.childIds || [],
    props: Object.fromEntries((n.properties || []).map((p) => [p.name, p.value.value]))}));
}
const find = (tree, role, name) => tree.filter((n) => n.role === role && (name === undefined || n.name === name));

// The element the layer made for the accessible object named `name` with `role`, found as a screen
// reader finds it (through Chromium's accessibility tree).
async function element(page, role, name) {
  return page.$(`aria/${name}[role="${role}"]`);
}

// Waits until `test` (run in the page) holds, or `ms` have passed; true when it held.
async function until(page, test, arg, ms = 3000) {
  return page.waitForFunction(test, {timeout: ms}, arg).then(() => true, () => false);
}

// The native simulator's screen after `script` (0xRRGGBB pixels, decoded by the browser).
async function simulatorShot(page, script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'cadenzo-access-'));
  execFileSync(nativeSim, ['--dir', dir, '-'], {input: `${script}\nshot ${dir}/s.png\n`});
  const bytes = fs.readFileSync(`${dir}/s.png`);
  fs.rmSync(dir, {recursive: true});
  return page.evaluate(async (url) => {
    const img = new Image();
    img.src = url;
    await img.decode();
    const g = new OffscreenCanvas(240, 320).getContext('2d');
    g.drawImage(img, 0, 0);
    const d = g.getImageData(0, 0, 240, 320).data, out = new Array(240 * 320);
    for (let i = 0; i < out.length; ++i) out[i] = (d[4 * i] << 16) | (d[4 * i + 1] << 8) | d[4 * i + 2];
    return out;
  }, 'data:image/png;base64,' + bytes.toString('base64'));
}
function differing(a, b) {
  let n = 0;
  for (let i = 26 * 240; i < a.length; ++i) n += a[i] !== b[i];
  return n;
}

// Sound ids handed to Web Audio since `from` (an index into the page's log).
const soundsSince = (page, from) => page.evaluate((k) => CadenzoPage.sounds.slice(k).map((s) => s.id), from);
// The name of the object the page's focus is on, and the model's focused object's, and whether they agree.
const focus = (page) => page.evaluate(() => {
  const e = document.activeElement, n = CadenzoAccess.nodes.find((m) => m.states & 8);
  return {element: e && e.dataset && e.dataset.id ? Number(e.dataset.id) : null, model: n ? n.id : null,
          name: n ? n.name : null, inLayer: document.getElementById('access').contains(e)};
});

const cases = {
  // The main window's controls in Chromium's tree with their roles, names and states, as the user
  // reads them; a change made with the stylus (Sound unchecked by a tap) reaches the tree.
  async tree(browser, url) {
    const page = await open(browser, url);
    await until(page, () => CadenzoAccess.nodes.length > 0);
    let tree = await axTree(page);
    const slider = find(tree, 'slider')[0];
    check(slider && slider.name === 'Metronome Speed = 60 Beats/Minute' && slider.value === 60 &&
          slider.props.valuemin === 30 && slider.props.valuemax === 240,
          `the tempo slider: ${JSON.stringify(slider)}`);
    check(find(tree, 'button', 'Start Metronome').length === 1, 'a button "Start Metronome"');
    const notes = ['A1', 'A2', 'A3', 'D min', 'Bb1', 'Bb2', 'Bb3', 'Bb maj'];
    check(notes.every((n) => find(tree, 'button', n).length === 1), `the note buttons ${notes.join(', ')}`);
    for (const box of ['Sound', 'Color']) {
      const b = find(tree, 'checkbox', box)[0];
      check(b && b.props.checked === 'true', `the check box ${box}, checked: ${JSON.stringify(b)}`);
    }
    const lists = find(tree, 'combobox');
    check(lists.length === 2 && lists[0].value === 'None' && lists[1].value === 'Concert',
          `the two lists with their selections: ${JSON.stringify(lists.map((l) => l.value))}`);
    check(lists.length === 2 && lists[0].name === 'None' && lists[1].name === 'Concert',
          `the two lists named by their selections, as the model names them: ${JSON.stringify(lists.map((l) => l.name))}`);
    const options = find(tree, 'option').map((o) => o.name);
    check(options.join() === 'None,2/4,3/4,4/4,5/4,6/8,7/8,Concert,Guitar,Bass,Cello,Viola,Violin',
          `the lists' items: ${options.join()}`);
    for (const [group, radios] of [['Delay', ['none', '1 sec', '3 sec']], ['Repeat', ['1x', '3x', '5x']]]) {
      const g = find(tree, 'group', group)[0];
      const members = g ? g.children.map((id) => tree.find((n) => n.id === id)).filter((n) => n && n.role === 'radio') : [];
      check(members.map((m) => m.name).join() === radios.join() &&
            members.map((m) => m.props.checked).join() === 'true,false,false',
            `the group ${group} holds its radio buttons, the first selected: ${JSON.stringify(members)}`);
    }
    for (const text of ['Tuning Notes', 'www.lyrebay.com'])
      check(find(tree, 'StaticText', text).length > 0, `the coloured bar's text "${text}"`);
    const live = find(tree, 'status')[0];
    check(live && live.props.live === 'polite', 'a polite live region');

    await tap(page, ...SOUND_BOX);
    check(await until(page, () => {
      const e = document.querySelector('#access input[aria-label="Sound"]');
      return e && !e.checked;
    }), 'the layer follows a tap: Sound unchecked');
    tree = await axTree(page);
    const sound = find(tree, 'checkbox', 'Sound')[0];
    check(sound && sound.props.checked === 'false', `Sound in the tree after the tap: ${JSON.stringify(sound)}`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // The layer's actions are the model's: pressing the "Start Metronome" element starts the metronome
  // (its clicks are handed to Web Audio and heard in the recorded output), its name becomes "Stop
  // Metronome" and the live region says so; pressing again stops it. A value set on the slider (as the
  // user reads it; one beyond the range is clamped) and a choice in a list reach the program.
  async actions(browser, url) {
    const page = await open(browser, url);
    await until(page, () => CadenzoAccess.nodes.length > 0);
    const start = await element(page, 'button', 'Start Metronome');
    check(start !== null, 'the "Start Metronome" element is found through the accessibility tree');
    if (!start) return;
    await page.evaluate(() => {
      window.taps = 0;
      document.getElementById('screen').addEventListener('pointerdown', () => window.taps++);
    });
    await start.evaluate((e) => e.click());  // as a screen reader's default action
    await until(page, () => CadenzoPage.audio.state === 'running', undefined, 10000);
    await attachRecorder(page);
    await startRecording(page);
    check(await until(page, () => CadenzoPage.sounds.length >= 2), 'clicks are handed to Web Audio');
    await sleep(1200);
    await recording(page);
    const loud = await page.evaluate(() => window.recording.stream.reduce((m, v) => Math.max(m, Math.abs(v)), 0));
    check(loud > 0.05, `a click is heard in the recorded output (peak ${loud.toFixed(3)})`);
    const ids = await soundsSince(page, 0);
    check(ids.length >= 2 && ids.every((id) => CLICKS.includes(id)), `the sounds are clicks: ${ids}`);
    check((await page.evaluate(() => window.taps)) === 0, 'no tap reached the canvas');
    let tree = await axTree(page);
    check(find(tree, 'button', 'Stop Metronome').length === 1 && find(tree, 'button', 'Start Metronome').length === 0,
          'the button is now named "Stop Metronome"');
    check((await page.evaluate(() => document.getElementById('access-said').textContent)) === 'Stop Metronome',
          'the live region says "Stop Metronome"');
    const stop = await element(page, 'button', 'Stop Metronome');
    if (stop) await stop.evaluate((e) => e.click());
    check(await until(page, () => document.querySelector('#access button') &&
                                  [...document.querySelectorAll('#access button')].some((b) => b.textContent === 'Start Metronome')),
          'pressed again, it is "Start Metronome" again');
    await sleep(600);
    const after = await page.evaluate(() => CadenzoPage.sounds.length);
    await sleep(1200);
    check((await page.evaluate(() => CadenzoPage.sounds.length)) === after, 'and the clicks stopped');

    // The slider, in the numbers the user reads; a value past the end is clamped to it.
    const slider = await page.$('#access input[type=range]');
    for (const [set, want] of [[100, 100], [500, 240], [30, 30]]) {
      await slider.evaluate((e, v) => {
        e.value = String(v);  // the element clamps too: past its end, its end
        e.dispatchEvent(new Event('input', {bubbles: true}));
      }, set);
      const ok = await until(page, (w) => CadenzoAccess.nodes.some((n) => n.role === 'slider' && n.value === w), want);
      tree = await axTree(page);
      const s = find(tree, 'slider')[0];
      check(ok && s && s.value === want && s.name === `Metronome Speed = ${want} Beats/Minute`,
            `the slider set to ${set}: ${JSON.stringify(s && [s.value, s.name])}`);
    }
    // The time signature list: 4/4 chosen through its element.
    const list = (await page.$$('#access select'))[0];
    await list.evaluate((e) => {
      e.selectedIndex = 3;
      e.dispatchEvent(new Event('change', {bubbles: true}));
    });
    await until(page, () => CadenzoAccess.nodes.some((n) => n.role === 'combobox' && n.selected === 3));
    tree = await axTree(page);
    check(find(tree, 'combobox')[0].value === '4/4', `the list shows ${find(tree, 'combobox')[0].value}`);
    // About, a dialog with its texts, closed by pressing its "ok" (the navigation bar's) element.
    await page.keyboard.down('Control');
    await page.keyboard.press('KeyA');
    await page.keyboard.up('Control');
    await until(page, () => document.querySelector('#access [role=dialog]') !== null);
    tree = await axTree(page);
    const about = find(tree, 'dialog', 'About Cadenzo')[0];
    check(about && find(tree, 'StaticText').some((t) => t.name.startsWith('Cadenzo v')),
          'About is a dialog named "About Cadenzo" with its texts');
    const ok = await element(page, 'button', 'ok');
    if (ok) await ok.evaluate((e) => e.click());
    check(ok && await until(page, () => document.querySelector('#access [role=dialog]') === null),
          'pressing its "ok" element closes About');
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // The keyboard alone, through the layer: Tab moves the page's focus and the platform's together (the
  // focus rectangle drawn on the same control); Tab to Start, Space starts (once); Shift+Tab to the
  // tempo, Right three times gives 63; Tab on to a note button, Space plays it; About (Ctrl+A) is a
  // dialog, closed by Escape and again by Return; Tab past the last control and Shift+Tab before the
  // first leave the page; focus given to an element by the page moves the platform's.
  async keyboard(browser, url) {
    // Each Tab's keydown, whether the page kept it from the browser (after it was handled).
    const page = await open(browser, url, undefined, undefined, () => {
      window.tabs = [];
      window.addEventListener('keydown', (e) => {
        if (e.key === 'Tab') setTimeout(() => window.tabs.push(e.defaultPrevented));
      }, true);
    });
    await until(page, () => CadenzoAccess.nodes.length > 0);
    await page.keyboard.press('Shift');  // the audio context, so the first click is heard too
    await until(page, () => CadenzoPage.audio.state === 'running', undefined, 10000);
    const tabTo = async (name, most = 20) => {
      for (let i = 0; i < most; ++i) {
        await page.keyboard.press('Tab');
        await sleep(60);
        const f = await focus(page);
        check(f.element === f.model, `after Tab the page's focus (${f.element}) is the platform's (${f.model})`);
        if (f.name === name) return true;
      }
      check(false, `Tab reaches "${name}"`);
      return false;
    };
    await tabTo('Start Metronome');
    let from = await page.evaluate(() => CadenzoPage.sounds.length);
    await page.keyboard.press('Space');
    check(await until(page, () => [...document.querySelectorAll('#access button')].some((b) => b.textContent === 'Stop Metronome')),
          'Space on Start: the button is "Stop Metronome"');
    await sleep(2100);  // the first click comes a beat after the start
    let ids = await soundsSince(page, from);
    check(ids.length >= 2 && ids.every((id) => CLICKS.includes(id)), `Space started the metronome: ${ids}`);
    await page.keyboard.press('Space');  // stops it
    await page.keyboard.down('Shift');
    await page.keyboard.press('Tab');
    await page.keyboard.up('Shift');
    for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowRight');
    check(await until(page, () => document.activeElement.type === 'range' && document.activeElement.valueAsNumber === 63),
          'Shift+Tab to the tempo and Right three times: 63 on the focused slider');
    const tree = await axTree(page);
    check(find(tree, 'slider')[0].value === 63 && find(tree, 'slider')[0].props.focused === true,
          `the focused slider reads ${find(tree, 'slider')[0].value}`);
    await tabTo('A1');
    await sleep(300);
    from = await page.evaluate(() => CadenzoPage.sounds.length);
    await page.keyboard.press('Space');
    await sleep(500);
    ids = await soundsSince(page, from);
    check(ids.length === 1 && !CLICKS.includes(ids[0]), `Space on A1 plays its note: ${ids}`);
    // The screen, focus rectangle on A1 included, is the simulator's after the same keys.
    const script = ['key tab', 'key tab', 'key space', 'wait 2100', 'key space', 'key shift+tab', 'key right',
                    'key right', 'key right', ...Array(5).fill('key tab'), 'key space', 'wait 3000'].join('\n');
    await sleep(2500);  // the note's repeats and the bars' flash are over
    const diff = differing(await screenPixels(page), await simulatorShot(page, script));
    check(diff === 0, `the screen after the keys: ${diff} pixels differ from the simulator's`);

    for (const close of ['Escape', 'Enter']) {
      await page.keyboard.down('Control');
      await page.keyboard.press('KeyA');
      await page.keyboard.up('Control');
      const opened = await until(page, () => document.querySelector('#access [role=dialog]') !== null);
      const dialogs = find(await axTree(page), 'dialog');
      check(opened && dialogs.length === 1, `Ctrl+A: About is a dialog in the tree (${dialogs.length})`);
      check(await until(page, () => document.querySelector('#access [role=dialog]').contains(document.activeElement) ||
                                    document.querySelector('#access .window').inert),
            'the main window is out of reach behind About');
      await page.keyboard.press(close);
      check(await until(page, () => document.querySelector('#access [role=dialog]') === null), `${close} closes About`);
    }

    // Past the last control the focus leaves the page: the key is the browser's (not prevented, not the
    // program's), and the platform's focus stays where it was. (Where the browser then puts the focus is
    // its own affair: a browser with a window goes to its bar; headless chromium goes round the page
    // backwards.)
    await tabTo('Concert');
    await page.keyboard.press('Tab');
    await sleep(200);
    let f = await focus(page);
    let tabs = await page.evaluate(() => window.tabs.slice(-2));
    check(!f.inLayer && f.name === 'Concert' && tabs.join() === 'true,false',
          `Tab past the last control leaves the page (in the layer: ${f.inLayer}, the platform's focus on ` +
          `${f.name}, the last two Tabs prevented: ${tabs})`);
    await page.focus('#access input[type=range]');
    check(await until(page, () => CadenzoAccess.nodes.some((n) => n.role === 'slider' && (n.states & 8))),
          'the slider, focused by the page, has the platform\'s focus');
    await page.keyboard.down('Shift');
    await page.keyboard.press('Tab');
    await page.keyboard.up('Shift');
    await sleep(200);
    tabs = await page.evaluate(() => window.tabs.slice(-1));
    check(tabs.join() === 'false', 'Shift+Tab before the first control is left to the browser');
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // Focus given to an element by the page (as a screen reader moves it) moves the platform's, its
  // focus rectangle included: Color focused so shows what four Tabs from the start show in the simulator.
  async 'focus-from-page'(browser, url) {
    const page = await open(browser, url);
    await until(page, () => CadenzoAccess.nodes.length > 0);
    const color = await element(page, 'checkbox', 'Color');
    await color.evaluate((e) => e.focus());
    check(await until(page, () => CadenzoAccess.nodes.some((n) => n.name === 'Color' && (n.states & 8))),
          'focus given to the Color element moves the platform\'s focus there');
    await sleep(300);
    const diff = differing(await screenPixels(page), await simulatorShot(page, 'key tab\n'.repeat(4)));
    check(diff === 0, `the focus rectangle on Color: ${diff} pixels differ from the simulator's`);
    const f = await focus(page);
    check(f.element === f.model && f.name === 'Color', `the page's focus stays on Color (${JSON.stringify(f)})`);
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },

  // Each element lies over its control (within half a CSS pixel) on a phone at three device pixels a
  // pixel, and after the window becomes a desktop's; the layer lets pointers through to the canvas.
  async places(browser, url) {
    const page = await open(browser, url, {width: 390, height: 844, deviceScaleFactor: 3});
    await until(page, () => CadenzoAccess.nodes.length > 20);
    const measure = () => page.evaluate(() => {
      const s = document.getElementById('screen').getBoundingClientRect(), k = s.width / 240, out = [];
      for (const n of CadenzoAccess.nodes) {
        if (n.parent === 0) continue;
        const r = CadenzoAccess.element(n.id).getBoundingClientRect();
        out.push({name: n.name, off: Math.max(Math.abs(r.left - (s.left + n.x * k)), Math.abs(r.top - (s.top + n.y * k)),
                                              Math.abs(r.width - n.width * k), Math.abs(r.height - n.height * k))});
      }
      const hit = document.elementFromPoint(s.left + 100 * k, s.top + 88 * k);
      return {scale: k, out, hit: hit && hit.id};
    });
    for (const [label, viewport] of [['phone', null], ['desktop', {width: 1280, height: 800, deviceScaleFactor: 1}],
                                     ['phone again', {width: 390, height: 844, deviceScaleFactor: 3}]]) {
      if (viewport) {
        await page.setViewport(viewport);
        await sleep(300);
      }
      const m = await measure();
      const worst = m.out.reduce((a, b) => (b.off > a.off ? b : a), {off: 0});
      check(m.out.length > 20 && worst.off <= 0.5,
            `${label} (${m.scale.toFixed(3)} px a pixel): ${m.out.length} elements, the worst "${worst.name}" ` +
            `${worst.off.toFixed(2)} px off`);
      check(m.hit === 'screen', `${label}: a pointer over Start reaches the canvas (${m.hit})`);
    }
    check(page.errors.length === 0, 'page errors: ' + page.errors.join('; '));
  },
};

await runCase(cases, caseName, site);
