// The page's side of the browser host (linked in front of the program as --pre-js): the 240 x 320
// screen in a canvas, the stylus and keys, Web Audio, the settings in localStorage, other tabs of the
// same page. web_host.js turns these into the calls web_host.cpp makes.
//
// What a test or benchmark may read (window.CadenzoPage): `presented` (each frame shown: its message
// time, when it was due and shown, and the colours of the pixels listed in `probes`), `sounds` (each
// sound handed to Web Audio: its message time and start frame), `trace` (message boxes, processes),
// `audio.ctx` / `audio.output` (the context and the node every voice plays through) and
// `audio.history` (the context's timestamps: when, by performance.now(), which frame was heard),
// `audio.resting` (the output rests, suspended unless its timestamps are unusable, until the next tap,
// key or sound) and `screenLock` (the wake lock held while the metronome ticks or notes repeat).
// Leaves out: sizes of screen other than 240 x 320; keys other than those the handheld has.
var CadenzoPage = (function () {
  'use strict';
  var W = 240, H = 320;
  var EVENT = {down: 0, move: 1, up: 2, keyDown: 3, keyUp: 4, close: 5, foreground: 6, soundChanged: 7};
  var LOG_LIMIT = 4000;

  var page = {
    events: [],      // input for the program: [kind, x, y, key, modifiers, time]
    waker: null,     // resumes the program's wait
    wakeTimer: 0,
    frames: [],      // frames waiting for their due time
    presented: [],
    probes: [],
    sounds: [],
    trace: [],
    audio: {ctx: null, output: null, state: 'none', reports: [], history: [], lastPerf: 0, voices: [], buffers: new Map(),
            timer: 0, giveUp: 0, resting: false, restTimer: 0, restedAt: 0, lastPoll: 0, wokenAt: 0, settling: 0,
            fresh: [], wakeTimer: 0, held: [], holdTimer: 0, wakeDue: false},
    screenLock: {wanted: false, sentinel: null, asking: false},
    channel: null,
    holder: false,   // this tab runs the program the other tabs find
    ended: false,
    title: 'Cadenzo',
    raisedUntil: 0,
  };
  if (typeof window === 'undefined') return page;
  window.CadenzoPage = page;

  var canvas = document.getElementById('screen');
  var note = document.getElementById('note');
  // Desynchronized: where the browser can, a frame drawn reaches the display without a frame of the
  // page's own (its lifecycle, commit and compositor) for each flash of the beat, which cost
  // Chromium's renderer about 10 ms a second while ticking at 240 bpm. Browsers without it ignore it.
  var screen = canvas.getContext('2d', {alpha: false, desynchronized: true});
  screen.imageSmoothingEnabled = false;

  // The first screen as an image, until the program draws its own (index.html sizes both).
  var firstScreen = document.getElementById('first');
  var progress = document.getElementById('loading');

  function wake() {
    if (!page.waker) return;
    var resume = page.waker;
    page.waker = null;
    clearTimeout(page.wakeTimer);
    resume();  // the program runs now, inside this handler (so window.open stays a user's action)
  }

  function push(kind, x, y, key, mods, time) {
    if (page.ended) return;
    var now = performance.now();
    var event = [kind, x | 0, y | 0, key | 0, mods | 0, Math.floor(Math.min(time || now, now))];
    // Input that comes while the output's time is not known (it woke from rest, or the page was
    // frozen) waits, keeping its time, until the output tells it again (see poll): a sound it starts
    // is then placed on a fresh timestamp.
    if (audio.held.length || (audio.wokenAt && kind <= EVENT.keyUp)) {
      audio.held.push(event);
      return;
    }
    page.events.push(event);
    wake();
  }

  // ---- The stylus: one pointer (touch, pen or mouse), captured while pressed.
  var pointer = null;
  function at(e) {
    var r = canvas.getBoundingClientRect();
    var x = Math.floor((e.clientX - r.left) * W / r.width), y = Math.floor((e.clientY - r.top) * H / r.height);
    return [Math.min(W - 1, Math.max(0, x)), Math.min(H - 1, Math.max(0, y))];
  }
  canvas.addEventListener('pointerdown', function (e) {
    e.preventDefault();
    startAudio();
    if (pointer !== null) return;
    pointer = e.pointerId;
    canvas.setPointerCapture(e.pointerId);
    var p = at(e);
    push(EVENT.down, p[0], p[1], 0, 0, e.timeStamp);
  });
  canvas.addEventListener('pointermove', function (e) {
    if (e.pointerId !== pointer) return;
    var p = at(e);
    push(EVENT.move, p[0], p[1], 0, 0, e.timeStamp);
  });
  function release(e) {
    if (e.pointerId !== pointer) return;
    pointer = null;
    var p = at(e);
    push(EVENT.up, p[0], p[1], 0, 0, e.timeStamp);
  }
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });

  // ---- Keys, as the platform's virtual-key codes.
  var KEYS = {Enter: 0x0D, NumpadEnter: 0x0D, Escape: 0x1B, Backspace: 0x08, Tab: 0x09, Space: 0x20,
              PageUp: 0x21, PageDown: 0x22, End: 0x23, Home: 0x24,
              ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28, F1: 0x70, F4: 0x73,
              ControlLeft: 0x11, ControlRight: 0x11, ShiftLeft: 0x10, ShiftRight: 0x10, AltLeft: 0x12, AltRight: 0x12};
  function virtualKey(e) {
    if (/^Key[A-Z]$/.test(e.code)) return e.code.charCodeAt(3);
    if (/^Digit[0-9]$/.test(e.code)) return e.code.charCodeAt(5);
    return KEYS[e.code] || 0;
  }
  function key(kind, e) {
    var vk = virtualKey(e);
    if (!vk) return;
    var letter = vk >= 0x41 && vk <= 0x5A;
    // The browser keeps its own shortcuts, except those the program uses (Ctrl+A, Ctrl+Q) and F1; Tab,
    // Space, the arrows and the paging keys move the focus and the controls of the screen, not the page.
    if (!(letter || (vk >= 0x30 && vk <= 0x39)) || (e.ctrlKey && (vk === 0x41 || vk === 0x51))) e.preventDefault();
    else if (e.ctrlKey || e.altKey || e.metaKey) return;
    if (kind === EVENT.keyDown) startAudio();
    push(kind, 0, 0, vk, (e.ctrlKey ? 1 : 0) | (e.shiftKey ? 2 : 0) | (e.altKey ? 4 : 0), e.timeStamp);
  }
  window.addEventListener('keydown', function (e) { key(EVENT.keyDown, e); });
  window.addEventListener('keyup', function (e) { key(EVENT.keyUp, e); });

  // ---- The screen: each frame shown once its due time (message time + latency) has come. The images
  // of frames shown or passed over are used again for the next frames (a new 300 KB image for each
  // flash of the beat kept the garbage collector busy while ticking).
  var drawing = false, spare = [];
  function recycle(frame) {
    if (spare.length < 8) spare.push(frame.image);
  }
  function show() {
    drawing = false;
    var now = performance.now(), due = -1;
    for (var i = 0; i < page.frames.length && page.frames[i].due <= now; ++i) due = i;
    if (due >= 0) {
      var f = page.frames[due];
      page.frames.splice(0, due + 1).forEach(function (passed) { if (passed !== f) recycle(passed); });
      screen.putImageData(f.image, 0, 0);
      if (firstScreen) {  // the canvas takes the image's place in the same frame: nothing blank between
        firstScreen.remove();
        firstScreen = null;
        progress.remove();
        canvas.hidden = false;
      }
      var probes = page.probes.map(function (p) {
        var o = (p[1] * W + p[0]) * 4, d = f.image.data;
        return ((d[o] << 16) | (d[o + 1] << 8) | d[o + 2]).toString(16).padStart(6, '0').toUpperCase();
      });
      page.presented.push({message: f.message, due: f.due, shown: now, probes: probes});
      if (page.presented.length > LOG_LIMIT) page.presented.shift();
      recycle(f);  // the canvas holds its own copy now
    }
    drawWhenDue();
  }
  // The next frame is drawn from a timer at its due time, and the browser shows it in its next frame,
  // as it would a frame drawn in an animation frame callback. Animation frames are not asked for: each
  // keeps the compositor drawing for several frames, at the display's rate, while the metronome ticks.
  function drawWhenDue() {
    if (drawing || !page.frames.length) return;
    drawing = true;
    setTimeout(show, Math.max(0, Math.ceil(page.frames[0].due - performance.now())));
  }
  // A frame comes as the image's own bytes (R, G, B, A), converted by the program's host.
  page.present = function (rgba, message, due) {
    var image = spare.pop() || new ImageData(W, H);
    image.data.set(rgba);
    page.frames.push({message: message, due: due, image: image});
    if (page.frames.length > 8) recycle(page.frames.shift());  // a hidden page's timers lag: keep the latest
    drawWhenDue();
  };

  // ---- Sound: one context, made or resumed with the first tap or key (browsers ask for a gesture).
  var audio = page.audio;
  function noSound(why) {
    if (audio.state === 'failed') return;
    audio.state = 'failed';
    clearInterval(audio.timer);
    console.warn('Cadenzo plays no sound: ' + why);
    push(EVENT.soundChanged);
  }
  // The context's timestamps: when (by performance.now()) which frame is heard, for the device clock
  // fit, which chooses where each run of sounds is anchored (never their spacing). getOutputTimestamp()
  // is used while it is sane: a frame already rendered, heard within the last second. An engine whose
  // timestamps are not (or that has none) is read from then on through currentTime less the latency
  // it states: coarser, which costs only the anchor's precision.
  function report() {
    var ctx = audio.ctx;
    if (!ctx || ctx.state !== 'running') return;
    var now = performance.now(), rate = ctx.sampleRate, rendered = ctx.currentTime * rate;
    var ts = !audio.unstamped && ctx.getOutputTimestamp ? ctx.getOutputTimestamp() : {};
    var perf = ts.performanceTime, frame = ts.contextTime * rate;
    if (!audio.unstamped && !(frame > 0 && perf > 0)) return;  // the output has not started yet
    if (!audio.unstamped && !(perf > now - 1000 && perf <= now + 1 && frame <= rendered && frame > rendered - rate)) {
      audio.unstamped = true;
      startFloor();
      page.log('audio-timestamps unusable ' + perf.toFixed(1) + ' ' + now.toFixed(1) + ' ' + Math.round(frame) +
               ' ' + Math.round(rendered));
    }
    if (audio.unstamped) {
      perf = now;
      frame = rendered - ((ctx.baseLatency || 0) + (ctx.outputLatency || 0)) * rate;
    }
    if (!(perf > audio.lastPerf)) return;
    audio.lastPerf = perf;
    audio.reports.push([perf, Math.round(frame)]);
    if (audio.reports.length > 256) audio.reports.shift();
    audio.history.push([perf, Math.round(frame), now, Math.round(rendered)]);
    if (audio.history.length > LOG_LIMIT) audio.history.shift();
    if (audio.state !== 'running') {
      audio.state = 'running';
      clearTimeout(audio.giveUp);
      wake();  // the program attaches the output and places the sounds that waited
    }
  }
  // The output's timestamps while it plays: every POLL_MS, and whenever the program asks for them or
  // is woken by its timer (each sound it places). Ten a second are plenty for the device clock's fit,
  // which chooses only where a run is anchored; each wakes the page (every 25 ms cost the renderer
  // 7 ms a second while ticking). Until the output plays again after it woke from rest, or after the
  // page did not run for a while (frozen, or its timers held back), its timestamps are the ones from
  // before: they are passed over, and input and the program's timers wait meanwhile (at most 250 ms
  // after a rest, 500 ms after a pause), asking every few milliseconds. After a pause, the program
  // waits for more timestamps, until the last SETTLE_REPORTS of them agree within SETTLE_MS (an output
  // catching up after a pause jumps about first, and the device clock judges a run's line against a
  // fresh fit only once it holds 8 timestamps, older ones weighing a little less), so that the next
  // sound of a run that went on through the pause is placed on the output's present time, not the one
  // from before it.
  var POLL_MS = 100;
  var SETTLE_REPORTS = 10, SETTLE_MS = 2;
  function poll() {
    var ctx = audio.ctx, now = performance.now();
    if (!ctx) return;
    if (!audio.resting && !audio.wokenAt && audio.lastPoll && now - audio.lastPoll > 1000) {
      audio.settling = SETTLE_REPORTS;
      holdFor(now, 500);
    }
    audio.lastPoll = now;
    if (!audio.wokenAt) return report();
    var ts = ctx.getOutputTimestamp ? ctx.getOutputTimestamp() : {};
    if (ctx.state !== 'running' || (!audio.unstamped && ctx.getOutputTimestamp && !(ts.performanceTime > audio.wokenAt)))
      return;
    var before = audio.history.length;
    report();
    if (audio.history.length > before) {
      var h = audio.history[audio.history.length - 1];
      audio.fresh.push(h[1] - h[0] * ctx.sampleRate / 1000);  // the frame heard at performance time 0
    }
    var last = audio.fresh.slice(-audio.settling);
    if (last.length < audio.settling ||
        Math.max.apply(null, last) - Math.min.apply(null, last) > SETTLE_MS * ctx.sampleRate / 1000) {
      audio.wokenAt = ts.performanceTime || now;
      return;
    }
    endHold();
  }
  page.poll = poll;
  // Input and the program's own wake-ups wait from now until the output tells the time again; asked
  // every few milliseconds meanwhile (a tap's sound has only the latency's room).
  function holdFor(now, most) {
    audio.wokenAt = now;
    audio.fresh = [];
    clearTimeout(audio.holdTimer);
    audio.holdTimer = setTimeout(endHold, most);  // an output that does not come back lets them through
    pollHolding();
  }
  function pollHolding() {
    clearTimeout(audio.wakeTimer);
    if (audio.wokenAt) audio.wakeTimer = setTimeout(function () {
      poll();
      pollHolding();
    }, 2);
  }
  function endHold() {
    clearTimeout(audio.holdTimer);
    clearTimeout(audio.wakeTimer);
    audio.wokenAt = 0;
    audio.settling = 0;
    var held = audio.held, due = audio.wakeDue;
    audio.held = [];
    audio.wakeDue = false;
    if (page.ended) return;
    Array.prototype.push.apply(page.events, held);
    if (held.length || due) wake();
  }
  // The program's timer: it runs once the output's time is known.
  page.wake = function () {
    if (audio.state === 'running') poll();
    if (audio.wokenAt) audio.wakeDue = true;
    else wake();
  };

  // ---- Rest: once no sound has played for longer than any run leaves between two (notes 5.05 s
  // apart), the page stops asking for timestamps, turns the floor (if any) off and suspends the
  // context, so the browser's output may sleep; the next tap or key (before the program sees it) or
  // sound wakes it.
  // An output whose timestamps are unusable is not suspended: the page could not see when it has
  // settled after a resume, and such an output (WebKitGTK's) renders in bursts for over a second
  // after one while its sink drops what runs ahead, 40 ms at a time, under the clicks of the run.
  // It rests running, silent.
  var REST_MS = 6500;
  // The context's frames stop while it is suspended: the device clock takes a pause longer than its
  // jitter (30 ms) for a new start, and a shorter one for jitter, which would move the next sounds by
  // it. An output put to rest sleeps at least this long.
  var MIN_SLEEP_MS = 50;
  function restAfter(ms) {
    clearTimeout(audio.restTimer);
    audio.restTimer = setTimeout(rest, ms);
  }
  function rest() {
    var ctx = audio.ctx;
    if (!ctx || audio.state === 'failed' || audio.resting) return;
    audio.resting = true;
    audio.restedAt = performance.now();
    clearInterval(audio.timer);
    audio.timer = 0;
    level();
    if (!audio.unstamped) ctx.suspend().catch(function () { /* a closed context rests anyway */ });
  }
  function wakeOutput() {
    restAfter(REST_MS);
    if (!audio.resting) return;
    audio.resting = false;
    audio.settling = 1;
    audio.lastPoll = 0;
    level();
    var resume = function () { audio.ctx.resume().catch(function (e) { noSound(String(e)); }); };
    var asleep = performance.now() - audio.restedAt;
    if (asleep >= MIN_SLEEP_MS) resume();
    else setTimeout(resume, MIN_SLEEP_MS - asleep);
    audio.timer = setInterval(poll, POLL_MS);
    holdFor(performance.now(), 250);
  }
  // The floor: a level far below hearing (under the last bit of a 24-bit output), played only by an
  // output whose timestamps are unusable, while the page is in view and the output awake. WebKitGTK's
  // output keeps its time only while it plays something: given silence between clicks it moves them
  // by about 2.7 ms, one from the next (16 % of a run's bar intervals within 0.1 ms without the level
  // in one session, 98-100 % with it in four). Other outputs keep their time through the silences of
  // a page that is awake (it rests after REST_MS without sound, long before a browser moves an output
  // that played only silence for half a minute onto a timer of its own), and the level would cost
  // their renderer 12 ms a second while ticking.
  var floor = null;
  function startFloor() {
    var ctx = audio.ctx;
    if (floor || !ctx.createConstantSource) return;
    floor = ctx.createConstantSource();
    level();
    floor.connect(ctx.destination);
    floor.start();
  }
  function level() {
    if (floor) floor.offset.value = document.hidden || audio.resting ? 0 : 1e-7;
  }

  // ---- The screen stays on while the program has a timer of its own running (the metronome ticks or
  // notes repeat, heard or only flashing): a screen wake lock where the browser has one, released as
  // soon as they stop, taken again when the page comes back into view (the browser drops it when the
  // page is hidden).
  var lock = page.screenLock;
  function holdScreen(wanted) {
    lock.wanted = wanted;
    if (!navigator.wakeLock) return;
    if (!wanted && lock.sentinel) {
      var sentinel = lock.sentinel;
      lock.sentinel = null;
      sentinel.release().catch(function () { /* already released */ });
    } else if (wanted && !lock.sentinel && !lock.asking && !document.hidden) {
      lock.asking = true;
      navigator.wakeLock.request('screen').then(function (sentinel) {
        lock.asking = false;
        lock.sentinel = sentinel;
        sentinel.addEventListener('release', function () {
          if (lock.sentinel === sentinel) lock.sentinel = null;
        });
        if (!lock.wanted) holdScreen(false);
      }, function () {
        lock.asking = false;  // refused (battery saver, a policy): the screen may dim
      });
    }
  }
  page.keepScreenOn = holdScreen;
  document.addEventListener('visibilitychange', function () {
    level();
    if (!document.hidden && lock.wanted) holdScreen(true);
  });

  function startAudio() {
    if (audio.state === 'failed' || page.ended) return;
    if (audio.state === 'none') {
      var Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) return noSound('this browser has no Web Audio');
      // 20 ms of output buffer, not the 'interactive' least: with 512 frames Chromium's output here
      // skipped a buffer one to three times a minute on a PipeWire session (every later click 10.7 ms
      // late at once), with 1024 not once in four minutes. A tap's sound comes about 30 ms later for
      // it (the program's latency follows the context's: 100 ms instead of 70); Firefox's output
      // already holds 30 ms and stays as it was.
      try {
        audio.ctx = new Context({latencyHint: 0.02});
      } catch (e) {
        return noSound(String(e));
      }
      audio.output = audio.ctx.createGain();
      audio.output.connect(audio.ctx.destination);
      audio.state = 'starting';
      audio.ctx.onstatechange = function () { if (!audio.resting) poll(); };
      audio.timer = setInterval(poll, POLL_MS);
      restAfter(REST_MS);
    } else if (audio.state === 'running') {
      wakeOutput();
    }
    if (audio.ctx.state === 'suspended' && !audio.wokenAt) {  // (waking from rest resumes it itself)
      audio.ctx.resume().catch(function (e) { noSound(String(e)); });
      // A context that does not start although the user acted will not start.
      if (audio.state === 'starting' && (!navigator.userActivation || navigator.userActivation.isActive)) {
        clearTimeout(audio.giveUp);
        audio.giveUp = setTimeout(function () {
          if (audio.state === 'starting') noSound('the audio context did not start');
        }, 3000);
      }
    }
  }
  page.startAudio = startAudio;
  // Input from outside the page's own handlers (tests, the accessibility layer) takes their path: a
  // press wakes the output first (startAudio), and every event waits while the output's time is unknown.
  page.push = push;
  if (!(window.AudioContext || window.webkitAudioContext)) audio.state = 'failed';

  // The schedule decides which sound plays from which frame to which: each source starts at its frame
  // and stops at the end it was given, or earlier where a later sound cuts it (stopSound).
  page.startSound = function (id, ptr, samples, frame, end, scheduled, message) {
    var ctx = audio.ctx, buffer = audio.buffers.get(ptr);
    wakeOutput();
    // Rest only once this sound has ended and no other has come for a while.
    restAfter(Math.max(0, end / ctx.sampleRate - ctx.currentTime) * 1000 + REST_MS);
    if (!buffer || buffer.length !== samples.length) {
      buffer = ctx.createBuffer(1, samples.length, ctx.sampleRate);
      buffer.copyToChannel(samples, 0);
      audio.buffers.set(ptr, buffer);
    }
    var node = ctx.createBufferSource();
    node.buffer = buffer;
    node.connect(audio.output);
    node.start(frame / ctx.sampleRate);
    if (end < frame + samples.length) node.stop(end / ctx.sampleRate);
    var now = ctx.currentTime * ctx.sampleRate;
    audio.voices = audio.voices.filter(function (v) { return v.end > now; });
    audio.voices.push({node: node, start: frame, end: end});
    page.sounds.push({id: id, message: message, frame: frame, scheduled: scheduled, buffer: buffer,
                      scheduledAt: performance.now(), lead: frame / ctx.sampleRate - ctx.currentTime});
    if (page.sounds.length > LOG_LIMIT) page.sounds.shift();
  };
  page.stopSound = function (start, frame) {
    audio.voices.forEach(function (v) {
      if (v.start !== start || v.end <= frame) return;
      v.node.stop(frame / audio.ctx.sampleRate);
      v.end = frame;
    });
  };

  // ---- Other tabs of the page: the first to start holds the program and answers the others.
  page.findOther = function (done) {
    if (!window.BroadcastChannel) return setTimeout(function () { done(0); }, 0);
    var found = false;
    page.channel = new BroadcastChannel('cadenzo:' + location.pathname);
    page.channel.onmessage = function (m) {
      if (m.data === 'here') found = true;
      if (!page.holder || page.ended) return;
      if (m.data === 'who') page.channel.postMessage('here');
      if (m.data === 'foreground') push(EVENT.foreground);
    };
    page.channel.postMessage('who');
    setTimeout(function () {
      page.holder = !found;
      done(found ? 1 : 0);
    }, 200);
  };
  page.askForeground = function () { if (page.channel) page.channel.postMessage('foreground'); };
  function showTitle() {
    document.title = (performance.now() < page.raisedUntil ? '\u266A ' : '') + page.title;
  }
  page.setTitle = function (title) { page.title = title; showTitle(); };
  // Another tab asked for this one: a page cannot bring itself forward, so its title says so.
  page.raise = function () {
    page.trace.push({t: performance.now(), line: 'foreground'});
    window.focus();
    page.raisedUntil = performance.now() + 3000;
    showTitle();
    setTimeout(showTitle, 3100);
  };

  // ---- The settings folder's files in localStorage, as hexadecimal text.
  var PREFIX = 'cadenzo:';
  page.storedNames = function () {
    var names = [];
    try {
      for (var i = 0; i < localStorage.length; ++i) {
        var k = localStorage.key(i);
        if (k.indexOf(PREFIX) === 0) names.push(k.slice(PREFIX.length));
      }
    } catch (e) { /* storage refused (a private window): nothing is kept */ }
    return names;
  };
  page.load = function (name) {
    var hex = '';
    try { hex = localStorage.getItem(PREFIX + name) || ''; } catch (e) { /* nothing kept */ }
    var bytes = new Uint8Array(hex.length >> 1);
    for (var i = 0; i < bytes.length; ++i) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
    return bytes;
  };
  page.save = function (name, bytes) {
    var hex = '';
    for (var i = 0; i < bytes.length; ++i) hex += (bytes[i] < 16 ? '0' : '') + bytes[i].toString(16);
    try { localStorage.setItem(PREFIX + name, hex); } catch (e) { console.warn('Cadenzo cannot keep its settings'); }
  };

  page.log = function (line) {
    page.trace.push({t: performance.now(), line: line});
    if (page.trace.length > LOG_LIMIT) page.trace.shift();
    if (line.indexOf('sound ') !== 0) console.log('cadenzo: ' + line);  // every click would flood the console
  };

  // The program ended: Exit, leaving the page, or a second tab that found the first.
  page.end = function (code, secondCopy) {
    page.ended = true;
    page.holder = false;
    clearInterval(audio.timer);
    clearTimeout(audio.restTimer);
    clearTimeout(audio.holdTimer);
    clearTimeout(audio.wakeTimer);
    holdScreen(false);
    page.log('exit ' + code);
    note.textContent = secondCopy ? 'Cadenzo is already open in another tab.'
                                  : 'Cadenzo has ended. Reload the page to start it again.';
    note.hidden = false;
    if (secondCopy) {  // nothing was drawn: the line alone, in the middle
      canvas.style.display = 'none';
      if (firstScreen) firstScreen.remove();
      progress.remove();
      note.style.position = 'static';
    }
  };

  // ---- The program's download, counted on the progress bar (a phone on a slow link waits seconds);
  // compiled as it arrives. A compressed transfer's length is not the program's: the bar then only
  // says something is happening. The browser compiles what it is handed in the task that hands it, so
  // the download is handed over a slice at a time, a turn of the page between slices: a program that
  // is already here (the offline copy, a fast link) would otherwise hold the page up while all of it
  // is taken in.
  var SLICE = 65536;
  function paced(body, total) {
    var reader = body.getReader(), rest = null, loaded = 0, next = null;
    var turn = new MessageChannel();
    turn.port1.onmessage = function () { var go = next; next = null; if (go) go(); };
    return new ReadableStream({
      pull: function (into) {
        return (rest ? Promise.resolve({value: rest}) : reader.read()).then(function (r) {
          if (r.done) return into.close();
          var piece = r.value.subarray(0, SLICE);
          rest = piece.length < r.value.length ? r.value.subarray(piece.length) : null;
          loaded += piece.length;
          if (total > 0) progress.value = loaded;
          into.enqueue(piece);
          return new Promise(function (go) { next = go; turn.port2.postMessage(0); });
        });
      },
      cancel: function (why) { return reader.cancel(why); }
    });
  }
  // The download starts once the first screen's picture is on the screen (or after 100 ms, as in a tab
  // that is not shown), so that nothing holds up the first thing the user sees.
  function afterFirstScreen(start) {
    return new Promise(function (go) {
      var once = function () { if (go) go(); go = null; };
      setTimeout(once, 100);
      var decoded = firstScreen && firstScreen.decode ? firstScreen.decode() : Promise.resolve();
      decoded.catch(function () {}).then(function () {
        requestAnimationFrame(function () { setTimeout(once, 0); });  // after the frame that shows it
      });
    }).then(start);
  }
  if (typeof Module !== 'undefined' && window.fetch && window.WebAssembly && WebAssembly.instantiateStreaming) {
    Module['instantiateWasm'] = function (imports, done) {
      afterFirstScreen(function () { return fetch('cadenzo.wasm', {credentials: 'same-origin'}); }).then(function (response) {
        if (!response.ok) throw new Error('cadenzo.wasm: ' + response.status);
        var total = response.headers.get('Content-Encoding') ? 0 : Number(response.headers.get('Content-Length'));
        if (response.body && window.ReadableStream && window.MessageChannel) {
          if (total > 0) progress.max = total;
          response = new Response(paced(response.body, total), {headers: {'Content-Type': 'application/wasm'}});
        }
        return WebAssembly.instantiateStreaming(response, imports);
      }).then(function (result) { done(result.instance, result.module); }, function (e) {
        progress.remove();
        note.textContent = 'Cadenzo could not be loaded (' + e.message + '). Reload the page to try again.';
        note.hidden = false;
      });
      return {};
    };
  }

  // Leaving the page ends the program as Exit does, so its settings are written now.
  window.addEventListener('pagehide', function () {
    if (!page.ended) push(EVENT.close);
  });
  // A page brought back from the back/forward cache starts afresh.
  window.addEventListener('pageshow', function (e) {
    if (e.persisted) location.reload();
  });
  return page;
})();
