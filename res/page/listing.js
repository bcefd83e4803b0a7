// The listing page's own script. The program puts it into every load of the page, in a world of
// its own that the page's content cannot reach.
//
// The whole listing stays in the program. The table "puntozero" holds only the rows near what is
// on screen, a screen's worth each side, and its top and bottom margins stand for the rows above
// and below them, so that the scroll bar is true from the first paint. Every row has the same
// height, so the rows in view follow from the scroll position alone. Rows come from the program
// as JSON (res://quillory/rows?gen=G&from=F&count=N), and the page tells it which rows it shows
// (res://quillory/shown?...).
(function () {
  'use strict';
  if (window.__quilloryListing)
    return;

  // Chromium lays nothing out beyond about 33 million pixels. A listing taller than this is
  // mapped onto this height: the scroll bar then moves through the rows a little faster.
  var MAX_HEIGHT = 30000000;

  // The rows in view at scrollTop (measured from the table's top) in a window viewHeight high,
  // and the rows to keep in the page: overscan more on each side.
  function visibleRange(scrollTop, viewHeight, rowHeight, count, overscan) {
    if (count <= 0 || rowHeight <= 0)
      return {first: 0, last: 0, start: 0, end: 0};
    var first = Math.min(count - 1, Math.max(0, Math.floor(scrollTop / rowHeight)));
    var last = Math.min(count, Math.max(first + 1, Math.ceil((scrollTop + viewHeight) / rowHeight)));
    return {first: first, last: last, start: Math.max(0, first - overscan), end: Math.min(count, last + overscan)};
  }

  var L = {
    table: null,
    style: null,
    gen: 0,          // the listing's generation, as the program counts them
    count: 0,        // rows of the listing shown
    h: 20,           // the height of every row
    selected: -1,
    start: 0,        // the rows in the table: [start, end)
    end: 0,
    top: 0,          // the table's top margin
    cache: new Map(),
    asking: false,
    dry: false,      // the program had no rows for the last question: wait for the next show()
    told: '',        // the last rows the program was told of
    savedTop: 0
  };

  function scroller() {
    return document.scrollingElement || document.documentElement;
  }

  // Where the listing stands: the table's place in the document, the height that stands for the
  // whole listing, and the scroll position in rows' pixels (v).
  function geometry() {
    var doc = scroller();
    var base = L.table.offsetTop - L.top;
    var full = L.count * L.h;
    var height = Math.min(full, MAX_HEIGHT);
    var view = window.innerHeight;
    var rel = Math.max(0, doc.scrollTop - base);
    var scale = full > height && height > view ? (full - view) / (height - view) : 1;
    return {doc: doc, base: base, height: height, view: view, rel: rel, v: rel * scale, scale: scale};
  }

  function setStyle(h) {
    if (!L.style) {
      L.style = document.createElement('style');
      document.head.appendChild(L.style);
    }
    // One line per row, cut short with an ellipsis: a cell's padding (2), its bottom border (1)
    // and the line make the row's height exactly.
    var line = Math.max(h - 5, 1);
    L.style.textContent =
      '#puntozero { table-layout: fixed; width: 100%; overflow-anchor: none; }\n' +
      '#puntozero td { height: ' + line + 'px; line-height: ' + line + 'px; white-space: nowrap;' +
      ' overflow: hidden; text-overflow: ellipsis; }\n' +
      '#puntozero img { vertical-align: top; }\n' +
      '#puntozero tr[aria-selected] > td:not([class]) { background-color: #C5DCFA; }\n';
  }

  // Column widths, since a fixed table takes them from here rather than from its rows.
  function setColumns(table) {
    if (table.querySelector('colgroup'))
      return;
    var group = document.createElement('colgroup');
    ['45px', '20%', '7%', '17%', '17%', '', '15%'].forEach(function (width) {
      var col = document.createElement('col');
      if (width)
        col.style.width = width;
      group.appendChild(col);
    });
    table.insertBefore(group, table.firstChild);
  }

  function fillCell(td, cell) {
    if (cell[0] !== null)
      td.className = cell[0];
    td.innerHTML = cell[1];
    if (cell[2] !== null) {
      td.title = cell[2];
    } else {
      // The whole text as the cell's tooltip, since a long one is cut short.
      var text = td.textContent;
      if (text.trim())
        td.title = text;
    }
    if (cell[3] !== null)
      td.setAttribute('colspan', cell[3]);
  }

  function makeRow(tr, cells, index) {
    if (Array.isArray(cells)) {
      for (var k = 0; k < cells.length; ++k)
        fillCell(tr.insertCell(-1), cells[k]);
    }
    if (index === L.selected)
      tr.setAttribute('aria-selected', 'true');
  }

  function clearRows() {
    var t = L.table;
    while (t.rows.length)
      t.deleteRow(-1);
    L.start = L.end = 0;
  }

  // Makes the table hold rows [start, end), keeping those it already has.
  function place(start, end) {
    var t = L.table;
    if (end <= L.start || start >= L.end)
      clearRows();
    while (L.end > L.start && L.start < start) {
      t.deleteRow(0);
      ++L.start;
    }
    while (L.end > L.start && L.end > end) {
      t.deleteRow(-1);
      --L.end;
    }
    if (L.start === L.end)
      L.start = L.end = start;
    for (var i = L.start - 1; i >= start; --i)
      makeRow(t.insertRow(0), L.cache.get(i), i);
    L.start = Math.min(L.start, start);
    for (var j = L.end; j < end; ++j)
      makeRow(t.insertRow(-1), L.cache.get(j), j);
    L.end = Math.max(L.end, end);
  }

  function setMargins(g) {
    L.top = g.rel - g.v + L.start * L.h;
    var bottom = Math.max(0, g.height - L.top - (L.end - L.start) * L.h);
    L.table.style.marginTop = L.top + 'px';
    L.table.style.marginBottom = bottom + 'px';
  }

  function ask(from, count) {
    var gen = L.gen;
    var x = new XMLHttpRequest();
    L.asking = true;
    x.onloadend = function () {
      L.asking = false;
      if (gen !== L.gen)
        return update();  // an answer for a listing no longer shown
      var rows = null;
      try {
        rows = JSON.parse(x.responseText);
      } catch (e) {
        rows = null;
      }
      if (!Array.isArray(rows) || rows.length === 0) {
        L.dry = true;
        return;
      }
      for (var i = 0; i < rows.length; ++i)
        L.cache.set(from + i, rows[i]);
      update();
    };
    x.open('GET', 'rows?gen=' + gen + '&from=' + from + '&count=' + count);
    x.send();
  }

  function tell() {
    var what = L.gen + '&from=' + L.start + '&count=' + (L.end - L.start);
    if (what === L.told)
      return;
    L.told = what;
    var x = new XMLHttpRequest();
    x.open('GET', 'shown?gen=' + what);
    x.send();
  }

  function forget(start, end) {
    if (L.cache.size < 4 * (end - start) + 1000)
      return;
    L.cache.forEach(function (row, index) {
      if (index < start - 500 || index >= end + 500)
        L.cache.delete(index);
    });
  }

  function update() {
    if (!L.table)
      return;
    var g = geometry();
    var r = visibleRange(g.v, g.view, L.h, L.count, Math.ceil(g.view / L.h));
    var lo = -1, hi = -1;
    for (var i = r.start; i < r.end; ++i) {
      if (!L.cache.has(i)) {
        if (lo < 0)
          lo = i;
        hi = i + 1;
      }
    }
    if (lo >= 0) {
      // Until the rows come, those there stay where they belong.
      setMargins(g);
      if (!L.asking && !L.dry)
        ask(lo, hi - lo);
      return;
    }
    place(r.start, r.end);
    setMargins(g);
    forget(r.start, r.end);
    tell();
  }

  function markSelection() {
    var rows = L.table.rows;
    for (var i = 0; i < rows.length; ++i) {
      if (L.start + i === L.selected)
        rows[i].setAttribute('aria-selected', 'true');
      else if (rows[i].hasAttribute('aria-selected'))
        rows[i].removeAttribute('aria-selected');
    }
  }

  // Scrolls as little as needed to have the row in view; the first row brings the header back.
  function reveal(row) {
    var g = geometry();
    if (row <= 0) {
      g.doc.scrollTop = 0;
      return;
    }
    var top = g.base + g.rel + row * L.h - g.v;
    var v;
    if (top < g.doc.scrollTop)
      v = row * L.h;
    else if (top + L.h > g.doc.scrollTop + g.view)
      v = (row + 1) * L.h - g.view;
    else
      return;
    g.doc.scrollTop = row >= L.count - 1 ? g.doc.scrollHeight : g.base + Math.max(v, 0) / g.scale;
  }

  // The program's calls.
  function show(gen, count, selected, h, scroll) {
    L.table = document.getElementById('puntozero');
    if (!L.table)
      return 0;
    setStyle(h);
    setColumns(L.table);
    L.gen = gen;
    L.count = count;
    L.selected = selected;
    L.h = h;
    L.cache = new Map();
    L.dry = false;
    L.told = '';
    clearRows();
    var g = geometry();
    L.top = 0;
    L.table.style.marginTop = '0px';
    L.table.style.marginBottom = g.height + 'px';
    g.doc.scrollTop = scroll === 'restore' ? L.savedTop : 0;
    if (scroll === 'restore')
      reveal(selected);
    update();
    return count;
  }

  function select(gen, row) {
    if (gen !== L.gen || !L.table)
      return -1;
    L.selected = row;
    reveal(row);
    update();
    markSelection();
    return row;
  }

  function rememberScroll() {
    L.savedTop = scroller().scrollTop;
    return L.savedTop;
  }

  window.addEventListener('scroll', update, {passive: true});
  window.addEventListener('resize', update);

  // The document as the program's listing code sees it: elements by id, and changes to them.
  function find(n) {
    var b = document.body;
    if (!b)
      return null;
    var all = b.getElementsByTagName('*');
    for (var k = 0; k < all.length; ++k)
      if (all[k].id === n || all[k].getAttribute('name') === n)
        return all[k];
    return null;
  }

  var E = [];
  function run(o) {
    var n = o.length, i = 0;
    while (i < n) {
      switch (o[i]) {
      case 1: E[o[i + 1]] = document.getElementById(o[i + 2]); i += 3; break;
      case 2: E[o[i + 1]] = find(o[i + 2]); i += 3; break;
      case 5: E[o[i + 1]].className = o[i + 2]; i += 3; break;
      case 6: E[o[i + 1]].innerHTML = o[i + 2]; i += 3; break;
      case 7: E[o[i + 1]].innerText = o[i + 2]; i += 3; break;
      case 8: E[o[i + 1]].title = o[i + 2]; i += 3; break;
      case 9: E[o[i + 1]].setAttribute(o[i + 2], o[i + 3]); i += 4; break;
      default: throw new Error('bad page operation ' + o[i]);
      }
    }
    return n;
  }

  // Only a loaded page of ours that no probe has claimed yet is a new document; the one being
  // replaced, or a page still loading, is answered with a wait.
  function claim(gen, ids, kids) {
    if (location.protocol !== 'res:' || document.readyState !== 'complete')
      return {wait: true};
    if (window.__quillory)
      return {wait: true, gen: window.__quillory.gen};
    var r = {doc: !!document.documentElement, body: !!document.body, ids: {}, kids: {}};
    ids.forEach(function (id) { var e = document.getElementById(id); r.ids[id] = e ? e.tagName : ''; });
    kids.forEach(function (n) { var e = find(n); r.kids[n] = e ? e.tagName : ''; });
    window.__quillory = {gen: gen, run: run, show: show, select: select, rememberScroll: rememberScroll};
    return r;
  }

  // setMaxHeight is for tests, which cannot afford a listing tall enough to need the mapping.
  window.__quilloryListing = {
    claim: claim,
    visibleRange: visibleRange,
    setMaxHeight: function (px) { MAX_HEIGHT = px; update(); return px; }
  };
})();
