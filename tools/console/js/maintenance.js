// Maintenance: the device log (search page by page, export as CSV) and the configuration
// (export to a file, import one).
import { request } from './api.js';
import { el, field, table, safely, toast } from './dom.js';

const ALL_CHANNELS = '1'.repeat(64);
const ALL_SUB_TYPES = 10;

// Saves a download reply as a file of the browser; refuses a reply that is not an attachment.
async function saveAttachment(response, fallback) {
  const disposition = response.headers.get('Content-Disposition') || '';
  if (!response.ok || !/attachment/.test(disposition)) {
    throw new Error(`no file: ${(await response.text()).trim() || `HTTP ${response.status}`}`);
  }
  const name = ((/filename=\s*"?([^";\r\n]+)/.exec(disposition) || [])[1] || fallback).trim();
  const link = el('a', { href: URL.createObjectURL(await response.blob()), download: name });
  document.body.append(link);
  link.click();
  link.remove();
  return name;
}

function day(offset) {
  const d = new Date(Date.now() + offset * 86400000);
  return `${d.getFullYear()}-${String(d.getMonth() + 1).padStart(2, '0')}-${String(d.getDate()).padStart(2, '0')}`;
}

function logSearch() {
  const mainType = el('select', { id: 'log-main' });
  const subType = el('select', { id: 'log-sub' });
  const from = el('input', { id: 'log-from', type: 'date', value: day(-7) });
  const to = el('input', { id: 'log-to', type: 'date', value: day(1) });
  const results = el('div', { id: 'log-results' });
  let catalogue = null;
  let page = 1;
  const language = () => localStorage.getItem('lang') || 'en';
  const fillSubTypes = () => {
    const index = catalogue.mainType.findIndex((t) => String(t.key) === mainType.value);
    subType.replaceChildren(...((catalogue.subType || [])[index] || [{ key: ALL_SUB_TYPES, name: 'all' }]).map((t) =>
      el('option', { value: t.key }, t.name)));
  };
  mainType.addEventListener('change', fillSubTypes);
  const query = (times) => ({
    language: language(), mainType: Number(mainType.value), subTypeArr: [Number(subType.value)],
    startTime: times(from.value, '00:00:00'), endTime: times(to.value, '23:59:59'),
  });
  const search = async () => {
    const reply = await request('/1002', { ...query((d, t) => `${d} ${t}`), curPageNum: page, chnMask: ALL_CHANNELS, searchNoChn: 1 });
    if (reply === 'ERROR') {
      results.replaceChildren(el('p', { class: 'muted' }, 'no log entries in that span'));
      return;
    }
    if (!reply || !Array.isArray(reply.log)) throw new Error(`search failed: ${JSON.stringify(reply)}`);
    const pages = Math.max(1, Math.ceil(reply.count / 100));
    results.replaceChildren(
      el('div', { class: 'row' }, `${reply.count} entries, page ${page} of ${pages}`,
        el('button', { class: 'secondary', disabled: page <= 1, onclick: () => { page--; safely(search); } }, 'Previous'),
        el('button', { class: 'secondary', disabled: page >= pages, onclick: () => { page++; safely(search); } }, 'Next')),
      table(reply.log, ['ptc', 'mainType', 'subType', 'parameter', 'user', 'ip', 'chanNo', 'detail']));
  };
  const exportCsv = async () => {
    const response = await fetch('/cgi-bin/webreq/1003', {
      method: 'POST', headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ ...query((d, t) => `${d}T${t}`), curPageNum: 1, ch: ((1n << 64n) - 1n).toString(), na: 1 }),
    });
    toast(`exported ${await saveAttachment(response, 'log.csv')}`);
  };
  // Searches wait for the catalogue of kinds: a query needs a kind.
  const buttons = [
    el('button', { id: 'log-start', disabled: true, onclick: () => { page = 1; safely(search); } }, 'Search'),
    el('button', { class: 'secondary', id: 'log-export', disabled: true, onclick: () => safely(exportCsv) }, 'Export CSV')];
  const load = async () => {
    const reply = await request('/1015', { lan: language() });
    if (!reply || !Array.isArray(reply.mainType) || !reply.mainType.length) throw new Error('no catalogue of log kinds');
    catalogue = reply;
    mainType.replaceChildren(...catalogue.mainType.map((t) => el('option', { value: t.key }, t.name)));
    fillSubTypes();
    buttons.forEach((b) => { b.disabled = false; });
  };
  const box = el('div', { class: 'card', id: 'log-search' }, el('h2', {}, 'Device log'),
    el('div', { class: 'row' }, field('Kind', mainType), field('Entry', subType), field('From', from), field('To', to), buttons),
    results);
  return { box, load };
}

function configuration() {
  const file = el('input', { id: 'config-file', type: 'file' });
  const exportConfig = async () => {
    const reply = await request('/1007');
    if (typeof reply !== 'string' || !reply.startsWith('OK')) throw new Error(`export failed: ${reply || 'no reply'}`);
    toast(`exported ${await saveAttachment(await fetch('/cgi-bin/webreq/1013'), 'config.db')}`);
  };
  const importConfig = async () => {
    if (!file.files.length) throw new Error('choose an exported configuration file first');
    if (!confirm(`Replace the whole configuration with ${file.files[0].name}?`)) throw new Error('import cancelled');
    const form = new FormData();
    form.append('file', file.files[0]);
    const response = await fetch('/cgi-bin/webreq/1008', { method: 'POST', body: form });
    const reply = (await response.text()).trim();
    if (reply !== 'OK') throw new Error(`import refused: ${reply || 'no reply'}`);
  };
  return el('div', { class: 'card', id: 'config' }, el('h2', {}, 'Configuration'),
    el('div', { class: 'row' },
      el('button', { id: 'config-export', onclick: () => safely(exportConfig) }, 'Export to a file'),
      field('Exported file', file),
      el('button', { class: 'danger', id: 'config-import', onclick: () => safely(importConfig, 'configuration imported') }, 'Import')));
}

export async function maintenance(section) {
  const log = logSearch();
  section.append(el('h1', {}, 'Maintenance'), log.box, configuration());
  await log.load();
}
