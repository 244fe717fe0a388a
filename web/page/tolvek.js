// The page: draws what the engine (compiled from the same C++ as tolvek-cli)
// computes. Every rule of reading, decoding, naming and flow stays in the
// engine; this script moves files in and out of its file system and shows.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const IN = '/in';            // the opened files, one image at a time
  const state = {
    engine: null, files: [], input: '', output: '', lines: [], addresses: null,
    cursor: 0, column: 0, back: [], forward: [], labels: [], shownLabels: [],
    selectedLabel: -1, sort: { key: 'address', up: true }, match: null,
    rowHeight: 18, symbolPending: null, symbolNameLoaded: '', chipNames: [], partNames: null,
  };
  const page = { ready: false, runs: 0, pending: 0 };
  // a handler that reads files finishes later: the tests wait for pending 0
  const later = (work) => async (...args) => {
    page.pending++;
    try { await work(...args); } finally { page.pending--; }
  };
  window.tolvekPage = page;
  const latin1 = new TextDecoder('windows-1252');

  // ---- engine start: unpack the data files, then list the chips ----
  async function gunzip(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }
  async function start() {
    const t0 = performance.now();
    const engine = await TolvekEngine();
    state.engine = engine;
    const unpack = async (name) => {
      const packed = '/data/' + name + '.gz';
      engine.FS.writeFile('/data/' + name, await gunzip(engine.FS.readFile(packed)));
      engine.FS.unlink(packed);
    };
    // the chip list first; the device data, which only a source run needs, after
    await unpack('chipdat.txt');
    state.devicesReady = unpack('devices.txt');
    engine.FS.mkdir(IN);
    const error = engine.useBuiltInChipData();
    state.chipNames = toArray(engine.chips());
    fillChipList();
    setStatus(error || 'Open an image to start.', !!error);
    page.startMs = performance.now() - t0;
    page.readyAt = performance.now();  // from the start of navigation
    page.ready = true;
    document.body.dataset.ready = '1';
    updateButtons();
  }
  const toArray = (v) => Array.from(v);

  // ---- status, error panel ----
  function setStatus(text, red) {
    $('status').textContent = text;
    $('status').classList.toggle('red', !!red);
  }
  function showOutcome(r) {
    setStatus(r.status, r.statusRed);
    const panel = $('errorPanel');
    panel.hidden = !(r.panel || r.lineVisible);
    const legend = $('legend');
    legend.textContent = '';
    if (r.panel) {
      for (const f of toArray(r.legend)) {
        const span = document.createElement('span');
        span.textContent = f.text;
        if (f.red) span.className = 'red';
        legend.appendChild(span);
      }
    }
    $('recordLine').hidden = !r.lineVisible;
    $('lineNumber').textContent = r.lineVisible ? r.lineNumber : '';
    $('lineText').textContent = r.lineVisible ? r.line : '';
    $('inhx32Hint').hidden = !r.inhx32Hint;
    const messages = $('chipMessages');
    messages.textContent = r.chipMessages || '';
    messages.hidden = !r.chipMessages;
  }
  function clearOutcome() {
    $('errorPanel').hidden = true;
    $('chipMessages').hidden = true;
  }

  // ---- choices ----
  const format = () => Number(document.querySelector('input[name=format]:checked').value);
  const wantsSource = () => document.querySelector('input[name=output]:checked').value === 'asm';
  const chosenChip = () => $('chipList').value || '';

  function fillChipList() {
    const names = wantsSource() ? (state.partNames || []) : state.chipNames;
    const filter = $('chipFilter').value.trim().toLowerCase();
    const list = $('chipList');
    const before = list.value || (wantsSource() ? state.lastPart : state.lastChip);
    list.textContent = '';
    const fragment = document.createDocumentFragment();
    for (const name of names) {
      if (filter && !name.toLowerCase().includes(filter)) continue;
      const option = document.createElement('option');
      option.value = option.textContent = name;
      fragment.appendChild(option);
    }
    list.appendChild(fragment);
    if (before && [...list.options].some((o) => o.value === before)) list.value = before;
    else if (list.options.length) list.selectedIndex = 0;
    $('chipCaption').textContent = wantsSource() ? 'Part' : 'Chip';
    $('chipDataRow').hidden = wantsSource();
    updateButtons();
  }
  async function outputChanged() {
    if (wantsSource()) await state.devicesReady;
    if (wantsSource() && !state.partNames) {
      const parts = state.engine.parts();
      state.partNames = toArray(parts.names);
      if (parts.error) setStatus(parts.error, true);
    }
    $('chipFilter').value = '';
    fillChipList();
  }
  function chipDataChanged() {
    const choice = $('chipData').value;
    if (choice === 'file') { $('chipDataFile').click(); return; }
    if (choice === 'none') state.engine.useNoChipData();
    else {
      const error = state.engine.useBuiltInChipData();
      if (error) setStatus(error, true);
    }
    state.chipNames = toArray(state.engine.chips());
    fillChipList();
  }
  async function chipDataFileChosen() {
    const file = $('chipDataFile').files[0];
    if (!file) { $('chipData').value = 'builtin'; return; }
    const path = '/chipdata/' + file.name.replace(/\//g, '_');
    try { state.engine.FS.mkdir('/chipdata'); } catch (e) { /* there already */ }
    state.engine.FS.writeFile(path, new Uint8Array(await file.arrayBuffer()));
    const error = state.engine.useChipData(path);
    if (error) setStatus(error, true);
    else {
      let option = $('chipData').querySelector('option[data-file]');
      if (!option) {
        option = document.createElement('option');
        option.dataset.file = '1';
        $('chipData').insertBefore(option, $('chipData').lastElementChild);
      }
      option.value = 'loaded';
      option.textContent = file.name;
      $('chipData').value = 'loaded';
    }
    $('chipDataFile').value = '';
    state.chipNames = toArray(state.engine.chips());
    fillChipList();
  }

  // ---- files in and out of the engine's file system ----
  function clearInputs() {
    const FS = state.engine.FS;
    for (const name of FS.readdir(IN)) {
      if (name !== '.' && name !== '..') FS.unlink(IN + '/' + name);
    }
  }
  const safeName = (name) => name.replace(/[\/\0]/g, '_') || 'image';
  async function openImages(fileList) {
    const files = [...fileList];
    if (!files.length || !state.engine) return;
    clearInputs();
    state.files = [];
    for (const file of files) {
      const path = IN + '/' + safeName(file.name);
      state.engine.FS.writeFile(path, new Uint8Array(await file.arrayBuffer()));
      state.files.push(path);
    }
    // two files that make a pair: the INHX8S format reads them
    if (files.length === 2) {
      const low = state.engine.runInput(state.files, 1);
      const partner = state.files.find((f) => f !== low);
      if (low && partner && state.engine.runInput([partner, low], 1) === low) {
        document.querySelector('input[name=format][value="1"]').checked = true;
      }
    }
    $('fileName').textContent = files.map((f) => f.name).join(' + ');
    $('fileName').classList.remove('muted');
    if (state.symbolPending) writeSymbols(state.symbolPending);
    updateSymbolName();
    clearOutcome();
    setStatus('Waiting for Run');
    updateButtons();
  }
  function currentInput() { return state.engine.runInput(state.files, format()); }
  function symbolPath() {
    const input = currentInput();
    return input ? state.engine.symbolFileFor(input) : '';
  }
  function exists(path) {
    try { state.engine.FS.stat(path); return true; } catch (e) { return false; }
  }
  function writeSymbols(bytes) {
    const path = symbolPath();
    if (!path) { state.symbolPending = bytes; return; }
    state.engine.FS.writeFile(path, bytes);
    state.symbolPending = null;
  }
  async function symbolFileChosen() {
    const file = $('symbolFile').files[0];
    $('symbolFile').value = '';
    if (!file) return;
    state.symbolNameLoaded = file.name;
    writeSymbols(new Uint8Array(await file.arrayBuffer()));
    updateSymbolName();
    setStatus('Symbol file ' + file.name + ' loaded; the next run reads it.');
    updateButtons();
  }
  function updateSymbolName() {
    const path = state.files.length ? symbolPath() : '';
    $('symbolName').textContent = path && exists(path) ? baseName(path)
      : state.symbolPending ? state.symbolNameLoaded : '';
  }
  const baseName = (path) => path.slice(path.lastIndexOf('/') + 1);

  function download(path) {
    if (!path || !exists(path)) return;
    const bytes = state.engine.FS.readFile(path);
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    const a = document.createElement('a');
    a.href = url;
    a.download = baseName(path);
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }

  // ---- a run ----
  async function run() {
    if (!state.engine || !state.files.length) return;
    const t0 = performance.now();
    page.shownMs = null;
    if (wantsSource()) await state.devicesReady;
    const input = currentInput();
    let r;
    if (wantsSource()) {
      state.lastPart = chosenChip();
      r = state.engine.runSource(input, format() === 1, chosenChip(), symbolPath());
      clearOutcome();
      setStatus(r.status, !r.written);
      state.output = r.written ? r.output : '';
    } else {
      state.lastChip = chosenChip();
      r = state.engine.runListing(input, format(), chosenChip());
      showOutcome(r);
      state.output = r.output;
    }
    page.runs++;
    page.lastRun = { status: r.status, output: state.output };
    if (state.output) openView(state.output, true);
    page.runMs = performance.now() - t0;
    updateButtons();
    // shown: once the frame with the new view has been painted
    requestAnimationFrame(() => setTimeout(() => { page.shownMs = performance.now() - t0; }, 0));
  }

  // ---- the listing view ----
  function openView(path, fresh) {
    const status = state.engine.open(path, symbolPath());
    reloadText();
    if (fresh) { state.back = []; state.forward = []; state.cursor = 0; state.column = 0; }
    state.selectedLabel = -1;
    $('listing').scrollTop = 0;
    showLabels();
    showReferences(-1);
    $('viewStatus').textContent = baseName(path) + ': ' + status;
    render();
    cursorMoved();
    updateHistory();
  }
  function reloadText() {
    const count = state.engine.lineCount();
    const lines = latin1.decode(state.engine.text().slice()).split('\n');
    lines.length = count;
    state.lines = lines;
    state.addresses = state.engine.addresses();
    state.labels = toArray(state.engine.labels()).map((l, i) => ({ ...l, index: i }));
    state.match = null;
    $('spacer').style.height = (count * state.rowHeight) + 'px';
  }
  const hex4 = (v) => v.toString(16).toUpperCase().padStart(4, '0');

  function measureRow() {
    const probe = document.createElement('div');
    probe.className = 'ln';
    probe.style.visibility = 'hidden';
    probe.textContent = 'M';
    $('rows').appendChild(probe);
    const h = probe.getBoundingClientRect().height || 18;
    probe.remove();
    if (Math.abs(h - state.rowHeight) > 0.01) {
      state.rowHeight = h;
      $('spacer').style.height = (state.lines.length * h) + 'px';
    }
  }
  function render() {
    const view = $('listing');
    const rows = $('rows');
    const h = state.rowHeight;
    const first = Math.max(0, Math.floor(view.scrollTop / h) - 5);
    const last = Math.min(state.lines.length, Math.ceil((view.scrollTop + view.clientHeight) / h) + 5);
    rows.textContent = '';
    const fragment = document.createDocumentFragment();
    for (let i = first; i < last; i++) fragment.appendChild(drawLine(i));
    rows.appendChild(fragment);
  }
  function drawLine(i) {
    const text = state.lines[i] || '';
    const div = document.createElement('div');
    div.className = 'ln' + (i === state.cursor ? ' cur' : '');
    div.style.top = (i * state.rowHeight) + 'px';
    div.dataset.line = i;
    const margin = document.createElement('span');
    margin.className = 'a';
    const address = state.addresses[i];
    margin.textContent = address >= 0 ? hex4(address) : '';
    div.appendChild(margin);
    const tokens = state.engine.tokens(i);
    let at = 0;
    const piece = (start, end, cls) => {
      if (end <= start) return;
      const span = document.createElement('span');
      span.dataset.start = start;
      if (cls) span.className = cls;
      span.textContent = text.slice(start, end);
      div.appendChild(span);
    };
    for (let t = 0; t + 3 < tokens.length; t += 4) {
      const start = tokens[t], end = tokens[t] + tokens[t + 1];
      piece(at, start, '');
      const role = tokens[t + 2], link = tokens[t + 3];
      piece(start, end, (role ? 't' + role : '') + (link ? ' k' : ''));
      at = end;
    }
    piece(at, text.length, '');
    if (state.match && state.match.line === i) markMatch(div, state.match);
    return div;
  }
  function markMatch(div, match) {
    for (const span of div.querySelectorAll('span[data-start]')) {
      const s = Number(span.dataset.start), e = s + span.textContent.length;
      if (match.column >= s && match.column < e) {
        const text = span.textContent, a = match.column - s, b = Math.min(text.length, a + match.length);
        span.textContent = '';
        span.append(text.slice(0, a));
        const m = document.createElement('span');
        m.className = 'm';
        m.textContent = text.slice(a, b);
        span.append(m, text.slice(b));
        break;
      }
    }
  }
  function ensureVisible(line, top) {
    const view = $('listing');
    const y = line * state.rowHeight;
    if (top) view.scrollTop = Math.max(0, y - view.clientHeight / 3);
    else if (y < view.scrollTop) view.scrollTop = y;
    else if (y + state.rowHeight > view.scrollTop + view.clientHeight)
      view.scrollTop = y + state.rowHeight - view.clientHeight;
  }
  function setCursor(line, column, top) {
    if (!state.lines.length) return;
    state.cursor = Math.max(0, Math.min(state.lines.length - 1, line));
    state.column = Math.max(0, column || 0);
    ensureVisible(state.cursor, top);
    render();
    cursorMoved();
  }
  function jumpTo(line) {
    if (line < 0 || line >= state.lines.length) return;
    if (line !== state.cursor) { state.back.push(state.cursor); state.forward = []; }
    setCursor(line, 0, true);
    $('listing').focus();
    updateHistory();
  }
  function goBack() {
    if (!state.back.length) return;
    state.forward.push(state.cursor);
    setCursor(state.back.pop(), 0, true);
    updateHistory();
  }
  function goForward() {
    if (!state.forward.length) return;
    state.back.push(state.cursor);
    setCursor(state.forward.pop(), 0, true);
    updateHistory();
  }
  function updateHistory() {
    $('back').disabled = !state.back.length;
    $('forward').disabled = !state.forward.length;
  }
  function cursorMoved() {
    $('cursorText').textContent = state.lines.length ? state.engine.cursorText(state.cursor) : '';
    const label = state.engine.labelBefore(state.cursor);
    if (label >= 0 && label !== state.selectedLabel) {
      const row = $('labelTable').querySelector('tr[data-label="' + label + '"]');
      if (row) selectLabel(label, false);
    }
  }
  // the column of a click: the piece it hit and the character within it
  function columnAt(event) {
    const span = event.target.closest('span[data-start]');
    if (!span) return 0;
    let offset = 0;
    const caret = document.caretRangeFromPoint ? document.caretRangeFromPoint(event.clientX, event.clientY) : null;
    if (caret && span.contains(caret.startContainer)) {
      const walker = document.createTreeWalker(span, NodeFilter.SHOW_TEXT);
      for (let node = walker.nextNode(); node; node = walker.nextNode()) {
        if (node === caret.startContainer) { offset += caret.startOffset; break; }
        offset += node.length;
      }
    }
    return Number(span.dataset.start) + offset;
  }
  function listingClick(event) {
    const row = event.target.closest('.ln');
    if (!row) return;
    const line = Number(row.dataset.line);
    const column = columnAt(event);
    const link = event.target.closest('.k');
    setCursor(line, column);
    if (link) {
      const target = state.engine.targetAt(line, Number(link.dataset.start));
      if (target >= 0) jumpTo(target);
    }
  }

  // ---- functions and labels, references ----
  function showLabels() {
    const filter = $('labelFilter').value.trim().toLowerCase();
    const { key, up } = state.sort;
    const shown = state.labels.filter((l) => !filter || l.name.toLowerCase().includes(filter) ||
      (l.address >= 0 && hex4(l.address).toLowerCase().includes(filter)) || String(l.uses).includes(filter));
    shown.sort((a, b) => {
      const x = key === 'name' ? a.name.toLowerCase() : a[key], y = key === 'name' ? b.name.toLowerCase() : b[key];
      return (x < y ? -1 : x > y ? 1 : a.index - b.index) * (up ? 1 : -1);
    });
    state.shownLabels = shown;
    const body = $('labelTable').tBodies[0];
    body.textContent = '';
    const fragment = document.createDocumentFragment();
    for (const l of shown) {
      const tr = document.createElement('tr');
      tr.dataset.label = l.index;
      if (l.function) { tr.className = 'function'; tr.title = 'Function (a call target)'; }
      else tr.title = 'Label (a jump target)';
      if (l.index === state.selectedLabel) tr.classList.add('selected');
      const cells = [[l.address >= 0 ? hex4(l.address) : '', 'num'], [l.name, ''], [String(l.uses), 'num']];
      for (const [text, cls] of cells) {
        const td = document.createElement('td');
        td.textContent = text;
        if (cls) td.className = cls;
        tr.appendChild(td);
      }
      fragment.appendChild(tr);
    }
    body.appendChild(fragment);
  }
  function selectLabel(index, scroll) {
    state.selectedLabel = index;
    for (const tr of $('labelTable').querySelectorAll('tr.selected')) tr.classList.remove('selected');
    const row = $('labelTable').querySelector('tr[data-label="' + index + '"]');
    if (row) {
      row.classList.add('selected');
      if (scroll !== false || true) row.scrollIntoView({ block: 'nearest' });
    }
    showReferences(index);
  }
  function showReferences(index) {
    const body = $('refTable').tBodies[0];
    body.textContent = '';
    const title = $('refTitle');
    if (index < 0 || index >= state.labels.length) {
      title.textContent = 'Select a label to see where it is used.';
      return;
    }
    const refs = toArray(state.engine.references(index));
    const label = state.labels[index];
    let calls = 0, jumps = 0;
    for (const r of refs) {
      calls += r.kind === 'call'; jumps += r.kind === 'jump';
      const tr = document.createElement('tr');
      tr.dataset.line = r.line;
      if (r.line < 0) tr.title = 'This address is not in the listing.';
      for (const text of [hex4(r.from), r.kind, r.instruction]) {
        const td = document.createElement('td');
        td.textContent = text;
        tr.appendChild(td);
      }
      body.appendChild(tr);
    }
    title.textContent = '';
    const b = document.createElement('b');
    b.textContent = label.name;
    title.appendChild(b);
    const places = (n) => (n === 1 ? '1 place' : n + ' places');
    const parts = [];
    if (calls) parts.push('called from ' + places(calls));
    if (jumps) parts.push('jumped to from ' + places(jumps));
    if (refs.length - calls - jumps) parts.push('used in ' + places(refs.length - calls - jumps) + ' more');
    title.append(refs.length ? ': ' + parts.join(', ') : '');
    if (!refs.length) { title.textContent = 'Nothing calls or jumps to ' + label.name + '.'; }
  }

  // ---- find, go to ----
  function find(backward) {
    const text = $('find').value;
    if (!text || !state.lines.length) { $('find').focus(); return false; }
    const needle = text.toLowerCase();
    const n = state.lines.length;
    const from = state.match && state.match.line === state.cursor ? state.match.column : state.column - (backward ? 0 : 1);
    const search = (line, startCol, wrapped) => {
      for (let k = 0; k <= n; k++) {
        const i = backward ? (line - k + n) % n : (line + k) % n;
        if (!wrapped && (backward ? i > line : i < line)) break;
        const hay = state.lines[i].toLowerCase();
        let col;
        if (k === 0 && !wrapped) {
          col = backward ? (startCol > 0 ? hay.lastIndexOf(needle, startCol - 1) : -1) : hay.indexOf(needle, startCol + 1);
        } else col = backward ? hay.lastIndexOf(needle) : hay.indexOf(needle);
        if (col >= 0) return { line: i, column: col };
      }
      return null;
    };
    let hit = null;
    // to the end (or the top), then round again
    for (let k = 0; k < n && !hit; k++) {
      const i = backward ? state.cursor - k : state.cursor + k;
      if (i < 0 || i >= n) break;
      const hay = state.lines[i].toLowerCase();
      const col = k === 0 ? (backward ? (from > 0 ? hay.lastIndexOf(needle, from - 1) : -1) : hay.indexOf(needle, from + 1))
        : (backward ? hay.lastIndexOf(needle) : hay.indexOf(needle));
      if (col >= 0) hit = { line: i, column: col };
    }
    let note = '';
    if (!hit) {
      hit = search(backward ? n - 1 : 0, backward ? Infinity : -1, true);
      if (hit) note = backward ? 'Continued from the end.' : 'Continued from the top.';
    }
    if (!hit) { $('viewStatus').textContent = '"' + text + '" is not in the listing.'; return false; }
    state.match = { line: hit.line, column: hit.column, length: text.length };
    setCursor(hit.line, hit.column, false);
    $('viewStatus').textContent = note;
    return true;
  }
  function goTo() {
    const place = state.engine.goTo($('goTo').value);
    if (place.status) $('viewStatus').textContent = place.status;
    if (place.line >= 0) { jumpTo(place.line); return true; }
    return false;
  }

  // ---- rename ----
  let renameAt = null;
  function startRename() {
    if (!state.lines.length) return;
    const target = state.engine.renameTargetAt(state.cursor, state.column);
    if (!target.ok) { $('viewStatus').textContent = target.why; return; }
    renameAt = { line: state.cursor, column: state.column };
    $('renameTitle').textContent = target.label ? 'Rename Label' : 'Name Data Memory Location';
    $('renamePrompt').textContent = target.label ? 'New name for the label at ' + hex4(target.address) + ':'
      : 'Name for data memory location 0x' + target.address.toString(16).padStart(3, '0') + ':';
    $('renameInput').value = target.name;
    $('renameError').textContent = '';
    $('renameDialog').showModal();
    $('renameInput').select();
  }
  function finishRename(event) {
    event.preventDefault();
    if (!renameAt) return;
    const path = symbolPath();
    if (!path) { $('renameError').textContent = 'Open the image this listing was made from first.'; return; }
    const r = state.engine.rename(renameAt.line, renameAt.column, $('renameInput').value, path);
    if (r.error) { $('renameError').textContent = r.error; return; }
    $('renameDialog').close();
    if (!r.changed) return;
    const moved = (l) => state.engine.moved(l);
    const cursor = moved(state.cursor);
    const top = Math.floor($('listing').scrollTop / state.rowHeight);
    state.back = state.back.map(moved);
    state.forward = state.forward.map(moved);
    reloadText();
    showLabels();
    state.cursor = cursor;
    $('listing').scrollTop = moved(top) * state.rowHeight;
    render();
    cursorMoved();
    showReferences(state.selectedLabel);
    $('viewStatus').textContent = r.status;
    updateSymbolName();
    updateButtons();
    $('listing').focus();
  }

  // ---- buttons and keys ----
  function updateButtons() {
    $('runButton').disabled = !state.engine || !state.files.length || (!chosenChip() && wantsSource());
    $('downloadResult').disabled = !state.output;
    $('downloadResult').textContent = state.output ? 'Download ' + baseName(state.output) : 'Download result';
    const sym = state.files.length ? symbolPath() : '';
    $('downloadSymbols').disabled = !(sym && exists(sym));
    const viewing = state.lines.length > 0;
    for (const id of ['goTo', 'find', 'findNext', 'findPrevious', 'rename', 'labelFilter']) $(id).disabled = !viewing;
  }
  function listingKeys(event) {
    const page = Math.max(1, Math.floor($('listing').clientHeight / state.rowHeight) - 1);
    const moves = { ArrowUp: -1, ArrowDown: 1, PageUp: -page, PageDown: page };
    if (event.key in moves && !event.altKey) {
      setCursor(state.cursor + moves[event.key], state.column);
    } else if (event.key === 'Home' && event.ctrlKey) setCursor(0, 0);
    else if (event.key === 'End' && event.ctrlKey) setCursor(state.lines.length - 1, 0);
    else if (event.key === 'Home') setCursor(state.cursor, 0);
    else if (event.key === 'End') setCursor(state.cursor, (state.lines[state.cursor] || '').length);
    else if (event.key === 'ArrowLeft' && !event.altKey) setCursor(state.cursor, state.column - 1);
    else if (event.key === 'ArrowRight' && !event.altKey) setCursor(state.cursor, Math.min(state.column + 1, (state.lines[state.cursor] || '').length));
    else if (event.key === 'Enter') {
      const target = state.engine.targetAt(state.cursor, state.column);
      if (target >= 0) jumpTo(target);
    } else return;
    event.preventDefault();
  }
  function windowKeys(event) {
    if ($('renameDialog').open) return;
    const key = event.key;
    const ctrl = event.ctrlKey || event.metaKey;
    if (event.altKey && key === 'ArrowLeft') goBack();
    else if (event.altKey && key === 'ArrowRight') goForward();
    else if (key === 'BrowserBack') goBack();
    else if (key === 'BrowserForward') goForward();
    else if (ctrl && (key === 'f' || key === 'F')) {
      const selected = String(window.getSelection());
      if (selected && !selected.includes('\n')) $('find').value = selected;
      $('find').focus(); $('find').select();
    } else if (ctrl && (key === 'g' || key === 'G')) { $('goTo').focus(); $('goTo').select(); }
    else if (key === 'F3') find(event.shiftKey);
    else if (key === 'F2') startRename();
    else if (ctrl && (key === 'o' || key === 'O')) $('imageFile').click();
    else if (ctrl && key === 'Enter') run();
    else return;
    event.preventDefault();
  }

  function wire() {
    for (const r of document.querySelectorAll('input[name=format]')) r.addEventListener('change', () => { updateSymbolName(); updateButtons(); });
    for (const r of document.querySelectorAll('input[name=output]')) r.addEventListener('change', later(outputChanged));
    $('imageFile').addEventListener('change', later(async () => { await openImages($('imageFile').files); $('imageFile').value = ''; }));
    const zone = document.body;
    zone.addEventListener('dragover', (e) => { e.preventDefault(); $('dropZone').classList.add('over'); });
    zone.addEventListener('dragleave', () => $('dropZone').classList.remove('over'));
    zone.addEventListener('drop', (e) => { e.preventDefault(); $('dropZone').classList.remove('over'); later(openImages)(e.dataTransfer.files); });
    $('chipFilter').addEventListener('input', fillChipList);
    $('chipFilter').addEventListener('keydown', (e) => {
      const list = $('chipList');
      if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        list.selectedIndex = Math.max(0, Math.min(list.options.length - 1, list.selectedIndex + (e.key === 'ArrowDown' ? 1 : -1)));
        e.preventDefault(); updateButtons();
      } else if (e.key === 'Enter') { e.preventDefault(); run(); }
    });
    $('chipList').addEventListener('change', updateButtons);
    $('chipData').addEventListener('change', chipDataChanged);
    $('chipDataFile').addEventListener('change', later(chipDataFileChosen));
    $('chipDataFile').addEventListener('cancel', () => { $('chipData').value = 'builtin'; });
    $('runButton').addEventListener('click', run);
    $('downloadResult').addEventListener('click', () => download(state.output));
    $('downloadSymbols').addEventListener('click', () => download(symbolPath()));
    $('symbolFile').addEventListener('change', later(symbolFileChosen));
    $('listing').addEventListener('scroll', render);
    $('listing').addEventListener('click', listingClick);
    $('listing').addEventListener('keydown', listingKeys);
    document.addEventListener('keydown', windowKeys);
    $('back').addEventListener('click', goBack);
    $('forward').addEventListener('click', goForward);
    $('goTo').addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); goTo(); } });
    $('find').addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); find(e.shiftKey); } });
    $('findNext').addEventListener('click', () => find(false));
    $('findPrevious').addEventListener('click', () => find(true));
    $('rename').addEventListener('click', startRename);
    for (const id of ['goTo', 'find', 'labelFilter']) {
      $(id).addEventListener('keydown', (e) => { if (e.key === 'Escape') { e.preventDefault(); $('listing').focus(); } });
    }
    $('labelFilter').addEventListener('input', showLabels);
    $('labelTable').tHead.addEventListener('click', (e) => {
      const key = e.target.dataset.sort;
      if (!key) return;
      state.sort = { key, up: state.sort.key === key ? !state.sort.up : true };
      showLabels();
    });
    $('labelTable').tBodies[0].addEventListener('click', (e) => {
      const tr = e.target.closest('tr');
      if (!tr) return;
      const index = Number(tr.dataset.label);
      selectLabel(index);
      jumpTo(state.labels[index].line);
    });
    $('refTable').tBodies[0].addEventListener('click', (e) => {
      const tr = e.target.closest('tr');
      if (tr && Number(tr.dataset.line) >= 0) jumpTo(Number(tr.dataset.line));
    });
    $('renameDialog').querySelector('form').addEventListener('submit', finishRename);
    $('renameCancel').addEventListener('click', () => { renameAt = null; $('renameDialog').close(); });
    $('renameDialog').addEventListener('close', () => { renameAt = null; $('listing').focus(); });
    new ResizeObserver(() => { measureRow(); render(); }).observe($('listing'));
    window.matchMedia('(prefers-color-scheme: dark)');
  }

  // what the tests and the benchmark read: the bytes a download gives
  page.bytes = (which) => {
    const path = which === 'symbols' ? symbolPath() : state.output;
    if (!path || !exists(path)) return null;
    const bytes = state.engine.FS.readFile(path);
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(s);
  };
  page.state = state;

  wire();
  updateButtons();
  start().catch((e) => setStatus('The engine did not start: ' + e, true));
})();
