// The Leaderboard panel, opened by a button at the top left that shows while the pointer moves:
// the board's top ten with a Watch button each, and the player's kept games (the best games of
// Scores.bin that kept their replay), each marked "for the board" or "played offline", those for
// the board with a Submit button; after a game over that kept a new game for the board, its
// button stays in view to offer it. The board is the server that served the page
// (zellworth-board); on a static host or offline the panel says it cannot be reached and the game
// plays as before. Names are always shown as text, never as HTML.
//
// The page also holds the board's ticket for the next game: it asks at load and after each game,
// in the background, and hands the ticket to the game, which plays its next game on it (a game
// "for the board"). A game started while none is held is played offline, as before.
'use strict';

(function () {
  var TOP = 10;
  var NAME_KEY = 'zellworth-board-name';
  var WATCH_FILE = '/board-entry.zwr';
  var TICKET_SIZE = 44;           // bytes, as the board deals them
  var TICKET_RENEWAL = 0.9;       // of a ticket's lifetime, after which a fresh one replaces it

  function element(tag, attributes, text) {
    var node = document.createElement(tag);
    Object.keys(attributes || {}).forEach(function (key) { node.setAttribute(key, attributes[key]); });
    if (text !== undefined) node.textContent = text;
    return node;
  }

  var toggle = element('button', { id: 'board-toggle', type: 'button', 'aria-controls': 'board' }, 'Leaderboard');
  var panel = element('section', { id: 'board', 'aria-label': 'Leaderboard' });
  var list = element('table', { id: 'board-list' });
  var listState = element('p', { id: 'board-list-state' }, 'Loading…');
  var games = element('table', { id: 'board-games' });
  var nameInput = element('input', { id: 'board-name', type: 'text', maxlength: '64', autocomplete: 'nickname' });
  var status = element('p', { id: 'board-status', role: 'status', 'aria-live': 'polite' });
  panel.appendChild(element('h2', {}, 'Leaderboard'));
  panel.appendChild(listState);
  panel.appendChild(list);
  panel.appendChild(element('h2', {}, 'Your games'));
  var nameLabel = element('label', {}, 'Name ');
  nameLabel.appendChild(nameInput);
  panel.appendChild(nameLabel);
  panel.appendChild(games);
  panel.appendChild(status);
  panel.appendChild(element('p', { class: 'note' },
    'Submitting a game sends the board the name above, the game\'s inputs (its replay) and the date it was ' +
    'played. The board plays the game again and keeps the score only if it comes out the same.'));
  panel.appendChild(element('p', { class: 'note' },
    'A game started while the board answers is played on a seed the board deals, for the board; a game ' +
    'played offline cannot be submitted.'));
  panel.hidden = true;
  document.body.appendChild(toggle);
  document.body.appendChild(panel);

  nameInput.value = localStorage.getItem(NAME_KEY) || '';
  nameInput.addEventListener('change', function () { localStorage.setItem(NAME_KEY, nameInput.value); });
  // Keys typed into the panel are the panel's: the game, which listens on the window, never sees them.
  ['keydown', 'keyup', 'keypress'].forEach(function (type) {
    panel.addEventListener(type, function (event) { event.stopPropagation(); });
  });

  function show(open) {
    panel.hidden = !open;
    if (open) toggle.classList.remove('offer');
    toggle.setAttribute('aria-expanded', String(open));
    if (open) {
      refreshList();
      refreshGames();
    }
  }
  toggle.addEventListener('click', function () {
    show(panel.hidden);
    if (panel.hidden) document.getElementById('canvas').focus();
  });
  // The button shows while the pointer moves, so that the picture stays the game's own otherwise.
  var hiding = 0;
  window.addEventListener('pointermove', function () {
    toggle.classList.add('shown');
    clearTimeout(hiding);
    hiding = setTimeout(function () { toggle.classList.remove('shown'); }, 3000);
  });

  // --- The board's list ---------------------------------------------------------------------------

  function day(date) { return String(date).slice(0, 10); }

  function refreshList() {
    listState.textContent = 'Loading…';
    return fetch('api/scores?limit=' + TOP, { cache: 'no-store' }).then(function (response) {
      if (!response.ok) throw new Error('status ' + response.status);
      return response.json();
    }).then(function (answer) {
      list.textContent = '';
      listState.textContent = answer.total === 0 ? 'No scores yet.' : answer.total === 1 ? 'One score so far:' :
        answer.total <= TOP ? answer.total + ' scores so far:' : 'The best ' + TOP + ' of ' + answer.total + ' scores:';
      answer.scores.forEach(function (entry) {
        var row = element('tr', { 'data-id': String(entry.id) });
        row.appendChild(element('td', {}, entry.rank + '.'));
        row.appendChild(element('td', { class: 'name' }, entry.name));
        row.appendChild(element('td', { class: 'score' }, String(entry.score)));
        row.appendChild(element('td', {}, day(entry.date)));
        var cell = element('td');
        var watch = element('button', { type: 'button', class: 'watch' }, 'Watch');
        watch.addEventListener('click', function () { watchEntry(entry.id); });
        cell.appendChild(watch);
        row.appendChild(cell);
        list.appendChild(row);
      });
    }).catch(function () {
      list.textContent = '';
      listState.textContent = 'The leaderboard cannot be reached.';
    });
  }

  // Watching reloads the page with the entry's id; the replay is fetched before the game starts.
  function watchEntry(id) {
    location.search = '?entry=' + encodeURIComponent(id);
  }

  // --- The player's kept games -------------------------------------------------------------------

  // The kept games that have their replays, from the table best_games.js reads.
  function keptGames() {
    return window.zellworthBestGames().filter(function (entry) { return entry.replay !== null; })
      .map(function (entry) {
        return { rank: entry.rank, score: entry.score, date: entry.date, bytes: entry.replay, forBoard: entry.forBoard };
      });
  }

  function refreshGames() {
    games.textContent = '';
    var kept = keptGames();
    if (kept.length === 0) {
      games.appendChild(element('tr')).appendChild(element('td', {}, 'No kept games yet: the best ten of this browser are kept.'));
    }
    kept.forEach(function (game) {
      var row = element('tr');
      row.appendChild(element('td', {}, game.rank + '.'));
      row.appendChild(element('td', { class: 'score' }, String(game.score)));
      row.appendChild(element('td', {}, new Date(game.date * 1000).toISOString().slice(0, 10)));
      row.appendChild(element('td', { class: 'kind' }, game.forBoard ? 'for the board' : 'played offline'));
      var cell = element('td');
      if (game.forBoard) {
        var submit = element('button', { type: 'button', class: 'submit' }, 'Submit');
        submit.addEventListener('click', function () { submitGame(game); });
        cell.appendChild(submit);
      }
      row.appendChild(cell);
      games.appendChild(row);
    });
    return kept;
  }

  function base64(bytes) {
    var text = '';
    for (var index = 0; index < bytes.length; index += 0x8000) {
      text += String.fromCharCode.apply(null, bytes.subarray(index, index + 0x8000));
    }
    return btoa(text);
  }

  function submitGame(game) {
    localStorage.setItem(NAME_KEY, nameInput.value);
    status.textContent = 'Sending…';
    fetch('api/scores', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ name: nameInput.value, replay: base64(game.bytes) })
    }).then(function (response) {
      return response.json().catch(function () { return {}; }).then(function (answer) {
        if (response.ok) {
          status.textContent = (answer.duplicate ? 'Already on the board: ' : 'On the board: ') +
            'rank ' + answer.rank + ' with ' + answer.score + ' points.';
          refreshList();
          // The front keeps a list for up to 2 s: asked again after that, it holds the new entry.
          setTimeout(refreshList, 2500);
        } else {
          status.textContent = 'Not accepted: ' + (answer.error || 'the board answered ' + response.status);
        }
      });
    }).catch(function () {
      status.textContent = 'The leaderboard cannot be reached.';
    });
  }

  // After a game over the game saves its files: a game newly kept for the board is offered by the
  // panel's button, which stays in view until the panel opens. The panel never opens by itself, so
  // that it covers no touch button of the next game.
  var known = null;
  function keys() {
    return keptGames().filter(function (game) { return game.forBoard; })
      .map(function (game) { return game.score + '@' + game.date; });
  }
  var initialized = Module.onRuntimeInitialized;
  Module.onRuntimeInitialized = function () {
    known = keys();
    runtimeReady = true;
    if (fetchedTicket) handTicket(fetchedTicket);
    if (initialized) initialized();
  };
  var synced = Module.onSavedFilesSynced;
  Module.onSavedFilesSynced = function (error) {
    if (synced) synced(error);
    var now = keys();
    var fresh = known !== null && now.some(function (key) { return known.indexOf(key) < 0; });
    known = now;
    if (fresh) {
      toggle.classList.add('offer');
      status.textContent = 'Your game is kept: submit it with a name.';
    }
  };

  // --- The ticket for the next game -------------------------------------------------------------

  var runtimeReady = false;
  var fetchedTicket = null;  // arrived before the game could take it
  var ticketHeld = false;    // handed to the game and not yet played
  var ticketAsked = false;   // a request under way
  var renewal = 0;

  function fromBase64Url(text) {
    var binary = atob(String(text).replace(/-/g, '+').replace(/_/g, '/'));
    var bytes = new Uint8Array(binary.length);
    for (var index = 0; index < binary.length; index++) bytes[index] = binary.charCodeAt(index);
    return bytes;
  }

  function handTicket(bytes) {
    var at = Module._malloc(bytes.length);
    Module.HEAPU8.set(bytes, at);
    Module._holdBoardTicketFromPage(at, bytes.length);
    Module._free(at);
    fetchedTicket = null;
    ticketHeld = true;
  }

  // Without an answer the next game is played offline; the page asks again after it.
  function askForTicket() {
    if (ticketHeld || ticketAsked) return;
    ticketAsked = true;
    fetch('api/tickets', {
      method: 'POST',
      cache: 'no-store',
      headers: { 'Content-Type': 'application/json' },
      body: '{}'
    }).then(function (response) {
      if (response.status !== 201) throw new Error('the board answered ' + response.status);
      return response.json();
    }).then(function (answer) {
      var bytes = fromBase64Url(answer.ticket);
      if (bytes.length !== TICKET_SIZE) throw new Error('a ticket of ' + bytes.length + ' bytes');
      if (runtimeReady) handTicket(bytes); else fetchedTicket = bytes;
      // A ticket held long unplayed is replaced before it expires, by the board's clock: the
      // ticket carries when it was issued.
      var issued = Number(new DataView(bytes.buffer).getBigInt64(4, true));
      var lifetime = Date.parse(answer.expires) / 1000 - issued;
      clearTimeout(renewal);
      if (lifetime > 0) {
        renewal = setTimeout(function () { ticketHeld = false; askForTicket(); }, lifetime * TICKET_RENEWAL * 1000);
      }
    }).catch(function (error) {
      console.info('Zellworth: no ticket from the board, the next game is played offline: ' + error.message);
    }).then(function () { ticketAsked = false; });
  }

  // The game says when a game is over and whether it took the ticket.
  Module.onGameOver = function (ticketed) {
    if (ticketed) ticketHeld = false;
    askForTicket();
  };

  // --- Watching an entry: ?entry=ID -------------------------------------------------------------
  // The replay is fetched while the game loads and handed to it as --replay FILE.

  var entryId = new URLSearchParams(location.search).get('entry');
  if (entryId !== null && /^\d{1,15}$/.test(entryId)) {
    var fetched = fetch('api/replays/' + entryId).then(function (response) {
      if (!response.ok) throw new Error('the board answered ' + response.status);
      return response.arrayBuffer();
    });
    var watchable = false;
    Module.preRun = Module.preRun || [];
    Module.preRun.push(function () {
      addRunDependency('zellworth-board-entry');
      fetched.then(function (buffer) {
        FS.writeFile(WATCH_FILE, new Uint8Array(buffer));
        watchable = true;
      }).catch(function (error) {
        console.warn('Zellworth: entry ' + entryId + ' cannot be watched: ' + error);
      }).then(function () { removeRunDependency('zellworth-board-entry'); });
    });
    var otherArguments = Module.mainArguments;
    Module.mainArguments = function () {
      if (watchable) return ['--replay', WATCH_FILE];
      return otherArguments ? otherArguments() : [];
    };
  }

  window.addEventListener('load', refreshList);
  // Watching or verifying a replay plays no game of the player's.
  var asked = new URLSearchParams(location.search);
  if (!asked.has('watch') && !asked.has('verify') && !asked.has('entry')) askForTicket();
  show(false);
}());
