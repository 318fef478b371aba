// The folder's files: the list, opening and saving the sequence document, and opening images.

import { api, clearReport, report } from './api.js';
import { inPageForm } from './geometry.js';
import { model } from './model.js';

const $ = (id) => document.getElementById(id);
const hooks = { openImage: null };

// The document's file in the folder ('' before it has one); calibration paths are relative to it.
export function currentPath() {
  return $('file-path').value.trim();
}

export function onOpenImage(handler) {
  hooks.openImage = handler;
}

export async function listFolder(dir) {
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
      if (entry.kind === 'other') continue;
      const item = Object.assign(document.createElement('li'), { textContent: entry.name, className: entry.kind });
      item.title = entry.path;
      item.addEventListener('click', () => {
        if (entry.kind === 'folder') return listFolder(entry.path);
        if (entry.kind === 'image') {
          $('image-path').value = entry.path;
          if (hooks.openImage) hooks.openImage(entry.path);
          return;
        }
        $('file-path').value = entry.path;
        openSequence(entry.path);
      });
      list.append(item);
    }
  } catch (e) {
    report(e);
  }
}

export async function openSequence(path) {
  try {
    const opened = await api('GET', '/api/sequence?path=' + encodeURIComponent(path));
    $('file-path').value = opened.path;
    clearReport();
    model.set(inPageForm(opened.document));
  } catch (e) {
    report(e);
  }
}

// List the folder shown now again (after something wrote into it).
export function refreshFolder() {
  return listFolder($('folder').textContent.replace(/^\//, ''));
}

async function saveSequence() {
  const path = currentPath();
  if (!path) throw new Error('name the file to save to');
  const saved = await api('PUT', '/api/sequence?path=' + encodeURIComponent(path), model.document());
  $('file-status').textContent = `saved ${saved.bytes} bytes to ${saved.path}`;
  refreshFolder();
}

export function startFiles() {
  $('open-file').addEventListener('click', () => {
    const path = currentPath();
    if (path) openSequence(path);
    else report(new Error('name the file to open'));
  });
  $('save-file').addEventListener('click', () => saveSequence().catch(report));
  $('refresh-files').addEventListener('click', refreshFolder);
  listFolder('');
}
