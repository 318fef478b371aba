// The device panel and the studio's shared state: every tab follows the server through one
// event stream, which comes back by itself after the server hiccups.

import { api, report } from './api.js';

const $ = (id) => document.getElementById(id);
const listeners = [];
export let current = {};
let shownError = '';

export function onState(listener) {
  listeners.push(listener);
}

export function showState(state) {
  current = state;
  const label = $('state');
  label.textContent = state.lost ? 'device lost' : state.connected ? state.state : 'not connected';
  label.className = 'state' + (state.running ? ' running' : '') + (state.lost ? ' lost' : '');
  $('connect-virtual').hidden = !state.virtualAvailable;
  $('disconnect').disabled = !state.connected;
  $('reconnect').hidden = !state.lost;
  const identity = $('identity');
  identity.replaceChildren();
  if (state.device) {
    for (const [key, value] of Object.entries(state.device)) {
      identity.append(Object.assign(document.createElement('dt'), { textContent: key }));
      identity.append(Object.assign(document.createElement('dd'), { textContent: String(value) }));
    }
  }
  // The device's last error is shown once when it appears; the page's own errors share the box.
  const text = state.lastError ? state.lastError.text : '';
  const box = $('last-error');
  if (text && text !== shownError) {
    box.hidden = false;
    box.textContent = text;
  } else if (!text && shownError && box.textContent === shownError) {
    box.hidden = true;
    box.textContent = '';
  }
  shownError = text;
  for (const listener of listeners) listener(state);
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

// Stop first, questions later: no confirmation, and it works in every state.
export async function stopAll() {
  try {
    const answer = await api('POST', '/api/stop');
    if (answer.state) showState(answer.state);
  } catch (e) {
    report(e);
  }
}

function reconnect() {
  const body = current.virtual || !current.device ? { virtual: true } : { device: current.device.port };
  return api('POST', '/api/connect', body).then(showState, report);
}

let events = null;
let retry = 0;

function listen() {
  if (events) events.close();
  events = new EventSource('/api/events');
  events.addEventListener('state', (event) => {
    $('link').hidden = true;
    showState(JSON.parse(event.data));
  });
  events.addEventListener('open', () => {
    $('link').hidden = true;
  });
  events.addEventListener('error', () => {
    $('link').hidden = false;
    // The browser retries by itself unless the stream was refused; then start a new one.
    if (events.readyState === EventSource.CLOSED) {
      clearTimeout(retry);
      retry = setTimeout(listen, 1000);
    }
  });
}

export function startDevice() {
  $('stop').addEventListener('click', stopAll);
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') stopAll();
  });
  $('refresh').addEventListener('click', searchDevices);
  $('connect').addEventListener('click', () =>
    api('POST', '/api/connect', { device: $('devices').value }).then(showState, report));
  $('connect-virtual').addEventListener('click', () => api('POST', '/api/connect', { virtual: true }).then(showState, report));
  $('disconnect').addEventListener('click', () => api('POST', '/api/disconnect').then(showState, report));
  $('reconnect').addEventListener('click', reconnect);
  api('GET', '/api/state').then(showState, report);
  listen();
  searchDevices();
}
