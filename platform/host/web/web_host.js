// The calls web_host.cpp makes into the page (an emscripten --js-library over CadenzoPage, defined
// in web_page.js). web_wait and web_find_other are asynchronous: Asyncify unwinds the program while
// the page waits, and rewinds it when input, a deadline or an answer comes.
mergeInto(LibraryManager.library, {
  web_wait: function (untilMs) {
    return Asyncify.handleSleep(function (wakeUp) {
      var page = CadenzoPage;
      page.waker = wakeUp;
      if (untilMs >= 0) page.wakeTimer = setTimeout(page.wake, Math.max(0, Math.ceil(untilMs - performance.now())));
    });
  },
  web_take_event: function (out) {
    var e = CadenzoPage.events.shift();
    if (!e) return 0;
    HEAP32.set(e, out >> 2);
    return 1;
  },
  web_present: function (rgba, messageMs, dueMs) {
    CadenzoPage.present(HEAPU8.subarray(rgba, rgba + 240 * 320 * 4), messageMs, dueMs);
  },
  web_audio_state: function () {
    var a = CadenzoPage.audio;
    if (a.state === 'failed') return -1;
    return a.state === 'running' ? a.ctx.sampleRate : 0;
  },
  web_audio_take_report: function (perfMs, frame) {
    // The latest timestamp, read now: after a page was frozen or its timers throttled, the program
    // places the next sound on the output's present time, not on one from before.
    if (!CadenzoPage.audio.reports.length && !CadenzoPage.audio.resting) CadenzoPage.poll();
    var r = CadenzoPage.audio.reports.shift();
    if (!r) return 0;
    HEAPF64[perfMs >> 3] = r[0];
    HEAPF64[frame >> 3] = r[1];
    return 1;
  },
  // Frames this close to the one heard are already being rendered: a sound cannot start there.
  web_audio_guard_frames: function () {
    var ctx = CadenzoPage.audio.ctx, ts = ctx.getOutputTimestamp();
    var ahead = Math.max(ctx.currentTime - (ts.contextTime || 0), (ctx.baseLatency || 0) + (ctx.outputLatency || 0));
    return Math.ceil(ahead * ctx.sampleRate) + 256;
  },
  web_audio_start: function (id, samples, count, frame, end, scheduled, messageMs) {
    CadenzoPage.startSound(id, samples, HEAPF32.subarray(samples >> 2, (samples >> 2) + count), frame, end,
                           scheduled, messageMs);
  },
  web_audio_stop: function (start, frame) { CadenzoPage.stopSound(start, frame); },
  web_find_other: function () {
    return Asyncify.handleSleep(function (wakeUp) { CadenzoPage.findOther(wakeUp); });
  },
  web_ask_foreground: function () { CadenzoPage.askForeground(); },
  web_raise: function () { CadenzoPage.raise(); },
  web_set_title: function (title, length) { CadenzoPage.setTitle(UTF16ToString(title, length * 2)); },
  web_keep_screen_on: function (on) { CadenzoPage.keepScreenOn(on !== 0); },
  web_open_help: function (url) {
    var href = new URL(UTF8ToString(url), location.href).href;
    CadenzoPage.log('help ' + href);
    return window.open(href, '_blank') ? 1 : 0;
  },
  web_log: function (line) { CadenzoPage.log(UTF8ToString(line)); },
  web_local_minutes: function () {
    var d = new Date();
    return d.getHours() * 60 + d.getMinutes();
  },
  web_storage_count: function () {
    CadenzoPage.names = CadenzoPage.storedNames();
    return CadenzoPage.names.length;
  },
  web_storage_name: function (index, name, size) {
    var n = CadenzoPage.names[index];
    if (n === undefined || lengthBytesUTF8(n) + 1 > size || n.indexOf('/') >= 0) return 0;
    stringToUTF8(n, name, size);
    return 1;
  },
  web_storage_get: function (name, bytes, size) {
    var data = CadenzoPage.load(UTF8ToString(name));
    if (bytes) HEAPU8.set(data.subarray(0, size), bytes);
    return data.length;
  },
  web_storage_put: function (name, bytes, size) {
    CadenzoPage.save(UTF8ToString(name), HEAPU8.slice(bytes, bytes + size));
  },
  web_ended: function (code, secondCopy) { CadenzoPage.end(code, secondCopy); },
});
