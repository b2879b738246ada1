// The game movie's page: creates the Ruffle player with the options the launcher put, and
// connects the movie to the launcher. Calls reach the launcher synchronously, as requests
// to the player's own scheme that it answers itself (a dialog such as prompt() would end
// the movie's full screen). The movie gets what the Flash control gave it and
// no more: its ExternalInterface calls all go to the launcher, its links to the player's
// browser, its sockets through the launcher's bridge; it never runs script in this page.
(function () {
  'use strict';
  const setup = window.__tavrinFlashSetup;
  const host = (message) => {
    const request = new XMLHttpRequest();
    request.open('GET', setup.bridge + encodeURIComponent(JSON.stringify(message)), false);
    try {
      request.send();
    } catch (e) {
      return null;
    }
    return request.status === 200 ? request.responseText : null;
  };

  // Values in the ExternalInterface XML form, both ways.
  const escape = (s) => String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;')
      .replace(/>/g, '&gt;').replace(/"/g, '&quot;');
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
    if (!node) return null;
    switch (node.nodeName) {
      case 'string': return node.textContent;
      case 'number': return Number(node.textContent);
      case 'true': return true;
      case 'false': return false;
      case 'array': return Array.from(node.children).map((p) => decode(p.firstElementChild));
      case 'object': {
        const result = {};
        for (const p of node.children) result[p.getAttribute('id')] = decode(p.firstElementChild);
        return result;
      }
      default: return null;
    }
  }
  const parse = (xml) => new DOMParser().parseFromString(xml, 'text/xml').documentElement;

  // The movie's ExternalInterface.call(name, ...): Ruffle compiles "return (name)(...)" into
  // a function. Every such name goes to the launcher as a FlashCall, as it did from the
  // Flash control; nothing else may make code from text in this page.
  const callForm = /^return \(([\s\S]*)\)\(\.\.\.arguments\);$/;
  const NativeFunction = window.Function;
  function LauncherCall(...parts) {
    const match = parts.length === 1 ? callForm.exec(String(parts[0])) : null;
    if (!match) {
      throw new EvalError('the player page runs no code made from text');
    }
    const name = match[1];
    return function () {
      const request = '<invoke name="' + escape(name) + '" returntype="xml"><arguments>' +
          Array.from(arguments).map(encode).join('') + '</arguments></invoke>';
      const reply = host({kind: 'flashcall', request: request});
      return reply ? decode(parse(reply)) : null;
    };
  }
  LauncherCall.prototype = NativeFunction.prototype;
  window.Function = LauncherCall;

  // navigateToURL and getURL, whatever their target: the player's browser, never this page.
  window.open = function (url, target) {
    host({kind: 'navigate', url: new URL(String(url), document.baseURI).href,
          target: String(target === undefined ? '' : target)});
    return null;
  };

  // Sockets: the launcher decides and connects first, so that a server that cannot be reached
  // (or lets the movie in by no policy) fails the connect as it did in Flash; an outcome that
  // takes longer than a moment goes on in the background while the movie runs. Then the
  // bytes go through the launcher's relay, over the engine's own channel: no network
  // connection leaves this page, which its engine may keep from the player's own machine.
  // The page's other WebSockets are left as they are.
  const NativeWebSocket = window.WebSocket;
  const channelPrefix = 'ws://tavrin-relay.invalid/';
  const relayPrefixes = setup.sockets.concat(setup.policyHosts).map((p) => p.proxyUrl);
  const isRelays = (url) => relayPrefixes.some((prefix) => url.startsWith(prefix));
  window.WebSocket = function (url, protocols) {
    url = String(url);
    if (!isRelays(url)) {
      return protocols === undefined ? new NativeWebSocket(url) : new NativeWebSocket(url, protocols);
    }
    const answer = JSON.parse(host({kind: 'socket', url: url}) || '{}');
    if (!answer.url) {
      throw new DOMException(answer.error || 'the connection failed', 'NetworkError');
    }
    return answer.url.startsWith(channelPrefix) ? new ChannelSocket(answer.url)
                                                : new NativeWebSocket(answer.url);
  };
  Object.assign(window.WebSocket, {CONNECTING: 0, OPEN: 1, CLOSING: 2, CLOSED: 3});
  window.WebSocket.prototype = NativeWebSocket.prototype;

  // A call on the relay's channel, answered when the launcher can, with an id that its
  // answer carries back: the engine's web messages (chrome.webview), or Qt's web channel,
  // whose object the launcher publishes as "tavrinRelay". Neither carries the bytes in an
  // address, nor holds a request of the page's open while a call waits.
  const waitingCalls = new Map();
  let lastCall = 0;
  const settle = (id, answer) => {
    const done = waitingCalls.get(id);
    if (done) {
      waitingCalls.delete(id);
      done(answer || {});
    }
  };
  let post = null;
  const webview = window.chrome && window.chrome.webview;
  if (setup.channel === 'webmessage' && webview) {
    webview.addEventListener('message', (event) => settle((event.data || {}).id,
                                                          (event.data || {}).answer));
    post = (id, message) => webview.postMessage(Object.assign({id: id}, message));
  } else if (setup.channel === 'webchannel' && window.qt && window.QWebChannel) {
    // Calls made before the channel is ready wait for it.
    const early = [];
    post = (id, message) => early.push([id, message]);
    new QWebChannel(qt.webChannelTransport, (channel) => {
      const relay = channel.objects.tavrinRelay;
      relay.answered.connect((id, answer) => settle(id, JSON.parse(answer)));
      post = (id, message) => relay.call(id, JSON.stringify(message));
      early.splice(0).forEach(([id, message]) => post(id, message));
    });
  }
  const channelCall = (message) => new Promise((resolve, reject) => {
    if (!post) return reject(new Error('this page has no channel to the launcher'));
    const id = ++lastCall;
    waitingCalls.set(id, resolve);
    post(id, message);
  });

  // The most of what the movie wrote that goes in one call (its address stays well within
  // the engine's 2 MB).
  const kSendBytes = 1024 * 1024;
  // Base64 both ways by the engine's own code, which is many times faster than script's.
  function toBase64(blob) {
    return new Promise((resolve, reject) => {
      const reader = new FileReader();
      reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(',') + 1));
      reader.onerror = () => reject(reader.error);
      reader.readAsDataURL(blob);
    });
  }
  const fromBase64 = (text) => fetch('data:application/octet-stream;base64,' + text)
      .then((response) => response.arrayBuffer());
  // What the player sends, as a copy of its own: the player hands over views of its memory,
  // which a Blob copies at once.
  function ownBytes(data) {
    if (typeof data === 'string' || data instanceof Blob || data instanceof ArrayBuffer ||
        ArrayBuffer.isView(data)) {
      return new Blob([data]);
    }
    throw new TypeError('the relay carries text and bytes only');
  }

  // The player's WebSocket for a connection through the channel: what the player uses of a
  // WebSocket (its state, send, close, and its open, message, error and close events), the
  // movie's writes sent in order, one call at a time, and the server's bytes as they come.
  class ChannelSocket extends EventTarget {
    constructor(url) {
      super();
      Object.assign(this, {url: url, readyState: 0, binaryType: 'blob', bufferedAmount: 0,
                           protocol: '', extensions: '', onopen: null, onmessage: null,
                           onerror: null, onclose: null});
      this.queue = [];
      this.sending = false;
      this.closing = false;
      channelCall({kind: 'relay', op: 'open', url: url}).then((answer) => {
        if (!answer.ok) return this.finish(1006, false);
        this.readyState = 1;
        this.fire(new Event('open'));
        this.receive();
      }, () => this.finish(1006, false));
    }
    // As the engine does for its own sockets: a handler that throws is reported, and the
    // socket goes on.
    fire(event) {
      const handler = this['on' + event.type];
      try {
        if (typeof handler === 'function') handler.call(this, event);
      } catch (error) {
        console.error(error);
      }
      this.dispatchEvent(event);
    }
    send(data) {
      if (this.readyState === 0) throw new DOMException('the socket is not open yet', 'InvalidStateError');
      if (this.readyState !== 1) return;
      const bytes = ownBytes(data);
      this.queue.push(bytes);
      this.bufferedAmount += bytes.size;
      this.flush();
    }
    // The movie's writes in order, together as far as kSendBytes a call, the next call once
    // the relay has taken the last.
    flush() {
      if (this.sending || this.readyState === 3) return;
      if (this.queue.length === 0) {
        if (this.closing) this.sendClose();
        return;
      }
      this.sending = true;
      let bytes = new Blob(this.queue.splice(0));
      if (bytes.size > kSendBytes) {  // the rest goes first in the next call
        this.queue.unshift(bytes.slice(kSendBytes));
        bytes = bytes.slice(0, kSendBytes);
      }
      toBase64(bytes).then((text) => {
        return channelCall({kind: 'relay', op: 'send', url: this.url, data: text})
            .then((answer) => {
              this.sending = false;
              this.bufferedAmount = Math.max(0, this.bufferedAmount - bytes.size);
              if (!answer.ok) {  // the connection is over: its close comes with a receive
                this.queue = [];
                this.bufferedAmount = 0;
              }
              this.flush();
            });
      }).catch(() => this.finish(1006, false));
    }
    receive() {
      channelCall({kind: 'relay', op: 'receive', url: this.url}).then((answer) => {
        if (this.readyState === 3) return;
        if (answer.closed) return this.finish(answer.closed, true);
        return fromBase64(answer.data || '').then((bytes) => {
          if (this.readyState === 1 && bytes.byteLength > 0) {
            const data = this.binaryType === 'arraybuffer' ? bytes : new Blob([bytes]);
            this.fire(new MessageEvent('message', {data: data}));
          }
          this.receive();
        });
      }).catch(() => this.finish(1006, false));
    }
    // As a WebSocket's close: what the movie sent before still goes first.
    close() {
      if (this.readyState >= 2) return;
      this.readyState = 2;
      this.closing = true;
      this.flush();
    }
    sendClose() {
      const done = () => this.finish(1000, true);
      channelCall({kind: 'relay', op: 'close', url: this.url}).then(done, done);
    }
    finish(code, clean) {
      if (this.readyState === 3) return;
      this.readyState = 3;
      if (!clean) this.fire(new Event('error'));
      this.fire(new CloseEvent('close', {code: code, reason: '', wasClean: clean}));
    }
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

  // What the player shows while the movie loads, or instead of it when it fails.
  const status = document.getElementById('status');
  function fail(reason, detail) {
    if (status.dataset.failed) return;
    status.dataset.failed = '1';
    status.innerHTML = '';
    const title = document.createElement('h1');
    title.textContent = setup.texts.failed;
    const what = document.createElement('p');
    what.textContent = reason;
    const wayOut = document.createElement('p');
    wayOut.textContent = setup.texts.wayOut;
    const technical = document.createElement('small');
    technical.textContent = detail || '';
    status.append(title, what, wayOut, technical);
    status.className = 'failed';
    const player = document.getElementById('player');
    if (player) player.style.visibility = 'hidden';
    host({kind: 'failed', reason: reason, detail: detail || ''});
  }

  function watchForPanic(player) {
    const root = player.shadowRoot;
    if (!root) return;
    const look = () => {
      const panic = root.getElementById('panic');
      if (panic) {
        const title = root.getElementById('panic-title');
        fail(setup.texts.broken, (title ? title.textContent + ': ' : '') + setup.movie);
      }
    };
    new MutationObserver(look).observe(root, {childList: true, subtree: true});
    look();
  }

  // The player finds a socket's proxy by host and port alike: the listed servers first,
  // then every port of the hosts whose servers may let the movie in by policy.
  function socketProxies() {
    const proxies = setup.sockets.slice();
    for (const policyHost of setup.policyHosts) {
      for (let port = 1; port <= 65535; ++port) {
        proxies.push({host: policyHost.host, port: port, proxyUrl: policyHost.proxyUrl + port});
      }
    }
    return proxies;
  }

  // The player asks for its font only once its own code has arrived and compiled; fetched
  // from the start, the font travels meanwhile and is handed over when asked for.
  function fetchFontEarly() {
    if (!setup.font) return;
    let early = fetch(setup.font.url);
    early.catch(() => {});
    const pageFetch = window.fetch;
    window.fetch = function (input, init) {
      const url = input instanceof Request ? input.url : String(input);
      if (early && url === setup.font.url) {
        const fetched = early;
        early = null;
        return fetched;
      }
      return pageFetch(input, init);
    };
  }

  // For an engine that does not tell the launcher what the page logs: the player's lines
  // go to it as messages (an operator's check reads them), and still to the console.
  function consoleToHost() {
    if (!setup.consoleToHost) return;
    for (const level of ['error', 'warn', 'log']) {
      const original = console[level].bind(console);
      console[level] = function (...parts) {
        host({kind: 'console', level: level, detail: parts.map(String).join(' ')});
        original(...parts);
      };
    }
  }

  function start() {
    consoleToHost();
    fetchFontEarly();
    window.RufflePlayer.config = {publicPath: setup.files, polyfills: false};
    const player = window.RufflePlayer.newest().createPlayer();
    player.id = 'player';
    document.body.appendChild(player);
    player.onFSCommand = (command, args) => {
      host({kind: 'fscommand', command: String(command), args: String(args)});
      return true;
    };
    player.addEventListener('loadedmetadata', () => {
      status.hidden = !status.dataset.failed;
      const m = player.metadata || {};
      host({kind: 'started', movie: {swfVersion: m.swfVersion, isActionScript3: m.isActionScript3,
                                     width: m.width, height: m.height, frameRate: m.frameRate,
                                     numFrames: m.numFrames}});
      // Keys reach the movie without a click. The player takes keys only once it has seen
      // the focus arrive, and it starts listening for that a moment after the movie's
      // first frame, when the focus is already in it: it is told so (again) until then.
      player.focus();
      for (const delay of [0, 200, 600, 1500, 3000]) {
        setTimeout(() => {
          if (document.activeElement === player) {
            player.dispatchEvent(new FocusEvent('focusin'));
          }
        }, delay);
      }
    });
    watchForPanic(player);
    const fonts = setup.font ? setup.font.families : null;
    const options = Object.assign({}, setup.options, {
      url: setup.movie,
      autoplay: 'on',
      unmuteOverlay: 'hidden',
      splashScreen: false,
      // The whole stage scaled to fit, and what the movie draws beyond it stays visible,
      // as in the Flash control.
      letterbox: 'off',
      contextMenu: setup.options.menu ? 'on' : 'off',
      openUrlMode: 'allow',
      socketProxy: socketProxies(),
      fontSources: setup.font ? [setup.font.url] : [],
      defaultFonts: fonts ? {sans: fonts, serif: fonts, typewriter: fonts, japaneseGothic: fonts,
                             japaneseGothicMono: fonts, japaneseMincho: fonts} : {},
      // The wgpu renderer on a software adapter first asks the player to enable hardware
      // acceleration and eats the first click; plain WebGL (or canvas) does not.
      preferredRenderer: 'webgl',
    });
    player.tabIndex = 0;
    const loading = player.load(options);
    if (loading && loading.catch) {
      loading.catch((e) => fail(setup.texts.broken, String(e && e.message || e)));
    }
  }
  if (window.RufflePlayer && window.RufflePlayer.newest) {
    start();
  } else {
    fail(setup.texts.noPlayer, setup.files + 'ruffle.js');
  }
})();
