// The studio's page. Everything it shows comes from the server, which does the work through the
// library; the modules here only ask, draw and edit the document.

import { report } from './api.js';
import { startCalibration } from './calibration.js';
import { startDevice } from './device.js';
import { onOpenImage, startFiles } from './files.js';
import { openImage, startImage } from './image.js';
import { inPageForm } from './geometry.js';
import { model } from './model.js';
import { startRun } from './run.js';
import { startTargets } from './targets.js';
import { afterUpdate, startTiming, timing } from './timing.js';
import { imageToClient, redraw, resetZoom } from './view.js';

const $ = (id) => document.getElementById(id);

function start() {
  // The token now lives in the cookie; keep it out of the history and of bookmarks.
  if (location.search.includes('token=')) history.replaceState(null, '', location.pathname);
  window.addEventListener('unhandledrejection', (event) => {
    event.preventDefault();
    report(event.reason);
  });
  startDevice();
  startTargets();
  startTiming();
  startImage();
  startCalibration();
  startRun();
  onOpenImage(openImage);
  startFiles();
  for (const box of $('layers').querySelectorAll('input[type=checkbox]')) box.addEventListener('change', redraw);
  $('reset-zoom').addEventListener('click', resetZoom);
  model.notify('structure');
}

// For the browser tests and for the curious at the console.
window.studio = {
  imageToClient,
  document: () => JSON.parse(JSON.stringify(model.document())),
  setDocument(doc) {
    model.set(inPageForm(JSON.parse(JSON.stringify(doc))));
    return afterUpdate();
  },
  get lastUpdateMs() {
    return timing.lastUpdateMs;
  },
};

start();
