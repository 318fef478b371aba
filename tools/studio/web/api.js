// Talking to the studio's server. Every state-changing request carries the studio's header; the
// server refuses those that lack it. Failures end up in #last-error, never as unhandled rejections.

const missing = new Set();  // endpoints that answered 404 once: not asked again until a reload

export class ApiError extends Error {
  constructor(message, status, data) {
    super(message);
    this.status = status;
    this.data = data || {};
  }
}

function options(method, body) {
  const result = { method, headers: {}, credentials: 'same-origin' };
  if (method !== 'GET') result.headers['X-Korvan-Studio'] = '1';
  if (body !== undefined) {
    result.headers['Content-Type'] = 'application/json';
    result.body = typeof body === 'string' ? body : JSON.stringify(body);
  }
  return result;
}

function routeOf(path) {
  return path.split('?')[0];
}

async function send(method, path, body) {
  const route = method + ' ' + routeOf(path);
  if (missing.has(route)) throw new ApiError(`${routeOf(path)} is not available on this server`, 404, { missing: true });
  let response;
  try {
    response = await fetch(path, options(method, body));
  } catch (e) {
    throw new ApiError('the studio does not answer (' + e.message + ')', 0);
  }
  if (response.status === 404 && response.headers.get('Content-Type')?.includes('json')) {
    const data = await response.clone().json().catch(() => ({}));
    if (data.error === 'no such resource') {
      missing.add(route);
      throw new ApiError(`${routeOf(path)} is not available on this server`, 404, { missing: true });
    }
  }
  return response;
}

// JSON in, JSON out; rejects with an ApiError carrying the server's message and pointer.
export async function api(method, path, body) {
  const response = await send(method, path, body);
  const data = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) throw new ApiError(data.error || response.statusText, response.status, data);
  return data;
}

// An image answer (PNG) decoded for drawing on a canvas.
export async function apiImage(path) {
  const response = await send('GET', path);
  if (!response.ok) {
    const data = await response.json().catch(() => ({ error: response.statusText }));
    throw new ApiError(data.error || response.statusText, response.status, data);
  }
  return createImageBitmap(await response.blob());
}

export function isMissing(method, path) {
  return missing.has(method + ' ' + routeOf(path));
}

export function report(error) {
  const box = document.getElementById('last-error');
  if (!box) return;
  const pointer = error && error.data && error.data.pointer ? error.data.pointer + ': ' : '';
  box.hidden = false;
  box.textContent = pointer + (error && error.message ? error.message : String(error));
}

export function clearReport() {
  const box = document.getElementById('last-error');
  if (box) {
    box.hidden = true;
    box.textContent = '';
  }
}

// For event handlers: run, and put any failure in #last-error.
export function guarded(work) {
  return (...args) => {
    try {
      const result = work(...args);
      if (result && typeof result.catch === 'function') result.catch(report);
    } catch (e) {
      report(e);
    }
  };
}
