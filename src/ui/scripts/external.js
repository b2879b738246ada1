// Installed into every frame of the login browser before the page's own scripts run.
// Gives the page `window.external` with the launcher's three methods (names matched without
// regard to case) and, when the launcher asks for it, reports link presses and pointer
// movement. Calls reach the launcher synchronously through a marked prompt() that the
// launcher answers itself; no dialog is ever shown for it.
(function () {
  'use strict';
  if (window.__tavrinBridge) {
    return;
  }
  const MARK = '\u0001tavrin-bridge';
  const ask = window.prompt.bind(window);
  const send = (request) => ask(MARK, JSON.stringify(request));
  Object.defineProperty(window, '__tavrinBridge', {value: true});

  const METHODS = ['invoke_enterroom', 'invoke_inlineurl', 'invoke_syssetting'];
  const methodFor = (name) =>
      typeof name === 'string' ? METHODS.find((m) => m === name.toLowerCase()) : undefined;
  const external = new Proxy({}, {
    get(target, name) {
      const method = methodFor(name);
      if (method === undefined) {
        return undefined;
      }
      return function () {
        return send({method: method, args: Array.from(arguments, String)}) === 'true';
      };
    },
    has(target, name) {
      return methodFor(name) !== undefined;
    },
  });
  Object.defineProperty(window, 'external', {value: external, configurable: true});

  // The optional reporter of link presses and pointer movement; off unless the launcher
  // turns it on for this document.
  let reporter = {links: false, pointer: false};
  try {
    reporter = JSON.parse(send({method: 'designer-state'}) || '{}');
  } catch (e) {
  }
  if (!reporter.links && !reporter.pointer) {
    return;
  }
  const isLink = (event) => event.target && event.target.tagName &&
      event.target.tagName.toUpperCase() === 'A';
  const report = (kind, event) =>
      send({method: 'designer', args: [kind, isLink(event) ? String(event.target.href) : '']});
  document.addEventListener('mousedown', (event) => {
    if (reporter.links && isLink(event)) {
      report('linkdown', event);
      event.preventDefault();
      event.stopImmediatePropagation();
    }
  }, true);
  document.addEventListener('mouseup', (event) => {
    if (reporter.links && isLink(event)) {
      report('linkup', event);
    }
  }, true);
  document.addEventListener('mousemove', (event) => {
    if (reporter.pointer) {
      report('pointermove', event);
    }
  }, true);
  document.addEventListener('mouseout', (event) => {
    if (reporter.pointer) {
      report('pointerout', event);
    }
  }, true);
})();
