// The one way the console talks to the recorder: webreq's request identifiers, JSON in, JSON or
// plain text ("OK", "id=1", ...) out. The session is the "userName" cookie the back end reads.

export async function request(id, body) {
  const init = body === undefined
    ? { method: 'GET' }
    : { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) };
  const response = await fetch(`/cgi-bin/webreq${id}`, init);
  const text = await response.text();
  if (!response.ok) throw new Error(`${id}: HTTP ${response.status}`);
  try {
    return JSON.parse(text);
  } catch {
    return text.trim();
  }
}

// Requests whose only good answer is "OK".
export async function command(id, body) {
  const reply = await request(id, body);
  if (reply !== 'OK') throw new Error(`${id}: ${typeof reply === 'string' ? reply || 'no reply' : 'unexpected reply'}`);
  return reply;
}

export async function login(userName, password) {
  const md5 = window.CryptoJS.MD5(password).toString();
  const reply = await request('/1000', { userName, md5 });
  if (typeof reply !== 'object' || reply === null || !('sessionId' in reply)) {
    throw new Error(typeof reply === 'string' && reply ? reply : 'wrong user name or password');
  }
  document.cookie = `userName=${encodeURIComponent(userName)}; path=/; SameSite=Strict`;
  sessionStorage.setItem('user', JSON.stringify(reply));
  return reply;
}

export function currentUser() {
  const saved = sessionStorage.getItem('user');
  return saved ? JSON.parse(saved) : null;
}

export async function logout() {
  try { await request('/1014'); } catch { /* the session ends here either way */ }
  sessionStorage.removeItem('user');
  document.cookie = 'userName=; path=/; max-age=0';
}
