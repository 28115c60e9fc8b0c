// The page's slider sender without a browser: fetch() answered by hand, one request at a time, so
// that the values a fast slider sends while the camera answers are seen exactly.
import assert from 'node:assert/strict';
import { test } from 'node:test';

globalThis.location = { hash: '#token=abc' };
const { ValueSender } = await import('../../tools/optiqon/panel/web/value_sender.js');

// Each fetch() waits until the test answers it; the requests are kept in order.
function handFetch() {
  const requests = [];
  globalThis.fetch = (path, options) =>
    new Promise((resolve) => {
      requests.push({ path, options, body: JSON.parse(options.body), answer: resolve });
    });
  return requests;
}

function jsonResponse(status, answer) {
  return new Response(JSON.stringify(answer), {
    status,
    headers: { 'Content-Type': 'application/json' },
  });
}

function readBack(body) {
  return {
    values: Object.entries(body).map(([name, value]) => ({ name, value, took: true, refusal: null })),
  };
}

const settle = () => new Promise((resolve) => setTimeout(resolve, 0));
const camera = { serial_number: 'K3M51-A001', location: 'PCIROOT(0)#USB(1)' };

test('values moved while a request runs go in one request, the newest of each', async () => {
  const requests = handFetch();
  const answers = [];
  const sender = new ValueSender(camera, (values) => answers.push(...values), assert.fail);
  sender.send('brightness', 1);
  for (const value of [2, 3, 4]) {
    sender.send('brightness', value);
  }
  sender.send('gain', 7);
  assert.equal(requests.length, 1);
  assert.equal(requests[0].path, '/api/cameras/K3M51-A001/settings');
  assert.equal(requests[0].options.method, 'PUT');
  assert.equal(requests[0].options.headers.Authorization, 'Bearer abc');
  assert.deepEqual(requests[0].body, { brightness: 1 });
  assert.ok(sender.waiting('brightness'));

  requests[0].answer(jsonResponse(200, readBack(requests[0].body)));
  await settle();
  assert.equal(requests.length, 2);
  assert.deepEqual(requests[1].body, { brightness: 4, gain: 7 });
  assert.ok(!sender.waiting('brightness'));

  requests[1].answer(jsonResponse(200, readBack(requests[1].body)));
  await settle();
  assert.equal(requests.length, 2, 'nothing more to send');
  assert.deepEqual(
    answers.map((value) => [value.name, value.value]),
    [['brightness', 1], ['brightness', 4], ['gain', 7]],
  );
});

test('a refused value is read back, the failure said, and the next value still sent', async () => {
  const requests = handFetch();
  const answers = [];
  const failures = [];
  const sender = new ValueSender(
    camera,
    (values) => answers.push(...values),
    (error, names) => failures.push([error.status, error.message, names]),
  );
  sender.send('brightness', 100);
  sender.send('brightness', 10);
  const refused = {
    values: [{ name: 'brightness', value: 0, took: false, refusal: '100 is outside the range' }],
    error: 'brightness did not take the value: 100 is outside the range',
  };
  requests[0].answer(jsonResponse(422, refused));
  await settle();
  assert.deepEqual(answers, refused.values);
  assert.deepEqual(failures, [[422, refused.error, ['brightness']]]);
  assert.deepEqual(requests[1].body, { brightness: 10 });
});

test('a panel that is gone, or answers no JSON, is a failure with a message, not a hang', async () => {
  const failures = [];
  globalThis.fetch = async () => {
    throw new TypeError('Failed to fetch');
  };
  const sender = new ValueSender(camera, assert.fail, (error, names) => failures.push([error.status, error.message, names]));
  sender.send('gain', 3);
  await settle();
  globalThis.fetch = async () => new Response('<html>', { status: 502, headers: { 'Content-Type': 'text/html' } });
  sender.send('gain', 4);
  await settle();
  assert.deepEqual(failures, [
    [0, 'The panel does not answer: is it still running?', ['gain']],
    [502, 'The panel answered 502.', ['gain']],
  ]);
});
