// The studio's page: device, files, targets and Stop. Everything it shows comes from the server,
// which does the work through the library; this file only asks and draws.

const $ = (id) => document.getElementById(id);

// Every state-changing request carries this header; the server refuses those that lack it.
async function api(method, path, body) {
  const options = { method, headers: {}, credentials: 'same-origin' };
  if (method !== 'GET') options.headers['X-Korvan-Studio'] = '1';
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = typeof body === 'string' ? body : JSON.stringify(body);
  }
  const response = await fetch(path, options);
  const data = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw Object.assign(new Error(data.error || response.statusText), { data });
  return data;
}

function showState(state) {
  const label = $('state');
  label.textContent = state.lost ? 'device lost: connect again' : state.connected ? state.state : 'not connected';
  label.className = 'state' + (state.running ? ' running' : '') + (state.lost ? ' lost' : '');
  $('connect-virtual').hidden = !state.virtualAvailable;
  $('disconnect').disabled = !state.connected;
  const identity = $('identity');
  identity.replaceChildren();
  if (state.device) {
    for (const [key, value] of Object.entries(state.device)) {
      identity.append(Object.assign(document.createElement('dt'), { textContent: key }));
      identity.append(Object.assign(document.createElement('dd'), { textContent: String(value) }));
    }
  }
  const error = $('last-error');
  error.hidden = !state.lastError;
  error.textContent = state.lastError ? state.lastError.text : '';
}

function report(error) {
  const box = $('last-error');
  box.hidden = false;
  box.textContent = error.message;
}

async function searchDevices() {
  const select = $('devices');
  select.replaceChildren(Object.assign(document.createElement('option'), { textContent: 'searching…' }));
  try {
    const { devices } = await api('GET', '/api/devices');
    select.replaceChildren();
    for (const d of devices) {
      const text = `${d.port}  ${d.serial}  ${d.description}${d.virtual ? ' (virtual)' : ''}`;
      select.append(Object.assign(document.createElement('option'), { value: d.port, textContent: text }));
    }
    if (devices.length === 0) select.append(Object.assign(document.createElement('option'), { textContent: 'no device' }));
  } catch (e) {
    report(e);
  }
}

async function listFolder(dir) {
  try {
    const listing = await api('GET', '/api/files?dir=' + encodeURIComponent(dir));
    $('folder').textContent = '/' + listing.dir;
    const list = $('files');
    list.replaceChildren();
    if (listing.dir !== '') {
      const up = listing.dir.split('/').slice(0, -1).join('/');
      const item = Object.assign(document.createElement('li'), { textContent: '..', className: 'folder' });
      item.addEventListener('click', () => listFolder(up));
      list.append(item);
    }
    for (const entry of listing.entries) {
      if (entry.kind !== 'folder' && entry.kind !== 'sequence') continue;
      const item = Object.assign(document.createElement('li'), { textContent: entry.name, className: entry.kind });
      item.addEventListener('click', () => (entry.kind === 'folder' ? listFolder(entry.path) : openSequence(entry.path)));
      list.append(item);
    }
  } catch (e) {
    report(e);
  }
}

function microseconds(ticks, tickTime) {
  const us = ticks * tickTime;
  return us >= 1e6 ? (us / 1e6).toFixed(2) + ' s' : us >= 1e3 ? (us / 1e3).toFixed(1) + ' ms' : us + ' µs';
}

function showCheck(check) {
  const body = $('targets').tBodies[0];
  body.replaceChildren();
  for (const e of check.elements) {
    const row = body.insertRow();
    for (const text of [e.index, e.type, microseconds(e.start, check.tickTime), microseconds(e.duration, check.tickTime),
      microseconds(e.illumination, check.tickTime)]) row.insertCell().textContent = String(text);
  }
  const error = $('sequence-error');
  error.hidden = check.ok;
  if (!check.ok) {
    error.textContent = `${check.error.pointer}: ${check.error.message}`;
    const row = body.insertRow();
    row.className = 'invalid';
    row.insertCell().textContent = check.error.pointer.split('/').pop();
    row.insertCell().textContent = 'invalid';
  }
  $('sequence-summary').textContent = check.ok
    ? `total ${microseconds(check.endTick, check.tickTime)}, light ${microseconds(check.illuminationTicks, check.tickTime)}, ` +
      `${check.deviceMemoryBytes} bytes of device memory`
    : '';
}

async function openSequence(path) {
  try {
    const opened = await api('GET', '/api/sequence?path=' + encodeURIComponent(path));
    $('sequence-name').textContent = opened.path;
    showCheck(opened.check);
  } catch (e) {
    $('sequence-name').textContent = path;
    $('sequence-error').hidden = false;
    $('sequence-error').textContent = (e.data && e.data.pointer ? e.data.pointer + ': ' : '') + e.message;
  }
}

// Stop first, questions later: no confirmation, and it works in every state.
async function stopAll() {
  try {
    await api('POST', '/api/stop');
  } catch (e) {
    report(e);
  }
}

function listen() {
  const events = new EventSource('/api/events');
  events.addEventListener('state', (event) => showState(JSON.parse(event.data)));
}

function start() {
  // The token now lives in the cookie; keep it out of the history and of bookmarks.
  if (location.search.includes('token=')) history.replaceState(null, '', location.pathname);
  $('stop').addEventListener('click', stopAll);
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') stopAll();
  });
  $('refresh').addEventListener('click', searchDevices);
  $('connect').addEventListener('click', () =>
    api('POST', '/api/connect', { device: $('devices').value }).then(showState, report));
  $('connect-virtual').addEventListener('click', () => api('POST', '/api/connect', { virtual: true }).then(showState, report));
  $('disconnect').addEventListener('click', () => api('POST', '/api/disconnect').then(showState, report));
  api('GET', '/api/state').then(showState, report);
  listen();
  searchDevices();
  listFolder('');
}

start();
