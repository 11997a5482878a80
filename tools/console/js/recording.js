// Recording plans (a channel's week on the grid, its recording mode, copied to other channels)
// and the holiday list.
import { request, command } from './api.js';
import { el, field, table, safely, channelSelect, toast } from './dom.js';
import { ScheduleGrid } from './schedule.js';
import { copyTargets } from './actions.js';

const PLAN_RANGES = 48;
const HOLIDAYS = 32;
const DATE_KEYS = ['startYear', 'startMon', 'startMDay', 'startMWeek', 'startWDay', 'endYear', 'endMon', 'endMDay', 'endMWeek', 'endWDay'];

function recordPlan() {
  const channel = channelSelect('plan-channel');
  const body = el('div');
  const load = async () => {
    const chnid = Number(channel.value);
    const [plan, modes] = await Promise.all([request('/6040', chnid), request('/6042')]);
    if (!plan || !Array.isArray(plan.schedule)) throw new Error(`no recording plan: ${plan || 'no reply'}`);
    const grid = new ScheduleGrid(1, PLAN_RANGES);
    grid.load(plan.schedule.map((day) => day.plans || []));
    const current = ((modes && modes.records) || []).find((r) => r.id === chnid);
    const mode = el('select', { id: 'plan-mode' }, [0, 1, 2].map((m) =>
      el('option', { value: m, selected: current ? current.mode === m : m === 0 }, `mode ${m}`)));
    const copy = copyTargets('plan-copy', 16, chnid);
    const save = el('button', { id: 'plan-save', onclick: () => safely(async () => {
      const days = grid.input();
      // The whole-day words of each day are kept as they were read.
      const schedule = days.map((plans, d) => ({
        wholedayEnable: plan.schedule[d]?.wholedayEnable ?? 0,
        wholedayActionType: plan.schedule[d]?.wholedayActionType ?? 0,
        plans,
      }));
      const chnids = [chnid, ...copy.selected()];
      await command('/6041', { cnt: chnids.length, chnid: chnids, recordplanmode: Number(mode.value), schedule });
    }, 'recording plan saved') }, 'Save');
    body.replaceChildren(grid.element(),
      el('div', { class: 'row' },
        el('button', { class: 'secondary', onclick: () => grid.setAll(true) }, 'All week'),
        el('button', { class: 'secondary', onclick: () => grid.setAll(false) }, 'Clear'),
        field('Recording mode', mode)),
      copy, save);
  };
  channel.addEventListener('change', () => safely(load));
  const box = el('div', { class: 'card', id: 'record-plan' }, el('h2', {}, 'Recording plan (drag to paint)'),
    el('div', { class: 'row' }, field('Channel', channel)), body);
  return { box, load };
}

function holidayForm(initial, onSave) {
  const inputs = {
    id: el('input', { id: 'holiday-id', type: 'number', min: 0, max: HOLIDAYS - 1, value: initial.id ?? 0 }),
    name: el('input', { id: 'holiday-name', value: initial.name ?? '', size: 16 }),
    enable: el('select', { id: 'holiday-enable' }, [1, 0].map((v) => el('option', { value: v, selected: v === (initial.enable ?? 1) }, v ? 'on' : 'off'))),
    type: el('input', { id: 'holiday-type', type: 'number', min: 0, value: initial.type ?? 0 }),
  };
  for (const key of DATE_KEYS) inputs[key] = el('input', { id: `holiday-${key}`, type: 'number', value: initial[key] ?? 0, style: 'width:6em' });
  return el('form', { class: 'inline', id: 'holiday-form', onsubmit: (e) => {
    e.preventDefault();
    safely(async () => {
      const holiday = {};
      for (const [key, input] of Object.entries(inputs)) {
        if (key === 'name') { holiday.name = input.value; continue; }
        holiday[key] = Number(input.value);
        if (!Number.isInteger(holiday[key])) throw new Error(`${key} must be a whole number`);
      }
      if (holiday.id < 0 || holiday.id >= HOLIDAYS) throw new Error(`id must be 0 to ${HOLIDAYS - 1}`);
      if (holiday.type < 0) throw new Error('type must be 0 or more');
      await onSave(holiday);
    });
  } }, Object.entries(inputs).map(([key, input]) => field(key, input)), el('button', { type: 'submit', id: 'holiday-save' }, 'Save'));
}

function holidays() {
  const list = el('div', { id: 'holiday-list' });
  const editor = el('div');
  const load = async () => {
    const reply = await request('/6030');
    const stored = (reply && Array.isArray(reply.holidays)) ? reply.holidays : [];
    const rows = stored.filter((h) => h.enable || h.name);  // the unused slots are not listed
    const save = async (holiday) => {
      await command('/6031', holiday);
      toast('holiday saved');
      await load();
    };
    list.replaceChildren(table(rows, ['id', 'name', 'enable', 'type', 'startYear', 'startMon', 'startMDay', 'endYear', 'endMon', 'endMDay'],
      (row) => el('button', { class: 'secondary', onclick: () => editor.replaceChildren(holidayForm(row, save)) }, 'Edit')));
    const free = Array.from({ length: HOLIDAYS }, (_, i) => i).find((i) => !rows.some((r) => r.id === i && r.enable)) ?? 0;
    editor.replaceChildren(holidayForm({ id: free }, save));
  };
  return { box: el('div', { class: 'card', id: 'holidays' }, el('h2', {}, 'Holidays'), list, editor), load };
}

export async function recording(section) {
  const plan = recordPlan();
  const days = holidays();
  section.append(el('h1', {}, 'Recording'), plan.box, days.box);
  await Promise.all([plan.load(), days.load()]);
}
