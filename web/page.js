// The page around the game: loading progress, the start gesture that lets the browser play
// sound, the picture's place and size, fullscreen, the touch controls, the end of the game and
// the offline cache.
'use strict';

(function () {
  var PICTURE_WIDTH = 800;
  var PICTURE_HEIGHT = 600;
  var WHOLE_SCALE_FROM = 2; // as the desktop: from twice the size on, whole factors only
  var PAD_SIZE = 192;       // CSS pixels of the direction buttons' square
  var ACTIONS_WIDTH = 144;  // CSS pixels of the Fire and Confirm column

  var canvas = document.getElementById('canvas');
  var message = document.getElementById('message');
  var messageText = document.getElementById('message-text');
  var progress = document.getElementById('progress');
  var playAgain = document.getElementById('play-again');
  var touch = document.getElementById('touch');
  var pad = document.getElementById('pad');
  var actions = document.getElementById('actions');
  var printed = [];
  var started = false;

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

  window.addEventListener('resize', layout);
  document.addEventListener('fullscreenchange', layout);
  if (touchControls) {
    touch.hidden = false;
    document.body.classList.add('touch');
  }
  layout();

  // --- Touch controls: each button holds the key of its binding while it is held --------------

  function press(button, down) {
    if (down === button.classList.contains('held')) return;
    button.classList.toggle('held', down);
    if (started && Module._pressBindingFromPage) {
      Module._pressBindingFromPage(Number(button.dataset.binding), down ? 1 : 0);
    }
  }

  Array.prototype.forEach.call(touch.querySelectorAll('button'), function (button) {
    button.addEventListener('pointerdown', function (event) {
      event.preventDefault();
      button.setPointerCapture(event.pointerId);
      press(button, true);
    });
    ['pointerup', 'pointercancel', 'lostpointercapture'].forEach(function (type) {
      button.addEventListener(type, function () { press(button, false); });
    });
    button.addEventListener('contextmenu', function (event) { event.preventDefault(); });
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
    Module.callMain(Module.mainArguments ? Module.mainArguments() : []);
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

  window.Module = {
    canvas: canvas,
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
    onGameEnded: function (status) {
      document.body.classList.remove('playing');
      if (document.fullscreenElement) document.exitFullscreen();
      say(status === 0 ? 'The game has ended.' :
        'The game could not start: ' + printed.join(' '));
      playAgain.hidden = false;
      message.style.cursor = 'default';
      playAgain.focus();
    },
    toggleFullscreen: function () {
      if (document.fullscreenElement) {
        document.exitFullscreen();
      } else if (document.documentElement.requestFullscreen) {
        document.documentElement.requestFullscreen().catch(function () {});
      }
    }
  };

  // --- Offline: the service worker keeps the site for the next visit ------------------------------

  if ('serviceWorker' in navigator && /^https?:$/.test(location.protocol)) {
    navigator.serviceWorker.register('sw.js', { updateViaCache: 'none' }).catch(function (error) {
      console.warn('Zellworth: no offline copy: ' + error);
    });
  }
}());
