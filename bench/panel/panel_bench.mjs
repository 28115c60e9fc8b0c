// Measurements of the control panel as a person meets it, in headless Chromium against
// `optiqon_sim panel` with the browser tests' three simulated cameras (tests/browser/harness.mjs):
//
//  1. A slider change in the page to the value at the simulated camera: the brightness slider set
//     and its `input` event dispatched in the page, timed there; the camera's settings file, which
//     the simulated camera rewrites (by renaming a new file into place) after every change it
//     takes, watched from Node until it holds the value. The page's clock is put on Node's by the
//     round trip of a few calls (the one with the shortest round trip; its half is the error
//     bound); the same is also timed on Node's clock alone from its call into the page, which adds
//     that call's way there. Each change waits for the one before to land, so none is coalesced
//     away. Also timed, on the page's clock alone: the change to the value read back from the
//     camera shown beside the slider (the page shows there only what the camera read back).
//  2. The page's load: navigation start to the load event, and to the first camera list shown
//     (a button of the camera list holding a serial number), each in a fresh browser context.
//  3. The panel's resident memory (VmRSS of /proc/PID/status): started with no page, then after
//     idling with the page open, then after idling with the page closed.
//
//   node bench/panel/panel_bench.mjs build/sim/optiqon_sim [--changes 1000] [--loads 20]
//                                    [--idle-seconds 10]
//
// It prints its figures; it asserts no speed. Needs the browser tests' packages
// (tests/browser/run.sh --install).
import fs from 'node:fs';
import path from 'node:path';
import { performance } from 'node:perf_hooks';
import { setTimeout as sleep } from 'node:timers/promises';

const options = parseArguments(process.argv.slice(2));
process.env.OPTIQON_SIM = path.resolve(options.program);
const { Cameras, launchBrowser, openPage, slider, startPanel, waitForCamera } = await import(
  '../../tests/browser/harness.mjs'
);

const A = Cameras[0].serial;

function parseArguments(args) {
  const parsed = { changes: 1000, loads: 20, idleSeconds: 10 };
  const usage =
    'usage: node bench/panel/panel_bench.mjs OPTIQON_SIM [--changes N] [--loads N] [--idle-seconds S]';
  for (let i = 0; i < args.length; i += 1) {
    const number = () => {
      const value = Number(args[++i]);
      if (!Number.isInteger(value) || value < 1) {
        throw new Error(`${args[i - 1]} takes a whole number above 0\n${usage}`);
      }
      return value;
    };
    if (args[i] === '--changes') {
      parsed.changes = number();
    } else if (args[i] === '--loads') {
      parsed.loads = number();
    } else if (args[i] === '--idle-seconds') {
      parsed.idleSeconds = number();
    } else if (parsed.program === undefined && !args[i].startsWith('--')) {
      parsed.program = args[i];
    } else {
      throw new Error(`unknown argument '${args[i]}'\n${usage}`);
    }
  }
  if (parsed.program === undefined) {
    throw new Error(usage);
  }
  return parsed;
}

// Milliseconds since the epoch, to the microsecond, on this process's monotonic clock.
function nodeNow() {
  return performance.timeOrigin + performance.now();
}

function percentile(values, fraction) {
  const sorted = [...values].sort((x, y) => x - y);
  return sorted[Math.max(0, Math.ceil(fraction * sorted.length) - 1)];
}

function median(values) {
  const sorted = [...values].sort((x, y) => x - y);
  const middle = sorted.length >> 1;
  return sorted.length % 2 === 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function residentKiB(pid) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(/^VmRSS:\s+(\d+) kB$/m.exec(status)[1]);
}

const figures = [];
function report(name, value, unit) {
  const shown = typeof value === 'number' ? value.toFixed(unit === 'ms' ? 2 : 0) : value;
  figures.push([name, `${shown} ${unit}`.trim()]);
  console.log(`${name}: ${shown} ${unit}`);
}

// The page's clock minus Node's, from the call with the shortest round trip.
async function clockOffset(page) {
  let best = { roundTrip: Infinity, offset: 0 };
  for (let i = 0; i < 50; i += 1) {
    const sent = nodeNow();
    const pageTime = await page.evaluate(() => performance.timeOrigin + performance.now());
    const back = nodeNow();
    if (back - sent < best.roundTrip) {
      best = { roundTrip: back - sent, offset: pageTime - (sent + back) / 2 };
    }
  }
  return best;
}

// Calls `arrived(time)` with the value the camera's settings file holds for brightness whenever it
// may have changed: at each inotify event of the folder and, as a backstop, every millisecond.
function watchBrightness(panel, arrived) {
  const file = panel.file('a.settings');
  let last = null;
  const look = () => {
    const time = nodeNow();
    let text;
    try {
      text = fs.readFileSync(file, 'utf8');
    } catch {
      return;
    }
    const found = /^property_values = 0=(-?\d+),/m.exec(text);
    if (found && found[1] !== last) {
      last = found[1];
      arrived(Number(found[1]), time);
    }
  };
  const watcher = fs.watch(panel.folder, look);
  const backstop = setInterval(look, 1);
  return () => {
    watcher.close();
    clearInterval(backstop);
  };
}

// Sets the slider to `value` and dispatches its input event as a drag does; returns when the page
// dispatched it, on the page's clock, and leaves in the page a promise of when the output beside
// the slider (the one output of its nearest enclosing element that holds one) shows the value.
function changeInPage(handle, value) {
  return handle.evaluate((input, wanted) => {
    let row = input.parentElement;
    while (row !== null && row.querySelectorAll('output').length !== 1) {
      row = row.parentElement;
    }
    const output = row.querySelector('output');
    window.benchShown = new Promise((resolve) => {
      const observer = new MutationObserver(() => {
        if (output.textContent === String(wanted)) {
          observer.disconnect();
          resolve(performance.timeOrigin + performance.now());
        }
      });
      observer.observe(output, { childList: true, characterData: true, subtree: true });
    });
    input.value = String(wanted);
    const dispatched = performance.timeOrigin + performance.now();
    input.dispatchEvent(new Event('input', { bubbles: true }));
    return dispatched;
  }, value);
}

