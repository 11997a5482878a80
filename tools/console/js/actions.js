// The editor of one event's action block, shared by every event kind: the weekly plans of the
// kind (one grid shown at a time, picked by a selector), the action values the kind stores, and
// the channels (or inputs) to copy the block to. The block is read in the recorder's output form
// and written back in its input form; members the kind does not show are not sent, so the
// recorder keeps them.
import { el, field } from './dom.js';
import { ScheduleGrid } from './schedule.js';

const PLAN_NAMES = {
  effective: 'when the event is effective',
  audible: 'when the sound may play',
  email: 'when an e-mail may go out',
  ptz: 'when the PTZ action may run',
  white: 'when the white light may switch',
};

export class ActionBlock {
  // prefix: the id prefix of the form's controls ("motion", "videoloss" ...); block: the read
  // reply; plans: the plan members the kind has; fields: the action values the kind stores.
  constructor(prefix, block, { plans, fields }) {
    this.prefix = prefix;
    this.grids = {};
    for (const key of plans) {
      if (!Array.isArray(block[key])) continue;
      this.grids[key] = new ScheduleGrid();
      this.grids[key].load(block[key]);
    }
    this.inputs = {};
    this.types = {};
    for (const key of fields) {
      const value = block[key];
      if (value === undefined || (value !== null && typeof value === 'object')) continue;
      this.types[key] = typeof value;
      this.inputs[key] = el('input', { id: `${prefix}-${key}`, value: value ?? '', size: typeof value === 'number' ? 6 : 14 });
    }
  }

  element() {
    const keys = Object.keys(this.grids);
    const which = el('select', { id: `${this.prefix}-plan` }, keys.map((k) => el('option', { value: k }, PLAN_NAMES[k] || k)));
    const holder = el('div');
    const show = () => {
      const grid = this.grids[which.value];
      holder.replaceChildren(grid ? grid.element() : el('p', { class: 'muted' }, 'no weekly plan'),
        grid ? el('div', { class: 'row' },
          el('button', { class: 'secondary', onclick: () => grid.setAll(true) }, 'All week'),
          el('button', { class: 'secondary', onclick: () => grid.setAll(false) }, 'Clear')) : null);
    };
    which.addEventListener('change', show);
    show();
    return el('div', { class: 'action-block' },
      keys.length > 1 ? el('div', { class: 'row' }, field('Plan (drag to paint, drag over painted cells to clear)', which)) : null,
      holder,
      el('h2', {}, 'Actions'),
      el('div', { class: 'row' }, Object.entries(this.inputs).map(([key, input]) => field(key, input))));
  }

  // The block in the input form: every plan and every shown value.
  dialog() {
    const out = {};
    for (const [key, grid] of Object.entries(this.grids)) out[key] = grid.input();
    for (const [key, input] of Object.entries(this.inputs)) {
      if (this.types[key] === 'number') {
        const n = Number(input.value);
        if (input.value.trim() === '' || !Number.isInteger(n)) throw new Error(`${key} must be a whole number`);
        out[key] = n;
      } else {
        out[key] = input.value;
      }
    }
    return out;
  }
}

// Check boxes for the copy targets: numbers 0 .. count-1 except the source.
export function copyTargets(id, count, source, label = (n) => `${n + 1}`) {
  const box = el('div', { class: 'row', id }, 'Copy to:',
    Array.from({ length: count }, (_, n) => n === source ? null
      : el('label', {}, label(n), el('input', { type: 'checkbox', value: n }))));
  box.selected = () => [...box.querySelectorAll('input:checked')].map((i) => Number(i.value));
  return box;
}
