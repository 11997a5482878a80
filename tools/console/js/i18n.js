// The console's texts in the chosen language: one block of a language file, read through the
// language request of the back end ("/json?lang=..&page=..&sub=.."), and the device's list of
// languages. A missing file or block leaves the built-in English words.
import { request } from './api.js';

const cache = new Map();

export async function texts(page, sub) {
  const lang = localStorage.getItem('lang') || 'en';
  const key = `${lang}/${page}/${sub}`;
  if (!cache.has(key)) {
    let block = {};
    try {
      const reply = await request(`/json?lang=${encodeURIComponent(lang)}&page=${encodeURIComponent(page)}&sub=${encodeURIComponent(sub)}`);
      if (reply && typeof reply === 'object') block = reply;
    } catch {
      // the built-in words stay
    }
    cache.set(key, block);
  }
  return cache.get(key);
}

// [{lang, name}] from the language list the device keeps beside its language files.
export async function languages() {
  try {
    const response = await fetch('/webfile/json/languages.json', { cache: 'no-store' });
    const list = response.ok ? await response.json() : [];
    return Array.isArray(list) ? list.filter((l) => l && typeof l.lang === 'string' && typeof l.name === 'string') : [];
  } catch {
    return [];
  }
}
