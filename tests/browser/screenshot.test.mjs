// The panel's picture for the documentation: taken only when OPTIQON_SCREENSHOT names the PNG to
// write (relative to the source tree), so that test runs never rewrite the tree.
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { test } from 'node:test';

import { Cameras, panelTests, slider, waitForCamera } from './harness.mjs';

const target = process.env.OPTIQON_SCREENSHOT;
const sourceTree = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

if (!target) {
  test('the panel\'s screenshot (OPTIQON_SCREENSHOT names none)', { skip: 'OPTIQON_SCREENSHOT is not set' }, () => {});
} else {
  const panelTest = panelTests();
  panelTest(
    'the panel\'s screenshot at 1280x900',
    async ({ page }) => {
      await waitForCamera(page, Cameras[0].serial);
      await slider(page, 'gain').waitFor();
      const file = path.resolve(sourceTree, target);
      await page.screenshot({ path: file });
      console.log(`# wrote ${file}`);
    },
    { viewport: { width: 1280, height: 900 } },
  );
}
