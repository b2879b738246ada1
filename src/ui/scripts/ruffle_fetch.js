// Runs before Ruffle in every page that plays Flash. Ruffle loads its modules with fetch(),
// which this engine refuses for the launcher's own scheme; an XMLHttpRequest for the same
// address works. Every other address goes to the real fetch().
(function () {
  'use strict';
  if (window.__tavrinRuffleFetch) {
    return;
  }
  Object.defineProperty(window, '__tavrinRuffleFetch', {value: true});
  const SCHEME = 'tavrin-ruffle:';
  const realFetch = window.fetch.bind(window);
  window.fetch = function (input, init) {
    const url = input instanceof Request ? input.url : String(input);
    if (!url.startsWith(SCHEME)) {
      return realFetch(input, init);
    }
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open('GET', url);
      xhr.responseType = 'arraybuffer';
      xhr.onload = () => resolve(new Response(xhr.response, {
        status: 200,
        headers: {'Content-Type': url.endsWith('.wasm') ? 'application/wasm' : 'text/javascript'},
      }));
      xhr.onerror = () => reject(new TypeError('cannot load ' + url));
      xhr.send();
    });
  };
})();
