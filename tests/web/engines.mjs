// The three browser engines, driven alike for the tests on a real sound server: Debian's chromium
// (unmuted: puppeteer mutes it by default) and firefox-esr through puppeteer-core, WebKitGTK through
// webkit_driver.py under Xvfb. Each gives pages with one call, `run(body)`: the body of an async
// function run in the page, its result returned; `hide()` and `show()` put the page out of view (another
// tab in front, or its window hidden) and back. The browsers play through the sound server the
// environment names (PULSE_SERVER).
import fs from 'node:fs';
import path from 'node:path';
import {spawn} from 'node:child_process';
import {fileURLToPath} from 'node:url';
import puppeteer from 'puppeteer-core';
import {CHROMIUM, launch} from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
export const FIREFOX = process.env.CADENZO_FIREFOX || '/usr/bin/firefox-esr';

// What an engine needs, or why it cannot run here.
export function missing(engine) {
  if (engine === 'chromium') return fs.existsSync(CHROMIUM) ? '' : `no chromium at ${CHROMIUM}`;
  if (engine === 'firefox') return fs.existsSync(FIREFOX) ? '' : `no firefox at ${FIREFOX}`;
  if (engine === 'webkit') {
    for (const f of ['/usr/bin/xvfb-run', '/usr/lib/x86_64-linux-gnu/girepository-1.0/WebKit2-4.1.typelib'])
      if (!fs.existsSync(f)) return `no ${f} (apt-get install xvfb gir1.2-webkit2-4.1 python3-gi)`;
    return '';
  }
  return `unknown engine ${engine}`;
}

async function puppeteerEngine(engine) {
  const browser = engine === 'firefox'
    ? await puppeteer.launch({browser: 'firefox', executablePath: FIREFOX, headless: true,
                              extraPrefsFirefox: {'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0}})
    : await launch([], true);
  return {
    async page(url) {
      const page = await browser.newPage();
      await page.goto(url);
      let other = null;
      return {
        run: (body) => page.evaluate(`(async () => { ${body} })()`),
        close: () => page.close(),
        async hide() {
          other = await browser.newPage();
          await other.bringToFront();
        },
        async show() {
          await page.bringToFront();
          await other.close();
        },
      };
    },
    close: () => browser.close(),
  };
}

// WebKitGTK: one view, so one page at a time; `page` loads the URL into it.
async function webkitEngine() {
  const child = spawn('xvfb-run', ['-a', '/usr/bin/python3', path.join(here, 'webkit_driver.py')],
                      {stdio: ['pipe', 'pipe', 'inherit']});
  const waiting = new Map();
  let next = 1, buffered = '';
  child.stdout.on('data', (chunk) => {
    buffered += chunk;
    let at;
    while ((at = buffered.indexOf('\n')) >= 0) {
      const line = buffered.slice(0, at);
      buffered = buffered.slice(at + 1);
      let reply;
      try { reply = JSON.parse(line); } catch { continue; }  // a line of the engine's own
      const w = waiting.get(reply.id);
      if (!w) continue;
      waiting.delete(reply.id);
      if (reply.error !== undefined) w.reject(new Error('webkit: ' + reply.error));
      else w.resolve(reply.value);
    }
  });
  const ended = new Promise((resolve) => child.on('exit', resolve));
  const send = (command) => new Promise((resolve, reject) => {
    const id = next++;
    waiting.set(id, {resolve, reject});
    child.stdin.write(JSON.stringify({id, ...command}) + '\n');
  });
  ended.then(() => { for (const w of waiting.values()) w.reject(new Error('webkit ended')); });
  return {
    async page(url) {
      await send({open: url});
      return {run: (body) => send({call: body}), close: async () => {}, hide: () => send({hide: true}),
              show: () => send({show: true})};
    },
    async close() {
      await send({quit: true}).catch(() => {});
      await Promise.race([ended, new Promise((r) => setTimeout(r, 3000))]);
      child.kill();
    },
  };
}

export async function launchEngine(engine) {
  return engine === 'webkit' ? webkitEngine() : puppeteerEngine(engine);
}
