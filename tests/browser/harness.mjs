// The panel as a user meets it: `optiqon_sim panel --no-browser` run in a scratch folder against a
// simulated PC of three cameras, its address read from its first line, and Debian's Chromium
// driven headless by playwright-core. What the cameras did is read from their own files: each
// camera's settings file (rewritten after every change it takes) and its video trace (one line per
// request). Every wait is bounded, so a page or a panel that hangs fails its test.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';

import { chromium } from 'playwright-core';

export const ChromiumPath = '/usr/bin/chromium';

// Camera A on port 1 with a flash file, B on port 2, C on port 3 while c.plugged exists. The real
// clock, so that an update of a few pages takes long enough to be seen running.
export const Cameras = [
  { serial: 'K3M51-A001', file: 'a', port: 1 },
  { serial: 'K3M51-B002', file: 'b', port: 2 },
  { serial: 'K3M51-C003', file: 'c', port: 3, plugged: 'c.plugged' },
];

export function locationOf(camera) {
  return `PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(${camera.port})`;
}

function scenarioText() {
  const sections = Cameras.map((camera, index) => {
    const lines = [
      `serial = ${camera.serial}`,
      `camera_settings = ${camera.file}.settings`,
      `video_trace = ${camera.file}.video_trace`,
      `trace = ${camera.file}.trace`,
    ];
    if (index === 0) {
      lines.push(`flash = ${camera.file}.flash`);
    }
    if (camera.plugged) {
      lines.push(`plugged = ${camera.plugged}`);
    }
    return (index === 0 ? ['clock = real'] : ['[camera]']).concat(lines).join('\n');
  });
  return sections.join('\n') + '\n';
}

function optiqonSimPath() {
  const program = process.env.OPTIQON_SIM;
  if (!program) {
    throw new Error('OPTIQON_SIM names no program: run the tests through tests/browser/run.sh');
  }
  return program;
}

// Waits until `check` returns without throwing (and returns its result), or throws its last
// failure once `timeout` ms passed.
export async function eventually(check, { timeout = 10000, interval = 50 } = {}) {
  const limit = Date.now() + timeout;
  for (;;) {
    try {
      return await check();
    } catch (failure) {
      if (Date.now() >= limit) {
        throw failure;
      }
    }
    await sleep(interval);
  }
}

function firstLineOf(stream, timeout) {
  return new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => finish(new Error(`no line from the panel in ${timeout} ms`)), timeout);
    const take = (chunk) => {
      text += chunk;
      const end = text.indexOf('\n');
      if (end >= 0) {
        finish(null, text.slice(0, end));
      }
    };
    const ended = () => finish(new Error(`the panel ended before its first line: '${text}'`));
    function finish(failure, line) {
      clearTimeout(timer);
      stream.off('data', take);
      stream.off('end', ended);
      // The rest of its output is read and dropped, so that it never blocks on a full pipe.
      stream.resume();
      failure ? reject(failure) : resolve(line);
    }
    stream.setEncoding('utf8');
    stream.on('data', take);
    stream.on('end', ended);
  });
}

export class Panel {
  constructor(folder, child, address) {
    this.folder = folder;
    this.child = child;
    this.address = address;
    const parts = /^(http:\/\/127\.0\.0\.1:(\d+))\/#token=([0-9a-f]+)$/.exec(address);
    if (!parts) {
      throw new Error(`the panel's first line is not its address: '${address}'`);
    }
    this.origin = parts[1];
    this.port = Number(parts[2]);
    this.token = parts[3];
    this.exit = once(child, 'exit');
  }

  get pid() {
    return this.child.pid;
  }

  file(name) {
    return path.join(this.folder, name);
  }

  errors() {
    return fs.readFileSync(this.file('panel.err'), 'utf8');
  }

  // The camera's settings file as the simulated camera last wrote it: its image properties by
  // number and its controls by NODE.SELECTOR (bytes in upper-case hexadecimal); empty when the
  // camera has taken no change yet.
  settingsOf(serial) {
    const camera = cameraOf(serial);
    let text = '';
    try {
      text = fs.readFileSync(this.file(`${camera.file}.settings`), 'utf8');
    } catch (failure) {
      if (failure.code !== 'ENOENT') {
        throw failure;
      }
    }
    const pairs = (key) => {
      const line = text.split('\n').find((l) => l.startsWith(`${key} = `));
      return line ? line.slice(key.length + 3).split(', ').map((pair) => pair.split('=')) : [];
    };
    return {
      properties: Object.fromEntries(pairs('property_values').map(([n, v]) => [n, Number(v)])),
      controls: Object.fromEntries(pairs('xu')),
    };
  }

  videoTraceOf(serial) {
    return readIfThere(this.file(`${cameraOf(serial).file}.video_trace`));
  }

