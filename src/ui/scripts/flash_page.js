// The game movie's page: creates the Ruffle player with the options the launcher put, and
// connects the movie's ExternalInterface calls and fscommands to the launcher. Calls reach
// the launcher synchronously through a marked prompt() that it answers itself.
(function () {
  'use strict';
  const setup = window.__tavrinFlashSetup;
  const MARK = '\u0001tavrin-flash';
  const ask = window.prompt.bind(window);
  const host = (message) => ask(MARK, JSON.stringify(message));

  // Values in the ExternalInterface XML form, both ways.
  const escape = (s) => String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  function encode(value) {
    if (value === null) return '<null/>';
    if (value === undefined) return '<undefined/>';
    if (value === true) return '<true/>';
    if (value === false) return '<false/>';
    if (typeof value === 'number') return '<number>' + value + '</number>';
    if (Array.isArray(value)) {
      return '<array>' + value.map((v, i) => '<property id="' + i + '">' + encode(v) + '</property>').join('') + '</array>';
    }
    if (typeof value === 'object') {
      return '<object>' + Object.keys(value).map((k) => '<property id="' + escape(k) + '">' + encode(value[k]) + '</property>').join('') + '</object>';
    }
    return '<string>' + escape(value) + '</string>';
  }
  function decode(node) {
    if (!node) return undefined;
    switch (node.nodeName) {
      case 'string': return node.textContent;
      case 'number': return Number(node.textContent);
      case 'true': return true;
      case 'false': return false;
      case 'null': return null;
      case 'array': return Array.from(node.children).map((p) => decode(p.firstElementChild));
      case 'object': {
        const result = {};
        for (const p of node.children) result[p.getAttribute('id')] = decode(p.firstElementChild);
        return result;
      }
      default: return undefined;
    }
  }
  const parse = (xml) => new DOMParser().parseFromString(xml, 'text/xml').documentElement;

  // The movie's calls: each name the launcher answers is a global function of the page.
  for (const name of setup.callNames) {
    window[name] = function () {
      const request = '<invoke name="' + name + '" returntype="xml"><arguments>' +
          Array.from(arguments).map(encode).join('') + '</arguments></invoke>';
      const reply = host({kind: 'flashcall', request: request});
      return reply ? decode(parse(reply)) : undefined;
    };
  }

  // The launcher's calls into the movie: a request in the same XML form.
  window.__tavrinCallFunction = function (request) {
    const invoke = parse(request);
    const name = invoke.getAttribute('name');
    const args = Array.from(invoke.querySelectorAll('arguments > *')).map(decode);
    const player = document.getElementById('player');
    if (!player || typeof player[name] !== 'function') {
      throw new Error('the movie has no callback ' + name);
    }
    return encode(player[name].apply(player, args));
  };

  function start() {
    window.RufflePlayer.config = {
      publicPath: setup.scheme + ':/',
      polyfills: false,
      autoplay: 'on',
      unmuteOverlay: 'hidden',
      splashScreen: false,
      openUrlMode: 'allow',
      letterbox: 'on',
      // The wgpu renderer on a software adapter first asks the player to enable hardware
      // acceleration and eats the first click; plain WebGL (or canvas) does not.
      preferredRenderer: 'webgl',
    };
    const player = window.RufflePlayer.newest().createPlayer();
    player.id = 'player';
    document.body.appendChild(player);
    player.onFSCommand = (command, args) => {
      host({kind: 'fscommand', command: String(command), args: String(args)});
      return true;
    };
    const options = setup.options;
    options.url = setup.movie;
    player.load(options);
  }
  if (window.RufflePlayer && window.RufflePlayer.newest) {
    start();
  } else {
    host({kind: 'failed', reason: 'the Flash player could not be started'});
  }
})();
