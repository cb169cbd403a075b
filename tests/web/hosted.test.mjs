// A hosted screen's pages reached under "/s/<slug>" on the main port, in a phone's and a
// desktop's browser, against the real program.
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { desktop, eventually, freePort, launchBrowser, openPage, phone, storedIndex, withVesker } from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

const hostedScreen = async (fields) => ({
  id: '6F9619FF-8B86-D011-B42D-00C04FC964FF', name: 'Workshop', slug: 'workshop',
  port: await freePort(), pin: '4821', requirePinToSend: true, enabled: true, ...fields,
});
const hostedIndex = (vesker) => storedIndex(join(vesker.store, 'Hosted/workshop'));

test('the upload page under /s/<slug> sends to that screen, and only with its PIN', async () => {
  // This computer's own code is asked for too, so that the page cannot pass on either side.
  const settings = { accessPolicy: 'code', accessCode: '123456', hostedScreens: [await hostedScreen()] };
  await withVesker(settings, async (vesker) => {
    const page = await openPage(browser, vesker.url + '/s/workshop/index.html', phone);
    await page.getByText('Vesker to Workshop').waitFor();
    await page.getByLabel('Access code').waitFor();
    await page.getByPlaceholder('Serial number, part number, anything…').fill('Shelf 7731');
    await page.getByRole('button', { name: 'Send text' }).click();
    const status = page.locator('#history li .status').first();
    await status.getByText('❌ Access code required or incorrect').waitFor();
    assert.deepEqual(hostedIndex(vesker), []);

    await page.getByLabel('Access code').fill('4821');
    await page.getByRole('button', { name: 'Send again' }).click();
    await status.getByText('✅ Sent').waitFor();
    const [item] = await eventually(() => hostedIndex(vesker).length === 1 && hostedIndex(vesker));
    assert.equal(item.text, 'Shelf 7731');
    assert.deepEqual(vesker.index(), [], 'the hosted screen\'s item reached the main Inbox');
    assert.deepEqual(page.problems, []);
  });
});

test('a hosted screen\'s browser page opens by its own switch and with its own PIN', async () => {
  const screen = await hostedScreen({ allowBrowserScreen: true, requirePinToSend: false });
  const settings = { accessPolicy: 'code', accessCode: '123456', viewerPIN: '2468', hostedScreens: [screen] };
  await withVesker(settings, async (vesker) => {
    const sent = await fetch(`http://127.0.0.1:${screen.port}/text`, { method: 'POST', body: 'Shelf 7731', headers: { 'X-Sender': 'Ode' } });
    assert.equal(sent.status, 200);

    // Neither this computer's access code nor its viewer PIN opens another screen's Inbox.
    const page = await openPage(browser, vesker.url + '/s/workshop?code=123456', desktop);
    await page.getByText("That code didn't work").waitFor();
    await page.locator('#code').fill('2468');
    const refused = page.waitForResponse((reply) => reply.url().includes('/s/workshop/api/items?code=2468'));
    await page.locator('#code').press('Enter');
    assert.equal((await refused).status(), 401);
    await page.locator('#code').fill('4821');
    await page.locator('#code').press('Enter');
    await page.locator('#stage .textcard').getByText('Shelf 7731').waitFor();
    assert.equal(await page.title(), 'Workshop — screen');

    // Got it goes to the hosted screen's own store, without this computer's viewer PIN.
    await page.getByRole('button', { name: 'Got it' }).click();
    await page.locator('#caption').getByText('✓ Got it').waitFor();
    // The index is written off the page's reply: wait for it rather than read it at once.
    assert.ok(await eventually(() => hostedIndex(vesker)[0]?.acknowledged === true));
    assert.deepEqual(page.problems, []);
  });
});
