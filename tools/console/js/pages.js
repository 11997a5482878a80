// The console's pages. Each takes its <section>, fills it, and may return a function that stops
// whatever it keeps running (the live views poll).
import { request, command } from './api.js';
import { el, rowsOf, table, toast, field, safely, tryRows, channelSelect, CHANNELS } from './dom.js';
import { events } from './events.js';
import { cameraSearch, imageSettings } from './camera-setup.js';
import { users } from './users.js';
import { recording } from './recording.js';
import { network } from './network.js';
import { maintenance } from './maintenance.js';
import { messageView } from './core-log.js';

function card(title, id, body) {
  return el('div', { class: 'card', id }, el('h2', {}, title), body);
}

// The camera channels with their status ("/2001": {"IPC": [...], "maxIPCNums": n}).
async function cameraRows() {
  return rowsOf(await request('/2001'));
}

// ---- dashboard -------------------------------------------------------------------------------
async function dashboard(section) {
  section.append(el('h1', {}, 'Dashboard'));
  const [cameras, disks, inputs, outputs, users] = await Promise.all([
    cameraRows().catch((err) => [{ error: err.message }]),
    tryRows('/6100'), tryRows('/6060'), tryRows('/6020'), tryRows('/8011')]);
  section.append(el('div', { class: 'cards' },
    card('Cameras', 'dash-cameras', table(cameras, cameras[0] && 'error' in cameras[0] ? null
      : ['id', 'name', 'ipAddr', 'model', 'state', 'connectState'])),
    card('Disks', 'dash-disks', table(disks, disks[0] && 'error' in disks[0] ? null
      : ['portId', 'vendorName', 'totalSize', 'freeSize', 'state', 'raid_level'])),
    card('Alarm inputs', 'dash-alarm-inputs', table(inputs)),
    card('Alarm outputs', 'dash-alarm-outputs', table(outputs)),
    card('Logged-in users', 'dash-users', table(users))));
}

// ---- cameras ---------------------------------------------------------------------------------
const CAMERA_DEFAULTS = {
  id: 0, name: '', minorid: 0, enable: 1, ipAddr: '', managePort: 80, camProtocol: 0, userName: 'admin',
  password: '', transmitProtocol: 1, enableSubStream: 1, syncTime: 1, ddns: '', mac_addr: '',
  poechannel: 0, physicalport: 0, otherPoe: 0,
};
const CAMERA_FORM = ['id', 'name', 'ipAddr', 'managePort', 'camProtocol', 'userName', 'password',
  'transmitProtocol', 'enableSubStream', 'enable'];

function cameraForm(initial, onSave, title, editing = false) {
  const inputs = {};
  const form = el('form', { class: 'inline card', id: 'camera-form', onsubmit: async (e) => {
    e.preventDefault();
    const camera = { ...CAMERA_DEFAULTS, ...initial };
    for (const [key, input] of Object.entries(inputs)) {
      camera[key] = typeof CAMERA_DEFAULTS[key] === 'number' ? Number(input.value) : input.value;
    }
    camera.id = Number(camera.id);
    await safely(() => onSave(camera), 'saved');
  } }, el('strong', {}, title));
  for (const key of CAMERA_FORM) {
    const value = initial[key] ?? CAMERA_DEFAULTS[key];
    inputs[key] = key === 'id'
      ? channelSelect(`camera-${key}`, Number(value))
      : el('input', { id: `camera-${key}`, value, type: key === 'password' ? 'password' : 'text', size: 12 });
    if (key === 'id' && editing) inputs[key].disabled = true;
    form.append(field(key, inputs[key]));
  }
  // Tries the address, port and login on the camera itself before it is saved.
  const LOGIN_RESULTS = { OK: 'the camera accepts the login', NETWORKERROR: 'the camera does not answer',
    USERERROR: 'the camera refuses the user name or password', BANDWIDTHERROR: 'not enough bandwidth left' };
  const test = el('button', { type: 'button', class: 'secondary', id: 'camera-test', onclick: () => safely(async () => {
    const reply = await request('/2014', {
      ipAddr: inputs.ipAddr.value, managePort: Number(inputs.managePort.value), userName: inputs.userName.value,
      password: inputs.password.value, camProtocol: Number(inputs.camProtocol.value),
    });
    if (reply !== 'OK') throw new Error(LOGIN_RESULTS[reply] || `login test failed: ${reply || 'a value out of range'}`);
    toast(LOGIN_RESULTS.OK);
  }) }, 'Test login');
  form.append(test, el('button', { type: 'submit' }, 'Save'));
  return form;
}

