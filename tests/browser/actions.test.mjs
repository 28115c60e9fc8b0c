// The camera's own commands from the page: Save to camera, Factory reset after its confirmation
// (Cancel sends nothing), the password, and the live preview from the browser's camera.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { setTimeout as sleep } from 'node:timers/promises';

import { Cameras, eventually, panelTests, readBackOf, slider, waitForCamera, writesIn } from './harness.mjs';

const panelTest = panelTests();

const A = Cameras[0].serial;

function button(scope, name) {
  return scope.getByRole('button', { name, exact: true });
}

async function cameraBrightness(panel) {
  return (await panel.api(`/api/cameras/${A}/settings`)).json.properties[0].value;
}

panelTest('Save to camera stores its settings', async ({ panel, page }) => {
  await waitForCamera(page, A);
  await slider(page, 'brightness').fill('4');
  await eventually(() => assert.equal(panel.settingsOf(A).properties['0'], 4));
  await button(page, 'Save to camera').click();
  await eventually(() => assert.match(fs.readFileSync(panel.file('a.settings.saved'), 'utf8'), /property_values = 0=4,/));
});

panelTest('Factory reset asks first: Cancel sends nothing, confirmed it brings the factory values back', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const brightness = slider(page, 'brightness');
  await brightness.fill('15');
  await eventually(async () => assert.equal(await cameraBrightness(panel), 15));

  await button(page, 'Factory reset').click();
  const dialog = page.getByRole('dialog');
  await button(dialog, 'Cancel').click();
  await dialog.waitFor({ state: 'hidden' });
  await sleep(300);
  assert.equal(await cameraBrightness(panel), 15);

  await button(page, 'Factory reset').click();
  await button(dialog, 'Reset to factory settings').click();
  await eventually(async () => assert.equal(await cameraBrightness(panel), 0));
  await eventually(async () => assert.equal(await readBackOf(slider(page, 'brightness')).textContent(), '0'));
});

// The password control is selector 6 of node 2: its write's request holds the id 6 then the
// flags of a set.
const PasswordWrite = /^\d+ KsProperty [0-9a-f]{32}0600000002000010/;

panelTest('the password is sent to the camera, and text that is none is not', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const password = page.getByRole('textbox', { name: 'password', exact: true });
  await password.fill('zz');
  await button(page, 'Send password').click();
  await sleep(300);
  assert.deepEqual(writesIn(panel.videoTraceOf(A)), []);

  await password.fill('1A2B');
  await button(page, 'Send password').click();
  await eventually(() =>
    assert.equal(writesIn(panel.videoTraceOf(A)).filter((line) => PasswordWrite.test(line)).length, 1),
  );
});

panelTest('the live preview shows the browser\'s camera', async ({ page }) => {
  await waitForCamera(page, A);
  await button(page, 'Show live preview').click();
  // The video element named so (its section is a region of the same name).
  const video = page.locator('video').and(page.getByLabel('Live preview', { exact: true }));
  await video.waitFor();
  await eventually(async () => assert.ok((await video.evaluate((element) => element.videoWidth)) > 0, 'no picture'));
});
