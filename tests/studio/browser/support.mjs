// Helpers shared by the studio's browser tests and its page benchmark: open the page in Debian's
// chromium, wait for the page or the server, take named screenshots and write a small TIFF stack.
// scripts/browser_test.sh starts the studio and hands over its address in STUDIO_URL.
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';

export const studioUrl = process.env.STUDIO_URL;
export const folder = process.env.STUDIO_FOLDER;
export const screenDir = process.env.STUDIO_SCREENS;

// Opens the studio's address (with its token) in a fresh headless chromium. Every console error
// and uncaught page error lands in `errors`, so a step can fail on them.
export async function openStudio({ width = 1400, height = 1000 } = {}) {
  if (!studioUrl || !folder) throw new Error('STUDIO_URL and STUDIO_FOLDER must be set: run scripts/browser_test.sh');
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // Nothing but the studio on 127.0.0.1: no proxy lookups, no background traffic.
    args: ['--no-proxy-server', '--disable-background-networking'],
  });
  const page = await browser.newPage({ viewport: { width, height } });
  const errors = [];
  page.on('console', (message) => {
    if (message.type() !== 'error') return;
    const url = message.location().url || '';
    errors.push(`console: ${message.text()} (${url})`);
  });
  page.on('pageerror', (error) => errors.push(`page error: ${error.message}`));
  // Short waits: a missing control should fail its step soon, not hold up the rest.
  page.setDefaultTimeout(10000);
  await page.goto(studioUrl);
  return { browser, page, errors };
}

// Polls fn (run in the page) until it returns a truthy value; returns that value. The message
// says what was awaited, and the last value seen, so a timeout explains itself.
export async function waitFor(page, what, fn, arg, timeout = 30000) {
  const end = Date.now() + timeout;
  let last;
  for (;;) {
    last = await page.evaluate(fn, arg);
    if (last) return last;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what} (last: ${JSON.stringify(last)})`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}

// A GET on the studio's API from inside the page: same origin, with the page's token cookie.
export function getJson(page, url) {
  return page.evaluate(async (u) => {
    const response = await fetch(u, { credentials: 'same-origin' });
    const body = await response.json().catch(() => null);
    return { status: response.status, body };
  }, url);
}

// A state-changing request as the page makes it (the custom header the server requires).
export function sendJson(page, method, url, body) {
  return page.evaluate(
    async ([m, u, b]) => {
      const response = await fetch(u, {
        method: m,
        credentials: 'same-origin',
        headers: { 'X-Korvan-Studio': '1', 'Content-Type': 'application/json' },
        body: b === undefined ? undefined : JSON.stringify(b),
      });
      return { status: response.status, body: await response.json().catch(() => null) };
    },
    [method, url, body],
  );
}

export async function state(page) {
  const { status, body } = await getJson(page, '/api/state');
  if (status !== 200) throw new Error(`GET /api/state answered ${status}`);
  return body;
}

// Waits until the server's state satisfies predicate(state); returns that state.
export async function waitForState(page, what, predicate, timeout = 30000) {
  const end = Date.now() + timeout;
  let last;
  for (;;) {
    last = await state(page);
    if (predicate(last)) return last;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what} (state: ${JSON.stringify(last)})`);
    await new Promise((resolve) => setTimeout(resolve, 150));
  }
}

let shots = 0;
// Saves the whole page as NN-name.png under STUDIO_SCREENS, numbered in the order taken.
export async function screenshot(page, name) {
  if (!screenDir) return;
  fs.mkdirSync(screenDir, { recursive: true });
  shots += 1;
  const file = path.join(screenDir, `${String(shots).padStart(2, '0')}-${name}.png`);
  await page.screenshot({ path: file, fullPage: true });
}

// Classic little-endian TIFF, uncompressed, one 16-bit grey page per plane, each in one strip.
// planes: array of Uint16Array(width * height).
export function tiffStack(width, height, planes) {
  const tags = (offset) => [
    [256, 3, width], // image width
    [257, 3, height], // image length
    [258, 3, 16], // bits per sample
    [259, 3, 1], // no compression
    [262, 3, 1], // black is zero
    [273, 4, offset], // strip offset
    [277, 3, 1], // samples per pixel
    [278, 3, height], // rows per strip
    [279, 4, width * height * 2], // strip byte count
  ];
  const ifdBytes = 2 + tags(0).length * 12 + 4;
  const planeBytes = width * height * 2;
  const pageBytes = ifdBytes + planeBytes;
  const buffer = Buffer.alloc(8 + planes.length * pageBytes);
  buffer.write('II', 0, 'latin1');
  buffer.writeUInt16LE(42, 2);
  buffer.writeUInt32LE(8, 4);
  planes.forEach((pixels, k) => {
    const ifd = 8 + k * pageBytes;
    const data = ifd + ifdBytes;
    const entries = tags(data);
    buffer.writeUInt16LE(entries.length, ifd);
    entries.forEach(([tag, type, value], i) => {
      const at = ifd + 2 + i * 12;
      buffer.writeUInt16LE(tag, at);
      buffer.writeUInt16LE(type, at + 2);
      buffer.writeUInt32LE(1, at + 4);
      if (type === 3) buffer.writeUInt16LE(value, at + 8);
      else buffer.writeUInt32LE(value, at + 8);
    });
    buffer.writeUInt32LE(k + 1 < planes.length ? ifd + pageBytes : 0, ifd + 2 + entries.length * 12);
    for (let i = 0; i < pixels.length; i++) buffer.writeUInt16LE(pixels[i], data + 2 * i);
  });
  return buffer;
}

// Is (x, y) inside the polygon, or within tolerance pixels of its outline?
export function nearPolygon(points, x, y, tolerance) {
  let inside = false;
  for (let i = 0, j = points.length - 1; i < points.length; j = i++) {
    const [xi, yi] = points[i];
    const [xj, yj] = points[j];
    if (yi > y !== yj > y && x < ((xj - xi) * (y - yi)) / (yj - yi) + xi) inside = !inside;
    if (segmentDistance([xi, yi], [xj, yj], [x, y]) <= tolerance) return true;
  }
  return inside;
}

export function segmentDistance([ax, ay], [bx, by], [px, py]) {
  const dx = bx - ax;
  const dy = by - ay;
  const length2 = dx * dx + dy * dy;
  const t = length2 === 0 ? 0 : Math.max(0, Math.min(1, ((px - ax) * dx + (py - ay) * dy) / length2));
  return Math.hypot(px - (ax + t * dx), py - (ay + t * dy));
}