  // The video trace once no line has come for `quiet` ms: a snapshot to compare with later. (The
  // camera rewrites its settings file before it writes the request's trace line, so a value seen
  // in the file may not be in the trace yet.)
  async quietVideoTraceOf(serial, { quiet = 200 } = {}) {
    let text = this.videoTraceOf(serial);
    let since = Date.now();
    const limit = Date.now() + 5000;
    while (Date.now() - since < quiet) {
      if (Date.now() > limit) {
        throw new Error(`the video trace of ${serial} kept growing for 5 s`);
      }
      await sleep(20);
      const now = this.videoTraceOf(serial);
      if (now !== text) {
        text = now;
        since = Date.now();
      }
    }
    return text;
  }

  hidTraceOf(serial) {
    return readIfThere(this.file(`${cameraOf(serial).file}.trace`));
  }

  // Pulls camera C out (or puts it back) as a user does, through its plug file.
  unplug(serial) {
    fs.rmSync(this.file(cameraOf(serial).plugged));
  }

  plugIn(serial) {
    fs.writeFileSync(this.file(cameraOf(serial).plugged), 'in\n');
  }

  // The JSON interface, as a script asks it: for checks that read the camera through the panel.
  async api(route, { method = 'GET', body, contentType = 'application/json' } = {}) {
    const headers = { Authorization: `Bearer ${this.token}` };
    if (method !== 'GET') {
      headers.Origin = this.origin;
      headers['Content-Type'] = contentType;
    }
    const answer = await fetch(this.origin + route, { method, headers, body });
    return { status: answer.status, json: await answer.json() };
  }

  // SIGTERM, as a user's Ctrl-C or a service manager stops it: it must end with exit code 0 within
  // a few seconds (AddressSanitizer's build reports leaks at exit, which takes longer).
  async stop() {
    if (this.child.exitCode !== null || this.child.signalCode !== null) {
      throw new Error(
        `the panel ended during the test (exit ${this.child.exitCode}, signal ${this.child.signalCode}):\n${this.errors()}`,
      );
    }
    this.child.kill('SIGTERM');
    const timeout = sleep(10000, 'timeout', { ref: false });
    const ended = await Promise.race([this.exit, timeout]);
    if (ended === 'timeout') {
      this.child.kill('SIGKILL');
      await this.exit;
      throw new Error(`the panel did not end within 10 s of SIGTERM:\n${this.errors()}`);
    }
    const [code, signal] = ended;
    if (code !== 0) {
      throw new Error(`the panel ended with exit code ${code} (signal ${signal}) after SIGTERM:\n${this.errors()}`);
    }
  }

  // The scratch folder goes once the panel stopped cleanly; OPTIQON_KEEP_SCRATCH keeps it to look at.
  remove() {
    if (!process.env.OPTIQON_KEEP_SCRATCH) {
      fs.rmSync(this.folder, { recursive: true, force: true });
    } else {
      console.log(`# kept ${this.folder}`);
    }
  }
}

function readIfThere(file) {
  try {
    return fs.readFileSync(file, 'utf8');
  } catch (failure) {
    if (failure.code === 'ENOENT') {
      return '';
    }
    throw failure;
  }
}

export function cameraOf(serial) {
  const camera = Cameras.find((c) => c.serial === serial);
  if (!camera) {
    throw new Error(`no simulated camera ${serial}`);
  }
  return camera;
}

// The lines of a video trace that change the camera: an image property set, or an extension-unit
// request whose flags are KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY (after the 16-byte set
// and the 4-byte id).
export function writesIn(trace) {
  return trace
    .split('\n')
    .filter((line) => / Set /.test(line) || /^\d+ KsProperty [0-9a-f]{40}02000010/.test(line));
}

// The values the camera was given for image property `number`, in order, from its trace lines
// `<ms> Set <property> <value> <flags> 0x<HRESULT>`.
export function propertySetsIn(trace, number) {
  return trace
    .split('\n')
    .map((line) => /^\d+ Set (\d+) (-?\d+) \d+ 0x00000000$/.exec(line))
    .filter((parts) => parts && Number(parts[1]) === number)
    .map((parts) => Number(parts[2]));
}

// Starts the panel in a new scratch folder with camera C plugged in; OPTIQON_SIM names the program.
export async function startPanel() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'optiqon-browser-'));
  fs.writeFileSync(path.join(folder, 'pc.scenario'), scenarioText());
  for (const camera of Cameras.filter((c) => c.plugged)) {
    fs.writeFileSync(path.join(folder, camera.plugged), 'in\n');
  }
  const errors = fs.openSync(path.join(folder, 'panel.err'), 'w');
  const child = spawn(optiqonSimPath(), ['panel', '--no-browser'], {
    cwd: folder,
    env: {
      ...process.env,
      OPTIQON_SIM_CAMERA: 'pc.scenario',
      XDG_CONFIG_HOME: path.join(folder, 'config'),
    },
    stdio: ['ignore', 'pipe', errors],
  });
  fs.closeSync(errors);
  let address;
  try {
    address = await Promise.race([
      firstLineOf(child.stdout, 20000),
      once(child, 'error').then(([failure]) => {
        throw new Error(`cannot start ${optiqonSimPath()}: ${failure.message}`);
      }),
    ]);
  } catch (failure) {
    child.kill('SIGKILL');
    throw new Error(`${failure.message}\n${fs.readFileSync(path.join(folder, 'panel.err'), 'utf8')}`);
  }
  return new Panel(folder, child, address);
}

