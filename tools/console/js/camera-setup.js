// Camera search on the local network (the found cameras fill the add form) and a channel's image
// settings, which live in the camera: read through the core, written back to it.
import { request, command } from './api.js';
import { el, field, table, safely, channelSelect } from './dom.js';

const PROTOCOLS = 8;

export function cameraSearch(onPick) {
  const protocol = el('select', { id: 'search-protocol' }, Array.from({ length: PROTOCOLS }, (_, p) => el('option', { value: p }, `protocol ${p}`)));
  const results = el('div', { id: 'search-results' });
  const search = async () => {
    results.replaceChildren(el('p', { class: 'muted' }, 'searching ...'));
    const reply = await request('/2006', { protocol: Number(protocol.value), nic: 'eth0' });
    const found = reply && Array.isArray(reply.IPC) ? reply.IPC : [];
    results.replaceChildren(
      el('p', {}, `${found.length} camera(s) found`),
      table(found, ['ipAddr', 'managePort', 'macAddr', 'vendor', 'model', 'fwVersion', 'name'], (camera) =>
        el('button', { class: 'secondary', onclick: () => onPick(camera) }, 'Add this one')));
  };
  return el('div', { class: 'card', id: 'camera-search' }, el('h2', {}, 'Search the network'),
    el('div', { class: 'row' }, field('Protocol', protocol),
      el('button', { id: 'search-start', onclick: () => safely(search) }, 'Search')),
    results);
}

// Members of the image read that the camera reports but does not take back, and the one member
// the write names differently.
const READ_ONLY = new Set(['id', 'dismode', 'exposurectrl', 'sdkversion']);
const WRITE_NAME = { wdraflevel: 'aflevel' };

export function imageSettings() {
  const channel = channelSelect('image-channel');
  const form = el('div', { id: 'image-form' });
  const load = async () => {
    const chnid = Number(channel.value);
    const image = await request('/2019', { id: chnid });
    if (!image || typeof image !== 'object') throw new Error(`no image settings: ${image || 'no reply'}`);
    const inputs = {};
    for (const [key, value] of Object.entries(image)) {
      if (READ_ONLY.has(key) || (value !== null && typeof value === 'object')) continue;
      inputs[key] = el('input', { id: `image-${key}`, value, size: typeof value === 'number' ? 5 : 16 });
    }
    form.replaceChildren(
      el('div', { class: 'row' }, Object.entries(inputs).map(([key, input]) => field(key, input))),
      el('button', { id: 'image-save', onclick: () => safely(async () => {
        const settings = { channel: [chnid] };
        for (const [key, input] of Object.entries(inputs)) {
          const value = typeof image[key] === 'number' ? Number(input.value) : input.value;
          if (typeof value === 'number' && !Number.isInteger(value)) throw new Error(`${key} must be a whole number`);
          settings[WRITE_NAME[key] || key] = value;
        }
        await command('/2020', settings);
      }, 'image settings sent to the camera') }, 'Save'));
  };
  channel.addEventListener('change', () => safely(load));
  const box = el('div', { class: 'card', id: 'camera-image' }, el('h2', {}, 'Image settings'),
    el('div', { class: 'row' }, field('Channel', channel), el('button', { class: 'secondary', id: 'image-read', onclick: () => safely(load) }, 'Read')),
    form);
  return box;
}
