// The events page: every event kind of a channel (or of a recorder alarm input) with the one
// action-block editor (weekly plans on the grid, action values, copy targets).
import { request, command } from './api.js';
import { el, field, toast } from './dom.js';
import { ActionBlock, copyTargets } from './actions.js';

const ACTION_VALUES = ['triAlarms', 'interval', 'audioId', 'email_interval', 'email_pic_enable', 'tri_channels_pic',
  'ptz_interval', 'alarmout_interval', 'white_interval', 'triChannels'];
const ALL_PLANS = ['effective', 'audible', 'email', 'ptz', 'white'];
const SMART_KINDS = ['region entrance', 'region exit', 'advanced motion', 'tamper detection', 'line crossing',
  'loitering', 'human detection', 'people counting', 'object left/removed'];

const copyOf = (box) => {
  const copyChn = box.selected();
  return { copyChn, copyCnt: copyChn.length };
};

// Each kind: its sources (channels or inputs), how its block is read and saved, and what it shows.
const KINDS = {
  motion: {
    label: 'motion detection', sources: 64, copies: 16, plans: ALL_PLANS, fields: ['enable', ...ACTION_VALUES],
    read: (n) => request('/6010', { chnid: n }),
    extra: (block) => ({ sensitivity: el('input', { id: 'motion-sensitivity', type: 'number', min: 1, max: 10, value: block.sensitivity ?? 5 }) }),
    save: (n, block, dialog, extra, copy) => command('/6112', {
      chnid: n, sensitivity: Number(extra.sensitivity.value), enableZV: block.enableZV ?? 0,
      motionTable: block.motionTable ?? '', ...copyOf(copy), dialog: { chnid: n, ...dialog },
    }),
  },
  videoloss: {
    label: 'video loss', sources: 64, copies: 16, plans: ['audible', 'email', 'ptz', 'white'],
    fields: ['enable', 'triAlarms', 'interval', 'audioId', 'email_interval', 'ptz_interval', 'alarmout_interval', 'white_interval'],
    read: (n) => request('/6094', { chnid: n }),
    save: (n, block, dialog, extra, copy) => command('/6095', { chnid: n, ...copyOf(copy), dialog: { chnid: n, ...dialog } }),
  },
  alarmin: {
    label: 'recorder alarm input', sources: 16, copies: 16, source: 'input', plans: ALL_PLANS,
    fields: [...ACTION_VALUES, 'triSnapshot'],
    read: (n) => request('/6026', { alarmId: n }),
    extra: (block) => ({
      name: el('input', { id: 'alarmin-name', value: block.name ?? '', size: 14 }),
      alarmType: el('select', { id: 'alarmin-alarmType' }, [0, 1].map((t) =>
        el('option', { value: t, selected: t === block.alarmType }, t === 0 ? '0 (normally open)' : '1 (normally closed)'))),
    }),
    save: (n, block, dialog, extra, copy) => command('/6027', {
      alarmId: n, name: extra.name.value, alarmType: Number(extra.alarmType.value), ...copyOf(copy), dialog,
    }),
  },
};
SMART_KINDS.forEach((label, kind) => {
  KINDS[`smart${kind}`] = {
    label: `analytics: ${label}`, sources: 64, plans: ALL_PLANS, fields: ['enable', ...ACTION_VALUES],
    read: async (n) => {
      const reply = await request('/6148', { chnid: n, event: kind });
      return (reply && Array.isArray(reply.action) && reply.action[0]) || reply;
    },
    save: (n, block, dialog) => command('/6149', { chnid: n, event: kind, ...dialog }),
  };
});

export async function events(section) {
  const kindSelect = el('select', { id: 'event-kind' }, Object.entries(KINDS).map(([k, d]) => el('option', { value: k }, d.label)));
  const source = el('select', { id: 'event-source' });
  const body = el('div', { id: 'event-body' });
  section.append(el('h1', {}, 'Events'),
    el('div', { class: 'row' }, field('Event', kindSelect), field('Channel or input', source)), body);
  const fillSources = () => {
    const kind = KINDS[kindSelect.value];
    source.replaceChildren(...Array.from({ length: kind.sources }, (_, n) =>
      el('option', { value: n }, `${kind.source || 'channel'} ${n + 1}`)));
  };
  let latest = 0;
  const load = async () => {
    const token = ++latest;  // a slower earlier read never replaces a later one
    const name = kindSelect.value;
    const kind = KINDS[name];
    const n = Number(source.value);
    body.replaceChildren(el('p', { class: 'muted' }, 'reading ...'));
    body.dataset.loaded = '';
    const block = await kind.read(n);
    if (token !== latest) return;
    if (!block || typeof block !== 'object') throw new Error(`no settings for ${kind.label}: ${block || 'no reply'}`);
    const editor = new ActionBlock(name === 'motion' ? 'motion' : 'event', block, kind);
    const extra = kind.extra ? kind.extra(block) : {};
    const copy = kind.copies ? copyTargets(`${name}-copy`, kind.copies, n) : null;
    const save = el('button', { id: name === 'motion' ? 'motion-save' : 'event-save', onclick: async () => {
      try {
        await kind.save(n, block, editor.dialog(), extra, copy);
        toast(`${kind.label} saved`);
      } catch (err) {
        toast(err.message, true);
      }
    } }, 'Save');
    body.replaceChildren(
      Object.keys(extra).length ? el('div', { class: 'row' }, Object.entries(extra).map(([k, input]) => field(k, input))) : '',
      editor.element(), copy || '', save);
    body.dataset.loaded = `${name}/${n}`;
  };
  const reload = () => load().catch((err) => toast(err.message, true));
  kindSelect.addEventListener('change', () => { fillSources(); reload(); });
  source.addEventListener('change', reload);
  fillSources();
  await load();
}
