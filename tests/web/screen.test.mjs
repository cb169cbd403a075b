// The browser screen at desktop size, beside a phone's upload page, against the real program.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { desktop, launchBrowser, makePhotos, openPage, phone, withVesker } from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

// One poll of the screen, with room for a slow machine.
const onePoll = { timeout: 4000 };

test('arrivals show up, Got it needs the PIN and reaches the phone as seen', () => withVesker({ allowBrowserScreens: true, viewerPIN: '2468', viewerBlurAll: true }, async (vesker) => {
  const screen = await openPage(browser, vesker.url + '/screen', desktop);
  await screen.getByRole('heading', { name: 'Waiting for photos' }).waitFor();

  // A phone sends a photo: it takes the stage blurred, and a click reveals it.
  const phonePage = await openPage(browser, vesker.url + '/', phone);
  await phonePage.getByLabel('Your name').fill('Mara');
  await phonePage.locator('#library').setInputFiles(await makePhotos(browser, ['crate'], 400, 300));
  await phonePage.getByText('✅ Sent').waitFor();
  const photo = screen.locator('#stage img');
  await photo.and(screen.locator('.blurred')).waitFor(onePoll);
  assert.equal(await photo.getAttribute('title'), 'Click to reveal');
  await screen.locator('#caption').getByText('Mara').waitFor();
  assert.equal(await screen.locator('#count').textContent(), '1 in inbox');
  await photo.click();
  await screen.locator('#stage img:not(.blurred)').waitFor();
  assert.ok(await photo.evaluate((img) => img.complete && img.naturalWidth === 400));

  // Got it asks for the PIN; a wrong one is refused and the right one does it.
  await screen.getByRole('button', { name: 'Got it' }).click();
  await screen.getByText('PIN to do that on this screen').waitFor();
  await screen.locator('#pin').fill('1111');
  await screen.getByRole('button', { name: 'OK' }).click();
  await screen.getByText("That PIN didn't work").waitFor();
  await screen.locator('#pin').fill('2468');
  await screen.getByRole('button', { name: 'OK' }).click();
  await screen.locator('#caption').getByText('✓ Got it').waitFor();

  const [item] = vesker.index();
  const device = await phonePage.evaluate(() => JSON.parse(localStorage.getItem('deviceID')));
  const status = await (await fetch(`${vesker.url}/api/status?device=${encodeURIComponent(device)}`)).json();
  assert.deepEqual(status.acked, [item.id]);
  assert.match(readFileSync(join(vesker.store, 'acks.json'), 'utf8'), new RegExp(item.id));
  await phonePage.getByText('👀 Seen on the screen').waitFor({ timeout: 8000 });

  // A newer arrival takes over the stage while the viewer looks at the older one.
  await vesker.upload('/text', 'Shelf 7731', { 'X-Sender': 'Ode', 'Content-Type': 'text/plain; charset=utf-8' });
  await screen.locator('#stage .textcard').getByText('Shelf 7731').waitFor(onePoll);
  assert.equal(await screen.locator('#strip .tile').count(), 2);
  assert.equal(await screen.locator('#strip .tile.current').textContent(), 'text');

  // A photo that starts as a JPEG but cannot be decoded leaves the kind's placeholder.
  await vesker.upload('/upload', Buffer.concat([Buffer.from([0xff, 0xd8, 0xff, 0xe0]), Buffer.from('not an image')]), { 'Content-Type': 'image/jpeg' });
  await screen.locator('#stage .placeholder').getByText('📷').waitFor(onePoll);

  assert.deepEqual([...screen.problems, ...phonePage.problems], []);
}));

test('a mistyped code asks again without locking the viewer or the phones out', () => withVesker({ allowBrowserScreens: true, accessPolicy: 'code', accessCode: '123456' }, async (vesker) => {
  const context = await browser.newContext(desktop);
  const screen = await context.newPage();
  await screen.clock.install();
  await screen.goto(vesker.url + '/screen?code=654321');
  await screen.getByText("That code didn't work").waitFor();
  // Half a minute with the wrong code still in its storage: the page asks, and does not poll.
  let polls = 0;
  screen.on('request', (request) => { if (request.url().includes('/api/items')) polls++; });
  await screen.clock.runFor(30000);
  assert.equal(polls, 0);

  await screen.locator('#code').fill('123456');
  await screen.locator('#code').press('Enter');
  await screen.getByRole('heading', { name: 'Waiting for photos' }).waitFor();
  const upload = await vesker.upload('/text', 'Shelf 7731', { 'X-Code': '123456', 'Content-Type': 'text/plain; charset=utf-8' });
  assert.equal(upload.status, 200);
  await screen.clock.runFor(2500);
  await screen.locator('#stage .textcard').getByText('Shelf 7731').waitFor(onePoll);

  // Another viewer polling with one wrong code is one guess, however often it asks.
  for (let i = 0; i < 12; i++) assert.equal((await fetch(vesker.url + '/api/items?code=111111')).status, 401);
  assert.equal((await fetch(vesker.url + '/api/items?code=123456')).status, 200);
  await context.close();
}));

test('while too many wrong codes came, the screen says to wait instead of asking for the code', () => withVesker({ allowBrowserScreens: true, accessPolicy: 'code', accessCode: '123456' }, async (vesker) => {
  // Ten wrong codes from this address: its codes are not checked for a minute.
  for (let n = 0; n < 10; n++) await fetch(`${vesker.url}/api/items?code=${900000 + n}`);
  const screen = await openPage(browser, vesker.url + '/screen?code=123456', desktop);
  await screen.getByText(/^Too many tries: wait \d+ s$/).waitFor(onePoll);
  assert.equal(await screen.locator('#codeScreen').isHidden(), true);
}));

test('the screen stays a dark page when the viewer\'s system asks for light', () => withVesker({ allowBrowserScreens: true }, async (vesker) => {
  const colours = {};
  for (const colorScheme of ['dark', 'light']) {
    const screen = await openPage(browser, vesker.url + '/screen', { ...desktop, colorScheme });
    await screen.getByRole('heading', { name: 'Waiting for photos' }).waitFor();
    colours[colorScheme] = await screen.evaluate(() => {
      const style = (selector) => getComputedStyle(document.querySelector(selector));
      return { page: style('body').backgroundColor, text: style('body').color, bar: style('#bar').backgroundColor,
        scheme: style(':root').colorScheme };
    });
    await screen.context().close();
  }
  assert.deepEqual(colours.light, colours.dark);
  const [r, g, b] = colours.light.page.match(/\d+/g).map(Number);
  assert.ok(r + g + b < 3 * 48, `background ${colours.light.page}`);
}));
