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

  function loadPlayer() {
    const rp = window.RufflePlayer = window.RufflePlayer || {};
    rp.config = Object.assign({
      publicPath: 'tavrin-ruffle:/',
      polyfills: true,
      autoplay: 'on',
      unmuteOverlay: 'hidden',
      splashScreen: false,
      // The wgpu renderer on a software adapter asks for hardware acceleration first.
      preferredRenderer: 'webgl',
    }, rp.config || {});
    const script = document.createElement('script');
    script.src = 'tavrin-ruffle:/ruffle.js';
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