// Headless Chromium as CI runs it (as root: no sandbox), with no network of its own and a fake
// camera for the live preview.
export function launchBrowser() {
  if (!fs.existsSync(ChromiumPath)) {
    throw new Error(`${ChromiumPath} is missing: scripts/install-deps.sh installs Debian's chromium`);
  }
  return chromium.launch({
    executablePath: ChromiumPath,
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-dev-shm-usage',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--disable-quic',
      '--no-first-run',
      '--use-fake-ui-for-media-stream',
      '--use-fake-device-for-media-stream',
    ],
  });
}

// A fresh browser context (no storage shared between tests) with the panel's page open at
// `address` (the panel's own, with its token, unless given). Every answer to /api/ is recorded
// in page.apiAnswers, and every error the page's scripts throw in page.scriptErrors.
export async function openPage(browser, panel, { address = panel.address, viewport } = {}) {
  const context = await browser.newContext({
    viewport: viewport ?? { width: 1280, height: 900 },
    acceptDownloads: true,
  });
  const page = await context.newPage();
  page.apiAnswers = [];
  page.scriptErrors = [];
  page.on('response', (answer) => {
    if (new URL(answer.url()).pathname.startsWith('/api/')) {
      page.apiAnswers.push({ url: answer.url(), status: answer.status() });
    }
  });
  page.on('pageerror', (failure) => page.scriptErrors.push(failure.message));
  page.setDefaultTimeout(10000);
  await page.goto(address);
  return page;
}

// The camera list and the chosen camera's heading, once the page has shown them.
export function cameraList(page) {
  return page.getByRole('navigation', { name: 'Cameras' });
}

export function cameraButton(page, serial) {
  return cameraList(page).getByRole('button', { name: new RegExp(`^${serial} `) });
}

export async function waitForCamera(page, serial) {
  await page.getByRole('heading', { level: 2, name: serial, exact: true }).waitFor();
}

export function slider(page, name) {
  return page.getByRole('slider', { name, exact: true });
}

// The `output` beside a slider, where the page shows the value read back from the camera: the one
// output of the slider's nearest enclosing element that holds exactly one.
export function readBackOf(control) {
  return control.locator('xpath=ancestor::*[count(.//output)=1][1]//output');
}

// The text of the elements that describe a control (aria-describedby), as a screen reader reads it
// after the control's name.
export function descriptionOf(control) {
  return control.evaluate((element) =>
    (element.getAttribute('aria-describedby') ?? '')
      .split(/\s+/)
      .filter(Boolean)
      .map((id) => document.getElementById(id)?.textContent ?? '')
      .join(' ')
      .trim(),
  );
}

// One panel and one page for a test: withPanel(() => browser, async ({ panel, page }) => ...). The
// panel must still be running at the end and stop cleanly, whatever the test found; a failed
// test's scratch folder is kept and named. `address(panel)` opens another address than the
// panel's own.
export function withPanel(browser, body, { address, viewport } = {}) {
  return async () => {
    const panel = await startPanel();
    let failure;
    let page;
    try {
      page = await openPage(browser(), panel, { address: address?.(panel), viewport });
      await body({ panel, page });
      if (page.scriptErrors.length > 0) {
        throw new Error(`the page's scripts threw: ${page.scriptErrors.join('; ')}`);
      }
    } catch (thrown) {
      failure = thrown;
    }
    await page?.context().close().catch(() => {});
    try {
      await panel.stop();
    } catch (thrown) {
      failure = failure ?? thrown;
      if (failure !== thrown) {
        failure.message += `\nand at its end: ${thrown.message}`;
      }
    }
    if (failure) {
      failure.message += `\n(scratch folder kept: ${panel.folder})`;
      throw failure;
    }
    panel.remove();
  };
}

// A test file's one browser, launched before its first test and closed after its last, and its
// tests, each with a panel of its own: panelTest(name, async ({ panel, page }) => ..., options),
// where options.todo marks a test of a known fault of the page: run and reported, not failing the
// run.
export function panelTests({ timeout = 30000 } = {}) {
  let browser;
  before(async () => {
    browser = await launchBrowser();
  });
  after(async () => {
    await browser?.close();
  });
  return (name, body, { todo, ...options } = {}) =>
    test(name, { timeout, todo }, withPanel(() => browser, body, options));
}
