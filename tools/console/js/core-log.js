// The live view of the core simulator's message log (one JSON object per line: t, client, id,
// len, payload in hex). The demo serves the log read-only as /core-messages.log; the view fetches
// what was appended since its last look, once a second.
import { el } from './dom.js';

// What the core is told, by message id, with the payload layout where it is a short record.
const KNOWN = {
  1402: ['video loss changed', 'i32:channel'],
  1403: ['motion changed', 'i32:channel'],
  1404: ['alarm input changed', 'i32:input'],
  1409: ['alarm output trigger (output, on)', ''],
  1410: ['motion copied to channels', 'mask'],
  1414: ['video loss copied to channels', 'mask'],
  1415: ['alarm inputs copied', 'mask'],
  1401: ['holidays changed', ''],
  1411: ['recording plans changed', 'mask'],
  1412: ['analytics event changed', 'mask'],
  1413: ['recording modes changed', 'mask'],
  1702: ['settings to apply', 'text'],
  3280: ['image settings to the camera', ''],
  3505: ['users changed', 'i32:user'],
  3485: ['operation log record', 'text'],
  3509: ['operation log record (channels)', 'text'],
};

function bytesOf(hex) {
  const out = new Uint8Array(hex.length / 2);
  for (let i = 0; i < out.length; i++) out[i] = parseInt(hex.substr(i * 2, 2), 16);
  return out;
}

function int32s(bytes, count) {
  const view = new DataView(bytes.buffer);
  const values = [];
  for (let i = 0; i + 4 <= bytes.length && values.length < count; i += 4) values.push(view.getInt32(i, true));
  return values;
}

function texts(bytes) {
  return (new TextDecoder('latin1').decode(bytes).match(/[\x20-\x7e]{3,}/g) || []).slice(0, 6).join(' | ');
}

export function decode(message) {
  const bytes = bytesOf(message.payload || '');
  const [name, layout] = KNOWN[message.id] || ['', ''];
  let detail;
  if (layout.startsWith('i32:')) {
    detail = bytes.length >= 4 ? `${layout.slice(4)} ${int32s(bytes, 1)[0]}` : '';
  } else if (layout === 'mask') {
    const mask = new DataView(bytes.buffer).getBigUint64(0, true);
    const set = [];
    for (let c = 0; c < 64; c++) if ((mask >> BigInt(c)) & 1n) set.push(c);
    detail = `channels [${set.join(', ')}]`;
  } else if (layout === 'text') {
    detail = texts(bytes);
  } else if (bytes.length === 0) {
    detail = '';
  } else if (bytes.length <= 16) {
    detail = `int32 ${int32s(bytes, 4).join(' ')}`;
  } else {
    detail = texts(bytes) || `${bytes.length} bytes`;
  }
  return { name, detail };
}

export function messageView(section) {
  const body = el('tbody', { id: 'core-messages' });
  const status = el('span', { class: 'muted' }, 'waiting for the log ...');
  const filter = el('input', { id: 'core-filter', placeholder: 'message id', size: 8 });
  section.append(el('h1', {}, 'Core messages'),
    el('div', { class: 'row' }, field('Only id', filter), status),
    el('table', {}, el('thead', {}, el('tr', {}, ['time', 'id', 'length', 'what', 'payload'].map((h) => el('th', {}, h)))), body));
  let offset = 0;
  let rest = '';
  let stopped = false;
  const add = (line) => {
    let m;
    try { m = JSON.parse(line); } catch { return; }
    const { name, detail } = decode(m);
    const row = el('tr', { 'data-id': m.id },
      el('td', {}, new Date(m.t).toLocaleTimeString()), el('td', {}, m.id), el('td', {}, m.len),
      el('td', {}, name), el('td', { title: m.payload }, detail));
    row.hidden = filter.value !== '' && String(m.id) !== filter.value.trim();
    body.prepend(row);
    while (body.rows.length > 500) body.lastChild.remove();
  };
  filter.addEventListener('input', () => {
    for (const row of body.rows) row.hidden = filter.value !== '' && row.dataset.id !== filter.value.trim();
  });
  const poll = async () => {
    if (stopped) return;
    try {
      const response = await fetch('/core-messages.log', { headers: { Range: `bytes=${offset}-` }, cache: 'no-store' });
      if (response.status === 206 || response.status === 200) {
        if (response.status === 200) { offset = 0; rest = ''; body.replaceChildren(); }
        const text = await response.text();
        offset += new TextEncoder().encode(text).length;
        const lines = (rest + text).split('\n');
        rest = lines.pop();
        lines.forEach(add);
      }
      status.textContent = `${offset} bytes read, live`;
    } catch (err) {
      status.textContent = err.message;
    }
    setTimeout(poll, 1000);
  };
  poll();
  return () => { stopped = true; };
}

function field(label, input) {
  return el('label', {}, label, input);
}
