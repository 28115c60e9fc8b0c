// The camera list: one button per camera, named by serial number then location, the first chosen
// at load; choosing another shows and drives that camera; a camera pulled out leaves the list
// without a reload, and one plugged in again comes back.
import assert from 'node:assert/strict';
import { setTimeout as sleep } from 'node:timers/promises';

import {
  Cameras,
  cameraButton,
  cameraList,
  eventually,
  locationOf,
  panelTests,
  readBackOf,
  slider,
  waitForCamera,
} from './harness.mjs';

const panelTest = panelTests();

const [A, B, C] = Cameras;

function escaped(text) {
  return text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}

async function pressedNames(page) {
  const pressed = cameraList(page).getByRole('button', { pressed: true });
  return (await pressed.allTextContents()).map((text) => text.replace(/\s+/g, ' ').trim());
}

panelTest('the list names each camera by serial number and location and chooses the first', async ({ page }) => {
  await waitForCamera(page, A.serial);
  const buttons = cameraList(page).getByRole('button');
  assert.equal(await buttons.count(), 3);
  for (const camera of Cameras) {
    const named = cameraList(page).getByRole('button', {
      name: new RegExp(`^${escaped(camera.serial)}\\s+${escaped(locationOf(camera))}$`),
    });
    assert.equal(await named.count(), 1, `no button named "${camera.serial} ${locationOf(camera)}"`);
  }
  assert.equal(await cameraButton(page, A.serial).getAttribute('aria-pressed'), 'true');
  assert.equal(await cameraList(page).getByRole('button', { pressed: true }).count(), 1);
});

panelTest('choosing another camera shows it and sends its values to it alone', async ({ panel, page }) => {
  await waitForCamera(page, A.serial);
  // B's brightness set apart from A's, so that its slider's read-back tells B's row from A's.
  assert.equal((await panel.api(`/api/cameras/${B.serial}/settings`, { method: 'PUT', body: '{"brightness": -7}' })).status, 200);
  await cameraButton(page, B.serial).click();
  await waitForCamera(page, B.serial);
  assert.equal(await cameraButton(page, B.serial).getAttribute('aria-pressed'), 'true');
  assert.notEqual(await cameraButton(page, A.serial).getAttribute('aria-pressed'), 'true');

  const brightness = slider(page, 'brightness');
  await eventually(async () => assert.equal(await readBackOf(brightness).textContent(), '-7'));
  await brightness.fill('12');
  await eventually(() => assert.equal(panel.settingsOf(B.serial).properties['0'], 12));
  await eventually(async () => assert.equal(await readBackOf(brightness).textContent(), '12'));
  assert.equal(panel.settingsOf(A.serial).properties['0'], undefined, 'camera A was changed');
});

// Between the choice of another camera and its settings' arrival, what the page shows under the
// new camera's heading must not drive the camera chosen before.
panelTest(
  'no slider changes the camera chosen before while the new one\'s settings are on their way',
  async ({ panel, page }) => {
    await waitForCamera(page, A.serial);
    await slider(page, 'brightness').waitFor();
    await page.route(
      (address) => address.pathname === `/api/cameras/${B.serial}/settings`,
      async (route) => {
        await sleep(1500);
        await route.continue().catch(() => {});
      },
    );
    await cameraButton(page, B.serial).click();
    await waitForCamera(page, B.serial);
    const brightness = slider(page, 'brightness');
    if ((await brightness.count()) === 1 && (await brightness.isEnabled())) {
      await brightness.fill('12');
    }
    await sleep(300);
    assert.equal(panel.settingsOf(A.serial).properties['0'], undefined, 'camera A was changed under B\'s heading');
  },
);

panelTest('a camera pulled out leaves the list and one plugged in again comes back', async ({ panel, page }) => {
  await waitForCamera(page, A.serial);
  await cameraButton(page, C.serial).click();
  await waitForCamera(page, C.serial);

  panel.unplug(C.serial);
  // The simulated PC gives no device events: the panel looks every two seconds.
  await cameraButton(page, C.serial).waitFor({ state: 'detached', timeout: 8000 });
  await page.getByRole('status').filter({ hasText: `${C.serial} was unplugged` }).waitFor();
  assert.equal(await cameraList(page).getByRole('button').count(), 2);
  assert.equal(await page.getByRole('heading', { level: 2, name: C.serial, exact: true }).count(), 0);
  const chosen = await pressedNames(page);
  assert.ok(chosen.length <= 1, `several cameras are chosen: ${chosen}`);
  assert.ok(!chosen.some((name) => name.startsWith(C.serial)), `the camera pulled out is still chosen`);

  panel.plugIn(C.serial);
  await cameraButton(page, C.serial).waitFor({ timeout: 8000 });
  assert.equal(await cameraList(page).getByRole('button').count(), 3);
});
