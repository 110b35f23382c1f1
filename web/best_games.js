// "Best games": a button in the bottom-left corner (best_games.css), shown while the pointer moves (so that the
// picture stays the game's own otherwise), opens the ten best scores kept in the browser's
// storage, each marked "for the board" (played on the board's ticket) or "played offline", with
// Watch and Download for its game's replay, and offers a replay file of the player's own to
// watch or verify. Watching or verifying starts the game with --replay or
// --verify; the page runs the game once per visit, so the choice reloads the page with it.
'use strict';

(function () {
  var SCORES_PATH = '/game/Common/Scores.bin';
  var PICKED_PATH = '/game/run/picked.zwr';
  var PICKED_KEY = 'zellworth-picked-replay';  // the picked file, across the reload
  var RECORDS = 10;
  var HEADER = 12;                              // bytes: "ZWBS", version, count
  var RECORD_SIZES = { 1: 12, 2: 16 };          // bytes per record, by version
  var TICKETED_REPLAY = 2;                      // the replay format of a game played on the board's ticket

  var request = new URLSearchParams(location.search);
  var mode = request.get('watch') ? '--replay' : request.get('verify') ? '--verify' : null;
  var subject = request.get('watch') || request.get('verify');

  // A replay file's format version says whether its game was played on the board's ticket.
  function forBoard(replay) {
    return replay !== null && replay.length >= 8 &&
      new DataView(replay.buffer, replay.byteOffset, 8).getUint32(4, true) === TICKETED_REPLAY;
  }

  // The table as the game keeps it: rank, score, date, replay bytes (null when kept without) and
  // whether the game was played for the board.
  function readTable() {
    var bytes;
    try {
      bytes = FS.readFile(SCORES_PATH);
    } catch (error) {
      return [];
    }
    var view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (bytes.length < HEADER + 4 || String.fromCharCode(bytes[0], bytes[1], bytes[2], bytes[3]) !== 'ZWBS') return [];
    var recordSize = RECORD_SIZES[view.getUint32(4, true)];
    var count = view.getUint32(8, true);
    if (!recordSize || count > RECORDS) return [];
    var table = [];
    var replayAt = HEADER + RECORDS * recordSize;
    for (var rank = 0; rank < count; rank++) {
      var record = HEADER + rank * recordSize;
      var size = recordSize === 16 ? view.getUint32(record + 12, true) : 0;
      if (replayAt + size > bytes.length - 4) return [];
      var replay = size > 0 ? bytes.slice(replayAt, replayAt + size) : null;
      table.push({
        rank: rank + 1,
        score: view.getInt32(record, true),
        date: Number(view.getBigInt64(record + 4, true)),
        replay: replay,
        forBoard: forBoard(replay)
      });
      replayAt += size;
    }
    return table;
  }

  // The day in the player's own time zone, as the desktop's --scores shows it.
  function day(seconds) {
    var date = new Date(seconds * 1000);
    function two(n) { return (n < 10 ? '0' : '') + n; }
    return date.getFullYear() + '-' + two(date.getMonth() + 1) + '-' + two(date.getDate());
  }

  function element(tag, text, attributes) {
    var made = document.createElement(tag);
    if (text) made.textContent = text;
    Object.keys(attributes || {}).forEach(function (name) { made.setAttribute(name, attributes[name]); });
    return made;
  }

  function go(parameter, value) {
    location.search = '?' + parameter + '=' + encodeURIComponent(value);
  }

  function download(entry) {
    var link = element('a', '', { download: 'zellworth-' + day(entry.date) + '-score-' + entry.score + '.zwr' });
    link.href = URL.createObjectURL(new Blob([entry.replay], { type: 'application/octet-stream' }));
    document.body.appendChild(link);
    link.click();
    link.remove();
  }

  // The picked file is kept in the tab's sessionStorage over the reload that watches or verifies it.
  function pick(parameter) {
    var input = element('input', '', { type: 'file', accept: '.zwr,application/octet-stream' });
    input.addEventListener('change', function () {
      var file = input.files[0];
      if (!file) return;
      file.arrayBuffer().then(function (buffer) {
        var bytes = new Uint8Array(buffer);
        var text = '';
        for (var i = 0; i < bytes.length; i++) text += String.fromCharCode(bytes[i]);
        try {
          sessionStorage.setItem(PICKED_KEY, btoa(text));
        } catch (error) {
          console.warn('Zellworth: the replay is too large to pass on: ' + error);
          return;
        }
        go(parameter, 'file');
      });
    });
    input.click();
  }

  function stopClick(button) {
    // The message area starts the game on a click; the panel's buttons do not.
    button.addEventListener('pointerdown', function (event) { event.stopPropagation(); });
    return button;
  }

  var panel = element('section', '', { id: 'best-games', 'aria-label': 'Best games', hidden: '' });

  // Lists the table as it stands now: a game just played may have entered it.
  function fillPanel() {
    panel.textContent = '';
    panel.appendChild(element('h2', 'Best games'));
    var table = readTable();
    if (table.length === 0) {
      panel.appendChild(element('p', 'No best scores yet.'));
    } else {
      var list = element('table');
      var head = element('tr');
      ['Rank', 'Score', 'Date', 'Game', ''].forEach(function (title) { head.appendChild(element('th', title)); });
      list.appendChild(head);
      table.forEach(function (entry) {
        var row = element('tr');
        row.appendChild(element('td', String(entry.rank)));
        row.appendChild(element('td', String(entry.score)));
        row.appendChild(element('td', day(entry.date)));
        row.appendChild(element('td', entry.replay ? (entry.forBoard ? 'for the board' : 'played offline') : ''));
        var actions = element('td');
        if (entry.replay) {
          var watch = stopClick(element('button', 'Watch', { type: 'button' }));
          watch.addEventListener('click', function () { go('watch', entry.rank); });
          var save = stopClick(element('button', 'Download', { type: 'button' }));
          save.addEventListener('click', function () { download(entry); });
          actions.appendChild(watch);
          actions.appendChild(save);
        } else {
          actions.textContent = 'no replay';
        }
        row.appendChild(actions);
        list.appendChild(row);
      });
      panel.appendChild(list);
    }
    var own = element('p');
    var watchFile = stopClick(element('button', 'Watch a replay file…', { type: 'button' }));
    watchFile.addEventListener('click', function () { pick('watch'); });
    var verifyFile = stopClick(element('button', 'Verify a replay file…', { type: 'button' }));
    verifyFile.addEventListener('click', function () { pick('verify'); });
    own.appendChild(watchFile);
    own.appendChild(verifyFile);
    panel.appendChild(own);
  }

  function addPanel() {
    var button = stopClick(element('button', 'Best games', { id: 'best-games-button', type: 'button' }));
    button.addEventListener('click', function () {
      if (panel.hidden) fillPanel();
      panel.hidden = !panel.hidden;
      if (panel.hidden) document.getElementById('canvas').focus();
    });
    panel.addEventListener('pointerdown', function (event) { event.stopPropagation(); });
    var hiding = 0;
    window.addEventListener('pointermove', function () {
      button.classList.add('shown');
      clearTimeout(hiding);
      hiding = setTimeout(function () { if (panel.hidden) button.classList.remove('shown'); }, 3000);
    });
    document.body.appendChild(button);
    document.body.appendChild(panel);
  }

  // The arguments the game starts with; a picked file is written where --replay and --verify find it.
  function mainArguments() {
    if (!mode) return [];
    if (subject !== 'file') return [mode, subject];
    var kept = sessionStorage.getItem(PICKED_KEY) || '';
    var text = atob(kept);
    var bytes = new Uint8Array(text.length);
    for (var i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    FS.writeFile(PICKED_PATH, bytes);
    return [mode, PICKED_PATH];
  }

  window.zellworthBestGames = readTable;

  var Module = window.Module;
  var ready = Module.onRuntimeInitialized;
  Module.onRuntimeInitialized = function () {
    addPanel();
    ready();
  };
  Module.mainArguments = mainArguments;
  // --verify prints its verdict and ends: the page shows that line.
  var ended = Module.onGameEnded;
  var lines = [];
  var print = Module.print;
  Module.print = function (text) {
    lines.push(text);
    print(text);
  };
  Module.onGameEnded = function (status) {
    ended(status);
    if (mode === '--verify' || (mode && status !== 0)) {
      document.getElementById('message-text').textContent = lines[lines.length - 1] || 'No verdict.';
    }
  };
}());
