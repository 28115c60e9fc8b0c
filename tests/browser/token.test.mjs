// The page opened without the run's token, or with another: it says what to do and shows nothing
// of the cameras, and the panel answers none of its requests to the interface.
import assert from 'node:assert/strict';
import { setTimeout as sleep } from 'node:timers/promises';

import { Cameras, cameraList, panelTests } from './harness.mjs';

const panelTest = panelTests();

// Whatever the page asks once loaded has been asked after this.
async function settled(page) {
  await page.waitForLoadState('load');
  await sleep(1000);
}

async function assertNothingOfTheCameras(page) {
  const html = await page.content();
  for (const camera of Cameras) {
    assert.ok(!html.includes(camera.serial), `${camera.serial} is in the page:\n${html}`);
    assert.ok(!html.includes('USBROOT'), `a camera's location is in the page:\n${html}`);
  }
  assert.equal(await cameraList(page).count(), 0, 'the page shows a camera list');
  const answered = page.apiAnswers.filter((answer) => answer.status < 400);
  assert.deepEqual(answered, [], 'the panel answered requests of the page without its token');
}

const WithoutToken = (panel) => `${panel.origin}/`;
const WrongToken = (panel) => `${panel.origin}/#token=${'0'.repeat(64)}`;

panelTest(
  'without the token the page shows no camera and the interface answers none of its requests',
  async ({ page }) => {
    await settled(page);
    await assertNothingOfTheCameras(page);
  },
  { address: WithoutToken },
);

panelTest(
  'without the token the page says to open the address the panel printed',
  async ({ page }) => {
    const alert = page.getByRole('alert').filter({ hasText: /^\s*Open the address the panel printed/ });
    await alert.waitFor();
    await settled(page);
    await assertNothingOfTheCameras(page);
  },
  { address: WithoutToken },
);

panelTest(
  'with another token the page says the panel refused it and shows no camera',
  async ({ page }) => {
    const alert = page.getByRole('alert').filter({ hasText: /^\s*The panel refused the token/ });
    await alert.waitFor();
    await settled(page);
    await assertNothingOfTheCameras(page);
    assert.ok(
      page.apiAnswers.some((answer) => answer.status === 401),
      `the page's requests were not refused with 401: ${JSON.stringify(page.apiAnswers)}`,
    );
  },
  { address: WrongToken },
);
