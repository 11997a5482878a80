// The console's frame: the login, the navigation bar and the page router (#dashboard, #cameras ...).
import { login, logout, currentUser } from './api.js';
import { el, toast } from './dom.js';
import { pages } from './pages.js';
import { texts, languages } from './i18n.js';

const main = document.getElementById('page');

function showLogin(message) {
  document.getElementById('nav').hidden = true;
  document.getElementById('who').textContent = '';
  const user = el('input', { id: 'login-user', value: 'admin', autocomplete: 'username' });
  const password = el('input', { id: 'login-password', type: 'password', autocomplete: 'current-password' });
  const error = el('p', { class: 'error', id: 'login-error' }, message || '');
  const form = el('form', { class: 'card login', onsubmit: async (e) => {
    e.preventDefault();
    try {
      await login(user.value, password.value);
      if (location.hash === '' || location.hash === '#login') location.hash = '#dashboard';  // routes
      else route();
    } catch (err) {
      error.textContent = err.message;
    }
  } },
  el('h1', {}, 'Log in'),
  el('label', {}, 'User', user),
  el('label', {}, 'Password', password),
  el('button', { id: 'login-submit', type: 'submit' }, 'Log in'),
  error);
  main.replaceChildren(form);
  password.focus();
}

async function route() {
  const user = currentUser();
  if (!user) return showLogin();
  const name = location.hash.slice(1) || 'dashboard';
  const page = pages[name] || pages.dashboard;
  document.getElementById('nav').hidden = false;
  const words = await texts('console', 'nav');
  document.querySelectorAll('#nav a').forEach((a) => {
    a.classList.toggle('active', a.hash === `#${name}`);
    if (words[a.hash.slice(1)]) a.textContent = words[a.hash.slice(1)];
  });
  const out = el('a', { href: '#', id: 'logout', onclick: async (e) => {
    e.preventDefault();
    await logout();
    showLogin();
  } }, words.logout || 'log out');
  out.style.color = '#fff';
  document.getElementById('who').replaceChildren(`${user.userName} · `, out);
  if (route.stop) route.stop();
  route.stop = null;
  const section = el('section', { id: `page-${name}` });
  main.replaceChildren(section);
  try {
    route.stop = await page(section);
    const title = section.querySelector('h1');
    if (title && words[name]) title.textContent = words[name];
  } catch (err) {
    section.append(el('p', { class: 'error' }, err.message));
    toast(err.message, true);
  }
}

// The language of the texts: the device's language list, kept in the browser once picked.
async function languageChoice() {
  const select = document.getElementById('lang');
  const list = await languages();
  if (!list.length) return;
  const current = localStorage.getItem('lang') || 'en';
  select.replaceChildren(...list.map((l) => el('option', { value: l.lang, selected: l.lang === current }, l.name)));
  select.hidden = false;
  select.addEventListener('change', () => {
    localStorage.setItem('lang', select.value);
    route();
  });
}

languageChoice();
window.addEventListener('hashchange', route);
route();
