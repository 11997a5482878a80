// Small helpers to build the pages: elements, tables from replies, a notice line.
import { request } from './api.js';

export const CHANNELS = 64;

export function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs)) {
    if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else if (key === 'class') node.className = value;
    else if (value !== undefined && value !== null && value !== false) node.setAttribute(key, value === true ? '' : value);
  }
  for (const child of children.flat()) {
    if (child !== null && child !== undefined) node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

// The rows of a reply: an array of objects, or the first array member of an object, or the object.
export function rowsOf(reply) {
  if (Array.isArray(reply)) return reply;
  if (reply && typeof reply === 'object') {
    const list = Object.values(reply).find((v) => Array.isArray(v) && v.length && typeof v[0] === 'object');
    return list || [reply];
  }
  return [];
}

function cellText(value) {
  if (value === null || value === undefined) return '';
  if (typeof value === 'object') return JSON.stringify(value).slice(0, 60);
  return String(value);
}

// A table of the given columns (all scalar members of the first row when none are given).
export function table(rows, columns, actions) {
  if (!rows.length) return el('p', { class: 'muted' }, 'nothing to show');
  const keys = columns || Object.keys(rows[0]).filter((k) => typeof rows[0][k] !== 'object');
  return el('table', {},
    el('thead', {}, el('tr', {}, keys.map((k) => el('th', {}, k)), actions ? el('th') : null)),
    el('tbody', {}, rows.map((row) => el('tr', {},
      keys.map((k) => el('td', {}, cellText(row[k]))),
      actions ? el('td', {}, actions(row)) : null))));
}

export function toast(text, isError = false) {
  const box = document.getElementById('toast');
  box.textContent = text;
  box.style.background = isError ? '#b3261e' : '#1f2a3c';
  box.classList.add('show');
  clearTimeout(toast.timer);
  toast.timer = setTimeout(() => box.classList.remove('show'), 3000);
}

export function field(label, input) {
  return el('label', {}, label, input);
}

// Runs an action of a button: a notice when it is done, the error when it fails.
export async function safely(action, done) {
  try {
    await action();
    if (done) toast(done);
  } catch (err) {
    toast(err.message, true);
  }
}

export async function tryRows(id, body) {
  try {
    return rowsOf(await request(id, body));
  } catch (err) {
    return [{ error: err.message }];
  }
}

export function channelSelect(id, selected = 0, count = CHANNELS, word = 'channel') {
  return el('select', { id }, Array.from({ length: count }, (_, c) =>
    el('option', { value: c, selected: c === selected }, `${word} ${c + 1}`)));
}
