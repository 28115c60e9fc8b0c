// Profiles in the page: exported as a real download of SERIAL.json, imported through the file
// chooser with a dry run listing each change before anything is sent, applied on request; and the
// kept profile remembered and forgotten.
import assert from 'node:assert/strict';
import fs from 'node:fs';

import { Cameras, eventually, panelTests, readBackOf, slider, waitForCamera, writesIn } from './harness.mjs';

const panelTest = panelTests();

const A = Cameras[0].serial;

async function setBrightness(panel, page, value) {
  await slider(page, 'brightness').fill(String(value));
  await eventually(() => assert.equal(panel.settingsOf(A).properties['0'], value));
}

async function exportProfile(panel, page) {
  const [download] = await Promise.all([
    page.waitForEvent('download'),
    page.getByRole('button', { name: 'Export profile', exact: true }).click(),
  ]);
  assert.equal(download.suggestedFilename(), `${A}.json`);
  const file = panel.file(`exported-${A}.json`);
  await download.saveAs(file);
  return file;
}

async function importProfile(page, file) {
  const [chooser] = await Promise.all([
    page.waitForEvent('filechooser'),
    page.getByRole('button', { name: 'Import profile', exact: true }).click(),
  ]);
  await chooser.setFiles(file);
  const changes = page.getByRole('region', { name: 'Profile changes', exact: true });
  await changes.waitFor();
  return changes;
}

panelTest('a profile exported, then imported after a change: the dry run lists it, applying puts it back', async ({ panel, page }) => {
  await waitForCamera(page, A);
  await setBrightness(panel, page, 7);
  const file = await exportProfile(panel, page);
  const profile = JSON.parse(fs.readFileSync(file, 'utf8'));
  assert.equal(profile.format, 1);
  assert.equal(profile.serial_number, A);
  assert.equal(profile.properties.brightness, 7);

  await setBrightness(panel, page, -5);
  const writesBefore = writesIn(await panel.quietVideoTraceOf(A));
  const changes = await importProfile(page, file);
  const listed = (await changes.innerText()).split('\n').map((line) => line.trim());
  assert.ok(listed.includes('brightness: -5 → 7'), `the dry run lists:\n${listed.join('\n')}`);
  assert.ok(!listed.some((line) => /^contrast:/.test(line)), `the dry run lists an unchanged value:\n${listed.join('\n')}`);
  // The dry run sent nothing.
  assert.deepEqual(writesIn(await panel.quietVideoTraceOf(A)), writesBefore);
  assert.equal(panel.settingsOf(A).properties['0'], -5);

  await changes.getByRole('button', { name: 'Apply profile', exact: true }).click();
  const applied = page.getByRole('status').filter({ hasText: /Profile applied: \d+ values set/ });
  await applied.waitFor();
  // Every value of the profile was written and took: its ten properties and 37 controls.
  assert.match(await applied.innerText(), /Profile applied: 47 values set/);
  await eventually(() => assert.equal(panel.settingsOf(A).properties['0'], 7));
  await eventually(async () => assert.equal(await readBackOf(slider(page, 'brightness')).textContent(), '7'));
});

panelTest('a profile that changes nothing says so, and Cancel sends nothing', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const file = await exportProfile(panel, page);
  const writesBefore = writesIn(await panel.quietVideoTraceOf(A));
  const changes = await importProfile(page, file);
  await changes.getByText('The profile changes nothing.').waitFor();
  await changes.getByRole('button', { name: 'Cancel', exact: true }).click();
  await changes.waitFor({ state: 'hidden' });
  assert.deepEqual(writesIn(await panel.quietVideoTraceOf(A)), writesBefore);
});

panelTest('the camera\'s settings are remembered as its kept profile and forgotten', async ({ panel, page }) => {
  await waitForCamera(page, A);
  await setBrightness(panel, page, 9);
  const kept = panel.file(`config/optiqon/cameras/${A}.json`);
  await page.getByRole('button', { name: 'Remember settings', exact: true }).click();
  await eventually(() => assert.equal(JSON.parse(fs.readFileSync(kept, 'utf8')).properties.brightness, 9));
  await page.getByRole('button', { name: 'Forget settings', exact: true }).click();
  await eventually(() => assert.equal(fs.existsSync(kept), false));
});
