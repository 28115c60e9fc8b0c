// A firmware update from the page on the simulated camera: the image checked once chosen, a
// confirmation that can be cancelled, the progress to its last page and the verdict, the image in
// the camera's flash, and the verdict still shown to a page opened afterwards.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { setTimeout as sleep } from 'node:timers/promises';

import { Cameras, openPage, panelTests, waitForCamera } from './harness.mjs';

const panelTest = panelTests();

const A = Cameras[0].serial;
const PageSize = 256;

// Three pages of bytes that no page repeats.
function image() {
  return Buffer.from(Array.from({ length: 3 * PageSize }, (_, i) => (i * 7 + (i >> 8)) & 0xff));
}

function verdict(page) {
  return page
    .getByRole('status')
    .filter({ hasText: /firmware updated: 3 pages written and verified in \d+:\d\d/ });
}

panelTest('a three-page image is written with its progress and verdict', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const file = panel.file('camera.img');
  fs.writeFileSync(file, image());
  const update = page.getByRole('button', { name: 'Update firmware', exact: true });
  assert.equal(await update.isEnabled(), false, 'Update firmware is enabled without an image');

  await page.getByLabel('Firmware image', { exact: true }).setInputFiles(file);
  await page.getByText(/\b3 pages\b/).first().waitFor();
  assert.equal(await update.isEnabled(), true);

  // Cancelled: nothing reaches the camera's HID side.
  await update.click();
  await page.getByRole('dialog').getByRole('button', { name: 'Cancel', exact: true }).click();
  await page.getByRole('dialog').waitFor({ state: 'hidden' });
  await sleep(300);
  assert.equal(panel.hidTraceOf(A), '');

  await update.click();
  await page.getByRole('dialog').getByRole('button', { name: 'Start update', exact: true }).click();
  await verdict(page).waitFor({ timeout: 20000 });
  const progress = page.getByRole('progressbar', { name: 'Firmware update', exact: true });
  assert.deepEqual(await progress.evaluate((bar) => [bar.value, bar.max]), [3, 3]);
  await page.getByText(/\b3 of 3 pages written/).waitFor();

  const flash = fs.readFileSync(panel.file('a.flash'));
  assert.ok(flash.subarray(0, 3 * PageSize).equals(image()), 'the flash does not hold the image');

  // A page opened after the update shows its verdict.
  const again = await openPage(page.context().browser(), panel);
  try {
    await waitForCamera(again, A);
    await verdict(again).waitFor();
  } finally {
    await again.context().close();
  }
});

panelTest('a page opened during an update shows its progress, then its verdict', async ({ panel, page }) => {
  await waitForCamera(page, A);
  // Sixteen pages take about two seconds on the camera's own clock.
  const started = await panel.api(`/api/cameras/${A}/update`, {
    method: 'POST',
    body: Buffer.alloc(16 * PageSize, 0x5a),
    contentType: 'application/octet-stream',
  });
  assert.equal(started.status, 202);
  const again = await openPage(page.context().browser(), panel);
  try {
    await waitForCamera(again, A);
    const progress = again.getByRole('progressbar', { name: 'Firmware update', exact: true });
    await progress.waitFor();
    const [written, pages] = await progress.evaluate((bar) => [bar.value, bar.max]);
    assert.equal(pages, 16);
    assert.ok(written < 16, `the update had ended when the page showed it (${written} pages)`);
    await again
      .getByRole('status')
      .filter({ hasText: /firmware updated: 16 pages written and verified in \d+:\d\d/ })
      .waitFor({ timeout: 20000 });
    assert.deepEqual(await progress.evaluate((bar) => [bar.value, bar.max]), [16, 16]);
  } finally {
    await again.context().close();
  }
});
