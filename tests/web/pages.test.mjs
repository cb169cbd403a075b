// Both pages with hostile names and texts, and at the narrowest phone width.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { desktop, eventually, launchBrowser, openPage, phone, withVesker } from './harness.mjs';

let browser;
before(async () => { browser = await launchBrowser(); });
after(() => browser?.close());

// Tries to end every context it can land in: text, a quoted attribute, a script element, a JSON
// string (U+2028), and the server's own template tokens.
const evil = `Ada "&' </script><script>window.__pwned=1</script> "><img src=x onerror="window.__pwned=2"> \u2028 @@CONFIG@@ @@SCREEN_NAME@@`;

test('hostile names, notes and texts show literally and run nothing', () => withVesker({ allowBrowserScreens: true, screenName: evil }, async (vesker) => {
  const upload = await openPage(browser, vesker.url + '/', phone);
  assert.equal(await upload.locator('h1 b').textContent(), evil);
  await upload.getByLabel('Your name').fill(evil);
  await upload.getByLabel('Note (optional)').fill(evil);
  await upload.getByPlaceholder('Serial number, part number, anything…').fill(evil);
  await upload.getByRole('button', { name: 'Send text' }).click();
  await upload.getByText('✅ Sent').waitFor();
  assert.equal(await upload.getByPlaceholder('Serial number, part number, anything…').inputValue(), '');
  assert.equal(await upload.locator('#history .note').textContent(), evil);
  assert.ok((await upload.locator('#history .meta').textContent()).endsWith(' · ' + evil.slice(0, 40)));
  const [item] = await eventually(() => vesker.index().length && vesker.index());
  assert.deepEqual([item.sender, item.note, item.text], [evil, evil, evil]);

  const screen = await openPage(browser, vesker.url + '/screen', desktop);
  assert.equal(await screen.title(), evil + ' — screen');
  assert.equal(await screen.locator('#name').textContent(), evil);
  await screen.locator('#stage .textcard').waitFor();
  assert.equal(await screen.locator('#stage .textcard').textContent(), evil);
  assert.equal(await screen.locator('#caption b').textContent(), evil);
  assert.equal(await screen.locator('#caption .note').textContent(), evil);

  for (const page of [upload, screen]) {
    assert.equal(await page.evaluate(() => window.__pwned), undefined);
    assert.deepEqual(page.problems, []);
  }
}));

test('both pages fit a 320 px phone with tap targets of at least 44 px', () => withVesker({ allowBrowserScreens: true, screenName: 'Workshop bench by the loading door' }, async (vesker) => {
  await vesker.upload('/text', 'A text long enough to need wrapping on the narrowest phone screen there is');
  for (const path of ['/', '/screen']) {
    const page = await openPage(browser, vesker.url + path, { ...phone, viewport: { width: 320, height: 640 } });
    await page.waitForTimeout(300);
    const { overflow, small } = await page.evaluate(() => ({
      overflow: document.documentElement.scrollWidth - innerWidth,
      small: [...document.querySelectorAll('button, input:not([type=file]), textarea')]
        .filter((e) => e.offsetParent && e.getBoundingClientRect().height < 44)
        .map((e) => e.id || e.textContent),
    }));
    assert.deepEqual({ path, overflow, small }, { path, overflow: 0, small: [] });
  }
}));
