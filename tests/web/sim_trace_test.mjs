// The simulator built for wasm and run under Node prints, for the scenario scripts the program's
// tests use, exactly what the native simulator prints: the trace byte for byte, the output stream
// (--wav) and the settings file it leaves, and the screenshots the scripts take.
//
//   node sim_trace_test.mjs NATIVE_SIM WASM_SIM_JS
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {spawnSync} from 'node:child_process';

const [nativeSim, wasmSim] = process.argv.slice(2).map((p) => path.resolve(p));
const T = (x, y) => `tap ${x} ${y}\n`;
const TOOLS = T(16, 307), OK = T(223, 13);
// [name, settings record (hex) or '', script]: the scripts of the end-to-end, settings and dialog tests.
const SCENARIOS = [
  ['quit', '', 'key ctrl+q\n'],
  ['running-at-end', '', 'wait 10\n'],
  ['beats-and-flashes', '1e000100030101',
   'tap 61 88\nwait 1000\nprobe 6 29\nwait 1000\nprobe 6 29\nwait 1000\nprobe 6 107\ntap 61 88\nprobe 6 276\nkey ctrl+q\n'],
  ['clicks-240', 'd2000100030101', 'tap 61 88\nwait 10100\ntap 61 88\nkey ctrl+q\n'],
  ['accelerators', '', 'tap 140 81\nkey q\nkey a\nwait 100\nkey ctrl+q\n'],
  ['help-key', '', 'key f1\nkey ctrl+q\n'],
  ['note-cut-by-click', 'd2000300000101', 'tap 31 139\nwait 100\ntap 61 88\nwait 300\ntap 61 88\nwait 3500\nkey ctrl+q\n'],
  ['bad-settings', 'ffffffffffffff', 'tap 61 88\nwait 1000\nkey ctrl+q\n'],
  ['about-and-ok', '', 'tap 140 94\ntap 140 94\nkey ctrl+a\nshot about\n' + OK + 'shot after\nkey ctrl+q\n'],
  ['tools-exit', '', 'wait 50\n' + TOOLS + 'wait 50\n' + T(30, 284)],
  ['about-while-ticking', '', 'tap 61 88\nwait 1500\nkey ctrl+a\nwait 3000\n' + OK + 'wait 500\n' + TOOLS + T(30, 259) +
   'wait 3000\nkey return\nwait 200\nkey ctrl+q\n'],
  ['keys-in-about', '', 'key ctrl+a\nkey ctrl+q\nkey f1\nwait 100\nkey escape\nwait 100\nkey f1\nkey ctrl+q\n'],
];

function run(command, args, dir, script) {
  const r = spawnSync(command, args, {input: script.replaceAll('@DIR@', dir), cwd: dir});
  return {status: r.status, out: r.stdout.toString(), err: r.stderr.toString()};
}

let failures = 0;
for (const [name, settings, script] of SCENARIOS) {
  const result = {};
  for (const which of ['native', 'wasm']) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), `cadenzo-sim-${which}-`));
    if (settings) fs.writeFileSync(path.join(dir, 'Cadenzo.ini'), Buffer.from(settings, 'hex'));
    const text = script.replace(/^shot (\S+)$/gm, 'shot @DIR@/$1.png');
    const args = ['--dir', dir, '--wav', path.join(dir, 'out.wav'), '-'];
    const r = which === 'native' ? run(nativeSim, args, dir, text)
                                 : run(process.execPath, ['--no-experimental-fetch', wasmSim, ...args], dir, text);
    r.files = {};
    for (const f of fs.readdirSync(dir).sort()) r.files[f] = fs.readFileSync(path.join(dir, f)).toString('base64');
    fs.rmSync(dir, {recursive: true});
    result[which] = r;
  }
  const {native, wasm} = result;
  const problems = [];
  if (native.status !== wasm.status) problems.push(`exit status ${wasm.status}, native ${native.status}`);
  if (native.out !== wasm.out) problems.push(`trace differs:\n--- native\n${native.out}--- wasm\n${wasm.out}${wasm.err}`);
  if (native.out.trim() === '') problems.push('the native simulator printed nothing');
  const names = new Set([...Object.keys(native.files), ...Object.keys(wasm.files)]);
  for (const f of names) if (native.files[f] !== wasm.files[f]) problems.push(`${f} differs`);
  console.log(`${problems.length ? 'FAILED' : 'ok'} ${name} (${native.out.split('\n').length - 1} trace lines, ` +
              `files: ${[...names].join(' ')})`);
  for (const p of problems) console.log('  ' + p);
  failures += problems.length ? 1 : 0;
}
process.exit(failures ? 1 : 0);
