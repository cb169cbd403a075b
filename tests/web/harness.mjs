// The built program started for real with a home of its own, and Debian's Chromium to drive the
// pages it serves. Everything talks to 127.0.0.1 only.
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const binary = process.env.VESKER_BINARY;
if (!binary) throw new Error('VESKER_BINARY must name the built program');

// A port free on every address now, for a program started later. Ports handed out for port 0
// and for outgoing connections come from the kernel's ephemeral range, where a test running in
// parallel could take this one before the program listens; so it is picked below that range,
// at random.
const ephemeralStart = (() => {
  try {
    const first = Number(readFileSync('/proc/sys/net/ipv4/ip_local_port_range', 'utf8').trim().split(/\s+/)[0]);
    return first > 12000 && first <= 65535 ? first : 32768;
  } catch { return 32768; }
})();
const listensOn = (port) => new Promise((resolve) => {
  const probe = createServer();
  probe.once('error', () => resolve(0));
  probe.listen(port, () => { const { port: got } = probe.address(); probe.close(() => resolve(got)); });
});
// The records of a store as its next start reads them: the index, then the changes its journal
// holds since the index was last written whole.
export function storedIndex(folder) {
  let records = [];
  try { records = JSON.parse(readFileSync(join(folder, 'index.json'), 'utf8')); } catch { /* none yet */ }
  let journal = '';
  try { journal = readFileSync(join(folder, 'index.journal'), 'utf8'); } catch { /* none */ }
  for (const line of journal.split('\n')) {
    let change;
    try { change = JSON.parse(line); } catch { continue; }
    if (change.put) {
      const at = records.findIndex((record) => record.id === change.put.id);
      if (at >= 0) records[at] = change.put; else records.push(change.put);
    } else if (change.remove) {
      records = records.filter((record) => record.id !== change.remove);
    }
  }
  return records;
}

export async function freePort() {
  for (let attempt = 0; attempt < 200; ++attempt) {
    const port = await listensOn(10000 + Math.floor(Math.random() * (ephemeralStart - 10000)));
    if (port) return port;
  }
  return listensOn(0);
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Retries `read` until it gives something truthy, for at most `ms`.
export async function eventually(read, ms = 10000) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await read();
    if (value || Date.now() > end) return value;
    await sleep(100);
  }
}

// JPEG photos drawn by the browser, each a colour field with its label, so that each differs.
export async function makePhotos(browser, labels, width = 1200, height = 900) {
  const page = await browser.newPage();
  const data = await page.evaluate(({ labels, width, height }) => labels.map((label, n) => {
    const canvas = Object.assign(document.createElement('canvas'), { width, height });
    const g = canvas.getContext('2d');
    g.fillStyle = `hsl(${n * 67} 60% 40%)`;
    g.fillRect(0, 0, width, height);
    g.fillStyle = '#fff';
    g.font = `${height / 6}px sans-serif`;
    g.fillText(label, width / 4, height / 2);
    return canvas.toDataURL('image/jpeg', 0.85).split(',')[1];
  }), { labels, width, height });
  await page.close();
  return data.map((base64, n) => ({ name: `${labels[n]}.jpg`, mimeType: 'image/jpeg', buffer: Buffer.from(base64, 'base64') }));
}

// The program on a free port with the offscreen platform, no network advertising and a quiet
// store; `settings` are added to its defaults.json. With `answers`, the program's receive side
// runs alone (tests/web/web_test_host.cpp), so that `vesker.answer('approve DEVICE')` can give
// the answers the window would.
export async function startVesker(settings = {}, { answers = false } = {}) {
  const port = await freePort();
  const home = mkdtempSync(join(tmpdir(), 'vesker-web-'));
  mkdirSync(join(home, '.config/Vesker'), { recursive: true });
  writeFileSync(join(home, '.config/Vesker/defaults.json'), JSON.stringify({
    serverPort: port, advertiseOnNetwork: false, recognizeOnArrival: false,
    didSeedWelcome: true, lastSeenVersion: '1.11.4', checkForUpdatesAutomatically: false,
    ...settings,
  }));
  const env = { ...process.env, HOME: home, XDG_CONFIG_HOME: join(home, '.config'),
    XDG_RUNTIME_DIR: home, QT_QPA_PLATFORM: 'offscreen', XDG_DATA_HOME: '', XDG_CACHE_HOME: '' };
  // Its log is shown only when it does not come up.
  const program = answers ? process.env.VESKER_WEB_HOST : binary;
  const child = spawn(program, [], { env, stdio: [answers ? 'pipe' : 'ignore', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', (chunk) => { log = (log + chunk).slice(-4000); });
  const url = `http://127.0.0.1:${port}`;
  const store = join(home, 'Pictures/Vesker');
  const vesker = {
    url, home, store,
    index: () => storedIndex(store),
    async upload(path, body, headers = {}) {
      const reply = await fetch(url + path, { method: 'POST', body, headers });
      return { status: reply.status, body: await reply.text() };
    },
    // Carries out one answer of the window and resolves once it has been.
    answer(command) {
      const done = new Promise((resolve) => child.stdout.once('data', resolve));
      child.stdin.write(command + '\n');
      return done;
    },
    async stop() {
      if (child.exitCode === null) {
        const ended = new Promise((resolve) => child.once('exit', resolve));
        child.kill('SIGTERM');
        await Promise.race([ended, sleep(5000)]);
        if (child.exitCode === null) child.kill('SIGKILL');
      }
      rmSync(home, { recursive: true, force: true });
    },
  };
  const up = await eventually(async () => {
    try { return (await fetch(url + '/api/info')).ok; } catch { return false; }
  }, 15000);
  if (!up) {
    await vesker.stop();
    throw new Error(`the program did not answer on ${url}:\n${log}`);
  }
  return vesker;
}

// Runs `body` with the program started as startVesker does, and stops it after.
export async function withVesker(settings, body, options) {
  const vesker = await startVesker(settings, options);
  try {
    await body(vesker);
  } finally {
    await vesker.stop();
  }
}

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

export const phone = { viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true, deviceScaleFactor: 2 };
export const desktop = { viewport: { width: 1280, height: 800 } };

// A page that records script errors and dialogs, which no test expects.
export async function openPage(browser, url, options) {
  const context = await browser.newContext(options);
  const page = await context.newPage();
  page.problems = [];
  page.on('pageerror', (error) => page.problems.push('page error: ' + error.message));
  page.on('dialog', (dialog) => { page.problems.push('dialog: ' + dialog.message()); dialog.dismiss(); });
  await page.goto(url);
  return page;
}
