// The harness itself, whatever the page shows: the panel prints its address, serves its page to
// Chromium, and stops on SIGTERM with exit code 0.
import assert from 'node:assert/strict';

import { panelTests } from './harness.mjs';

const panelTest = panelTests();

panelTest('the panel serves its page to Chromium and stops on SIGTERM', async ({ panel, page }) => {
  assert.match(panel.address, /^http:\/\/127\.0\.0\.1:\d+\/#token=[0-9a-f]{64}$/);
  const answer = await page.goto(panel.address);
  // The same address again is a navigation within the page: the first load's answer stands.
  const reloaded = answer ?? (await page.reload());
  assert.equal(reloaded.status(), 200);
  assert.match(reloaded.headers()['content-type'], /^text\/html/);
  // The token is in the fragment, which the browser never sends.
  assert.equal(new URL(reloaded.url()).hash, '');
});
