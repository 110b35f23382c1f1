// The page around the game: loading progress, the start gesture that lets the browser play
// sound, the picture's place and size, fullscreen and sound, the touch controls, the end of the
// game and the offline cache.
'use strict';

(function (ownTag) {
  var PICTURE_WIDTH = 800;
  var PICTURE_HEIGHT = 600;
  var WHOLE_SCALE_FROM = 2; // as the desktop: from twice the size on, whole factors only
  var PAD_SIZE = 192;       // CSS pixels of the direction buttons' square
  var ACTIONS_WIDTH = 144;  // CSS pixels of the Fire and Confirm column
  var TAP_MILLISECONDS = 100;  // a click without a touch (keyboard, switch, screen reader) holds its key this long
  var SCREEN_POLL_MILLISECONDS = 200;
  var SCREENS = ['playing', 'paused', 'flight-control'];  // as touchScreenForPage answers
  var SOUND_SETTING = 'zellworth-sound';

  var canvas = document.getElementById('canvas');
  var message = document.getElementById('message');
  var messageText = document.getElementById('message-text');
  var progress = document.getElementById('progress');
  var playAgain = document.getElementById('play-again');
  var touch = document.getElementById('touch');
  var pad = document.getElementById('pad');
  var actions = document.getElementById('actions');
  var soundButton = document.getElementById('sound');
  var printed = [];
  var started = false;
  var ended = false;

  // Shown on touch screens; "?touch" in the address shows them anywhere, "?touch=0" hides them.
  var touchParameter = new URLSearchParams(location.search).get('touch');
  var touchControls = touchParameter !== null ? touchParameter !== '0' :
    window.matchMedia('(pointer: coarse)').matches;

  function say(text) {
    messageText.textContent = text;
    message.hidden = false;
  }

  // --- The picture: the largest 4:3 rectangle in its area, centred, whole factors from 2 on ---

  function placeControls(width, height) {
    if (!touchControls) return { x: 0, y: 0, w: width, h: height };
    var k;
    if (width >= height) {
      // Sideways: directions left of the picture, Fire and Confirm right of it, so that neither
      // covers the picture.
      k = Math.min(1, height / (PAD_SIZE + 16), width / 4 / PAD_SIZE);
      var padWidth = PAD_SIZE * k + 8;
      var actionsWidth = ACTIONS_WIDTH * k + 8;
      pad.style.transform = actions.style.transform = 'scale(' + k + ')';
      pad.style.transformOrigin = actions.style.transformOrigin = '0 0';
      pad.style.left = '4px';
      pad.style.top = (height - PAD_SIZE * k) / 2 + 'px';
      actions.style.left = (width - ACTIONS_WIDTH * k - 4) + 'px';
      actions.style.top = (height - PAD_SIZE * k) / 2 + 'px';
      return { x: padWidth, y: 0, w: width - padWidth - actionsWidth, h: height };
    }
    // Upright: the picture on top, the controls below it.
    k = Math.min(1, (width - 24) / (PAD_SIZE + ACTIONS_WIDTH), height / 2 / PAD_SIZE);
    pad.style.transform = actions.style.transform = 'scale(' + k + ')';
    pad.style.transformOrigin = actions.style.transformOrigin = '0 0';
    pad.style.left = '8px';
    pad.style.top = (height - PAD_SIZE * k - 8) + 'px';
    actions.style.left = (width - ACTIONS_WIDTH * k - 8) + 'px';
    actions.style.top = (height - PAD_SIZE * k - 8) + 'px';
    return { x: 0, y: 0, w: width, h: height - PAD_SIZE * k - 16 };
  }

  function layout() {
    var ratio = window.devicePixelRatio || 1;
    var area = placeControls(window.innerWidth, window.innerHeight);
    // In device pixels, so that the blocks are whole on a high-density screen too.
    var fit = Math.min(area.w * ratio / PICTURE_WIDTH, area.h * ratio / PICTURE_HEIGHT);
    var scale = fit >= WHOLE_SCALE_FROM ? Math.floor(fit) : fit;
    var width = Math.round(PICTURE_WIDTH * scale);
    var height = Math.round(PICTURE_HEIGHT * scale);
    var left = Math.floor((area.w * ratio - width) / 2 + area.x * ratio);
    var top = Math.floor((area.h * ratio - height) / 2 + area.y * ratio);
    canvas.style.width = width / ratio + 'px';
    canvas.style.height = height / ratio + 'px';
    canvas.style.left = left / ratio + 'px';
    canvas.style.top = top / ratio + 'px';
  }

  function showTouchControls() {
    touchControls = true;
    touch.hidden = false;
    document.body.classList.add('touch');
    layout();
  }

  window.addEventListener('resize', layout);
  document.addEventListener('fullscreenchange', layout);
  if (touchControls) showTouchControls();
  layout();
  // A touch screen whose main pointer is a mouse or a pad (a touch laptop) gets the buttons at its
  // first touch, unless the address said otherwise.
  window.addEventListener('pointerdown', function (event) {
    if (event.pointerType === 'touch' && !touchControls && touchParameter === null) showTouchControls();
  }, true);

  // --- Touch controls: each button holds the key of its binding while it is held --------------

  function press(button, down) {
    if (down === button.classList.contains('held')) return;
    button.classList.toggle('held', down);
    if (!started || ended) return;
    if (button.dataset.resume) {
      Module._pressResumeKeyFromPage(down ? 1 : 0);
    } else {
      Module._pressBindingFromPage(Number(button.dataset.binding), down ? 1 : 0);
    }
  }

  Array.prototype.forEach.call(touch.querySelectorAll('button[data-binding], button[data-resume]'), function (button) {
    var pointed = false;  // the click that follows a touch or a mouse press is that press
    button.addEventListener('pointerdown', function (event) {
      event.preventDefault();
      pointed = true;
      button.setPointerCapture(event.pointerId);
      press(button, true);
    });
    ['pointerup', 'pointercancel', 'lostpointercapture'].forEach(function (type) {
      button.addEventListener(type, function () {
        press(button, false);
        setTimeout(function () { pointed = false; }, 0);
      });
    });
    button.addEventListener('click', function () {
      if (pointed) return;
      press(button, true);
      setTimeout(function () { press(button, false); }, TAP_MILLISECONDS);
    });
    button.addEventListener('contextmenu', function (event) { event.preventDefault(); });
  });

  // Flight Control saves nothing before its last key, so a reload leaves it with the keys as
  // they were; six buttons cannot give its eight different keys.
  touch.querySelector('.leave').addEventListener('click', function () { location.reload(); });

  // The buttons follow the game's screen: Resume and Give up in a pause, the way out of Flight
  // Control there.
  function followScreen() {
    if (ended) return;
    document.body.dataset.screen = SCREENS[Module._touchScreenForPage()];
    setTimeout(followScreen, SCREEN_POLL_MILLISECONDS);
  }

  // --- Fullscreen and sound: the same as the game's fullscreen key and M -------------------------

  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(function () {});
    }
  }
  document.getElementById('fullscreen').addEventListener('click', toggleFullscreen);
  // After a mouse click the keys go on to the game, not to the button: Return or Space would
  // otherwise press the button again.
  document.getElementById('toolbar').addEventListener('click', function (event) {
    if (event.detail > 0 && started && !ended) canvas.focus();
  });

  // The sound's state, remembered for the site; the game tells the page of every change.
  var soundOn = true;
  try { soundOn = localStorage.getItem(SOUND_SETTING) !== 'off'; } catch (error) { /* no storage */ }
  function showSound(on) {
    soundOn = on;
    soundButton.setAttribute('aria-pressed', String(on));
    try { localStorage.setItem(SOUND_SETTING, on ? 'on' : 'off'); } catch (error) { /* no storage */ }
  }
  showSound(soundOn);
  soundButton.addEventListener('click', function () {
    if (started && !ended) {
      Module._setSoundFromPage(soundOn ? 0 : 1);
    } else {
      showSound(!soundOn);
    }
  });

  // --- Start and end ---------------------------------------------------------------------------

  function start() {
    if (started) return;
    started = true;
    if (audioContext) audioContext.resume();
    message.hidden = true;
    document.body.classList.add('playing');
    window.removeEventListener('keydown', start, true);
    message.removeEventListener('pointerdown', start);
    canvas.focus();
    performance.mark('zellworth-start');
    console.info('Zellworth: started');
    Module.callMain((Module.mainArguments ? Module.mainArguments() : []).concat(soundOn ? [] : ['--mute']));
    followScreen();
  }

  // The game's sound goes through this context, made while the files download, since making one
  // takes a while. Browsers that hold sound back until the player does something start it
  // suspended, and the page then asks for a click or a key.
  var AudioContextClass = window.AudioContext || window.webkitAudioContext;
  var audioContext = AudioContextClass ? new AudioContextClass() : null;

  function audioNeedsGesture() {
    return audioContext !== null && audioContext.state === 'suspended';
  }

  function ready() {
    progress.hidden = true;
    keepOffline();
    if (!audioNeedsGesture()) {
      start();
      return;
    }
    say('Click or press a key to start');
    console.info('Zellworth: waiting for a click or a key to start with sound');
    window.addEventListener('keydown', start, true);
    message.addEventListener('pointerdown', start);
  }

  playAgain.addEventListener('click', function () { location.reload(); });

  // The build names its files by their content; this script's tag carries those names.
  var builtName = { 'zellworth.wasm': ownTag.dataset.wasm, 'zellworth.data': ownTag.dataset.data };

  window.Module = {
    canvas: canvas,
    locateFile: function (name, prefix) { return (prefix || '') + (builtName[name] || name); },
    SDL2: audioContext ? { audioContext: audioContext } : {},
    print: function (text) {
      printed.push(text);
      console.log(text);
    },
    printErr: function (text) { console.warn(text); },
    setStatus: function (text) {
      // "Downloading data... (done/total)" while the media arrive.
      var parts = /\((\d+)\/(\d+)\)/.exec(text);
      if (parts && Number(parts[2]) > 0) {
        progress.value = Number(parts[1]) / Number(parts[2]);
        say('Loading… ' + Math.floor(100 * progress.value) + '%');
      }
    },
    onRuntimeInitialized: ready,
    onSoundChanged: showSound,
    onGameEnded: function (status) {
      ended = true;
      document.body.classList.remove('playing');
      delete document.body.dataset.screen;
      if (document.fullscreenElement) document.exitFullscreen();
      say(status === 0 ? 'The game has ended.' :
        'The game could not start: ' + printed.join(' '));
      playAgain.hidden = false;
      message.style.cursor = 'default';
      playAgain.focus();
    },
    toggleFullscreen: toggleFullscreen
  };

  // --- Offline: the service worker keeps the site for the next visit ------------------------------

  // Once the game's files have arrived, so that the worker finds them in the browser's cache
  // instead of downloading them again.
  function keepOffline() {
    if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol)) return;
    navigator.serviceWorker.register('sw.js', { updateViaCache: 'none' }).then(function (registration) {
      // A returning visitor's worker looks for a new build now; the visit after runs it.
      if (registration.active) return registration.update();
    }).catch(function (error) {
      console.warn('Zellworth: no offline copy: ' + error);
    });
  }
}(document.currentScript));