async function measureSliderChanges(browser) {
  const panel = await startPanel();
  try {
    const page = await openPage(browser, panel);
    await waitForCamera(page, A);
    const handle = await slider(page, 'brightness').elementHandle();
    const clock = await clockOffset(page);
    let waiting = null;
    const stopWatching = watchBrightness(panel, (value, time) => {
      if (waiting !== null && waiting.value === value) {
        waiting.resolve(time);
      }
    });
    const toCamera = [];
    const fromNode = [];
    const toReadBack = [];
    const warmUp = 20;
    try {
      for (let i = 0; i < options.changes + warmUp; i += 1) {
        // 37 is prime to 129, the slider's values: each value differs from the one before.
        const value = ((i * 37) % 129) - 64;
        const landed = new Promise((resolve) => (waiting = { value, resolve }));
        const sent = nodeNow();
        const dispatched = (await changeInPage(handle, value)) - clock.offset;
        const arrival = await Promise.race([landed, sleep(5000, null)]);
        if (arrival === null) {
          throw new Error(`brightness ${value} did not reach the camera within 5 s`);
        }
        const shown = await page.evaluate(() => window.benchShown);
        if (i >= warmUp) {
          toCamera.push(arrival - dispatched);
          fromNode.push(arrival - sent);
          toReadBack.push(shown - (dispatched + clock.offset));
        }
      }
    } finally {
      stopWatching();
    }
    const changes = `${options.changes} changes`;
    report(`slider change to the value at the camera, ${changes}: median`, median(toCamera), 'ms');
    report(`slider change to the value at the camera, ${changes}: 99th percentile`, percentile(toCamera, 0.99), 'ms');
    report(`slider change to the value at the camera, ${changes}: max`, Math.max(...toCamera), 'ms');
    report(`slider change to its read-back shown in the page, ${changes}: median`, median(toReadBack), 'ms');
    report(
      `slider change to its read-back shown in the page, ${changes}: 99th percentile`,
      percentile(toReadBack, 0.99),
      'ms',
    );
    report('clock alignment of page and Node (half the shortest round trip)', clock.roundTrip / 2, 'ms');
    // A check on the alignment: timed on Node's clock alone, the call into the page included.
    report(`the same timed from Node's call into the page, ${changes}: median`, median(fromNode), 'ms');
    report(`panel's resident memory after the ${changes}`, residentKiB(panel.pid), 'KiB');
    await page.context().close();
  } finally {
    await panel.stop();
    panel.remove();
  }
}

// Installed before the page's own scripts: the time the camera list first holds a camera.
function watchForCameraList() {
  const seen = () =>
    [...document.querySelectorAll('nav button')].some((button) => /K3M51-/.test(button.textContent));
  const observer = new MutationObserver(() => {
    if (window.benchListShown === undefined && seen()) {
      window.benchListShown = performance.now();
      observer.disconnect();
    }
  });
  observer.observe(document, { childList: true, subtree: true, characterData: true });
}

async function measureLoads(browser) {
  const panel = await startPanel();
  try {
    const toLoad = [];
    const toList = [];
    for (let i = 0; i < options.loads; i += 1) {
      const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
      await context.addInitScript(watchForCameraList);
      const page = await context.newPage();
      await page.goto(panel.address);
      await page.waitForFunction(
        () =>
          window.benchListShown !== undefined &&
          performance.getEntriesByType('navigation')[0]?.loadEventEnd > 0,
        null,
        { timeout: 10000 },
      );
      const [load, list] = await page.evaluate(() => [
        performance.getEntriesByType('navigation')[0].loadEventEnd,
        window.benchListShown,
      ]);
      toLoad.push(load);
      toList.push(list);
      await context.close();
    }
    report(`page load: navigation start to load event, ${options.loads} loads: median`, median(toLoad), 'ms');
    report(`page load: navigation start to load event, ${options.loads} loads: max`, Math.max(...toLoad), 'ms');
    report(`page load: navigation start to the camera list shown, ${options.loads} loads: median`, median(toList), 'ms');
    report(`page load: navigation start to the camera list shown, ${options.loads} loads: max`, Math.max(...toList), 'ms');
  } finally {
    await panel.stop();
    panel.remove();
  }
}

async function measureMemory(browser) {
  const panel = await startPanel();
  try {
    const idle = options.idleSeconds;
    await sleep(2000);
    report('panel resident memory, started, no page open (2 s)', residentKiB(panel.pid), 'KiB');
    const page = await openPage(browser, panel);
    await waitForCamera(page, A);
    await slider(page, 'brightness').waitFor();
    await sleep(idle * 1000);
    report(`panel resident memory, page open, idle ${idle} s`, residentKiB(panel.pid), 'KiB');
    await page.context().close();
    await sleep(idle * 1000);
    report(`panel resident memory, page closed, idle ${idle} s`, residentKiB(panel.pid), 'KiB');
  } finally {
    await panel.stop();
    panel.remove();
  }
}

const browser = await launchBrowser();
try {
  console.log(`# ${options.program}, Chromium ${browser.version()}, Node ${process.version}`);
  await measureSliderChanges(browser);
  await measureLoads(browser);
  await measureMemory(browser);
} finally {
  await browser.close();
}
console.log('\n| measurement | result |\n| --- | --- |');
for (const [name, value] of figures) {
  console.log(`| ${name} | ${value} |`);
}
