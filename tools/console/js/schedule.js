// The weekly schedule as a grid of 7 days x 48 half hours, painted with the mouse, and its
// conversion to and from the recorder's schedule forms: 8 day arrays (days 0-6, then the holiday
// day 7, which the grid does not show and keeps as it was read) of 12 time ranges each (48 for the
// recording plans).
import { el } from './dom.js';

export const DAYS = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'];
const SLOTS = 48;

function minutes(text) {
  const m = /^(\d{1,2}):(\d{2})/.exec(text || '');
  return m ? Number(m[1]) * 60 + Number(m[2]) : null;
}

function clock(slot) {
  const total = slot * 30;
  return `${String(Math.floor(total / 60)).padStart(2, '0')}:${String(total % 60).padStart(2, '0')}`;
}

export class ScheduleGrid {
  constructor(actionType = 1, rangesPerDay = 12) {
    this.actionType = actionType;
    this.rangesPerDay = rangesPerDay;
    this.cells = DAYS.map(() => new Array(SLOTS).fill(false));
    this.holiday = [];
    this.painting = null;
  }

  // Reads the output form: 8 arrays of {startTime, endTime, actionType}.
  load(schedule) {
    this.cells = DAYS.map(() => new Array(SLOTS).fill(false));
    (schedule || []).forEach((ranges, day) => {
      if (day >= DAYS.length) {
        this.holiday = ranges.map((r) => [r.startTime, r.endTime, r.actionType]);
        return;
      }
      for (const range of ranges) {
        const start = minutes(range.startTime);
        const end = minutes(range.endTime);
        if (start === null || end === null || end <= start) continue;
        if (range.actionType) this.actionType = range.actionType;
        for (let slot = Math.floor(start / 30); slot < Math.min(SLOTS, Math.ceil(end / 30)); slot++) {
          this.cells[day][slot] = true;
        }
      }
    });
    this.paint();
  }

  // The input form: each run of painted cells becomes one range, padded with empty ranges.
  input() {
    const days = this.cells.map((slots) => {
      const ranges = [];
      for (let slot = 0; slot < SLOTS; slot++) {
        if (!slots[slot]) continue;
        let end = slot;
        while (end < SLOTS && slots[end]) end++;
        ranges.push([clock(slot), end === SLOTS ? '24:00' : clock(end), this.actionType]);
        slot = end;
      }
      return ranges;
    });
    const tooMany = days.findIndex((ranges) => ranges.length > this.rangesPerDay);
    if (tooMany >= 0) throw new Error(`${DAYS[tooMany]} has more than ${this.rangesPerDay} separate ranges`);
    days.push(this.holiday.filter((r) => r[0] || r[1]));
    return days.map((ranges) => {
      const padded = ranges.slice(0, this.rangesPerDay);
      while (padded.length < this.rangesPerDay) padded.push(['', '', 0]);
      return padded;
    });
  }

  setAll(on) {
    this.cells.forEach((slots) => slots.fill(on));
    this.paint();
  }

  paint() {
    if (!this.node) return;
    this.node.querySelectorAll('td.cell').forEach((td) => {
      td.classList.toggle('on', this.cells[td.dataset.day][td.dataset.slot]);
    });
  }

  element() {
    const stop = () => { this.painting = null; };
    const apply = (td) => {
      this.cells[td.dataset.day][td.dataset.slot] = this.painting;
      td.classList.toggle('on', this.painting);
    };
    const hours = el('tr', {}, el('th'), Array.from({ length: 24 }, (_, h) => el('th', { colspan: 2 }, h)));
    const rows = DAYS.map((name, day) => el('tr', {}, el('th', { class: 'day' }, name),
      Array.from({ length: SLOTS }, (_, slot) => el('td', {
        class: `cell${slot % 2 === 0 ? ' hour' : ''}`,
        'data-day': day,
        'data-slot': slot,
        title: `${name} ${clock(slot)}-${clock(slot + 1)}`,
      }))));
    this.node = el('table', { class: 'schedule' }, el('thead', {}, hours), el('tbody', {}, rows));
    this.node.addEventListener('mousedown', (e) => {
      const td = e.target.closest('td.cell');
      if (!td) return;
      e.preventDefault();
      this.painting = !this.cells[td.dataset.day][td.dataset.slot];
      apply(td);
    });
    this.node.addEventListener('mouseover', (e) => {
      const td = e.target.closest('td.cell');
      if (td && this.painting !== null) apply(td);
    });
    window.addEventListener('mouseup', stop);
    this.paint();
    return this.node;
  }
}
