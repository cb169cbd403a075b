// The upload page at phone size, sending to the real program.
import assert from 'node:assert/strict';
import { createHash, randomUUID } from 'node:crypto';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { eventually, freePort, launchBrowser, makePhotos, openPage, phone, withVesker } from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

// Starts the program, opens its upload page and hands both to `body`; stops the program after.
const withUploadPage = (settings, body, path = '/', options = {}) => withVesker(settings, async (vesker) => {
  const page = await openPage(browser, vesker.url + path, phone);
  await body(page, vesker);
  assert.deepEqual(page.problems, []);
}, options);

const firstStatus = (page) => page.locator('#history li .status').first();
const sha = (bytes) => createHash('sha256').update(bytes).digest('hex');

test('photos picked together arrive in order with the name and the note', async () => {
  const photos = await makePhotos(browser, ['one', 'two', 'three'], 300, 200);
  await withUploadPage({}, async (page, vesker) => {
    await page.getByLabel('Your name').fill('Arlo');
    await page.getByLabel('Note (optional)').fill('Shelf 3');
    await page.locator('#library').setInputFiles(photos);
    await assert.doesNotReject(page.getByText('✅ Sent').nth(2).waitFor());
    assert.equal(await page.getByText('✅ Sent').count(), 3);
    assert.equal(await page.getByLabel('Note (optional)').inputValue(), '');

    const items = await eventually(() => vesker.index().length === 3 && vesker.index());
    items.sort((a, b) => a.receivedAt.localeCompare(b.receivedAt));
    const stored = items.map((item) => sha(readFileSync(join(vesker.store, 'Inbox', item.filename))));
    assert.deepEqual(stored, photos.map((p) => sha(p.buffer)));
    for (const item of items) assert.deepEqual([item.sender, item.note], ['Arlo', 'Shelf 3']);
  });
});

test('an access code is asked for after a refusal, and one from a link leaves the address bar', async () => {
  const settings = { accessPolicy: 'code', accessCode: '123456' };
  await withUploadPage(settings, async (page, vesker) => {
    // The page learns at load that a code is needed; a send without one is refused.
    await page.getByLabel('Access code').waitFor();
    await page.getByPlaceholder('Serial number, part number, anything…').fill('first');
    await page.getByRole('button', { name: 'Send text' }).click();
    await firstStatus(page).getByText('❌ Access code required or incorrect').waitFor();
    assert.equal(await page.evaluate(() => document.activeElement.id), 'code');

    await page.getByLabel('Access code').fill('123456');
    await page.getByRole('button', { name: 'Send again' }).click();
    await firstStatus(page).getByText('✅ Sent').waitFor();
    assert.equal(vesker.index().length, 1);
  });
  await withUploadPage(settings, async (page) => {
    assert.equal(new URL(page.url()).search, '');
    assert.equal(await page.getByLabel('Access code').inputValue(), '123456');
    await page.getByPlaceholder('Serial number, part number, anything…').fill('from the link');
    await page.getByRole('button', { name: 'Send text' }).click();
    await firstStatus(page).getByText('✅ Sent').waitFor();
  }, '/?code=123456');
});

test('a code sent while too many wrong ones came is not called wrong: the page says to wait', async () => {
  await withUploadPage({ accessPolicy: 'code', accessCode: '123456' }, async (page, vesker) => {
    // Ten wrong codes from this address: it is not checked for a minute.
    for (let n = 0; n < 10; n++) await vesker.upload('/text', 'guess', { 'X-Code': String(900000 + n) });
    await page.getByLabel('Access code').fill('123456');
    await page.getByPlaceholder('Serial number, part number, anything…').fill('now?');
    await page.getByRole('button', { name: 'Send text' }).click();
    await firstStatus(page).getByText(/^❌ Too many tries: wait \d+ s$/).waitFor();
    assert.equal(await page.getByLabel('Access code').inputValue(), '123456');
    assert.equal(vesker.index().length, 0);
  });
});

// The device is answered through the access policy, as the window's prompt would.
test('a device that must be allowed waits, then is sent once allowed or shows the decline', async () => {
  for (const [answer, status, stored] of [['approve', '✅ Sent', 1], ['deny', '❌ The screen declined', 0]]) {
    await withUploadPage({ accessPolicy: 'ask' }, async (page, vesker) => {
      await page.getByPlaceholder('Serial number, part number, anything…').fill('may I?');
      await page.getByRole('button', { name: 'Send text' }).click();
      await firstStatus(page).getByText('⏳ Waiting for the screen to allow this device…').waitFor();
      const device = await page.evaluate(() => JSON.parse(localStorage.getItem('deviceID')));
      await vesker.answer(`${answer} ${device}`);
      await firstStatus(page).getByText(status).waitFor({ timeout: 10000 });
      assert.equal((await eventually(() => vesker.index().length === stored && vesker.index())).length, stored);
    }, '/', { answers: true });
  }
});

