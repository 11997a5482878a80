// Network settings: the interfaces in the stored mode (two addressed ports or one bond) and the
// service ports. The core applies a saved change.
import { request } from './api.js';
import { el, field, safely } from './dom.js';

// Members of the interface read that are reported but not stored by the write.
const READ_ONLY = new Set(['hostName', 'macAddr', 'macAddr2']);

function formOf(prefix, values, skip = new Set()) {
  const inputs = {};
  for (const [key, value] of Object.entries(values)) {
    if (skip.has(key) || (value !== null && typeof value === 'object')) continue;
    inputs[key] = el('input', { id: `${prefix}-${key}`, value, size: typeof value === 'number' ? 6 : 16 });
  }
  const read = () => {
    const out = {};
    for (const [key, input] of Object.entries(inputs)) {
      if (typeof values[key] !== 'number') { out[key] = input.value; continue; }
      out[key] = Number(input.value);
      if (input.value.trim() === '' || !Number.isInteger(out[key])) throw new Error(`${key} must be a whole number`);
    }
    return out;
  };
  return { inputs, read, element: el('div', { class: 'row' }, Object.entries(inputs).map(([key, input]) => field(key, input))) };
}

function interfaces() {
  const body = el('div');
  const load = async () => {
    const mode = Number(await request('/7042'));
    const settings = await request('/7040', Number.isInteger(mode) ? mode : 0);
    if (!settings || typeof settings !== 'object') throw new Error(`no network settings: ${settings || 'no reply'}`);
    const form = formOf('net', settings, READ_ONLY);
    const facts = [...READ_ONLY].filter((k) => k in settings).map((k) => `${k} ${settings[k] || '-'}`).join(' · ');
    body.replaceChildren(el('p', { class: 'muted' }, facts), form.element,
      el('button', { id: 'net-save', onclick: () => safely(async () => {
        const reply = await request('/7041', form.read());
        if (reply !== 'OK') throw new Error(`not saved: ${reply || 'refused'}`);
        await load();  // a changed mode shows the members of that mode
      }, 'network settings saved; the core applies them') }, 'Save'));
  };
  return { box: el('div', { class: 'card', id: 'network-interfaces' }, el('h2', {}, 'Interfaces'), body), load };
}

// The port write takes some members under other names than the read gives them.
const PORT_KEYS = ['enableSsh', 'sshPort', 'httpPort', 'httpsPort', 'rtspPort', 'servicePort', 'posPort', 'enable_access', 'enableMsg'];

function ports() {
  const body = el('div');
  const load = async () => {
    const read = await request('/7050');
    if (!read || typeof read !== 'object') throw new Error(`no port settings: ${read || 'no reply'}`);
    const shown = Object.fromEntries(PORT_KEYS.filter((k) => k in read).map((k) => [k, read[k]]));
    const form = formOf('port', shown);
    body.replaceChildren(form.element, el('button', { id: 'port-save', onclick: () => safely(async () => {
      const { enable_access: enableAccess, ...values } = form.read();
      const pushTypeArr = Array.isArray(read.PushTypeArr) ? read.PushTypeArr : [];
      const reply = await request('/7051', {
        ...values, enableAccess, needReboot: 0, channel_num: pushTypeArr.length, pushTypeArr,
        PushTypeNvrAlarmIn: read.PushNvrAlarmInType, pushNvrPos: read.pushNvrPos, pushVideoStream: read.push_stream,
      });
      const why = { POE_Port_Error: 'a port is already in use', POS_Port_Error: 'the POS port is already in use' }[reply];
      if (reply !== 'OK') throw new Error(why || `not saved: ${reply || 'a value out of range'}`);
    }, 'ports saved') }, 'Save'));
  };
  return { box: el('div', { class: 'card', id: 'network-ports' }, el('h2', {}, 'Service ports'), body), load };
}

export async function network(section) {
  const parts = [interfaces(), ports()];
  section.append(el('h1', {}, 'Network'), ...parts.map((p) => p.box));
  await Promise.all(parts.map((p) => p.load()));
}
