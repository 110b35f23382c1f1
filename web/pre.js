// Runs inside the compiled game's script, before the game starts: the game's folders, and its
// saved files kept in the browser's IndexedDB.
//
// The game runs in /zellworth/run and finds its media and saved files in ../Common. That folder
// is backed by IndexedDB (IDBFS), but only the files the game saves there are stored: the media
// the page ships (listed in Module.shippedMedia by the build) stay out of the database, and so do
// the temporary files of saves under way (*.tmp), which the runtime would otherwise store when
// the game syncs one to disk before renaming it.

var ZELLWORTH_HOME = '/zellworth';
var ZELLWORTH_COMMON = ZELLWORTH_HOME + '/Common';

function zellworthIsKeptOut(path) {
  var name = path.substring(path.lastIndexOf('/') + 1);
  return (Module['shippedMedia'] || []).indexOf(name) >= 0 || /\.tmp$/.test(name);
}

// Every sync sees those files as absent on both sides, so it neither stores nor deletes them.
// IDBFS offers no public way to leave files out: the browser test checks that the storage holds
// the saved files and none of the media, so that a runtime without this step does not pass.
function zellworthKeepMediaOut() {
  var localSet = IDBFS.getLocalSet;
  if (typeof localSet !== 'function') {
    console.error('Zellworth: this runtime would store the media with the saved files');
    return;
  }
  IDBFS.getLocalSet = function (mount, callback) {
    localSet(mount, function (error, set) {
      if (set) {
        Object.keys(set.entries).forEach(function (path) {
          if (zellworthIsKeptOut(path)) delete set.entries[path];
        });
      }
      callback(error, set);
    });
  };
}

// Hands the saved files to IndexedDB; the game calls it after each successful save.
Module['syncSavedFiles'] = function () {
  FS.syncfs(false, function (error) {
    if (error) console.warn('Zellworth: the saved files could not be stored: ' + error);
    if (Module['onSavedFilesSynced']) Module['onSavedFilesSynced'](error);
  });
};

// The game's output goes to the page line by line (Module.print, Module.printErr). A line
// without its end (a failed save's message) waits until the game ends (Module.flushOutput).
var zellworthPending = { 1: [], 2: [] };
function zellworthPrintLine(fd) {
  var text = new TextDecoder().decode(new Uint8Array(zellworthPending[fd]));
  zellworthPending[fd] = [];
  (fd === 1 ? Module['print'] : Module['printErr'])(text);
}
function zellworthOutput(fd) {
  return function (byte) {
    if (byte === 10) zellworthPrintLine(fd);
    else if (byte !== null) zellworthPending[fd].push(byte);
  };
}
Module['flushOutput'] = function () {
  [1, 2].forEach(function (fd) { if (zellworthPending[fd].length > 0) zellworthPrintLine(fd); });
};

Module['preRun'] = Module['preRun'] || [];
// Runs before the media are unpacked into the mounted folder: the runtime calls the preRun steps
// last in first out, and the media's step was queued before this one.
Module['preRun'].push(function () {
  FS.init(null, zellworthOutput(1), zellworthOutput(2));
  zellworthKeepMediaOut();
  FS.mkdir(ZELLWORTH_HOME);
  FS.mkdir(ZELLWORTH_HOME + '/run');
  FS.mkdir(ZELLWORTH_COMMON);
  FS.chdir(ZELLWORTH_HOME + '/run');
  FS.mount(IDBFS, {}, ZELLWORTH_COMMON);
  addRunDependency('zellworth-saved-files');
  FS.syncfs(true, function (error) {
    // Without storage (a private window that refuses IndexedDB) the game starts with its
    // defaults and its saves last until the page closes.
    if (error) console.warn('Zellworth: the saved files could not be read: ' + error);
    removeRunDependency('zellworth-saved-files');
  });
});
