// Installed into every frame of the login browser after ruffle_fetch.js. Operators' login
// pages of this kind carry Flash banners, which the player's installed Flash showed; here
// the launcher's own player (Ruffle, from the launcher's scheme) stands in for it. Ruffle
// is loaded only into documents that hold Flash content, now or later.
(function () {
  'use strict';
  if (window.__tavrinLoginFlash) {
    return;
  }
  Object.defineProperty(window, '__tavrinLoginFlash', {value: true});
  const FLASH = 'object, embed';

  // Where the launcher serves Ruffle's files: its own scheme, unless the script that
  // installs this one names another place (the Windows engine serves them on a host).
  const files = window.__tavrinRuffleFiles || 'tavrin-ruffle:/';

  function loadPlayer() {
    const rp = window.RufflePlayer = window.RufflePlayer || {};
    rp.config = Object.assign({
      publicPath: files,
      polyfills: true,
      autoplay: 'on',
      unmuteOverlay: 'hidden',
      splashScreen: false,
      // The wgpu renderer on a software adapter asks for hardware acceleration first.
      preferredRenderer: 'webgl',
    }, rp.config || {});
    const script = document.createElement('script');
    script.src = files + 'ruffle.js';
    (document.head || document.documentElement).appendChild(script);
  }

  function watch() {
    if (document.querySelector(FLASH)) {
      loadPlayer();
      return;
    }
    const observer = new MutationObserver(() => {
      if (document.querySelector(FLASH)) {
        observer.disconnect();
        loadPlayer();
      }
    });
    observer.observe(document.documentElement, {childList: true, subtree: true});
  }
  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', watch, {once: true});
  } else {
    watch();
  }
})();