async function cameras(section) {
  const list = el('div', { id: 'camera-list' });
  const editor = el('div');
  let addForm = () => {};
  const search = cameraSearch((found) => addForm({ ipAddr: found.ipAddr, managePort: found.managePort,
    camProtocol: found.protocol, name: found.name || found.model || '' }));
  section.append(el('h1', {}, 'Cameras'), list, editor, search, imageSettings());
  const refresh = async () => {
    const rows = await cameraRows();
    list.replaceChildren(table(rows, ['id', 'name', 'ipAddr', 'state', 'connectState'].filter((k) => rows.some((r) => k in r)),
      (row) => [
        el('button', { class: 'secondary', onclick: () => edit(row.id) }, 'Edit'), ' ',
        el('button', { class: 'danger', onclick: () => safely(async () => {
          if (!confirm(`Delete camera ${row.name || row.id}?`)) return;
          await command('/2005', { chnid: row.id });
          await refresh();
        }, 'deleted') }, 'Delete')]));
    const free = Array.from({ length: CHANNELS }, (_, c) => c).find((c) => !rows.some((r) => r.id === c)) ?? 0;
    addForm = (found = {}) => editor.replaceChildren(cameraForm({ ...found, id: free }, async (camera) => {
      await command('/2004', camera);
      await refresh();
    }, 'Add a camera'));
    addForm();
  };
  const edit = async (chnid) => safely(async () => {
    const camera = await request('/2000', { chnid });
    // The read names two members differently from the add and edit requests.
    const initial = { ...camera, id: chnid, camProtocol: camera.protocol, enableSubStream: camera.subRtspEnable };
    editor.replaceChildren(cameraForm(initial, async (changed) => {
      await command('/2003', changed);
      await refresh();
    }, `Edit camera ${chnid + 1}`, true));
  });
  await refresh();
}

// ---- playback --------------------------------------------------------------------------------
function yesterday() {
  const d = new Date(Date.now() - 86400000);
  return `${d.getFullYear()}-${String(d.getMonth() + 1).padStart(2, '0')}-${String(d.getDate()).padStart(2, '0')}`;
}

function secondsOfDay(text) {
  const m = /(\d{2}):(\d{2}):(\d{2})/.exec(text || '');
  return m ? Number(m[1]) * 3600 + Number(m[2]) * 60 + Number(m[3]) : null;
}

function hms(seconds) {
  const s = Math.max(0, Math.min(86399, Math.round(seconds)));
  return [Math.floor(s / 3600), Math.floor(s / 60) % 60, s % 60].map((n) => String(n).padStart(2, '0')).join(':');
}

async function download(chnid, day, from, to) {
  const response = await fetch('/cgi-bin/webreq/4013', {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ id: chnid, streamType: 0, startTime: `${day}T${from}Z`, endTime: `${day}T${to}Z` }),
  });
  const disposition = response.headers.get('Content-Disposition') || '';
  if (!response.ok || !/attachment/.test(disposition)) throw new Error('nothing recorded in that span');
  const name = (/filename=\s*"?([^";]+)/.exec(disposition) || [])[1] || 'recording.avi';
  const link = el('a', { href: URL.createObjectURL(await response.blob()), download: name.trim() });
  document.body.append(link);
  link.click();
  link.remove();
  return name;
}

