// The chosen camera's settings in the page: each image property's slider with the camera's range,
// sending while it moves and showing the value read back; the Auto switch; vendor controls sent on
// Enter or on leaving the box, and a value the panel refuses said beside its box with nothing sent.
// What reached the camera is read from its settings file and its video trace.
import assert from 'node:assert/strict';
import { setTimeout as sleep } from 'node:timers/promises';

import {
  Cameras,
  descriptionOf,
  eventually,
  panelTests,
  propertySetsIn,
  readBackOf,
  slider,
  waitForCamera,
  writesIn,
} from './harness.mjs';

const panelTest = panelTests();

const A = Cameras[0].serial;

const PropertyNames = [
  'brightness',
  'contrast',
  'hue',
  'saturation',
  'sharpness',
  'gamma',
  'color-enable',
  'white-balance',
  'backlight-compensation',
  'gain',
];

// A control of several bytes is a text box of numbers with commas; one of a single byte may be a
// text box or a number box.
function vendorBox(page, number) {
  return page.getByRole('textbox', { name: `control ${number}`, exact: true });
}

function oneByteBox(page, number) {
  const name = { name: `control ${number}`, exact: true };
  return page.getByRole('textbox', name).or(page.getByRole('spinbutton', name));
}

panelTest('each property has a slider with the camera\'s range and value, and an Auto switch where it has the mode', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const { json: settings } = await panel.api(`/api/cameras/${A}/settings`);
  assert.deepEqual(settings.properties.map((property) => property.name), PropertyNames);
  for (const property of settings.properties) {
    const control = slider(page, property.name);
    await control.waitFor();
    const shown = await control.evaluate((element) => ({
      type: element.type,
      min: element.min,
      max: element.max,
      step: element.step,
      value: element.value,
    }));
    assert.deepEqual(
      shown,
      {
        type: 'range',
        min: String(property.minimum),
        max: String(property.maximum),
        step: String(property.step),
        value: String(property.value),
      },
      property.name,
    );
    assert.equal(await readBackOf(control).textContent(), String(property.value), `${property.name}'s read-back`);
    const automatic = page.getByRole('switch', { name: `${property.name} auto`, exact: true });
    assert.equal(await automatic.count(), property.automatic_mode ? 1 : 0, `${property.name} auto`);
    if (property.automatic_mode) {
      assert.equal(await automatic.isChecked(), property.automatic, `${property.name} auto`);
    }
  }
  // The camera as the simulated one powers up: brightness -64 to 64, white balance in its
  // automatic mode.
  assert.equal(await slider(page, 'brightness').getAttribute('min'), '-64');
  assert.equal(await page.getByRole('switch', { name: 'white-balance auto', exact: true }).isChecked(), true);
});

panelTest('the brightness slider sends its value as it moves, the last one always, and shows it read back', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const brightness = slider(page, 'brightness');
  await brightness.focus();
  for (let step = 0; step < 5; step += 1) {
    await page.keyboard.press('ArrowRight');
  }
  await eventually(() => assert.equal(panel.settingsOf(A).properties['0'], 5));
  await eventually(async () => assert.equal(await readBackOf(brightness).textContent(), '5'));
  // Sent in the order it moved, fewer values when the camera is slower than the keys, never an
  // older value after a newer one.
  const sent = propertySetsIn(await panel.quietVideoTraceOf(A), 0);
  assert.ok(sent.length >= 1 && sent.length <= 5, `brightness sent ${sent}`);
  assert.deepEqual(sent, [...sent].sort((x, y) => x - y), `brightness sent ${sent}`);
  assert.equal(sent.at(-1), 5);

  await brightness.fill('-20');
  await eventually(() => assert.equal(panel.settingsOf(A).properties['0'], -20));
  await eventually(async () => assert.equal(await readBackOf(brightness).textContent(), '-20'));
  assert.equal(propertySetsIn(await panel.quietVideoTraceOf(A), 0).at(-1), -20);
  // Brightness alone was written.
  assert.ok(writesIn(panel.videoTraceOf(A)).every((line) => / Set 0 /.test(line)), panel.videoTraceOf(A));
});

panelTest('a slider dragged with the mouse sends while it is held, and its last value once let go', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const brightness = slider(page, 'brightness');
  const box = await brightness.boundingBox();
  const y = box.y + box.height / 2;
  await page.mouse.move(box.x + box.width / 2, y);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.75, y, { steps: 5 });
  // Still held: the camera already has a value to the right of the middle.
  await eventually(() => assert.ok(panel.settingsOf(A).properties['0'] > 0, 'nothing sent while held'));
  await page.mouse.move(box.x + box.width + 20, y, { steps: 5 });
  await page.mouse.up();
  await eventually(() => assert.equal(panel.settingsOf(A).properties['0'], 64));
  await eventually(async () => assert.equal(await readBackOf(brightness).textContent(), '64'));
});

