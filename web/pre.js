// Runs inside the compiled game's script, before the game starts: the game's folders, and its
// saved files kept in the browser's IndexedDB.
//
// The game runs in /game/run and finds its media and saved files in ../Common. The files it saves
// there are copied to /zellworth/Common, a folder backed by IndexedDB (IDBFS), whose name is the
// database's and stays as earlier builds named it; the media the page ships (listed in
// Module.shippedMedia by the build) and the temporary files of saves under way (*.tmp) are not.
// At the start the stored files are copied back.

var ZELLWORTH_STORE = '/zellworth/Common';
var ZELLWORTH_RUN = '/game/run';
var ZELLWORTH_COMMON = '/game/Common';

// The names of the saved files in a folder.
function zellworthSavedFiles(folder) {
  return FS.readdir(folder).filter(function (name) {
    return (Module['shippedMedia'] || []).indexOf(name) < 0 && !/\.tmp$/.test(name) &&
      FS.isFile(FS.stat(folder + '/' + name).mode);
  });
}

function zellworthCopy(from, to, names) {
  names.forEach(function (name) { FS.writeFile(to + '/' + name, FS.readFile(from + '/' + name)); });
}

// Hands the saved files to IndexedDB; the game calls it after each successful save.
Module['syncSavedFiles'] = function () {
  var saved = zellworthSavedFiles(ZELLWORTH_COMMON);
  zellworthSavedFiles(ZELLWORTH_STORE).forEach(function (name) {
    if (saved.indexOf(name) < 0) FS.unlink(ZELLWORTH_STORE + '/' + name);
  });
  zellworthCopy(ZELLWORTH_COMMON, ZELLWORTH_STORE, saved);
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
// Runs before the media are unpacked into ../Common: the runtime calls the preRun steps last in
// first out, and the media's step was queued before this one.
Module['preRun'].push(function () {
  FS.init(null, zellworthOutput(1), zellworthOutput(2));
  ['/game', ZELLWORTH_RUN, ZELLWORTH_COMMON, '/zellworth', ZELLWORTH_STORE].forEach(function (folder) { FS.mkdir(folder); });
  FS.chdir(ZELLWORTH_RUN);
  FS.mount(IDBFS, {}, ZELLWORTH_STORE);
  addRunDependency('zellworth-saved-files');
  FS.syncfs(true, function (error) {
    // Without storage (a private window that refuses IndexedDB) the game starts with its
    // defaults and its saves last until the page closes.
    if (error) console.warn('Zellworth: the saved files could not be read: ' + error);
    zellworthCopy(ZELLWORTH_STORE, ZELLWORTH_COMMON, zellworthSavedFiles(ZELLWORTH_STORE));
    removeRunDependency('zellworth-saved-files');
  });
});
