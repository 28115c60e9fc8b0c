// The panel's JSON interface, as the page reaches it: every request carries the run's token, which
// the page takes from its address's fragment (a fragment never leaves the browser), and the
// browser adds the Origin the panel checks on requests that change something.

function token() {
  return new URLSearchParams(location.hash.slice(1)).get("token");
}

export function hasToken() {
  const given = token();
  return given !== null && given !== "";
}

// A request the panel answered with a failure: its status and its message; `problems` names each
// refused value.
export class PanelError extends Error {
  constructor(status, message, problems = [], answer = null) {
    super(message);
    this.status = status;
    this.problems = problems;
    this.answer = answer;
  }
}

export function cameraPath(camera, action) {
  const serial = encodeURIComponent(camera.serial_number ?? "-");
  // A camera that shares its serial number, or gave none, is chosen by where it is plugged in.
  const byLocation = camera.duplicate || camera.serial_number === null;
  const location = byLocation ? `?location=${encodeURIComponent(camera.location)}` : "";
  return `/api/cameras/${serial}/${action}${location}`;
}

async function answerOf(response) {
  const type = response.headers.get("Content-Type") ?? "";
  if (!type.startsWith("application/json")) {
    return null;
  }
  try {
    return await response.json();
  } catch {
    return null;
  }
}

// One request; its JSON answer, or a PanelError. `body` is sent as JSON unless it is a Blob (a
// file), which goes as bytes.
export async function request(method, path, body = undefined) {
  const headers = { Authorization: `Bearer ${token()}` };
  let payload;
  if (body instanceof Blob) {
    headers["Content-Type"] = "application/octet-stream";
    payload = body;
  } else if (body !== undefined) {
    headers["Content-Type"] = "application/json";
    payload = typeof body === "string" ? body : JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, { method, headers, body: payload, cache: "no-store" });
  } catch {
    throw new PanelError(0, "The panel does not answer: is it still running?");
  }
  const answer = await answerOf(response);
  if (!response.ok) {
    const message = answer?.error ?? `The panel answered ${response.status}.`;
    throw new PanelError(response.status, message, answer?.problems ?? [], answer);
  }
  return answer;
}

// The profile download as the panel gives it, with the file name it proposes.
export async function download(path) {
  const response = await fetch(path, {
    headers: { Authorization: `Bearer ${token()}` },
    cache: "no-store",
  });
  if (!response.ok) {
    const answer = await answerOf(response);
    throw new PanelError(response.status, answer?.error ?? `The panel answered ${response.status}.`);
  }
  const disposition = response.headers.get("Content-Disposition") ?? "";
  const name = /filename="([^"]+)"/.exec(disposition)?.[1] ?? "profile.json";
  return { name, blob: await response.blob() };
}

// Parses server-sent events from the stream's text: each event's name and its JSON.
function* eventsIn(block) {
  let name = "message";
  const data = [];
  for (const line of block.split("\n")) {
    if (line.startsWith("event:")) {
      name = line.slice(6).trim();
    } else if (line.startsWith("data:")) {
      data.push(line.slice(5).replace(/^ /, ""));
    }
  }
  if (data.length > 0) {
    try {
      yield { name, data: JSON.parse(data.join("\n")) };
    } catch {
      // A line that is not JSON carries nothing the page can show.
    }
  }
}

// Follows the panel's event stream for as long as the page is open: fetch() and a reader, since
// EventSource cannot send the token. A dropped stream is opened again after a pause; the panel
// sends the camera list and every update's state first, so nothing is missed.
export async function followEvents(onEvent, onConnection) {
  const decoder = new TextDecoder();
  for (;;) {
    try {
      const response = await fetch("/api/events", {
        headers: { Authorization: `Bearer ${token()}` },
        cache: "no-store",
      });
      if (response.status === 401) {
        onConnection("refused");
        return;
      }
      if (!response.ok || response.body === null) {
        throw new Error(`status ${response.status}`);
      }
      onConnection("connected");
      const reader = response.body.getReader();
      let text = "";
      for (;;) {
        const { value, done } = await reader.read();
        if (done) {
          break;
        }
        text += decoder.decode(value, { stream: true }).replaceAll("\r\n", "\n");
        let end;
        while ((end = text.indexOf("\n\n")) >= 0) {
          for (const event of eventsIn(text.slice(0, end))) {
            onEvent(event.name, event.data);
          }
          text = text.slice(end + 2);
        }
      }
    } catch {
      // Said below; the stream is opened again.
    }
    onConnection("lost");
    await new Promise((resolve) => setTimeout(resolve, 1000));
  }
}
