// The users page: the accounts with their rights, add, edit and delete. Passwords leave the
// browser only as their MD5 digest, as the login sends them.
import { request, command, currentUser } from './api.js';
import { el, field, table, safely, tryRows } from './dom.js';

const AREAS = ['LiveView', 'Playback', 'Retrieve', 'SmartAnalysis', 'Event', 'Camera', 'Storage', 'Settings', 'Status', 'Shutdown'];
const RIGHTS = [...AREAS.map((a) => `local${a}`), ...AREAS.map((a) => `remote${a}`)];
const CHANNEL_RIGHTS = ['localliveview', 'localplayback', 'remoteliveview', 'remoteplayback'];
const TYPES = ['0 administrator', '1 operator', '2 user', '3 no login'];

function userForm(initial, onSave) {
  const editing = initial.id !== undefined;
  const name = el('input', { id: 'user-name', value: initial.name ?? '', size: 14, maxlength: 31 });
  const password = el('input', { id: 'user-password', type: 'password', size: 14,
    placeholder: editing ? 'unchanged' : '' });
  const type = el('select', { id: 'user-type' }, TYPES.map((t, i) => el('option', { value: i, selected: i === (initial.type ?? 2) }, t)));
  const permission = el('input', { id: 'user-permission', value: initial.permission ?? 0, size: 6 });
  const remotePermission = el('input', { id: 'user-remotePermission', value: initial.remotePermission ?? 0, size: 6 });
  // An edit keeps the two overall permissions as they are stored; only an add sets them.
  permission.disabled = editing;
  remotePermission.disabled = editing;
  const rights = Object.fromEntries(RIGHTS.map((key) => [key,
    el('input', { id: `user-${key}`, type: 'checkbox', checked: (initial[key] ?? 1) !== 0 })]));
  const channels = Object.fromEntries(CHANNEL_RIGHTS.map((key) => [key,
    el('input', { id: `user-${key}`, value: initial[key] ?? '1'.repeat(64), size: 24, maxlength: 64 })]));
  const form = el('form', { class: 'card', id: 'user-form', onsubmit: (e) => {
    e.preventDefault();
    safely(async () => {
      const user = {
        name: name.value, type: Number(type.value),
        permission: Number(permission.value), remotePermission: Number(remotePermission.value),
      };
      for (const key of ['permission', 'remotePermission']) {
        if (editing) delete user[key];
        else if (!Number.isInteger(user[key]) || user[key] < -1) throw new Error(`${key} must be -1 or more`);
      }
      if (!editing && password.value === '') throw new Error('a new user needs a password');
      if (password.value !== '') user.password = window.CryptoJS.MD5(password.value).toString();
      for (const [key, box] of Object.entries(rights)) user[key] = box.checked ? 1 : 0;
      for (const [key, input] of Object.entries(channels)) {
        if (!/^[01]{0,64}$/.test(input.value)) throw new Error(`${key}: a text of 0 and 1 per channel`);
        user[key] = input.value;
      }
      await onSave(user);
    }, 'user saved');
  } },
  el('strong', {}, editing ? `Edit user ${initial.name}` : 'Add a user'),
  el('div', { class: 'row' }, field('name', name), field('password', password), field('type', type),
    field('permission', permission), field('remotePermission', remotePermission)),
  el('div', { class: 'row' }, Object.entries(rights).map(([key, box]) => field(key, box))),
  el('div', { class: 'row' }, Object.entries(channels).map(([key, input]) => field(key, input))),
  el('button', { type: 'submit', id: 'user-save' }, 'Save'));
  return form;
}

// The replies of add and edit: "id=N" and "OK" are done, "SAMEUSER" and "FAILED_FULL" are not.
function checkReply(reply) {
  if (reply === 'OK' || /^id=\d+$/.test(reply)) return;
  const why = { SAMEUSER: 'another user has that name', FAILED_FULL: 'the user table is full' }[reply];
  throw new Error(why || `refused: ${reply || 'no reply (a value out of range)'}`);
}

export async function users(section) {
  const list = el('div', { id: 'user-list' });
  const editor = el('div');
  section.append(el('h1', {}, 'Users'), list, editor, el('h2', {}, 'Logged in now'), table(await tryRows('/8011')));
  const add = () => editor.replaceChildren(userForm({}, async (user) => {
    checkReply(await request('/6071', user));
    await refresh();
  }));
  const refresh = async () => {
    const rows = await tryRows('/6070');
    list.replaceChildren(table(rows, rows[0] && 'error' in rows[0] ? null : ['id', 'name', 'type', 'permission', 'remotePermission'],
      rows[0] && 'error' in rows[0] ? null : (row) => [
        el('button', { class: 'secondary', id: `user-edit-${row.id}`, onclick: () => editor.replaceChildren(userForm(row, async (user) => {
          checkReply(await request('/6072', { id: row.id, ...user }));
          await refresh();
        })) }, 'Edit'), ' ',
        // The account in use is not offered for deletion: the console would lock itself out.
        row.name === (currentUser() || {}).userName ? null : el('button', { class: 'danger', id: `user-delete-${row.id}`, onclick: () => safely(async () => {
          if (!confirm(`Delete user ${row.name}?`)) return;
          await command('/6073', { id: row.id, type: row.type });
          await refresh();
        }, 'deleted') }, 'Delete')]));
    add();
  };
  await refresh();
}
