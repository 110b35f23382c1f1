// Keeps the whole site for playing offline. Every file but the page's address is named by its
// content (STAMPED): a file of that name never changes, so it is taken from an older build's
// cache when one holds it, else fetched once. The page itself is asked again of the server,
// which answers "not modified" when it is the same. Each build fills a cache of its own, and the
// previous build's cache stays, so that a page still starting with that build finds its files.
'use strict';

var CACHE = 'zellworth-@VERSION@';
var STAMPED = @STAMPED@;

function keepStamped(cache, file) {
  return caches.match(file).then(function (response) {
    return response ? cache.put(file, response) : cache.add(file);
  });
}

self.addEventListener('install', function (event) {
  event.waitUntil(caches.open(CACHE).then(function (cache) {
    return Promise.all(STAMPED.map(function (file) { return keepStamped(cache, file); }).concat(
      cache.add(new Request('./', { cache: 'no-cache' }))));
  }).then(function () { return self.skipWaiting(); }));
});

// The newest build serves the next visit; of the older caches, all but the previous one go.
self.addEventListener('activate', function (event) {
  event.waitUntil(caches.keys().then(function (names) {
    var older = names.filter(function (name) { return name.indexOf('zellworth-') === 0 && name !== CACHE; });
    return Promise.all(older.slice(0, -1).map(function (name) { return caches.delete(name); }));
  }).then(function () { return self.clients.claim(); }));
});

// This build's copy first, then an older build's (a page of that build still starting), then
// the network. The address's query (?touch) does not change the file.
self.addEventListener('fetch', function (event) {
  var request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE).then(function (cache) {
    return cache.match(request, { ignoreSearch: true });
  }).then(function (cached) {
    return cached || caches.match(request, { ignoreSearch: true });
  }).then(function (cached) {
    return cached || fetch(request);
  }));
});