// Let through "Once" while the disk takes nothing: the page says so instead of "Sent", and what
// was stored before stays.
test('a send allowed once that cannot be stored shows why', async () => {
  await withUploadPage({ accessPolicy: 'ask' }, async (page, vesker) => {
    await vesker.upload('/text', 'stored before', { 'X-Device': 'other' });
    await vesker.answer('approve other');
    await eventually(() => vesker.index().length === 1);
    await page.getByPlaceholder('Serial number, part number, anything…').fill('lost?');
    await page.getByRole('button', { name: 'Send text' }).click();
    await firstStatus(page).getByText('⏳ Waiting for the screen to allow this device…').waitFor();
    const device = await page.evaluate(() => JSON.parse(localStorage.getItem('deviceID')));
    await vesker.answer('fail-writes all');
    await vesker.answer(`approve ${device}`);
    await firstStatus(page).getByText('❌ Save failed: No space left on device').waitFor({ timeout: 10000 });
    assert.equal(await page.getByText('✅ Sent').count(), 0);
    assert.deepEqual(vesker.index().map((item) => item.text), ['stored before']);
  }, '/', { answers: true });
});

// "Choose from library" may hand over any file: a PDF goes as the PDF it is; anything else that
// is no picture is refused with a reason the page shows.
test('a PDF picked as a photo arrives as a PDF, and a file that is neither is refused', async () => {
  await withUploadPage({}, async (page, vesker) => {
    const pdf = { name: 'menu.pdf', mimeType: 'application/pdf', buffer: Buffer.from('%PDF-1.4\n%%EOF\n') };
    await page.locator('#library').setInputFiles([pdf]);
    await firstStatus(page).getByText('✅ Sent').waitFor();
    const [item] = await eventually(() => vesker.index().length === 1 && vesker.index());
    assert.equal(item.kind, 'pdf');
    assert.match(item.filename, /\.pdf$/);

    const notes = { name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('call back at 3') };
    await page.locator('#library').setInputFiles([notes]);
    await firstStatus(page).getByText('❌ Not a photo or PDF').waitFor();
    assert.equal(vesker.index().length, 1);
  });
});

// Sends a text from a shared remote screen's page, which waits until the person at this
// computer lets it through "Once".
async function sendAllowedOnce(page, vesker, text) {
  await page.getByPlaceholder('Serial number, part number, anything…').fill(text);
  await page.getByRole('button', { name: 'Send text' }).click();
  await firstStatus(page).getByText('⏳ Waiting for the screen to allow this device…').waitFor();
  const device = await page.evaluate(() => JSON.parse(localStorage.getItem('deviceID')));
  await vesker.answer(`relay-once ${device}`);
}

// This computer's settings sharing the remote screen "Lab" at `url` with phones on `relayPort`.
const sharingLab = (url, relayPort) => ({ remoteScreens: [{ id: randomUUID().toUpperCase(), name: 'Lab', url, shareOnLAN: true, relayPort }] });

// A remote screen shared through this computer that cannot be reached: allowed "Once", the
// phone is told that nothing arrived rather than that it was sent.
test('a send allowed through a shared remote screen that is down shows why it failed', async () => {
  const [down, relayPort] = [await freePort(), await freePort()];
  await withVesker(sharingLab(`127.0.0.1:${down}`, relayPort), async (vesker) => {
    const page = await openPage(browser, `http://127.0.0.1:${relayPort}/`, phone);
    await sendAllowedOnce(page, vesker, 'for the lab');
    await firstStatus(page).getByText('❌ The remote screen could not be reached').waitFor({ timeout: 10000 });
    assert.equal(await page.getByText('✅ Sent').count(), 0);
    assert.deepEqual(page.problems, []);
  }, { answers: true });
});

// A remote screen that asks for an access code, shared through this computer: the phone's page
// asks for the code before the first send, so that one "Once" lets the item through.
test('a shared remote screen that asks for a code shows the code field before the first send', async () => {
  await withVesker({ accessPolicy: 'code', accessCode: '482913' }, async (remote) => {
    const relayPort = await freePort();
    await withVesker(sharingLab(remote.url, relayPort), async (vesker) => {
      const relay = `http://127.0.0.1:${relayPort}`;
      const told = await eventually(async () => {
        try { return (await (await fetch(relay + '/api/info')).json()).requiresCode === true; } catch { return false; }
      });
      assert.equal(told, true, 'the relay\'s /api/info does not say that the remote screen asks for a code');

      const page = await openPage(browser, relay + '/', phone);
      await page.getByLabel('Access code').waitFor();
      await page.getByLabel('Access code').fill('482913');
      await sendAllowedOnce(page, vesker, 'for the lab');
      await firstStatus(page).getByText('✅ Sent').waitFor({ timeout: 10000 });
      const [item] = await eventually(() => remote.index().length === 1 && remote.index());
      assert.equal(item.text, 'for the lab');
      assert.deepEqual(page.problems, []);
    }, { answers: true });
  });
});