async function playback(section) {
  const channel = channelSelect('playback-channel');
  const day = el('input', { id: 'playback-day', type: 'date', value: yesterday() });
  const results = el('div', { id: 'playback-results' });
  const from = el('input', { id: 'download-from', value: '01:00:00', size: 8 });
  const to = el('input', { id: 'download-to', value: '01:02:00', size: 8 });
  const search = async () => {
    const chnid = Number(channel.value);
    const reply = await request('/4000', {
      channelId: chnid, sid: -1, streamType: 0, time: `${day.value} 00:00:00`, endTime: `${day.value} 23:59:59`,
    });
    const sections = rowsOf(reply).filter((r) => r.startTime || r.start);
    const bar = el('div', { class: 'timeline', id: 'playback-timeline' });
    for (const s of sections) {
      const a = secondsOfDay(s.startTime || s.start);
      const b = secondsOfDay(s.endTime || s.end);
      if (a === null || b === null) continue;
      bar.append(el('div', {
        class: `section${s.recordType ? ' event' : ''}`,
        title: `${s.startTime || s.start} - ${s.endTime || s.end}`,
        style: `left:${(a / 864).toFixed(3)}%;width:${Math.max(0.1, (b - a) / 864).toFixed(3)}%`,
        onclick: () => { from.value = hms(a); to.value = hms(Math.min(b, a + 120)); },
      }));
    }
    bar.append(el('div', { class: 'ticks' }, Array.from({ length: 13 }, (_, i) =>
      el('span', { style: `left:${(i * 100) / 12}%` }, `${String(i * 2).padStart(2, '0')}:00`))));
    results.replaceChildren(
      el('p', {}, `${sections.length} section(s) on ${day.value}; click one to pick its first two minutes`),
      bar, el('div', { style: 'height:1em' }),
      table(sections.slice(0, 50)));
  };
  section.append(el('h1', {}, 'Playback'),
    el('div', { class: 'row' }, field('Channel', channel), field('Day', day),
      el('button', { id: 'playback-search', onclick: () => safely(search) }, 'Search')),
    results,
    el('h2', {}, 'Download a span as AVI'),
    el('div', { class: 'row' }, field('From', from), field('To', to),
      el('button', { id: 'playback-download', onclick: () => safely(async () => {
        const name = await download(Number(channel.value), day.value, from.value, to.value);
        toast(`downloaded ${name}`);
      }) }, 'Download')));
}

// ---- core messages ---------------------------------------------------------------------------
async function core(section) {
  return messageView(section);
}

// ---- storage and alarms -----------------------------------------------------
async function storage(section) {
  const disks = await tryRows('/6100');
  section.append(el('h1', {}, 'Storage'), table(disks, disks[0] && 'error' in disks[0] ? null
    : ['portId', 'vendorName', 'hddType', 'totalSize', 'usedSize', 'freeSize', 'state', 'raid_id', 'raid_level', 'raid_state']));
}

// Alarm inputs and outputs; an output can be raised and cleared by hand (the core is told at once,
// see the core messages page).
async function alarms(section) {
  const trigger = (id, enable) => el('button', {
    class: enable ? 'danger' : 'secondary',
    id: `alarm-out-${id}-${enable ? 'raise' : 'clear'}`,
    onclick: () => safely(() => command('/6023', { id, enable }), `alarm output ${id + 1} ${enable ? 'raised' : 'cleared'}`),
  }, enable ? 'Raise' : 'Clear');
  const outputs = await tryRows('/6020');
  const live = el('div', { id: 'alarm-live' }, el('p', { class: 'muted' }, 'reading ...'));
  section.append(el('h1', {}, 'Alarms'),
    el('h2', {}, 'Live state (read every second)'), live,
    el('h2', {}, 'Outputs'),
    table(outputs, null, outputs[0] && 'error' in outputs[0] ? null : (row) => [trigger(row.id, 1), ' ', trigger(row.id, 0)]),
    el('h2', {}, 'Inputs'), table(await tryRows('/6060')));
  return poll(1000, async () => live.replaceChildren(alarmState(await request('/8003'))),
    (err) => live.replaceChildren(el('p', { class: 'error' }, err.message)));
}

// The event and alarm state: which recorder alarms are raised, and per channel which event is on.
function alarmState(state) {
  if (!state || typeof state !== 'object') throw new Error(`no alarm state: ${state || 'no reply'}`);
  const stateTable = (id, rows) => el('div', { id }, table(rows || [], ['id', 'name', 'type', 'state']));
  const events = (state.cameras || []).filter((c) => c.videolossOn || c.motionOn || c.AlarmInState0 || c.AlarmInState1);
  return el('div', { class: 'cards' },
    el('div', { class: 'card' }, el('strong', {}, 'Recorder alarm outputs'), stateTable('alarm-live-out', state.alarmOut)),
    el('div', { class: 'card' }, el('strong', {}, 'Recorder alarm inputs'), stateTable('alarm-live-in', state.alarmIn)),
    el('div', { class: 'card' }, el('strong', {}, 'Channels with an event on'),
      table(events, ['id', 'name', 'videolossOn', 'motionOn', 'AlarmInState0', 'AlarmInState1'])));
}

// Runs a read now and then every period until the page is left; returns the stop function.
function poll(period, read, failed) {
  let stopped = false;
  const step = async () => {
    if (stopped) return;
    try { await read(); } catch (err) { failed(err); }
    if (!stopped) setTimeout(step, period);
  };
  step();
  return () => { stopped = true; };
}

export const pages = {
  dashboard, cameras, events, recording, playback, alarms, users, network, maintenance, storage, core,
};
