// The camera image under the targets: a TIFF/PNG from the folder (one plane at a time) or the
// virtual camera's frame, refreshed while it is shown. The server says how the image's pixels
// map to the calibration table's (toCalibration).

import { api, apiImage, report } from './api.js';
import { identityMap } from './geometry.js';
import { redraw, view } from './view.js';

const $ = (id) => document.getElementById(id);
const cameraPeriodMs = 250;
let source = null;    // {kind:'file', path, planes} | {kind:'camera'}
let request = 0;      // newest image request; older answers are dropped
let cameraTimer = 0;
export let camera = null;  // answer of GET /api/camera

function setImage(bitmap) {
  if (view.image && view.image.close) view.image.close();
  view.image = bitmap;
  view.imageSize = [bitmap.width, bitmap.height];
  redraw();
}

export async function refreshCamera() {
  try {
    camera = await api('GET', '/api/camera');
    const map = camera.toCalibration;
    view.map = map && Number.isFinite(map.scale) && map.scale > 0 && Array.isArray(map.offset) ? map : identityMap;
    if (!view.image && camera.region) view.imageSize = [camera.region.width, camera.region.height];
    redraw();
  } catch (e) {
    view.map = identityMap;
    if (!(e.data && e.data.missing) && e.status !== 409) report(e);
  }
}

async function loadPlane() {
  if (!source || source.kind !== 'file') return;
  const mine = ++request;
  const plane = Number($('plane').value) || 0;
  $('plane-label').textContent = `plane ${plane + 1} of ${source.planes}`;
  try {
    const bitmap = await apiImage(`/api/image?path=${encodeURIComponent(source.path)}&plane=${plane}`);
    if (mine === request) setImage(bitmap);
    else bitmap.close();
  } catch (e) {
    if (mine === request) report(e);
  }
}

export async function openImage(path) {
  stopCamera();
  try {
    const info = await api('GET', '/api/image/info?path=' + encodeURIComponent(path));
    source = { kind: 'file', path: info.path || path, planes: info.planes || 1 };
    const slider = $('plane');
    slider.max = String(Math.max(0, source.planes - 1));
    slider.value = '0';
    slider.disabled = source.planes < 2;
    $('image-info').textContent = `${info.width}×${info.height}, ${info.bitsPerSample} bits, ${info.planes} plane(s)`;
    await refreshCamera();
    await loadPlane();
  } catch (e) {
    report(e);
  }
}

async function cameraFrame() {
  cameraTimer = 0;
  if (!source || source.kind !== 'camera') return;
  const mine = ++request;
  try {
    const bitmap = await apiImage('/api/camera/frame');
    if (mine === request && source && source.kind === 'camera') setImage(bitmap);
    else bitmap.close();
  } catch (e) {
    // a camera that cannot give frames is shown once, not four times a second
    report(e);
    stopCamera();
    $('image-info').textContent = 'no camera frame';
    return;
  }
  if (source && source.kind === 'camera' && !cameraTimer) cameraTimer = setTimeout(cameraFrame, cameraPeriodMs);
}

export function showingCamera() {
  return Boolean(source && source.kind === 'camera');
}

export function useCamera() {
  if (showingCamera()) return;
  source = { kind: 'camera' };
  $('use-camera').setAttribute('aria-pressed', 'true');
  $('use-camera').classList.add('active');
  $('plane').disabled = true;
  $('image-info').textContent = 'virtual camera, live';
  refreshCamera();
  cameraFrame();
}

export function stopCamera() {
  if (showingCamera()) source = null;
  clearTimeout(cameraTimer);
  cameraTimer = 0;
  $('use-camera').setAttribute('aria-pressed', 'false');
  $('use-camera').classList.remove('active');
}

export function startImage() {
  $('open-image').addEventListener('click', () => {
    const path = $('image-path').value.trim();
    if (path) openImage(path);
    else report(new Error('name the image to open'));
  });
  $('plane').addEventListener('input', () => loadPlane());
  // Showing the camera stays on until an image file is opened instead.
  $('use-camera').addEventListener('click', useCamera);
  refreshCamera();
}