panelTest('the Auto switch hands white balance to the camera and takes it back', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const automatic = page.getByRole('switch', { name: 'white-balance auto', exact: true });
  const whiteBalance = async () =>
    (await panel.api(`/api/cameras/${A}/settings`)).json.properties.find((p) => p.name === 'white-balance');
  await automatic.uncheck();
  await eventually(async () => assert.equal((await whiteBalance()).automatic, false));
  await automatic.check();
  await eventually(async () => assert.equal((await whiteBalance()).automatic, true));
  assert.equal(await automatic.isChecked(), true);
});

panelTest('a vendor control is sent on Enter and on leaving its box after a change', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const control20 = vendorBox(page, 20);
  assert.equal(await control20.inputValue(), '0,0,0,0');
  await control20.fill('1,2,3,4');
  await control20.press('Enter');
  await eventually(() => assert.equal(panel.settingsOf(A).controls['2.20'], '01020304'));

  const control21 = vendorBox(page, 21);
  await control21.fill('9,8,7,6');
  await control21.blur();
  await eventually(() => assert.equal(panel.settingsOf(A).controls['2.21'], '09080706'));

  const control9 = oneByteBox(page, 9);
  await control9.fill('42');
  await control9.press('Enter');
  await eventually(() => assert.equal(panel.settingsOf(A).controls['2.9'], '2A'));

  // Leaving a box that was not changed sends nothing.
  const writes = writesIn(await panel.quietVideoTraceOf(A)).length;
  assert.equal(writes, 3, 'controls 20, 21 and 9 were not written once each');
  await vendorBox(page, 23).focus();
  await vendorBox(page, 23).blur();
  await oneByteBox(page, 22).focus();
  await oneByteBox(page, 22).blur();
  await sleep(300);
  assert.equal(writesIn(panel.videoTraceOf(A)).length, writes);
});

panelTest('a vendor value the panel refuses shows its message and sends nothing', async ({ panel, page }) => {
  await waitForCamera(page, A);
  const control20 = vendorBox(page, 20);
  await control20.waitFor();
  const traceBefore = writesIn(await panel.quietVideoTraceOf(A));
  const settingsBefore = panel.settingsOf(A);

  await control20.fill('1,2,3');
  await control20.press('Enter');
  const message = 'control 20 takes 4 bytes, not 3';
  await page.getByRole('alert').filter({ hasText: message }).waitFor();
  assert.match(await descriptionOf(control20), new RegExp(message));
  // Whatever a faulty page might still send has had time to land.
  await sleep(500);
  assert.deepEqual(writesIn(panel.videoTraceOf(A)), traceBefore);
  assert.deepEqual(panel.settingsOf(A), settingsBefore);
});

panelTest('controls 3 and 6 cannot be edited and control 30 is a number box', async ({ panel, page }) => {
  await waitForCamera(page, A);
  await vendorBox(page, 20).waitFor();
  for (const number of [3, 6]) {
    for (const box of await page.getByLabel(`control ${number}`, { exact: true }).all()) {
      assert.equal(await box.isEditable(), false, `control ${number} can be edited`);
    }
  }
  const control30 = page.getByRole('spinbutton', { name: 'control 30', exact: true });
  assert.equal(Number(await control30.inputValue()), -0.45);
  // 1.0 goes to the camera as the byte 11, which reads back as 11 * 0.05 - 0.45.
  await control30.fill('1');
  await control30.press('Enter');
  await eventually(() => assert.equal(panel.settingsOf(A).controls['2.30'], '0B'));
  await eventually(async () => {
    const shown = Number(await control30.inputValue());
    assert.ok(Math.abs(shown - 0.1) < 1e-9, `control 30 shows ${shown}`);
  });
});

// The read-back beside a slider is what the camera holds: a value the camera never took (refused
// with 409 while its firmware is being updated) must not stand there as if it had.
panelTest(
  'the read-back beside a slider never shows a value the camera did not take',
  async ({ panel, page }) => {
    await waitForCamera(page, A);
    const started = await panel.api(`/api/cameras/${A}/update`, {
      method: 'POST',
      body: Buffer.alloc(8 * 256, 0x5a),
      contentType: 'application/octet-stream',
    });
    assert.equal(started.status, 202);
    const brightness = slider(page, 'brightness');
    const answered = page.waitForResponse(
      (answer) => answer.request().method() === 'PUT' && new URL(answer.url()).pathname.endsWith('/settings'),
    );
    await brightness.fill('25');
    assert.equal((await answered).status(), 409);
    await sleep(200);
    assert.equal(panel.settingsOf(A).properties['0'], undefined, 'the camera took the value');
    assert.notEqual(await readBackOf(brightness).textContent(), '25');
  },
);
