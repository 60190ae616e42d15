// The page's accessibility layer (linked in front of the program as --pre-js, after web_page.js): the
// platform's accessibility model as real HTML elements with ARIA roles, laid over the canvas, so that
// screen readers (TalkBack, VoiceOver, NVDA, Orca) find the controls and Tab moves through them.
//
// Implements: one element per object of the model, made and kept in step from its tree (web_access.cpp
// hands it over as JSON once its change events stop coming): a push button as a <button>, a check box
// and a radio button as <input>s with their checked state (radio buttons of a group share a name), the
// tempo bar as a range input holding the number the user reads and its range, a drop-down list as a
// <select> with its items and selection, static text and the text painted into the screen as text, a
// group box as a named group owning the controls inside its frame, a dialog as a dialog; a polite live
// region that says a changed text ("Start Metronome" becoming "Stop Metronome"). Each element lies over
// its control at every size of the screen (in hundredths of the screen's width and height) and is
// transparent: the canvas shows every pixel, and pointers pass through to it.
// Actions are the model's own: a click on a button or box presses it (BM_CLICK), a value set on the
// range input goes through the scroll bar's notifications, a choice in a <select> is a pick from the
// list, and focus given to an element focuses its control; each wakes the program to run it. The focus
// is one: the platform's focus moves the page's, and the page's moves the platform's. Keys reach the
// program as before (web_page.js), the elements' own key handling is turned off, and Tab on the last
// control (Shift+Tab on the first) is left to the browser, so the focus leaves the page.
//
// What a test or benchmark may read (window.CadenzoAccess): `nodes` (the tree as last read),
// `refreshes` (how many times it was read), `element(id)`. A page started with
// `window.CadenzoAccessLayer = false` (set before its scripts run) has no layer at all.
// Leaves out: exploring by touch (the elements let pointers through to the canvas, so a touch is the
// stylus); the navigation bar and the menu bar (the Tools menu's commands have their keys).
var CadenzoAccess = (function () {
  'use strict';
  var W = 240, H = 320;
  var VISIBLE = 1, ENABLED = 2, FOCUSABLE = 4, FOCUSED = 8, CHECKED = 16, ACTIVE = 128;
  var CHANGE_NAME = 0;

  var layer = {nodes: [], refreshes: 0, on: false};
  if (typeof window === 'undefined') return layer;
  window.CadenzoAccess = layer;
  layer.wanted = function () { return layer.on; };
  if (window.CadenzoAccessLayer === false) return layer;
  layer.on = true;

  var style = document.createElement('style');
  style.textContent =
      // Transparent as a whole (nothing of it is painted; screen readers still read it), and laid out
      // on its own, so that nothing in it is drawn or laid out again when the canvas changes.
      '#access { position: fixed; pointer-events: none; overflow: hidden; opacity: 0; contain: strict; }' +
      '#access * { position: absolute; box-sizing: border-box; margin: 0; padding: 0; border: 0; ' +
      'outline: none; overflow: hidden; -webkit-appearance: none; appearance: none; ' +
      'font: 1px sans-serif; color: transparent; background: transparent; }' +
      '#access .window { left: 0; top: 0; width: 100%; height: 100%; }' +
      '#access-said { left: 0; top: 0; width: 1px; height: 1px; }';
  document.head.appendChild(style);
  var root = document.createElement('div');
  root.id = 'access';
  var said = document.createElement('div');  // the live region
  said.id = 'access-said';
  said.setAttribute('role', 'status');
  said.setAttribute('aria-live', 'polite');
  root.appendChild(said);
  // Inside the page's main landmark, with the screen it stands for (fixed: it moves nothing there).
  (document.getElementById('program') || document.body).appendChild(root);

  // ---- Over the screen: the canvas, or the first screen's image until the canvas takes its place.
  function place() {
    var screen = document.getElementById('first') || document.getElementById('screen');
    if (!screen) return;
    var r = screen.getBoundingClientRect();
    root.style.left = r.left + 'px';
    root.style.top = r.top + 'px';
    root.style.width = r.width + 'px';
    root.style.height = r.height + 'px';
  }
  place();
  window.addEventListener('resize', place);
  if (window.ResizeObserver) {
    var watch = new ResizeObserver(place);
    ['first', 'screen'].forEach(function (id) {
      var e = document.getElementById(id);
      if (e) watch.observe(e);
    });
  }
  layer.place = place;

  // ---- The elements.
  var elements = new Map();  // id -> element
  var windows = new Map();   // top-level id -> its container
  layer.element = function (id) { return elements.get(id) || windows.get(id) || null; };

  function percent(value, of) { return (100 * value / of) + '%'; }
  function position(e, n) {
    e.style.left = percent(n.x, W);
    e.style.top = percent(n.y, H);
    e.style.width = percent(n.width, W);
    e.style.height = percent(n.height, H);
  }
  function setAttribute(e, name, value) {
    if (value === null) e.removeAttribute(name);
    else if (e.getAttribute(name) !== value) e.setAttribute(name, value);
  }

  var TAGS = {button: 'button', checkbox: 'input', radio: 'input', slider: 'input', combobox: 'select'};
  function make(n) {
    var e;
    if (n.role === 'frame' || n.role === 'dialog') {
      e = document.createElement('div');
      e.className = 'window';
      e.setAttribute('role', n.role === 'dialog' ? 'dialog' : 'region');
      if (n.role === 'dialog') e.setAttribute('aria-modal', 'true');
      return e;
    }
    e = document.createElement(TAGS[n.role] || 'div');
    if (n.role === 'button') e.type = 'button';
    else if (n.role === 'checkbox' || n.role === 'radio') e.type = n.role;
    else if (n.role === 'slider') {
      e.type = 'range';
      e.step = '1';
    } else if (n.role === 'group') e.setAttribute('role', 'group');
    else if (n.role === 'image') e.setAttribute('aria-hidden', 'true');
    e.id = 'access-' + n.id;
    e.dataset.id = n.id;
    return e;
  }

  function update(e, n, byId) {
    var enabled = (n.states & ENABLED) !== 0;
    if (n.role === 'frame' || n.role === 'dialog') {
      setAttribute(e, 'aria-label', n.name);
      // Only the active window's controls are reached (a dialog's owner waits behind it).
      e.inert = !(n.states & ACTIVE) && layer.nodes.some(function (m) { return m.states & ACTIVE; });
      return;
    }
    position(e, n);
    if ('disabled' in e) e.disabled = !enabled;
    else setAttribute(e, 'aria-disabled', enabled ? null : 'true');
    if (e.tagName !== 'DIV') e.tabIndex = n.states & FOCUSABLE ? 0 : -1;
    switch (n.role) {
    case 'button':
    case 'label':
      if (e.textContent !== n.name) e.textContent = n.name;
      break;
    case 'group':
      setAttribute(e, 'aria-label', n.name);
      break;
    case 'checkbox':
    case 'radio':
      setAttribute(e, 'aria-label', n.name);
      e.checked = (n.states & CHECKED) !== 0;
      if (n.role === 'radio') e.name = 'access-group-' + n.group;
      break;
    case 'slider':
      e.min = String(n.minimum);
      e.max = String(n.maximum);
      if (e.valueAsNumber !== n.value) e.value = String(n.value);
      if (n.labelledBy && byId.has(n.labelledBy)) {
        setAttribute(e, 'aria-labelledby', 'access-' + n.labelledBy);
        setAttribute(e, 'aria-label', null);
      } else {
        setAttribute(e, 'aria-labelledby', null);
        setAttribute(e, 'aria-label', n.name || null);
      }
      break;
    case 'combobox':
      var options = e.options, same = options.length === n.items.length;
      for (var i = 0; same && i < options.length; ++i) same = options[i].text === n.items[i];
      if (!same) {
        e.textContent = '';
        n.items.forEach(function (item) { e.add(new Option(item)); });
      }
      if (e.selectedIndex !== n.selected) e.selectedIndex = n.selected;
      // Named by its selection, as the model (and the desktop's bridge) names it: the screen shows
      // no label for a list.
      setAttribute(e, 'aria-label', n.name || null);
      setAttribute(e, 'aria-expanded', null);
      break;
    }
  }

  // The controls a group box's frame holds (their middles inside it), owned by the group.
  function owners(nodes) {
    nodes.forEach(function (g) {
      if (g.role !== 'group') return;
      var owned = nodes.filter(function (n) {
        var mx = n.x + n.width / 2, my = n.y + n.height / 2;
        return n !== g && n.parent === g.parent && n.role !== 'group' && n.role !== 'image' &&
               mx > g.x && mx < g.x + g.width && my > g.y && my < g.y + g.height;
      });
      setAttribute(elements.get(g.id), 'aria-owns', owned.length ? owned.map(function (n) { return 'access-' + n.id; }).join(' ') : null);
    });
  }

  // ---- Kept in step: the change events are gathered, the tree read once they stop: in a task of its
  // own after the program waits again (the program's start draws every window at once, and reading
  // the tree and making its elements in that same task would hold the page up twice as long).
  // A message to itself, not a timer: it comes at once and is not clamped.
  var pending = [], scheduled = false;
  var turn = window.MessageChannel ? new MessageChannel() : null;
  if (turn) turn.port1.onmessage = refresh;
  layer.changed = function (id, change) {
    pending.push([id, change]);
    if (scheduled) return;
    scheduled = true;
    if (turn) turn.port2.postMessage(0);
    else setTimeout(refresh, 0);
  };
  function refresh() {
    scheduled = false;
    if (Module['_cadenzo_access_refresh']) Module['_cadenzo_access_refresh']();
  }
  layer.refresh = refresh;

  layer.tree = function (json) {
    var nodes;
    try {
      nodes = JSON.parse(json);
    } catch (e) {
      return console.warn('Cadenzo: the accessibility tree could not be read: ' + e);
    }
    var before = new Map(layer.nodes.map(function (n) { return [n.id, n]; }));
    var changes = pending;
    pending = [];
    layer.nodes = nodes;
    layer.refreshes++;
    var byId = new Map(nodes.map(function (n) { return [n.id, n]; }));
    // Gone: removed first, so nothing stale is reached meanwhile.
    elements.forEach(function (e, id) {
      if (!byId.has(id)) {
        e.remove();
        elements.delete(id);
      }
    });
    windows.forEach(function (e, id) {
      if (!byId.has(id)) {
        e.remove();
        windows.delete(id);
      }
    });
    // Made or updated, in the model's order (each window's objects after it, in creation order); an
    // element is moved only when its place changed, as moving the focused one would lose the focus.
    var container = null, lastWindow = null, last = null;
    nodes.forEach(function (n) {
      if (n.parent === 0) {
        container = windows.get(n.id);
        if (!container) {
          container = make(n);
          windows.set(n.id, container);
        }
        var before = lastWindow || said;
        if (container.previousElementSibling !== before) root.insertBefore(container, before.nextSibling);
        update(container, n, byId);
        lastWindow = container;
        last = null;
        return;
      }
      if (!container) return;
      var e = elements.get(n.id);
      if (!e || e.parentNode !== container) {
        if (e) e.remove();
        e = make(n);
        elements.set(n.id, e);
      }
      if (e.parentNode !== container || e.previousElementSibling !== last)
        container.insertBefore(e, last ? last.nextSibling : container.firstChild);
      update(e, n, byId);
      last = e;
    });
    owners(nodes);
    // A text that changed is said: a button's or a label's (not the tempo bar's label, whose number
    // the slider says itself).
    changes.forEach(function (c) {
      var n = byId.get(c[0]), was = before.get(c[0]);
      if (c[1] !== CHANGE_NAME || !n || !was || n.name === was.name || !n.name) return;
      if (n.role !== 'button' && n.role !== 'label' && n.role !== 'checkbox') return;
      if (nodes.some(function (m) { return m.labelledBy === n.id; })) return;
      said.textContent = n.name;
    });
    // The platform's focus moved: the page's follows (a page whose focus is elsewhere, in the browser's
    // own bar after Tab left it, keeps it there).
    var focused = nodes.filter(function (n) { return n.states & FOCUSED; })[0];
    var target = focused && elements.get(focused.id);
    var active = document.activeElement;
    var moved = focused && (!before.has(focused.id) || !(before.get(focused.id).states & FOCUSED));
    if (target && moved && active !== target && (!active || active === document.body || root.contains(active)))
      target.focus({preventScroll: true});
  };

  // ---- Actions from the elements, through the model.
  function act(e, how) {
    var n = layer.nodes.find(function (m) { return m.id === Number(e.dataset.id); });
    if (!n || !how(n)) return;
    CadenzoPage.wake();
  }
  function user() { CadenzoPage.startAudio(); }  // an action of the user's: sound may start
  root.addEventListener('click', function (ev) {
    var e = ev.target;
    if (!e.dataset || !e.dataset.id || !/^(BUTTON|INPUT)$/.test(e.tagName) || e.type === 'range') return;
    ev.preventDefault();  // a box keeps the model's state until the program changes it
    user();
    act(e, function (n) { return Module['_cadenzo_access_press'](n.id); });
  });
  root.addEventListener('input', function (ev) {
    var e = ev.target;
    if (e.type !== 'range') return;
    user();
    act(e, function (n) { return Module['_cadenzo_access_set_value'](n.id, e.valueAsNumber | 0); });
  });
  root.addEventListener('change', function (ev) {
    var e = ev.target;
    if (e.tagName !== 'SELECT') return;
    user();
    act(e, function (n) { return Module['_cadenzo_access_select'](n.id, e.selectedIndex); });
  });
  root.addEventListener('focusin', function (ev) {
    var e = ev.target;
    act(e, function (n) { return !(n.states & FOCUSED) && (n.states & FOCUSABLE) && Module['_cadenzo_access_focus'](n.id); });
  });

  // ---- Keys on the elements go to the program only (web_page.js passes them on), not to the
  // elements' own handling, with one exception: Tab from the last control of the window (Shift+Tab
  // from the first) is the browser's, so the focus leaves the page rather than going round it.
  function stops() {
    var container = null;
    windows.forEach(function (w) { if (!w.inert) container = container || w; });
    if (!container) return [];
    var all = Array.prototype.filter.call(container.querySelectorAll('button, input, select'), function (e) {
      return !e.disabled && e.tabIndex >= 0;
    });
    // A radio group is one stop: its checked button, or its first.
    return all.filter(function (e) {
      if (e.type !== 'radio') return true;
      var group = all.filter(function (r) { return r.type === 'radio' && r.name === e.name; });
      var checked = group.filter(function (r) { return r.checked; })[0];
      return e === (checked || group[0]);
    });
  }
  var leaving = false;
  window.addEventListener('keydown', function (ev) {
    var inside = root.contains(document.activeElement) && document.activeElement !== said;
    if (!inside) return;
    if (ev.key === 'Tab' && !ev.ctrlKey && !ev.altKey && !ev.metaKey) {
      var s = stops(), e = document.activeElement;
      var at = s.indexOf(e);
      if (at < 0 && e.type === 'radio') at = s.findIndex(function (r) { return r.name === e.name; });
      if (at >= 0 && at === (ev.shiftKey ? 0 : s.length - 1)) {
        leaving = true;
        ev.stopImmediatePropagation();  // not the program's: the browser moves the focus out
        return;
      }
    }
    if (!ev.ctrlKey && !ev.altKey && !ev.metaKey) ev.preventDefault();
  }, true);
  window.addEventListener('keyup', function (ev) {
    if (leaving && ev.key === 'Tab') {
      leaving = false;
      ev.stopImmediatePropagation();
    }
  }, true);

  return layer;
})();
