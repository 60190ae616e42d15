// Keeps the small metronome's files for offline use; answers from the cache first.
'use strict';
var CACHE = 'small-metronome-1';
self.addEventListener('install', function (event) {
  event.waitUntil(caches.open(CACHE).then(function (cache) {
    return cache.addAll(['./', 'manifest.webmanifest', 'icon.svg']);
  }).then(function () { return self.skipWaiting(); }));
});
self.addEventListener('activate', function (event) { event.waitUntil(self.clients.claim()); });
self.addEventListener('fetch', function (event) {
  event.respondWith(caches.match(event.request).then(function (hit) { return hit || fetch(event.request); }));
});
