// Installed into every frame of the login browser before the page's own scripts run.
// Gives the operator's page `window.external` with the launcher's three methods (names
// matched without regard to case) and, when the launcher asks for it, reports link presses
// and pointer movement. Calls reach the launcher synchronously through a marked prompt()
// that the launcher answers itself; no dialog is ever shown for it. Frames of other
// origins (advertising, widgets) get nothing: the launcher refuses their calls anyway.
(function () {
  'use strict';
  if (window.__tavrinBridge) {
    return;
  }
  let ours = window === window.top;
  try {
    ours = ours || window.top.location.origin === window.location.origin;
  } catch (e) {
    // Another origin's frame: its top window cannot even be read.
  }
  if (!ours) {
    return;
  }
  const MARK = '\u0001tavrin-bridge';
  const ask = window.prompt.bind(window);
  const send = (request) => ask(MARK, JSON.stringify(request));
  Object.defineProperty(window, '__tavrinBridge', {value: true});

  const METHODS = ['invoke_enterroom', 'invoke_inlineurl', 'invoke_syssetting'];
  const methodFor = (name) =>
      typeof name === 'string' ? METHODS.find((m) => m === name.toLowerCase()) : undefined;
  // Everything but the methods comes from a plain object that reads as "[object External]",
  // so String(window.external) and its like work as they do on the browser's own.
  const base = Object.create(Object.prototype, {[Symbol.toStringTag]: {value: 'External'}});
  const external = new Proxy(base, {
    get(target, name) {
      const method = methodFor(name);
      if (method === undefined) {
        return Reflect.get(target, name);
      }
      return function () {
        const answer = send({method: method, args: Array.from(arguments, String)});
        if (answer === 'error') {
          throw new TypeError(method + ': the argument is not a 32-bit integer');
        }
        return answer === 'true';
      };
    },
    has(target, name) {
      return methodFor(name) !== undefined || Reflect.has(target, name);
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
